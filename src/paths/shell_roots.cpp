#include "paths/shell_roots.h"

#include "base/path_text.h"
#include "platform/port.h"
#include "system/os_version.h"

namespace tmby {

namespace {

// CSIDL numbers beyond the ones the port names.
constexpr int kCsidlControls = 0x0003;
constexpr int kCsidlPrinters = 0x0004;
constexpr int kCsidlBitBucket = 0x000a;
constexpr int kCsidlAltStartup = 0x001d;
constexpr int kCsidlCommonAltStartup = 0x001e;

// What a kind yields on one Windows family: a shell folder, or a fixed text.
struct Branch {
  int csidl;         // asked of the shell when `text` is null
  const char* text;  // "undefined", or "" for the empty path
};
constexpr Branch Folder(int csidl) { return {csidl, nullptr}; }
constexpr Branch kUndefined{0, kUndefinedPath};
constexpr Branch kEmpty{0, ""};

// The shell's path of a folder, empty when the shell has none. Some shells answer for a
// virtual folder (the printers, the recycle bin) with its parsing name ("::{GUID}..."), which is
// no place to put files: that counts as none as well.
std::string ShellFolder(int csidl) {
  std::string path = platform::Port().ShellFolders().SpecialFolder(csidl).value_or(std::string());
  if (path.rfind("::", 0) == 0) path.clear();
  return path;
}

std::string Resolve(const Branch& branch) {
  return branch.text != nullptr ? std::string(branch.text) : ShellFolder(branch.csidl);
}

// The branch of the running Windows: the NT family, the 9x family, or anything else.
std::string ByFamily(const Branch& nt, const Branch& win9x, const Branch& other) {
  switch (ShellFolderOSVersion()) {
    case oswinNT:
    case oswin2K:
    case oswinXP: return Resolve(nt);
    case oswin95:
    case oswin98:
    case oswinME: return Resolve(win9x);
    default: return Resolve(other);
  }
}

}  // namespace

TOSVerType ShellFolderOSVersion() {
  try {
    return GetOSVersion();
  } catch (const Exception&) {
    return osUnidentified;
  }
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsPrinters, "psPrinters",
                            "virtual folder containing installed printers", "Installed Printers")

std::string TpsPrinters::GetPath(TPersistent*) {
  return ByFamily(Folder(kCsidlPrinters), kUndefined, kUndefined);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsRecent, "psRecent", "Recently Used Documents", "Recently Used")

std::string TpsRecent::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kRecent), kUndefined, kUndefined);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsSendTo, "psSendTo", "Send To Menu", "Send To")

std::string TpsSendTo::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kSendTo), kEmpty, kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsStartup, "psStartup", "User Startup", "Startup")

std::string TpsStartup::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kStartup), kEmpty, kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsControlPanel, "psControlPanel", "Control Panel", "Control Panel")

std::string TpsControlPanel::GetPath(TPersistent*) {
  return ByFamily(Folder(kCsidlControls), kEmpty, kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsFavorites, "psFavorites", "Favorites", "Favorites")

std::string TpsFavorites::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kFavorites), kUndefined, kUndefined);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsBitBucket, "psBitBucket", "Recycle bin", "Recycle bin")

std::string TpsBitBucket::GetPath(TPersistent*) {
  return ByFamily(Folder(kCsidlBitBucket), kEmpty, kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCookies, "psCookies", "Cookies", "Cookies")

std::string TpsCookies::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCookies), kEmpty, kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonAltStartup, "psCommonAltStartup",
                            "Alternate Startup folder for (All Users profile)",
                            "Common Alternate Startup folder")

std::string TpsCommonAltStartup::GetPath(TPersistent*) {
  return ByFamily(Folder(kCsidlCommonAltStartup), Folder(kCsidlAltStartup), kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonStartup, "psCommonStartup", "Common Startup directory",
                            "Common Startup")

// Windows XP gets the all-users Startup folder like NT 4 and 2000.
std::string TpsCommonStartup::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCommonStartup), Folder(platform::csidl::kStartup),
                  kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonDesktopDirectory, "psCommonDesktopDirectory",
                            "Common Desktop Directory", "Common Desktop")

std::string TpsCommonDesktopDirectory::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCommonDesktopDirectory),
                  Folder(platform::csidl::kDesktopDirectory), kUndefined);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonFavorites, "psCommonFavorites", "Common Favorites",
                            "Common Favorites")

std::string TpsCommonFavorites::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCommonFavorites), Folder(platform::csidl::kFavorites),
                  kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonPrograms, "psCommonPrograms", "Common Programs",
                            "Common Programs")

std::string TpsCommonPrograms::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCommonPrograms), Folder(platform::csidl::kPrograms),
                  kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonStartMenu, "psCommonStartMenu", "Common Start Menu",
                            "Common Start Menu")

std::string TpsCommonStartMenu::GetPath(TPersistent*) {
  return ByFamily(Folder(platform::csidl::kCommonStartMenu), Folder(platform::csidl::kStartMenu),
                  kEmpty);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsQuickLaunchMenu, "psQuickLaunchMenu",
                            "Path of the Quick Launch Toolbar Menu", "Quick Launch Toolbar menu")

std::string TpsQuickLaunchMenu::GetPath(TPersistent*) {
  const std::string appData = ExcludeTrailingBackslash(ShellFolder(platform::csidl::kAppData));
  if (appData.empty()) return kUndefinedPath;
  return ExcludeTrailingBackslash(appData + "\\Microsoft\\Internet Explorer\\Quick Launch");
}

}  // namespace tmby
