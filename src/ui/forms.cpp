#include "ui/forms.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "base/exceptions.h"
#include "ui/std_controls.h"

namespace tmby::ui {

namespace {

TApplication* g_application = nullptr;

platform::IUi* UiOrNull() { return platform::CurrentUi(); }

}  // namespace

std::string ExceptionMessage(const std::exception& error) { return error.what(); }

std::string ExceptionClassName(const std::exception& error) {
  if (const auto* e = dynamic_cast<const Exception*>(&error)) return e->ClassName();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "EOutOfMemory";
  return "Exception";
}

// ---------------------------------------------------------------------------------------------
// TCustomForm

const TClassInfo& TCustomForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomForm, TWinControl>(
      "TCustomForm", [](TClassBuilder<TCustomForm>& c) {
        c.Enum("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle,
               std::optional<TFormBorderStyle>(bsSizeable));
        c.Integer("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight,
                  std::nullopt);
        c.Integer("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth,
                  std::nullopt);
        c.Enum("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle,
               std::optional<TFormStyle>(fsNormal));
        c.Set("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons,
              TBorderIcons{biSystemMenu, biMinimize, biMaximize});
        c.Reference("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl);
        c.Enum("Position", &TCustomForm::Position, &TCustomForm::SetPosition,
               std::optional<TPosition>(poDesigned));
        c.Enum("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState,
               std::optional<TWindowState>(wsNormal));
        c.Boolean("Visible", &TCustomForm::Visible, &TCustomForm::SetVisible, false);
        c.Event("OnActivate", &TCustomForm::OnActivate);
        c.Event("OnClose", &TCustomForm::OnClose);
        c.Event("OnCloseQuery", &TCustomForm::OnCloseQuery);
        c.Event("OnCreate", &TCustomForm::OnCreate);
        c.Event("OnDeactivate", &TCustomForm::OnDeactivate);
        c.Event("OnDestroy", &TCustomForm::OnDestroy);
        c.Event("OnHide", &TCustomForm::OnHide);
        c.Event("OnPaint", &TCustomForm::OnPaint);
        c.Event("OnResize", &TCustomForm::OnResize);
        c.Event("OnShow", &TCustomForm::OnShow);
      });
  return info;
}

const TClassInfo& TForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TForm, TCustomForm>("TForm");
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  TControl::SetVisible(false);
  TControl::SetBounds(0, 0, 320, 240);
  if (TApplication* app = Application()) app->AddForm(this);
}

TCustomForm::~TCustomForm() {
  DestroyWindowHandle();
  if (TApplication* app = Application()) app->RemoveForm(this);
}

void TCustomForm::BeforeDestruction() {
  if (!Destroying()) {
    Guarded([this] { OnDestroy(this); });
  }
  TWinControl::BeforeDestruction();
  DestroyWindowHandle();
  if (TApplication* app = Application()) app->RemoveForm(this);
}

void TCustomForm::DestroyWindowHandle() {
  // What lies on the window goes first: the native controls, then the windows of the forms
  // hosted in it.
  for (TControl* c : ControlList()) c->DestroyHandle();
  if (TApplication* app = Application()) {
    for (TCustomForm* form : app->Forms()) {
      if (form->host_ == this) form->DestroyWindowHandle();
    }
  }
  window_.reset();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == host_) host_ = nullptr;
    if (component == active_control_) active_control_ = nullptr;
    if (component == focused_page_) focused_page_ = nullptr;
  }
  TWinControl::Notification(component, operation);
}

void TCustomForm::SetHostForm(TCustomForm* host) {
  if (host == this) throw EComponentError("A form cannot host itself");
  if (window_ != nullptr) throw EComponentError("The window of " + Name() + " exists already");
  SetReference(host_, host);
}

void TCustomForm::HandleNeeded() { CreateWindowIfNeeded(); }

void TCustomForm::SetActiveControl(TWinControl* control) {
  SetReference(active_control_, control);
  if (control != nullptr && !Loading() && Visible() && control->CanFocus()) control->SetFocus();
}

