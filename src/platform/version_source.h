// The port's side of reading a file's version resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tmby {

// Where version blocks come from: the system's version library (Windows only) or the portable
// reader of executable files. The reader of version resources asks one of these.
class IVersionBlockSource {
 public:
  virtual ~IVersionBlockSource() = default;
  // The raw version block of the file at `path` (a Windows path), or nullopt when the file is
  // missing, cannot be read or has no version block.
  virtual std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) = 0;
};

}  // namespace tmby
