#include "model/file_related.h"

#include "archive/tmby_compress.h"
#include "base/path_text.h"
#include "model/custom_install_file.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "net/net_location.h"
#include "paths/path_root_base.h"
#include "platform/port.h"
#include "system/registry.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {

constexpr int kLocalMachine = 4;

// A downloaded archive holds every member its headers list. A transfer cut short where the server
// named no length (FTP, or HTTP without Content-Length) ends like a whole one; recorded, it would
// be taken by every later start instead of being fetched anew.
bool HoldsItsMembers(const std::string& path) {
  int64_t size = 0;
  {
    const std::unique_ptr<platform::IFile> file =
        platform::Port().Files().Open(path, platform::FileAccess::Read, platform::kShareRead,
                                      platform::FileDisposition::OpenExisting);
    const std::optional<int64_t> length = file ? file->Size() : std::nullopt;
    if (!length) return false;
    size = *length;
  }
  TTmbyCompress archive;
  archive.SetCompressedFile(path);
  try {
    archive.LoadHeaders();
  } catch (const Exception&) {
    return false;
  }
  const TFileHeaders& headers = archive.Headers();
  if (headers.Count() == 0) return false;
  for (int i = 0; i < headers.Count(); ++i) {
    const TFileHeader& header = headers.Items(i);
    // EndPosition is the offset of the member's last byte.
    if (header.DataStart < 0 || header.EndPosition >= size) return false;
  }
  return true;
}

// The archive kinds that name the archive by themselves: the relative part stays empty.
bool NamesWholeArchive(const TCustomPathSpecifier* specifier) {
  return IsSpecifierKind(specifier, "TpsContainerArchiveFile") ||
         IsSpecifierKind(specifier, "TpsMainArchiveFile");
}

}  // namespace

const TClassInfo& TFileRelated::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TFileRelated, TInstallObject>("TFileRelated");
  return info;
}

TFileRelated::TFileRelated(TComponent* owner) : TInstallObject(owner) { InstallWithTree = true; }

void TFileRelated::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) {
    if (component == archiveFileType_) archiveFileType_ = nullptr;
    if (component == netLocation_) SetNetLocation(nullptr);
  }
  TInstallObject::Notification(component, operation);
}

void TFileRelated::DoDataReceived(const std::string& fileName, int32_t bytes, int32_t totalBytes,
                                  int32_t fileSize, const void* buffer) {
  TDownloadStatusParameter parameter;
  parameter.Bytes = bytes;
  parameter.FileName = fileName;
  parameter.FileSize = fileSize;
  parameter.TotalBytes = totalBytes;
  parameter.PercentDone = PercentOf(totalBytes, fileSize);
  OnDataReceived(this, fileName, bytes, totalBytes, fileSize, buffer);
  Broadcast(this, hnDataReceived, &parameter);
  if (TInstallContainer* container = Container()) {
    container->DoInformationEventControl(this, ieDataReceived, &parameter);
  }
}

void TFileRelated::Download() {
  std::string recorded;
  if (GetLocalFile(recorded)) {
    LocalArchivePath = recorded;
    return;
  }
  TCustomNetInstallLocation* location = GetNetLocation();
  if (location == nullptr) {
    throw Exception("Could not find a net install location for %s", {Name()});
  }
  if (!location->LoginInformation().IsComplete()) {
    if (NetLocation() != nullptr) {
      throw IEFileRelated(
          "%s could not install itself because the TNetLocation component's properties, in the "
          "NetLocation property, have not been filled in",
          {Name()});
    }
    throw IEFileRelated(
        "%s could not install itself because the LoginInformation property of the TInstall "
        "component has not been properly filled in",
        {Name()});
  }
  // The temporary file stays, keeping its name reserved for the archive beside it.
  const std::string reserved = GetTempFile(true);
  LocalArchivePath = ReplaceExtension(reserved, ".1");
  const std::string remote = Name() + ".1";
  // What a failed or cancelled transfer leaves is no archive: nothing keeps or records it, and
  // the name it reserved is given back.
  const auto forget = [this, reserved] {
    platform::Port().Files().RemoveFile(LocalArchivePath);
    platform::Port().Files().RemoveFile(reserved);
    LocalArchivePath.clear();
  };
  location->ClientDataReceived.Set(
      [this](TPersistent*, const std::string& file, int32_t bytes, int32_t total, int32_t size,
             const void* buffer) { DoDataReceived(file, bytes, total, size, buffer); });
  try {
    location->Download(remote, LocalArchivePath);
  } catch (...) {
    location->ClientDataReceived.Clear();
    forget();
    if (NetLocations().DownloadAbort) throw EAIUserAbort();
    throw;
  }
  location->ClientDataReceived.Clear();
  if (NetLocations().DownloadAbort) {
    forget();
    throw EAIUserAbort();
  }
  if (!HoldsItsMembers(LocalArchivePath)) {
    forget();
    throw IEFileRelated("The archive %s that %s downloaded is incomplete or damaged",
                        {remote, Name()});
  }
  if (!DesignMode()) SetLocalFile(LocalArchivePath);
}

