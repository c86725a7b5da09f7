#include "model/uninstall_exe.h"

#include "base/path_text.h"
#include "model/install_model.h"
#include "net/net_location.h"
#include "platform/port.h"
#include "system/registry.h"

namespace tmby {

namespace {
constexpr int kLocalMachine = 4;
}

const TClassInfo& TUninstallEXE::StaticClass() {
  using F = TUninstallEXE;
  static const TClassInfo info =
      TClassInfo::Define<F, TCustomInstallFile>("TUninstallEXE", [](TClassBuilder<F>& c) {
        PublishFileLocation(c);
        c.Integer("Order", &F::Order, &F::Order, -1);
        c.String("DestName", &F::DestName, &F::SetDestName);
        c.String("FileName", &F::FileName, &F::SetFileName);
        c.Enum("FileType", &F::FileType, &F::SetFileType,
               std::optional<TInstallFileType>(iftNormal));
        c.String("IncludeFromDir", &F::IncludeFromDir, &F::SetIncludeFromDir);
        c.Boolean("Net", &F::Net, &F::SetNet, true);
        c.Reference("NetLocation", &F::NetLocation, &F::SetNetLocation);
        c.Enum("OverwriteMode", &F::OverwriteMode, &F::OverwriteMode,
               std::optional<TOverwriteType>(owAlways));
        c.Enum("State", &F::State, &F::State, std::optional<TInstallFileState>(ifsNone));
        c.Boolean("UpdateDLLCounter", &F::UpdateDLLCounter, &F::UpdateDLLCounter, false);
        PublishFileEvents(c);
      });
  return info;
}

TUninstallEXE::TUninstallEXE(TComponent* owner) : TCustomInstallFile(owner) { SetNet(true); }

TUninstallEXE::~TUninstallEXE() {
  if (IInstallRoot* root = InstallModel().CurrentInstall()) root->UninstallerRemoved();
}

void TUninstallEXE::DesignCreated() {
  TCustomInstallFile::DesignCreated();
  if (!DesignMode()) return;
  try {
    const std::string kit = ExcludeTrailingBackslash(InstallModel().KitDirectory);
    if (kit.empty() || !platform::Port().Files().FileExists(kit + "\\uninstall.exe")) return;
    SetIncludeFromDir(kit);
    SetFileName("uninstall.exe");
    SetDestName("uninstall.exe");
  } catch (const std::exception&) {
    // The author picks the uninstaller by hand.
  }
}

void TUninstallEXE::RegisterUninstall(const std::string& keyPath) {
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (root == nullptr) {
    throw IEUninstallEXE(
        "%s could not write information about the uninstall to the registry because there was "
        "no TInstall component",
        {Name()});
  }
  const TUninstallEntry entry = root->UninstallEntry();
  const std::string product = TrimText(entry.ProductName);
  const auto write = [&](const char* name, const std::string& value) {
    WriteRegString(kLocalMachine, keyPath, name, value);
  };
  const auto optional = [&](const char* name, const std::string& value) {
    if (!value.empty()) write(name, value);
  };
  // A file of the definition counts when it was installed in this run.
  const auto installed = [&](const char* name, TCustomInstallFile* file) {
    if (file != nullptr && file->Processed) write(name, file->InstalledPath());
  };
  write("DisplayName", product);
  // The path quoted: a path with a blank ("C:\\Program Files\\...") would otherwise be split at
  // it by whoever starts the command, and an unquoted one lets a "C:\\Program.exe" run instead.
  write("UninstallString", "\"" + InstalledPath() + "\" " + product);
  optional("Comments", entry.Comments);
  optional("Contact", entry.Contact);
  installed("DisplayIcon", entry.DisplayIcon);
  optional("DisplayVersion", entry.Version);
  optional("HelpLink", entry.HelpLink);
  optional("HelpTelephone", entry.HelpTelephone);
  optional("Publisher", entry.CompanyName);
  optional("ProductID", entry.ProductID);
  installed("Readme", entry.ReadMe);
  optional("URLInfoAbout", entry.URLInfoAbout);
  optional("URLUpdateInfo", entry.URLUpdateInfo);
  optional("RegCompany", entry.RegCompany);
  optional("RegOwner", entry.RegOwner);
}

}  // namespace tmby
