// What the kit's Windows programs share at their start: their arguments, the question for their
// usage, and a way to print it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32_port.h"

namespace tmby::platform::win32 {

// The character set a program of the kit talks to the system in: that of the running Windows.
// A test flavour (built with TMBY_TEST_SWITCHES) can be told another one with TMBY_WIN32_API; the
// programs that ship read no environment variable. Inline, so that each program's own build
// decides.
inline ApiCharset ProgramApiCharset() {
#ifdef TMBY_TEST_SWITCHES
  return ChooseApiCharset();
#else
  return SystemApiCharset();
#endif
}

// The whole command line as the program was given it, as UTF-8.
std::string RawCommandLine(ApiCharset charset);
// The arguments after the program name, split as the C runtime splits them (quotes group,
// backslashes before a quote escape it), read through the character set the adapter uses.
std::vector<std::string> CommandLineArguments(ApiCharset charset);
// Whether an argument is "--help" or "/?".
bool AsksForHelp(const std::vector<std::string>& arguments);
// Writes `text` to standard output when the program has one (a console, a pipe or a file); false
// when it has none (a program started from the desktop), so that the caller shows a box instead.
bool WriteStandardOutput(const std::string& text);
// The bytes of a resource of the program (RCDATA) by name; empty when it is missing.
std::string_view ResourceData(const std::string& name);

}  // namespace tmby::platform::win32
