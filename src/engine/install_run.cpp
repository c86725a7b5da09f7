// The install run of the root: what the first activation of the main window starts, the end of
// the run (good, bad, or waiting for a restart) and the engine's exception handler.
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "archive/archive_format.h"
#include "archive/self_extract.h"
#include "base/dostime.h"
#include "base/path_text.h"
#include "engine/install.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "model/uninstall_log.h"
#include "net/net_location.h"
#include "net/remote_file_list.h"
#include "system/folder_cache.h"
#include "system/os_version.h"
#include "system/program_launcher.h"
#include "system/system_dirs.h"
#include "ui/forms.h"

namespace tmby {

namespace {

const char kNoLoaderPath[] =
    "The path of the loading program was not passed correctly. If you are running your install "
    "project in the IDE, then you need to add two command line parameters. In Run | Parameters | "
    "\"Run Parameters\", type in: -d \"-sBUILDPATH\" where BUILDPATH is the path into which you "
    "built the distributables. Example: -d \"-sC:\\My Build\".";
const char kNoProductName[] =
    "This setup program does not name its product (Information.ProductName is empty), so it "
    "cannot record the product for removal. Nothing was installed.";

// The object kinds that come after the files, in the order the run installs them, with the
// status text shown meanwhile. Only shell link groups (7000) and shell links (8000) exist in the
// standard component set; the other phases find nothing.
struct TPhase {
  int componentType;
  const char* statusText;
};
constexpr TPhase kPhases[] = {
    {2750, "Installing ODBC drivers..."},
    {2875, "Installing ODBC sources..."},
    {3000, "Installing Borland Database Engine aliases..."},
    {ctShellLinkGroup, "Installing shell links..."},
    {ctShellLink, "Installing shell links..."},
    {4000, "Installing INI files..."},
    {8500, "Installing registry keys..."},
    {8700, ""},
    {9052, ""},
    {9050, ""},
    {9054, ""},
};

void TerminateApplication() {
  if (ui::TApplication* app = ui::Application()) app->Terminate();
}

void SetExitCode(int code) {
  if (ui::TApplication* app = ui::Application()) app->SetExitCode(code);
}

// The local date and time as days since 1899-12-30.
double LocalNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  CivilTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(ms);
  return EncodeDayCount(t);
}

}  // namespace

