#include "platform/win32/ui_win32.h"

// After windows.h (through ui_win32.h), which they need.
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/win32/ui_win32_internal.h"

namespace tmby::platform::win32 {

namespace {

const wchar_t kWindowClass[] = L"TTamberlyForm";
const wchar_t kPropForm[] = L"TmbyForm";  // the adapter's window object on a form's window
Win32Ui* g_ui = nullptr;                  // the adapter of this process, for the timer callback

RECT ToRect(const ui::TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

class Win32Window : public IUiWindow {
 public:
  Win32Window(const FormWindowParams& params, IUiWindowEvents* events) : events_(events) {
    DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    DWORD ex_style = WS_EX_CONTROLPARENT | (params.stay_on_top ? WS_EX_TOPMOST : 0);
    HWND parent = nullptr;
    if (auto* host = dynamic_cast<Win32Window*>(params.host); host != nullptr) {
      // A page of a stage window: a child window on the host's client area.
      parent = host->hwnd_;
      style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
      ex_style = WS_EX_CONTROLPARENT;
      hosted_ = true;
    } else if (params.bordered) {
      style = params.dialog_frame ? (WS_POPUP | WS_CAPTION | WS_DLGFRAME | WS_CLIPCHILDREN)
                                  : (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
      if (params.dialog_frame) ex_style |= WS_EX_DLGMODALFRAME;
      // Without the system menu there is no close box either.
      if (params.system_menu) {
        style |= WS_SYSMENU;
      } else {
        style &= ~static_cast<DWORD>(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
      }
    }
    const ui::TRect& b = params.bounds;
    hwnd_ =
        CreateWindowExW(ex_style, kWindowClass, Widen(params.caption).c_str(), style, b.Left, b.Top,
                        b.Width(), b.Height(), parent, nullptr, GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr) return;
    SetPropW(hwnd_, kPropForm, this);
    SetNameProp(hwnd_, params.name);
    if (hosted_) {
      SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  ~Win32Window() override {
    if (hwnd_ != nullptr) {
      const HWND hwnd = hwnd_;
      Forget();
      DestroyWindow(hwnd);
    }
  }

  std::unique_ptr<IUiControl> CreateControl(const ControlParams& params,
                                            IUiControlEvents* events) override {
    if (hwnd_ == nullptr) throw std::runtime_error("The window of " + params.name + " is gone");
    return CreateNativeControl(hwnd_, params, events);
  }

  // A dialog key that reached a control on this window (or the window itself).
  bool DialogKey(int key, bool shift) { return events_->NativeDialogKey(key, shift); }
  bool Hosted() const { return hosted_; }
  static Win32Window* Of(HWND hwnd) { return static_cast<Win32Window*>(GetPropW(hwnd, kPropForm)); }

  void Show(int show_mode) override {
    if (in_show_) {
      // Asked from inside ShowWindow (an activation handler maximizing the window that is being
      // shown): nested ShowWindow calls can leave the window at its old size on screen, so the
      // request runs from the message loop, once the outer call has returned.
      PostMessageW(hwnd_, kDeferredShow, static_cast<WPARAM>(show_mode), 0);
      return;
    }
    ShowNow(show_mode);
  }

  void ShowNow(int show_mode) {
    // The outer call may not have returned yet: the activation handler that asked for this can
    // run a message loop of its own (the whole install runs from the main window's first
    // activation), which is where the deferred request arrives. It runs then, once: posted
    // again it would come back to that same loop at once, which would never empty.
    const bool outer = in_show_;
    in_show_ = true;
    if (hosted_ && show_mode != SW_HIDE) show_mode = SW_SHOWNA;
    if (show_mode == SW_MAXIMIZE && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CAPTION) == 0) {
      // A frameless window maximized is a window on the whole work area. Placed directly: under
      // X11 the system's maximize is left to a window manager, and without one the window would
      // keep its old size on screen while believing itself maximized.
      RECT area{};
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
      ShowWindow(hwnd_, IsWindowVisible(hwnd_) ? SW_SHOWNA : SW_SHOW);
      SetWindowPos(hwnd_, nullptr, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      ShowWindow(hwnd_, show_mode);
    }
    in_show_ = outer;
  }
  void SetBounds(const ui::TRect& b) override {
    SetWindowPos(hwnd_, nullptr, b.Left, b.Top, b.Width(), b.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void SetCaption(const std::string& caption) override {
    SetWindowTextW(hwnd_, Widen(caption).c_str());
  }
  void SetBackground(uint32_t) override { InvalidateRect(hwnd_, nullptr, FALSE); }
  void Invalidate() override { InvalidateRect(hwnd_, nullptr, FALSE); }
  void Update() override {
    // The controls on the window repaint with it.
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  void Activate() override {
    if (hosted_) {
      BringToFront();
    } else {
      SetForegroundWindow(hwnd_);
    }
  }
  void SetEnabled(bool enabled) override { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  bool Enabled() const override { return IsWindowEnabled(hwnd_) != FALSE; }
  void BringToFront() override {
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ui::TRect Bounds() const override {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right, r.bottom};
  }
  ui::TSize ClientSize() const override {
    RECT r{};
    GetClientRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
  }

  HWND Handle() const { return hwnd_; }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      auto* self = static_cast<Win32Window*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, msg, wparam, lparam);
    try {
      return self->Handle(msg, wparam, lparam);
    } catch (...) {
      // Nothing may unwind through the system's frames; the forms report their own failures.
      return 0;
    }
  }

 private:
  void Forget() {
    if (hwnd_ == nullptr) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    RemovePropW(hwnd_, kPropForm);
    RemoveNameProp(hwnd_);
    hwnd_ = nullptr;
  }

  LRESULT Handle(UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (RouteChildMessage(msg, wparam, lparam, &result)) return result;
    switch (msg) {
      case WM_ERASEBKGND: return 1;  // WM_PAINT covers everything
      case WM_PAINT: Paint(); return 0;
      case WM_ACTIVATE: {
        const bool active = LOWORD(wparam) != WA_INACTIVE;
        if (!active) {
          // The control that had the focus gets it back when the window is active again.
          const HWND focus = GetFocus();
          last_focus_ = focus != nullptr && IsChild(hwnd_, focus) ? focus : nullptr;
        } else if (last_focus_ != nullptr && IsWindow(last_focus_) && IsChild(hwnd_, last_focus_)) {
          SetFocus(last_focus_);
        } else if (!IsChild(hwnd_, GetFocus())) {
          SetFocus(hwnd_);
        }
        events_->NativeActivate(active);
        return 0;
      }
      case WM_CLOSE: events_->NativeCloseRequest(); return 0;
      case WM_NCDESTROY: {
        const HWND hwnd = hwnd_;
        Forget();
        return DefWindowProcW(hwnd, msg, wparam, lparam);
      }
      case kDeferredShow: ShowNow(static_cast<int>(wparam)); return 0;
      case WM_SIZE:
      case WM_MOVE: {
        events_->NativeResized(Bounds(), ClientSize());
        return 0;
      }
      default: return DefWindowProcW(hwnd_, msg, wparam, lparam);
    }
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    const ui::TSize size = ClientSize();
    if (size.cx > 0 && size.cy > 0) {
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, size.cx, size.cy);
      HGDIOBJ old = SelectObject(memory, bitmap);
      {
        GdiCanvas canvas(memory, size.cx, size.cy);
        events_->NativePaint(canvas);
      }
      BitBlt(dc, 0, 0, size.cx, size.cy, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
    }
    EndPaint(hwnd_, &ps);
  }

  static constexpr UINT kDeferredShow = WM_APP + 1;
  HWND hwnd_ = nullptr;
  IUiWindowEvents* events_;
  bool in_show_ = false;
  bool hosted_ = false;
  HWND last_focus_ = nullptr;
};

void RegisterWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = &Win32Window::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(GetModuleHandleW(nullptr), MAKEINTRESOURCE(1));
  wc.lpszClassName = kWindowClass;
  registered = RegisterClassW(&wc) != 0;
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  }
  return out;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// GdiCanvas

std::wstring FaceName(const ui::TFontSpec& font) {
  const std::string& name = font.Name;
  if (name.empty()) return {};
  const int size = static_cast<int>(name.size());
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0) > 0) {
    return Widen(name);
  }
  // Not UTF-8: the bytes the ANSI font API of a system of the font's character set takes (the
  // translator names the Chinese, Japanese and Korean fonts so), read in that character set's
  // code page.
  CHARSETINFO info = {};
  UINT codePage = CP_ACP;
  if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(font.Charset)), &info,
                           TCI_SRCCHARSET)) {
    codePage = info.ciACP;
  }
  const int n = MultiByteToWideChar(codePage, 0, name.data(), size, nullptr, 0);
  std::wstring out(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, name.data(), size, out.data(), n);
  return out;
}

GdiFont::GdiFont(const ui::TFontSpec& font) {
  font_ = CreateFontW(font.Height, 0, 0, 0,
                      (font.Style & ui::FontStyleBit(ui::fsBold)) != 0 ? FW_BOLD : FW_NORMAL,
                      (font.Style & ui::FontStyleBit(ui::fsItalic)) != 0,
                      (font.Style & ui::FontStyleBit(ui::fsUnderline)) != 0,
                      (font.Style & ui::FontStyleBit(ui::fsStrikeOut)) != 0,
                      static_cast<DWORD>(font.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FaceName(font).c_str());
}

GdiFont::~GdiFont() {
  if (font_ != nullptr) DeleteObject(font_);
}

void GdiCanvas::DeviceFill(const ui::TRect& rect, uint32_t rgb) {
  if (rect.IsEmpty()) return;
  HBRUSH brush = CreateSolidBrush(rgb);
  const RECT r = ToRect(rect);
  ::FillRect(dc_, &r, brush);
  DeleteObject(brush);
}

void GdiCanvas::DeviceText(const std::string& text, const ui::TRect& rect, uint32_t flags,
                           const ui::TFontSpec& font, uint32_t text_rgb, const uint32_t* background,
                           const ui::TRect& clip) {
  if (clip.IsEmpty()) return;
  const int saved = SaveDC(dc_);
  IntersectClipRect(dc_, clip.Left, clip.Top, clip.Right, clip.Bottom);
  GdiFont gdi_font(font);
  SelectObject(dc_, gdi_font.Handle());
  SetTextColor(dc_, text_rgb);
  if (background != nullptr) {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, *background);
  } else {
    SetBkMode(dc_, TRANSPARENT);
  }
  RECT r = ToRect(rect);
  const std::wstring wide = Widen(text);
  ::DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &r, flags);
  RestoreDC(dc_, saved);
}

ui::TSize GdiCanvas::DeviceTextExtent(const std::string& text, const ui::TFontSpec& font) {
  GdiFont gdi_font(font);
  HGDIOBJ old = SelectObject(dc_, gdi_font.Handle());
  const std::wstring wide = Widen(text);
  SIZE size{};
  GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc_, old);
  return {size.cx, size.cy};
}

void GdiCanvas::DeviceStretch(const ui::TRect& rect, const ui::TBitmapData& picture, bool smooth,
                              const ui::TRect& clip) {
  if (clip.IsEmpty() || picture.Empty()) return;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const int saved = SaveDC(dc_);
  IntersectClipRect(dc_, clip.Left, clip.Top, clip.Right, clip.Bottom);
  SetStretchBltMode(dc_, smooth ? HALFTONE : COLORONCOLOR);
  SetBrushOrgEx(dc_, 0, 0, nullptr);
  StretchDIBits(dc_, rect.Left, rect.Top, rect.Width(), rect.Height(), 0, 0, picture.Width,
                picture.Height, picture.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  RestoreDC(dc_, saved);
}

// ---------------------------------------------------------------------------------------------
// Win32Ui

Win32Ui::Win32Ui() {
  RegisterWindowClass();
  RegisterControlClass();
  if (g_ui == nullptr) g_ui = this;
}

Win32Ui::~Win32Ui() {
  for (const auto& timer : timers_) KillTimer(nullptr, timer.first);
  if (g_ui == this) g_ui = nullptr;
}

std::unique_ptr<IUiWindow> Win32Ui::CreateFormWindow(const FormWindowParams& params,
                                                     IUiWindowEvents* events) {
  auto window = std::make_unique<Win32Window>(params, events);
  if (window->Handle() == nullptr) {
    throw std::runtime_error("Error creating window (system error " +
                             std::to_string(GetLastError()) + ")");
  }
  return window;
}

HWND Win32Ui::HandleOf(IUiWindow* window) {
  auto* w = dynamic_cast<Win32Window*>(window);
  return w != nullptr ? w->Handle() : nullptr;
}

HWND Win32Ui::HandleOf(IUiControl* control) { return ControlHandle(control); }

int Win32Ui::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  HWND owner = GetActiveWindow();
  return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

namespace {

// A string of a system library's string table; empty when it cannot be read.
std::wstring LibraryString(const wchar_t* library, UINT id) {
  HMODULE module = LoadLibraryW(library);
  if (module == nullptr) return {};
  wchar_t buffer[4096] = {};
  const int length = LoadStringW(module, id, buffer, 4096);
  FreeLibrary(module);
  return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : std::wstring();
}

// The folder itself when it exists, else the nearest one above it that does; a drive's root
// keeps its backslash, any other folder loses it.
std::wstring NearestExistingFolder(std::wstring path) {
  while (!path.empty()) {
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (path.size() == 2 && path[1] == L':') path += L'\\';
      return path;
    }
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    path.resize(slash == 2 ? 3 : slash);
    if (path.size() == 3 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  }
  return {};
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    const auto* start = reinterpret_cast<const std::wstring*>(data);
    if (!start->empty()) {
      SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->c_str()));
      // Once more after what the browser still has queued from its own start: under Wine a busy
      // machine was seen selecting the tree's first folder after the selection above had been
      // made. The text lives until the browser returns.
      PostMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->c_str()));
    }
  }
  return 0;
}

}  // namespace

