#include "platform/port.h"

namespace tmby::platform {

size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    // A four-byte sequence is a character beyond the basic plane: two UTF-16 units. A byte that
    // starts no sequence counts as the one replacement character it becomes.
    const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return units;
}

int32_t CheckShellLinkLengths(const std::string& path, const ShellLink& link) {
  for (const std::string* p : {&path, &link.target, &link.working_directory, &link.icon_path}) {
    if (Utf16Length(*p) > kMaxLinkPath) return hresult::kInvalidArg;
  }
  for (const std::string* text : {&link.arguments, &link.description}) {
    if (Utf16Length(*text) > kMaxLinkText) return hresult::kInvalidArg;
  }
  return 0;
}

}  // namespace tmby::platform
