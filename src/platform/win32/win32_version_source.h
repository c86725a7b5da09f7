// The system's version library as a source of version blocks (GetFileVersionInfoSizeW and
// GetFileVersionInfoW). The Windows programs install it as the process-wide source; the parsing
// of the block is the portable code of system/version_block.h, shared with the portable reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "system/version_block.h"

namespace tmby::platform::win32 {

class Win32VersionBlockSource : public IVersionBlockSource {
 public:
  // The block as the system returns it (the version block, then the system's scratch space);
  // nullopt when the file is missing or has none. Windows 95, 98 and ME, whose wide functions
  // are stubs, are asked through the ANSI functions.
  std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) override;
};

}  // namespace tmby::platform::win32
