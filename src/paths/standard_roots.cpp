#include "paths/standard_roots.h"

#include "paths/install_roots.h"
#include "paths/object_link_root.h"
#include "paths/office_roots.h"
#include "paths/shell_roots.h"
#include "system/registry.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {
constexpr int kLocalMachine = 4;
}  // namespace

TMBY_DEFINE_PATH_KIND_TEXTS(TpsBDEDLL, "psBDEDLL", "Borland Database Engine DLL Path", "BDE DLL")

std::string TpsBDEDLL::GetPath(TPersistent*) {
  std::string path =
      ReadRegString(kLocalMachine, "\\Software\\Borland\\Database Engine", "DLLPath", "");
  if (path.empty()) path = GetProgramFilesDir() + "\\Borland\\Common Files\\BDE";
  // The engine may list several directories; the first one holds the DLLs.
  return path.substr(0, path.find(';'));
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsCommonFiles, "psCommonFiles",
                            "Path of the common files directory under the program files directory",
                            "Common files")

std::string TpsCommonFiles::GetPath(TPersistent*) { return GetCommonFilesDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsDesktopMenu, "psDesktopMenu", "Path of the Desktop", "Desktop")

std::string TpsDesktopMenu::GetPath(TPersistent*) { return GetDesktopDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsProgramFiles, "psProgramFiles",
                            "Path of the program files directory", "Program files")

std::string TpsProgramFiles::GetPath(TPersistent*) { return GetProgramFilesDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsProgramMenu, "psProgramMenu",
                            "Path of the Programs folder under the Start Menu", "Program menu")

std::string TpsProgramMenu::GetPath(TPersistent*) { return GetProgramsDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsStartMenu, "psStartMenu", "Path of Start Menu", "Start menu")

std::string TpsStartMenu::GetPath(TPersistent*) { return GetStartMenuDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(
    TpsStartupMenu, "psStartupMenu",
    "Path of the Startup folder in the Programs folder under the Start Menu", "Startup menu")

std::string TpsStartupMenu::GetPath(TPersistent*) { return GetStartupDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsSystem, "psSystem", "Path of system directory", "System dir")

std::string TpsSystem::GetPath(TPersistent*) { return GetSystemDir(); }

TMBY_DEFINE_PATH_KIND_TEXTS(TpsWindow, "psWindow", "Path of the Windows directory", "Windows dir")

std::string TpsWindow::GetPath(TPersistent*) { return GetWindowsDir(); }

// ---------------------------------------------------------------------------------------------
// Registration

const std::vector<const TClassInfo*>& StandardPathSpecifierKinds() {
  static const std::vector<const TClassInfo*> kinds = {
      // The framework's own, in this order.
      &TpsBDEDLL::StaticClass(),
      &TpsCommonFiles::StaticClass(),
      &TpsContainerArchiveFile::StaticClass(),
      &TpsContainerDestDir::StaticClass(),
      &TpsDesktopMenu::StaticClass(),
      &TpsInstallSource::StaticClass(),
      &TpsMainInstall::StaticClass(),
      &TpsProgramFiles::StaticClass(),
      &TpsProgramMenu::StaticClass(),
      &TpsStartMenu::StaticClass(),
      &TpsStartupMenu::StaticClass(),
      &TpsSystem::StaticClass(),
      &TpsMainArchiveFile::StaticClass(),
      &TpsWindow::StaticClass(),
      // The Windows shell folders.
      &TpsPrinters::StaticClass(),
      &TpsRecent::StaticClass(),
      &TpsSendTo::StaticClass(),
      &TpsStartup::StaticClass(),
      &TpsControlPanel::StaticClass(),
      &TpsFavorites::StaticClass(),
      &TpsBitBucket::StaticClass(),
      &TpsCookies::StaticClass(),
      &TpsCommonAltStartup::StaticClass(),
      &TpsCommonStartup::StaticClass(),
      &TpsCommonDesktopDirectory::StaticClass(),
      &TpsCommonFavorites::StaticClass(),
      &TpsCommonPrograms::StaticClass(),
      &TpsCommonStartMenu::StaticClass(),
      &TpsQuickLaunchMenu::StaticClass(),
      // The Office folders.
      &TpsOfficeUserTemplates::StaticClass(),
      &TpsOfficeWorkgroupTemplates::StaticClass(),
      &TpsOfficeClipartDirectory::StaticClass(),
      &TpsOfficeStartupDirectory::StaticClass(),
      &TpsOfficeToolsDirectory::StaticClass(),
      &TpsOfficeFavoritesDirectory::StaticClass(),
  };
  return kinds;
}

void RegisterPathSpecifierClasses(TClassRegistry& registry) {
  registry.Register({&TCustomPathSpecifier::StaticClass(), &TStandardPathSpecifier::StaticClass(),
                     &TpsObjectLink::StaticClass()});
  for (const TClassInfo* kind : StandardPathSpecifierKinds()) registry.Register(*kind);
}

void PathSpecifierStartup() {
  TPathSpecifierRegistry& registry = PathSpecifiers();
  if (registry.StartupCount++ > 0) return;
  // The specifier lists stay as they are: specifiers made before the start-up remain listed.
  registry.Classes.Clear();
  for (const TClassInfo* kind : StandardPathSpecifierKinds()) registry.Classes.Add(kind);
}

void PathSpecifierShutdown() {
  TPathSpecifierRegistry& registry = PathSpecifiers();
  if (registry.StartupCount == 0) return;
  if (--registry.StartupCount == 0) registry.Reset();
}

}  // namespace tmby
