#include "archive/disk_limit.h"

#include <algorithm>

namespace tmby {

using namespace platform;

namespace {

class LimitedFile : public ForwardingFile {
 public:
  LimitedFile(std::unique_ptr<IFile> inner, int64_t capacity)
      : ForwardingFile(std::move(inner)), capacity_(capacity) {}

  bool Write(const void* buffer, size_t size) override {
    int64_t position = 0;
    if (!Inner().Seek(0, SeekOrigin::Current, &position)) return false;
    const int64_t room = std::max<int64_t>(0, capacity_ - position);
    if (static_cast<int64_t>(size) <= room) return Inner().Write(buffer, size);
    if (room > 0 && !Inner().Write(buffer, static_cast<size_t>(room))) return false;
    error_ = err::kDiskFull;
    return false;
  }
  uint32_t LastError() const override { return error_ ? error_ : ForwardingFile::LastError(); }

 private:
  int64_t capacity_;
  uint32_t error_ = 0;
};

class LimitedFiles : public ForwardingFileSystem {
 public:
  LimitedFiles(IFileSystem& inner, int64_t capacity)
      : ForwardingFileSystem(inner), capacity_(capacity) {}

  std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                              FileDisposition disposition) override {
    auto file = Inner().Open(path, access, share, disposition);
    if (!file || access == FileAccess::Read) return file;
    return std::make_unique<LimitedFile>(std::move(file), capacity_);
  }

 private:
  int64_t capacity_;
};

}  // namespace

TDiskLimitPlatform::TDiskLimitPlatform(IPlatform& inner, int64_t capacity)
    : ForwardingPlatform(inner), files_(std::make_unique<LimitedFiles>(inner.Files(), capacity)) {}

TDiskLimitPlatform::~TDiskLimitPlatform() = default;

IFileSystem& TDiskLimitPlatform::Files() { return *files_; }

}  // namespace tmby
