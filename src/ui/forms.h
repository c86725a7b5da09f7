// Forms and the application object.
//
// A form is a TWinControl with a native window from the UI port (platform/ui_port.h). It creates
// the window when first shown (or when HandleNeeded asks), and with it the native controls of
// everything on it; it paints itself and its graphic controls in the window's paint callback, and
// turns the window's activation into OnActivate / OnDeactivate. Exceptions that leave a handler
// called from the window go to the application's HandleException, never back into the adapter.
//
// Keyboard: Enter presses the focused button, else the form's visible and enabled Default button;
// Esc presses its Cancel button; Tab and Shift+Tab move the focus in tab order; the arrow keys
// move the choice of a focused radio group; Alt with the character a caption marks with '&'
// presses that button or focuses the control that label names. A form hosted in
// another form's window (SetHostForm: a page of a stage window) takes these keys first for the
// controls on it, and leaves what it does not use to its host.
//
// Life of a form built from a definition: construct it (owner: the application or null), read
// the definition into it (the reader sets its properties and creates its components), then call
// AfterConstruction(), which lays out the controls and fires OnCreate. Show / ShowModal / Close
// follow the usual rules: closing the application's main form terminates the application.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_port.h"
#include "ui/controls.h"

namespace tmby::ui {

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
TMBY_ENUM_NAMES(TFormBorderStyle, bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow,
                bsSizeToolWin)

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
TMBY_ENUM_NAMES(TWindowState, wsNormal, wsMinimized, wsMaximized)

enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
TMBY_ENUM_NAMES(TPosition, poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly,
                poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter)

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
TMBY_ENUM_NAMES(TFormStyle, fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop)

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
TMBY_ENUM_NAMES(TBorderIcon, biSystemMenu, biMinimize, biMaximize, biHelp)
using TBorderIcons = EnumSet<TBorderIcon>;

enum TCloseAction { caNone, caHide, caFree, caMinimize };

// Modal results.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

using TCloseEvent = TEvent<TComponent*, TCloseAction&>;
using TCloseQueryEvent = TEvent<TComponent*, bool&>;

class TApplication;

class TCustomForm : public TWinControl, private platform::IUiWindowEvents {
  TMBY_CLASS(TCustomForm, TWinControl)
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle v);
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState v);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; }
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle v) { form_style_ = v; }
  // The caption's buttons; without biSystemMenu the window has no system menu and no close box.
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons v) { border_icons_ = v; }
  // The form's window is a child window of `host`'s window (a page of a stage window), without
  // frame, placed in the host's client area; set before the window exists. Null: a top-level
  // window.
  TCustomForm* HostForm() const { return host_; }
  void SetHostForm(TCustomForm* host);
  // Creates the window (hidden) and the native controls now, when they do not exist yet.
  void HandleNeeded();
  // Shown on the screen: visible, and so is the form hosting it.
  bool Showing() const;
  // The control that has (or gets, when the form is shown) the keyboard focus.
  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* control);
  // A control of the form got the focus.
  void FocusChanged(TWinControl* control);
  // Enter, Esc, Tab and the arrow keys (vk:: codes): true when the form used the key (see above).
  virtual bool DialogKey(int key, bool shift);
  // Alt and a character: the first shown, enabled button or check box whose caption marks it with
  // '&' is pressed, or the control a label so marked names gets the focus (see TLabel); with
  // several, the next one after the focused control. The same for the forms hosted here. True
  // when a control took it.
  virtual bool AcceleratorKey(char32_t character);
  // Moves the focus to the next (or previous) control in tab order; false when there is none.
  bool SelectNext(bool forward);
  // The visible, enabled button with Default (or Cancel) set that the keys press, or null.
  TWinControl* FindDefaultButton(bool cancel) const;
  // The client area's size; the outer size follows from the border.
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int v);
  void SetClientHeight(int v);
  TRect ClientRect() const override;
  void SetCaption(const std::string& caption) override;
  // A top-level form's window follows: its caption reads from the right, its frame mirrored.
  void SetRightToLeft(bool value) override;
  void SetVisible(bool visible) override;
  void SetBounds(int left, int top, int width, int height) override;

  // Lays out the controls and fires OnCreate; call once the definition has been read.
  virtual void AfterConstruction();
  // Runs `step` once the form is fully constructed: in AfterConstruction, after OnCreate and
  // before the form is shown (at once when that is over). Steps run in the order given; an
  // exception of a step passes to the caller of AfterConstruction.
  void WhenConstructed(std::function<void()> step);
  void Show();
  void Hide();
  // Shows the form modally and runs the message loop until ModalResult is set; returns it.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult result) { modal_result_ = result; }
  bool Modal() const { return modal_; }
  // Asks OnCloseQuery, then OnClose decides: hide the form, free it later, or nothing. Closing
  // the application's main form terminates the application.
  void Close();
  // Makes the form the active window.
  void BringToFront();
  // Maximizes the form's window now (WindowState becomes wsMaximized).
  void Maximize();
  bool Active() const { return active_; }
  // The form's window asks to be painted again.
  void InvalidateWindow();
  // Paints pending changes at once.
  void Repaint();
  // Paints the whole client area onto `canvas` with everything on it, native controls as the
  // model draws them (pictures for tests).
  void PaintWindow(TCanvas& canvas);
  // Paints what the form's own window shows: background, the form's painting, graphic controls.
  void PaintHandle(TCanvas& canvas);
  // The native window, or null before the form was first shown.
  platform::IUiWindow* Window() const { return window_.get(); }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnResize;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  // Overridable steps of the events.
  virtual void DoActivate();
  virtual void DoDeactivate();
  virtual bool CloseQuery();
  // Frame thickness of the border style: horizontal (left + right) and vertical (with caption).
  TSize FrameSize() const;

 private:
  // platform::IUiWindowEvents (and the window painting of IUiControlEvents)
  void NativePaint(TCanvas& canvas) override;
  void NativeActivate(bool active) override;
  void NativeCloseRequest() override;
  void NativeResized(const TRect& bounds, TSize client) override;
  bool NativeDialogKey(int key, bool shift) override;
  bool NativeAccelerator(char32_t character) override;

  void CreateWindowIfNeeded();
  // Ends the native controls, the windows of the forms hosted here, and the window.
  void DestroyWindowHandle();
  void PlaceOnScreen();
  // Gives the focus to the active control, or the first control in tab order.
  void FocusOnShow();
  template <class F>
  void Guarded(F&& step);

  TFormBorderStyle border_style_ = bsSizeable;
  TWindowState window_state_ = wsNormal;
  TPosition position_ = poDesigned;
  TFormStyle form_style_ = fsNormal;
  TBorderIcons border_icons_{biSystemMenu, biMinimize, biMaximize};
  TModalResult modal_result_ = mrNone;
  bool modal_ = false;
  bool active_ = false;
  bool created_ = false;
  bool in_native_resize_ = false;
  TCustomForm* host_ = nullptr;
  TWinControl* active_control_ = nullptr;
  // The hosted form whose control had the focus last: it gets it back when this form is shown.
  TCustomForm* focused_page_ = nullptr;
  std::unique_ptr<platform::IUiWindow> window_;
  std::vector<std::function<void()>> constructed_steps_;
};