std::optional<std::string> Win32Ui::BrowseForFolder(const std::string& start, bool createButton,
                                                    bool pathEdit) {
  // The browser's new style (with its make-folder button) needs COM in a single-threaded
  // apartment; a thread that has COM already keeps its own.
  const HRESULT com = OleInitialize(nullptr);
  std::wstring title = LibraryString(L"shell32.dll", 9248);
  if (title.find(L"%s") != std::wstring::npos) title.replace(title.find(L"%s"), 2, L"");
  if (title.empty()) title = L"Choose a folder";
  const std::wstring initial = NearestExistingFolder(Widen(start));
  wchar_t name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = GetActiveWindow();
  info.pszDisplayName = name;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | (pathEdit ? BIF_EDITBOX : 0u) |
                 (createButton ? BIF_NEWDIALOGSTYLE : BIF_NONEWFOLDERBUTTON);
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&initial);
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
  std::optional<std::string> result;
  if (chosen != nullptr) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, path)) result = Narrow(path);
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) OleUninitialize();
  return result;
}

void Win32Ui::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    PostQuit(static_cast<int>(msg.wParam));
    return;
  }
  if (msg.message == WM_KEYDOWN &&
      (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE || msg.wParam == VK_TAB)) {
    // Enter, Esc and Tab are the forms' own: the form of the focused control first, then the
    // forms hosting it. A key a form uses goes no further (and makes no WM_CHAR).
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const int key = static_cast<int>(msg.wParam);
    for (HWND w = msg.hwnd; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
      if (Win32Window* window = Win32Window::Of(w)) {
        if (window->DialogKey(key, shift)) return;
        if (!window->Hosted()) break;
      }
      if ((GetWindowLongW(w, GWL_STYLE) & WS_CHILD) == 0) break;
    }
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

bool Win32Ui::HandleMessage() {
  if (quit_posted_) return false;
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    PostQuit(got == 0 ? static_cast<int>(msg.wParam) : quit_code_);
    return false;
  }
  Dispatch(msg);
  return !quit_posted_;
}