void TCustomInstall::RunInstall() {
  // The system folders and the uninstall lists' counts are kept from here to the end of the
  // run, however it ends. A run that fails still writes the counts of the entries it made; if
  // even that fails, the lists stay sound (the next append steps over entries beyond a count).
  struct RunMemos {
    RunMemos() {
      SystemFolderCache().Hold();
      UninstallLogCounts().Hold();
    }
    ~RunMemos() {
      SystemFolderCache().Release();
      try {
        UninstallLogCounts().WritePending();
      } catch (const std::exception&) {
      }
      UninstallLogCounts().Release();
    }
  } memos;
  Aborted = false;
  // A Cancel that stopped an earlier run in this process (a download or an extraction) must not
  // stop this one.
  NetLocations().DownloadAbort = false;
  if (TTmbyCompress* archive = InstallModel().SharedArchive.get()) archive->Abort = false;
  Engine().RunStartTime = LocalNow();
  InstallModel().DeferRegistrations = true;
  InstallModel().Deferred.Clear();
  UnfinishedCount = 0;
  CleanupPending = false;
  Running = true;

  if (UseLoadingProgram() && !commandLine_.Has(csSource)) throw IEInstall(kNoLoaderPath);
  // The product's name names its Add/Remove Programs entry: without one the entry's values would
  // go into the Uninstall key itself, among every other product's entries.
  if (TrimText(information_->ProductName).empty()) throw IEInstall(kNoProductName);
  NoteIncludes();
  // -n on the first run of a program: there is no state key yet, so no list to clear, and the
  // run goes on rather than failing for want of one.
  if (commandLine_.Has(csNewList) && !InstallModel().InstallStateKey.empty()) ClearUnfinished();
  InstallModel().InstallStateKey = FindStateKey(true);
  ClearUnfinished();
  if (commandLine_.Has(csSelfExtractor)) {
    // The product archive lies inside the self-extracting program, after the loader and setup.1.
    const TSelfExtractRecord record = ReadSelfExtractRecord(GetArchivePath());
    if (InstallModel().SharedArchive) InstallModel().SharedArchive->Offset = record.FilesStart;
  }
  ReadInfoFromArchive();
  OnAfterInitialized(this);

  Broadcast(this, hnInitialized, nullptr);
  Broadcast(this, hnBeforeInstall, nullptr);
  // A Cancel in the before-install stage that the handler has already dealt with.
  if (Aborted) return;

  const auto afterInstallObjects = [this] {
    const TTmbyCompress* archive = InstallModel().SharedArchive.get();
    OnAfterInstallObjects(this, archive != nullptr && archive->Abort);
  };
  try {
    TFileContainer::Install();
    // The registrations that failed during the tree install get one more try; a failure now
    // ends the run.
    const TCustomInstallFileList& deferred = InstallModel().Deferred;
    std::vector<TCustomInstallFile*> retries;
    for (int i = 0; i < deferred.Count(); ++i) retries.push_back(deferred.Items(i));
    for (TCustomInstallFile* file : retries) file->RegisterActiveX();
    for (const TPhase& phase : kPhases) InstallObjectsOfType(phase.componentType, phase.statusText);
    UninstallLogCounts().WritePending();
    // The lists are complete: their keys, held open while they grew, are let go before the
    // handlers run programs or the machine restarts.
    UninstallLogCounts().Release();
  } catch (...) {
    afterInstallObjects();
    throw;
  }
  afterInstallObjects();

  if (UnfinishedCount > 0 || Reboot) {
    SaveChoices();
    RegisterContinuation();
  }
  const bool rebootPending = Reboot;
  if (Reboot) {
    SaveLanguage();
    Broadcast(this, hnRebootPending, nullptr);
    if (Reboot) OnBeforeReboot(this, Reboot);
    if (Reboot) {
      RebootWindows();
      TerminateApplication();
    }
  }
  if (rebootPending) {
    // The continuation after the restart shows the good end, cleans up and removes the state.
    TerminateApplication();
    return;
  }
  FinishGoodInstall();
}

void TCustomInstall::FinishGoodInstall() {
  NotifyGoodInstall();
  CleanupLoaderFiles();
  RemoveInstallState();
  if (RunAutomatic) Shutdown();
  RunFilesAfterInstall();
  Running = false;
}

void TCustomInstall::ReadInfoFromArchive() {
  if (InfoRead) return;
  OnBeforeReadArchiveInfo(this);
  Broadcast(this, hnBeforeReadArchiveInfo, nullptr);
  {
    // The headers of every archive, and of a net distribution its remote list, take a while and
    // take no input: the hourglass says so until they are read, or have failed.
    std::optional<ui::TWaitCursor> hourglass;
    if (drivenForm_ != nullptr) hourglass.emplace();
    ShowStatusText("Reading file information...");
    try {
      TFileContainer::ReadInfoFromArchive();
      if (DistributeType() != dtTraditional) ReadRemoteFileList();
    } catch (...) {
      ClearStatusText();
      throw;
    }
    ClearStatusText();
  }
  InfoRead = true;
  OnAfterReadArchiveInfo(this);
  Broadcast(this, hnAfterReadArchiveInfo, nullptr);
}

void TCustomInstall::ReadRemoteFileList() {
  TCustomNetInstallLocation* location = NetLocation();
  if (location == nullptr) {
    throw Exception("Could not find a net install location for %s", {Name()});
  }
  const TCustomInstallFileList& files = InstallModel().Files;
  for (const TRemoteFileRecord& record : FetchRemoteFileList(*location)) {
    for (int i = 0; i < files.Count(); ++i) {
      TCustomInstallFile* file = files.Items(i);
      if (file == nullptr || !SameText(file->Name(), record.Name)) continue;
      file->Size = record.Size;
      file->FileDate = record.Date;
      file->Version = record.Version.substr(0, kMemberVersionLength);
      break;
    }
  }
}

