// A self-registering library for the tests. DllRegisterServer records that it ran: under
// HKEY_CURRENT_USER\Software\TamberlyTest\Servers, the value named by the library's file name
// (lower case) holds the current directory of the registration; DllUnregisterServer removes the
// value again. Built three ways: the plain server, one that refuses (returns E_FAIL after
// recording), and one without the entry point.
#include <windows.h>

#include <cwctype>
#include <string>

namespace {

HMODULE g_module = nullptr;

// The library's file name in lower case: the name of its record.
std::wstring RecordName() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(g_module, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

void Record() {
  const std::wstring name = RecordName();
  wchar_t cwd[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, cwd);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyTest\\Servers", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(cwd),
                 (length + 1) * sizeof(wchar_t));
  RegCloseKey(key);
}

// DllUnregisterServer takes the record away again (the library without entry points has none).
[[maybe_unused]] void Forget() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyTest\\Servers", 0, KEY_SET_VALUE,
                    &key) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueW(key, RecordName().c_str());
  RegCloseKey(key);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

#ifndef SERVER_NO_ENTRY
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  Record();
#ifdef SERVER_REFUSES
  return E_FAIL;
#else
  return S_OK;
#endif
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  Forget();
#ifdef SERVER_REFUSES
  return E_FAIL;
#else
  return S_OK;
#endif
}
#else
// Something to export, so that the library is a library; it records like the others.
extern "C" __declspec(dllexport) int STDAPICALLTYPE TmbyRecord() {
  Record();
  return 0;
}
#endif
