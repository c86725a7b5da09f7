#include "paths/office_roots.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "base/path_text.h"
#include "platform/port.h"
#include "system/registry.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {

constexpr int kClassesRoot = 0;
constexpr int kCurrentUser = 2;
constexpr int kOldestWord = 7;
constexpr int kNewestWord = 19;

// The Office key of a Word version below HKCU: the plain key up to Word 97, the policy key
// after it. Empty for versions the kit does not know.
std::string OfficeKey(int version) {
  if (version < kOldestWord || version > kNewestWord) return std::string();
  const std::string number = std::to_string(version) + ".0";
  if (version <= 8) return "\\Software\\Microsoft\\Office\\" + number;
  return "\\Software\\Policies\\Microsoft\\Office\\" + number;
}

std::string BelowProgramFiles(const std::string& subPath) {
  return GetProgramFilesDir() + "\\" + subPath;
}

// A folder that the installed Word's settings name in `valueName` of the key below its Office
// key, else `fallback`.
std::string OfficeFolder(const std::string& keyBelowOffice, const std::string& valueName,
                         const std::string& fallback) {
  const std::string officeKey = OfficeKey(GetWordVersion());
  if (officeKey.empty()) return fallback;
  return ExcludeTrailingBackslash(
      ReadRegString(kCurrentUser, officeKey + keyBelowOffice, valueName, fallback));
}

std::string TemplateFolder(const std::string& name, const std::string& fallback) {
  return OfficeFolder("\\Common\\FileNew\\" + name, "", fallback);
}

std::string WordOptionFolder(const std::string& valueName, const std::string& subPath) {
  return OfficeFolder("\\Word\\Options", valueName, BelowProgramFiles(subPath));
}

std::string UserTemplates() {
  return TemplateFolder("LocalTemplates", BelowProgramFiles("Microsoft Office\\Templates"));
}

// A whole decimal number (blanks around it allowed); nullopt otherwise.
std::optional<int> ParseInteger(const std::string& text) {
  const std::string trimmed = TrimText(text);
  if (trimmed.empty()) return std::nullopt;
  size_t digits = trimmed[0] == '-' || trimmed[0] == '+' ? 1 : 0;
  if (digits == trimmed.size()) return std::nullopt;
  for (size_t i = digits; i < trimmed.size(); ++i) {
    if (trimmed[i] < '0' || trimmed[i] > '9') return std::nullopt;
  }
  errno = 0;
  const long long value = std::strtoll(trimmed.c_str(), nullptr, 10);
  if (errno == ERANGE || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

}  // namespace

int WordVersionOfProgId(const std::string& progId) {
  const size_t first = progId.find('.');
  if (first == std::string::npos) return -1;
  const size_t second = progId.find('.', first + 1);
  if (second == std::string::npos) return -1;
  return ParseInteger(progId.substr(second + 1)).value_or(-1);
}

int GetWordVersion() {
  const std::string progId =
      ReadRegString(kClassesRoot, "\\Word.Document\\CurVer", "", std::string());
  if (progId.empty()) return -1;
  const std::string server =
      ReadRegString(kClassesRoot, "\\" + progId + "\\protocol\\StdFileEditing\\server", "", "");
  if (server.empty() || !platform::Port().Files().FileExists(server)) return -1;
  return WordVersionOfProgId(progId);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeUserTemplates, "psOfficeUserTemplates",
                            "Path to the MS Office User Templates directory", "User Templates")

std::string TpsOfficeUserTemplates::GetPath(TPersistent*) { return UserTemplates(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeWorkgroupTemplates, "psOfficeWorkgroupTemplates",
                            "Path to the MS Office Workgroup Templates directory",
                            "Workgroup Templates")

// Without a workgroup setting the templates are shared from the user's own template folder.
std::string TpsOfficeWorkgroupTemplates::GetPath(TPersistent*) {
  return TemplateFolder("SharedTemplates", UserTemplates());
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeClipartDirectory, "psOfficeClipartDirectory",
                            "Path to the MS Office Clipart directory", "Office Clipart dir")

std::string TpsOfficeClipartDirectory::GetPath(TPersistent*) {
  return WordOptionFolder("PICTURE-PATH", "Microsoft Office\\Clipart");
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeStartupDirectory, "psOfficeStartupDirectory",
                            "Path to the MS Office Startup directory", "Office Startup dir")

std::string TpsOfficeStartupDirectory::GetPath(TPersistent*) {
  return WordOptionFolder("STARTUP-PATH", "Microsoft Office\\Office\\Startup");
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeToolsDirectory, "psOfficeToolsDirectory",
                            "Path to the MS Office Tools directory", "Office Tools dir")

std::string TpsOfficeToolsDirectory::GetPath(TPersistent*) {
  return WordOptionFolder("TOOLS-PATH", "Microsoft Office\\Office");
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsOfficeFavoritesDirectory, "psOfficeFavoritesDirectory",
                            "Path to the MS Office Favorites directory", "Office Favorites dir")

std::string TpsOfficeFavoritesDirectory::GetPath(TPersistent*) {
  const std::string windows =
      ExcludeTrailingBackslash(platform::Port().System().WindowsDirectory().value_or(""));
  return ExcludeTrailingBackslash(ReadRegString(
      kCurrentUser, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Favorites", windows + "\\Favorites"));
}

}  // namespace tmby
