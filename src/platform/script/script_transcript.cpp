#include "platform/script/script_transcript.h"

#include <cctype>
#include <cstdlib>

#include "platform/ui_port.h"

namespace tmby::platform::script {

bool ScriptUiRequested() {
  const char* mode = std::getenv("TMBY_UI");
  if (mode == nullptr) return false;
  std::string lower(mode);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "script";
}

std::string QuoteTranscript(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::vector<std::string> MessageBoxLines(const std::string& text, const std::string& caption,
                                         uint32_t flags) {
  std::string names;
  for (int b : MessageBoxButtons(flags)) {
    names += std::string(names.empty() ? "" : ",") + MessageBoxResultName(b);
  }
  std::vector<std::string> lines{std::string("messagebox ") + MessageBoxIconName(flags) + " " +
                                 QuoteTranscript(caption) + " buttons " + names + " default " +
                                 MessageBoxResultName(MessageBoxDefault(flags)) +
                                 ((flags & mb::kRtlReading) != 0 ? " rtl" : "")};
  std::string line;
  for (char c : text + "\n") {
    if (c == '\n') {
      lines.push_back("| " + line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  return lines;
}

std::string MessageBoxAnswerLine(int result, bool scripted) {
  return std::string("answer ") + MessageBoxResultName(result) +
         (scripted ? " (script)" : " (default)");
}

}  // namespace tmby::platform::script
