// The UI port: windows, their child controls, the message loop, message boxes and the display
// facts the window model needs. The core's forms and controls (src/ui/) call it; two adapters
// answer:
//
// - win32 (src/platform/win32/ui_win32.h): real windows. Forms and panels are windows of the kit's
//   own classes painted through a GDI canvas in WM_PAINT; buttons, edits, lists, labels, progress
//   bars, tab strips and the rich-text viewer are the system's own controls (BUTTON, EDIT,
//   LISTBOX, STATIC, msctls_progress32, SysTabControl32, RichEdit20A), so that another program can
//   find and press them with real messages. WM_ACTIVATE drives the form's activation; MessageBoxW.
// - script (src/platform/script/script_ui.h): no windows at all. Every window shown, activated,
//   maximized or closed, every control on it and every message box is written as lines to a
//   transcript file, and the user's side (answers, clicks, typing) comes from a script file. A
//   program picks it with environment variables:
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
#include <optional>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/graphics.h"
#include "platform/port.h"

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
inline constexpr uint32_t kRight = 0x80000;        // the text aligned right
inline constexpr uint32_t kRtlReading = 0x100000;  // the text and caption read from the right
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

// Whether the texts the program shows now read from the right (they are in Hebrew). The
// translator answers while it exists (SetRightToLeftSource; null: no answer, left to right).
void SetRightToLeftSource(std::function<bool()> source);
bool TextsReadFromRight();
// `flags` as a message box is shown with them: reading from the right and aligned right when
// the texts read so.
uint32_t MessageBoxFlagsShown(uint32_t flags);

// Virtual-key codes of the keys the window model handles itself (the Windows VK_* values).
namespace vk {
inline constexpr int kTab = 0x09;
inline constexpr int kReturn = 0x0D;
inline constexpr int kEscape = 0x1B;
inline constexpr int kLeft = 0x25;
inline constexpr int kUp = 0x26;
inline constexpr int kRight = 0x27;
inline constexpr int kDown = 0x28;
}  // namespace vk

class IUiWindow;
class IUiControl;
class IUiControlEvents;

// What a control asks of its native control.
enum class ControlKind {
  kPanel,        // a window of the kit's own class, painted by the model (panels, bands)
  kButton,       // push button
  kCheckBox,     // check box
  kGroupBox,     // frame with a caption around other controls
  kRadioGroup,   // group box whose items are radio buttons, one selected
  kEdit,         // one-line edit
  kMemo,         // multi-line edit
  kRichEdit,     // read-only rich-text viewer (RTF)
  kListBox,      // list of items, one selected
  kLabel,        // static text
  kProgressBar,  // 0..100 percent bar
  kTabControl,   // tab strip
};
// "panel", "button", ... as the transcripts write them.
const char* ControlKindName(ControlKind kind);
// A caption as shown: a single '&' (the accelerator mark) dropped, "&&" shown as one '&'.
std::string StripAccelChars(const std::string& caption);
// The character a caption's '&' marks (its keyboard shortcut, Alt and that character), folded as
// AccelFold does; 0 when it marks none.
char32_t AccelCharOf(const std::string& caption);
// A character as shortcuts compare it, ignoring case: the capital letters of the Latin, Greek and
// Cyrillic alphabets as their small ones.
char32_t AccelFold(char32_t c);

struct ControlParams {
  ControlKind kind = ControlKind::kPanel;
  std::string name;        // the component name, for transcripts and UI drivers
  std::string class_name;  // "TButton"
  std::string text;        // caption or text (memo: lines joined by CR LF)
  ui::TRect bounds;        // in the client coordinates of the host
  bool visible = true;
  bool enabled = true;
  ui::TFontSpec font;
  uint32_t background_rgb = 0xFFFFFF;  // panels, labels, group boxes, edits and lists
  bool tab_stop = false;
  // The text reads from the right (Hebrew): the native control reads it so and puts what it
  // leads with (a check box's box, a scroll bar, a group's caption) on the right-to-left side.
  bool right_to_left = false;
  // Buttons: the button Enter presses (drawn with the thick frame).
  bool default_button = false;
  // Check boxes.
  bool checked = false;
  // Edits, memos, rich-text viewers.
  bool read_only = false;
  bool vertical_scroll = false;
  // Labels and memos: break lines at the control's width; labels: alignment (0 left, 1 right,
  // 2 centre), centred vertically, '&' marks the accelerator.
  bool word_wrap = false;
  int alignment = 0;
  bool vertical_center = false;
  bool show_accel_char = true;
  // List boxes, radio groups, tab controls: the items and the selected one (-1: none).
  std::vector<std::string> items;
  int item_index = -1;
  int columns = 1;  // radio groups
  // Progress bars.
  int min = 0;
  int max = 100;
  int position = 0;
};

