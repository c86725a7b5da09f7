#include "platform/win32/ui_win32.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/text_codec.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

const char kWindowClass[] = "TTamberlyForm";
// The adapter's window object on a form's window. Properties are atoms, one table for both
// character sets; the ANSI functions exist on every Windows.
const char kPropForm[] = "TmbyForm";
Win32Ui* g_ui = nullptr;  // the adapter of this process, for the timer callback

RECT ToRect(const ui::TRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

// clang-format off
inline HFONT CreateFontT(const ui::TFontSpec& f, const char* n) { return CreateFontA(f.Height, 0, 0, 0, (f.Style & ui::FontStyleBit(ui::fsBold)) != 0 ? FW_BOLD : FW_NORMAL, (f.Style & ui::FontStyleBit(ui::fsItalic)) != 0, (f.Style & ui::FontStyleBit(ui::fsUnderline)) != 0, (f.Style & ui::FontStyleBit(ui::fsStrikeOut)) != 0, static_cast<DWORD>(f.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, n); }
inline HFONT CreateFontT(const ui::TFontSpec& f, const wchar_t* n) { return CreateFontW(f.Height, 0, 0, 0, (f.Style & ui::FontStyleBit(ui::fsBold)) != 0 ? FW_BOLD : FW_NORMAL, (f.Style & ui::FontStyleBit(ui::fsItalic)) != 0, (f.Style & ui::FontStyleBit(ui::fsUnderline)) != 0, (f.Style & ui::FontStyleBit(ui::fsStrikeOut)) != 0, static_cast<DWORD>(f.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, n); }
inline int DrawTextT(HDC dc, const std::string& t, RECT* r, UINT f) { return DrawTextA(dc, t.c_str(), static_cast<int>(t.size()), r, f); }
inline int DrawTextT(HDC dc, const std::wstring& t, RECT* r, UINT f) { return DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), r, f); }
inline BOOL GetTextExtentT(HDC dc, const std::string& t, SIZE* s) { return GetTextExtentPoint32A(dc, t.c_str(), static_cast<int>(t.size()), s); }
inline BOOL GetTextExtentT(HDC dc, const std::wstring& t, SIZE* s) { return GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), s); }
inline int MessageBoxT(HWND o, const char* t, const char* c, UINT f) { return MessageBoxA(o, t, c, f); }
inline int MessageBoxT(HWND o, const wchar_t* t, const wchar_t* c, UINT f) { return MessageBoxW(o, t, c, f); }
// clang-format on

// GDI state that must be given back however a paint step ends.
class SavedDc {
 public:
  explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~SavedDc() { RestoreDC(dc_, saved_); }
  SavedDc(const SavedDc&) = delete;
  SavedDc& operator=(const SavedDc&) = delete;

 private:
  HDC dc_;
  int saved_;
};

class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() { ReleaseDC(nullptr, dc_); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Handle() const { return dc_; }

 private:
  HDC dc_;
};

// A mirrored window's device context drawn on as the model paints, from the left (SetLayout is
// missing from Windows 95 and NT 4, which mirror nothing).
void UnmirrorDc(HDC dc) {
  using SetLayoutFn = DWORD(WINAPI*)(HDC, DWORD);
  static const auto set_layout = reinterpret_cast<SetLayoutFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("gdi32.dll"), "SetLayout")));
  if (set_layout != nullptr) set_layout(dc, 0);
}

