// Lakeside Notes: the sample product's program. One window with one edit box; the text is kept in
// notes.txt beside the program through LakeUtil.dll.
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
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, 0,
                               0, 0, 0, hwnd, nullptr, nullptr, nullptr);
      static wchar_t text[65536];
      if (LakeLoadNote(g_store, text, 65536) >= 0) SetWindowTextW(g_edit, text);
      return 0;
    }
    case WM_SIZE:
      MoveWindow(g_edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_CLOSE: {
      static wchar_t text[65536];
      GetWindowTextW(g_edit, text, 65536);
      LakeSaveNote(g_store, text);
      DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  GetModuleFileNameW(nullptr, g_store, MAX_PATH);
  wchar_t* slash = wcsrchr(g_store, L'\\');
  if (slash) lstrcpyW(slash + 1, L"notes.txt");
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"LakesideNotes";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(L"LakesideNotes", L"Lakeside Notes", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 480, 360, nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