class TForm : public TCustomForm {
  TMBY_CLASS(TForm, TCustomForm)
 public:
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
};

// The application: title, main form, message loop and the handler of exceptions that reach it.
// One per process while it exists (Application()); tests create their own.
class TApplication : public TComponent {
  TMBY_CLASS(TApplication, TComponent)
 public:
  explicit TApplication(TComponent* owner = nullptr);
  ~TApplication() override;

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  TCustomForm* MainForm() const { return main_form_; }
  void SetMainForm(TCustomForm* form);
  bool ShowMainForm() const { return show_main_form_; }
  void SetShowMainForm(bool v) { show_main_form_ = v; }
  bool Terminated() const { return terminated_; }

  // Shows the main form (when ShowMainForm) and runs the message loop until Terminate; returns
  // the exit code.
  int Run();
  // The code the program ends with when the loop ends by Terminate() (default 0).
  int ExitCode() const { return exit_code_; }
  void SetExitCode(int code) { exit_code_ = code; }
  // Ends the message loop (the quit message) with ExitCode().
  void Terminate();
  // One step of the loop: waits for a message and dispatches it; exceptions go to HandleException.
  void HandleMessage();
  void ProcessMessages();

  // What happens to an exception that reaches the message loop: EAbort is silent; otherwise the
  // OnException hook when one is set (the engine installs its own), else ShowException.
  void HandleException(const std::exception& error);
  std::function<void(const std::exception&)> OnException;
  // A stop-icon box with the message, titled by the application title.
  void ShowException(const std::exception& error);
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags);

  // Every form that exists, in creation order (forms add and remove themselves).
  const std::vector<TCustomForm*>& Forms() const { return forms_; }
  void AddForm(TCustomForm* form);
  void RemoveForm(TCustomForm* form);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::vector<TCustomForm*> forms_;
  std::string title_;
  TCustomForm* main_form_ = nullptr;
  bool show_main_form_ = true;
  bool terminated_ = false;
  int exit_code_ = 0;
};

// The current application, or null.
TApplication* Application();

// The hourglass (`wait` true) or the usual cursor over the program's windows for the lifetime of
// the object; the cursor that showed before returns after it, also when the step fails.
class TWaitCursor {
 public:
  explicit TWaitCursor(bool wait = true);
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  bool previous_ = false;
};

// Runs an event handler called from a window or a native control: an exception goes to the
// application's HandleException (or standard error without an application), never back into the
// adapter.
void CallHandler(const std::function<void()>& handler);

// The message of any exception, and the system's class name for it ("EAbort", "Exception").
std::string ExceptionMessage(const std::exception& error);
std::string ExceptionClassName(const std::exception& error);

}  // namespace tmby::ui
