// The setup engine's program entry.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32_port.h"

namespace {

const wchar_t kClassName[] = L"TTamberlyMainForm";
const wchar_t kTitle[] = L"Tamberly Setup";

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      RECT band = rc;
      band.bottom = band.top + 80;
      HBRUSH blue = CreateSolidBrush(RGB(0, 0, 128));
      FillRect(dc, &band, blue);
      DeleteObject(blue);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawTextW(dc, kTitle, -1, &band, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_TIMER: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  tmby::platform::win32::Win32Platform port;
  tmby::platform::SetPort(&port);

  WNDCLASSW wc = {};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  if (!RegisterClassW(&wc)) return 1;

  HWND hwnd = CreateWindowExW(0, kClassName, kTitle, WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                              GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
  UpdateWindow(hwnd);

  // TMBY_EXIT_AFTER_MS ends the program after that many milliseconds (smoke tests and the demo).
  if (const char* after = std::getenv("TMBY_EXIT_AFTER_MS")) {
    SetTimer(hwnd, 1, static_cast<UINT>(std::strtoul(after, nullptr, 10)), nullptr);
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