void Win32Ui::ProcessMessages() {
  MSG msg;
  while (!quit_posted_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Dispatch(msg);
}

void Win32Ui::PostQuit(int exit_code) {
  if (quit_posted_) return;
  // Not WM_QUIT: that would end any message box shown after this at once. A null message wakes
  // the loop, which then sees the flag.
  quit_posted_ = true;
  quit_code_ = exit_code;
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void CALLBACK Win32Ui::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (g_ui == nullptr) return;
  auto it = g_ui->timers_.find(id);
  if (it == g_ui->timers_.end()) return;
  std::function<void()> fn = std::move(it->second);
  g_ui->timers_.erase(it);
  try {
    fn();
  } catch (...) {
    // A timer's work reports its own failures.
  }
}

void Win32Ui::StartTimer(uint32_t ms, std::function<void()> fn) {
  const UINT_PTR id = SetTimer(nullptr, 0, ms, &Win32Ui::TimerProc);
  if (id != 0) timers_[id] = std::move(fn);
}

ui::TSize Win32Ui::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

int Win32Ui::BitsPerPixel() {
  HDC dc = GetDC(nullptr);
  const int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
  ReleaseDC(nullptr, dc);
  return bits;
}

uint32_t Win32Ui::SystemColorRGB(int index) { return GetSysColor(index); }

int Win32Ui::CaptionHeight() { return GetSystemMetrics(SM_CYCAPTION); }

ui::TSize Win32Ui::MeasureText(const std::string& text, const ui::TFontSpec& font) {
  HDC dc = GetDC(nullptr);
  ui::TSize size;
  {
    GdiFont gdi_font(font);
    HGDIOBJ old = SelectObject(dc, gdi_font.Handle());
    const std::wstring wide = Widen(text);
    SIZE s{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &s);
    SelectObject(dc, old);
    size = {s.cx, s.cy};
  }
  ReleaseDC(nullptr, dc);
  return size;
}

std::string Win32Ui::ModuleName() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, n);
  const size_t slash = full.find_last_of(L"\\/");
  return Narrow(slash == std::wstring::npos ? full : full.substr(slash + 1));
}

}  // namespace tmby::platform::win32
