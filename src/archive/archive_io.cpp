#include "archive/archive_io.h"

#include "platform/port.h"
#include "system/version_resource.h"

namespace tmby {

size_t ReadFully(platform::IFile& file, void* buffer, size_t size) {
  auto* at = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  while (total < size) {
    size_t got = 0;
    if (!file.Read(at + total, size - total, &got) || got == 0) break;
    total += got;
  }
  return total;
}

std::string MemberFileVersion(const std::string& path) { return SharedFileVersion(path); }

std::string MemberFileVersion(const std::string& path, platform::IFile& file) {
  return SharedFileVersion(path, file);
}

}  // namespace tmby
