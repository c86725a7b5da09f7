#include "model/file_container.h"

#include <limits>

#include "archive/tmby_compress.h"
#include "base/path_text.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "platform/port.h"

namespace tmby {

namespace {

int32_t Clamp32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// The checks of the list that travels with status and disk reports.
TList& StatusList(TPersistent* object) {
  auto* list = dynamic_cast<TList*>(object);
  if (list == nullptr) throw IEFileContainer("DoInformationEventControl--PO is not a TList object");
  if (list->Count() < 2) {
    throw IEFileContainer("DoInformationEventControl--Not engouh parameters for status event");
  }
  return *list;
}

TCustomInstallFile* StatusFile(TPersistent* object) {
  auto* file = dynamic_cast<TCustomInstallFile*>(object);
  if (file == nullptr) throw IEFileContainer("DoInformationEventControl says bad first parameter");
  return file;
}

// Whether a file has put a member into `archive` in the build under way (the build clears every
// file's mark before it starts).
bool WrittenInThisBuild(const std::string& archive) {
  const TCustomInstallFileList& files = InstallModel().Files;
  for (int i = 0; i < files.Count(); ++i) {
    const TCustomInstallFile* file = files.Items(i);
    if (file != nullptr && file->CompressionMark == 2 && SameText(file->CompressedArchive, archive))
      return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TFileContainer

const TClassInfo& TFileContainer::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TFileContainer, TFileRelated>("TFileContainer");
  return info;
}

TFileContainer::TFileContainer(TComponent* owner) : TFileContainer(owner, true) {}

TFileContainer::TFileContainer(TComponent* owner, bool withOwnPathSpecifier) : TFileRelated(owner) {
  if (withOwnPathSpecifier) CreateOwnPathSpecifier(owner);
}

TFileContainer::~TFileContainer() {
  if (!released_) {
    released_ = true;
    FreeFiles();
    FreeOwnPathSpecifier();
  }
}

void TFileContainer::BeforeDestruction() {
  if (!released_) {
    released_ = true;
    FreeFiles();
    FreeOwnPathSpecifier();
  }
  TFileRelated::BeforeDestruction();
}

void TFileContainer::CreateOwnPathSpecifier(TComponent* owner) {
  auto* specifier = new TpsFileContainer(owner);
  specifier->SetFileContainer(this);
  const std::string name =
      owner != nullptr ? owner->FirstFreeName("psFileContainer") : "psFileContainer";
  specifier->renaming_ = true;
  try {
    specifier->SetName(name);
  } catch (...) {
    specifier->renaming_ = false;
    TComponent::Free(specifier);
    throw;
  }
  specifier->renaming_ = false;
  SetReference(ownPathSpecifier_, specifier);
}

void TFileContainer::FreeOwnPathSpecifier() {
  TpsFileContainer* specifier = ownPathSpecifier_;
  ownPathSpecifier_ = nullptr;
  if (specifier == nullptr || specifier->Destroying()) return;
  specifier->fileContainer_ = nullptr;
  try {
    TComponent::Free(specifier);
  } catch (const std::exception&) {
    // The container goes regardless.
  }
}

void TFileContainer::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr && component == ownPathSpecifier_) {
    ownPathSpecifier_ = nullptr;
  }
  TFileRelated::Notification(component, operation);
}

void TFileContainer::DoNewDisk(TCustomInstallFile* file, TDiskParameter& disk) {
  if (!OnNewDisk) return;
  std::string path = disk.Path;
  OnNewDisk(file, disk.DiskNumber, path);
  file->SetTag(1);
  disk.Path = path;
}

void TFileContainer::DoReplacing(TCustomInstallFile* file) {
  OnReplacing(file);
  Broadcast(this, hnReplacing, file);
}

void TFileContainer::DoStatus(TCustomInstallFile* file, TFileStatusParameter& status) {
  OnStatus(file, status.FilePercentDone, status.TotalPercentDone);
  Broadcast(this, hnFileStatus, &status);
}

void TFileContainer::ReportStatus(TCustomInstallFile* file, TFileStatusParameter& status) {
  const int64_t total = BytesProcessed + status.BytesDone;
  status.TotalBytesDone = Clamp32(total);
  status.TotalPercentDone = PercentOf(total, SizeToProcess);
  DoStatus(file, status);
}

void TFileContainer::DoInformationEventControl(TPersistent*, int code, TPersistent* object) {
  // An idle container neither handles nor passes on what its files report.
  if (State == ifsNone) return;
  switch (code) {
    case ieReplacing:
    case ieInstallStatus:
    case ieCompressStatus:
    case ieCopyStatus:
    case ieNewDisk:
    case ieDataReceived:
    case ieFileSkipped:
    case ieFileKept:
      if (object == nullptr) throw IEFileContainer("%s got a nil PO parameter", {Name()});
      break;
    default: break;
  }
  switch (code) {
    case ieReplacing: {
      auto* file = dynamic_cast<TCustomInstallFile*>(object);
      if (file == nullptr) {
        throw IEFileContainer("DoInformationEventControl parameter is not TInstallFile");
      }
      DoReplacing(file);
      break;
    }
    case ieInstallStatus:
    case ieCompressStatus:
    case ieCopyStatus: {
      TList& list = StatusList(object);
      TCustomInstallFile* file = StatusFile(list.Items(0));
      auto* status = dynamic_cast<TFileStatusParameter*>(list.Items(1));
      if (status == nullptr) {
        throw IEFileContainer("DoInformationEventControl says bad second parameter");
      }
      ReportStatus(file, *status);
      if (status->FileStats.Done && State != ifsNone) {
        BytesProcessed += status->FileStats.OriginalSize;
      }
      break;
    }
    case ieNewDisk: {
      TList& list = StatusList(object);
      auto* file = dynamic_cast<TCustomInstallFile*>(list.Items(0));
      if (file == nullptr)
        throw IEFileContainer("DoInformationEventControl says bad %d parameter", {1});
      auto* disk = dynamic_cast<TDiskParameter*>(list.Items(1));
      if (disk == nullptr)
        throw IEFileContainer("DoInformationEventControl says bad %d parameter", {2});
      DoNewDisk(file, *disk);
      Broadcast(this, hnNewDisk, &list);
      break;
    }
    case ieDataReceived: {
      auto* download = dynamic_cast<TDownloadStatusParameter*>(object);
      if (download == nullptr) {
        throw IEFileContainer("The PO object passed to %s is not a TDownloadStatusParameter object",
                              {Name()});
      }
      OnDataReceived(this, download->FileName, download->Bytes, download->TotalBytes,
                     download->FileSize, nullptr);
      Broadcast(this, hnDataReceived, download);
      break;
    }
    case ieFileSkipped:
    case ieFileKept: {
      // A file that is not copied counts as done.
      TCustomInstallFile* file = StatusFile(object);
      TFileStatusParameter status;
      status.BytesDone = file->Size;
      status.FilePercentDone = 100;
      status.FileName = file->FileName();
      ReportStatus(file, status);
      BytesProcessed += file->Size;
      break;
    }
    default: break;
  }
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, code, object);
  }
}

