#include "platform/ui_port.h"

#include <cctype>
#include <optional>
#include <stdexcept>
#include <utility>

#include "base/text_codec.h"

namespace tmby::platform {

namespace {
IUi* g_ui = nullptr;
std::function<bool()> g_right_to_left;
}  // namespace

void SetRightToLeftSource(std::function<bool()> source) { g_right_to_left = std::move(source); }

bool TextsReadFromRight() { return g_right_to_left && g_right_to_left(); }

uint32_t MessageBoxFlagsShown(uint32_t flags) {
  return TextsReadFromRight() ? flags | mb::kRtlReading | mb::kRight : flags;
}

std::vector<int> MessageBoxButtons(uint32_t flags) {
  switch (flags & mb::kTypeMask) {
    case mb::kOkCancel: return {id::kOk, id::kCancel};
    case mb::kAbortRetryIgnore: return {id::kAbort, id::kRetry, id::kIgnore};
    case mb::kYesNoCancel: return {id::kYes, id::kNo, id::kCancel};
    case mb::kYesNo: return {id::kYes, id::kNo};
    case mb::kRetryCancel: return {id::kRetry, id::kCancel};
    default: return {id::kOk};
  }
}

int MessageBoxDefault(uint32_t flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const size_t index = (flags & mb::kDefMask) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

const char* MessageBoxResultName(int result) {
  switch (result) {
    case id::kOk: return "OK";
    case id::kCancel: return "Cancel";
    case id::kAbort: return "Abort";
    case id::kRetry: return "Retry";
    case id::kIgnore: return "Ignore";
    case id::kYes: return "Yes";
    case id::kNo: return "No";
    default: return "";
  }
}

int MessageBoxResultFromName(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int result = id::kOk; result <= id::kNo; ++result) {
    std::string candidate;
    for (const char* p = MessageBoxResultName(result); *p != '\0'; ++p) {
      candidate += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    if (candidate == lower) return result;
  }
  return 0;
}

const char* MessageBoxIconName(uint32_t flags) {
  switch (flags & mb::kIconMask) {
    case mb::kIconStop: return "Stop";
    case mb::kIconQuestion: return "Question";
    case mb::kIconWarning: return "Warning";
    case mb::kIconInformation: return "Information";
    default: return "None";
  }
}

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPanel: return "panel";
    case ControlKind::kButton: return "button";
    case ControlKind::kCheckBox: return "checkbox";
    case ControlKind::kGroupBox: return "groupbox";
    case ControlKind::kRadioGroup: return "radiogroup";
    case ControlKind::kEdit: return "edit";
    case ControlKind::kMemo: return "memo";
    case ControlKind::kRichEdit: return "richedit";
    case ControlKind::kListBox: return "listbox";
    case ControlKind::kLabel: return "label";
    case ControlKind::kProgressBar: return "progressbar";
    case ControlKind::kTabControl: return "tabcontrol";
  }
  return "control";
}

std::string StripAccelChars(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return out;
}

char32_t AccelFold(char32_t c) {
  const bool capital = (c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
                       (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F);
  if (capital) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;  // Cyrillic capitals with marks (Ё, Є, ...)
  return c;
}

char32_t AccelCharOf(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    size_t at = i + 1;
    const std::optional<char32_t> c = DecodeUtf8(caption, &at);
    return c ? AccelFold(*c) : 0;
  }
  return 0;
}

IUi* CurrentUi() { return g_ui; }

IUi& Ui() {
  if (g_ui == nullptr) throw std::logic_error("no UI port installed");
  return *g_ui;
}

IUi* SetUi(IUi* ui) {
  IUi* previous = g_ui;
  g_ui = ui;
  return previous;
}

}  // namespace tmby::platform
