// What the kit's Windows programs share at their start: their arguments, the question for their
// usage, and a way to print it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tmby::platform::win32 {

// The arguments after the program name, with the quotes removed as Windows splits them.
std::vector<std::string> CommandLineArguments();
// The command line after the program name as it stands, blanks and quotes kept, trimmed.
std::string CommandLineTail();
// Whether an argument is "--help" or "/?".
bool AsksForHelp(const std::vector<std::string>& arguments);
// Writes `text` to standard output when the program has one (a console, a pipe or a file); false
// when it has none (a program started from the desktop), so that the caller shows a box instead.
bool WriteStandardOutput(const std::string& text);
// The bytes of a resource of the program (RCDATA) by name; empty when it is missing.
std::string_view ResourceData(const std::string& name);

}  // namespace tmby::platform::win32
