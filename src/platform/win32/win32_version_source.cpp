#include "platform/win32/win32_version_source.h"

#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

std::optional<std::vector<uint8_t>> ReadWide(const std::wstring& path, bool* not_implemented) {
  DWORD handle = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) {
    *not_implemented = GetLastError() == ERROR_CALL_NOT_IMPLEMENTED;
    return std::nullopt;
  }
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<std::vector<uint8_t>> ReadAnsi(const std::wstring& path) {
  const int length = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi.data(), length, nullptr, nullptr);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(ansi.c_str(), &handle);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!GetFileVersionInfoA(ansi.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

}  // namespace

std::optional<std::vector<uint8_t>> Win32VersionBlockSource::ReadVersionBlock(
    const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::wstring wide = WidePath(path);
  bool not_implemented = false;
  auto block = ReadWide(wide, &not_implemented);
  if (!block && not_implemented) block = ReadAnsi(wide);
  return block;
}

}  // namespace tmby::platform::win32
