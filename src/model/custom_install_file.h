// The files of the product. A TCustomInstallFile is one file: where its source lies on the
// author's machine, which archive member holds it, where it goes on the target machine, how an
// existing file there is treated, and what is registered once it is in place (help file,
// shared-DLL count, ActiveX server, uninstall log). It installs itself from its archive (or a
// download) during the tree walk, adds itself to an archive during the build, copies itself
// uncompressed, and reports progress and questions to its containers.
//
// TInstallFile is the component an install definition holds; TUninstallEXE (uninstall_exe.h) is
// the uninstaller program as a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "model/file_related.h"
#include "system/system_dirs.h"
#include "system/version_compare.h"

namespace tmby {

class TCustomInstallFile;
class TTmbyCompress;

using TInstallFileNotifyEvent = TEvent<TCustomInstallFile*>;
// (InstallFile, FilePercentDone, TotalPercentDone)
using TInstallFileStatusEvent = TEvent<TCustomInstallFile*, int32_t, int32_t>;
// (InstallFile, NewDisk, var Path)
using TInstallFileNewDiskEvent = TEvent<TCustomInstallFile*, int32_t, std::string&>;

// The kind of a file; the DLL kinds choose default destinations and the overwrite rule.
enum TInstallFileType {
  iftNormal,
  iftJustADLL,
  iftApplicationSpecificDLL,
  iftVendorSharedDLL,
  iftSystemWideDLL
};
TMBY_ENUM_NAMES(TInstallFileType, iftNormal, iftJustADLL, iftApplicationSpecificDLL,
                iftVendorSharedDLL, iftSystemWideDLL)
TMBY_ENUM_NAMES(TOverwriteType, owAlways, owNever, owVersion, owDate, owVersionDate, owAsk)
TMBY_ENUM_NAMES(TTmbyFileAttributes, tfaArchive, tfaCompressed, tfaDirectory, tfaHidden, tfaNormal,
                tfaOffline, tfaReadOnly, tfaSystem, tfaTemporary)

// The identifiers of the files: UniqueID is also the MemberIndex of the file's archive member.
inline constexpr int kUniqueIdCount = 2000;
// The record a file writes into the build's file list.
inline constexpr int kListEntrySize = 80;
inline constexpr int kListEntryNameChars = 39;

class TCustomInstallFile : public TFileRelated {
  TMBY_CLASS(TCustomInstallFile, TFileRelated)
 public:
  // Joins the file list and takes the lowest free identifier (0 when all are taken).
  explicit TCustomInstallFile(TComponent* owner);
  ~TCustomInstallFile() override;
  // Leaves the file list, the deferred registrations and the identifier table.
  void BeforeDestruction() override;

  // --- State of the latest install.
  // The target was in use: the new file waits under another name for the restart.
  bool ReplaceOnReboot = false;
  // The overwrite rule decided to copy.
  bool CopyDecision = false;
  // This run wrote the file (now, or at the restart): only such a file enters the uninstall log,
  // so that an uninstall never removes a file the install kept as it found it.
  bool Wrote() const { return wrote_; }

  // --- Published properties without coupling rules.
  std::string RunParameters;
  // Attributes given to the installed file after a restart (see AfterReboot).
  TTmbyFileAttributesSet InstallAttributes;
  TOverwriteType OverwriteMode = owAlways;
  bool RegisterAsHelp = false;
  bool RunAfterInstall = false;
  bool UpdateDLLCounter = false;

  // --- Figures of the source file (from the source or from the archive header).
  int32_t CompressedSize = 0;
  double FileDate = 0;  // day count with fraction
  int32_t Size = 0;
  std::string Version;  // at most 20 characters

  // The operation under way.
  TInstallFileState State = ifsNone;

  // --- Build bookkeeping: 2 once the member went into an archive, and that archive.
  int CompressionMark = 0;
  std::string CompressedArchive;

  TInstallFileNotifyEvent OnAfterCompress;
  TInstallFileNotifyEvent OnAfterCopy;
  TInstallFileNotifyEvent OnAfterInstall;
  TInstallFileNotifyEvent OnBeforeCompress;
  TInstallFileNotifyEvent OnBeforeCopy;
  TInstallFileNotifyEvent OnBeforeInstall;
  TInstallFileNotifyEvent OnReplacing;
  TInstallFileStatusEvent OnStatus;
  TInstallFileNewDiskEvent OnNewDisk;

