// LakeUtil.dll: the note store of Lakeside Notes (a UTF-16 text file).
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) int LakeLoadNote(const wchar_t* path, wchar_t* buffer, int size) {
  if (size <= 0) return -1;
  buffer[0] = 0;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  DWORD got = 0;
  ReadFile(f, buffer, static_cast<DWORD>((size - 1) * sizeof(wchar_t)), &got, nullptr);
  CloseHandle(f);
  buffer[got / sizeof(wchar_t)] = 0;
  return static_cast<int>(got / sizeof(wchar_t));
}

extern "C" __declspec(dllexport) int LakeSaveNote(const wchar_t* path, const wchar_t* text) {
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  DWORD wrote = 0;
  WriteFile(f, text, static_cast<DWORD>(lstrlenW(text) * sizeof(wchar_t)), &wrote, nullptr);
  CloseHandle(f);
  return static_cast<int>(wrote);
}

// The store also registers itself, as an in-process server under the class name
// "Lakeside.NoteStore", so that the notes' tools can find it; the setup program calls
// DllRegisterServer after the install, the uninstaller DllUnregisterServer.
namespace {

HMODULE g_module = nullptr;
const wchar_t kClassId[] = L"{6F1C2B1E-4A53-4E2D-9B8A-1C0D5E7A3B21}";
const wchar_t kProgId[] = L"Lakeside.NoteStore";

bool SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG done =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return done == ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH + 1] = {};
  if (GetModuleFileNameW(g_module, path, MAX_PATH) == 0) return E_FAIL;
  const std::wstring clsid = std::wstring(L"CLSID\\") + kClassId;
  const bool ok = SetText(HKEY_CLASSES_ROOT, clsid, nullptr, L"Lakeside Notes store") &&
                  SetText(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", nullptr, path) &&
                  SetText(HKEY_CLASSES_ROOT, clsid + L"\\ProgID", nullptr, kProgId) &&
                  SetText(HKEY_CLASSES_ROOT, kProgId, nullptr, L"Lakeside Notes store") &&
                  SetText(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClassId);
  return ok ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
  RegDeleteKeyW(HKEY_CLASSES_ROOT,
                (std::wstring(L"CLSID\\") + kClassId + L"\\InprocServer32").c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClassId + L"\\ProgID").c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClassId).c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (std::wstring(kProgId) + L"\\CLSID").c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
  return S_OK;
}