int64_t TFileContainer::SumSizes(bool all, bool deep) {
  int64_t sum = 0;
  for (int i = 0; i < HelperCount(); ++i) {
    TInstallObject* helper = Helpers(i);
    if (!all && !helper->IsIncluded()) continue;
    if (auto* file = dynamic_cast<TCustomInstallFile*>(helper)) {
      sum += file->Size;
    } else if (auto* container = dynamic_cast<TFileContainer*>(helper); container && deep) {
      sum += container->TotalSize(all);
    }
  }
  return sum;
}

int64_t TFileContainer::CompressedSize(bool all) {
  int64_t sum = 0;
  for (int i = 0; i < HelperCount(); ++i) {
    TInstallObject* helper = Helpers(i);
    if (!all && !helper->IsIncluded()) continue;
    if (auto* file = dynamic_cast<TCustomInstallFile*>(helper)) {
      sum += file->CompressedSize;
    } else if (auto* container = dynamic_cast<TFileContainer*>(helper)) {
      sum += container->CompressedSize(all);
    }
  }
  return sum;
}

void TFileContainer::FreeFiles() { FreeHelpersOf(TCustomInstallFile::StaticClass()); }

void TFileContainer::ReadInfoFromArchive() {
  for (int i = 0; i < HelperCount(); ++i) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i))) file->ReadInfoFromArchive();
  }
  for (int i = 0; i < HelperCount(); ++i) {
    if (auto* container = dynamic_cast<TFileContainer*>(Helpers(i))) {
      container->ReadInfoFromArchive();
    }
  }
  InfoRead = true;
}

