#include "platform/win32/win32_port.h"

#include <algorithm>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Utf8(const wchar_t* text, size_t length) {
  if (text == nullptr || length == 0) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

std::wstring WidePath(const std::string& path) {
  std::wstring out = Wide(path);
  std::replace(out.begin(), out.end(), L'/', L'\\');
  return out;
}

Win32Platform::Win32Platform()
    : registry_(MakeRegistry()),
      files_(MakeFileSystem()),
      system_(MakeSystemInfo()),
      shell_(MakeShellFolders()),
      links_(MakeShellLinks()),
      libraries_(MakeLibraries()),
      processes_(MakeProcesses()),
      ini_(MakeIniFiles()) {}

Win32Platform::~Win32Platform() = default;

IRegistry& Win32Platform::Registry() { return *registry_; }
IFileSystem& Win32Platform::Files() { return *files_; }
ISystemInfo& Win32Platform::System() { return *system_; }
IShellFolders& Win32Platform::ShellFolders() { return *shell_; }
IShellLinks& Win32Platform::ShellLinks() { return *links_; }
ILibraries& Win32Platform::Libraries() { return *libraries_; }
IProcesses& Win32Platform::Processes() { return *processes_; }
IIniFiles& Win32Platform::IniFiles() { return *ini_; }

}  // namespace tmby::platform::win32
