// Lakeside Notes: the sample product's program. One window with one edit box; the text is kept in
// a file beside the program (notes.txt unless notes.ini names another) through LakeUtil.dll. The
// window's place and size come from notes.ini as well.
#include <windows.h>

extern "C" __declspec(dllimport) int LakeLoadNote(const wchar_t* path, wchar_t* buffer, int size);
extern "C" __declspec(dllimport) int LakeSaveNote(const wchar_t* path, const wchar_t* text);

namespace {

HWND g_edit = nullptr;
wchar_t g_store[MAX_PATH];

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE: {
      g_edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                               0, 0, 0, 0, hwnd, nullptr, nullptr, nullptr);
      static wchar_t text[65536];
      if (LakeLoadNote(g_store, text, 65536) >= 0) SetWindowTextW(g_edit, text);
      return 0;
    }
    case WM_SIZE: MoveWindow(g_edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE); return 0;
    case WM_CLOSE: {
      static wchar_t text[65536];
      GetWindowTextW(g_edit, text, 65536);
      LakeSaveNote(g_store, text);
      DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  // The settings and the notes are kept in the program's folder.
  wchar_t folder[MAX_PATH];
  GetModuleFileNameW(nullptr, folder, MAX_PATH);
  wchar_t* slash = wcsrchr(folder, L'\\');
  if (slash) slash[1] = L'\0';
  wchar_t ini[MAX_PATH + 16];
  wsprintfW(ini, L"%snotes.ini", folder);
  wchar_t file[MAX_PATH];
  GetPrivateProfileStringW(L"Store", L"File", L"notes.txt", file, MAX_PATH, ini);
  // Only a plain file name: the notes stay beside the program.
  if (file[0] == L'\0' || wcspbrk(file, L"\\/:") != nullptr) lstrcpyW(file, L"notes.txt");
  if (lstrlenW(folder) + lstrlenW(file) < MAX_PATH) wsprintfW(g_store, L"%s%s", folder, file);
  const int left = GetPrivateProfileIntW(L"Window", L"Left", CW_USEDEFAULT, ini);
  const int top = GetPrivateProfileIntW(L"Window", L"Top", CW_USEDEFAULT, ini);
  const int width = GetPrivateProfileIntW(L"Window", L"Width", 480, ini);
  const int height = GetPrivateProfileIntW(L"Window", L"Height", 360, ini);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"LakesideNotes";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(L"LakesideNotes", L"Lakeside Notes", WS_OVERLAPPEDWINDOW, left, top,
                            width, height, nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
