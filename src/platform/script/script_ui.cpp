#include "platform/script/script_ui.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "base/exceptions.h"
#include "base/text_codec.h"
#include "platform/rtf_text.h"
#include "platform/script/script_transcript.h"

namespace tmby::platform::script {

namespace {

// Painting in the adapter is bounded: a forged window size cannot make it allocate without end.
constexpr int kMaxPaintSide = 4096;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::string QuoteList(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ",") + QuoteTranscript(item);
  return out;
}

std::string Geometry(const ui::TRect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + " " + std::to_string(r.Width()) +
         "x" + std::to_string(r.Height());
}

}  // namespace

class ScriptUi::Window : public IUiWindow {
 public:
  Window(ScriptUi* owner, const FormWindowParams& params, IUiWindowEvents* events)
      : owner_(owner), params_(params), events_(events), bounds_(params.bounds) {
    name_ = params.name.empty() ? params.class_name : params.name;
    host_ = dynamic_cast<Window*>(params.host);
    if (host_ != nullptr) host_->hosted_.push_back(this);
  }
  ~Window() override {
    // Hosted windows outliving their host are cut loose (their native windows would be gone).
    for (Window* w : hosted_) w->host_ = nullptr;
    if (host_ != nullptr) Unhost();
    if (owner_ != nullptr) {
      owner_->Note("window destroy " + name_);
      owner_->Forget(this, true);
    }
  }

  std::unique_ptr<IUiControl> CreateControl(const ControlParams& params,
                                            IUiControlEvents* events) override;

  void Show(int show_mode) override {
    if (show_mode == show::kHide) {
      if (!visible_) return;
      visible_ = false;
      owner_->Note("window hide " + name_);
      if (host_ == nullptr) owner_->Forget(this, false);
      MarkDirty();
      return;
    }
    if (show_mode == show::kMaximized && host_ == nullptr) {
      const ui::TSize screen = owner_->ScreenSize();
      restore_ = bounds_;
      maximized_ = true;
      bounds_ = {0, 0, screen.cx, screen.cy};
      owner_->Note("window maximize " + name_ + " " + Geometry(bounds_));
      events_->NativeResized(bounds_, ClientSize());
    } else if (show_mode == show::kRestore && maximized_) {
      maximized_ = false;
      bounds_ = restore_;
      events_->NativeResized(bounds_, ClientSize());
    }
    if (!visible_) {
      visible_ = true;
      owner_->Note("window show " + name_);
      // What the user sees: a hosted window only once its host is on the screen.
      if (OnScreen()) owner_->Dump(*this, 1);
      if (host_ == nullptr) owner_->z_order_.push_back(this);
    }
    MarkDirty();
    owner_->Paint(Root());
    if (host_ == nullptr && show_mode != show::kShowNA && show_mode != show::kNoActivate &&
        show_mode != show::kMinNoActive) {
      owner_->Activate(this);
    }
  }
  void SetBounds(const ui::TRect& bounds) override {
    bounds_ = bounds;
    maximized_ = false;
    MarkDirty();
    events_->NativeResized(bounds_, ClientSize());
  }
  void SetCaption(const std::string& caption) override { params_.caption = caption; }
  void SetRightToLeft(bool right_to_left) override {
    if (host_ != nullptr || params_.right_to_left == right_to_left) return;
    params_.right_to_left = right_to_left;
    owner_->Note(std::string("window ") + (right_to_left ? "rtl " : "ltr ") + name_);
  }
  void SetBackground(uint32_t rgb) override {
    params_.background_rgb = rgb;
    MarkDirty();
  }
  void Invalidate() override { MarkDirty(); }
  void Update() override {
    if (Root()->dirty_ && Root()->visible_) owner_->Paint(Root());
  }
  void Activate() override {
    if (visible_ && host_ == nullptr) owner_->Activate(this);
  }
  void SetEnabled(bool enabled) override {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    owner_->Note(std::string("window ") + (enabled ? "enable " : "disable ") + name_);
  }
  bool Enabled() const override { return enabled_; }
  void BringToFront() override {
    if (host_ == nullptr) {
      Activate();
      return;
    }
    auto& list = host_->hosted_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.push_back(this);
    MarkDirty();
  }
  ui::TRect Bounds() const override { return bounds_; }
  ui::TSize ClientSize() const override {
    // A frame of 4 pixels and a caption when the window has a border.
    if (!params_.bordered || host_ != nullptr) return {bounds_.Width(), bounds_.Height()};
    return {std::max(0, bounds_.Width() - 8),
            std::max(0, bounds_.Height() - 8 - owner_->CaptionHeight())};
  }

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return params_.caption; }
  const FormWindowParams& Params() const { return params_; }
  IUiWindowEvents* Events() const { return events_; }
  bool Visible() const { return visible_; }
  Window* Host() const { return host_; }
  // Shown, and so is every window it is hosted in.
  bool OnScreen() const {
    for (const Window* w = this; w != nullptr; w = w->host_) {
      if (!w->visible_) return false;
    }
    return true;
  }
  // Takes input: enabled, and so is every window it is hosted in.
  bool TakesInput() const {
    for (const Window* w = this; w != nullptr; w = w->host_) {
      if (!w->enabled_) return false;
    }
    return true;
  }
  Window* Root() {
    Window* w = this;
    while (w->host_ != nullptr) w = w->host_;
    return w;
  }
  void MarkDirty() { Root()->dirty_ = true; }
  ScriptUi* Owner() const { return owner_; }
  void Detach() { owner_ = nullptr; }
  void Unhost() {
    auto& list = host_->hosted_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    host_ = nullptr;
  }
  bool dirty_ = true;
  std::vector<Control*> controls_;  // creation order: later ones lie above
  std::vector<Window*> hosted_;     // back to front

 private:
  ScriptUi* owner_;
  FormWindowParams params_;
  IUiWindowEvents* events_;
  std::string name_;
  Window* host_ = nullptr;
  ui::TRect bounds_;
  ui::TRect restore_;
  bool visible_ = false;
  bool maximized_ = false;
  bool enabled_ = true;
};

