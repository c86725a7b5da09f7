// The UI port: windows, the message loop, message boxes and the display facts the window model
// needs. The core's forms (src/ui/forms.h) call it; two adapters answer:
//
// - win32 (src/platform/win32/ui_win32.h): real top-level windows, painted through a GDI canvas in
//   WM_PAINT; WM_ACTIVATE drives the form's activation; MessageBoxW.
// - script (src/platform/script/script_ui.h): no windows at all. Every window shown, activated,
//   maximized or closed and every message box is written as lines to a transcript file, and the
//   answers come from a script file. A program picks it with environment variables:
//     TMBY_UI=script               use the script adapter instead of real windows
//     TMBY_UI_TRANSCRIPT=<file>    where the transcript goes (default: standard error)
//     TMBY_UI_SCRIPT=<file>        the answers and window actions (default: none, every message
//                                  box takes its default button)
//   The script's grammar is described in script_ui.h.
//
// One UI port is current per process (`SetUi`); the core reaches it through `CurrentUi()` / `Ui()`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/port.h"
#include "platform/canvas.h"
#include "platform/graphics.h"

namespace tmby::platform {

// MessageBox flags (the Windows MB_* values).
namespace mb {
inline constexpr uint32_t kOk = 0x0;
inline constexpr uint32_t kOkCancel = 0x1;
inline constexpr uint32_t kAbortRetryIgnore = 0x2;
inline constexpr uint32_t kYesNoCancel = 0x3;
inline constexpr uint32_t kYesNo = 0x4;
inline constexpr uint32_t kRetryCancel = 0x5;
inline constexpr uint32_t kTypeMask = 0xF;
inline constexpr uint32_t kIconStop = 0x10;  // MB_ICONHAND / MB_ICONERROR
inline constexpr uint32_t kIconQuestion = 0x20;
inline constexpr uint32_t kIconWarning = 0x30;  // MB_ICONEXCLAMATION
inline constexpr uint32_t kIconInformation = 0x40;
inline constexpr uint32_t kIconMask = 0xF0;
inline constexpr uint32_t kDefButton1 = 0x000;
inline constexpr uint32_t kDefButton2 = 0x100;
inline constexpr uint32_t kDefButton3 = 0x200;
inline constexpr uint32_t kDefMask = 0xF00;
inline constexpr uint32_t kTaskModal = 0x2000;
inline constexpr uint32_t kSetForeground = 0x10000;
inline constexpr uint32_t kTopMost = 0x40000;
}  // namespace mb

// MessageBox results (the Windows ID* values).
namespace id {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace id

// The buttons of a message box type in their order, e.g. {kYes, kNo, kCancel}.
std::vector<int> MessageBoxButtons(uint32_t flags);
// The result the box gives when the user just presses Enter: the default button (MB_DEFBUTTONn,
// the first button when that one does not exist).
int MessageBoxDefault(uint32_t flags);
// "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"; empty for other values.
const char* MessageBoxResultName(int result);
// The result named by one of those words (case-insensitive), or 0.
int MessageBoxResultFromName(const std::string& name);
// "Stop", "Question", "Warning", "Information" or "None".
const char* MessageBoxIconName(uint32_t flags);

// What a form asks of its native window.
struct FormWindowParams {
  std::string name;        // the form's component name ("mainForm"), for transcripts
  std::string class_name;  // "TmainForm"
  std::string caption;
  ui::TRect bounds;      // screen coordinates of the outer window
  bool bordered = true;  // false: no frame and no caption (border style none)
  bool dialog_frame = false;
  bool stay_on_top = false;
  uint32_t background_rgb = 0xFFFFFF;
};

// The form's side of a native window: the adapter calls these.
class IUiWindowEvents {
 public:
  virtual ~IUiWindowEvents() = default;
  // Paint the client area (the canvas origin is the client area's top-left corner).
  virtual void NativePaint(ui::TCanvas& canvas) = 0;
  // The window became active (true) or lost activation (false).
  virtual void NativeActivate(bool active) = 0;
  // The user asks to close the window (close box, Alt+F4, or the script). The form decides and
  // closes itself; the adapter does nothing further.
  virtual void NativeCloseRequest() = 0;
  // The window's outer bounds or client size changed (also by maximizing).
  virtual void NativeResized(const ui::TRect& bounds, ui::TSize client) = 0;
};

class IUiWindow {
 public:
  virtual ~IUiWindow() = default;  // destroys the native window
  // platform::show::kHide, kNormal / kShow, kMaximized, kMinimized, kRestore.
  virtual void Show(int show_mode) = 0;
  virtual void SetBounds(const ui::TRect& bounds) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetBackground(uint32_t rgb) = 0;
  // Marks the window for repainting; Update paints what is marked at once.
  virtual void Invalidate() = 0;
  virtual void Update() = 0;
  // Makes the window the active window (brings it to the front).
  virtual void Activate() = 0;
  // Disables or enables input to the window (modal windows disable the others).
  virtual void SetEnabled(bool enabled) = 0;
  virtual ui::TRect Bounds() const = 0;
  virtual ui::TSize ClientSize() const = 0;
};

class IUi {
 public:
  virtual ~IUi() = default;

  virtual std::unique_ptr<IUiWindow> CreateFormWindow(const FormWindowParams& params,
                                                      IUiWindowEvents* events) = 0;
  // A modal message box owned by the active window; returns one of the id:: results.
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) = 0;

  // The message loop. HandleMessage waits for the next message (or script step) and dispatches
  // it; false once the quit message arrived (its exit code is then QuitCode()).
  virtual bool HandleMessage() = 0;
  // Runs everything pending without waiting.
  virtual void ProcessMessages() = 0;
  virtual void PostQuit(int exit_code) = 0;
  virtual bool QuitPosted() const = 0;
  virtual int QuitCode() const = 0;
  // Calls `fn` once, `ms` milliseconds from now, from the message loop.
  virtual void StartTimer(uint32_t ms, std::function<void()> fn) = 0;

  // Display facts.
  virtual ui::TSize ScreenSize() = 0;
  // Bits per pixel times colour planes of the screen.
  virtual int BitsPerPixel() = 0;
  // RGB (0x00BBGGRR) of a system colour index (COLOR_*).
  virtual uint32_t SystemColorRGB(int index) = 0;
  // Height of a window caption (SM_CYCAPTION).
  virtual int CaptionHeight() = 0;
  // Size of one line of text in a font (for labels that size themselves).
  virtual ui::TSize MeasureText(const std::string& text, const ui::TFontSpec& font) = 0;

  // The name of the module shown in the fatal-error box ("setup.exe").
  virtual std::string ModuleName() = 0;
};

// The current UI port, or null when none is installed.
IUi* CurrentUi();
// The current UI port; throws std::logic_error when none is installed.
IUi& Ui();
// Installs `ui` (not owned) and returns the previous one; null uninstalls.
IUi* SetUi(IUi* ui);

// Installs a UI port for the lifetime of the object and restores the previous one after.
class ScopedUi {
 public:
  explicit ScopedUi(IUi* ui) : previous_(SetUi(ui)) {}
  ~ScopedUi() { SetUi(previous_); }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;

 private:
  IUi* previous_;
};

}  // namespace tmby::platform
