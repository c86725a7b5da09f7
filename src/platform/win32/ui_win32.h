// The win32 adapter of the UI port: real windows. Forms are windows of the class "TTamberlyForm"
// (top-level, or child windows of their host for hosted pages), painted in WM_PAINT through a GDI
// canvas (double-buffered); WM_ACTIVATE drives the form's activation, WM_CLOSE asks the form to
// close; Enter, Esc and Tab go to the forms from the message loop. Controls are the system's own
// (BUTTON, EDIT, LISTBOX, STATIC, msctls_progress32, SysTabControl32, RichEdit20A) or, for panels,
// windows of the class "TTamberlyControl"; every window carries its component name in the
// property "TmbyName" (a global atom) for UI drivers. Message boxes are the system's. Strings are
// UTF-8 at the port; at the API they are UTF-16 or, for the forms, the canvas and the message
// boxes on the ANSI path of Windows 9x, the ANSI code page (characters it cannot hold are shown as
// its default character).
//
// Nothing may unwind through the system's frames: an exception that leaves a window procedure or
// a timer is kept and thrown again from the next HandleMessage, ProcessMessages or MessageBox,
// where the application's handler sees it.
#pragma once

#include <windows.h>
// The port's method names are the kit's own; the API's ANSI/wide macros must not rename them.
#undef MessageBox
#undef DrawText
#undef TextOut

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/ui_port.h"
#include "platform/win32/win32_port.h"

namespace tmby::platform::win32 {

// The display's pixels per inch against the 96 the forms are designed for: the adapter takes the
// model's coordinates and font heights as design pixels and gives the system display pixels
// (rounded, edge by edge, so that neighbours stay neighbours), and hands what the system reports
// back in design pixels. At 96 both are the same.
struct DpiScale {
  int dpi = 96;
  int Px(int design) const { return MulDiv(design, dpi, 96); }
  int Design(int px) const { return MulDiv(px, 96, dpi); }
  ui::TRect Px(const ui::TRect& r) const {
    return {Px(r.Left), Px(r.Top), Px(r.Right), Px(r.Bottom)};
  }
  ui::TRect Design(const ui::TRect& r) const {
    return {Design(r.Left), Design(r.Top), Design(r.Right), Design(r.Bottom)};
  }
  ui::TSize Design(ui::TSize s) const { return {Design(s.cx), Design(s.cy)}; }
  ui::TFontSpec Px(ui::TFontSpec font) const {
    font.Height = Px(font.Height);
    return font;
  }
};

// The screen's pixels per inch, as the system reports them to this process (LOGPIXELSY).
int ScreenDpi();

// A canvas on a GDI device context of `width` x `height` display pixels (not owned), painted on
// in design pixels.
class GdiCanvas : public ui::TCanvas {
 public:
  GdiCanvas(HDC dc, int width, int height, ApiCharset charset = ChooseApiCharset(),
            DpiScale scale = {})
      : dc_(dc), width_(width), height_(height), charset_(charset), scale_(scale) {}
  ui::TRect DeviceBounds() const override {
    return {0, 0, scale_.Design(width_), scale_.Design(height_)};
  }

 protected:
  void DeviceFill(const ui::TRect& rect, uint32_t rgb) override;
  void DeviceText(const std::string& text, const ui::TRect& rect, uint32_t flags,
                  const ui::TFontSpec& font, uint32_t text_rgb, const uint32_t* background,
                  const ui::TRect& clip) override;
  ui::TSize DeviceTextExtent(const std::string& text, const ui::TFontSpec& font) override;
  void DeviceStretch(const ui::TRect& rect, const ui::TBitmapData& picture, bool smooth,
                     const ui::TRect& clip) override;

 private:
  HDC dc_;
  int width_;
  int height_;
  ApiCharset charset_;
  DpiScale scale_;
};

// A GDI font for a font description; deleted with the object.
class GdiFont {
 public:
  explicit GdiFont(const ui::TFontSpec& font, ApiCharset charset = ChooseApiCharset());
  ~GdiFont();
  GdiFont(const GdiFont&) = delete;
  GdiFont& operator=(const GdiFont&) = delete;
  HFONT Handle() const { return font_; }

 private:
  HFONT font_;
};

// UTF-8 <-> UTF-16 for the wide API of the windows: the adapter's conversions (Wide, Utf8) under
// the names the window code uses.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// The face name of a font: UTF-8 as it stands, other bytes in the code page of the font's
// character set.
std::wstring FaceName(const ui::TFontSpec& font);

class Win32Ui : public IUi {
 public:
  // `dpi` 0: the screen's (ScreenDpi); another value lays the windows out as on such a display.
  explicit Win32Ui(ApiCharset charset = ChooseApiCharset(), int dpi = 0);
  ~Win32Ui() override;
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  std::unique_ptr<IUiWindow> CreateFormWindow(const FormWindowParams& params,
                                              IUiWindowEvents* events) override;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  bool HandleMessage() override;
  void ProcessMessages() override;
  void PostQuit(int exit_code) override;
  bool QuitPosted() const override { return quit_posted_; }
  int QuitCode() const override { return quit_code_; }
  void StartTimer(uint32_t ms, std::function<void()> fn) override;
  bool SetWaitCursor(bool wait) override;
  // The hourglass is asked for: the windows show it over their client areas.
  bool WaitCursor() const { return wait_cursor_; }
  ui::TSize ScreenSize() override;
  int BitsPerPixel() override;
  uint32_t SystemColorRGB(int index) override;
  int CaptionHeight() override;
  ui::TSize MeasureText(const std::string& text, const ui::TFontSpec& font) override;
  std::string ModuleName() override;
  std::optional<std::string> BrowseForFolder(const std::string& start, bool createButton,
                                             bool pathEdit) override;

  // The native handle of a window / control this adapter created (tests read its pixels).
  static HWND HandleOf(IUiWindow* window);
  static HWND HandleOf(IUiControl* control);

  ApiCharset Charset() const { return charset_; }
  const DpiScale& Scale() const { return scale_; }
  // Keeps an exception that left a window procedure or timer for the next message step (the
  // first one, when several come before it).
  void KeepException(std::exception_ptr error);

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Dispatch(MSG& msg);
  void ThrowKept();

  ApiCharset charset_;
  DpiScale scale_;
  std::exception_ptr kept_;
  bool quit_posted_ = false;
  int quit_code_ = 0;
  bool wait_cursor_ = false;
  std::map<UINT_PTR, std::function<void()>> timers_;
};

}  // namespace tmby::platform::win32