class ScriptUi::Control : public IUiControl {
 public:
  Control(Window* window, Control* parent, const ControlParams& params, IUiControlEvents* events)
      : window_(window), parent_(parent), params_(params), events_(events) {
    Siblings().push_back(this);
    window_->MarkDirty();
  }
  ~Control() override {
    // The model ends the controls a control holds before it; any left are cut loose.
    for (Control* c : children_) c->parent_ = nullptr;
    auto& list = Siblings();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (Owner() != nullptr && Owner()->focused_ == this) Owner()->focused_ = nullptr;
    window_->MarkDirty();
  }

  std::unique_ptr<IUiControl> CreateControl(const ControlParams& params,
                                            IUiControlEvents* events) override {
    return std::make_unique<Control>(window_, this, params, events);
  }

  void SetBounds(const ui::TRect& bounds) override {
    if (params_.bounds == bounds) return;
    params_.bounds = bounds;
    Changed("bounds " + Geometry(bounds));
  }
  void SetVisible(bool visible) override {
    if (params_.visible == visible) return;
    params_.visible = visible;
    Changed(visible ? "show" : "hide");
  }
  void SetEnabled(bool enabled) override {
    if (params_.enabled == enabled) return;
    params_.enabled = enabled;
    Changed(enabled ? "enable" : "disable");
  }
  void SetText(const std::string& text) override {
    if (params_.text == text) return;
    params_.text = text;
    Changed("text " + QuoteTranscript(text));
  }
  void SetFont(const ui::TFontSpec& font) override {
    params_.font = font;
    window_->MarkDirty();
  }
  void SetBackground(uint32_t rgb) override {
    params_.background_rgb = rgb;
    window_->MarkDirty();
  }
  void SetDefault(bool default_button) override {
    if (params_.default_button == default_button) return;
    params_.default_button = default_button;
    Changed(default_button ? "default" : "nodefault");
  }
  void SetChecked(bool checked) override {
    if (params_.checked == checked) return;
    params_.checked = checked;
    Changed(checked ? "checked" : "unchecked");
  }
  void SetReadOnly(bool read_only) override {
    if (params_.read_only == read_only) return;
    params_.read_only = read_only;
    Changed(read_only ? "readonly" : "editable");
  }
  void SetItems(const std::vector<std::string>& items) override {
    if (params_.items == items) return;
    params_.items = items;
    Changed("items " + QuoteList(items));
  }
  void SetItemIndex(int index) override {
    if (params_.item_index == index) return;
    params_.item_index = index;
    Changed("selected " + std::to_string(index));
  }
  void SetPosition(int position) override {
    if (params_.position == position) return;
    params_.position = position;
    Changed("position " + std::to_string(position));
  }
  void SetRichText(const std::string& rtf) override { SetText(RtfToText(rtf)); }
  void Invalidate() override { window_->MarkDirty(); }
  void SetFocus() override {
    if (Owner() == nullptr || Owner()->focused_ == this) return;
    Owner()->focused_ = this;
    if (window_->OnScreen()) Owner()->Note("control " + Path() + " focus");
    events_->NativeFocused();
  }
  void BringToFront() override {
    auto& list = Siblings();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.push_back(this);
    window_->MarkDirty();
  }

