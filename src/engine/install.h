// The install root: TCustomInstall / TInstall, the component at the top of every install
// definition. It owns the install's settings, parses the command line after the definition has
// been read, chooses the initial install type, dispatches the command-line modes (build, floppy
// transfer, continuation after a reboot) and otherwise takes over the main window's first
// activation, which starts the run.
//
// The run (install_run.cpp) and the install's registry state with the continuation after a restart
// (install_state.cpp) are the root's own, and so are the build and transfer modes
// (build_modes.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/command_line.h"
#include "engine/install_settings.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "paths/install_roots.h"
#include "translate/language.h"
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

// What the program ends with after an install that failed, and after one the user cancelled.
inline constexpr int kInstallFailedExitCode = 1;
inline constexpr int kUserAbortExitCode = 2;

// Where every setup program keeps its state key, in the local-machine hive.
inline constexpr const char* kStateKeysRoot = "\\SOFTWARE\\QRN\\Install";
// The name of the continuation entry under RunOnce ("1", "2", ... appended when taken).
inline constexpr const char* kContinuationName = "TamberlyUnfinished";

// The engine's process-wide state: what the program entry hands the install root, the run's start
// time, the build's abort request, and the hooks through which later modules take over the net
// file list. Tests reset it.
struct TEngine {
  // The command-line arguments, without the program name.
  std::vector<std::string> Arguments;
  // The running program's full path.
  std::string ProgramPath;
  // Local date and time at the start of the run (days since 1899-12-30); 0 before any run.
  double RunStartTime = 0;

  // The user asked to stop the build or the transfer to disks (its progress window's Cancel).
  bool BuildAborted = false;

  struct THooks {
    // The program's bitmap resource of that name (a BMP file), empty when there is none.
    std::function<TBytes(const std::string& name)> LoadBitmapResource;
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
  // The cleanup batch file written by CleanupLoaderFiles; started hidden when the root goes.
  std::string CleanupBatchFile;

  const TCommandLine& CommandLine() const { return commandLine_; }
  void SetCommandLine(const TCommandLine& line) { commandLine_ = line; }
  // The -s value, or the directory of the running program (no trailing backslash).
  const std::string& SourceDir() const { return sourceDir_; }
  // The window whose activation starts the run.
  ui::TCustomForm* DrivenForm() const { return drivenForm_; }

  // The activation hook that Loaded puts on the driven window.
  void FormActivated(TComponent* sender);

  // --- The run (install_run.cpp).
  // The install run: state key, archive information, the before-install stage, the tree
  // install, the deferred registrations, the typed phases, then the reboot or the good end.
  // Failures go to HandleException through the message loop.
  void RunInstall();
  // The run is the root's install.
  void Install() override { RunInstall(); }
  // Once per process: the containers' archive information and, for a net distribution, the
  // remote file list, announced to the helpers around it.
  void ReadInfoFromArchive() override;
  // Net distributions: downloads the remote file list from the install's net location and gives
  // every file of the definition that it names its size, date and version.
  void ReadRemoteFileList();
  // Installs every install object of that component type, in creation order, showing the
  // status text (when not blank) while it does.
  void InstallObjectsOfType(int componentType, const std::string& statusText);
  void NotifyGoodInstall();
  void NotifyBadInstall();
  // Removes the temporary folder the loading program ran this program from (-c without -d) and
  // writes the batch file that removes the program itself once it has ended.
  void CleanupLoaderFiles();
  // OnBeforeShutdown decides; true when the application stays alive.
  bool Shutdown();
  // OnUserAbort decides; true when the abort may go ahead.
  bool ConfirmUserAbort() override;
  // Starts the installed files marked RunAfterInstall.
  void RunFilesAfterInstall();
  // The application's handler of exceptions that reach the message loop: during a run, a user
  // abort ends in the bad-install stage without a message, any other failure in the bad-install
  // stage, its message box and the program's end.
  void HandleException(const std::exception& error);

  // --- The install's state and the restart (install_state.cpp).
  // The state key of this setup program (matched by the program file's date and size), created
  // when `mayCreate` and none matches; empty when there is none or the registry refuses.
  std::string FindStateKey(bool mayCreate);
  // One "item;code" line per unfinished entry. IEInstall without a state key.
  void ReadUnfinished(TStrings& list);
  // Removes the unfinished list. IEInstall without a state key.
  void ClearUnfinished();
  // The program the continuation starts from: the self-extracting file with -e, else a file in
  // the source directory (with the loading program) or the running program.
  std::string GetSourceExecutable();
  // The command line under RunOnce that continues the install after the restart.
  std::string ContinuationCommandLine();
  // IEInstall when the RunOnce entry cannot be written.
  void RegisterContinuation();
  // The translator's target language, kept under the state key over the restart. A stored value
  // that names no language gives the current one (tlUser without a translator).
  void SaveLanguage();
  TTmbyLanguage LoadLanguage();
  // The choices the pages made, kept under the state key over the restart so that the
  // continuation finishes the install where the run put it (install_state.cpp names the values).
  // SaveChoices raises EIRCannotWriteValue when a value cannot be written; RestoreChoices leaves
  // the definition's setting wherever a value is missing or names nothing known.
  void SaveChoices();
  void RestoreChoices();
  // Asks Windows to restart; OnFailedReboot or a message box when it refuses.
  void RebootWindows();
  // The -r mode: finishes what waited for the restart, then the good end. Without its state (a
  // later run finished the install, or it was removed) there is nothing to finish: the program
  // ends quietly.
  void ContinueAfterReboot();
  void AfterReboot() override { ContinueAfterReboot(); }
  // Removes the state key (and the local archive copies it records), and the continuation entries
  // of this program that Windows has not run yet: the work they were to finish is done.
  void RemoveInstallState();

