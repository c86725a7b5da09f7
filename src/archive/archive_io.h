// Little-endian fields and whole reads for the archive code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace tmby {

namespace platform {
class IFile;
}

inline void PutInt32(uint8_t* at, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

inline int32_t GetInt32(const uint8_t* at) {
  const uint32_t v = static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
                     (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
  return static_cast<int32_t>(v);
}

inline void PutFloat64(uint8_t* at, double value) {
  uint64_t v;
  std::memcpy(&v, &value, sizeof v);
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline double GetFloat64(const uint8_t* at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(at[i]) << (8 * i);
  double value;
  std::memcpy(&value, &v, sizeof value);
  return value;
}

inline int32_t ClampInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// Reads until `size` bytes are in or the file ends; returns the count read.
size_t ReadFully(platform::IFile& file, void* buffer, size_t size);

// The version string recorded for a member: the FileVersion of the file's version resource, read
// through the shared version reader; empty for a file without one.
std::string MemberFileVersion(const std::string& path);
// The same for the file open as `file`, which is left at its start.
std::string MemberFileVersion(const std::string& path, platform::IFile& file);

}  // namespace tmby