  // The transcript's words for the control (after its indentation).
  std::string Describe() const {
    std::string line = std::string(ControlKindName(params_.kind)) + " " + Name() + " " +
                       QuoteTranscript(params_.text) + " " + Geometry(params_.bounds);
    if (!params_.visible) line += " hidden";
    if (!params_.enabled) line += " disabled";
    if (params_.kind == ControlKind::kButton && params_.default_button) line += " default";
    if (params_.kind == ControlKind::kCheckBox && params_.checked) line += " checked";
    if (params_.read_only) line += " readonly";
    if (params_.right_to_left) line += " rtl";
    if (Owner() != nullptr && Owner()->focused_ == this) line += " focused";
    if (!params_.items.empty()) line += " items " + QuoteList(params_.items);
    if (params_.kind == ControlKind::kListBox || params_.kind == ControlKind::kRadioGroup ||
        params_.kind == ControlKind::kTabControl) {
      line += " selected " + std::to_string(params_.item_index);
    }
    if (params_.kind == ControlKind::kProgressBar) {
      line += " position " + std::to_string(params_.position);
    }
    return line;
  }
  std::string Name() const {
    return params_.name.empty() ? "(" + params_.class_name + ")" : params_.name;
  }
  std::string Path() const { return window_->Name() + "." + Name(); }
  // Visible and enabled, with every parent, on a window that is on the screen and takes input.
  bool Reachable() const {
    for (const Control* c = this; c != nullptr; c = c->parent_) {
      if (!c->params_.visible || !c->params_.enabled) return false;
    }
    return window_->OnScreen() && window_->TakesInput();
  }

  Window* window_;
  Control* parent_;
  ControlParams params_;
  IUiControlEvents* events_;
  std::vector<Control*> children_;  // creation order: later ones lie above

 private:
  std::vector<Control*>& Siblings() {
    return parent_ != nullptr ? parent_->children_ : window_->controls_;
  }
  ScriptUi* Owner() const { return window_->Owner(); }
  void Changed(const std::string& what) {
    window_->MarkDirty();
    if (Owner() != nullptr && window_->OnScreen()) Owner()->Note("control " + Path() + " " + what);
  }
};

std::unique_ptr<IUiControl> ScriptUi::Window::CreateControl(const ControlParams& params,
                                                            IUiControlEvents* events) {
  return std::make_unique<Control>(this, nullptr, params, events);
}