void TFileContainer::ReadFileInfo() { ReadSources(false); }

void TFileContainer::ReadSourceSizes() { ReadSources(true); }

void TFileContainer::CollectSources(bool all, std::vector<std::string>& sources) {
  for (int i = 0; i < HelperCount(); ++i) {
    auto* helper = dynamic_cast<TFileRelated*>(Helpers(i));
    if (helper == nullptr || !(all || helper->Include())) continue;
    if (auto* file = dynamic_cast<TCustomInstallFile*>(helper)) {
      try {
        sources.push_back(file->SourcePath());
      } catch (const Exception&) {
        // The file's compression will say what is wrong with its source.
      }
    } else if (auto* container = dynamic_cast<TFileContainer*>(helper)) {
      container->CollectSources(all, sources);
    }
  }
}

void TFileContainer::ReadSources(bool sizesOnly) {
  for (int i = 0; i < HelperCount(); ++i) {
    if (auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i))) {
      sizesOnly ? file->ReadSourceSize() : file->ReadFileInfo();
    }
  }
  for (int i = 0; i < HelperCount(); ++i) {
    if (auto* container = dynamic_cast<TFileContainer*>(Helpers(i))) {
      sizesOnly ? container->ReadSourceSizes() : container->ReadFileInfo();
    }
  }
}

void TFileContainer::InstallHelpers() {
  // The container is busy until the walk is over, however it ends.
  struct StateReset {
    TFileContainer& container;
    ~StateReset() { container.State = ifsNone; }
  } reset{*this};
  State = ifsInstall;
  std::string local;
  if (GetLocalFile(local)) LocalArchivePath = local;
  ReadInfoFromArchive();
  Broadcast(this, hnInstallHelpers, nullptr);
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, ieContainerStart, this);
  }
  SizeToProcess = TotalSize(false);
  BytesProcessed = 0;
  OnBeforeInstallObjects(this);
  TFileRelated::InstallHelpers();
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, ieContainerEnd, this);
  }
  const TTmbyCompress* archive = InstallModel().SharedArchive.get();
  const bool wasAborted = archive != nullptr && archive->Abort;
  Broadcast(this, hnOperationOver, nullptr);
  if (FireAfterInstallObjects) OnAfterInstallObjects(this, wasAborted);
}

int TFileContainer::FileCount() const { return HelperCountOf(TCustomInstallFile::StaticClass()); }

TCustomInstallFile* TFileContainer::Files(int index) const {
  return static_cast<TCustomInstallFile*>(Comp(index, TCustomInstallFile::StaticClass()));
}

TCustomInstallFile* TFileContainer::FindFileBySource(const std::string& path) const {
  for (int i = 0; i < HelperCount(); ++i) {
    auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i));
    if (file != nullptr && SameText(file->SourcePath(), path)) return file;
  }
  return nullptr;
}

bool TFileContainer::HasNetFiles() const {
  for (int i = 0; i < HelperCount(); ++i) {
    auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i));
    if (file != nullptr && file->Net()) return true;
  }
  return false;
}