void TCustomInstall::InstallObjectsOfType(int componentType, const std::string& statusText) {
  bool shown = false;
  try {
    const TInstallContainerList& objects = InstallModel().Containers;
    for (int i = 0; i < objects.Count(); ++i) {
      TInstallContainer* object = objects.Items(i);
      if (object == nullptr || object->ComponentType() != componentType) continue;
      if (!shown && !TrimText(statusText).empty()) {
        ShowStatusText(statusText);
        shown = true;
      }
      object->Install();
    }
  } catch (...) {
    if (shown) ClearStatusText();
    throw;
  }
  if (shown) ClearStatusText();
}

void TCustomInstall::NotifyGoodInstall() {
  OnBeforeNotifyGoodInstall(this);
  Broadcast(this, hnBeforeGoodInstall, nullptr);
  Broadcast(this, hnGoodInstall, nullptr);
  OnAfterNotifyGoodInstall(this);
}

void TCustomInstall::NotifyBadInstall() {
  OnBeforeNotifyBadInstall(this);
  Broadcast(this, hnBeforeBadInstall, nullptr);
  Broadcast(this, hnBadInstall, nullptr);
  OnAfterNotifyBadInstall(this);
}

bool TCustomInstall::ConfirmUserAbort() {
  bool quitOut = true;
  OnUserAbort(this, quitOut);
  return quitOut;
}

bool TCustomInstall::Shutdown() {
  bool quitOut = true;
  OnBeforeShutdown(this, quitOut);
  if (quitOut) TerminateApplication();
  return !quitOut;
}

void TCustomInstall::RunFilesAfterInstall() {
  TProgramLauncher launcher(nullptr);
  const TCustomInstallFileList& files = InstallModel().Files;
  for (int i = 0; i < files.Count(); ++i) {
    TCustomInstallFile* file = files.Items(i);
    if (file == nullptr || !file->RunAfterInstall || !file->Include()) continue;
    bool defaultAction = true;
    OnBeforeRunFile(this, file, defaultAction);
    if (!defaultAction) continue;
    // The launcher puts the blank between the program and its parameters.
    launcher.SetFileName(file->InstalledPath());
    launcher.SetParameters(file->RunParameters);
    launcher.SetShowMode(smNormal);
    launcher.Launch();
  }
}

bool TCustomInstall::IsLoaderFolder(const std::string& dir) {
  // The loading program unpacks this program into a folder of its own directly below the user's
  // temporary folder, of the shape archive/self_extract.h fixes, and names the distribution's
  // folder with -s. Anything else (a download folder, a copy of the product CD, the temporary
  // folder itself) holds files that are not ours to delete.
  if (!IsInLoaderFolder(Engine().ProgramPath)) return false;
  platform::IFileSystem& files = platform::Port().Files();
  const std::optional<std::string> temp = files.TempPath();
  if (!temp || TrimText(*temp).empty() || dir.empty()) return false;
  const auto canonical = [&files](const std::string& path) {
    std::string full = files.FullPathName(path).value_or(path);
    if (std::optional<std::string> shortForm = files.ShortPathName(full)) full = *shortForm;
    return IncludeTrailingBackslash(full);
  };
  const auto below = [](const std::string& inner, const std::string& outer) {
    return inner.size() > outer.size() && SameText(inner.substr(0, outer.size()), outer);
  };
  const std::string folder = canonical(dir);
  if (!below(folder, canonical(*temp))) return false;
  if (commandLine_.Has(csSource) && !TrimText(sourceDir_).empty()) {
    const std::string source = canonical(sourceDir_);
    if (SameText(source, folder) || below(source, folder)) return false;
  }
  return files.FileExists(Engine().ProgramPath) &&
         SameText(canonical(PathDirectoryPart(Engine().ProgramPath)), folder);
}

