// The setup program as the tool that makes its own distribution (-b) and copies a distribution
// onto floppy disks (-f). Both run in the post-load step instead of an install run: every failure
// ends in a plain message box, and the program ends in any case.
#include "engine/build_modes.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_io.h"
#include "archive/tmby_compress.h"
#include "base/path_text.h"
#include "engine/install.h"
#include "model/custom_install_file.h"
#include "model/install_model.h"
#include "platform/port.h"
#include "platform/ui_port.h"
#include "system/registry.h"
#include "ui/forms.h"

namespace tmby {

namespace {

constexpr int kLocalMachine = static_cast<int>(platform::RootKey::LocalMachine);
// The floppy transfer copies setup.1 in pieces of this size and lets the windows repaint between.
constexpr size_t kTransferChunk = 8192;

const char kBuildInf[] = "BUILD.INF";
const char kNoBuildInf[] =
    "Need to have a BUILD.INF file in this directory with the first line specifying the build "
    "directory";
const char kEmptyBuildInf[] =
    "Must be 1 line in BUILD.INF. This line should specify the build directory";
const char kStandAloneNeedsLoader[] =
    "Cannot build a stand alone executable if the UseLoadingProgram property of the TInstall is "
    "set to False";
const char kSetupArchiveDiskFull[] =
    "The disk that you have specified has been determined to be either too full or is corrupt "
    "while trying to copy the SETUP.1 archive file. You should probably clear all files off of "
    "the drive. Minimally, you should leave enough space on the drive for the SETUP.1 archive "
    "file.";
const char kNoKitPath[] =
    "The HKEY_LOCAL_MACHINE | %s key in the registry is either missing or points to an invalid "
    "QRN directory";
const char kNoLoader[] = "The loader program %s was not found";
const char kCannotCopyLoader[] = "Cannot copy the loading program from %s to %s";
const char kCannotCopyProgram[] = "Cannot copy the installation application from %s to %s";
const char kBlankExecutable[] = "Cannot create setup file. Executable is blank";
const char kNoExecutable[] = "TInstall: Cannot find the executable file %s";
const char kOnlyFromSelfExtractor[] =
    "Sorry... You can only transfer this installation to floppies through the self-extracting "
    "file. Usage example: setup.exe *TODISK";
const char kTransferring[] = "Transferring this installation to floppies. Please wait...";
const char kNoRoomForLoader[] = "Cannot create setup.exe on the A drive. Probably not enough room";
const char kNoRoomForSetup1[] = "Cannot create setup.1 on the A drive. Probably not enough room";
const char kInsertDisk[] = "Please insert disk %d";
const char kSharedUniqueId[] =
    "The files %s and %s have the same UniqueID %d. Each file of a product needs a UniqueID of "
    "its own (0 to 1999), so a product holds at most 2000 files";

platform::IFileSystem& FileSystem() { return platform::Port().Files(); }

// Whether `file` hangs below `root`, however deep (the containers' chain is followed at most as
// far as there are containers, so that even a damaged chain ends).
bool BelongsToTree(const TCustomInstallFile& file, const TInstallContainer& root) {
  const TInstallContainer* walk = file.Container();
  for (int steps = 0; walk != nullptr && steps <= InstallModel().Containers.Count(); ++steps) {
    if (walk == &root) return true;
    const auto* object = dynamic_cast<const TInstallObject*>(walk);
    walk = object != nullptr ? object->Container() : nullptr;
  }
  return false;
}

std::string Join(const std::string& dir, const std::string& name) {
  return IncludeTrailingBackslash(dir) + name;
}

void ProcessMessages() { platform::Port().System().ProcessMessages(); }

// The build and transfer modes: every failure ends in a plain message box, and the program ends
// in any case.
void RunPlainMode(const std::function<void()>& mode) {
  try {
    mode();
  } catch (const std::exception& error) {
    if (ui::TApplication* app = ui::Application()) {
      app->MessageBox(ui::ExceptionMessage(error), app->Title(), platform::mb::kOk);
      app->SetExitCode(kInstallFailedExitCode);
    }
  }
  ProcessMessages();
  if (ui::TApplication* app = ui::Application()) app->Terminate();
}

// The lines of a text file (CR LF or LF), or nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
  auto file = FileSystem().Open(path, platform::FileAccess::Read, platform::kShareRead,
                                platform::FileDisposition::OpenExisting);
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    size_t got = 0;
    if (!file->Read(buffer, sizeof buffer, &got)) return std::nullopt;
    if (got == 0) break;
    text.append(buffer, got);
  }
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Copies `count` bytes from `in` (at its current position) to `out` in chunks of
// kTransferChunk, letting the windows repaint after each; false when a chunk could not be read or
// was written short.
bool CopyBytes(platform::IFile& in, platform::IFile& out, int64_t count, bool checkAbort) {
  std::vector<uint8_t> buffer(kTransferChunk);
  while (count > 0) {
    if (checkAbort && Engine().BuildAborted) {
      throw EUserAbortInstall("Creating Install Aborted!");
    }
    const size_t want = static_cast<size_t>(std::min<int64_t>(count, kTransferChunk));
    if (ReadFully(in, buffer.data(), want) != want) return false;
    if (!out.Write(buffer.data(), want)) return false;
    count -= static_cast<int64_t>(want);
    ProcessMessages();
  }
  return true;
}

// The build's abort request reaches the shared archive component while a build mode runs.
class TBuildAbortBinding {
 public:
  TBuildAbortBinding() {
    Engine().BuildAborted = false;
    if (TTmbyCompress* archive = InstallModel().SharedArchive.get()) {
      archive->BuildAborted = [] { return Engine().BuildAborted; };
    }
  }
  ~TBuildAbortBinding() {
    if (TTmbyCompress* archive = InstallModel().SharedArchive.get()) archive->BuildAborted = {};
  }
  TBuildAbortBinding(const TBuildAbortBinding&) = delete;
  TBuildAbortBinding& operator=(const TBuildAbortBinding&) = delete;
};

}  // namespace