void TCustomForm::FocusChanged(TWinControl* control) {
  if (host_ != nullptr) host_->SetReference(host_->focused_page_, this);
  if (active_control_ == control) return;
  SetReference(active_control_, control);
}

bool TCustomForm::Showing() const {
  for (const TCustomForm* f = this; f != nullptr; f = f->host_) {
    if (!f->Visible() || f->window_ == nullptr) return false;
  }
  return true;
}

void CallHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    if (TApplication* app = Application()) {
      app->HandleException(error);
    } else {
      std::cerr << ExceptionClassName(error) << ": " << error.what() << '\n';
    }
  }
}

template <class F>
void TCustomForm::Guarded(F&& step) {
  CallHandler(step);
}

TSize TCustomForm::FrameSize() const {
  if (host_ != nullptr) return {0, 0};
  int frame = 0;
  switch (border_style_) {
    case bsNone: return {0, 0};
    case bsSizeable:
    case bsSizeToolWin: frame = 4; break;
    default: frame = 3; break;
  }
  platform::IUi* ui = UiOrNull();
  const int caption = ui != nullptr ? ui->CaptionHeight() : 18;
  return {2 * frame, 2 * frame + caption};
}

int TCustomForm::ClientWidth() const {
  if (window_ != nullptr) return window_->ClientSize().cx;
  return std::max(0, Width() - FrameSize().cx);
}

int TCustomForm::ClientHeight() const {
  if (window_ != nullptr) return window_->ClientSize().cy;
  return std::max(0, Height() - FrameSize().cy);
}

void TCustomForm::SetClientWidth(int v) { SetWidth(v + FrameSize().cx); }

void TCustomForm::SetClientHeight(int v) { SetHeight(v + FrameSize().cy); }

TRect TCustomForm::ClientRect() const {
  return AdjustClientRect({0, 0, ClientWidth(), ClientHeight()});
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (border_style_ == v) return;
  // The client area keeps its size; the outer size follows the new frame.
  const int cw = ClientWidth();
  const int ch = ClientHeight();
  border_style_ = v;
  if (Loading()) {
    TControl::SetBounds(Left(), Top(), cw + FrameSize().cx, ch + FrameSize().cy);
  }
}

void TCustomForm::SetWindowState(TWindowState v) {
  if (window_state_ == v) return;
  window_state_ = v;
  if (window_ != nullptr && Visible()) {
    switch (v) {
      case wsMaximized: window_->Show(platform::show::kMaximized); break;
      case wsMinimized: window_->Show(platform::show::kMinimized); break;
      default: window_->Show(platform::show::kRestore); break;
    }
  }
}

void TCustomForm::SetCaption(const std::string& caption) {
  TWinControl::SetCaption(caption);
  if (window_ != nullptr) window_->SetCaption(caption);
}

void TCustomForm::SetVisible(bool visible) {
  if (Loading() || !created_) {
    TControl::SetVisible(visible);  // a form read as visible is shown by AfterConstruction
    return;
  }
  if (visible) {
    Show();
  } else {
    Hide();
  }
}

void TCustomForm::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, width, height);
  if (window_ != nullptr && !in_native_resize_) window_->SetBounds(BoundsRect());
  Realign();
}

void TCustomForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  Realign();
  Guarded([this] { OnCreate(this); });
  std::vector<std::function<void()>> steps;
  steps.swap(constructed_steps_);
  for (auto& step : steps) step();
  if (Visible()) {
    TControl::SetVisible(false);
    Show();
  }
}

void TCustomForm::WhenConstructed(std::function<void()> step) {
  if (created_) {
    step();
  } else {
    constructed_steps_.push_back(std::move(step));
  }
}

void TCustomForm::PlaceOnScreen() {
  platform::IUi* ui = UiOrNull();
  if (ui == nullptr || host_ != nullptr) return;
  const TSize screen = ui->ScreenSize();
  if (position_ == poScreenCenter || position_ == poDesktopCenter ||
      position_ == poMainFormCenter || position_ == poOwnerFormCenter) {
    TControl::SetBounds((screen.cx - Width()) / 2, (screen.cy - Height()) / 2, Width(), Height());
  }
}