bool TFileContainer::HasUnlocatedNetFiles() {
  IInstallRoot* root = InstallModel().CurrentInstall();
  const TDistributeType type = root != nullptr ? root->DistributeType() : dtTraditionalNet;
  if (type == dtTraditional) return false;
  for (int i = 0; i < HelperCount(); ++i) {
    auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i));
    if (file != nullptr && file->Net() && file->Include() && file->NetLocation() == nullptr) {
      return true;
    }
  }
  return false;
}

std::string TFileContainer::GetLocalArchivePath() {
  std::string path;
  if (GetLocalFile(path)) return path;
  // Downloaded in this run, though its record could not be written (a refusing registry): the
  // copy is there all the same.
  if (!TrimText(LocalArchivePath).empty() &&
      platform::Port().Files().FileExists(LocalArchivePath)) {
    return LocalArchivePath;
  }
  throw IEFileContainer(
      "%s has not yet downloaded the archive file and therefore cannot retrieve the path of the "
      "archive file",
      {Name()});
}

void TFileContainer::Reflect() {
  State = ifsReflect;
  ITmbyReflector* reflector = InstallModel().Reflector;
  if (reflector == nullptr) return;
  for (int i = 0; i < HelperCount(); ++i) reflector->Reflect(Helpers(i));
}

void TFileContainer::SetState(TInstallFileState state) {
  struct Reset {
    TFileContainer& container;
    ~Reset() { container.State = ifsNone; }
  } reset{*this};
  switch (state) {
    case ifsCompress: Compress({}); break;
    case ifsInstall: Install(); break;
    case ifsCopying: CopyFiles(); break;
    case ifsReflect: Reflect(); break;
    case ifsNone: break;
  }
}

void TFileContainer::EndOperation(bool raising) {
  State = ifsNone;
  try {
    Broadcast(this, hnOperationOver, nullptr);
  } catch (...) {
    if (!raising) throw;
  }
}

template <class Body>
void TFileContainer::RunOperation(TInstallFileState state, bool all, Body&& body) {
  State = state;
  try {
    OnBeforeProcess(this);
    if (Include()) {
      TInstallContainer* container = Container();
      if (container != nullptr) container->DoInformationEventControl(this, ieContainerStart, this);
      // An enclosing container busy with the same operation has read the information of every
      // file below it, these included: reading it again at each level of folders opened every
      // file of a build twice more.
      const auto* enclosing = dynamic_cast<const TFileContainer*>(container);
      const bool outermost = enclosing == nullptr || enclosing->State != state;
      // Compressing reads every source once, and records its date and version as it does.
      if (outermost) state == ifsCompress ? ReadSourceSizes() : ReadFileInfo();
      SizeToProcess = TotalSize(all);
      BytesProcessed = 0;
      // The shared archive component keeps the archive it appended to open for the next file;
      // the outermost operation lets it go at its end, so that the archives can be read.
      // A compression tells it the sources to come, which it reads and deflates ahead on the
      // machine's other processors.
      TTmbyCompress* shared = InstallModel().SharedArchive.get();
      const bool compressing = outermost && state == ifsCompress && shared != nullptr;
      struct Release {
        bool outermost;
        bool compressing;
        ~Release() {
          TTmbyCompress* shared = InstallModel().SharedArchive.get();
          if (!outermost || shared == nullptr) return;
          shared->Close();
          if (compressing) shared->ExpectSources({});
        }
      } release{outermost, compressing};
      if (compressing) {
        std::vector<std::string> sources;
        CollectSources(all, sources);
        shared->ExpectSources(sources);
      }
      body();
      OnAfterProcess(this);
      if (container != nullptr) container->DoInformationEventControl(this, ieContainerEnd, this);
    }
  } catch (...) {
    EndOperation(true);
    throw;
  }
  EndOperation(false);
}

