#include "platform/win32/win32_program.h"

#include "platform/win32/win32_internal.h"
// <shellapi.h> needs <windows.h>, which the adapter's header brings.
#include <shellapi.h>

namespace tmby::platform::win32 {

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return out;
  for (int i = 1; i < count; ++i) out.push_back(Utf8(std::wstring(argv[i])));
  LocalFree(argv);
  return out;
}

std::string CommandLineTail() {
  const std::wstring line = GetCommandLineW();
  size_t at = line.find_first_not_of(L" \t");
  if (at == std::wstring::npos) return "";
  // The program name ends at its closing quote, or at the first blank when it has none.
  if (line[at] == L'"') {
    at = line.find(L'"', at + 1);
    at = at == std::wstring::npos ? line.size() : at + 1;
  } else {
    at = line.find_first_of(L" \t", at);
    if (at == std::wstring::npos) at = line.size();
  }
  const size_t first = line.find_first_not_of(L" \t", at);
  if (first == std::wstring::npos) return "";
  const size_t last = line.find_last_not_of(L" \t");
  return Utf8(line.substr(first, last - first + 1));
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
  HMODULE module = GetModuleHandleW(nullptr);
  const std::wstring wide = Wide(name);
  HRSRC info = FindResourceW(module, wide.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL data = info != nullptr ? LoadResource(module, info) : nullptr;
  const auto* bytes = static_cast<const char*>(data != nullptr ? LockResource(data) : nullptr);
  if (bytes == nullptr) return {};
  return std::string_view(bytes, SizeofResource(module, info));
}

}  // namespace tmby::platform::win32
