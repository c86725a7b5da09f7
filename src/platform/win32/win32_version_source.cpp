#include "platform/win32/win32_version_source.h"

#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

std::optional<std::vector<uint8_t>> Win32VersionBlockSource::ReadVersionBlock(
    const std::string& path) {
  if (path.empty()) return std::nullopt;
  return TextApi(charset_).WithPaths(
      std::optional<std::vector<uint8_t>>(),
      [](const auto& file) -> std::optional<std::vector<uint8_t>> {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeT(file.c_str(), &handle);
        if (size == 0) return std::nullopt;
        std::vector<uint8_t> block(size);
        if (!GetFileVersionInfoT(file.c_str(), size, block.data())) return std::nullopt;
        return block;
      },
      path);
}

}  // namespace tmby::platform::win32
