// TFileContainer: an install object that owns files (the install root, every group and every
// directory). It walks its files, reads their information, adds up sizes for progress, handles
// the information events of its files on their way up to the root, and names its destination
// through its own path specifier, a TpsFileContainer.
#pragma once

#include <cstdint>
#include <string>

#include "model/custom_install_file.h"
#include "model/file_related.h"
#include "paths/path_root_base.h"

namespace tmby {

// The options of a build's Compress.
enum TCompressOption { coRelocateArchives, coForceNetFilesLocal, coForceFilesNet, coIncludeAll };
TMBY_ENUM_NAMES(TCompressOption, coRelocateArchives, coForceNetFilesLocal, coForceFilesNet,
                coIncludeAll)
using TCompressOptions = EnumSet<TCompressOption>;

class TDiskParameter;
class TFileStatusParameter;
class TpsFileContainer;

class TFileContainer : public TFileRelated {
  TMBY_CLASS(TFileContainer, TFileRelated)
 public:
  // Creates the container's own path specifier, with the same owner.
  explicit TFileContainer(TComponent* owner);
  ~TFileContainer() override;
  // Frees the container's files, then its own path specifier.
  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;

  // Total bytes of the operation under way, and bytes of its finished files.
  int64_t SizeToProcess = 0;
  int64_t BytesProcessed = 0;
  // The author's label of the container.
  std::string Description;
  TPlaceKind PlaceKind() const override { return pkDirectory; }
  std::string PlaceLabel() const override { return Description; }
  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;
  TInstallFileNotifyEvent OnReplacing;
  // The operation under way; information events are dropped while it is ifsNone.
  TInstallFileState State = ifsNone;
  // InstallHelpers fires OnAfterInstallObjects itself (the install root fires it at the end of
  // the run instead).
  bool FireAfterInstallObjects = true;
  TAfterInstallObjectsEvent OnAfterInstallObjects;
  TInstallContainerNotifyEvent OnBeforeInstallObjects;

  TpsFileContainer* OwnPathSpecifier() const { return ownPathSpecifier_; }

  // --- Virtual operations, in slot order.
  // True: the container has a specifier naming its destination (the install root has none).
  virtual bool HasOwnPathSpecifier() const { return true; }
  // Fires OnNewDisk with the disk's path by reference and marks the file handled (Tag 1).
  virtual void DoNewDisk(TCustomInstallFile* file, TDiskParameter& disk);
  // Fires OnReplacing, then broadcasts hnReplacing.
  virtual void DoReplacing(TCustomInstallFile* file);
  // Fires OnStatus, then broadcasts hnFileStatus.
  virtual void DoStatus(TCustomInstallFile* file, TFileStatusParameter& status);
  // Sizes of the file helpers (all, or the included ones), and with `deep` of the sub-containers.
  virtual int64_t SumSizes(bool all, bool deep);
  // Frees every file helper: files do not outlive their container.
  virtual void FreeFiles();
  virtual int64_t CompressedSize(bool all);
  virtual int64_t FilesSize(bool all) { return SumSizes(all, false); }
  virtual int64_t TotalSize(bool all) { return SumSizes(all, true); }
  // ifsCompress compresses (no options), ifsInstall installs, ifsCopying copies, ifsReflect
  // reflects; State is ifsNone afterwards.
  virtual void SetState(TInstallFileState state);
  // Copies the files of the subtree to their destinations without archives.
  virtual void CopyFiles();
  // Builds the archives of the subtree (a build's step): every member goes into the archive the
  // options and its archive settings choose, which are restored afterwards.
  virtual void Compress(TCompressOptions options);
  // The local copy of the downloaded archive; IEFileContainer while there is none.
  virtual std::string GetLocalArchivePath();
  // Reads the archive information of the files, then of the sub-containers; sets InfoRead.
  virtual void ReadInfoFromArchive();
  // Reads size, date and version from the source files, the same way.
  virtual void ReadFileInfo();
  // The sizes of the source files only, the same way (a build's totals; see ReadSourceSize).
  void ReadSourceSizes();
  // In a net distribution, an included net file without a location of its own.
  virtual bool HasUnlocatedNetFiles();

  int ComponentType() const override { return ctFileContainer; }
  void DoInformationEventControl(TPersistent* sender, int code, TPersistent* object) override;
  // The container's own walk: reads its archive information, reports to its container and the
  // helpers, installs its helpers with progress totals, and fires its events.
  void InstallHelpers() override;

  int FileCount() const;
  TCustomInstallFile* Files(int index) const;
  // The file helper whose source path is `path` (ignoring case), or null.
  TCustomInstallFile* FindFileBySource(const std::string& path) const;
  // Some file helper comes from a net location.
  bool HasNetFiles() const;
  // Hands every helper to the process-wide reflector, when one is registered.
  void Reflect();

 protected:
  // For the install root, which has no specifier of its own.
  TFileContainer(TComponent* owner, bool withOwnPathSpecifier);

 private:
  friend class TpsFileContainer;
  void CreateOwnPathSpecifier(TComponent* owner);
  void FreeOwnPathSpecifier();
  // The sources a compression of this container reads, in the order it reads them.
  void CollectSources(bool all, std::vector<std::string>& sources);
  // The walk of ReadFileInfo and ReadSourceSizes.
  void ReadSources(bool sizesOnly);
  // Fills the container's totals into a status parameter and reports it.
  void ReportStatus(TCustomInstallFile* file, TFileStatusParameter& status);
  // The end of Compress and CopyFiles: State back to ifsNone, then the helpers hear -996.
  void EndOperation(bool raising);
  // The frame of Compress and CopyFiles around `body`: state, events, reports, totals.
  template <class Body>
  void RunOperation(TInstallFileState state, bool all, Body&& body);
  // One helper's compression with the archive the build chooses for it.
  void CompressHelper(TFileRelated* helper, TCompressOptions options);

  TpsFileContainer* ownPathSpecifier_ = nullptr;
  bool released_ = false;
};

// The path specifier naming the destination of one file container.
class TpsFileContainer : public TCustomPathSpecifier {
  TMBY_CLASS(TpsFileContainer, TCustomPathSpecifier)
 public:
  explicit TpsFileContainer(TComponent* owner);

  TFileContainer* FileContainer() const { return fileContainer_; }
  void SetFileContainer(TFileContainer* value) { SetReference(fileContainer_, value); }

  // When another component of the owner holds the name, that one is renamed "nameClash<n>" and
  // the name applied again; any other failure leaves the name unchanged.
  void SetName(const std::string& name) override;
  // Replaces the container's automatically created specifier.
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  // IEPathSpecifier for file containers, groups and files.
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetShortCaption() override;
  // The container's destination; empty without container.
  std::string GetPath(TPersistent* object) override;

 private:
  friend class TFileContainer;
  TFileContainer* fileContainer_ = nullptr;
  bool renaming_ = false;
};

}  // namespace tmby
