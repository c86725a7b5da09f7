// Inside the Windows adapter: the text of the API and the factories of the adapter's parts.
//
// The adapter talks to the system in one of two character sets, chosen once at start (see
// ApiCharset in win32_port.h): the wide-character functions with UTF-16 text, or the ANSI
// functions with text in the system's ANSI code page, as Windows 95, 98 and ME need (their wide
// functions are stubs). The code is written once for both: TextApi converts the port's UTF-8 into
// the string type of the chosen set and calls a generic lambda, whose calls of the overloaded
// ...T functions below then reach the A or W function of the API.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>

#include "platform/port.h"
#include "platform/win32/win32_port.h"

namespace tmby::platform::win32 {

// ---------------------------------------------------------------------------------------------
// Text at the API

// UTF-8 <-> UTF-16 through the kit's codec; ill-formed UTF-8 becomes U+FFFD, never nothing.
std::wstring Wide(const std::string& text);
std::string Utf8(const wchar_t* text, size_t length);
std::string Utf8(const std::wstring& text);
// A path for the API: "/" turned into "\".
std::string Backslashes(std::string path);
std::wstring WidePath(const std::string& path);

// UTF-8 -> the system's ANSI code page, for names: nullopt (with ERROR_NO_UNICODE_TRANSLATION as
// the thread's last error) when a character has no place in the code page, where the system would
// put its default character or a look-alike and so name another file or key.
std::optional<std::string> AnsiName(const std::string& text);
// UTF-8 -> the ANSI code page, for text that is only shown: a character without a place becomes
// the code page's default character.
std::string AnsiText(const std::string& text);
std::string Utf8FromAnsi(const char* text, size_t length);
// Bytes in a given code page (CP_ACP, or that of a font's character set) -> UTF-16.
std::wstring FromCodePage(const char* text, size_t length, UINT code_page);

// Text the API returned, as UTF-8.
inline std::string FromApi(const wchar_t* text, size_t length) { return Utf8(text, length); }
inline std::string FromApi(const char* text, size_t length) { return Utf8FromAnsi(text, length); }
template <typename C>
std::string FromApi(const std::basic_string<C>& text) {
  return FromApi(text.data(), text.size());
}
// A NUL-terminated text of a fixed buffer (no further than its end).
template <typename C, size_t N>
std::string FromApiBuffer(const C (&buffer)[N]) {
  size_t length = 0;
  while (length < N && buffer[length] != 0) ++length;
  return FromApi(buffer, length);
}

// The character type of an API string.
template <typename S>
using CharOf = typename std::remove_cvref_t<S>::value_type;

// Calls `query(buffer, capacity)` with a growing buffer until the result fits; `query` returns
// what the API returned (the length written, or the capacity needed when too small, 0 on failure).
template <typename C, typename Query>
std::optional<std::basic_string<C>> QueryString(Query query, DWORD first = MAX_PATH + 1) {
  std::basic_string<C> buffer(first, C(0));
  for (int round = 0; round < 8; ++round) {
    const DWORD n = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.assign(static_cast<size_t>(n) + 1, C(0));
  }
  return std::nullopt;
}

// The same, as UTF-8.
template <typename C, typename Query>
std::optional<std::string> QueryText(Query query, DWORD first = MAX_PATH + 1) {
  const auto text = QueryString<C>(query, first);
  if (!text) return std::nullopt;
  return FromApi(*text);
}

class TextApi {
 public:
  explicit TextApi(ApiCharset charset) : ansi_(charset == ApiCharset::Ansi) {}
  bool Ansi() const { return ansi_; }

