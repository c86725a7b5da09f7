#include "platform/script/script_ui.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "base/exceptions.h"
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
  }
  ~Window() override {
    if (owner_ != nullptr) {
      owner_->Note("window destroy " + name_);
      owner_->Forget(this, true);
    }
  }

  void Show(int show_mode) override {
    if (show_mode == show::kHide) {
      if (!visible_) return;
      visible_ = false;
      owner_->Note("window hide " + name_);
      owner_->Forget(this, false);
      return;
    }
    if (show_mode == show::kMaximized) {
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
      owner_->z_order_.push_back(this);
    }
    owner_->Paint(this);
    if (show_mode != show::kShowNA && show_mode != show::kNoActivate &&
        show_mode != show::kMinNoActive) {
      owner_->Activate(this);
    }
  }
  void SetBounds(const ui::TRect& bounds) override {
    bounds_ = bounds;
    maximized_ = false;
    events_->NativeResized(bounds_, ClientSize());
  }
  void SetCaption(const std::string& caption) override { params_.caption = caption; }
  void SetBackground(uint32_t rgb) override { params_.background_rgb = rgb; }
  void Invalidate() override { dirty_ = true; }
  void Update() override {
    if (dirty_ && visible_) owner_->Paint(this);
  }
  void Activate() override {
    if (visible_) owner_->Activate(this);
  }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  ui::TRect Bounds() const override { return bounds_; }
  ui::TSize ClientSize() const override {
    // A frame of 4 pixels and a caption when the window has a border.
    if (!params_.bordered) return {bounds_.Width(), bounds_.Height()};
    return {std::max(0, bounds_.Width() - 8),
            std::max(0, bounds_.Height() - 8 - owner_->CaptionHeight())};
  }

  const std::string& Name() const { return name_; }
  const FormWindowParams& Params() const { return params_; }
  IUiWindowEvents* Events() const { return events_; }
  bool Visible() const { return visible_; }
  void Detach() { owner_ = nullptr; }
  bool dirty_ = true;

 private:
  ScriptUi* owner_;
  FormWindowParams params_;
  IUiWindowEvents* events_;
  std::string name_;
  ui::TRect bounds_;
  ui::TRect restore_;
  bool visible_ = false;
  bool maximized_ = false;
  bool enabled_ = true;
};

ScriptUi::ScriptUi(std::ostream* transcript, const std::vector<std::string>& script_lines,
                   ScriptUiOptions options)
    : out_(transcript), options_(std::move(options)) {
  for (size_t i = 0; i < script_lines.size(); ++i) {
    const std::string line = Trim(script_lines[i]);
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string command;
    std::string argument;
    std::string surplus;
    words >> command >> argument >> surplus;
    const int number = static_cast<int>(i + 1);
    const std::string where = "UI script line " + std::to_string(number) + ": ";
    if (!surplus.empty()) throw Exception(where + "too many words in \"" + line + "\"");
    command = Lower(command);
    if (command == "answer") {
      const int result = MessageBoxResultFromName(argument);
      if (result == 0) {
        throw Exception(where + "\"" + argument +
                        "\" is not an answer (OK, Cancel, Yes, No, Abort, Retry, Ignore)");
      }
      answers_.push_back(result);
    } else if (command == "activate") {
      actions_.push_back({Action::kActivate, argument, number});
    } else if (command == "close") {
      actions_.push_back({Action::kClose, argument, number});
    } else {
      throw Exception(where + "unknown command \"" + command +
                      "\" (expected answer, activate or close)");
    }
  }
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
       (params.bordered ? "" : " borderless"));
  windows_.push_back(window.get());
  return window;
}

int ScriptUi::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const int fallback = MessageBoxDefault(flags);
  for (const std::string& line : MessageBoxLines(text, caption, flags)) Note(line);
  if (next_answer_ < answers_.size()) {
    const int wanted = answers_[next_answer_++];
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

bool ScriptUi::HandleMessage() {
  if (quit_posted_) return false;
  if (!RunNextStep()) {
    // Nothing left: the user closes the front window; if that does not end the program, it ends.
    Window* front = ActiveOrFront();
    if (front != nullptr && idle_closes_ < 2) {
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
    Window* target = action.target.empty() ? ActiveOrFront() : Find(action.target);
    const char* verb = action.kind == Action::kActivate ? "activate" : "close";
    if (target == nullptr || !target->Visible()) {
      Note(std::string("script ") + verb + " " +
           (action.target.empty() ? std::string("(no window)") : action.target) +
           ": no such window is shown");
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

void ScriptUi::PostQuit(int exit_code) {
  if (quit_posted_) return;
  quit_posted_ = true;
  quit_code_ = exit_code;
  Note("quit " + std::to_string(exit_code));
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
  window->Events()->NativePaint(*canvas);
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
