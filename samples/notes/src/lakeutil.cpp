// LakeUtil.dll: the note store of Lakeside Notes (a UTF-16 text file).
#include <windows.h>

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
