// The script adapter of the UI port: no windows. Every window event and every message box is
// written to a transcript, and the user's side comes from a script.
//
// Chosen by environment variables (see also README.md):
//   TMBY_UI=script              use this adapter
//   TMBY_UI_TRANSCRIPT=<file>   the transcript (created anew; default: standard error)
//   TMBY_UI_SCRIPT=<file>       the script (default: none)
//
// Script lines (blank lines and lines starting with '#' are ignored; words are case-insensitive;
// a word with blanks is written in double quotes, with \" and \\ inside):
//   answer <OK|Cancel|Yes|No|Abort|Retry|Ignore> [when "<file>"]
//       the answer of the next message box. Boxes take the answer lines in order; a box with no
//       answer line left, or whose buttons do not include the answer, takes its default button.
//       With `when`, the user first waits until the file exists (at most two minutes), as one
//       who changes a disk before pressing OK: the transcript says "script wait" and the file
//       before the wait, so that a test sees the box and then does what the user does.
//   browse <"<folder>"|cancel>
//       what the user does in the next folder browser: confirms the folder, or cancels. Browsers
//       take the browse lines in order; one with no line left is cancelled.
//   activate [<form>]
//       the window (default: the active one) loses activation and gets it back, as when the user
//       switches to another program and back.
//   close [<form>]
//       the user closes the window (close box / Alt+F4); refused while the window is disabled.
//   click <control>
//       the user clicks a button or check box, named by its component name or its caption ('&'
//       and case ignored).
//   type <control> "<text>"
//       the user replaces the text of an edit or memo (one change, as a paste would).
//   select <control> <item>
//       the user selects an item of a list box, radio group or tab strip, named by its text
//       (case ignored) or by its index (0 the first).
//   focus <control>
//       the user clicks into a control, which takes the keyboard focus.
//   press <Enter|Esc|Tab|Shift+Tab|Up|Down|Left|Right|Alt+<character>>
//       the user presses a key: it goes to the form of the focused control (a page first, then
//       the stage window around it), else to the active window. Alt+B is the keyboard shortcut
//       of the caption "&Browse".
// The controls an action may reach are those of the active window and of the windows hosted in
// it, front to back, that are shown and enabled (with their parents); a control that cannot be
// reached is noted and the action is skipped.
// Actions run in order, one each time the message loop is idle; timers fire after them (in
// virtual time, at once). When nothing is left, the user accepts what the active window offers:
// its default button (or that of a window hosted in it) is clicked, again at every idle step
// while there is one; then the active window is closed as by the user; if that does not end the
// program, it ends with quit code kScriptExhaustedCode. A run without a script thus takes every
// page's default answer.
//
// Transcript lines:
//   window create <name> <class> "<caption>" <left>,<top> <width>x<height> [borderless]
//       [in <host>] [rtl]
//   window rtl|ltr <name>   a top-level window's texts now read from the right / the left
//   window show|hide|activate|deactivate|destroy|enable|disable <name>
//   window maximize <name> <left>,<top> <width>x<height>
//   after "window show": the controls on the window, one line each, indented by depth:
//     <kind> <name> "<caption or text>" <left>,<top> <width>x<height> [hidden] [disabled]
//       [default] [checked] [readonly] [rtl] [focused] [items "<a>","<b>"...] [selected <i>]
//       [position <p>]
//     and the windows hosted in it: window <name> "<caption>" <left>,<top> <w>x<h> [hidden],
//     followed by their controls
//   control <window>.<name> <change>: a change on a shown window: text "<t>", show, hide, enable,
//     disable, bounds <l>,<t> <w>x<h>, checked, unchecked, default, nodefault, readonly, editable,
//     items "<a>",..., selected <i>, position <p>, focus
//   browse "<start>" then browse ok "<folder>" | browse cancel
//   cursor wait | cursor default: the hourglass shows over the windows, or no longer does
//   messagebox <icon> "<caption>" buttons <B1>[,<B2>...] default <B> [rtl]
//   | <each line of the text>
//   answer <B> (script|default)
//   script <what the script did> / quit <code>; script end: accept <window>.<button> / close
//     <window> / nothing left to do
#pragma once

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_port.h"

namespace tmby::platform::script {

inline constexpr int kScriptExhaustedCode = 3;

struct ScriptUiOptions {
  ui::TSize screen{1024, 768};
  int bits_per_pixel = 32;
  int caption_height = 18;
  std::string module_name = "setup.exe";
};

class ScriptUi : public IUi {
 public:
  // `transcript` is not owned and must outlive the adapter. Throws Exception for a script line
  // it does not understand (naming the line).
  ScriptUi(std::ostream* transcript, const std::vector<std::string>& script_lines,
           ScriptUiOptions options = {});
  ~ScriptUi() override;