void TCustomForm::CreateWindowIfNeeded() {
  if (window_ != nullptr) return;
  platform::FormWindowParams params;
  if (host_ != nullptr) {
    host_->CreateWindowIfNeeded();
    params.host = host_->Window();
  } else {
    PlaceOnScreen();
  }
  params.name = Name();
  params.class_name = ClassName();
  params.caption = Caption();
  params.bounds = BoundsRect();
  params.bordered = border_style_ != bsNone && host_ == nullptr;
  params.dialog_frame = border_style_ == bsDialog;
  params.system_menu = border_icons_.Contains(biSystemMenu);
  params.stay_on_top = form_style_ == fsStayOnTop;
  params.background_rgb = ColorToRGB(Color());
  params.right_to_left = RightToLeft() && host_ == nullptr;
  window_ = platform::Ui().CreateFormWindow(params, this);
  for (TControl* c : ControlList()) c->CreateHandle();
}

void TCustomForm::SetRightToLeft(bool value) {
  TWinControl::SetRightToLeft(value);
  if (window_ != nullptr && host_ == nullptr) window_->SetRightToLeft(RightToLeft());
}

void TCustomForm::Show() {
  if (TControl::Visible() && window_ != nullptr) {
    BringToFront();
    return;
  }
  CreateWindowIfNeeded();
  Realign();
  TControl::SetVisible(true);
  Guarded([this] { OnShow(this); });
  if (window_ == nullptr) return;  // a handler freed the window (the form is going)
  if (host_ != nullptr) {
    // A page shows inside its host; the host stays the active window.
    window_->Show(platform::show::kShowNA);
    return;
  }
  switch (window_state_) {
    case wsMaximized: window_->Show(platform::show::kMaximized); break;
    case wsMinimized: window_->Show(platform::show::kMinimized); break;
    default: window_->Show(platform::show::kNormal); break;
  }
  if (window_ != nullptr && Visible()) FocusOnShow();
}

void TCustomForm::FocusOnShow() {
  if (active_control_ != nullptr && active_control_->CanFocus()) {
    active_control_->SetFocus();
    return;
  }
  if (SelectNext(true)) return;
  // A stage window without controls of its own: the focus goes back onto its page.
  if (focused_page_ != nullptr && focused_page_->Showing()) focused_page_->FocusOnShow();
}

namespace {

// The controls Tab stops at, in tab order: each parent's controls by TabOrder (equal orders in
// insertion order), each followed by the controls it holds.
void CollectTabStops(const TWinControl& parent, std::vector<TWinControl*>& out) {
  std::vector<TWinControl*> children;
  for (TControl* c : parent.ControlList()) {
    if (auto* win = dynamic_cast<TWinControl*>(c)) children.push_back(win);
  }
  std::stable_sort(children.begin(), children.end(),
                   [](TWinControl* a, TWinControl* b) { return a->TabOrder() < b->TabOrder(); });
  for (TWinControl* c : children) {
    if (!c->Visible() || !c->Enabled()) continue;
    if (c->TabStop()) out.push_back(c);
    CollectTabStops(*c, out);
  }
}

}  // namespace

bool TCustomForm::SelectNext(bool forward) {
  std::vector<TWinControl*> stops;
  CollectTabStops(*this, stops);
  if (stops.empty()) return false;
  auto at = std::find(stops.begin(), stops.end(), active_control_);
  size_t next = 0;
  if (at == stops.end()) {
    next = forward ? 0 : stops.size() - 1;
  } else {
    const size_t index = static_cast<size_t>(at - stops.begin());
    next = forward ? (index + 1) % stops.size() : (index + stops.size() - 1) % stops.size();
  }
  stops[next]->SetFocus();
  return true;
}

TWinControl* TCustomForm::FindDefaultButton(bool cancel) const {
  std::vector<const TWinControl*> pending{this};
  while (!pending.empty()) {
    const TWinControl* parent = pending.front();
    pending.erase(pending.begin());
    for (TControl* c : parent->ControlList()) {
      if (auto* button = dynamic_cast<TButton*>(c)) {
        if ((cancel ? button->Cancel() : button->Default()) && button->CanFocus()) return button;
      }
      if (auto* win = dynamic_cast<TWinControl*>(c)) {
        if (win->Visible()) pending.push_back(win);
      }
    }
  }
  return nullptr;
}

