// The install root: TCustomInstall / TInstall, the component at the top of every install
// definition. It owns the install's settings, parses the command line after the definition has
// been read, chooses the initial install type, dispatches the command-line modes (build, floppy
// transfer, continuation after a reboot) and otherwise takes over the main window's first
// activation, which starts the run.
//
// The run itself, the build and transfer modes, the install state key and the engine's exception
// handler are filled in by their own modules through TEngine::Hooks; without them the install
// root starts nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/install_settings.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "paths/install_roots.h"
#include "ui/controls.h"

namespace tmby {

namespace ui {
class TApplication;
class TCustomForm;
}  // namespace ui

class TCustomInstall;
class TCustomNetInstallLocation;

// (Sender)
using TInstallNotifyEvent = TEvent<TPersistent*>;
// (Install, var Continue) and (Install, var QuitOut): the flag enters as true.
using TInstallContinueEvent = TEvent<TCustomInstall*, bool&>;
// (Install, FileToRun, var DefaultAction)
using TBeforeRunFileEvent = TEvent<TCustomInstall*, TCustomInstallFile*, bool&>;

// The engine's process-wide state: what the program entry hands the install root, and the hooks
// through which later modules take over the command-line modes and the run. Tests reset it.
struct TEngine {
  // The command-line arguments, without the program name.
  std::vector<std::string> Arguments;
  // The running program's full path.
  std::string ProgramPath;

  struct THooks {
    // Finds the install's state key without creating one; empty when there is none.
    std::function<std::string(TCustomInstall&)> FindStateKey;
    // -b: builds the distribution from BUILD.INF.
    std::function<void(TCustomInstall&)> Build;
    // -f: transfers the distribution to floppies on the drive.
    std::function<void(TCustomInstall&, const std::string& drive)> TransferToFloppies;
    // -r: the continuation after a reboot.
    std::function<void(TCustomInstall&)> ContinueAfterReboot;
    // The run, started by the first activation.
    std::function<void(TCustomInstall&)> RunInstall;
    // The engine's handler of exceptions that reach the message loop.
    std::function<void(const std::exception&)> HandleException;
    // The program's bitmap resource of that name (a BMP file), empty when there is none.
    std::function<TBytes(const std::string& name)> LoadBitmapResource;
    // Starts the cleanup batch file, hidden, when the install root goes.
    std::function<void(const std::string& batchFile)> StartCleanup;
  } Hooks;

  void Reset() { *this = TEngine(); }
};
TEngine& Engine();

// The one install root of the process, or null.
TCustomInstall* CurrentInstall();

class TCustomInstall : public TFileContainer, public IInstallRoot {
  TMBY_CLASS(TCustomInstall, TFileContainer)
 public:
  // Raises IEInstall when an install root exists already, or when the owner is not a form.
  explicit TCustomInstall(TComponent* owner);
  ~TCustomInstall() override;
  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;
  // The post-load step: command line, source directory, state key, initial install type, mode
  // dispatch or the activation hook.
  void Loaded() override;

  // --- Published properties.
  bool AutoMaximizeWindow() const { return autoMaximizeWindow_; }
  // True clears HideMainForm (not while the definition is read).
  void SetAutoMaximizeWindow(bool value);
  bool HideMainForm() const { return hideMainForm_; }
  // True clears AutoMaximizeWindow (not while the definition is read).
  void SetHideMainForm(bool value);
  TBuildInfo& BuildInfo() const { return *buildInfo_; }
  void SetBuildInfo(const TBuildInfo& value) { buildInfo_->Assign(value); }
  const TBytes& DialogThemeBitmap() const { return dialogThemeBitmap_; }
  void SetDialogThemeBitmap(const TBytes& value) { dialogThemeBitmap_ = value; }
  TDistributeType DistributeType() const override { return distributeType_; }
  // Outside loading: IEInstall outside design mode; IEInstallNetLocNil for a net type without
  // NetLocation.
  void SetDistributeType(TDistributeType value);
  TInstallInformation& Information() const { return *information_; }
  TControlPanelExtensionInformation& Win2KExtendedInformation() const { return *extended_; }
  TRegistrationInformation& RegistrationInformation() const { return *registration_; }
  TPasswordInfo& PasswordInfo() const { return *passwordInfo_; }
  void SetPasswordInfo(const TPasswordInfo& value) { passwordInfo_->Assign(value); }
  bool NoUninstall = false;
  const TStrings& PresetupFiles() const { return presetupFiles_; }
  // Lines blank after trimming are dropped.
  void SetPresetupFiles(const TStrings& value);
  bool Reboot = false;
  bool RunAutomatic = true;
  bool UseLoadingProgram() const { return useLoadingProgram_; }
  // True (not while reading) also resets ArchiveFileType to the main archive specifier and
  // empties ArchiveFile.
  void SetUseLoadingProgram(bool value);
  // Clearing it sets DistributeType back to dtTraditional.
  void SetNetLocation(TCustomNetInstallLocation* value) override;

