#include "engine/install.h"

#include <algorithm>

#include "base/path_text.h"
#include "dialogs/dialog_manager.h"
#include "links/shell_links.h"
#include "net/net_location.h"
#include "paths/path_root_base.h"
#include "platform/ui_port.h"
#include "system/program_launcher.h"
#include "system/registry.h"
#include "system/version_resource.h"
#include "translate/translate_controls.h"
#include "ui/forms.h"

namespace tmby {

namespace {

const char kTwoInstalls[] =
    "The TInstall component does not currently support the use of 2 TInstall components in the "
    "same project";
const char kOwnerNotForm[] =
    "The TInstall component must be placed on a form: its owner is the form whose first "
    "activation starts the installation";
const char kNoMainForm[] =
    "Application.MainForm is undefined and the TInstall is not on a form. Therefore, therefore the "
    "TInstall can't run the installation automatically";
const char kNoBuildDir[] =
    "You forgot to pass in the build directory. In Run | Parameters, follow this format: -d "
    "\"-sC:\\My Build\"";

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

TEngine& Engine() {
  static TEngine engine;
  return engine;
}

TCustomInstall* CurrentInstall() {
  return dynamic_cast<TCustomInstall*>(InstallModel().CurrentInstall());
}

const TClassInfo& TCustomInstall::StaticClass() {
  using T = TCustomInstall;
  static const TClassInfo info =
      TClassInfo::Define<T, TFileContainer>("TCustomInstall", [](TClassBuilder<T>& c) {
        c.Boolean("AutoMaximizeWindow", &T::AutoMaximizeWindow, &T::SetAutoMaximizeWindow, true);
        c.Nested("BuildInfo", &T::BuildInfo);
        c.String("DestDir", &T::DestDir, &T::SetDestDir, "\\MyApplication");
        c.Reference("DestDirType", &T::DestDirType, &T::SetDestDirType).NoDefault();
        c.Picture("DialogThemeBitmap", &T::DialogThemeBitmap, &T::SetDialogThemeBitmap);
        c.Enum("DistributeType", &T::DistributeType, &T::SetDistributeType,
               std::optional<TDistributeType>(dtTraditional));
        c.Boolean("HideMainForm", &T::HideMainForm, &T::SetHideMainForm, false);
        c.Nested("Information", &T::Information);
        c.Nested("win2KExtendedInformation", &T::Win2KExtendedInformation);
        c.Set("InstallTypes", &T::InstallTypes, &T::SetInstallTypes,
              std::optional<TInstallTypeSet>(TInstallTypeSet{itFull}));
        c.Reference("NetLocation", &T::NetLocation, &T::SetNetLocation);
        c.Boolean("NoUninstall", &T::NoUninstall, &T::NoUninstall, false);
        c.StringList("PresetupFiles", &T::PresetupFiles, &T::SetPresetupFiles);
        c.Boolean("Reboot", &T::Reboot, &T::Reboot, false);
        c.Boolean("RunAutomatic", &T::RunAutomatic, &T::RunAutomatic, true);
        c.Boolean("UseLoadingProgram", &T::UseLoadingProgram, &T::SetUseLoadingProgram, true);
        c.Nested("PasswordInfo", &T::PasswordInfo);
        c.Event("OnAfterInitialized", &T::OnAfterInitialized);
        c.Event<TAfterInstallObjectsEvent>("OnAfterInstallObjects", &T::OnAfterInstallObjects);
        c.Event("OnAfterNotifyBadInstall", &T::OnAfterNotifyBadInstall);
        c.Event("OnAfterNotifyGoodInstall", &T::OnAfterNotifyGoodInstall);
        c.Event("OnAfterReadArchiveInfo", &T::OnAfterReadArchiveInfo);
        c.Event<TInstallContainerNotifyEvent>("OnBeforeInstallObjects", &T::OnBeforeInstallObjects);
        c.Event("OnBeforeReadArchiveInfo", &T::OnBeforeReadArchiveInfo);
        c.Event("OnBeforeReboot", &T::OnBeforeReboot);
        c.Event("OnBeforeRunFile", &T::OnBeforeRunFile);
        c.Event("OnBeforeShutdown", &T::OnBeforeShutdown);
        c.Event("OnBeforeCleanup", &T::OnBeforeCleanup);
        c.Event("OnBeforeNotifyBadInstall", &T::OnBeforeNotifyBadInstall);
        c.Event("OnBeforeNotifyGoodInstall", &T::OnBeforeNotifyGoodInstall);
        c.Event("OnFailedReboot", &T::OnFailedReboot);
        c.Event<TInstallFileNewDiskEvent>("OnNewDisk", &T::OnNewDisk);
        c.Event<TInstallFileNotifyEvent>("OnReplacing", &T::OnReplacing);
        c.Event<TInstallFileStatusEvent>("OnStatus", &T::OnStatus);
        c.Event("OnUserAbort", &T::OnUserAbort);
      });
  return info;
}

const TClassInfo& TInstall::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TInstall, TCustomInstall>("TInstall");
  return info;
}

TCustomInstall::TCustomInstall(TComponent* owner) : TFileContainer(owner, false) {
  SetInstallTypes(TInstallTypeSet{itFull});
  commandLine_.Clear();
  if (InstallModel().CurrentInstall() != nullptr) throw IEInstall(kTwoInstalls);
  if (owner == nullptr || !owner->ClassInfo().InheritsFrom("TCustomForm")) {
    throw IEInstall(kOwnerNotForm);
  }
  buildInfo_ = std::make_unique<TBuildInfo>(this);
  passwordInfo_ = std::make_unique<TPasswordInfo>(this);
  if (Engine().Hooks.LoadBitmapResource) {
    dialogThemeBitmap_ = Engine().Hooks.LoadBitmapResource("INSTALLTHEME1");
  }
  information_ = std::make_unique<TInstallInformation>(this);
  extended_ = std::make_unique<TControlPanelExtensionInformation>(this);
  registration_ = std::make_unique<TRegistrationInformation>(this);
  StoreArchiveFileType(PathSpecifiers().Standard.Lookup("TpsMainArchiveFile"));
  SetArchiveFile("");
  FireAfterInstallObjects = false;
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsProgramFiles"));
  SetDestDir("\\MyApplication");
  Description = "TInstall component";
  InstallModel().SetCurrentInstall(this);
  if (!DesignMode()) {
    if (ui::TApplication* app = ui::Application()) {
      app->OnException = [this](const std::exception& error) { HandleException(error); };
      handlesExceptions_ = true;
    }
  }
}

TCustomInstall::~TCustomInstall() {
  if (InstallModel().CurrentInstall() == this) InstallModel().SetCurrentInstall(nullptr);
}

void TCustomInstall::BeforeDestruction() {
  RestoreActivationHandler();
  if (handlesExceptions_) {
    handlesExceptions_ = false;
    if (ui::TApplication* app = ui::Application()) app->OnException = nullptr;
  }
  if (InstallModel().CurrentInstall() == this) InstallModel().SetCurrentInstall(nullptr);
  StartCleanupBatch();
  TFileContainer::BeforeDestruction();
}

void TCustomInstall::RestoreActivationHandler() {
  if (!hooked_) return;
  hooked_ = false;
  if (drivenForm_ != nullptr && !drivenForm_->Destroying())
    drivenForm_->OnActivate = savedActivate_;
}

void TCustomInstall::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    extended_->Forget(component);
    if (component == drivenForm_) {
      drivenForm_ = nullptr;
      hooked_ = false;
    }
    if (component == NetLocation()) distributeType_ = dtTraditional;
  }
  TFileContainer::Notification(component, operation);
}

