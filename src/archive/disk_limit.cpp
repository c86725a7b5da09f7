#include "archive/disk_limit.h"

#include <algorithm>

namespace tmby {

using namespace platform;

namespace {

class LimitedFile : public IFile {
 public:
  LimitedFile(std::unique_ptr<IFile> inner, int64_t capacity)
      : inner_(std::move(inner)), capacity_(capacity) {}

  bool Read(void* buffer, size_t size, size_t* done) override {
    return inner_->Read(buffer, size, done);
  }
  bool Write(const void* buffer, size_t size) override {
    int64_t position = 0;
    if (!inner_->Seek(0, SeekOrigin::Current, &position)) return false;
    const int64_t room = std::max<int64_t>(0, capacity_ - position);
    if (static_cast<int64_t>(size) <= room) return inner_->Write(buffer, size);
    if (room > 0 && !inner_->Write(buffer, static_cast<size_t>(room))) return false;
    error_ = err::kDiskFull;
    return false;
  }
  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position) override {
    return inner_->Seek(offset, origin, position);
  }
  std::optional<int64_t> Size() override { return inner_->Size(); }
  bool SetEnd() override { return inner_->SetEnd(); }
  bool Flush() override { return inner_->Flush(); }
  std::optional<uint32_t> GetDosTime() override { return inner_->GetDosTime(); }
  bool SetDosTime(uint32_t dos_time) override { return inner_->SetDosTime(dos_time); }
  uint32_t LastError() const override { return error_ ? error_ : inner_->LastError(); }

 private:
  std::unique_ptr<IFile> inner_;
  int64_t capacity_;
  uint32_t error_ = 0;
};

class LimitedFiles : public IFileSystem {
 public:
  LimitedFiles(IFileSystem& inner, int64_t capacity) : inner_(inner), capacity_(capacity) {}

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    auto file = inner_.Open(path, access, share, disposition);
    if (!file || access == FileAccess::Read) return file;
    return std::make_unique<LimitedFile>(std::move(file), capacity_);
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

 private:
  IFileSystem& inner_;
  int64_t capacity_;
};

}  // namespace

TDiskLimitPlatform::TDiskLimitPlatform(IPlatform& inner, int64_t capacity)
    : inner_(inner), files_(std::make_unique<LimitedFiles>(inner.Files(), capacity)) {}

TDiskLimitPlatform::~TDiskLimitPlatform() = default;

IFileSystem& TDiskLimitPlatform::Files() { return *files_; }

}  // namespace tmby