void TFileContainer::CopyFiles() {
  RunOperation(ifsCopying, false, [this] {
    for (int i = 0; i < HelperCount(); ++i) {
      if (auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i))) file->CopyFile();
    }
    for (int i = 0; i < HelperCount(); ++i) {
      if (auto* sub = dynamic_cast<TFileContainer*>(Helpers(i))) sub->CopyFiles();
    }
  });
}

void TFileContainer::Compress(TCompressOptions options) {
  if (options.Contains(coForceNetFilesLocal) && options.Contains(coForceFilesNet)) {
    throw IEFileContainer("Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
  }
  RunOperation(ifsCompress, options.Contains(coIncludeAll), [this, options] {
    platform::IFileSystem& files = platform::Port().Files();
    const std::string archiveDir = ExcludeTrailingBackslash(PathDirectoryPart(GetArchivePath()));
    try {
      LocalArchivePath = archiveDir + "\\" + GetNetRelativeDir() + "\\" + Name() + ".1";
    } catch (const IEFileRel_NoNetLocation&) {
      if (!options.Contains(coForceNetFilesLocal)) throw;
    }
    if (AddToArchive == lzcOverwrite) {
      // The archive may be the one held open since the last file was appended to it.
      if (TTmbyCompress* shared = InstallModel().SharedArchive.get()) shared->Close();
      const std::string archive = ReplaceExtension(GetArchivePath(), ".1");
      if (files.FileExists(archive) && !files.RemoveFile(archive)) {
        throw IEFileContainer("%s cannot delete the archive file %s", {Name(), archive});
      }
    }
    if ((HasNetFiles() || (options.Contains(coForceFilesNet) && FileCount() > 0)) &&
        !TrimText(LocalArchivePath).empty() && files.FileExists(LocalArchivePath) &&
        !files.RemoveFile(LocalArchivePath)) {
      throw IEFileContainer("%s cannot delete the archive file %s", {Name(), LocalArchivePath});
    }
    for (int i = 0; i < HelperCount(); ++i) {
      if (auto* helper = dynamic_cast<TFileRelated*>(Helpers(i))) CompressHelper(helper, options);
    }
  });
}

void TFileContainer::CompressHelper(TFileRelated* helper, TCompressOptions options) {
  auto* file = dynamic_cast<TCustomInstallFile*>(helper);
  const bool netFile = file != nullptr && !options.Contains(coForceNetFilesLocal) &&
                       (file->Net() || options.Contains(coForceFilesNet));
  const TlzhCommand savedAdd = helper->AddToArchive;
  const std::string savedFile = helper->ArchiveFile();
  TCustomPathSpecifier* savedType = helper->ArchiveFileType();
  const bool savedInclude = helper->Include();
  const auto restore = [&] {
    helper->AddToArchive = savedAdd;
    helper->SetArchiveFileType(savedType);
    helper->SetArchiveFile(savedFile);
    helper->SetInclude(savedInclude);
  };
  try {
    if (!savedInclude && options.Contains(coIncludeAll)) helper->SetInclude(true);
    const std::string archiveDir = ExcludeTrailingBackslash(PathDirectoryPart(GetArchivePath()));
    // An archive this build writes afresh is made anew on its first use in the build (a folder
    // that holds an earlier build keeps no stale member, which extraction would find first), and
    // added to by the files that share it after that.
    const auto use = [&](TlzhCommand add, const std::string& archive) {
      helper->AddToArchive = add == lzcOverwrite && WrittenInThisBuild(archive) ? lzcOnlyAdd : add;
      helper->SetArchiveFileType(nullptr);
      helper->SetArchiveFile(archive);
    };
    if (netFile) {
      // A file fetched on its own has an archive of its own, made anew by each build.
      const std::string own =
          archiveDir + "\\" + helper->GetNetRelativeDir() + "\\" + helper->Name() + ".1";
      if (helper->NetLocation() != nullptr || file->HasOwnDownload()) {
        use(lzcOverwrite, own);
      } else {
        use(lzcOnlyAdd, LocalArchivePath);
      }
    } else if (IsSpecifierKind(savedType, "TpsContainerArchiveFile")) {
      helper->AddToArchive = lzcOnlyAdd;
    } else if (IsSpecifierKind(savedType, "TpsInstallSource")) {
      TFileContainer* root = InstallModel().Root();
      const std::string rootArchive = root != nullptr ? root->GetArchivePath() : GetArchivePath();
      use(lzcOverwrite, ExcludeTrailingBackslash(PathDirectoryPart(rootArchive)) + savedFile);
    } else if (options.Contains(coRelocateArchives)) {
      const std::string own = helper->GetArchivePath();
      const size_t colon = own.find(':');
      use(lzcOverwrite, archiveDir + (colon == std::string::npos ? own : own.substr(colon + 1)));
    }
    if (auto* sub = dynamic_cast<TFileContainer*>(helper)) {
      sub->Compress(options);
    } else if (file != nullptr) {
      file->CompressFile();
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

// ---------------------------------------------------------------------------------------------
// TpsFileContainer

const TClassInfo& TpsFileContainer::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TpsFileContainer, TCustomPathSpecifier>(
      "TpsFileContainer", [](TClassBuilder<TpsFileContainer>& c) {
        c.Reference("FileContainer", &TpsFileContainer::FileContainer,
                    &TpsFileContainer::SetFileContainer);
      });
  return info;
}

TpsFileContainer::TpsFileContainer(TComponent* owner) : TCustomPathSpecifier(owner) {
  SpecifierName = "psFileContainer";
}

void TpsFileContainer::SetName(const std::string& name) {
  if (renaming_) {
    TCustomPathSpecifier::SetName(name);
    return;
  }
  try {
    TCustomPathSpecifier::SetName(name);
    return;
  } catch (const Exception&) {
  }
  TComponent* owner = Owner();
  TComponent* other = owner != nullptr ? owner->FindComponent(name) : nullptr;
  if (other == nullptr || other == this) return;  // another failure: the name stays
  std::string clash = "nameClash" + std::to_string(++InstallModel().NameClashCounter);
  if (owner->FindComponent(clash) != nullptr) {
    std::string candidate;
    for (int n = 1;; ++n) {
      candidate = clash + std::to_string(n);
      if (owner->FindComponent(candidate) == nullptr) break;
    }
    clash = candidate;
  }
  try {
    other->SetName(clash);
    TCustomPathSpecifier::SetName(name);
  } catch (const Exception&) {
  }
}

void TpsFileContainer::Loaded() {
  TCustomPathSpecifier::Loaded();
  TFileContainer* container = fileContainer_;
  if (container == nullptr || container->ownPathSpecifier_ == this) return;
  TpsFileContainer* previous = container->ownPathSpecifier_;
  container->ownPathSpecifier_ = nullptr;
  if (previous != nullptr && !previous->Destroying()) {
    previous->fileContainer_ = nullptr;
    TComponent::Free(previous);
  }
  container->ownPathSpecifier_ = this;
  container->FreeNotification(this);
}

void TpsFileContainer::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr && component == fileContainer_) {
    fileContainer_ = nullptr;
  }
  TCustomPathSpecifier::Notification(component, operation);
}

void TpsFileContainer::CheckUsableFor(TPersistent* object) {
  if (dynamic_cast<TFileContainer*>(object) != nullptr ||
      dynamic_cast<TCustomInstallFile*>(object) != nullptr) {
    throw IEPathSpecifier("A file container cannot reference another file container or group");
  }
}

std::string TpsFileContainer::GetDescription() {
  if (fileContainer_ == nullptr) return "Path specifier for unknown file container";
  return "Path into which " + fileContainer_->Description + " will be installed";
}

std::string TpsFileContainer::GetShortCaption() {
  if (fileContainer_ == nullptr) return "Path specifier for unknown file container";
  return "<" + fileContainer_->Description + ">";
}

std::string TpsFileContainer::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  if (fileContainer_ == nullptr) return "";
  return fileContainer_->GetDestPath();
}

}  // namespace tmby