  bool ActiveX() const { return activeX_; }
  const std::string& DestName() const { return destName_; }
  const std::string& FileName() const { return fileName_; }
  TInstallFileType FileType() const { return fileType_; }
  const std::string& IncludeFromDir() const { return includeFromDir_; }
  int32_t UniqueID() const { return uniqueID_; }
  // The stored value of the definition (only while it is read; IECustomInstallFile for a value
  // outside the identifier table).
  void SetUniqueID(int32_t value);

  // IncludeFromDir, a backslash when needed, and FileName: also the member name in the archive.
  std::string SourcePath() const;
  // GetDestPath; and it with a backslash and DestName.
  std::string TargetDir() { return GetDestPath(); }
  std::string TargetPath();
  // The file that stands at the target once the install is complete: the target path, or, while
  // the new file waits under another name for the restart, the file it will replace.
  std::string InstalledPath();

  // --- Virtual operations, in slot order.
  // Raises EAIUserAbort; the archive component's OnAborted.
  virtual void AbortHandler();
  virtual void RegisterDll();
  virtual void RegisterTypeLib();
  virtual void RegisterExeServer();
  // Deals with an existing target before extraction: the replacing events and the copy mark.
  virtual void PrepareTarget();
  // The setters; outside loading each goes through ApplyFileSettings.
  virtual void SetActiveX(bool value);
  virtual void SetDestName(const std::string& value);
  virtual void SetFileName(const std::string& value);
  virtual void SetFileType(TInstallFileType value);
  virtual void SetIncludeFromDir(const std::string& value);
  // ifsCompress compresses, ifsInstall installs, ifsCopying copies; State is ifsNone afterwards.
  virtual void SetState(TInstallFileState value);
  // Adds the source file to its archive (the build).
  virtual void CompressFile();
  // Copies the source file to the target uncompressed.
  virtual void CopyFile();
  // Size, date, version (and compressed size) from the archive header, or from the source file.
  virtual void ReadInfoFromArchive();
  virtual void ReadFileInfo();
  // Only the size, from the folder's entry (a build's progress totals need no more): the file is
  // not opened, since its compression reads it once and records the date and version then.
  void ReadSourceSize();
  // The source file's version information carries an "OLESelfRegister" string.
  virtual bool IsOLESelfRegister();
  // Counts one more user of the installed file under SharedDLLs, as Windows Installer counts: a
  // file that was there before this install and has no count starts at 2 (one for the program
  // that brought it, one for this product), so that this product's uninstall leaves it.
  virtual bool IncrementSharedDllCount();

  // Registers the installed file as a server by its kind: ".EXE" starts it with /REGSERVER,
  // ".TLB" registers a type library, anything else calls DllRegisterServer. The run calls it again
  // for each file of the deferred list (virtual so that tests can stand in for servers).
  virtual void RegisterActiveX();

  // --- Non-virtual operations.
  // The coupling rules of the setters, with one new value among the current ones.
  void ApplyFileSettings(TInstallContainer* container, const std::string& includeFromDir,
                         bool activeX, TInstallFileType fileType, TCustomPathSpecifier* destDirType,
                         const std::string& destName, const std::string& destDir,
                         const std::string& fileName);
  // The file is fetched on its own in a net install.
  bool HasOwnDownload() const;
  // Appends the file's 80-byte record of the build's file list. IECustomInstallFile for a
  // component name the record cannot hold.
  void WriteListEntry(std::vector<uint8_t>& out) const;
  // The archive component's OnNewDisk and OnStatus.
  void NewDiskHandler(TTmbyCompress& component, int diskNumber, std::string& path);
  void StatusHandler(TTmbyCompress& component, TlzhFileStats& stats);

  int ComponentType() const override { return ctFile; }
  // The install proper: overwrite decision, extraction, registrations, events.
  void InstallHelpers() override;
  // After the restart: the server registration and the file attributes.
  void AfterReboot() override;
  // Records the installed file in the product's uninstall log.
  void RegisterUninstall(const std::string& keyPath) override;
  void SetContainer(TInstallContainer* value) override;
  void SetDestDir(const std::string& value) override;
  void SetDestDirType(TCustomPathSpecifier* value) override;
  // In a net install, the downloaded archive of the file or of its container.
  std::string GetArchivePath() override;
  // Settles the identifier table.
  void Loaded() override;

 protected:
  // The source path's directory and file name through the setters (the path constructors).
  void AssignSourcePath(const std::string& path);
  // The uninstaller's entry counts as installed in the uninstall log of its own.
  virtual bool LogsItself() const { return false; }

