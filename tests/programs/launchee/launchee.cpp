// launchee REPORT [--delay-ms N] [--stay-ms N]
//
// Writes how it was started into the file REPORT, one "key=value" line each: its command line,
// its working directory, the show flags of its start-up record, and (the windowed build) whether
// its main window came up visible, minimized or maximized after the first ShowWindow. The report
// is written under a temporary name and renamed, so a reader never sees half of it; the windowed
// build writes it twice, before its window exists and again with the window's lines.
// --delay-ms sleeps before the window is created and the report written (the launcher must wait
// that long for input idle); --stay-ms keeps the message loop running that long (default 1500).
//
// Standing in for a program whose command line the caller does not choose (the setup engine that
// the loading program starts): with TMBY_LAUNCHEE_REPORT set, the report goes to that file, the
// arguments are only recorded, the window goes at once, and the exit code is TMBY_LAUNCHEE_EXIT
// (default 0).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "base/text_codec.h"

namespace {

std::string Utf8(const std::wstring& w) {
  return tmby::Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

bool WriteReport(const std::wstring& path, const std::string& text) {
  std::wstring temp = path + L".part";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(h);
  if (!ok || done != text.size()) return false;
  return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::string BaseReport() {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  std::string r;
  r += "cmdline=" + Utf8(GetCommandLineW()) + "\n";
  r += "cwd=" + Utf8(cwd) + "\n";
  r += "useshowwindow=" + std::to_string((si.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0) + "\n";
  r += "showwindow=" + std::to_string(si.wShowWindow) + "\n";
  return r;
}

struct Options {
  std::wstring report;
  DWORD delay_ms = 0;
  UINT stay_ms = 1500;
};

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value) : std::wstring();
}

bool ParseOptions(Options* o) {
  o->report = Environment(L"TMBY_LAUNCHEE_REPORT");
  if (!o->report.empty()) {
    o->stay_ms = 0;
    return true;
  }
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return false;
  o->report = argv[1];
  for (int i = 2; i + 1 < argc; i += 2) {
    DWORD value = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
    if (std::wcscmp(argv[i], L"--delay-ms") == 0) o->delay_ms = value;
    if (std::wcscmp(argv[i], L"--stay-ms") == 0) o->stay_ms = value;
  }
  LocalFree(argv);
  return true;
}

}  // namespace

#ifdef LAUNCHEE_CONSOLE

int wmain() {
  Options o;
  if (!ParseOptions(&o)) return 2;
  Sleep(o.delay_ms);
  return WriteReport(o.report, BaseReport() + "console=1\n") ? 0 : 1;
}

#else

namespace {
LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  Options o;
  if (!ParseOptions(&o)) return 2;
  Sleep(o.delay_ms);
  // A first report before any window exists: creating and showing a window may already count as
  // waiting for input on some systems.
  if (!WriteReport(o.report, BaseReport())) return 1;
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"TmbyLaunchee";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(L"TmbyLaunchee", L"launchee", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr) return 3;
  ShowWindow(hwnd, show);
  std::string r = BaseReport();
  r += "cmdshow=" + std::to_string(show) + "\n";
  r += "visible=" + std::to_string(IsWindowVisible(hwnd) ? 1 : 0) + "\n";
  r += "iconic=" + std::to_string(IsIconic(hwnd) ? 1 : 0) + "\n";
  r += "zoomed=" + std::to_string(IsZoomed(hwnd) ? 1 : 0) + "\n";
  if (!WriteReport(o.report, r)) return 1;
  SetTimer(hwnd, 1, o.stay_ms, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(std::wcstoul(Environment(L"TMBY_LAUNCHEE_EXIT").c_str(), nullptr, 10));
}

#endif