std::string FindTamberlyPath(const std::string& program) {
  const std::string registered =
      TrimText(ReadRegString(kLocalMachine, kKitRegistryKey, kKitPathValue, ""));
  if (!registered.empty()) {
    // A registered folder that is gone is a kit moved or removed: say so rather than build with
    // whatever loader lies elsewhere.
    if (!FileSystem().DirectoryExists(ExcludeTrailingBackslash(registered))) {
      throw IENoTamberlyPath("The kit's folder %s does not exist", {registered});
    }
    return ExcludeTrailingBackslash(registered);
  }
  const std::string own = PathDirectoryPart(program);
  if (!TrimText(own).empty() && FileSystem().FileExists(Join(own, kLoaderProgramName))) {
    return ExcludeTrailingBackslash(own);
  }
  throw IENoTamberlyPath("The kit's folder is not registered");
}

void TCustomInstall::BuildFromBuildInf() {
  TBuildAbortBinding binding;
  RunPlainMode([this] {
    const std::string program = Engine().ProgramPath;
    const std::string inf = Join(PathDirectoryPart(program), kBuildInf);
    if (!FileSystem().FileExists(inf)) throw IEInstall(kNoBuildInf);
    const std::optional<std::vector<std::string>> lines = ReadLines(inf);
    if (!lines) throw IEInstall(kNoBuildInf);
    if (lines->empty()) throw IEInstall(kEmptyBuildInf);
    BuildDistribution(program, lines->front(), true);
  });
}

void TCustomInstall::BuildDistribution(const std::string& program, const std::string& buildDir,
                                       bool standAlone) {
  if (standAlone && !UseLoadingProgram()) throw IEInstall(kStandAloneNeedsLoader);
  CopySetupPrograms(buildDir, program);

  TCustomPathSpecifier* savedType = ArchiveFileType();
  const std::string savedFile = ArchiveFile();
  const auto restore = [&] {
    SetArchiveFileType(savedType);
    SetArchiveFile(savedFile);
  };
  SetArchiveFileType(nullptr);
  SetArchiveFile(Join(buildDir, "files.1"));
  try {
    Compress(TCompressOptions{});
  } catch (...) {
    restore();
    throw;
  }
  restore();

  const std::string exe = Join(buildDir, "setup.exe");
  if (standAlone) {
    AppendSelfExtractArchives(exe, Join(buildDir, "setup.1"), Join(buildDir, "files.1"));
  } else if (UseLoadingProgram()) {
    // Without the loading program there is no setup.exe of ours in the folder (the program kept
    // its own name, and may even be called setup.exe): nothing to mark.
    AppendNotSelfExtractTrailer(exe);
  }
  if (UseLoadingProgram()) AppendCheckSum(exe);
}

