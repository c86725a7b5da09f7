#include "model/custom_install_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/dostime.h"
#include "base/path_text.h"
#include "base/text_codec.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "model/uninstall_log.h"
#include "net/net_location.h"
#include "paths/install_roots.h"
#include "paths/path_root_base.h"
#include "platform/port.h"
#include "platform/ui_port.h"
#include "system/os_version.h"
#include "system/program_launcher.h"
#include "system/registry.h"
#include "system/version_block.h"
#include "system/version_resource.h"
#include "ui/forms.h"

namespace tmby {

namespace {

constexpr int kLocalMachine = 4;
constexpr size_t kVersionChars = 20;
const char kHelpKey[] = "\\SOFTWARE\\Microsoft\\Windows\\Help";
const char kSharedDllsKey[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
// How many "Files" subkeys ("Files", "Files1" ... "Files99") the uninstall log tries before it
// gives up: a product with that many broken lists has a registry beyond repair.
constexpr int kFilesSubkeyBound = 100;
// While an install runs, the count of a list is written after every this many entries.
constexpr int kCountEvery = 64;
// The most entries a list is taken to hold (ParseCount's nine digits): the step over entries
// beyond a count ends there.
constexpr int kMaxListEntries = 999999999;

const char kCannotReadSource[] =
    "Could not open or find the following file when trying to read the Size, Date, and Version "
    ":%s";
const char kBlankDestination[] =
    "Cannot compress,copy, or install the following file because it's destination directory is "
    "blank. File is :%s";
const char kBlankArchive[] =
    "Cannot either compress or decompress the following file because it's archive file property "
    "is blank. File is :%s";

// ".DLL" of "x.dll"; empty without extension.
std::string UpperExtension(const std::string& name) {
  const size_t dot = name.find_last_of(".\\/:");
  if (dot == std::string::npos || name[dot] != '.') return std::string();
  return UpperText(name.substr(dot));
}

std::string ExtractDirectory(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

platform::IFileSystem& Files() { return platform::Port().Files(); }

// A box of the setup program: through the application when there is one, so that it carries
// the application's title.
int AskUser(const std::string& text, uint32_t flags) {
  if (ui::TApplication* app = ui::Application()) return app->MessageBox(text, app->Title(), flags);
  if (platform::IUi* ui = platform::CurrentUi()) return ui->MessageBox(text, "", flags);
  return platform::MessageBoxDefault(flags);
}

bool IsNineX() {
  const TOSVerType os = GetOSVersion();
  return os == oswin95 || os == oswin98 || os == oswinME;
}

// The count a list keeps as text: its decimal value, nullopt for anything else.
std::optional<int> ParseCount(const std::string& text) {
  const std::string trimmed = TrimText(text);
  if (trimmed.empty() || trimmed.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : trimmed) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

[[noreturn]] void CannotWrite(const std::string& key, const std::string& name,
                              const std::string& value) {
  throw EIRCannotWriteValue("Cannot install into registry. Key: %s Ident: %s Value %s",
                            {key, name, value});
}

// One more entry "File<n>" = value in a list subkey; the count "Entries" goes after the entry,
// so a list broken in the middle still names every file it counts. While an install runs, the
// count is kept in memory and written only every kCountEvery entries and at the end of the run
// (two trips to the registry per file are the same entry written twice over a whole install);
// a run killed in between leaves entries beyond the count, and the next append steps over them.
void AppendToList(const std::string& key, const std::string& value, bool strictCount) {
  TUninstallLogCounts& counts = UninstallLogCounts();
  std::optional<int> count = counts.Find(key);
  if (!count) {
    const std::string entries = ReadRegString(kLocalMachine, key, "Entries", "0");
    count = ParseCount(entries);
    if (!count) {
      if (strictCount) CannotWrite(key, "Entries", entries);
      // A damaged count must not make the next entry overwrite one the uninstaller needs: the
      // list continues after the highest entry there is.
      count = 0;
      TtmbyRegistry reg;
      reg.SetRootKey(platform::RootKey::LocalMachine);
      if (reg.OpenKeyReadOnly(key)) {
        for (const std::string& name : reg.GetValueNames()) {
          if (name.size() > 4 && SameText(name.substr(0, 4), "File")) {
            if (auto n = ParseCount(name.substr(4)); n && *n > *count) count = *n;
          }
        }
      }
    } else {
      // Entries beyond the count (a run that ended before it wrote its count) stay: the next
      // entry goes after them.
      TtmbyRegistry reg;
      reg.SetRootKey(platform::RootKey::LocalMachine);
      if (reg.OpenKeyReadOnly(key)) {
        while (*count < kMaxListEntries && reg.ValueExists("File" + std::to_string(*count + 1))) {
          ++*count;
        }
      }
    }
  }
  const int next = *count + 1;
  try {
    WriteRegString(kLocalMachine, key, "File" + std::to_string(next), value);
    if (!counts.Held() || next % kCountEvery == 0) {
      WriteRegString(kLocalMachine, key, "Entries", std::to_string(next));
      counts.Store(key, next, true);
    } else {
      counts.Store(key, next, false);
    }
  } catch (...) {
    counts.Forget(key);
    throw;
  }
}

// `text` with every `from` (not empty) replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, identifiers, destruction

const TClassInfo& TCustomInstallFile::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomInstallFile, TFileRelated>("TCustomInstallFile");
  return info;
}

TCustomInstallFile::TCustomInstallFile(TComponent* owner) : TFileRelated(owner) {
  SetNet(false);
  InstallModel().Files.Add(this);
  auto& used = InstallModel().UsedIds;
  const auto free = std::find(used.begin(), used.end(), false);
  if (free != used.end()) {
    *free = true;
    uniqueID_ = static_cast<int32_t>(free - used.begin());
    idTaken_ = true;
  }
}

TCustomInstallFile::~TCustomInstallFile() { Release(); }

void TCustomInstallFile::BeforeDestruction() {
  Release();
  TFileRelated::BeforeDestruction();
}

void TCustomInstallFile::Release() {
  if (released_) return;
  released_ = true;
  InstallModel().Files.Remove(this);
  InstallModel().Deferred.Remove(this);
  if (idTaken_ && uniqueID_ >= 0 && uniqueID_ < kUniqueIdCount) {
    InstallModel().UsedIds[static_cast<size_t>(uniqueID_)] = false;
  }
  idTaken_ = false;
}

void TCustomInstallFile::SetUniqueID(int32_t value) {
  // Identifiers index the archive's member table: one outside it could never be found again.
  if (value < 0 || value >= kUniqueIdCount) {
    throw IECustomInstallFile("The UniqueID %d of %s lies outside 0 to 1999", {value, Name()});
  }
  if (idTaken_ && uniqueID_ >= 0 && uniqueID_ < kUniqueIdCount) {
    InstallModel().UsedIds[static_cast<size_t>(uniqueID_)] = false;
  }
  uniqueID_ = value;
  InstallModel().UsedIds[static_cast<size_t>(value)] = true;
  idTaken_ = true;
}

void TCustomInstallFile::Loaded() {
  TInstallModel& model = InstallModel();
  // The first file to get here drops the identifiers taken while the files were constructed;
  // every file then claims its own, so the table holds exactly those of the definition.
  if (!model.IdsLoaded) {
    model.UsedIds.fill(false);
    model.IdsLoaded = true;
  }
  if (uniqueID_ >= 0 && uniqueID_ < kUniqueIdCount) {
    model.UsedIds[static_cast<size_t>(uniqueID_)] = true;
    idTaken_ = true;
  }
  TFileRelated::Loaded();
}

std::string TCustomInstallFile::SourcePath() const {
  return IncludeTrailingBackslash(includeFromDir_) + fileName_;
}

std::string TCustomInstallFile::TargetPath() {
  return IncludeTrailingBackslash(GetDestPath()) + destName_;
}

std::string TCustomInstallFile::FinalDestName() const {
  return replacedName_.empty() ? destName_ : replacedName_;
}

std::string TCustomInstallFile::InstalledPath() {
  return IncludeTrailingBackslash(GetDestPath()) + FinalDestName();
}

TDistributeType TCustomInstallFile::Distribution() const {
  IInstallRoot* root = InstallModel().CurrentInstall();
  return root != nullptr ? root->DistributeType() : dtTraditionalNet;
}

bool TCustomInstallFile::HasOwnDownload() const {
  return NetLocation() != nullptr || OverwriteMode == owVersion || OverwriteMode == owDate ||
         OverwriteMode == owVersionDate;
}

void TCustomInstallFile::AbortHandler() { throw EAIUserAbort(); }

// ---------------------------------------------------------------------------------------------
// Setters and their coupling rules

void TCustomInstallFile::SetActiveX(bool value) {
  if (IsLoading(*this)) {
    activeX_ = value;
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, value, fileType_, DestDirType(), destName_,
                    DestDir(), fileName_);
}

void TCustomInstallFile::SetDestName(const std::string& value) {
  if (IsLoading(*this)) {
    destName_ = value;
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, activeX_, fileType_, DestDirType(), value,
                    DestDir(), fileName_);
}

void TCustomInstallFile::SetFileName(const std::string& value) {
  if (IsLoading(*this)) {
    fileName_ = value;
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, activeX_, fileType_, DestDirType(), destName_,
                    DestDir(), value);
}

void TCustomInstallFile::SetFileType(TInstallFileType value) {
  if (IsLoading(*this)) {
    fileType_ = value;
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, activeX_, value, DestDirType(), destName_,
                    DestDir(), fileName_);
}

void TCustomInstallFile::SetIncludeFromDir(const std::string& value) {
  if (IsLoading(*this)) {
    includeFromDir_ = value;
    return;
  }
  ApplyFileSettings(Container(), value, activeX_, fileType_, DestDirType(), destName_, DestDir(),
                    fileName_);
}

void TCustomInstallFile::SetContainer(TInstallContainer* value) {
  // While the coupling rules apply a value, the inherited setters store theirs directly.
  if (IsLoading(*this) || applying_) {
    TFileRelated::SetContainer(value);
    return;
  }
  ApplyFileSettings(value, includeFromDir_, activeX_, fileType_, DestDirType(), destName_,
                    DestDir(), fileName_);
}

void TCustomInstallFile::SetDestDir(const std::string& value) {
  // While the coupling rules apply a value, the inherited setters store theirs directly.
  if (IsLoading(*this) || applying_) {
    TFileRelated::SetDestDir(value);
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, activeX_, fileType_, DestDirType(), destName_,
                    value, fileName_);
}

void TCustomInstallFile::SetDestDirType(TCustomPathSpecifier* value) {
  // While the coupling rules apply a value, the inherited setters store theirs directly.
  if (IsLoading(*this) || applying_) {
    TFileRelated::SetDestDirType(value);
    return;
  }
  ApplyFileSettings(Container(), includeFromDir_, activeX_, fileType_, value, destName_, DestDir(),
                    fileName_);
}

void TCustomInstallFile::ApplyFileSettings(TInstallContainer* container,
                                           const std::string& includeFromDir, bool activeX,
                                           TInstallFileType fileType,
                                           TCustomPathSpecifier* destDirType,
                                           const std::string& destName, const std::string& destDir,
                                           const std::string& fileName) {
  auto* fileContainer = dynamic_cast<TFileContainer*>(container);
  if (container != nullptr && fileContainer == nullptr) {
    throw IECustomInstallFile(
        "The following TInstallFile component %s requires the Container property to be a "
        "component descended from the TFileContainer component",
        {Name()});
  }
  const bool nameChanged = fileName != fileName_;
  const bool dirChanged = includeFromDir != includeFromDir_;
  const bool containerChanged = container != Container();
  const std::string newSource = IncludeTrailingBackslash(includeFromDir) + fileName;
  // A file without a name yet (as a design tool makes it) duplicates nothing.
  if (fileContainer != nullptr && !TrimText(fileName).empty() &&
      (nameChanged || dirChanged || containerChanged)) {
    TCustomInstallFile* other = fileContainer->FindFileBySource(newSource);
    if (other != nullptr && other != this) {
      throw IEfcDuplicateFile("There is already a file with the name :%s", {newSource});
    }
  }
  std::string newDestName = destName;
  TTmbyFileAttributesSet attributes = InstallAttributes;
  bool registerAsHelp = RegisterAsHelp;
  bool newActiveX = activeX;
  TInstallFileType newType = fileType;
  TOverwriteType overwrite = OverwriteMode;
  bool updateCounter = UpdateDLLCounter;
  if (nameChanged && !TrimText(fileName).empty()) {
    newDestName = fileName;
    const auto bits = Files().GetAttributes(newSource);
    attributes = bits && (*bits & platform::attr::kReadOnly) != 0
                     ? TTmbyFileAttributesSet{tfaReadOnly}
                     : TTmbyFileAttributesSet{};
  }
  const std::string extension = UpperExtension(fileName);
  if (nameChanged || dirChanged) {
    registerAsHelp = extension == ".HLP" || extension == ".CNT";
    if (extension == ".TLB" || extension == ".OCX") {
      newActiveX = true;
    } else {
      // The source file is read under its new name: the check must not see the old one.
      const std::string savedDir = includeFromDir_;
      const std::string savedName = fileName_;
      includeFromDir_ = includeFromDir;
      fileName_ = fileName;
      try {
        newActiveX = IsOLESelfRegister();
      } catch (const std::exception&) {
        newActiveX = false;
      }
      includeFromDir_ = savedDir;
      fileName_ = savedName;
    }
  }
  if (newActiveX && newActiveX != activeX_) newType = iftSystemWideDLL;
  if (destDirType != DestDirType() && extension.size() == 4 &&
      std::string(".DLL,.OCX,.BLL,.EXE").find(extension) != std::string::npos) {
    if (IsSpecifierKind(destDirType, "TpsWindow") || IsSpecifierKind(destDirType, "TpsBDEDLL")) {
      overwrite = owVersionDate;
    } else if (IsSpecifierKind(destDirType, "TpsSystem")) {
      newType = iftSystemWideDLL;
    }
  }
  const bool typeChanged = newType != fileType_;
  if (typeChanged) {
    switch (newType) {
      case iftJustADLL:
      case iftApplicationSpecificDLL: overwrite = owVersionDate; break;
      case iftVendorSharedDLL:
      case iftSystemWideDLL:
        updateCounter = true;
        overwrite = owVersionDate;
        break;
      case iftNormal: break;
    }
  }
  applying_ = true;
  struct Applying {
    bool& flag;
    ~Applying() { flag = false; }
  } applying{applying_};
  TFileRelated::SetDestDirType(destDirType);
  TFileRelated::SetContainer(container);
  std::string newDestDir = destDir;
  // A new container reset the destination to its own; the DLL kinds choose theirs after that.
  if (containerChanged && container != nullptr) newDestDir = TInstallContainer::DestDir();
  {
    const TPathSpecifierList& standard = PathSpecifiers().Standard;
    switch (newType) {
      case iftApplicationSpecificDLL:
        newDestDir = "\\System";
        TFileRelated::SetDestDirType(standard.FindSpecifier("TpsMainInstall"));
        break;
      case iftVendorSharedDLL:
        newDestDir = "\\System";
        TFileRelated::SetDestDirType(standard.FindSpecifier("TpsCommonFiles"));
        break;
      case iftSystemWideDLL:
        newDestDir.clear();
        TFileRelated::SetDestDirType(standard.FindSpecifier("TpsSystem"));
        break;
      default: break;
    }
  }
  includeFromDir_ = includeFromDir;
  fileName_ = fileName;
  TFileRelated::SetDestDir(newDestDir);
  destName_ = newDestName;
  fileType_ = newType;
  activeX_ = newActiveX;
  InstallAttributes = attributes;
  RegisterAsHelp = registerAsHelp;
  OverwriteMode = overwrite;
  UpdateDLLCounter = updateCounter;
}

void TCustomInstallFile::AssignSourcePath(const std::string& path) {
  SetIncludeFromDir(ExcludeTrailingBackslash(ExtractDirectory(path)));
  SetFileName(ExtractName(path));
}

bool TCustomInstallFile::IsOLESelfRegister() {
  const auto bytes = VersionBlockSource().ReadVersionBlock(SourcePath());
  if (!bytes) return false;
  const TVersionBlock block(*bytes);
  if (!block.Valid()) return false;
  const auto translation = block.QueryValue("\\VarFileInfo\\Translation");
  if (!translation || translation->size() < 4) return false;
  const auto& t = *translation;
  char key[64];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04X%04X\\OLESelfRegister",
                static_cast<unsigned>(t[0] | (t[1] << 8)),
                static_cast<unsigned>(t[2] | (t[3] << 8)));
  return block.QueryString(key).has_value();
}

// ---------------------------------------------------------------------------------------------
// The install proper

std::string TCustomInstallFile::GetArchivePath() {
  const TDistributeType type = Distribution();
  const bool fromNet = type == dtWeb || (type != dtTraditional && Net());
  if (fromNet && State == ifsInstall) {
    if (HasOwnDownload() && IsDownloaded()) return LocalArchivePath;
    auto* container = dynamic_cast<TFileContainer*>(Container());
    if (container != nullptr && container->IsDownloaded()) {
      return container->GetLocalArchivePath();
    }
  }
  return TFileRelated::GetArchivePath();
}

void TCustomInstallFile::InstallHelpers() {
  ReplaceOnReboot = false;
  replacedName_.clear();
  wrote_ = false;
  counted_ = false;
  existedBefore_ = false;
  TInstallContainer* container = Container();
  try {
    if (container != nullptr) container->DoInformationEventControl(this, ieBeforeFileInstall, this);
    OnBeforeInstall(this);
  } catch (const EAbort&) {
    // The file counts as done, and the abort ends its install here: a skipped file is neither
    // logged for the uninstaller nor reported as processed (OnAfterProcess).
    if (container != nullptr) container->DoInformationEventControl(this, ieFileSkipped, this);
    throw;
  }
  if (TrimText(GetDestPath()).empty()) throw IECustomInstallFile(kBlankDestination, {Name()});
  existedBefore_ = Files().FileExists(TargetPath());

  bool copy = false;
  switch (IsFileNewer(Version, FileDate, TargetPath(), OverwriteMode)) {
    case crNewer:
    case crUndetermined: copy = true; break;
    case crSame:
    case crKeep: copy = false; break;
    case crAsk:
      copy = AskUser(FormatText(LocalizeMessage("Copy This File %s?"), {FileName()}),
                     platform::mb::kYesNo | platform::mb::kIconQuestion) == platform::id::kYes;
      break;
  }
  if (copy) {
    try {
      PrepareTarget();
    } catch (const EAbort&) {
      copy = false;
    }
  }
  if (!copy) {
    if (container != nullptr) container->DoInformationEventControl(this, ieFileKept, this);
    RegistrationsAfterInstall();
    OnAfterInstall(this);
    if (container != nullptr) container->DoInformationEventControl(this, ieFileInstalled, this);
    TFileRelated::InstallHelpers();
    return;
  }

  const TDistributeType type = Distribution();
  const bool fromNet = type != dtTraditional && (Net() || type == dtWeb);
  // Only an archive from the net can have a downloaded copy on record.
  std::string local;
  if (fromNet && GetLocalFile(local)) LocalArchivePath = local;
  IInstallRoot* root = InstallModel().CurrentInstall();
  TTmbyCompress* shared = InstallModel().SharedArchive.get();
  std::unique_ptr<TTmbyCompress> own;
  if (fromNet) {
    if (HasOwnDownload()) {
      Download();
    } else if (auto* fileContainer = dynamic_cast<TFileContainer*>(container);
               fileContainer != nullptr && !fileContainer->IsDownloaded()) {
      fileContainer->Download();
    }
  } else if (root != nullptr && shared != nullptr &&
             SameText(GetArchivePath(), root->RootContainer()->GetArchivePath())) {
    Extract(*shared);
    return;
  }
  own = std::make_unique<TTmbyCompress>();
  Extract(*own);
}

void TCustomInstallFile::PrepareTarget() {
  OnReplacing(this);
  Broadcast(this, hnReplacing, this);
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, ieReplacing, this);
  }
  CopyDecision = true;
  // The old target stays where it is until the new file is complete (PutInPlace).
}

void TCustomInstallFile::Extract(TTmbyCompress& archive) {
  TTmbyCompress* shared = InstallModel().SharedArchive.get();
  // However the extraction ends: the handlers go, an abort reaches the shared component, and the
  // helpers hear that the operation is over.
  const auto finish = [&](bool raising) {
    archive.OnNewDisk = nullptr;
    archive.OnStatus = nullptr;
    if (archive.Abort && shared != nullptr) shared->Abort = true;
    try {
      Broadcast(this, hnOperationOver, nullptr);
    } catch (...) {
      archive.Abort = true;
      State = ifsNone;
      if (!raising) throw;
    }
    State = ifsNone;
  };
  State = ifsInstall;
  std::string temporary;
  try {
    const std::string dir = GetDestPath();
    // Without its folder the file cannot be made: the message names the file, not the
    // temporary it would have been written to first.
    if (!Files().CreateDirectories(dir))
      throw ETmbyCompress("Cannot create the file %s", {TargetPath()});
    const std::string location = GetArchivePath();
    if (TrimText(location).empty()) throw IECustomInstallFile(kBlankArchive, {FileName()});
    // A file always replaced that is not there yet is written under its own name at once: a
    // failed extraction removes what it wrote, and a killed run leaves a file the next run
    // replaces. Any other is written under a name of its own beside the target first, so that
    // a damaged member, a full disk or an abort leave the file that stood there as it was, and
    // a date that only the finished file carries decides about it. That name follows from the
    // file's identifier, which no other file of the definition has (asking the system for a
    // fresh temporary name took four calls into it per file); one a killed run left goes first.
    const std::string own =
        IncludeTrailingBackslash(dir) + "~tmb" + std::to_string(uniqueID_) + ".tmp";
    Files().RemoveFile(own);
    const bool direct = OverwriteMode == owAlways && !Files().FileExists(TargetPath());
    if (!direct) temporary = own;
    archive.SetCompressedFile(location);
    archive.ExtractDirectory = dir;
    archive.DestFileName = direct ? destName_ : ExtractName(temporary);
    archive.Overwrite = OverwriteMode;
    archive.OnAborted = [this](TTmbyCompress&) { AbortHandler(); };
    archive.OnNewDisk = [this](TTmbyCompress& c, int disk, std::string& path) {
      NewDiskHandler(c, disk, path);
    };
    archive.OnStatus = [this](TTmbyCompress& c, TlzhFileStats& stats) { StatusHandler(c, stats); };
    archive.SetFilesToProcess({SourcePath()});
    // A Cancel confirmed since the last extraction (while a file that stays as it is was
    // reported) would be cleared by this one, which starts with a fresh flag: it stops here.
    if (archive.Abort || (shared != nullptr && shared->Abort)) AbortHandler();
    try {
      archive.Extract();
    } catch (const EtcAborted&) {
      // Cancel in the copy window: the user's abort, not a failure of the archive.
      AbortHandler();
    } catch (Exception& error) {
      // The archive names the file it wrote, the temporary one beside the target: the message
      // names the target, the file the user knows.
      if (!temporary.empty()) error.SetMessage(Replaced(error.Message(), temporary, TargetPath()));
      throw;
    }
    // A Cancel confirmed while the file's last report was shown came after the archive's last
    // look at its flag; the next extraction would clear the flag and go on as if the user had
    // not asked. The file stops here, before it takes the place of the old one.
    if (archive.Abort || (shared != nullptr && shared->Abort)) AbortHandler();
    if (!direct) PutInPlace(temporary);
    temporary.clear();
    wrote_ = true;
    RegistrationsAfterInstall();
    OnAfterInstall(this);
    if (TInstallContainer* container = Container()) {
      container->DoInformationEventControl(this, ieFileInstalled, this);
    }
    TFileRelated::InstallHelpers();
  } catch (...) {
    if (!temporary.empty()) Files().RemoveFile(temporary);
    finish(true);
    throw;
  }
  finish(false);
}

void TCustomInstallFile::PutInPlace(const std::string& temporary) {
  const std::string target = TargetPath();
  platform::IFileSystem& files = Files();
  if (files.FileExists(target)) {
    // A read-only file is replaced like any other: the overwrite rule has decided.
    const auto bits = files.GetAttributes(target);
    if (bits && (*bits & platform::attr::kReadOnly) != 0) {
      files.SetAttributes(target, *bits & ~platform::attr::kReadOnly);
    }
    if (!files.RemoveFile(target)) {
      ReplaceAtRestart(temporary);
      return;
    }
    if (files.RenameFile(temporary, target)) return;
    // The old file is gone and the new one cannot take its name (a virus scanner holding it):
    // the new file stays under its temporary name and takes the target's at the restart, rather
    // than neither version being left.
    ReplaceWithAtRestart(ExtractName(temporary));
    return;
  }
  if (!files.RenameFile(temporary, target)) {
    throw ETmbyCompress("Cannot create the file %s", {target});
  }
}

void TCustomInstallFile::ReplaceAtRestart(const std::string& temporary) {
  platform::IFileSystem& files = Files();
  const std::string dir = IncludeTrailingBackslash(GetDestPath());
  std::string name;
  for (int n = 1;; ++n) {
    name = ReplaceExtension(destName_, "." + std::to_string(n));
    if (!files.FileExists(dir + name)) break;
  }
  if (!files.RenameFile(temporary, dir + name)) {
    throw ETmbyCompress("Cannot create the file %s", {dir + name});
  }
  ReplaceWithAtRestart(name);
}

void TCustomInstallFile::ReplaceWithAtRestart(const std::string& name) {
  platform::IFileSystem& files = Files();
  const std::string dir = IncludeTrailingBackslash(GetDestPath());
  const std::string target = TargetPath();
  ReplaceOnReboot = true;
  replacedName_ = destName_;
  destName_ = name;
  const std::string fresh = dir + name;
  // The restart's renames name files by their short paths: a target that is gone already gets an
  // empty stand-in, so that it has one (the restart replaces it).
  if (IsNineX() && !files.FileExists(target)) {
    files.Open(target, platform::FileAccess::Write, platform::kShareNone,
               platform::FileDisposition::CreateAlways);
  }
  const std::string targetShort = files.ShortPathName(target).value_or(target);
  const std::string freshShort = ExtractDirectory(targetShort) + name;
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (IsNineX()) {
    const std::string windows =
        platform::Port().System().WindowsDirectory().value_or("C:\\WINDOWS");
    const std::string wininit = IncludeTrailingBackslash(windows) + "WININIT.INI";
    if (!platform::Port().IniFiles().WriteString(wininit, "Rename", targetShort, freshShort)) {
      CannotWrite(wininit, targetShort, freshShort);
    }
    if (root != nullptr) root->RequestReboot();
    return;
  }
  if (root != nullptr) root->RequestReboot();
  if (files.MoveFileAtReboot(fresh, target) || root == nullptr) return;
  std::string batch = GetTempFile(false);
  batch = ReplaceExtension(batch, ".bat");
  const std::string text =
      "erase " + targetShort + "\r\nmove " + freshShort + " " + targetShort + "\r\n";
  auto out = files.Open(batch, platform::FileAccess::Write, platform::kShareNone,
                        platform::FileDisposition::CreateAlways);
  if (!out || !out->Write(text.data(), text.size())) {
    throw ETmbyCompress("Cannot create the file %s", {batch});
  }
  out.reset();
  root->AddUnfinished(batch, 1);
  if (!AddRunOnce("TamberlyBatFile", batch, true)) {
    throw IECustomInstallFile(
        "%s cannot register a routine in the register to move the files after the computer is "
        "reboot",
        {Name()});
  }
}

void TCustomInstallFile::RegistrationsAfterInstall() {
  const std::string dir = GetDestPath();
  if (RegisterAsHelp) WriteRegString(kLocalMachine, kHelpKey, UpperText(FinalDestName()), dir);
  if (UpdateDLLCounter) IncrementSharedDllCount();
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (ReplaceOnReboot && root != nullptr) {
    root->AddUnfinished(Name(), 0);
  } else if (activeX_) {
    try {
      RegisterActiveX();
    } catch (const std::exception&) {
      if (!InstallModel().DeferRegistrations) throw;
      // Retried by the run once the whole tree is installed.
      InstallModel().Deferred.Add(this);
    }
  }
}

bool TCustomInstallFile::IncrementSharedDllCount() {
  TtmbyRegistry reg;
  reg.SetRootKey(platform::RootKey::LocalMachine);
  reg.SetLazyWrite(false);
  if (!reg.OpenKey(kSharedDllsKey, true)) {
    throw IECustomInstallFile(
        "Could not open the key SharedDLLs key in the registry. File component %s. GetLastError "
        "return: %d",
        {Name(), static_cast<int64_t>(reg.LastError())});
  }
  const std::string full = InstalledPath();
  const std::optional<std::string> shortPath = Files().ShortPathName(full);
  if (shortPath) {
    if (const auto count = reg.ReadInteger(*shortPath); count && *count > 0) {
      if (reg.WriteInteger(*shortPath, *count + 1)) {
        counted_ = true;
        return true;
      }
    }
  }
  // A file that was there before this install, with no count (or a count of 0 that someone left),
  // belongs to the program that brought it as well.
  int32_t count = reg.ReadInteger(full).value_or(0);
  if (count <= 0) count = existedBefore_ ? 1 : 0;
  if (!reg.WriteInteger(full, count + 1)) {
    CannotWrite(kSharedDllsKey, full, std::to_string(count + 1));
  }
  counted_ = true;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Servers

void TCustomInstallFile::CheckInstalled() {
  const std::string path = TargetPath();
  if ((TrimText(GetDestPath()).empty() && TrimText(destName_).empty()) ||
      !Files().FileExists(path)) {
    throw IECustomInstallFile(kBlankDestination, {Name()});
  }
}

template <class Body>
void TCustomInstallFile::InTargetDirectory(Body&& body) {
  CheckInstalled();
  platform::IFileSystem& files = Files();
  const std::string previous = files.CurrentDir();
  files.SetCurrentDir(GetDestPath());
  body();
  files.SetCurrentDir(previous);
}

void TCustomInstallFile::RegisterActiveX() {
  const std::string extension = UpperExtension(fileName_);
  if (extension == ".EXE") {
    RegisterExeServer();
  } else if (extension == ".TLB") {
    RegisterTypeLib();
  } else {
    RegisterDll();
  }
}

void TCustomInstallFile::RegisterDll() {
  InTargetDirectory([this] {
    const std::string path = TargetPath();
    const platform::ServerRegistration done = platform::Port().Libraries().RegisterServer(path);
    using Outcome = platform::ServerRegistration::Outcome;
    switch (done.outcome) {
      case Outcome::Registered: break;
      case Outcome::NotLoaded:
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the LoadLibrary(%s) procedure "
            "returned a value of 0. The file component is %s. The following value is the value of "
            "the GetLastError function: %d",
            {path, path, Name(), static_cast<int64_t>(done.error)});
      case Outcome::NoEntryPoint:
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the DllRegisterServer function "
            "could not be found. The file component is %s. The following value is the value of "
            "the GetLastError function: %d",
            {path, Name(), static_cast<int64_t>(done.error)});
      case Outcome::Refused:
        throw IECustomInstallFile(
            "Could not register the ActiveX component, %s, because the DllRegisterServer function "
            "returned a value of %d. The file component is %s",
            {path, done.result, Name()});
    }
  });
}