void TCustomInstall::SetAutoMaximizeWindow(bool value) {
  autoMaximizeWindow_ = value;
  if (value && !Loading()) hideMainForm_ = false;
}

void TCustomInstall::SetHideMainForm(bool value) {
  hideMainForm_ = value;
  if (value && !Loading()) autoMaximizeWindow_ = false;
}

void TCustomInstall::SetDistributeType(TDistributeType value) {
  if (!Loading()) {
    if (!DesignMode()) throw IEInstall("DistributeType can only be set at design-time");
    if (value != dtTraditional && NetLocation() == nullptr) {
      throw IEInstallNetLocNil(
          "Must assign a net location via the NetLocation property before you can set the "
          "distribute type");
    }
  }
  distributeType_ = value;
}

void TCustomInstall::SetPresetupFiles(const TStrings& value) {
  presetupFiles_.clear();
  for (const std::string& line : value) {
    if (!IsBlank(line)) presetupFiles_.push_back(line);
  }
}

void TCustomInstall::SetUseLoadingProgram(bool value) {
  useLoadingProgram_ = value;
  if (value && !Loading()) {
    StoreArchiveFileType(PathSpecifiers().Standard.Lookup("TpsMainArchiveFile"));
    SetArchiveFile("");
  }
}

void TCustomInstall::SetNetLocation(TCustomNetInstallLocation* value) {
  TFileContainer::SetNetLocation(value);
  // The install's location is the one every net download of the process uses by default.
  NetLocations().Current = value;
  if (value == nullptr) distributeType_ = dtTraditional;
}

