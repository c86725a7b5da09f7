// A program server for the tests: started with /REGSERVER it records that it ran, the way the
// test libraries do (its file name, lower case, holds "<command line>|<current directory>"),
// takes a message queue so that the starter's wait for input idle ends, and ends. Started with
// /UNREGSERVER it removes that record and ends.
#include <windows.h>

#include <cwctype>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR command, int) {
  std::wstring arguments = command;
  for (auto& c : arguments) c = static_cast<wchar_t>(std::towupper(c));
  // /UNREGSERVER removes the record; the search for /REGSERVER below would find it inside.
  const bool removal = arguments.find(L"/UNREGSERVER") != std::wstring::npos;
  if (!removal && arguments.find(L"/REGSERVER") == std::wstring::npos) return 1;
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring value = std::wstring(GetCommandLineW()) + L"|" + cwd;
  HKEY key = nullptr;
  if (removal) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyTest\\Servers", 0, KEY_SET_VALUE,
                      &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, name.c_str());
      RegCloseKey(key);
    }
    return 0;
  }
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TamberlyTest\\Servers", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  return 0;
}