void TCustomInstallFile::RegisterTypeLib() {
  InTargetDirectory([this] {
    const int32_t result = platform::Port().Libraries().RegisterTypeLibrary(TargetPath());
    if (result != platform::hresult::kOk) {
      const uint32_t code = static_cast<uint32_t>(result);
      EOleSysError error(platform::Port().System().ErrorText(code));
      error.ErrorCode = result;
      throw error;
    }
  });
}

void TCustomInstallFile::RegisterExeServer() {
  InTargetDirectory([this] {
    TProgramLauncher launcher(nullptr);
    launcher.SetFileName(TargetPath());
    launcher.SetParameters("/REGSERVER");
    launcher.SetShowMode(smHide);
    launcher.SetWait(true);
    launcher.Launch();
  });
}

void TCustomInstallFile::AfterReboot() {
  if (activeX_) RegisterActiveX();
  SetFileAttributesFromSet(TargetPath(), InstallAttributes);
}

// ---------------------------------------------------------------------------------------------
// The uninstall log

void TCustomInstallFile::RegisterUninstall(const std::string& keyPath) {
  const std::string path = InstalledPath();
  // The shared files this run counted, kept or written, in a list of their own: the uninstaller
  // takes back only the counts the install added.
  if (counted_) AppendToList(IncludeTrailingBackslash(keyPath) + kCountedList, path, false);
  // A file the overwrite rules kept as the install found it is not this product's to remove.
  if (!wrote_) return;
  if (activeX_) {
    const std::string extension = UpperExtension(fileName_);
    const char* kind = extension == ".TLB" ? "2" : extension == ".EXE" ? "1" : "0";
    AppendToList(IncludeTrailingBackslash(keyPath) + "ActiveX", path + ";" + kind, false);
    return;
  }
  AppendToUninstallFiles(keyPath, path);
}

