// The end of a program whose start failed: an exception left the creation of the main window
// before the message loop ran, so no handler of the engine saw it. The program entry catches it
// and calls ShowFatalError, which shows the runtime's fatal-error box (stop icon, titled
// "Application Error") naming the exception class, the module, a code address and the message,
// and returns the failure exit code the program ends with. Under the script UI the box goes to
// the transcript; without any UI port it goes to standard error.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tmby::ui {

inline constexpr int kFatalErrorExitCode = 217;
inline constexpr const char* kFatalErrorCaption = "Application Error";

// "Exception IEInstall in module setup.exe at 0040A1B2.\n<message>." (a period is added when the
// message does not end with one).
std::string FatalErrorText(const std::exception& error, const std::string& module,
                           uintptr_t address);

// Shows the box and returns kFatalErrorExitCode. `address` is the code address to name; 0 takes
// the caller's return address.
int ShowFatalError(const std::exception& error, uintptr_t address = 0);

}  // namespace tmby::ui