  // Calls `call` with each UTF-8 text converted to the API's string type (std::wstring, or
  // std::string in the ANSI code page). When the code page cannot hold one of them the call is not
  // made: `failed` is returned with ERROR_NO_UNICODE_TRANSLATION as the thread's last error.
  template <typename R, typename Call, typename... Texts>
  R With(R failed, Call&& call, const Texts&... utf8) const {
    if (!ansi_) return call(Wide(utf8)...);
    std::array<std::optional<std::string>, sizeof...(Texts)> ansi{AnsiName(utf8)...};
    for (const auto& text : ansi) {
      if (!text) return failed;
    }
    return std::apply([&](const auto&... text) { return call(*text...); }, ansi);
  }
  // The same for paths ("/" becomes "\").
  template <typename R, typename Call, typename... Paths>
  R WithPaths(R failed, Call&& call, const Paths&... paths) const {
    return With(failed, call, Backslashes(paths)...);
  }
  // The same for text that is only shown, which always converts.
  template <typename Call, typename... Texts>
  auto WithShown(Call&& call, const Texts&... utf8) const {
    return ansi_ ? call(AnsiText(utf8)...) : call(Wide(utf8)...);
  }

  // Runs a query of the API with a buffer of the chosen character type; the result as UTF-8.
  template <typename QueryFn>
  std::optional<std::string> Query(QueryFn query, DWORD first = MAX_PATH + 1) const {
    return ansi_ ? QueryText<char>(query, first) : QueryText<wchar_t>(query, first);
  }