  // --- The build and transfer modes (build_modes.cpp).
  // -b: builds the stand-alone distribution into the folder that the first line of "BUILD.INF"
  // beside the running program names. Any failure is shown in a message box; the program ends in
  // every case.
  void BuildFromBuildInf();
  // Writes the distribution set into `buildDir` from the running program `program`: the setup
  // programs, the product archive files.1 (the root's archive setting is pointed there and
  // restored afterwards, also on failure), filelist.lst for net distributions, the trailer and,
  // with the loading program, the checksum. `standAlone` appends setup.1 and files.1 to setup.exe.
  void BuildDistribution(const std::string& program, const std::string& buildDir, bool standAlone);
  // With the loading program: setup.1 and the kit's TamberlyLoadProgram.exe as setup.exe; without
  // it, the program itself copied into `buildDir`.
  void CopySetupPrograms(const std::string& buildDir, const std::string& program);
  // setup.1: the program, then each of PresetupFiles in order.
  void BuildSetupArchive(const std::string& buildDir, const std::string& program);
  // Builds the root's archives with the options of its DistributeType (every file's compress
  // state reset first); net distributions then get their remote file list. `options` are those
  // of a caller that sets the state; the distribution type decides.
  void Compress(TCompressOptions options) override;
  // filelist.lst in the net mirror folder beside the root's archive: the files this build put
  // into an archive.
  void WriteRemoteFileList();
  // -f: copies the self-extracting distribution the program was started from onto disks in
  // `drive` (the loader as setup.exe, setup.1, files.1 spread over as many disks as it needs).
  // Any failure is shown in a message box; the program ends in every case.
  void TransferToFloppies(const std::string& drive);

  // IInstallRoot
  TFileContainer* RootContainer() override { return this; }
  bool InstallRunning() const override { return Running; }
  std::string UninstallProductName() const override { return information_->ProductName; }
  void RequestReboot() override { Reboot = true; }
  bool RebootPending() const override { return Reboot; }
  void SetRebootPending(bool value) override { Reboot = value; }
  TBytes DialogThemePicture() const override { return dialogThemeBitmap_; }
  // IEInstall "The TInstall could not either write or read unfinished business from the
  // registry" while no state key is known; EIRCannotWriteValue when the entry cannot be written.
  void AddUnfinished(const std::string& item, int code) override;
  TUninstallEntry UninstallEntry() const override;
  void UninstallerRemoved() override { buildInfo_->AddUninstallOnCreate = false; }
  // IInstallPathSource
  std::string SourceDirectory() const override { return sourceDir_; }
  bool SelfExtracting() const override { return commandLine_.Has(csSelfExtractor); }
  std::string SelfExtractorName() const override { return commandLine_.Value(csSelfExtractor); }

  int ComponentType() const override { return ctFileContainer; }
  TPlaceKind PlaceKind() const override { return pkInstallRoot; }

 private:
  void RestoreActivationHandler();
  // The command-line modes, once every component of the definition has been loaded.
  void DispatchMode();
  // The good end of a run and of the continuation: the good-install stage, the cleanup, the
  // state's removal, the program's end and the files started after the install.
  void FinishGoodInstall();
  // Whether `dir`, the running program's folder, is a folder the loading program made for it.
  bool IsLoaderFolder(const std::string& dir);
  void StartCleanupBatch();
  // Each install object's Include as the run found it, so that SaveChoices keeps only what the
  // run changed.
  void NoteIncludes();

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
  std::vector<std::pair<std::string, bool>> includesAtStart_;
  bool hooked_ = false;
  bool handlesExceptions_ = false;
};

class TInstall : public TCustomInstall {
  TMBY_CLASS(TInstall, TCustomInstall)
 public:
  explicit TInstall(TComponent* owner) : TCustomInstall(owner) {}
};

// Registers the engine's classes (the install root, the program launcher, the version reader and
// the translator with its labels and buttons) with a definition reader's class registry.
void RegisterEngineClasses(TClassRegistry& registry);

// The handlers a product's definition may name for the install root's events:
//   InstallUserAbort (OnUserAbort)  asks the user whether to cancel the installation; No keeps
//                                   it going.
void RegisterEngineHandlers(TEventHandlers& handlers);

}  // namespace tmby