bool TCustomForm::DialogKey(int key, bool shift) {
  switch (key) {
    case platform::vk::kReturn: {
      if (auto* memo = dynamic_cast<TMemo*>(active_control_);
          memo != nullptr && memo->WantReturns()) {
        return false;
      }
      auto* focused = dynamic_cast<TButton*>(active_control_);
      TWinControl* target =
          focused != nullptr && focused->CanFocus() ? focused : FindDefaultButton(false);
      if (auto* button = dynamic_cast<TButton*>(target)) {
        button->Click();
        return true;
      }
      return false;
    }
    case platform::vk::kEscape:
      if (auto* button = dynamic_cast<TButton*>(FindDefaultButton(true))) {
        button->Click();
        return true;
      }
      return false;
    case platform::vk::kTab: return SelectNext(!shift);
    case platform::vk::kLeft:
    case platform::vk::kUp:
    case platform::vk::kRight:
    case platform::vk::kDown: {
      // The arrow keys move a radio group's choice, round from the last item to the first.
      auto* group = dynamic_cast<TRadioGroup*>(active_control_);
      if (group == nullptr || !group->CanFocus() || group->Items().empty()) return false;
      const int count = static_cast<int>(group->Items().size());
      const int step = key == platform::vk::kLeft || key == platform::vk::kUp ? count - 1 : 1;
      const int from = group->ItemIndex() < 0 ? (step == 1 ? count - 1 : 0) : group->ItemIndex();
      group->SetItemIndex((from + step) % count);
      group->SetFocus();
      return true;
    }
    default: return false;
  }
}