  // The adapter the environment asks for, or null when TMBY_UI is not "script". Throws
  // Exception when the transcript cannot be created or the script cannot be read.
  static std::unique_ptr<ScriptUi> FromEnvironment(ScriptUiOptions options = {});

  // Splits a script file's text into lines.
  static std::vector<std::string> SplitLines(const std::string& text);

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
  ui::TSize ScreenSize() override { return options_.screen; }
  int BitsPerPixel() override { return options_.bits_per_pixel; }
  uint32_t SystemColorRGB(int index) override { return ui::DefaultSystemColor(index); }
  int CaptionHeight() override { return options_.caption_height; }
  ui::TSize MeasureText(const std::string& text, const ui::TFontSpec& font) override {
    return ui::SimpleTextExtent(text, font);
  }
  std::string ModuleName() override { return options_.module_name; }
  std::optional<std::string> BrowseForFolder(const std::string& start, bool createButton,
                                             bool pathEdit) override;

  // The last picture a window painted (its client area with the controls and hosted windows on
  // it, as the model draws them), or null. Kept after the window is gone.
  const ui::TMemoryCanvas* LastPaint(const std::string& window_name) const;
  // How often a window was painted.
  int PaintCount(const std::string& window_name) const;

  // Writes one transcript line (the adapter's own lines and the program's notes).
  void Note(const std::string& line);
  // Waits until `file` exists (the user changing a disk), at most two minutes.
  void WaitFor(const std::string& file);

  // What a control on a window shows now, as its transcript line does (without indentation), or
  // empty when no window has such a control. `path` is "<window>.<control>".
  std::string DescribeControl(const std::string& path) const;

  // Splits a script line into words; a word in double quotes may hold blanks (\" and \\ inside).
  // Throws Exception for an unterminated quote.
  static std::vector<std::string> SplitWords(const std::string& line);

 private:
  class Window;
  class Control;
  friend class Window;
  friend class Control;
  struct Action {
    enum Kind { kActivate, kClose, kClick, kType, kSelect, kFocus, kPress } kind;
    std::string target;
    std::string value;  // typed text, item, key
    int line = 0;
  };
  struct Timer {
    uint64_t due;
    uint64_t order;
    std::function<void()> fn;
  };

  void Activate(Window* window);
  void Deactivate(Window* window);
  void Forget(Window* window, bool destroyed);
  void Paint(Window* window);
  Window* Find(const std::string& name) const;
  Window* ActiveOrFront() const;
  bool RunNextStep();
  void RunControlAction(const Action& action);
  // The control an action names among those the user can reach, or null.
  Control* Reach(const std::string& target, bool by_caption) const;
  // The default button the user can reach in the active window or the windows hosted in it.
  Control* DefaultButton() const;
  // Writes the controls (and hosted windows) of a window, indented by `depth`.
  void Dump(const Window& window, int depth);

  std::ostream* out_;
  std::unique_ptr<std::ofstream> owned_out_;
  ScriptUiOptions options_;
  struct Answer {
    int result;
    std::string when;  // a file that must exist before the answer is given; empty: none
  };
  std::vector<Answer> answers_;
  size_t next_answer_ = 0;
  std::vector<std::optional<std::string>> folders_;  // browse lines; nothing: cancel
  size_t next_folder_ = 0;
  std::vector<Action> actions_;
  size_t next_action_ = 0;
  std::vector<Timer> timers_;
  uint64_t now_ms_ = 0;
  uint64_t timer_order_ = 0;
  std::vector<Window*> windows_;  // creation order
  std::vector<Window*> z_order_;  // visible top-level windows, front last
  Window* active_ = nullptr;
  Control* focused_ = nullptr;
  std::map<std::string, std::unique_ptr<ui::TMemoryCanvas>> paints_;
  std::map<std::string, int> paint_counts_;
  bool quit_posted_ = false;
  bool wait_cursor_ = false;
  int quit_code_ = 0;
  int idle_closes_ = 0;
  // Default buttons pressed once the script was over; a window that never closes on its
  // default button cannot keep the program up for ever.
  static constexpr int kMaxIdleAccepts = 100;
  int idle_accepts_ = 0;
};

}  // namespace tmby::platform::script
