// What installing files needs of the real API beyond files and the registry: INI files through
// the profile functions, and servers registered in this process (a library's DllRegisterServer,
// a type library through the automation library) and unregistered again by the uninstaller.
#include <ole2.h>
#include <oleauto.h>

#include <vector>

#include "platform/win32/win32_com.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

// clang-format off
inline DWORD GetProfileT(const char* s, const char* k, char* b, DWORD n, const char* f) { return GetPrivateProfileStringA(s, k, "", b, n, f); }
inline DWORD GetProfileT(const wchar_t* s, const wchar_t* k, wchar_t* b, DWORD n, const wchar_t* f) { return GetPrivateProfileStringW(s, k, L"", b, n, f); }
inline BOOL WriteProfileT(const char* s, const char* k, const char* v, const char* f) { return WritePrivateProfileStringA(s, k, v, f); }
inline BOOL WriteProfileT(const wchar_t* s, const wchar_t* k, const wchar_t* v, const wchar_t* f) { return WritePrivateProfileStringW(s, k, v, f); }
inline int CompareNoCaseT(const char* a, const char* b) { return lstrcmpiA(a, b); }
inline int CompareNoCaseT(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b); }
// clang-format on

// GetPrivateProfileString into a growing buffer. The function says "too small" by filling the
// buffer up to `size - 1` characters (`size - 2` for a list of names, which ends in two NULs).
template <typename C>
std::basic_string<C> ProfileString(const C* section, const C* key,
                                   const std::basic_string<C>& file) {
  std::vector<C> buffer(1024);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = GetProfileT(section, key, buffer.data(), size, file.c_str());
    const DWORD full = key == nullptr ? size - 2 : size - 1;
    if (n < full || buffer.size() >= (1u << 20)) return std::basic_string<C>(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

// Whether the list of names (each ended by a NUL) holds `key`, in any case, as the profile
// functions compare.
template <typename C>
bool HoldsName(const std::basic_string<C>& names, const std::basic_string<C>& key) {
  for (size_t start = 0; start < names.size();) {
    size_t stop = names.find(C(0), start);
    if (stop == std::basic_string<C>::npos) stop = names.size();
    const std::basic_string<C> name = names.substr(start, stop - start);
    if (!name.empty() && CompareNoCaseT(name.c_str(), key.c_str()) == 0) return true;
    start = stop + 1;
  }
  return false;
}

class Win32IniFiles : public IIniFiles {
 public:
  explicit Win32IniFiles(ApiCharset charset) : text_(charset) {}

  std::optional<std::string> ReadString(const std::string& file, const std::string& section,
                                        const std::string& key) override {
    // The profile functions answer a missing key with the default: the key is looked for among
    // the names of the section first, so that an empty value and a missing key differ.
    bool present = false;
    std::string value;
    const bool named = text_.With(
        false,
        [&](const auto& path, const auto& section_name, const auto& key_name) {
          using C = CharOf<decltype(path)>;
          const auto names = ProfileString<C>(section_name.c_str(), nullptr, path);
          present = HoldsName(names, key_name);
          if (present) value = FromApi(ProfileString(section_name.c_str(), key_name.c_str(), path));
          return true;
        },
        Backslashes(file), section, key);
    if (!named) {
      error_ = GetLastError();
      return std::nullopt;
    }
    if (!present) {
      error_ = ERROR_FILE_NOT_FOUND;
      return std::nullopt;
    }
    error_ = ERROR_SUCCESS;
    return value;
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) override {
    const BOOL ok = text_.With(
        FALSE,
        [](const auto& path, const auto& section_name, const auto& key_name, const auto& text) {
          return WriteProfileT(section_name.c_str(), key_name.c_str(), text.c_str(), path.c_str());
        },
        Backslashes(file), section, key, value);
    error_ = ok ? ERROR_SUCCESS : GetLastError();
    return ok != FALSE;
  }

  uint32_t LastError() const override { return error_; }

 private:
  TextApi text_;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IIniFiles> MakeIniFiles(ApiCharset charset) {
  return std::make_unique<Win32IniFiles>(charset);
}

namespace {

// Loads the library, calls its entry point `entry_name` (DllRegisterServer or
// DllUnregisterServer) with COM initialised, and frees it again.
ServerRegistration CallServerEntry(const TextApi& text, const std::string& path,
                                   const char* entry_name) {
  ComScope com;
  ServerRegistration outcome;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const HMODULE module = text.WithPaths(
      HMODULE(nullptr), [](const auto& file) { return LoadLibraryT(file.c_str()); }, path);
  const DWORD load_error = GetLastError();
  SetErrorMode(previous);
  if (module == nullptr) {
    outcome.outcome = ServerRegistration::Outcome::NotLoaded;
    outcome.error = load_error;
    return outcome;
  }
  using Entry = HRESULT(STDAPICALLTYPE*)();
  const FARPROC proc = GetProcAddress(module, entry_name);
  if (proc == nullptr) {
    outcome.outcome = ServerRegistration::Outcome::NoEntryPoint;
    outcome.error = GetLastError();
  } else {
    // Through the generic function type, which converts to any other without a warning.
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(proc));
    outcome.result = static_cast<int32_t>(entry());
    if (outcome.result != 0) outcome.outcome = ServerRegistration::Outcome::Refused;
  }
  FreeLibrary(module);
  return outcome;
}

}  // namespace

ServerRegistration RegisterServerInProcess(const TextApi& text, const std::string& path) {
  return CallServerEntry(text, path, "DllRegisterServer");
}

ServerRegistration UnregisterServerInProcess(const TextApi& text, const std::string& path) {
  return CallServerEntry(text, path, "DllUnregisterServer");
}

int32_t RegisterTypeLibraryFile(const std::string& path) {
  ComScope com;
  std::wstring file = WidePath(path);
  ITypeLib* library = nullptr;
  HRESULT result = LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library);
  if (FAILED(result)) return static_cast<int32_t>(result);
  TLIBATTR* attributes = nullptr;
  result = library->GetLibAttr(&attributes);
  if (SUCCEEDED(result)) {
    BSTR help = nullptr;
    result = library->GetDocumentation(-1, nullptr, nullptr, nullptr, &help);
    if (SUCCEEDED(result)) {
      std::wstring help_dir = help != nullptr ? std::wstring(help, SysStringLen(help)) : L"";
      const size_t slash = help_dir.find_last_of(L"\\/");
      help_dir = slash == std::wstring::npos ? std::wstring() : help_dir.substr(0, slash);
      result = RegisterTypeLib(library, file.data(), help_dir.empty() ? nullptr : help_dir.data());
      SysFreeString(help);
    }
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return static_cast<int32_t>(result);
}

int32_t UnregisterTypeLibraryFile(const std::string& path) {
  ComScope com;
  ITypeLib* library = nullptr;
  HRESULT result = LoadTypeLibEx(WidePath(path).c_str(), REGKIND_NONE, &library);
  if (FAILED(result)) return static_cast<int32_t>(result);
  TLIBATTR* attributes = nullptr;
  result = library->GetLibAttr(&attributes);
  if (SUCCEEDED(result)) {
    result = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                               attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return static_cast<int32_t>(result);
}

}  // namespace tmby::platform::win32