namespace {

bool Usable(const TControl& control) {
  for (const TControl* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

// The controls below `parent` in the order they were put there, each followed by its own.
void CollectControls(const TWinControl& parent, std::vector<TControl*>& out) {
  for (TControl* c : parent.ControlList()) {
    out.push_back(c);
    if (auto* win = dynamic_cast<TWinControl*>(c)) CollectControls(*win, out);
  }
}

// The control a label's shortcut focuses: the one it names, else the first control after it
// that the Tab key stops at.
TWinControl* LabelTarget(const TLabel& label, const std::vector<TControl*>& order) {
  if (TWinControl* named = label.FocusControl()) return named;
  const auto at = std::find(order.begin(), order.end(), &label);
  for (auto it = at; it != order.end(); ++it) {
    auto* win = dynamic_cast<TWinControl*>(*it);
    if (win != nullptr && win->TabStop() && win->CanFocus()) return win;
  }
  return nullptr;
}

}  // namespace

bool TCustomForm::AcceleratorKey(char32_t character) {
  const char32_t wanted = platform::AccelFold(character);
  std::vector<TControl*> order;
  CollectControls(*this, order);
  // The controls the shortcut reaches, and what each does with it.
  struct Match {
    TControl* control;
    TWinControl* target;
  };
  std::vector<Match> matches;
  for (TControl* c : order) {
    if (!Usable(*c) || platform::AccelCharOf(c->Caption()) != wanted || wanted == 0) continue;
    if (dynamic_cast<TButton*>(c) != nullptr || dynamic_cast<TCheckBox*>(c) != nullptr) {
      matches.push_back({c, static_cast<TWinControl*>(c)});
    } else if (auto* label = dynamic_cast<TLabel*>(c); label != nullptr && label->ShowAccelChar()) {
      if (TWinControl* target = LabelTarget(*label, order)) matches.push_back({c, target});
    }
  }
  if (matches.empty()) {
    // A page shown in this window takes it next.
    if (TApplication* app = Application()) {
      const std::vector<TCustomForm*> forms = app->Forms();
      for (TCustomForm* form : forms) {
        if (form->host_ == this && form->Showing() && form->AcceleratorKey(character)) return true;
      }
    }
    return false;
  }
  // Several controls share the character: each press goes on to the next.
  size_t pick = 0;
  for (size_t i = 0; i < matches.size(); ++i) {
    if (matches[i].target == active_control_) pick = (i + 1) % matches.size();
  }
  TControl* chosen = matches[pick].control;
  if (auto* button = dynamic_cast<TButton*>(chosen)) {
    button->Click();
  } else if (auto* box = dynamic_cast<TCheckBox*>(chosen)) {
    box->SetFocus();
    box->SetChecked(!box->Checked());
  } else if (matches[pick].target->CanFocus()) {
    matches[pick].target->SetFocus();
  }
  return true;
}

void TCustomForm::Hide() {
  if (!TControl::Visible()) return;
  TControl::SetVisible(false);
  Guarded([this] { OnHide(this); });
  if (window_ != nullptr) window_->Show(platform::show::kHide);
}

void TCustomForm::BringToFront() {
  if (window_ == nullptr || !Visible()) return;
  if (host_ != nullptr) {
    window_->BringToFront();
  } else {
    window_->Activate();
  }
}

void TCustomForm::Maximize() {
  window_state_ = wsMaximized;
  if (window_ != nullptr && Visible()) window_->Show(platform::show::kMaximized);
}

void TCustomForm::InvalidateWindow() {
  if (window_ != nullptr) window_->Invalidate();
}

void TCustomForm::Repaint() {
  if (window_ == nullptr) return;
  window_->Invalidate();
  window_->Update();
}

void TCustomForm::PaintWindow(TCanvas& canvas) {
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect({0, 0, ClientWidth(), ClientHeight()});
  Paint(canvas);
  OnPaint(this);
  PaintControls(canvas);
}

void TCustomForm::PaintHandle(TCanvas& canvas) {
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect({0, 0, ClientWidth(), ClientHeight()});
  Paint(canvas);
  OnPaint(this);
  PaintGraphicControls(canvas);
}

bool TCustomForm::CloseQuery() {
  bool can_close = true;
  OnCloseQuery(this, can_close);
  return can_close;
}

void TCustomForm::Close() {
  if (modal_) {
    modal_result_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  OnClose(this, action);
  if (action == caNone) return;
  TApplication* app = Application();
  if (app != nullptr && app->MainForm() == this) {
    app->Terminate();
    return;
  }
  switch (action) {
    case caMinimize:
      if (window_ != nullptr) window_->Show(platform::show::kMinimized);
      break;
    default: Hide(); break;
  }
}

TModalResult TCustomForm::ShowModal() {
  if (modal_ || Visible()) throw Exception("Cannot make a visible window modal");
  if (host_ != nullptr) throw Exception("Cannot make a hosted window modal");
  TApplication* app = Application();
  // Every other shown top-level window takes no input while this one is up.
  std::vector<TCustomForm*> disabled;
  if (app != nullptr) {
    for (TCustomForm* form : app->Forms()) {
      if (form == this || form->host_ != nullptr || form->window_ == nullptr) continue;
      if (!form->Visible() || !form->window_->Enabled()) continue;
      form->window_->SetEnabled(false);
      disabled.push_back(form);
    }
  }
  auto enable_others = [&] {
    for (auto it = disabled.rbegin(); it != disabled.rend(); ++it) {
      // A form freed while this one was up is no longer among the application's forms.
      const auto& forms = app->Forms();
      if (std::find(forms.begin(), forms.end(), *it) == forms.end()) continue;
      if ((*it)->window_ != nullptr) (*it)->window_->SetEnabled(true);
    }
    disabled.clear();
  };
  modal_ = true;
  modal_result_ = mrNone;
  try {
    Show();
  } catch (...) {
    modal_ = false;
    enable_others();
    throw;
  }
  while (true) {
    if (app != nullptr) {
      app->HandleMessage();
      if (app->Terminated() && modal_result_ == mrNone) modal_result_ = mrCancel;
    } else if (!platform::Ui().HandleMessage() && modal_result_ == mrNone) {
      modal_result_ = mrCancel;
    }
    if (modal_result_ == mrNone) continue;
    // The form may refuse to close; then it stays up.
    bool closing = CloseQuery();
    TCloseAction action = caHide;
    if (closing) OnClose(this, action);
    if (!closing || action == caNone) {
      if (app != nullptr && app->Terminated()) break;
      modal_result_ = mrNone;
      continue;
    }
    break;
  }
  enable_others();
  modal_ = false;
  Hide();
  return modal_result_;
}

void TCustomForm::DoActivate() { OnActivate(this); }

void TCustomForm::DoDeactivate() { OnDeactivate(this); }

void TCustomForm::NativePaint(TCanvas& canvas) {
  Guarded([&] { PaintHandle(canvas); });
}

bool TCustomForm::NativeDialogKey(int key, bool shift) {
  bool used = false;
  Guarded([&] {
    used = true;  // a key whose handler failed counts as used
    used = DialogKey(key, shift);
  });
  return used;
}

bool TCustomForm::NativeAccelerator(char32_t character) {
  bool used = false;
  Guarded([&] {
    used = true;  // a key whose handler failed counts as used
    used = AcceleratorKey(character);
  });
  return used;
}

void TCustomForm::NativeActivate(bool active) {
  active_ = active;
  Guarded([&] {
    if (active) {
      DoActivate();
    } else {
      DoDeactivate();
    }
  });
}

void TCustomForm::NativeCloseRequest() {
  Guarded([this] { Close(); });
}

void TCustomForm::NativeResized(const TRect& bounds, TSize) {
  in_native_resize_ = true;
  Guarded([&] {
    TWinControl::SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
    Realign();
    OnResize(this);
  });
  in_native_resize_ = false;
  InvalidateWindow();
}

// ---------------------------------------------------------------------------------------------
// TApplication

const TClassInfo& TApplication::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TApplication, TComponent>("TApplication");
  return info;
}

TApplication* Application() { return g_application; }

TWaitCursor::TWaitCursor(bool wait) {
  if (platform::IUi* ui = platform::CurrentUi()) previous_ = ui->SetWaitCursor(wait);
}

TWaitCursor::~TWaitCursor() {
  if (platform::IUi* ui = platform::CurrentUi()) ui->SetWaitCursor(previous_);
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  if (g_application == nullptr) g_application = this;
}

TApplication::~TApplication() {
  // The forms it owns go first, while it is still the application.
  DestroyComponents();
  if (g_application == this) g_application = nullptr;
}

void TApplication::AddForm(TCustomForm* form) {
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void TApplication::RemoveForm(TCustomForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
}

void TApplication::SetMainForm(TCustomForm* form) {
  main_form_ = form;
  if (form != nullptr) FreeNotification(form);
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == main_form_) main_form_ = nullptr;
  TComponent::Notification(component, operation);
}

int TApplication::Run() {
  if (main_form_ != nullptr && show_main_form_ && !terminated_) {
    try {
      main_form_->Show();
    } catch (const std::exception& error) {
      HandleException(error);
    }
  }
  while (!terminated_) HandleMessage();
  return platform::Ui().QuitCode();
}

void TApplication::Terminate() {
  if (platform::IUi* ui = UiOrNull()) ui->PostQuit(exit_code_);
}

void TApplication::HandleMessage() {
  try {
    if (!platform::Ui().HandleMessage()) terminated_ = true;
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

void TApplication::ProcessMessages() {
  try {
    platform::Ui().ProcessMessages();
  } catch (const std::exception& error) {
    HandleException(error);
  }
}

void TApplication::HandleException(const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  if (OnException) {
    OnException(error);
  } else {
    ShowException(error);
  }
}

void TApplication::ShowException(const std::exception& error) {
  std::string message = ExceptionMessage(error);
  if (!message.empty() && message.back() > '.') message += '.';
  MessageBox(message, title_, platform::mb::kOk | platform::mb::kIconStop);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  platform::IUi* ui = UiOrNull();
  if (ui == nullptr) return platform::MessageBoxDefault(flags);
  return ui->MessageBox(text, caption, flags);
}

}  // namespace tmby::ui