void TCustomInstall::CopySetupPrograms(const std::string& buildDir, const std::string& program) {
  platform::IFileSystem& files = FileSystem();
  if (!UseLoadingProgram()) {
    files.CreateDirectories(ExcludeTrailingBackslash(buildDir));
    const std::string target = Join(buildDir, PathFileNamePart(program));
    if (!files.CopyFileTo(program, target, false)) {
      throw IEInstall(kCannotCopyProgram, {program, target});
    }
    return;
  }
  try {
    BuildSetupArchive(buildDir, program);
  } catch (const EtcDiskFull&) {
    throw IEInstall(kSetupArchiveDiskFull);
  }
  std::string kit;
  try {
    kit = FindTamberlyPath(program);
  } catch (const IENoTamberlyPath&) {
    throw IEInstall(kNoKitPath, {kKitRegistryKey});
  }
  const std::string loader = Join(kit, kLoaderProgramName);
  if (!files.FileExists(loader)) throw IEInstall(kNoLoader, {loader});
  const std::string target = Join(buildDir, "setup.exe");
  if (!files.CopyFileTo(loader, target, false)) {
    throw IEInstall(kCannotCopyLoader, {loader, target});
  }
}

void TCustomInstall::BuildSetupArchive(const std::string& buildDir, const std::string& program) {
  if (TrimText(program).empty()) throw IEInstall(kBlankExecutable);
  if (!FileSystem().FileExists(program)) throw IEInstall(kNoExecutable, {program});
  const std::string archive = Join(buildDir, "setup.1");
  // One member per file: the program first into a new archive, then the pre-setup files
  // appended in their order. The loading program unpacks them in that order, the first as the
  // program it starts.
  const auto add = [&archive](const std::string& path, TlzhCommand command, bool presetup) {
    TOwned<TInstallFile> file(new TInstallFile(nullptr));
    if (presetup) file->SetNet(false);
    file->SetFileName(PathFileNamePart(path));
    file->SetIncludeFromDir(ExcludeTrailingBackslash(PathDirectoryPart(path)));
    file->AddToArchive = command;
    file->SetArchiveFileType(nullptr);
    file->SetArchiveFile(archive);
    file->CompressFile();
  };
  add(program, lzcOverwrite, false);
  for (const std::string& line : PresetupFiles()) add(LineFileName(line), lzcOnlyAdd, true);
  // The archive component keeps what it appended to open; the setup archive is complete.
  if (TTmbyCompress* shared = InstallModel().SharedArchive.get()) shared->Close();
}

void TCustomInstall::Compress(TCompressOptions) {
  const TCustomInstallFileList& list = InstallModel().Files;
  // A file's archive member is known by its UniqueID, and so is the name it is extracted under
  // beside its target: two files of one identifier (a definition that repeats one, or more files
  // than there are identifiers) would each find the other's size, date, version and bytes.
  std::map<int32_t, const TCustomInstallFile*> owners;
  for (int i = 0; i < list.Count(); ++i) {
    const TCustomInstallFile* file = list.Items(i);
    if (file == nullptr || !BelongsToTree(*file, *this)) continue;
    const auto [taken, fresh] = owners.emplace(file->UniqueID(), file);
    if (!fresh) {
      throw IEInstall(kSharedUniqueId, {taken->second->Name(), file->Name(), file->UniqueID()});
    }
  }
  // A file counts for this build's file list only once this build has put it into an archive.
  for (int i = 0; i < list.Count(); ++i) {
    if (TCustomInstallFile* file = list.Items(i)) {
      file->CompressionMark = 0;
      file->CompressedArchive.clear();
    }
  }
  switch (DistributeType()) {
    case dtTraditional:
      TFileContainer::Compress({coRelocateArchives, coForceNetFilesLocal, coIncludeAll});
      break;
    case dtWeb:
      TFileContainer::Compress({coRelocateArchives, coForceFilesNet, coIncludeAll});
      WriteRemoteFileList();
      break;
    case dtTraditionalNet:
      TFileContainer::Compress({coRelocateArchives, coIncludeAll});
      WriteRemoteFileList();
      break;
  }
}