ScriptUi::ScriptUi(std::ostream* transcript, const std::vector<std::string>& script_lines,
                   ScriptUiOptions options)
    : out_(transcript), options_(std::move(options)) {
  for (size_t i = 0; i < script_lines.size(); ++i) {
    const std::string line = Trim(script_lines[i]);
    if (line.empty() || line[0] == '#') continue;
    const int number = static_cast<int>(i + 1);
    const std::string where = "UI script line " + std::to_string(number) + ": ";
    std::vector<std::string> words;
    try {
      words = SplitWords(line);
    } catch (const Exception& e) {
      throw Exception(where + e.what());
    }
    const std::string command = Lower(words[0]);
    // How many words follow the command: at least, at most.
    auto arguments = [&](size_t least, size_t most) {
      const size_t n = words.size() - 1;
      if (n < least) throw Exception(where + "too few words in \"" + line + "\"");
      if (n > most) throw Exception(where + "too many words in \"" + line + "\"");
    };
    auto word = [&](size_t index) { return index < words.size() ? words[index] : std::string(); };
    if (command == "answer") {
      arguments(1, 3);
      const int result = MessageBoxResultFromName(words[1]);
      if (result == 0) {
        throw Exception(where + "\"" + words[1] +
                        "\" is not an answer (OK, Cancel, Yes, No, Abort, Retry, Ignore)");
      }
      if (words.size() != 2 && (words.size() != 4 || Lower(words[2]) != "when")) {
        throw Exception(where + "expected answer <button> [when \"<file>\"] in \"" + line + "\"");
      }
      answers_.push_back({result, word(3)});
    } else if (command == "browse") {
      arguments(1, 1);
      if (Lower(words[1]) == "cancel") {
        folders_.push_back(std::nullopt);
      } else {
        folders_.push_back(words[1]);
      }
    } else if (command == "activate" || command == "close") {
      arguments(0, 1);
      actions_.push_back(
          {command == "activate" ? Action::kActivate : Action::kClose, word(1), {}, number});
    } else if (command == "click" || command == "focus") {
      arguments(1, 1);
      actions_.push_back(
          {command == "click" ? Action::kClick : Action::kFocus, words[1], {}, number});
    } else if (command == "type" || command == "select") {
      arguments(2, 2);
      actions_.push_back(
          {command == "type" ? Action::kType : Action::kSelect, words[1], words[2], number});
    } else if (command == "press") {
      arguments(1, 1);
      const std::string key = Lower(words[1]);
      const bool alt = key.size() > 4 && key.compare(0, 4, "alt+") == 0 &&
                       Utf8Length(std::string_view(key).substr(4)) == 1;
      if (key != "enter" && key != "esc" && key != "tab" && key != "shift+tab" && key != "up" &&
          key != "down" && key != "left" && key != "right" && !alt) {
        throw Exception(where + "\"" + words[1] +
                        "\" is not a key (Enter, Esc, Tab, Shift+Tab, Up, Down, Left, Right, "
                        "Alt+<character>)");
      }
      actions_.push_back({Action::kPress, {}, key, number});
    } else {
      throw Exception(where + "unknown command \"" + command +
                      "\" (expected answer, activate, close, click, type, select, focus or press)");
    }
  }
}

std::vector<std::string> ScriptUi::SplitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size()) break;
    std::string word;
    if (line[at] == '"') {
      ++at;
      bool closed = false;
      while (at < line.size()) {
        const char c = line[at++];
        if (c == '"') {
          closed = true;
          break;
        }
        // Only \" and \\ are escapes: Windows paths keep their backslashes.
        if (c == '\\' && at < line.size() && (line[at] == '"' || line[at] == '\\')) {
          word += line[at++];
        } else {
          word += c;
        }
      }
      if (!closed) throw Exception("a quoted word is not closed in \"" + line + "\"");
    } else {
      while (at < line.size() && line[at] != ' ' && line[at] != '\t') word += line[at++];
    }
    words.push_back(word);
  }
  return words;
}

ScriptUi::~ScriptUi() {
  for (Window* w : windows_) w->Detach();
}

std::unique_ptr<ScriptUi> ScriptUi::FromEnvironment(ScriptUiOptions options) {
  if (!ScriptUiRequested()) return nullptr;
  std::vector<std::string> lines;
  if (const char* script = std::getenv("TMBY_UI_SCRIPT"); script != nullptr && *script != '\0') {
    std::ifstream in(script, std::ios::binary);
    if (!in) throw Exception(std::string("Cannot read the UI script \"") + script + "\"");
    std::ostringstream text;
    text << in.rdbuf();
    lines = SplitLines(text.str());
  }
  std::ostream* out = &std::cerr;
  std::unique_ptr<std::ofstream> file;
  if (const char* path = std::getenv("TMBY_UI_TRANSCRIPT"); path != nullptr && *path != '\0') {
    file = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!*file) throw Exception(std::string("Cannot create the UI transcript \"") + path + "\"");
    out = file.get();
  }
  auto ui = std::make_unique<ScriptUi>(out, lines, std::move(options));
  ui->owned_out_ = std::move(file);
  return ui;
}