 private:
  std::string FinalDestName() const;
  TDistributeType Distribution() const;
  // Extracts into a temporary file beside the target and puts it in place.
  void Extract(TTmbyCompress& archive);
  void PutInPlace(const std::string& temporary);
  // Renames the new file to the next free "name.<n>" and has it replace the target at the restart.
  void ReplaceAtRestart(const std::string& temporary);
  // The new file, `name` in the target directory, takes the target's place at the restart.
  void ReplaceWithAtRestart(const std::string& name);
  void RegistrationsAfterInstall();
  void ReadInfoFrom(const std::string& location);
  // Runs `body` in the target directory and returns to the previous one when it succeeds.
  template <class Body>
  void InTargetDirectory(Body&& body);
  void CheckInstalled();
  // State back to ifsNone and the helpers told that the operation is over; a failure of the
  // latter sets the shared component's Abort and passes unless another failure is under way.
  void EndOperation(bool raising);
  void Release();

  bool activeX_ = false;
  std::string destName_;
  std::string fileName_;
  TInstallFileType fileType_ = iftNormal;
  std::string includeFromDir_;
  int32_t uniqueID_ = 0;
  bool idTaken_ = false;
  bool released_ = false;
  bool applying_ = false;
  // The DestName of the definition while the new file waits under another name.
  std::string replacedName_;
  // Of the latest install: the target existed before it, the file was written, and its shared
  // count was incremented.
  bool existedBefore_ = false;
  bool wrote_ = false;
  bool counted_ = false;
};

// Appends `path` to the "Files" list of the uninstall key `keyPath` (in the local-machine
// registry): "File<n>" and then the count "Entries" of the subkey "Files", or of "Files1",
// "Files2", ... when a list cannot take the entry. Installed files and shell links both record
// themselves here.
void AppendToUninstallFiles(const std::string& keyPath, const std::string& path);

// The published properties every file component shares: its archive and destination settings
// first, its events last (each class publishes its own between the two).
template <class F>
void PublishFileLocation(TClassBuilder<F>& c) {
  c.String("ArchiveFile", &F::ArchiveFile, &F::SetArchiveFile);
  c.Reference("ArchiveFileType", &F::ArchiveFileType, &F::SetArchiveFileType);
  c.Enum("AddToArchive", &F::AddToArchive, &F::AddToArchive,
         std::optional<TlzhCommand>(lzcOverwrite));
  c.Reference("Container", &F::Container, &F::SetContainer);
  c.String("DestDir", &F::DestDir, &F::SetDestDir);
  c.Reference("DestDirType", &F::DestDirType, &F::SetDestDirType);
  c.Boolean("Include", &F::Include, &F::SetInclude, true);
  // The stored default holds all four types, so the value is always written.
  c.Set("InstallTypes", &F::InstallTypes, &F::SetInstallTypes,
        std::optional<TInstallTypeSet>(TInstallTypeSet{itFull, itDefault, itCompact, itCustom}));
}
template <class F>
void PublishFileEvents(TClassBuilder<F>& c) {
  c.template Event<TInstallFileNotifyEvent>("OnAfterCompress", &F::OnAfterCompress);
  c.template Event<TInstallFileNotifyEvent>("OnAfterCopy", &F::OnAfterCopy);
  c.template Event<TInstallFileNotifyEvent>("OnAfterInstall", &F::OnAfterInstall);
  c.template Event<TInstallFileNotifyEvent>("OnBeforeCompress", &F::OnBeforeCompress);
  c.template Event<TInstallFileNotifyEvent>("OnBeforeCopy", &F::OnBeforeCopy);
  c.template Event<TInstallFileNotifyEvent>("OnBeforeInstall", &F::OnBeforeInstall);
  c.template Event<TInstallFileNotifyEvent>("OnReplacing", &F::OnReplacing);
  c.template Event<TInstallFileStatusEvent>("OnStatus", &F::OnStatus);
  c.template Event<TInstallFileNewDiskEvent>("OnNewDisk", &F::OnNewDisk);
  // Stored in the definition, always written: it names the file's archive member.
  c.Integer("UniqueID", &F::UniqueID, &F::SetUniqueID, std::nullopt);
}

class TInstallFile : public TCustomInstallFile {
  TMBY_CLASS(TInstallFile, TCustomInstallFile)
 public:
  explicit TInstallFile(TComponent* owner) : TCustomInstallFile(owner) {}
  // A file for the source file at `path`.
  static TInstallFile* CreateFromPath(TComponent* owner, const std::string& path);
  // The same, placed in `container`.
  static TInstallFile* CreateInContainer(TComponent* owner, TInstallContainer* container,
                                         const std::string& path);
};

}  // namespace tmby