void TCustomInstall::WriteRemoteFileList() {
  const std::string folder =
      Join(ExcludeTrailingBackslash(PathDirectoryPart(GetArchivePath())), GetNetRelativeDir());
  FileSystem().CreateDirectories(ExcludeTrailingBackslash(folder));
  const std::string path = Join(folder, "filelist.lst");
  std::vector<uint8_t> records;
  int32_t count = 0;
  const TCustomInstallFileList& list = InstallModel().Files;
  for (int i = 0; i < list.Count(); ++i) {
    TCustomInstallFile* file = list.Items(i);
    if (file == nullptr || file->CompressionMark != 2) continue;
    file->WriteListEntry(records);
    ++count;
  }
  std::vector<uint8_t> bytes(4);
  PutInt32(bytes.data(), count);
  bytes.insert(bytes.end(), records.begin(), records.end());
  auto out = FileSystem().Open(path, platform::FileAccess::Write, platform::kShareNone,
                               platform::FileDisposition::CreateAlways);
  if (!out || !out->Write(bytes.data(), bytes.size())) {
    throw IEInstall("Cannot create the file %s", {path});
  }
}

void TCustomInstall::TransferToFloppies(const std::string& drive) {
  TBuildAbortBinding binding;
  RunPlainMode([this, &drive] {
    // Writing disks takes a while: the hourglass, but for the boxes that ask for the next disk.
    ui::TWaitCursor hourglass;
    ProcessMessages();
    if (!CommandLine().Has(csSelfExtractor)) throw IEInstall(kOnlyFromSelfExtractor);
    const std::string exe = GetArchivePath();
    const TSelfExtractRecord record = ReadSelfExtractRecord(exe);
    ShowStatusText(kTransferring);
    try {
      auto in = FileSystem().Open(exe, platform::FileAccess::Read, platform::kShareRead,
                                  platform::FileDisposition::OpenExisting);
      if (!in) throw IEInstall("Cannot open the file %s", {exe});

      const std::string loader = Join(drive, "setup.exe");
      {
        auto out = FileSystem().Open(loader, platform::FileAccess::Write, platform::kShareNone,
                                     platform::FileDisposition::CreateAlways);
        if (!out || !in->Seek(0, platform::SeekOrigin::Begin) ||
            !CopyBytes(*in, *out, record.SetupStart, false)) {
          throw IEInstall(kNoRoomForLoader);
        }
      }
      // The disk's loader finds setup.1 and files.1 beside it; a disk carries no checksum.
      AppendNotSelfExtractTrailer(loader);

      const std::string setup1 = Join(drive, "setup.1");
      auto out = FileSystem().Open(setup1, platform::FileAccess::Write, platform::kShareNone,
                                   platform::FileDisposition::CreateAlways);
      const int64_t length = static_cast<int64_t>(record.SetupEnd) - record.SetupStart + 1;
      if (!out || !in->Seek(record.SetupStart, platform::SeekOrigin::Begin) ||
          !CopyBytes(*in, *out, length, true)) {
        throw IEInstall(kNoRoomForSetup1);
      }
    } catch (...) {
      ClearStatusText();
      throw;
    }
    ClearStatusText();

    // A distribution built without product files has no archive to spread.
    if (record.FilesStart == 0 && record.FilesEnd == 0) return;
    TTmbyCompress* archive = InstallModel().SharedArchive.get();
    if (archive == nullptr) throw IEInstall("The archive component is not available");
    struct Unhook {
      TTmbyCompress& archive;
      ~Unhook() {
        archive.OnNewDisk = nullptr;
        archive.OnStatus = nullptr;
      }
    } unhook{*archive};
    archive->OnNewDisk = [](TTmbyCompress&, int disk, std::string&) {
      const ui::TWaitCursor arrow(false);
      ui::TApplication* app = ui::Application();
      const std::string text = FormatText(LocalizeMessage(kInsertDisk), {disk});
      const int answer = app != nullptr
                             ? app->MessageBox(text, app->Title(), platform::mb::kOkCancel)
                             : platform::id::kCancel;
      if (answer != platform::id::kOk) throw IEInstall("Aborted by user");
    };
    archive->OnStatus = [](TTmbyCompress&, TlzhFileStats&) { ProcessMessages(); };
    archive->Offset = record.FilesStart;
    archive->SetCompressedFile(exe);
    archive->SplitToVolumes(drive, "files.1");
  });
}

}  // namespace tmby