void TCustomInstall::Loaded() {
  TFileContainer::Loaded();
  if (!DesignMode()) {
    commandLine_ = ParseCommandLine(Engine().Arguments);
    if (commandLine_.Has(csDebug) &&
        (!commandLine_.Has(csSource) || IsBlank(commandLine_.Value(csSource)))) {
      throw IEInstall(kNoBuildDir);
    }
  }
  sourceDir_ = commandLine_.Has(csSource) ? ExcludeTrailingBackslash(commandLine_.Value(csSource))
                                          : DirectoryOf(Engine().ProgramPath);
  if (!DesignMode()) InstallModel().InstallStateKey = FindStateKey(false);
  std::string local;
  if (GetLocalFile(local)) LocalArchivePath = local;

  ui::TApplication* app = ui::Application();
  drivenForm_ = app != nullptr ? app->MainForm() : nullptr;
  if (drivenForm_ == nullptr) drivenForm_ = dynamic_cast<ui::TCustomForm*>(Owner());
  if (drivenForm_ != nullptr) {
    FreeNotification(drivenForm_);
  } else if (RunAutomatic) {
    throw IEInstall(kNoMainForm);
  }

  const TInstallTypeSet types = InstallTypes();
  SetSelectedInstallType(types.Contains(itDefault)   ? itDefault
                         : types.Contains(itCompact) ? itCompact
                                                     : itFull);
  if (DesignMode()) return;

  if (commandLine_.Has(csBuild) || commandLine_.Has(csFloppies) || commandLine_.Has(csReboot)) {
    // A mode works on the whole definition, and components loaded after this one still join it
    // (a group that names no container moves under the root in its own post-load step): the
    // mode waits until the window's whole definition has been loaded. The step finds the root
    // again, as the root may be gone by then.
    if (auto* form = dynamic_cast<ui::TCustomForm*>(Owner())) {
      form->WhenConstructed([] {
        if (TCustomInstall* install = CurrentInstall()) install->DispatchMode();
      });
    }
  } else if (drivenForm_ != nullptr) {
    savedActivate_ = drivenForm_->OnActivate;
    drivenForm_->OnActivate.Set([this](TComponent* sender) { FormActivated(sender); });
    hooked_ = true;
    if (hideMainForm_) {
      drivenForm_->SetBounds(-2 * drivenForm_->Width(), -2 * drivenForm_->Height(),
                             drivenForm_->Width(), drivenForm_->Height());
    }
  }
}

void TCustomInstall::DispatchMode() {
  if (commandLine_.Has(csBuild)) {
    BuildFromBuildInf();
  } else if (commandLine_.Has(csFloppies)) {
    TransferToFloppies("a:");
  } else if (commandLine_.Has(csReboot)) {
    ContinueAfterReboot();
  }
}

void TCustomInstall::FormActivated(TComponent*) {
  if (Activated) return;
  savedActivate_(Owner());
  Activated = true;
  // A handler that closed the main window (a missing prerequisite) has ended the program: the
  // run does not start.
  ui::TApplication* app = ui::Application();
  platform::IUi* ui = platform::CurrentUi();
  const bool ending = (app != nullptr && app->Terminated()) ||
                      (ui != nullptr && ui->QuitPosted()) || drivenForm_ == nullptr ||
                      !drivenForm_->Visible();
  if (autoMaximizeWindow_ && !ending) {
    drivenForm_->Maximize();
    drivenForm_->Repaint();
  }
  if (!RunAutomatic) return;
  RestoreActivationHandler();
  if (ending) return;
  RunInstall();
}

void RegisterEngineHandlers(TEventHandlers& handlers) {
  handlers.Register<TInstallContinueEvent>("InstallUserAbort", [](TCustomInstall*, bool& quitOut) {
    ui::TApplication* app = ui::Application();
    if (app == nullptr) return;
    const int answer = app->MessageBox(
        LocalizeMessage("Are you sure you want to cancel the installation?"), app->Title(),
        platform::mb::kYesNo | platform::mb::kIconQuestion | platform::mb::kDefButton2);
    quitOut = answer == platform::id::kYes;
  });
}

void RegisterEngineClasses(TClassRegistry& registry) {
  registry.Register({&TInstall::StaticClass(), &TCustomInstall::StaticClass(),
                     &TProgramLauncher::StaticClass(), &TVersionResource::StaticClass()});
  // The install definition's translator and the controls it translates by identifier.
  RegisterTranslateClasses(registry);
  // The program folder and its links.
  RegisterShellLinkClasses(registry);
  // The dialog managers of the stages.
  RegisterDialogClasses(registry);
  RegisterNetClasses(registry);
}

TUninstallEntry TCustomInstall::UninstallEntry() const {
  TUninstallEntry entry;
  entry.ProductName = information_->ProductName;
  entry.Version = information_->Version;
  entry.CompanyName = information_->CompanyName;
  entry.Comments = extended_->Comments;
  entry.Contact = extended_->Contact;
  entry.HelpLink = extended_->HelpLink;
  entry.HelpTelephone = extended_->HelpTelephone;
  entry.ProductID = extended_->ProductID;
  entry.URLInfoAbout = extended_->URLInfoAbout;
  entry.URLUpdateInfo = extended_->URLUpdateInfo;
  entry.DisplayIcon = extended_->DisplayIcon();
  entry.ReadMe = extended_->ReadMe();
  entry.RegCompany = registration_->RegCompany;
  entry.RegOwner = registration_->RegOwner;
  return entry;
}

}  // namespace tmby