std::vector<std::string> ScriptUi::SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void ScriptUi::Note(const std::string& line) {
  if (out_ == nullptr) return;
  *out_ << line << '\n';
  out_->flush();
}

std::unique_ptr<IUiWindow> ScriptUi::CreateFormWindow(const FormWindowParams& params,
                                                      IUiWindowEvents* events) {
  auto window = std::make_unique<Window>(this, params, events);
  Note("window create " + window->Name() + " " + params.class_name + " " +
       QuoteTranscript(params.caption) + " " + Geometry(params.bounds) +
       (params.bordered && params.host == nullptr ? "" : " borderless") +
       (window->Host() != nullptr ? " in " + window->Host()->Name() : "") +
       (params.right_to_left && params.host == nullptr ? " rtl" : ""));
  windows_.push_back(window.get());
  return window;
}

int ScriptUi::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  flags = MessageBoxFlagsShown(flags);
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const int fallback = MessageBoxDefault(flags);
  for (const std::string& line : MessageBoxLines(text, caption, flags)) Note(line);
  if (next_answer_ < answers_.size()) {
    const Answer& answer = answers_[next_answer_++];
    const int wanted = answer.result;
    if (!answer.when.empty()) WaitFor(answer.when);
    if (std::find(buttons.begin(), buttons.end(), wanted) != buttons.end()) {
      Note(MessageBoxAnswerLine(wanted, true));
      return wanted;
    }
    Note(std::string("script answer ") + MessageBoxResultName(wanted) +
         " is not a button of this box");
  }
  Note(MessageBoxAnswerLine(fallback, false));
  return fallback;
}

void ScriptUi::WaitFor(const std::string& file) {
  Note("script wait " + QuoteTranscript(file));
  // Two minutes: long enough for a busy machine, short enough that a test whose other side never
  // comes still ends.
  for (int i = 0; i < 2400; ++i) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::path(file), error)) {
      Note("script waited");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Note("script wait timed out");
}

std::optional<std::string> ScriptUi::BrowseForFolder(const std::string& start, bool, bool) {
  Note("browse " + QuoteTranscript(start));
  std::optional<std::string> chosen;
  if (next_folder_ < folders_.size()) chosen = folders_[next_folder_++];
  Note(chosen ? "browse ok " + QuoteTranscript(*chosen) : std::string("browse cancel"));
  return chosen;
}

bool ScriptUi::HandleMessage() {
  if (quit_posted_) return false;
  if (!RunNextStep()) {
    // Nothing left: the user accepts what the front window offers (its default button) while it
    // offers something, then closes it; if that does not end the program, it ends.
    Window* front = ActiveOrFront();
    Control* accept = idle_accepts_ < kMaxIdleAccepts ? DefaultButton() : nullptr;
    if (accept != nullptr) {
      ++idle_accepts_;
      Note("script end: accept " + accept->Path());
      accept->SetFocus();
      accept->events_->NativeClick(false);
    } else if (front != nullptr && idle_closes_ < 2) {
      ++idle_closes_;
      Note("script end: close " + front->Name());
      front->Events()->NativeCloseRequest();
    } else {
      Note("script end: nothing left to do");
      PostQuit(kScriptExhaustedCode);
    }
  }
  return !quit_posted_;
}

void ScriptUi::ProcessMessages() {
  // Nothing arrives from outside while the program works: repaint what is marked.
  for (Window* w : windows_) w->Update();
}