// The model's side of a native control: the adapter calls these.
class IUiControlEvents {
 public:
  virtual ~IUiControlEvents() = default;
  // Paint the control and the controls it paints itself (panels; others only in the script
  // adapter's pictures). The canvas origin is the control's top-left corner.
  virtual void NativePaint(ui::TCanvas& canvas) = 0;
  // The user pressed the button / toggled the check box (the native state is already changed:
  // `checked` is the check box's new state).
  virtual void NativeClick(bool checked) = 0;
  // The user changed the text of an edit or memo.
  virtual void NativeTextChanged(const std::string& text) = 0;
  // The user selected an item of a list box, radio group or tab control.
  virtual void NativeSelect(int index) = 0;
  // The control got the keyboard focus.
  virtual void NativeFocused() = 0;
  // A key was released while the control had the focus.
  virtual void NativeKeyUp(int key) = 0;
};

// Something that holds native controls: a window or a container control.
class IUiHost {
 public:
  virtual ~IUiHost() = default;
  // A native control on this host; it lies above the controls created before it. Destroying it
  // destroys the controls it holds first (the model destroys them before).
  virtual std::unique_ptr<IUiControl> CreateControl(const ControlParams& params,
                                                    IUiControlEvents* events) = 0;
};

class IUiControl : public IUiHost {
 public:
  virtual void SetBounds(const ui::TRect& bounds) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // Caption or text; setting it is no user change (NativeTextChanged does not follow).
  virtual void SetText(const std::string& text) = 0;
  virtual void SetFont(const ui::TFontSpec& font) = 0;
  virtual void SetBackground(uint32_t rgb) = 0;
  virtual void SetDefault(bool default_button) = 0;
  virtual void SetChecked(bool checked) = 0;
  virtual void SetReadOnly(bool read_only) = 0;
  virtual void SetItems(const std::vector<std::string>& items) = 0;
  virtual void SetItemIndex(int index) = 0;
  virtual void SetPosition(int position) = 0;
  // Rich-text viewers: the document as RTF bytes ("{\rtf1...}").
  virtual void SetRichText(const std::string& rtf) = 0;
  // Label and panel painting changed.
  virtual void Invalidate() = 0;
  // Gives the control the keyboard focus.
  virtual void SetFocus() = 0;
  // Puts the control above its siblings.
  virtual void BringToFront() = 0;
};

// What a form asks of its native window.
struct FormWindowParams {
  std::string name;        // the form's component name ("mainForm"), for transcripts
  std::string class_name;  // "TmainForm"
  std::string caption;
  ui::TRect bounds;      // screen coordinates of the outer window (a hosted one: the host's client)
  bool bordered = true;  // false: no frame and no caption (border style none)
  bool dialog_frame = false;
  bool system_menu = true;  // the caption's system menu and close box
  bool stay_on_top = false;
  uint32_t background_rgb = 0xFFFFFF;
  // A top-level window whose texts read from the right: its caption reads so and its frame is
  // mirrored (the caption on the right); its client area keeps the model's coordinates, whose
  // layout is already mirrored.
  bool right_to_left = false;
  // A form hosted in another form's window (a page of a stage window): a child window without
  // frame, at `bounds` in the host's client area; it never becomes the active window itself.
  IUiWindow* host = nullptr;
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
  // A dialog key (vk::kReturn, kEscape, kTab, the arrow keys; `shift` for Shift+Tab) went to the
  // window or to a control on it. True: the form used it (pressed its default or cancel button,
  // moved the focus); false lets it go on to the hosting form or the control.
  virtual bool NativeDialogKey(int /*key*/, bool /*shift*/) { return false; }
  // The user pressed Alt with a character (a keyboard shortcut) while the window or a control on
  // it had the focus. True: the form used it (pressed the button or focused the control whose
  // caption marks it); false lets it go on to the hosting form and the system.
  virtual bool NativeAccelerator(char32_t /*character*/) { return false; }
};

class IUiWindow : public IUiHost {
 public:
  ~IUiWindow() override = default;  // destroys the native window
  // platform::show::kHide, kNormal / kShow, kMaximized, kMinimized, kRestore.
  virtual void Show(int show_mode) = 0;
  virtual void SetBounds(const ui::TRect& bounds) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // As FormWindowParams::right_to_left, for a top-level window that exists (nothing for a
  // hosted one).
  virtual void SetRightToLeft(bool right_to_left) = 0;
  virtual void SetBackground(uint32_t rgb) = 0;
  // Marks the window for repainting; Update paints what is marked at once.
  virtual void Invalidate() = 0;
  virtual void Update() = 0;
  // Makes the window the active window (brings it to the front).
  virtual void Activate() = 0;
  // Disables or enables input to the window (modal windows disable the others).
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  // Puts a hosted window above the other controls of its host.
  virtual void BringToFront() = 0;
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
  // The hourglass over the program's windows while `wait` is true (a long step that takes no
  // input), the usual cursors otherwise; returns whether the hourglass showed before.
  virtual bool SetWaitCursor(bool wait) = 0;

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

  // The system's folder browser, owned by the active window and opened on `start` (or the
  // nearest folder above it that exists): the folder the user confirmed, or nothing. With
  // `createButton` the user can make a new folder from it, with `pathEdit` type a path.
  virtual std::optional<std::string> BrowseForFolder(const std::string& start, bool createButton,
                                                     bool pathEdit) = 0;
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
