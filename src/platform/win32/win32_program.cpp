#include "platform/win32/win32_program.h"

#include <cstring>

#include "base/argument_text.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

std::string RawCommandLine(ApiCharset charset) {
  // Windows 95, 98 and ME keep the command line only in the ANSI code page.
  if (charset == ApiCharset::Ansi) {
    const char* line = GetCommandLineA();
    return Utf8FromAnsi(line, std::strlen(line));
  }
  return Utf8(std::wstring(GetCommandLineW()));
}

std::vector<std::string> CommandLineArguments(ApiCharset charset) {
  std::vector<std::string> words = SplitCommandLine(RawCommandLine(charset));
  if (!words.empty()) words.erase(words.begin());
  return words;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments) {
    if (a == "--help" || a == "/?") return true;
  }
  return false;
}

bool WriteStandardOutput(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) {
    return false;
  }
  DWORD written = 0;
  return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}

std::string_view ResourceData(const std::string& name) {
  // Resource names are ASCII; the ANSI function finds them on every Windows.
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL data = info != nullptr ? LoadResource(module, info) : nullptr;
  const auto* bytes = static_cast<const char*>(data != nullptr ? LockResource(data) : nullptr);
  if (bytes == nullptr) return {};
  return std::string_view(bytes, SizeofResource(module, info));
}

}  // namespace tmby::platform::win32
