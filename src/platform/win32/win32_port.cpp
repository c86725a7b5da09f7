#include "platform/win32/win32_port.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/argument_text.h"
#include "base/text_codec.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the API's wide characters are UTF-16");

std::wstring Wide(const std::string& text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Utf8(const wchar_t* text, size_t length) {
  if (text == nullptr) return std::string();
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

std::string Backslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::wstring WidePath(const std::string& path) { return Wide(Backslashes(path)); }

namespace {

std::string ToCodePage(const std::wstring& wide, BOOL* used_default) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  const int n =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, used_default);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), n, nullptr, used_default);
  return out;
}

}  // namespace

std::wstring FromCodePage(const char* text, size_t length, UINT code_page) {
  if (length == 0) return std::wstring();
  const int size = static_cast<int>(length);
  const int n = MultiByteToWideChar(code_page, 0, text, size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text, size, out.data(), n);
  return out;
}

std::optional<std::string> AnsiName(const std::string& text) {
  const std::wstring wide = Wide(text);
  BOOL used_default = FALSE;
  std::string ansi = ToCodePage(wide, &used_default);
  // The way back must give the same characters: that catches the look-alikes ("best fit") that
  // the conversion puts in without reporting the default character.
  if (used_default || FromCodePage(ansi.data(), ansi.size(), CP_ACP) != wide) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return std::nullopt;
  }
  return ansi;
}

std::string AnsiText(const std::string& text) {
  BOOL ignored = FALSE;
  return ToCodePage(Wide(text), &ignored);
}

std::string Utf8FromAnsi(const char* text, size_t length) {
  return Utf8(FromCodePage(text, length, CP_ACP));
}

ApiCharset SystemApiCharset() {
  // The high bit of GetVersion marks the 9x platform (and Win32s, which has no wide API either).
  return (GetVersion() & 0x80000000u) != 0 ? ApiCharset::Ansi : ApiCharset::Wide;
}

ApiCharset ChooseApiCharset() {
  if (const char* forced = std::getenv("TMBY_WIN32_API")) {
    if (std::strcmp(forced, "ansi") == 0) return ApiCharset::Ansi;
    if (std::strcmp(forced, "wide") == 0) return ApiCharset::Wide;
  }
  return SystemApiCharset();
}

const char* ApiCharsetName(ApiCharset charset) {
  return charset == ApiCharset::Ansi ? "ansi" : "wide";
}

Win32Platform::Win32Platform(ApiCharset charset)
    : charset_(charset),
      registry_(MakeRegistry(charset)),
      files_(MakeFileSystem(charset)),
      system_(MakeSystemInfo(charset)),
      shell_(MakeShellFolders(charset)),
      links_(MakeShellLinks(charset)),
      libraries_(MakeLibraries(charset)),
      processes_(MakeProcesses(charset)),
      ini_(MakeIniFiles(charset)),
      internet_(MakeInternet()) {}

Win32Platform::~Win32Platform() = default;

IRegistry& Win32Platform::Registry() { return *registry_; }
IFileSystem& Win32Platform::Files() { return *files_; }
ISystemInfo& Win32Platform::System() { return *system_; }
IShellFolders& Win32Platform::ShellFolders() { return *shell_; }
IShellLinks& Win32Platform::ShellLinks() { return *links_; }
ILibraries& Win32Platform::Libraries() { return *libraries_; }
IProcesses& Win32Platform::Processes() { return *processes_; }
IIniFiles& Win32Platform::IniFiles() { return *ini_; }
IInternet& Win32Platform::Internet() { return *internet_; }

}  // namespace tmby::platform::win32
