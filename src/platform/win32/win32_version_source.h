// The system's version library as a source of version blocks (GetFileVersionInfoSize and
// GetFileVersionInfo, in the adapter's character set). The Windows programs install it as the
// process-wide source; the block is parsed by the same portable code as the blocks that the
// portable reader of executable files finds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/version_source.h"
#include "platform/win32/win32_port.h"

namespace tmby::platform::win32 {

class Win32VersionBlockSource : public IVersionBlockSource {
 public:
  explicit Win32VersionBlockSource(ApiCharset charset = ChooseApiCharset()) : charset_(charset) {}

  // The block as the system returns it (the version block, then the system's scratch space);
  // nullopt when the file is missing or has none.
  std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) override;

 private:
  ApiCharset charset_;
};

}  // namespace tmby::platform::win32