bool ScriptUi::RunNextStep() {
  ProcessMessages();
  if (next_action_ < actions_.size()) {
    const Action action = actions_[next_action_++];
    if (action.kind != Action::kActivate && action.kind != Action::kClose) {
      RunControlAction(action);
      return true;
    }
    Window* target = action.target.empty() ? ActiveOrFront() : Find(action.target);
    const char* verb = action.kind == Action::kActivate ? "activate" : "close";
    if (target == nullptr || !target->Visible() || target->Host() != nullptr) {
      Note(std::string("script ") + verb + " " +
           (action.target.empty() ? std::string("(no window)") : action.target) +
           ": no such window is shown");
      return true;
    }
    if (action.kind == Action::kClose && !target->TakesInput()) {
      Note("script close " + target->Name() + ": the window is disabled");
      return true;
    }
    Note(std::string("script ") + verb + " " + target->Name());
    if (action.kind == Action::kActivate) {
      Deactivate(target);
      Activate(target);
    } else {
      target->Events()->NativeCloseRequest();
    }
    return true;
  }
  if (!timers_.empty()) {
    auto next =
        std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
          return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
    Timer timer = std::move(*next);
    timers_.erase(next);
    now_ms_ = std::max(now_ms_, timer.due);
    Note("timer " + std::to_string(now_ms_) + " ms");
    timer.fn();
    return true;
  }
  return false;
}

namespace {

// The controls of a list and theirs, front to back (the last created lies above).
template <class C, class F>
bool VisitFrontToBack(const std::vector<C*>& list, F&& visit) {
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (VisitFrontToBack((*it)->children_, visit)) return true;
    if (visit(*it)) return true;
  }
  return false;
}

}  // namespace

ScriptUi::Control* ScriptUi::DefaultButton() const {
  Window* top = ActiveOrFront();
  if (top == nullptr || !top->TakesInput()) return nullptr;
  Control* found = nullptr;
  std::function<void(const Window*)> search = [&](const Window* w) {
    for (auto it = w->hosted_.rbegin(); it != w->hosted_.rend() && found == nullptr; ++it) {
      search(*it);
    }
    if (found != nullptr) return;
    VisitFrontToBack(w->controls_, [&](Control* c) {
      if (c->Reachable() && c->params_.kind == ControlKind::kButton && c->params_.default_button) {
        found = c;
      }
      return found != nullptr;
    });
  };
  search(top);
  return found;
}

ScriptUi::Control* ScriptUi::Reach(const std::string& target, bool by_caption) const {
  Window* top = ActiveOrFront();
  if (top == nullptr) return nullptr;
  // The windows hosted in the active one lie above its own controls, the front one first.
  std::vector<const Window*> windows;
  std::function<void(const Window*)> front_to_back = [&](const Window* w) {
    for (auto it = w->hosted_.rbegin(); it != w->hosted_.rend(); ++it) front_to_back(*it);
    windows.push_back(w);
  };
  front_to_back(top);
  const std::string wanted = Lower(target);
  for (int pass = 0; pass < (by_caption ? 2 : 1); ++pass) {
    Control* found = nullptr;
    for (auto it = windows.begin(); it != windows.end() && found == nullptr; ++it) {
      VisitFrontToBack((*it)->controls_, [&](Control* c) {
        if (!c->Reachable()) return false;
        const bool match = pass == 0 ? Lower(c->params_.name) == wanted
                                     : Lower(StripAccelChars(c->params_.text)) == wanted;
        if (match) found = c;
        return match;
      });
    }
    if (found != nullptr) return found;
  }
  return nullptr;
}