void TCustomInstall::CleanupLoaderFiles() {
  if (!UseLoadingProgram() || commandLine_.Has(csDebug) || !commandLine_.Has(csCleanup) ||
      DesignMode()) {
    return;
  }
  const std::string program = Engine().ProgramPath;
  const std::string dir = ExcludeTrailingBackslash(PathDirectoryPart(program));
  // The handler hears of every cleanup the switches ask for; only the deletion depends on the
  // folder being the loader's.
  bool proceed = true;
  OnBeforeCleanup(this, proceed);
  if (!proceed || !IsLoaderFolder(dir)) return;

  platform::IFileSystem& files = platform::Port().Files();
  // The running program and any subfolder stay; the batch file below takes care of them.
  for (const platform::FindData& entry : files.FindFiles(dir + "\\*.*")) {
    files.RemoveFile(dir + "\\" + entry.name);
  }
  files.RemoveDir(dir);

  // The batch file runs once this program has ended. Short paths in quotes: a long path with
  // blanks would otherwise name other files, and characters beyond the code page would not
  // survive the batch file's encoding.
  const auto quoted = [&files](const std::string& path) {
    return "\"" + files.ShortPathName(path).value_or(path) + "\"";
  };
  const std::string batch = ReplaceExtension(GetTempFile(false), ".bat");
  std::string text;
  if (IsNTFamily(GetOSVersion())) {
    // The NT family has no DELTREE; its RD /S /Q removes a folder with everything in it. The
    // batch may start before this program has ended and let go of its file: it tries again,
    // a second apart, for half a minute at most, so that a program that never lets go does not
    // keep it running for ever.
    text = "@ECHO OFF\r\nSET TRIES=0\r\n:AGAIN\r\nERASE " + quoted(program) +
           " >NUL 2>NUL\r\nIF NOT EXIST " + quoted(program) +
           " GOTO GONE\r\nSET /A TRIES=TRIES+1\r\nIF %TRIES% GEQ 30 GOTO GONE\r\n"
           "PING -n 2 127.0.0.1 >NUL\r\nGOTO AGAIN\r\n:GONE\r\nRD /S /Q " +
           quoted(dir) + "\r\nERASE \"" + batch + "\"\r\n";
  } else {
    text = "ERASE " + quoted(program) + "\r\nDELTREE /Y " + quoted(dir) + "\r\nERASE \"" +
           ReplaceExtension(batch, ".PIF") + "\"\r\nERASE \"" + batch + "\"\r\n";
  }
  std::unique_ptr<platform::IFile> out =
      files.Open(batch, platform::FileAccess::Write, platform::kShareNone,
                 platform::FileDisposition::CreateAlways);
  if (!out || !out->Write(text.data(), text.size())) return;
  out.reset();
  CleanupBatchFile = batch;
  CleanupPending = true;
}

void TCustomInstall::StartCleanupBatch() {
  if (CleanupBatchFile.empty()) return;
  const std::string batch = CleanupBatchFile;
  CleanupBatchFile.clear();
  try {
    TProgramLauncher launcher(nullptr);
    launcher.SetFileName(batch);
    launcher.SetShowMode(smHide);
    launcher.SetWait(false);
    launcher.Launch();
  } catch (const std::exception&) {
    // The program is ending; what is left stays in the temporary folder.
  }
}

void TCustomInstall::HandleException(const std::exception& error) {
  ui::TApplication* app = ui::Application();
  if (!Running) {
    if (app != nullptr) app->ShowException(error);
    return;
  }
  Running = false;
  Aborted = true;
  try {
    if (dynamic_cast<const EAIUserAbort*>(&error) != nullptr) {
      SetExitCode(kUserAbortExitCode);
      NotifyBadInstall();
      CleanupLoaderFiles();
      RemoveInstallState();
      if (RunAutomatic) Shutdown();
    } else {
      // The state key stays: the next start of this program finds it again.
      SetExitCode(kInstallFailedExitCode);
      NotifyBadInstall();
      if (app != nullptr) app->ShowException(error);
      Shutdown();
    }
  } catch (const std::exception&) {
    if (RunAutomatic) TerminateApplication();
  }
}

}  // namespace tmby