void AppendToUninstallFiles(const std::string& keyPath, const std::string& path) {
  // A list that cannot take the entry (a damaged count, a key that refuses writes) hands it on
  // to the next numbered one.
  for (int n = 0;; ++n) {
    const std::string key =
        IncludeTrailingBackslash(keyPath) + "Files" + (n == 0 ? std::string() : std::to_string(n));
    try {
      AppendToList(key, path, true);
      return;
    } catch (const EIRCannotWriteValue&) {
      if (n + 1 >= kFilesSubkeyBound) throw;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Archive component handlers

void TCustomInstallFile::NewDiskHandler(TTmbyCompress& component, int diskNumber,
                                        std::string& path) {
  SetTag(0);
  TDiskParameter disk;
  struct Reset {
    TCustomInstallFile& file;
    ~Reset() { file.SetTag(0); }
  } reset{*this};
  disk.DiskNumber = diskNumber;
  disk.Path = ExcludeTrailingBackslash(ExtractDirectory(GetArchivePath()));
  TList list{this, &disk};
  std::string changed = disk.Path;
  OnNewDisk(this, diskNumber, changed);
  disk.Path = changed;
  Broadcast(this, hnNewDisk, &list);
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, ieNewDisk, &list);
  }
  if (!OnNewDisk && Tag() == 0) {
    const int answer = AskUser(FormatText(LocalizeMessage("Please insert disk #%d"), {diskNumber}),
                               platform::mb::kOkCancel | platform::mb::kIconInformation);
    component.Abort = answer != platform::id::kOk;
    // Cancel ends the extraction as the user's abort; asking again would show the same box.
    if (component.Abort) AbortHandler();
  }
  path = ExcludeTrailingBackslash(disk.Path);
  try {
    auto* main =
        dynamic_cast<TpsMainArchiveFile*>(PathSpecifiers().Standard.Lookup("TpsMainArchiveFile"));
    if (main != nullptr) main->ArchiveDirectory = path;
  } catch (const std::exception&) {
  }
}

void TCustomInstallFile::StatusHandler(TTmbyCompress&, TlzhFileStats& stats) {
  TFileStatusParameter status;
  status.BytesDone = stats.FileBytesDone;
  status.FilePercentDone = stats.FilePercent;
  status.FileName = fileName_;
  status.FileStats = stats;
  status.TotalBytesDone = stats.TotalBytesDone;
  status.TotalPercentDone = stats.TotalPercent;
  OnStatus(this, stats.FilePercent, stats.TotalPercent);
  Broadcast(this, hnFileStatus, &status);
  int code = 0;
  switch (State) {
    case ifsCompress: code = ieCompressStatus; break;
    case ifsInstall: code = ieInstallStatus; break;
    case ifsCopying: code = ieCopyStatus; break;
    default: return;
  }
  if (TInstallContainer* container = Container()) {
    TList list{this, &status};
    container->DoInformationEventControl(this, code, &list);
  }
}

// ---------------------------------------------------------------------------------------------
// File information

void TCustomInstallFile::ReadInfoFromArchive() {
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (root != nullptr && root->InstallRunning() && InfoRead) return;
  const TDistributeType type = Distribution();
  if (type == dtTraditional || (type == dtTraditionalNet && !Net())) {
    ReadInfoFrom(GetArchivePath());
    return;
  }
  // A copy that an earlier start downloaded is known by its record before the install takes it
  // up into LocalArchivePath.
  std::string local;
  if (HasOwnDownload() && IsDownloaded()) {
    ReadInfoFrom(TrimText(LocalArchivePath).empty() && GetLocalFile(local) ? local
                                                                           : LocalArchivePath);
    return;
  }
  auto* container = dynamic_cast<TFileContainer*>(Container());
  if (container == nullptr) {
    throw IECustomInstallFile(
        "%s cannot perform ReadInfoFromArchive because either no container is assigned or the "
        "container is not TFileContainer",
        {Name()});
  }
  if (container->IsDownloaded()) {
    ReadInfoFrom(TrimText(container->LocalArchivePath).empty() ? container->GetLocalArchivePath()
                                                               : container->LocalArchivePath);
  }
}

void TCustomInstallFile::ReadInfoFrom(const std::string& location) {
  if (TrimText(location).empty()) throw IECustomInstallFile(kBlankArchive, {FileName()});
  IInstallRoot* root = InstallModel().CurrentInstall();
  TTmbyCompress* shared = InstallModel().SharedArchive.get();
  std::unique_ptr<TTmbyCompress> own;
  TTmbyCompress* archive = shared;
  if (root == nullptr || shared == nullptr ||
      !SameText(location, root->RootContainer()->GetArchivePath())) {
    own = std::make_unique<TTmbyCompress>();
    archive = own.get();
  }
  archive->SetCompressedFile(location);
  const int position = archive->IndexOfMember(uniqueID_);
  if (position < 0) return;
  TlzhFileStats stats;
  archive->GetMemberStats(position, stats);
  CompressedSize = stats.Header.CompressedSize;
  FileDate = stats.Header.FileDate;
  Size = stats.Header.OriginalSize;
  Version = std::string(Utf8Prefix(stats.Header.FileVersion, kVersionChars));
  InfoRead = true;
}

void TCustomInstallFile::ReadSourceSize() {
  const std::string source = SourcePath();
  const std::optional<int64_t> size = Files().FileSize(source);
  if (!size) throw IECustomInstallFile(kCannotReadSource, {source});
  Size = static_cast<int32_t>(std::min<int64_t>(*size, INT32_MAX));
}

void TCustomInstallFile::ReadFileInfo() {
  const std::string source = SourcePath();
  platform::IFileSystem& files = Files();
  auto in =
      files.Open(source, platform::FileAccess::Read, platform::kShareRead | platform::kShareWrite,
                 platform::FileDisposition::OpenExisting);
  const std::optional<int64_t> size = in ? in->Size() : std::nullopt;
  const std::optional<uint32_t> stamp = in ? in->GetDosTime() : std::nullopt;
  if (!in || !size || !stamp) throw IECustomInstallFile(kCannotReadSource, {source});
  // The version is probed through the same handle: a data file is not opened again for it.
  Version = std::string(Utf8Prefix(SharedFileVersion(source, *in), kVersionChars));
  in.reset();
  FileDate = DosDateTimeToDayCount(*stamp).value_or(0);
  Size = static_cast<int32_t>(std::min<int64_t>(*size, INT32_MAX));
}

// ---------------------------------------------------------------------------------------------
// Build operations

void TCustomInstallFile::SetState(TInstallFileState value) {
  struct Reset {
    TCustomInstallFile& file;
    ~Reset() { file.State = ifsNone; }
  } reset{*this};
  switch (value) {
    case ifsCompress: CompressFile(); break;
    case ifsInstall: Install(); break;
    case ifsCopying: CopyFile(); break;
    default: break;
  }
}

void TCustomInstallFile::EndOperation(bool raising) {
  State = ifsNone;
  try {
    Broadcast(this, hnOperationOver, nullptr);
  } catch (...) {
    if (TTmbyCompress* shared = InstallModel().SharedArchive.get()) shared->Abort = true;
    if (!raising) throw;
  }
}

void TCustomInstallFile::CompressFile() {
  TTmbyCompress* shared = InstallModel().SharedArchive.get();
  State = ifsCompress;
  try {
    OnBeforeCompress(this);
    TInstallContainer* container = Container();
    if (container != nullptr) container->DoInformationEventControl(this, ieBeforeCompress, this);
    const std::string location = GetArchivePath();
    if (TrimText(location).empty()) throw IECustomInstallFile(kBlankArchive, {FileName()});
    if (Include() && shared != nullptr) {
      Files().CreateDirectories(ExtractDirectory(location));
      shared->SetCompressedFile(location);
      shared->OnAborted = [this](TTmbyCompress&) { AbortHandler(); };
      shared->OnStatus = [this](TTmbyCompress& c, TlzhFileStats& stats) {
        StatusHandler(c, stats);
      };
      shared->SetFilesToProcess({SourcePath()});
      struct Unhook {
        TTmbyCompress& archive;
        ~Unhook() {
          archive.OnAborted = nullptr;
          archive.OnStatus = nullptr;
        }
      } unhook{*shared};
      shared->Compress(AddToArchive == lzcOnlyAdd, uniqueID_);
      // The file's fields take what the archive recorded of the source as it read it (the date
      // and version a build did not read before, the size it has now).
      const TFileHeaders& headers = shared->Headers();
      if (headers.Count() > 0) {
        const TFileHeader& added = headers.Items(headers.Count() - 1);
        if (SameText(added.SourcePath, SourcePath())) {
          FileDate = added.FileDate;
          Size = added.OriginalSize;
          Version = std::string(Utf8Prefix(added.FileVersion, kVersionChars));
        }
      }
      CompressionMark = 2;
      CompressedArchive = location;
      OnAfterCompress(this);
      if (container != nullptr) container->DoInformationEventControl(this, ieAfterCompress, this);
    }
  } catch (const EAbort&) {
    // A handler skipped this file.
  } catch (...) {
    EndOperation(true);
    throw;
  }
  EndOperation(false);
}

void TCustomInstallFile::CopyFile() {
  TTmbyCompress* shared = InstallModel().SharedArchive.get();
  State = ifsCopying;
  try {
    OnBeforeCopy(this);
    TInstallContainer* container = Container();
    if (container != nullptr) container->DoInformationEventControl(this, ieBeforeCopy, this);
    const std::string dir = GetDestPath();
    if (Include() && TrimText(dir).empty()) throw IECustomInstallFile(kBlankDestination, {Name()});
    if (Include() && shared != nullptr) {
      Files().CreateDirectories(dir);
      shared->OnStatus = [this](TTmbyCompress& c, TlzhFileStats& stats) {
        StatusHandler(c, stats);
      };
      struct Unhook {
        TTmbyCompress& archive;
        ~Unhook() { archive.OnStatus = nullptr; }
      } unhook{*shared};
      shared->CopyFile(SourcePath(), TargetPath());
      OnAfterCopy(this);
      if (container != nullptr) container->DoInformationEventControl(this, ieAfterCopy, this);
    }
  } catch (const EAbort&) {
    // A handler skipped this file.
  } catch (...) {
    EndOperation(true);
    throw;
  }
  EndOperation(false);
}

void TCustomInstallFile::WriteListEntry(std::vector<uint8_t>& out) const {
  // The field holds 39 characters and its terminator; a longer name would be cut into one that
  // names no component, and the file would never be found in the list again.
  if (Name().size() > static_cast<size_t>(kListEntryNameChars)) {
    throw IECustomInstallFile(
        "The component name %s is longer than the 39 characters the file list can hold", {Name()});
  }
  const size_t start = out.size();
  out.resize(start + kListEntrySize, 0);
  uint8_t* record = out.data() + start;
  const auto put32 = [](uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(record, static_cast<uint32_t>(Size));
  uint64_t bits = 0;
  static_assert(sizeof bits == sizeof FileDate);
  std::memcpy(&bits, &FileDate, sizeof bits);
  for (int i = 0; i < 8; ++i) record[8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  std::copy(Name().begin(), Name().end(), record + 16);
  // The field holds 20 bytes: the version ends before a character that would not fit whole.
  std::string_view version = Utf8Prefix(Version, kVersionChars);
  while (version.size() > kVersionChars) version = Utf8Prefix(version, Utf8Length(version) - 1);
  std::copy(version.begin(), version.end(), record + 56);
}

// ---------------------------------------------------------------------------------------------
// TInstallFile

const TClassInfo& TInstallFile::StaticClass() {
  using F = TInstallFile;
  static const TClassInfo info =
      TClassInfo::Define<F, TCustomInstallFile>("TInstallFile", [](TClassBuilder<F>& c) {
        PublishFileLocation(c);
        c.Boolean("Net", &F::Net, &F::SetNet, false);
        c.Reference("NetLocation", &F::NetLocation, &F::SetNetLocation);
        c.Set("OS", &F::OS, &F::SetOS, std::optional<OSSet>());
        c.String("RunParameters", &F::RunParameters, &F::RunParameters);
        c.Boolean("Uninstall", &F::Uninstall, &F::Uninstall, true);
        c.Set("InstallAttributes", &F::InstallAttributes, &F::InstallAttributes,
              std::optional<TTmbyFileAttributesSet>());
        c.Boolean("ActiveX", &F::ActiveX, &F::SetActiveX, false);
        c.String("DestName", &F::DestName, &F::SetDestName);
        c.String("FileName", &F::FileName, &F::SetFileName);
        c.Enum("FileType", &F::FileType, &F::SetFileType,
               std::optional<TInstallFileType>(iftNormal));
        c.String("IncludeFromDir", &F::IncludeFromDir, &F::SetIncludeFromDir);
        c.Enum("OverwriteMode", &F::OverwriteMode, &F::OverwriteMode,
               std::optional<TOverwriteType>(owAlways));
        c.Boolean("RegisterAsHelp", &F::RegisterAsHelp, &F::RegisterAsHelp, false);
        c.Boolean("RunAfterInstall", &F::RunAfterInstall, &F::RunAfterInstall, false);
        c.Boolean("UpdateDLLCounter", &F::UpdateDLLCounter, &F::UpdateDLLCounter, false);
        PublishFileEvents(c);
      });
  return info;
}

TInstallFile* TInstallFile::CreateFromPath(TComponent* owner, const std::string& path) {
  auto* file = new TInstallFile(owner);
  try {
    file->AssignSourcePath(path);
  } catch (...) {
    TComponent::Free(file);
    throw;
  }
  return file;
}

TInstallFile* TInstallFile::CreateInContainer(TComponent* owner, TInstallContainer* container,
                                              const std::string& path) {
  TInstallFile* file = CreateFromPath(owner, path);
  try {
    file->SetContainer(container);
  } catch (...) {
    TComponent::Free(file);
    throw;
  }
  return file;
}

}  // namespace tmby