bool Mirrored(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

// The off-screen bitmap that a paint draws into, and the paint itself, ended on every way out.
class PaintBuffer {
 public:
  PaintBuffer(HWND hwnd, int width, int height) : hwnd_(hwnd) {
    screen_ = BeginPaint(hwnd, &ps_);
    if (Mirrored(hwnd)) UnmirrorDc(screen_);
    memory_ = CreateCompatibleDC(screen_);
    bitmap_ = CreateCompatibleBitmap(screen_, width, height);
    old_ = SelectObject(memory_, bitmap_);
  }
  ~PaintBuffer() {
    SelectObject(memory_, old_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
    EndPaint(hwnd_, &ps_);
  }
  PaintBuffer(const PaintBuffer&) = delete;
  PaintBuffer& operator=(const PaintBuffer&) = delete;
  HDC Memory() const { return memory_; }
  HDC Screen() const { return screen_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC screen_ = nullptr;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

class Win32Window : public IUiWindow {
 public:
  Win32Window(const FormWindowParams& params, IUiWindowEvents* events, Win32Ui* ui)
      : events_(events), ui_(ui), text_(ui->Charset()) {
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
    if (!hosted_ && params.right_to_left) ex_style |= kMirroredWindow;
    bounds_ = params.bounds;
    const ui::TRect placed = ui->Scale().Px(params.bounds);
    hwnd_ = text_.WithShown(
        [&](const auto& class_name, const auto& caption) {
          return CreateWindowExT(ex_style, class_name.c_str(), caption.c_str(), style,
                                 hosted_ ? ChildPlacement(parent, placed) : placed, parent, nullptr,
                                 this);
        },
        std::string(kWindowClass), params.caption);
    if (hwnd_ == nullptr) return;
    SetPropA(hwnd_, kPropForm, this);
    SetNameProp(hwnd_, params.name, ui->Charset());
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
    return CreateNativeControl(hwnd_, params, events, ui_->Charset(), ui_->Scale());
  }

  // A dialog key that reached a control on this window (or the window itself).
  bool DialogKey(int key, bool shift) { return events_->NativeDialogKey(key, shift); }
  // Alt and a character, pressed there.
  bool Accelerator(char32_t character) { return events_->NativeAccelerator(character); }
  bool Hosted() const { return hosted_; }
  static Win32Window* Of(HWND hwnd) { return static_cast<Win32Window*>(GetPropA(hwnd, kPropForm)); }

  void Show(int show_mode) override {
    if (in_show_) {
      // Asked from inside ShowWindow (an activation handler maximizing the window that is being
      // shown): nested ShowWindow calls can leave the window at its old size on screen, so the
      // request runs from the message loop, once the outer call has returned.
      PostMessageA(hwnd_, kDeferredShow, static_cast<WPARAM>(show_mode), 0);
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
    if (show_mode == SW_MAXIMIZE && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_CAPTION) == 0) {
      // A frameless window maximized is a window on the whole work area. Placed directly: under
      // X11 the system's maximize is left to a window manager, and without one the window would
      // keep its old size on screen while believing itself maximized.
      RECT area{};
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
      ShowWindow(hwnd_, IsWindowVisible(hwnd_) ? SW_SHOWNA : SW_SHOW);
      SetWindowPos(hwnd_, nullptr, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      ShowWindow(hwnd_, show_mode);
    }
    in_show_ = outer;
  }
  void SetBounds(const ui::TRect& b) override {
    bounds_ = b;
    const ui::TRect px = ui_->Scale().Px(b);
    const ui::TRect placed = hosted_ ? ChildPlacement(GetParent(hwnd_), px) : px;
    SetWindowPos(hwnd_, nullptr, placed.Left, placed.Top, placed.Width(), placed.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void SetCaption(const std::string& caption) override {
    text_.WithShown([&](const auto& text) { return SetWindowTextT(hwnd_, text.c_str()); }, caption);
  }
  void SetRightToLeft(bool right_to_left) override {
    if (hosted_ || hwnd_ == nullptr) return;
    const auto ex_style = static_cast<DWORD>(GetWindowLongA(hwnd_, GWL_EXSTYLE));
    const DWORD wanted = right_to_left ? ex_style | kMirroredWindow : ex_style & ~kMirroredWindow;
    if (wanted == ex_style) return;
    SetWindowLongA(hwnd_, GWL_EXSTYLE, static_cast<LONG>(wanted));
    // The windows on it keep their places as the model sees them, now counted from the other
    // edge.
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (Win32Window* page = Of(child)) {
        page->SetBounds(page->bounds_);
      } else {
        PlaceControlAgain(child);
      }
    }
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
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
    return ui_->Scale().Design(ui::TRect{r.left, r.top, r.right, r.bottom});
  }
  ui::TSize ClientSize() const override { return ui_->Scale().Design(DeviceClientSize()); }
  ui::TSize DeviceClientSize() const {
    RECT r{};
    GetClientRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
  }

  HWND Handle() const { return hwnd_; }

  // One procedure for the class in either character set; the user data slot holds no text, so
  // its A and W functions are the same, and only the default procedure must match the window.
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
      // CREATESTRUCTA and CREATESTRUCTW hold the creation parameter at the same place.
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
      auto* self = static_cast<Win32Window*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return Default(hwnd, msg, wparam, lparam);
    try {
      return self->Handle(msg, wparam, lparam);
    } catch (const std::exception&) {
      self->ui_->KeepException(std::current_exception());
    } catch (...) {
      self->ui_->KeepException(std::make_exception_ptr(
          std::runtime_error("An unknown exception left the window procedure")));
    }
    return 0;
  }

 private:
  void Forget() {
    if (hwnd_ == nullptr) return;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    RemovePropA(hwnd_, kPropForm);
    RemoveNameProp(hwnd_);
    hwnd_ = nullptr;
  }

  static LRESULT Default(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, msg, wparam, lparam)
                                 : DefWindowProcA(hwnd, msg, wparam, lparam);
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
      case WM_SETCURSOR:
        // Asked first for every control on the window (their default handling asks the parent),
        // so the hourglass shows over all of them while a long step runs.
        if (ui_->WaitCursor() && LOWORD(lparam) == HTCLIENT) {
          SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
          return TRUE;
        }
        return Default(hwnd_, msg, wparam, lparam);
      case WM_NCDESTROY: {
        const HWND hwnd = hwnd_;
        Forget();
        return Default(hwnd, msg, wparam, lparam);
      }
      case kDeferredShow: ShowNow(static_cast<int>(wparam)); return 0;
      case WM_SIZE:
      case WM_MOVE: {
        events_->NativeResized(Bounds(), ClientSize());
        return 0;
      }
      default: return Default(hwnd_, msg, wparam, lparam);
    }
  }

  void Paint() {
    const ui::TSize size = DeviceClientSize();
    // Painting ends (and validates the window) even when the form's painting throws; an empty
    // window still needs its paint ended, or WM_PAINT would come back at once.
    PaintBuffer buffer(hwnd_, std::max(size.cx, 1), std::max(size.cy, 1));
    if (size.cx <= 0 || size.cy <= 0) return;
    {
      GdiCanvas canvas(buffer.Memory(), size.cx, size.cy, ui_->Charset(), ui_->Scale());
      events_->NativePaint(canvas);
    }
    BitBlt(buffer.Screen(), 0, 0, size.cx, size.cy, buffer.Memory(), 0, 0, SRCCOPY);
  }

  static constexpr UINT kDeferredShow = WM_APP + 1;
  HWND hwnd_ = nullptr;
  IUiWindowEvents* events_;
  Win32Ui* ui_;
  TextApi text_;
  bool in_show_ = false;
  bool hosted_ = false;
  HWND last_focus_ = nullptr;
  ui::TRect bounds_;  // as the model gave them
};

}  // namespace

ui::TRect ChildPlacement(HWND parent, const ui::TRect& bounds) {
  if (parent == nullptr || !Mirrored(parent)) return bounds;
  RECT client{};
  GetClientRect(parent, &client);
  return {client.right - bounds.Right, bounds.Top, client.right - bounds.Left, bounds.Bottom};
}

namespace {

// The class is registered once per process, in the character set of the first adapter made.
void RegisterWindowClass(ApiCharset charset) {
  static bool registered = false;
  if (registered) return;
  if (charset == ApiCharset::Ansi) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &Win32Window::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    wc.lpszClassName = kWindowClass;
    registered = RegisterClassA(&wc) != 0;
  } else {
    const std::wstring name = Wide(kWindowClass);
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &Win32Window::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.lpszClassName = name.c_str();
    registered = RegisterClassW(&wc) != 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// GdiCanvas

std::wstring Widen(const std::string& utf8) { return Wide(utf8); }
std::string Narrow(const std::wstring& utf16) { return Utf8(utf16); }

std::wstring FaceName(const ui::TFontSpec& font) {
  if (IsValidUtf8(font.Name)) return Wide(font.Name);
  // Not UTF-8: the bytes the ANSI font API of a system of the font's character set takes (the
  // translator names the Chinese, Japanese and Korean fonts so), read in that character set's
  // code page.
  CHARSETINFO info = {};
  UINT code_page = CP_ACP;
  if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(font.Charset)), &info,
                           TCI_SRCCHARSET)) {
    code_page = info.ciACP;
  }
  return FromCodePage(font.Name.data(), font.Name.size(), code_page);
}

GdiFont::GdiFont(const ui::TFontSpec& font, ApiCharset charset) {
  const std::wstring face = FaceName(font);
  font_ = charset == ApiCharset::Ansi ? CreateFontT(font, AnsiText(Utf8(face)).c_str())
                                      : CreateFontT(font, face.c_str());
}

GdiFont::~GdiFont() {
  if (font_ != nullptr) DeleteObject(font_);
}

int ScreenDpi() {
  ScreenDc dc;
  const int dpi = GetDeviceCaps(dc.Handle(), LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

void GdiCanvas::DeviceFill(const ui::TRect& rect, uint32_t rgb) {
  if (rect.IsEmpty()) return;
  HBRUSH brush = CreateSolidBrush(rgb);
  const RECT r = ToRect(scale_.Px(rect));
  ::FillRect(dc_, &r, brush);
  DeleteObject(brush);
}

void GdiCanvas::DeviceText(const std::string& text, const ui::TRect& rect, uint32_t flags,
                           const ui::TFontSpec& font, uint32_t text_rgb, const uint32_t* background,
                           const ui::TRect& clip) {
  if (clip.IsEmpty()) return;
  GdiFont gdi_font(scale_.Px(font), charset_);
  SavedDc saved(dc_);  // given back before the font goes
  const ui::TRect px_clip = scale_.Px(clip);
  IntersectClipRect(dc_, px_clip.Left, px_clip.Top, px_clip.Right, px_clip.Bottom);
  SelectObject(dc_, gdi_font.Handle());
  SetTextColor(dc_, text_rgb);
  if (background != nullptr) {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, *background);
  } else {
    SetBkMode(dc_, TRANSPARENT);
  }
  RECT r = ToRect(scale_.Px(rect));
  TextApi(charset_).WithShown([&](const auto& shown) { return DrawTextT(dc_, shown, &r, flags); },
                              text);
}

ui::TSize GdiCanvas::DeviceTextExtent(const std::string& text, const ui::TFontSpec& font) {
  GdiFont gdi_font(scale_.Px(font), charset_);
  Selection selected(dc_, gdi_font.Handle());
  SIZE size{};
  TextApi(charset_).WithShown([&](const auto& shown) { return GetTextExtentT(dc_, shown, &size); },
                              text);
  return scale_.Design(ui::TSize{size.cx, size.cy});
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
  SavedDc saved(dc_);
  const ui::TRect px_clip = scale_.Px(clip);
  const ui::TRect px = scale_.Px(rect);
  IntersectClipRect(dc_, px_clip.Left, px_clip.Top, px_clip.Right, px_clip.Bottom);
  // A picture drawn larger than designed is smoothed, not made of blocks.
  const bool scaled = px.Width() != picture.Width || px.Height() != picture.Height;
  SetStretchBltMode(dc_, smooth || (scaled && scale_.dpi != 96) ? HALFTONE : COLORONCOLOR);
  SetBrushOrgEx(dc_, 0, 0, nullptr);
  StretchDIBits(dc_, px.Left, px.Top, px.Width(), px.Height(), 0, 0, picture.Width, picture.Height,
                picture.Pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
// Win32Ui

Win32Ui::Win32Ui(ApiCharset charset, int dpi) : charset_(charset) {
  scale_.dpi = dpi > 0 ? dpi : ScreenDpi();
  RegisterWindowClass(charset);
  RegisterControlClass(charset);
  if (g_ui == nullptr) g_ui = this;
}

Win32Ui::~Win32Ui() {
  for (const auto& timer : timers_) KillTimer(nullptr, timer.first);
  if (g_ui == this) g_ui = nullptr;
}

std::unique_ptr<IUiWindow> Win32Ui::CreateFormWindow(const FormWindowParams& params,
                                                     IUiWindowEvents* events) {
  auto window = std::make_unique<Win32Window>(params, events, this);
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

void Win32Ui::KeepException(std::exception_ptr error) {
  if (!kept_) kept_ = std::move(error);
}

void Win32Ui::ThrowKept() {
  if (!kept_) return;
  std::exception_ptr error = std::move(kept_);
  kept_ = nullptr;
  std::rethrow_exception(error);
}

namespace {

bool ClassIs(HWND hwnd, const char* name) {
  char found[32] = {};
  GetClassNameA(hwnd, found, sizeof found);
  return lstrcmpiA(found, name) == 0;
}

// The message box of one call turned to read from the right as it is made. Some systems draw
// MB_RTLREADING and MB_RIGHT and others do not (Wine draws such a box as any other), so the box
// is turned here too: mirrored (the icon on the right, the buttons in the order its readers
// expect, the caption on the right), its texts read from the right and the message aligned right.
class RightToLeftBox {
 public:
  RightToLeftBox() {
    hook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, &Proc, nullptr, GetCurrentThreadId());
  }
  ~RightToLeftBox() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
  }
  RightToLeftBox(const RightToLeftBox&) = delete;
  RightToLeftBox& operator=(const RightToLeftBox&) = delete;

 private:
  static LRESULT CALLBACK Proc(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION) {
      const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
      if (call->message == WM_INITDIALOG && ClassIs(call->hwnd, "#32770")) Turn(call->hwnd);
    }
    return CallNextHookEx(hook_, code, wparam, lparam);
  }

  static void Turn(HWND box) {
    // The places of the box's controls, then the same places counted from the right edge.
    std::vector<std::pair<HWND, RECT>> controls;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      RECT r{};
      GetWindowRect(c, &r);
      MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
      controls.emplace_back(c, r);
    }
    SetWindowLongA(box, GWL_EXSTYLE, GetWindowLongA(box, GWL_EXSTYLE) | kMirroredWindow);
    for (const auto& [c, r] : controls) {
      SetWindowPos(c, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      SetWindowLongA(c, GWL_EXSTYLE, GetWindowLongA(c, GWL_EXSTYLE) | WS_EX_RTLREADING);
      const LONG style = GetWindowLongA(c, GWL_STYLE);
      if (ClassIs(c, "Static") && (style & SS_TYPEMASK) == SS_LEFT) {
        SetWindowLongA(c, GWL_STYLE, (style & ~SS_TYPEMASK) | SS_RIGHT);
      }
    }
  }

  static inline HHOOK hook_ = nullptr;
};

}  // namespace

int Win32Ui::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  HWND owner = GetActiveWindow();
  flags = MessageBoxFlagsShown(flags);
  std::optional<RightToLeftBox> turned;
  if ((flags & mb::kRtlReading) != 0) turned.emplace();
  // The box's own message loop paints the windows below it.
  const int result = TextApi(charset_).WithShown(
      [&](const auto& shown_text, const auto& shown_caption) {
        return MessageBoxT(owner, shown_text.c_str(), shown_caption.c_str(), flags);
      },
      text, caption);
  ThrowKept();
  return result;
}

void Win32Ui::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    PostQuit(static_cast<int>(msg.wParam));
    return;
  }
  // Enter, Esc, Tab, the arrow keys and Alt with a character are the forms' own: the form of the
  // focused control first, then the forms hosting it. A key a form uses goes no further (and makes
  // no WM_CHAR); one no form uses goes on to the control (an arrow key moves an edit's caret).
  const auto to_forms = [&](const auto& use) {
    for (HWND w = msg.hwnd; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
      if (Win32Window* window = Win32Window::Of(w)) {
        if (use(*window)) return true;
        if (!window->Hosted()) break;
      }
      if ((GetWindowLongA(w, GWL_STYLE) & WS_CHILD) == 0) break;
    }
    return false;
  };
  if (msg.message == WM_KEYDOWN &&
      (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE || msg.wParam == VK_TAB ||
       (msg.wParam >= VK_LEFT && msg.wParam <= VK_DOWN))) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const int key = static_cast<int>(msg.wParam);
    if (to_forms([&](Win32Window& window) { return window.DialogKey(key, shift); })) {
      ThrowKept();
      return;
    }
  }
  if (msg.message == WM_SYSCHAR) {
    // The character as the system typed it: UTF-16, or a byte of the ANSI code page.
    const std::string utf8 = charset_ == ApiCharset::Ansi
                                 ? FromApi(std::string(1, static_cast<char>(msg.wParam)))
                                 : FromApi(std::wstring(1, static_cast<wchar_t>(msg.wParam)));
    size_t at = 0;
    const std::optional<char32_t> character = DecodeUtf8(utf8, &at);
    if (character &&
        to_forms([&](Win32Window& window) { return window.Accelerator(*character); })) {
      ThrowKept();
      return;
    }
  }
  TranslateMessage(&msg);
  if (charset_ == ApiCharset::Ansi) {
    DispatchMessageA(&msg);
  } else {
    DispatchMessageW(&msg);
  }
  ThrowKept();
}

