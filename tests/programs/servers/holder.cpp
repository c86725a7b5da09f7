// tmbyholder FILE MILLISECONDS: holds FILE open the way a running program holds its files (read
// sharing only, so that it can be neither deleted, renamed nor overwritten), tells that it does
// by creating FILE.held, and lets go after the given time, or as soon as FILE.release exists.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const std::wstring marker = std::wstring(argv[1]) + L".held";
  const std::wstring release = std::wstring(argv[1]) + L".release";
  const HANDLE held = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  const DWORD hold = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  for (DWORD waited = 0; waited < hold; waited += 50) {
    if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  CloseHandle(file);
  DeleteFileW(marker.c_str());
  DeleteFileW(release.c_str());
  return 0;
}