 private:
  bool ansi_;
};

// ---------------------------------------------------------------------------------------------
// The API in both character sets: one overload per set, picked by the string type.

template <typename C>
struct ApiTypes;
template <>
struct ApiTypes<char> {
  using FindData = WIN32_FIND_DATAA;
  using VersionInfo = OSVERSIONINFOA;
  using StartupInfo = STARTUPINFOA;
  using WindowClass = WNDCLASSA;
};
template <>
struct ApiTypes<wchar_t> {
  using FindData = WIN32_FIND_DATAW;
  using VersionInfo = OSVERSIONINFOW;
  using StartupInfo = STARTUPINFOW;
  using WindowClass = WNDCLASSW;
};

// clang-format off
// kernel32: files
inline HANDLE CreateFileT(const char* p, DWORD a, DWORD s, DWORD d, DWORD f) { return CreateFileA(p, a, s, nullptr, d, f, nullptr); }
inline HANDLE CreateFileT(const wchar_t* p, DWORD a, DWORD s, DWORD d, DWORD f) { return CreateFileW(p, a, s, nullptr, d, f, nullptr); }
inline DWORD GetFileAttributesT(const char* p) { return GetFileAttributesA(p); }
inline DWORD GetFileAttributesT(const wchar_t* p) { return GetFileAttributesW(p); }
inline BOOL SetFileAttributesT(const char* p, DWORD a) { return SetFileAttributesA(p, a); }
inline BOOL SetFileAttributesT(const wchar_t* p, DWORD a) { return SetFileAttributesW(p, a); }
inline BOOL CreateDirectoryT(const char* p) { return CreateDirectoryA(p, nullptr); }
inline BOOL CreateDirectoryT(const wchar_t* p) { return CreateDirectoryW(p, nullptr); }
inline BOOL RemoveDirectoryT(const char* p) { return RemoveDirectoryA(p); }
inline BOOL RemoveDirectoryT(const wchar_t* p) { return RemoveDirectoryW(p); }
inline BOOL DeleteFileT(const char* p) { return DeleteFileA(p); }
inline BOOL DeleteFileT(const wchar_t* p) { return DeleteFileW(p); }
inline BOOL MoveFileT(const char* a, const char* b) { return MoveFileA(a, b); }
inline BOOL MoveFileT(const wchar_t* a, const wchar_t* b) { return MoveFileW(a, b); }
inline BOOL CopyFileT(const char* a, const char* b, BOOL f) { return CopyFileA(a, b, f); }
inline BOOL CopyFileT(const wchar_t* a, const wchar_t* b, BOOL f) { return CopyFileW(a, b, f); }
inline HANDLE FindFirstFileT(const char* p, WIN32_FIND_DATAA* d) { return FindFirstFileA(p, d); }
inline HANDLE FindFirstFileT(const wchar_t* p, WIN32_FIND_DATAW* d) { return FindFirstFileW(p, d); }
inline BOOL FindNextFileT(HANDLE h, WIN32_FIND_DATAA* d) { return FindNextFileA(h, d); }
inline BOOL FindNextFileT(HANDLE h, WIN32_FIND_DATAW* d) { return FindNextFileW(h, d); }
inline DWORD GetShortPathNameT(const char* p, char* b, DWORD n) { return GetShortPathNameA(p, b, n); }
inline DWORD GetShortPathNameT(const wchar_t* p, wchar_t* b, DWORD n) { return GetShortPathNameW(p, b, n); }
inline DWORD GetFullPathNameT(const char* p, DWORD n, char* b) { return GetFullPathNameA(p, n, b, nullptr); }
inline DWORD GetFullPathNameT(const wchar_t* p, DWORD n, wchar_t* b) { return GetFullPathNameW(p, n, b, nullptr); }
inline DWORD GetTempPathT(DWORD n, char* b) { return GetTempPathA(n, b); }
inline DWORD GetTempPathT(DWORD n, wchar_t* b) { return GetTempPathW(n, b); }
inline UINT GetTempFileNameT(const char* d, const char* p, char* b) { return GetTempFileNameA(d, p, 0, b); }
inline UINT GetTempFileNameT(const wchar_t* d, const wchar_t* p, wchar_t* b) { return GetTempFileNameW(d, p, 0, b); }
inline DWORD GetCurrentDirectoryT(DWORD n, char* b) { return GetCurrentDirectoryA(n, b); }
inline DWORD GetCurrentDirectoryT(DWORD n, wchar_t* b) { return GetCurrentDirectoryW(n, b); }
inline BOOL SetCurrentDirectoryT(const char* p) { return SetCurrentDirectoryA(p); }
inline BOOL SetCurrentDirectoryT(const wchar_t* p) { return SetCurrentDirectoryW(p); }
inline DWORD GetModuleFileNameT(char* b, DWORD n) { return GetModuleFileNameA(nullptr, b, n); }
inline DWORD GetModuleFileNameT(wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); }
// kernel32: system
inline BOOL GetVersionExT(OSVERSIONINFOA* v) { return GetVersionExA(v); }
inline BOOL GetVersionExT(OSVERSIONINFOW* v) { return GetVersionExW(v); }
inline UINT GetSystemDirectoryT(char* b, UINT n) { return GetSystemDirectoryA(b, n); }
inline UINT GetSystemDirectoryT(wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); }
inline UINT GetWindowsDirectoryT(char* b, UINT n) { return GetWindowsDirectoryA(b, n); }
inline UINT GetWindowsDirectoryT(wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); }
inline DWORD FormatMessageT(DWORD code, char* b, DWORD n) { return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, b, n, nullptr); }
inline DWORD FormatMessageT(DWORD code, wchar_t* b, DWORD n) { return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, b, n, nullptr); }
inline HMODULE LoadLibraryT(const char* p) { return LoadLibraryA(p); }
inline HMODULE LoadLibraryT(const wchar_t* p) { return LoadLibraryW(p); }
inline BOOL CreateProcessT(const char* a, char* c, const char* d, STARTUPINFOA* s, PROCESS_INFORMATION* i) { return CreateProcessA(a, c, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, d, s, i); }
inline BOOL CreateProcessT(const wchar_t* a, wchar_t* c, const wchar_t* d, STARTUPINFOW* s, PROCESS_INFORMATION* i) { return CreateProcessW(a, c, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, d, s, i); }
// advapi32: registry
inline LONG RegCreateKeyExT(HKEY k, const char* s, REGSAM a, HKEY* r) { return RegCreateKeyExA(k, s, 0, nullptr, REG_OPTION_NON_VOLATILE, a, nullptr, r, nullptr); }
inline LONG RegCreateKeyExT(HKEY k, const wchar_t* s, REGSAM a, HKEY* r) { return RegCreateKeyExW(k, s, 0, nullptr, REG_OPTION_NON_VOLATILE, a, nullptr, r, nullptr); }
inline LONG RegOpenKeyExT(HKEY k, const char* s, REGSAM a, HKEY* r) { return RegOpenKeyExA(k, s, 0, a, r); }
inline LONG RegOpenKeyExT(HKEY k, const wchar_t* s, REGSAM a, HKEY* r) { return RegOpenKeyExW(k, s, 0, a, r); }
inline LONG RegDeleteKeyT(HKEY k, const char* s) { return RegDeleteKeyA(k, s); }
inline LONG RegDeleteKeyT(HKEY k, const wchar_t* s) { return RegDeleteKeyW(k, s); }
inline LONG RegDeleteValueT(HKEY k, const char* n) { return RegDeleteValueA(k, n); }
inline LONG RegDeleteValueT(HKEY k, const wchar_t* n) { return RegDeleteValueW(k, n); }
inline LONG RegQueryValueExT(HKEY k, const char* n, DWORD* t, BYTE* d, DWORD* s) { return RegQueryValueExA(k, n, nullptr, t, d, s); }
inline LONG RegQueryValueExT(HKEY k, const wchar_t* n, DWORD* t, BYTE* d, DWORD* s) { return RegQueryValueExW(k, n, nullptr, t, d, s); }
inline LONG RegSetValueExT(HKEY k, const char* n, DWORD t, const BYTE* d, DWORD s) { return RegSetValueExA(k, n, 0, t, d, s); }
inline LONG RegSetValueExT(HKEY k, const wchar_t* n, DWORD t, const BYTE* d, DWORD s) { return RegSetValueExW(k, n, 0, t, d, s); }
inline LONG RegEnumKeyExT(HKEY k, DWORD i, char* b, DWORD* n) { return RegEnumKeyExA(k, i, b, n, nullptr, nullptr, nullptr, nullptr); }
inline LONG RegEnumKeyExT(HKEY k, DWORD i, wchar_t* b, DWORD* n) { return RegEnumKeyExW(k, i, b, n, nullptr, nullptr, nullptr, nullptr); }
inline LONG RegEnumValueT(HKEY k, DWORD i, char* b, DWORD* n) { return RegEnumValueA(k, i, b, n, nullptr, nullptr, nullptr, nullptr); }
inline LONG RegEnumValueT(HKEY k, DWORD i, wchar_t* b, DWORD* n) { return RegEnumValueW(k, i, b, n, nullptr, nullptr, nullptr, nullptr); }
// version.dll
inline DWORD GetFileVersionInfoSizeT(const char* p, DWORD* h) { return GetFileVersionInfoSizeA(p, h); }
inline DWORD GetFileVersionInfoSizeT(const wchar_t* p, DWORD* h) { return GetFileVersionInfoSizeW(p, h); }
inline BOOL GetFileVersionInfoT(const char* p, DWORD s, void* d) { return GetFileVersionInfoA(p, 0, s, d); }
inline BOOL GetFileVersionInfoT(const wchar_t* p, DWORD s, void* d) { return GetFileVersionInfoW(p, 0, s, d); }
// clang-format on

// ---------------------------------------------------------------------------------------------
// Factories of the adapter's parts

std::unique_ptr<IRegistry> MakeRegistry(ApiCharset charset);
std::unique_ptr<IFileSystem> MakeFileSystem(ApiCharset charset);
std::unique_ptr<ISystemInfo> MakeSystemInfo(ApiCharset charset);
std::unique_ptr<IShellFolders> MakeShellFolders(ApiCharset charset);
std::unique_ptr<IShellLinks> MakeShellLinks(ApiCharset charset);
std::unique_ptr<ILibraries> MakeLibraries(ApiCharset charset);
std::unique_ptr<IProcesses> MakeProcesses(ApiCharset charset);
std::unique_ptr<IIniFiles> MakeIniFiles(ApiCharset charset);
// The registration of servers in this process (win32_install.cpp), for the adapter's libraries.
ServerRegistration RegisterServerInProcess(const TextApi& text, const std::string& path);
int32_t RegisterTypeLibraryFile(const std::string& path);
ServerRegistration UnregisterServerInProcess(const TextApi& text, const std::string& path);
int32_t UnregisterTypeLibraryFile(const std::string& path);
std::unique_ptr<IInternet> MakeInternet();

}  // namespace tmby::platform::win32
