#include "base/text_codec.h"
#include "platform/port.h"

namespace tmby::platform {

// What the conversion to the wide API makes of the text, ill-formed parts and all.
size_t Utf16Length(const std::string& utf8) { return Utf8ToUtf16(utf8).size(); }

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
