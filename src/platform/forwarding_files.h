// Files and a file system that hand every call to other ones: the base of adapters that change
// one behaviour of another adapter (a disk that fills up, a count of reads) and leave the rest.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/port.h"

namespace tmby::platform {

class ForwardingFile : public IFile {
 public:
  explicit ForwardingFile(std::unique_ptr<IFile> inner) : inner_(std::move(inner)) {}

  bool Read(void* buffer, size_t size, size_t* done) override {
    return inner_->Read(buffer, size, done);
  }
  bool Write(const void* buffer, size_t size) override { return inner_->Write(buffer, size); }
  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position = nullptr) override {
    return inner_->Seek(offset, origin, position);
  }
  std::optional<int64_t> Size() override { return inner_->Size(); }
  bool SetEnd() override { return inner_->SetEnd(); }
  bool Flush() override { return inner_->Flush(); }
  std::optional<uint32_t> GetDosTime() override { return inner_->GetDosTime(); }
  bool SetDosTime(uint32_t dos_time) override { return inner_->SetDosTime(dos_time); }
  uint32_t LastError() const override { return inner_->LastError(); }

 protected:
  IFile& Inner() { return *inner_; }

 private:
  std::unique_ptr<IFile> inner_;
};

class ForwardingFileSystem : public IFileSystem {
 public:
  explicit ForwardingFileSystem(IFileSystem& inner) : inner_(inner) {}

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    return inner_.Open(path, access, share, disposition);
  }
  bool FileExists(const std::string& p) override { return inner_.FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return inner_.DirectoryExists(p); }
  std::optional<uint32_t> GetAttributes(const std::string& p) override {
    return inner_.GetAttributes(p);
  }
  bool SetAttributes(const std::string& p, uint32_t a) override {
    return inner_.SetAttributes(p, a);
  }
  std::optional<int64_t> FileSize(const std::string& p) override { return inner_.FileSize(p); }
  std::optional<uint32_t> GetDosTime(const std::string& p) override { return inner_.GetDosTime(p); }
  bool SetDosTime(const std::string& p, uint32_t t) override { return inner_.SetDosTime(p, t); }
  bool CreateDirectories(const std::string& p) override { return inner_.CreateDirectories(p); }
  bool RemoveDir(const std::string& p) override { return inner_.RemoveDir(p); }
  bool RemoveFile(const std::string& p) override { return inner_.RemoveFile(p); }
  bool RenameFile(const std::string& f, const std::string& t) override {
    return inner_.RenameFile(f, t);
  }
  bool CopyFileTo(const std::string& f, const std::string& t, bool fail) override {
    return inner_.CopyFileTo(f, t, fail);
  }
  std::vector<FindData> FindFiles(const std::string& p) override { return inner_.FindFiles(p); }
  std::optional<std::string> ShortPathName(const std::string& p) override {
    return inner_.ShortPathName(p);
  }
  std::optional<std::string> FullPathName(const std::string& p) override {
    return inner_.FullPathName(p);
  }
  std::optional<std::string> TempPath() override { return inner_.TempPath(); }
  std::optional<std::string> CreateTempFile(const std::string& d, const std::string& p) override {
    return inner_.CreateTempFile(d, p);
  }
  bool MoveFileAtReboot(const std::string& f, const std::string& t) override {
    return inner_.MoveFileAtReboot(f, t);
  }
  std::string CurrentDir() override { return inner_.CurrentDir(); }
  bool SetCurrentDir(const std::string& p) override { return inner_.SetCurrentDir(p); }
  std::optional<DiskSpace> FreeSpace(const std::string& p) override { return inner_.FreeSpace(p); }
  std::string ModuleFileName() override { return inner_.ModuleFileName(); }
  uint32_t LastError() const override { return inner_.LastError(); }

 protected:
  IFileSystem& Inner() { return inner_; }

 private:
  IFileSystem& inner_;
};

// A port that hands everything to another one except its file system.
class ForwardingPlatform : public IPlatform {
 public:
  explicit ForwardingPlatform(IPlatform& inner) : inner_(inner) {}

  IRegistry& Registry() override { return inner_.Registry(); }
  ISystemInfo& System() override { return inner_.System(); }
  IShellFolders& ShellFolders() override { return inner_.ShellFolders(); }
  IShellLinks& ShellLinks() override { return inner_.ShellLinks(); }
  ILibraries& Libraries() override { return inner_.Libraries(); }
  IProcesses& Processes() override { return inner_.Processes(); }
  IIniFiles& IniFiles() override { return inner_.IniFiles(); }
  IInternet& Internet() override { return inner_.Internet(); }

 protected:
  IPlatform& Inner() { return inner_; }

 private:
  IPlatform& inner_;
};

}  // namespace tmby::platform
