// What installing files needs of the real API beyond files and the registry: INI files through
// the profile functions, and servers registered in this process (a library's DllRegisterServer,
// a type library through the automation library) and unregistered again by the uninstaller.
#include <ole2.h>
#include <oleauto.h>

#include <vector>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

// GetPrivateProfileString into a growing buffer. The function says "too small" by filling the
// buffer up to `size - 1` characters (`size - 2` for a list of names, which ends in two NULs).
std::optional<std::wstring> ProfileString(const wchar_t* section, const wchar_t* key,
                                          const std::wstring& file) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = GetPrivateProfileStringW(section, key, L"", buffer.data(), size, file.c_str());
    const DWORD full = key == nullptr ? size - 2 : size - 1;
    if (n < full || buffer.size() >= (1u << 20)) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 4);
  }
}

class Win32IniFiles : public IIniFiles {
 public:
  std::optional<std::string> ReadString(const std::string& file, const std::string& section,
                                        const std::string& key) override {
    const std::wstring path = WidePath(file);
    const std::wstring wide_section = Wide(section);
    const std::wstring wide_key = Wide(key);
    // The profile functions answer a missing key with the default: the key is looked for among
    // the names of the section first, so that an empty value and a missing key differ.
    const auto names = ProfileString(wide_section.c_str(), nullptr, path);
    bool present = false;
    for (size_t start = 0; names && start < names->size();) {
      size_t stop = names->find(L'\0', start);
      if (stop == std::wstring::npos) stop = names->size();
      const std::wstring name = names->substr(start, stop - start);
      if (!name.empty() && lstrcmpiW(name.c_str(), wide_key.c_str()) == 0) present = true;
      start = stop + 1;
    }
    if (!present) {
      error_ = ERROR_FILE_NOT_FOUND;
      return std::nullopt;
    }
    const auto value = ProfileString(wide_section.c_str(), wide_key.c_str(), path);
    error_ = ERROR_SUCCESS;
    return Utf8(value.value_or(std::wstring()));
  }

  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) override {
    const BOOL ok = WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                               Wide(value).c_str(), WidePath(file).c_str());
    error_ = ok ? ERROR_SUCCESS : GetLastError();
    return ok != FALSE;
  }

  uint32_t LastError() const override { return error_; }

 private:
  uint32_t error_ = ERROR_SUCCESS;
};

// COM for the duration of one registration.
class ComScope {
 public:
  ComScope() : result_(OleInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

}  // namespace

std::unique_ptr<IIniFiles> MakeIniFiles() { return std::make_unique<Win32IniFiles>(); }

namespace {

// Loads the library, calls its entry point `entry_name` (DllRegisterServer or
// DllUnregisterServer) with COM initialised, and frees it again.
ServerRegistration CallServerEntry(const std::string& path, const char* entry_name) {
  ComScope com;
  ServerRegistration outcome;
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const HMODULE module = LoadLibraryW(WidePath(path).c_str());
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

ServerRegistration RegisterServerInProcess(const std::string& path) {
  return CallServerEntry(path, "DllRegisterServer");
}

ServerRegistration UnregisterServerInProcess(const std::string& path) {
  return CallServerEntry(path, "DllUnregisterServer");
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