  TInstallNotifyEvent OnAfterInitialized;
  TInstallNotifyEvent OnAfterNotifyBadInstall;
  TInstallNotifyEvent OnAfterNotifyGoodInstall;
  TInstallNotifyEvent OnAfterReadArchiveInfo;
  TInstallNotifyEvent OnBeforeReadArchiveInfo;
  TInstallContinueEvent OnBeforeReboot;
  TBeforeRunFileEvent OnBeforeRunFile;
  TInstallContinueEvent OnBeforeShutdown;
  TInstallContinueEvent OnBeforeCleanup;
  TInstallNotifyEvent OnBeforeNotifyBadInstall;
  TInstallNotifyEvent OnBeforeNotifyGoodInstall;
  TInstallNotifyEvent OnFailedReboot;
  TInstallContinueEvent OnUserAbort;

  // --- Run state.
  bool Activated = false;
  bool Running = false;
  bool Aborted = false;
  bool CleanupPending = false;
  int UnfinishedCount = 0;
  // The cleanup batch file written by the run; started hidden when the root goes.
  std::string CleanupBatchFile;

  const TCommandLine& CommandLine() const { return commandLine_; }
  void SetCommandLine(const TCommandLine& line) { commandLine_ = line; }
  // The -s value, or the directory of the running program (no trailing backslash).
  const std::string& SourceDir() const { return sourceDir_; }
  // The window whose activation starts the run.
  ui::TCustomForm* DrivenForm() const { return drivenForm_; }

  // The activation hook that Loaded puts on the driven window.
  void FormActivated(TComponent* sender);

  // IInstallRoot
  TFileContainer* RootContainer() override { return this; }
  bool InstallRunning() const override { return Running; }
  std::string UninstallProductName() const override { return information_->ProductName; }
  void RequestReboot() override { Reboot = true; }
  // IEInstall "The TInstall could not either write or read unfinished business from the
  // registry" while no state key is known; EIRCannotWriteValue when the entry cannot be written.
  void AddUnfinished(const std::string& item, int code) override;
  // IInstallPathSource
  std::string SourceDirectory() const override { return sourceDir_; }
  bool SelfExtracting() const override { return commandLine_.Has(csSelfExtractor); }
  std::string SelfExtractorName() const override { return commandLine_.Value(csSelfExtractor); }

  int ComponentType() const override { return ctFileContainer; }
  TPlaceKind PlaceKind() const override { return pkInstallRoot; }

 private:
  void RestoreActivationHandler();

  bool autoMaximizeWindow_ = true;
  bool hideMainForm_ = false;
  bool useLoadingProgram_ = true;
  TDistributeType distributeType_ = dtTraditional;
  std::unique_ptr<TBuildInfo> buildInfo_;
  std::unique_ptr<TPasswordInfo> passwordInfo_;
  std::unique_ptr<TInstallInformation> information_;
  std::unique_ptr<TControlPanelExtensionInformation> extended_;
  std::unique_ptr<TRegistrationInformation> registration_;
  TBytes dialogThemeBitmap_;
  TStrings presetupFiles_;
  TCommandLine commandLine_;
  std::string sourceDir_;
  ui::TCustomForm* drivenForm_ = nullptr;
  ui::TNotifyEvent savedActivate_;
  bool hooked_ = false;
};

class TInstall : public TCustomInstall {
  TMBY_CLASS(TInstall, TCustomInstall)
 public:
  explicit TInstall(TComponent* owner) : TCustomInstall(owner) {}
};

// Registers the engine's classes (the install root, the program launcher and the version
// reader) with a definition reader's class registry.
void RegisterEngineClasses(TClassRegistry& registry);

}  // namespace tmby
