// TFileRelated: an install object that carries an archive file (containers and files alike) and
// may fetch its data from a net install location.
#pragma once

#include <string>

#include "archive/archive_format.h"
#include "model/install_container.h"
#include "net/net_location.h"

namespace tmby {

TMBY_ENUM_NAMES(TlzhCommand, lzcOverwrite, lzcOnlyAdd)

class TFileRelated : public TInstallObject {
  TMBY_CLASS(TFileRelated, TInstallObject)
 public:
  explicit TFileRelated(TComponent* owner);
  void Notification(TComponent* component, TOperation operation) override;

  // The local copy of this object's downloaded archive (or, while building, of the net archive
  // being written).
  std::string LocalArchivePath;
  // Whether a build recreates the archive or appends to it.
  TlzhCommand AddToArchive = lzcOverwrite;
  // The file information of this object has been read from its archive.
  bool InfoRead = false;
  TDataReceivedEvent OnDataReceived;

  const std::string& ArchiveFile() const { return archiveFile_; }
  TCustomPathSpecifier* ArchiveFileType() const { return archiveFileType_; }
  bool Net() const { return net_; }
  TCustomNetInstallLocation* NetLocation() const { return netLocation_; }

  // --- Virtual operations, in slot order.
  // The net location's progress callback: reports to the handlers, the helpers and the
  // container (ieDataReceived).
  virtual void DoDataReceived(const std::string& fileName, int32_t bytes, int32_t totalBytes,
                              int32_t fileSize, const void* buffer);
  // Fetches this object's archive ("<name>.1") from its net location into a ".1" file in the
  // temporary folder (LocalArchivePath) and records it, unless a recorded copy exists. A failed,
  // cut or cancelled transfer leaves neither file nor record; a cancel raises EAIUserAbort.
  virtual void Download();
  // True when a local copy of the archive is known.
  virtual bool IsDownloaded();
  // Records the local copy of the archive under the install's state key; errors are ignored.
  virtual void SetLocalFile(const std::string& path);
  // Stays empty while ArchiveFileType is a container or main archive specifier.
  virtual void SetArchiveFile(const std::string& value);
  // Outside loading, a specifier first checks that it can serve this object; a container or
  // main archive specifier empties ArchiveFile.
  virtual void SetArchiveFileType(TCustomPathSpecifier* value);
  virtual void SetNet(bool value);
  virtual void SetNetLocation(TCustomNetInstallLocation* value);
  // ArchiveFile expanded from ArchiveFileType.
  virtual std::string GetArchivePath();

  bool PlaceCarriesArchive() const override { return true; }
  std::string PlaceArchivePath() override { return GetArchivePath(); }

  // Outside loading, a file-related or group container makes the container's archive the
  // default.
  void SetContainer(TInstallContainer* value) override;
  // Takes a local archive copy recorded in the registry.
  void Loaded() override;
  void DesignCreated() override;

  // The local archive copy recorded under the install's state key, when it names an existing
  // file.
  bool GetLocalFile(std::string& path) const;
  // The own net location, else the container's (for a file), else the install root's.
  TCustomNetInstallLocation* GetNetLocation() const;
  // The folder below a net build's root that mirrors this object's server location.
  // IEFileRel_NoNetLocation without a net location.
  std::string GetNetRelativeDir() const;

 protected:
  void StoreArchiveFileType(TCustomPathSpecifier* value);

  bool archiveFileTypeAssigned_ = false;
  bool archiveFileTypeDefaultPending_ = false;

 private:
  std::string archiveFile_;
  TCustomPathSpecifier* archiveFileType_ = nullptr;
  bool net_ = true;
  TCustomNetInstallLocation* netLocation_ = nullptr;
};

}  // namespace tmby