void ScriptUi::RunControlAction(const Action& action) {
  static const char* const kVerbs[] = {"activate", "close", "click", "type",
                                       "select",   "focus", "press"};
  const std::string verb = kVerbs[action.kind];
  if (action.kind == Action::kPress) {
    const bool shift = action.value == "shift+tab";
    static const std::map<std::string, int> kKeys = {
        {"enter", vk::kReturn}, {"esc", vk::kEscape}, {"tab", vk::kTab},   {"shift+tab", vk::kTab},
        {"up", vk::kUp},        {"down", vk::kDown},  {"left", vk::kLeft}, {"right", vk::kRight}};
    const auto named = kKeys.find(action.value);
    // Alt with a character: a keyboard shortcut.
    size_t at = 4;
    const std::optional<char32_t> character =
        named == kKeys.end() ? DecodeUtf8(action.value, &at) : std::nullopt;
    const int key = named != kKeys.end() ? named->second : 0;
    // The form of the focused control first, then the windows hosting it.
    Window* window = focused_ != nullptr && focused_->Reachable() ? focused_->window_ : nullptr;
    if (window == nullptr) window = ActiveOrFront();
    if (window == nullptr || !window->TakesInput()) {
      Note("script press " + action.value + ": no window takes input");
      return;
    }
    Note("script press " + action.value + " in " + window->Name());
    for (Window* w = window; w != nullptr; w = w->Host()) {
      if (character ? w->Events()->NativeAccelerator(*character)
                    : w->Events()->NativeDialogKey(key, shift)) {
        return;
      }
    }
    return;
  }
  const bool by_caption = action.kind == Action::kClick;
  Control* c = Reach(action.target, by_caption);
  if (c == nullptr) {
    Note("script " + verb + " " + action.target + ": no such control is shown");
    return;
  }
  const ControlKind kind = c->params_.kind;
  switch (action.kind) {
    case Action::kClick:
      if (kind != ControlKind::kButton && kind != ControlKind::kCheckBox) {
        Note("script click " + c->Path() + ": not a button or check box");
        return;
      }
      Note("script click " + c->Path());
      c->SetFocus();
      if (kind == ControlKind::kCheckBox) c->SetChecked(!c->params_.checked);
      c->events_->NativeClick(c->params_.checked);
      return;
    case Action::kType:
      if (kind != ControlKind::kEdit && kind != ControlKind::kMemo) {
        Note("script type " + c->Path() + ": not an edit");
        return;
      }
      if (c->params_.read_only) {
        Note("script type " + c->Path() + ": the edit is read-only");
        return;
      }
      Note("script type " + c->Path() + " " + QuoteTranscript(action.value));
      c->SetFocus();
      c->SetText(action.value);
      c->events_->NativeTextChanged(action.value);
      return;
    case Action::kSelect: {
      if (kind != ControlKind::kListBox && kind != ControlKind::kRadioGroup &&
          kind != ControlKind::kTabControl) {
        Note("script select " + c->Path() + ": not a list, radio group or tab strip");
        return;
      }
      const auto& items = c->params_.items;
      int index = -1;
      for (size_t i = 0; i < items.size() && index < 0; ++i) {
        if (Lower(items[i]) == Lower(action.value)) index = static_cast<int>(i);
      }
      if (index < 0 && !action.value.empty() &&
          action.value.find_first_not_of("0123456789") == std::string::npos &&
          action.value.size() < 9) {
        index = std::stoi(action.value);
      }
      if (index < 0 || static_cast<size_t>(index) >= items.size()) {
        Note("script select " + c->Path() + ": no item " + QuoteTranscript(action.value));
        return;
      }
      Note("script select " + c->Path() + " " + std::to_string(index));
      if (kind != ControlKind::kTabControl) c->SetFocus();
      c->SetItemIndex(index);
      c->events_->NativeSelect(index);
      return;
    }
    case Action::kFocus:
      Note("script focus " + c->Path());
      c->SetFocus();
      return;
    default: return;
  }
}

void ScriptUi::Dump(const Window& window, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  std::function<void(const std::vector<Control*>&, int)> controls =
      [&](const std::vector<Control*>& list, int level) {
        for (const Control* c : list) {
          Note(std::string(static_cast<size_t>(level) * 2, ' ') + c->Describe());
          controls(c->children_, level + 1);
        }
      };
  controls(window.controls_, depth);
  for (const Window* hosted : window.hosted_) {
    Note(indent + "window " + hosted->Name() + " " + QuoteTranscript(hosted->Caption()) + " " +
         Geometry(hosted->Bounds()) + (hosted->Visible() ? "" : " hidden"));
    if (hosted->Visible()) Dump(*hosted, depth + 1);
  }
}

std::string ScriptUi::DescribeControl(const std::string& path) const {
  const size_t dot = path.find('.');
  if (dot == std::string::npos) return {};
  const Window* window = Find(path.substr(0, dot));
  if (window == nullptr) return {};
  const std::string wanted = Lower(path.substr(dot + 1));
  std::string found;
  VisitFrontToBack(window->controls_, [&](Control* c) {
    if (Lower(c->Name()) != wanted) return false;
    found = c->Describe();
    return true;
  });
  return found;
}

