// Inside the Windows adapter: text conversion at the API boundary and the factories of its parts.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/port.h"

namespace tmby::platform::win32 {

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD.
std::wstring Wide(const std::string& text);
std::string Utf8(const wchar_t* text, size_t length);
std::string Utf8(const std::wstring& text);
// A path for the API: "/" turned into "\".
std::wstring WidePath(const std::string& path);

// Calls `query(buffer, capacity)` with a growing buffer until the result fits; `query` returns
// what the API returned (the length written, or the capacity needed when too small, 0 on failure).
template <typename Query>
std::optional<std::wstring> QueryString(Query query, DWORD first = MAX_PATH + 1) {
  std::wstring buffer(first, L'\0');
  for (int round = 0; round < 8; ++round) {
    const DWORD n = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(static_cast<size_t>(n) + 1, L'\0');
  }
  return std::nullopt;
}

std::unique_ptr<IRegistry> MakeRegistry();
std::unique_ptr<IFileSystem> MakeFileSystem();
std::unique_ptr<ISystemInfo> MakeSystemInfo();
std::unique_ptr<IShellFolders> MakeShellFolders();
std::unique_ptr<IShellLinks> MakeShellLinks();
std::unique_ptr<ILibraries> MakeLibraries();
std::unique_ptr<IProcesses> MakeProcesses();
std::unique_ptr<IIniFiles> MakeIniFiles();
// The registration of servers in this process (win32_install.cpp), for the adapter's libraries.
ServerRegistration RegisterServerInProcess(const std::string& path);
int32_t RegisterTypeLibraryFile(const std::string& path);
ServerRegistration UnregisterServerInProcess(const std::string& path);
int32_t UnregisterTypeLibraryFile(const std::string& path);

}  // namespace tmby::platform::win32