bool Win32Ui::HandleMessage() {
  ThrowKept();
  if (quit_posted_) return false;
  MSG msg;
  const BOOL got = charset_ == ApiCharset::Ansi ? GetMessageA(&msg, nullptr, 0, 0)
                                                : GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    PostQuit(got == 0 ? static_cast<int>(msg.wParam) : quit_code_);
    return false;
  }
  Dispatch(msg);
  return !quit_posted_;
}

void Win32Ui::ProcessMessages() {
  ThrowKept();
  MSG msg;
  const auto peek = charset_ == ApiCharset::Ansi ? PeekMessageA : PeekMessageW;
  while (!quit_posted_ && peek(&msg, nullptr, 0, 0, PM_REMOVE)) Dispatch(msg);
}

void Win32Ui::PostQuit(int exit_code) {
  if (quit_posted_) return;
  // Not WM_QUIT: that would end any message box shown after this at once. A null message wakes
  // the loop, which then sees the flag.
  quit_posted_ = true;
  quit_code_ = exit_code;
  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void KeepCurrentException(const char* where) {
  if (g_ui == nullptr) return;
  try {
    throw;
  } catch (const std::exception&) {
    g_ui->KeepException(std::current_exception());
  } catch (...) {
    g_ui->KeepException(std::make_exception_ptr(
        std::runtime_error(std::string("An unknown exception left ") + where)));
  }
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
  } catch (const std::exception&) {
    g_ui->KeepException(std::current_exception());
  } catch (...) {
    g_ui->KeepException(
        std::make_exception_ptr(std::runtime_error("An unknown exception left a timer")));
  }
}