void ScriptUi::PostQuit(int exit_code) {
  if (quit_posted_) return;
  quit_posted_ = true;
  quit_code_ = exit_code;
  Note("quit " + std::to_string(exit_code));
}

bool ScriptUi::SetWaitCursor(bool wait) {
  const bool was = wait_cursor_;
  if (wait != was) Note(wait ? "cursor wait" : "cursor default");
  wait_cursor_ = wait;
  return was;
}

void ScriptUi::StartTimer(uint32_t ms, std::function<void()> fn) {
  timers_.push_back({now_ms_ + ms, timer_order_++, std::move(fn)});
}

const ui::TMemoryCanvas* ScriptUi::LastPaint(const std::string& window_name) const {
  auto it = paints_.find(Lower(window_name));
  return it == paints_.end() ? nullptr : it->second.get();
}

int ScriptUi::PaintCount(const std::string& window_name) const {
  auto it = paint_counts_.find(Lower(window_name));
  return it == paint_counts_.end() ? 0 : it->second;
}

void ScriptUi::Activate(Window* window) {
  if (active_ == window) return;
  if (active_ != nullptr) Deactivate(active_);
  active_ = window;
  auto it = std::find(z_order_.begin(), z_order_.end(), window);
  if (it != z_order_.end()) z_order_.erase(it);
  z_order_.push_back(window);
  Note("window activate " + window->Name());
  window->Events()->NativeActivate(true);
}

void ScriptUi::Deactivate(Window* window) {
  if (active_ != window) return;
  active_ = nullptr;
  Note("window deactivate " + window->Name());
  window->Events()->NativeActivate(false);
}

void ScriptUi::Forget(Window* window, bool destroyed) {
  if (active_ == window) {
    if (destroyed) {
      active_ = nullptr;  // a window being destroyed is not told any more
    } else {
      Deactivate(window);
    }
    z_order_.erase(std::remove(z_order_.begin(), z_order_.end(), window), z_order_.end());
    if (!z_order_.empty()) Activate(z_order_.back());
  }
  z_order_.erase(std::remove(z_order_.begin(), z_order_.end(), window), z_order_.end());
  if (destroyed)
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void ScriptUi::Paint(Window* window) {
  const ui::TSize size = window->ClientSize();
  auto canvas = std::make_unique<ui::TMemoryCanvas>(std::min(size.cx, kMaxPaintSide),
                                                    std::min(size.cy, kMaxPaintSide),
                                                    window->Params().background_rgb);
  // What a screen would show: the window, then its controls in order (each clipped to its
  // parent), then the windows hosted in it, back to front.
  std::function<void(const std::vector<Control*>&)> controls =
      [&](const std::vector<Control*>& list) {
        for (Control* c : list) {
          if (!c->params_.visible) continue;
          const ui::TRect& b = c->params_.bounds;
          canvas->SaveState();
          canvas->Translate(b.Left, b.Top);
          canvas->IntersectClip({0, 0, b.Width(), b.Height()});
          if (!canvas->ClipRect().IsEmpty()) {
            c->events_->NativePaint(*canvas);
            controls(c->children_);
          }
          canvas->RestoreState();
        }
      };
  std::function<void(Window*)> paint = [&](Window* w) {
    w->Events()->NativePaint(*canvas);
    controls(w->controls_);
    for (Window* hosted : w->hosted_) {
      if (!hosted->Visible()) continue;
      const ui::TRect b = hosted->Bounds();
      canvas->SaveState();
      canvas->Translate(b.Left, b.Top);
      canvas->IntersectClip({0, 0, b.Width(), b.Height()});
      paint(hosted);
      canvas->RestoreState();
    }
  };
  paint(window);
  paints_[Lower(window->Name())] = std::move(canvas);
  ++paint_counts_[Lower(window->Name())];
  window->dirty_ = false;
}

ScriptUi::Window* ScriptUi::Find(const std::string& name) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (Lower((*it)->Name()) == Lower(name)) return *it;
  }
  return nullptr;
}

ScriptUi::Window* ScriptUi::ActiveOrFront() const {
  if (active_ != nullptr) return active_;
  return z_order_.empty() ? nullptr : z_order_.back();
}

}  // namespace tmby::platform::script