std::string TFileRelated::GetNetRelativeDir() const {
  const TCustomNetInstallLocation* location = GetNetLocation();
  if (location == nullptr) {
    throw IEFileRel_NoNetLocation("Could not find a net install location for %s", {Name()});
  }
  return NetRelativeDir(location->LoginInformation());
}

bool TFileRelated::IsDownloaded() {
  if (!TrimText(LocalArchivePath).empty()) return true;
  std::string path;
  return GetLocalFile(path);
}

bool TFileRelated::GetLocalFile(std::string& path) const {
  // Without a state key there is no record to look for.
  if (TrimText(Name()).empty() || TrimText(InstallModel().InstallStateKey).empty()) return false;
  const std::string recorded =
      ReadRegString(kLocalMachine, ComponentStateKey(Name()), "LocalFile", "");
  if (TrimText(recorded).empty() || !platform::Port().Files().FileExists(recorded)) return false;
  path = recorded;
  return true;
}

void TFileRelated::SetLocalFile(const std::string& path) {
  if (TrimText(Name()).empty() || TrimText(path).empty()) return;
  if (TrimText(InstallModel().InstallStateKey).empty()) return;
  try {
    WriteRegString(kLocalMachine, ComponentStateKey(Name()), "LocalFile", path);
  } catch (const EIRCannotWriteValue&) {
    // A restarted install downloads the archive again.
  }
}

void TFileRelated::SetArchiveFile(const std::string& value) {
  // A definition stores the relative part before its specifier: while it is read the specifier
  // is still the default one, and the part is taken as stored.
  if (IsLoading(*this)) {
    archiveFile_ = value;
    return;
  }
  archiveFile_ = NamesWholeArchive(archiveFileType_) ? std::string() : value;
}

void TFileRelated::SetArchiveFileType(TCustomPathSpecifier* value) {
  archiveFileTypeAssigned_ = true;
  if (value != nullptr && !IsLoading(*this)) value->CheckUsableFor(this);
  StoreArchiveFileType(value);
  if (NamesWholeArchive(value)) archiveFile_.clear();
}

void TFileRelated::StoreArchiveFileType(TCustomPathSpecifier* value) {
  SetReference(archiveFileType_, value);
}

void TFileRelated::SetNet(bool value) { net_ = value; }

void TFileRelated::SetNetLocation(TCustomNetInstallLocation* value) {
  SetReference(netLocation_, value);
}

std::string TFileRelated::GetArchivePath() {
  return ExpandPath(archiveFileType_, this, archiveFile_);
}

void TFileRelated::SetContainer(TInstallContainer* value) {
  const bool changed = value != Container();
  TInstallObject::SetContainer(value);
  if (!changed || IsLoading(*this)) return;
  if (dynamic_cast<TFileRelated*>(value) != nullptr) {
    SetArchiveFileType(PathSpecifiers().Standard.FindSpecifier("TpsContainerArchiveFile"));
    SetArchiveFile("");
  } else if (IsSpecifierKind(archiveFileType_, "TpsContainerArchiveFile")) {
    SetArchiveFileType(nullptr);
  }
}

void TFileRelated::Loaded() {
  if (archiveFileTypeDefaultPending_ && !archiveFileTypeAssigned_) StoreArchiveFileType(nullptr);
  archiveFileTypeDefaultPending_ = false;
  TInstallObject::Loaded();
  std::string local;
  if (GetLocalFile(local)) LocalArchivePath = local;
}

void TFileRelated::DesignCreated() {
  TInstallObject::DesignCreated();
  if (!containerDefaultPending_) return;
  StoreArchiveFileType(PathSpecifiers().Standard.Lookup("TpsContainerArchiveFile"));
  archiveFile_.clear();
  archiveFileTypeDefaultPending_ = true;
}

TCustomNetInstallLocation* TFileRelated::GetNetLocation() const {
  if (netLocation_ != nullptr) return netLocation_;
  if (dynamic_cast<const TCustomInstallFile*>(this) != nullptr && Container() != nullptr) {
    auto* container = dynamic_cast<TFileContainer*>(Container());
    return container != nullptr ? container->GetNetLocation() : nullptr;
  }
  TFileContainer* root = InstallModel().Root();
  return root != nullptr && root != this ? root->NetLocation() : nullptr;
}

}  // namespace tmby