bool Win32Ui::SetWaitCursor(bool wait) {
  const bool was = wait_cursor_;
  wait_cursor_ = wait;
  // The cursor over one of the program's windows changes now, not at the mouse's next move.
  POINT at{};
  const HWND under = wait != was && GetCursorPos(&at) ? WindowFromPoint(at) : nullptr;
  if (under != nullptr && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(wait ? IDC_WAIT : IDC_ARROW)));
  }
  return was;
}

void Win32Ui::StartTimer(uint32_t ms, std::function<void()> fn) {
  const UINT_PTR id = SetTimer(nullptr, 0, ms, &Win32Ui::TimerProc);
  if (id != 0) timers_[id] = std::move(fn);
}

ui::TSize Win32Ui::ScreenSize() {
  return scale_.Design(ui::TSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
}

int Win32Ui::BitsPerPixel() {
  ScreenDc dc;
  return GetDeviceCaps(dc.Handle(), BITSPIXEL) * GetDeviceCaps(dc.Handle(), PLANES);
}

uint32_t Win32Ui::SystemColorRGB(int index) { return GetSysColor(index); }

int Win32Ui::CaptionHeight() { return scale_.Design(GetSystemMetrics(SM_CYCAPTION)); }

ui::TSize Win32Ui::MeasureText(const std::string& text, const ui::TFontSpec& font) {
  ScreenDc dc;
  GdiFont gdi_font(scale_.Px(font), charset_);
  Selection selected(dc.Handle(), gdi_font.Handle());
  SIZE s{};
  TextApi(charset_).WithShown(
      [&](const auto& shown) { return GetTextExtentT(dc.Handle(), shown, &s); }, text);
  return scale_.Design(ui::TSize{s.cx, s.cy});
}

std::string Win32Ui::ModuleName() {
  const std::string full = TextApi(charset_)
                               .Query([](auto* buffer, DWORD size) {
                                 const DWORD n = GetModuleFileNameT(buffer, size);
                                 return n >= size ? size * 2 : n;
                               })
                               .value_or(std::string());
  const size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? full : full.substr(slash + 1);
}

}  // namespace tmby::platform::win32
