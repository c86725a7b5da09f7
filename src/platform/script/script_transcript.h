// The lines the scripted UI writes for a message box, shared by the scripted UI itself and by the
// programs that have no windows of their own to route through it (the loading program writes them
// straight into the transcript, without the adapter and the stream library it brings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmby::platform::script {

// True when the environment asks for the scripted UI (TMBY_UI=script, in any case).
bool ScriptUiRequested();

// A text in double quotes as transcripts show it: line breaks as \n and \r, quotes and
// backslashes escaped.
std::string QuoteTranscript(const std::string& text);

// The lines of a message box before its answer:
//   messagebox <icon> "<caption>" buttons <B1>[,<B2>...] default <B>
//   | <each line of the text>
std::vector<std::string> MessageBoxLines(const std::string& text, const std::string& caption,
                                         uint32_t flags);
// The answer line: "answer <B> (script)" or "answer <B> (default)".
std::string MessageBoxAnswerLine(int result, bool scripted);

}  // namespace tmby::platform::script
