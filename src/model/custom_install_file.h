// TCustomInstallFile: one file of the product, as the containers see it. It registers itself in
// the process-wide file list, ranks as ctFile among its container's helpers and carries the size
// figures its containers add up for progress.
#pragma once

#include <cstdint>
#include <string>

#include "model/file_related.h"

namespace tmby {

class TCustomInstallFile : public TFileRelated {
  TMBY_CLASS(TCustomInstallFile, TFileRelated)
 public:
  explicit TCustomInstallFile(TComponent* owner);
  ~TCustomInstallFile() override;

  // Size of the source file in bytes.
  int32_t Size = 0;
  // The archive size recorded when the member was written.
  int32_t CompressedSize = 0;

  const std::string& FileName() const { return fileName_; }
  virtual void SetFileName(const std::string& value) { fileName_ = value; }
  const std::string& IncludeFromDir() const { return includeFromDir_; }
  virtual void SetIncludeFromDir(const std::string& value) { includeFromDir_ = value; }
  // IncludeFromDir, a backslash when needed, and FileName: also the member name in the archive.
  std::string SourcePath() const;
  // The file's name on the target machine.
  const std::string& DestName() const { return destName_; }
  virtual void SetDestName(const std::string& value) { destName_ = value; }
  // The installed path: the destination directory, a backslash when needed, and DestName.
  std::string InstalledPath();

  // Started at the end of the install (after the good-install stage), with RunParameters.
  bool RunAfterInstall = false;
  std::string RunParameters;

  int ComponentType() const override { return ctFile; }

  // Fill Size (and the other recorded figures) from the archive header or from the source file.
  // A file kind without a source of its own keeps the figures it has.
  virtual void ReadInfoFromArchive() {}
  virtual void ReadFileInfo() {}
  // Registers the installed file as a server. During a run a failed registration puts the file
  // on the model's deferred list, and the run calls this again for each of them after the tree
  // install. A file kind that registers no server does nothing.
  virtual void RegisterActiveX() {}

 private:
  std::string fileName_;
  std::string includeFromDir_;
  std::string destName_;
};

}  // namespace tmby
