// Starts another program and waits until it is ready for input: the files marked to run after
// the install, and servers that register themselves ("/REGSERVER", hidden).
#pragma once

#include <cstdint>
#include <string>

namespace tmby {

// How the started program shows its first window. Stored by name: keep the order.
enum TplShowMode { smNormal, smMaximized, smMinimized, smHide };

// The window show command of a show mode (1 normal, 3 maximized, 2 minimized, 0 hidden).
int ShowCommandOf(TplShowMode mode);

// The text of a start error code ("File not found" for 2; "Unknown error" for codes not listed).
const char* LaunchErrorText(uint32_t code);

// Raises EProgramLauncherFailed with the text of `code` and the code in its ErrorCode.
[[noreturn]] void RaiseLaunchError(uint32_t code);

class TProgramLauncher {
 public:
  TProgramLauncher() = default;
  virtual ~TProgramLauncher() = default;

  // Starts FileName (its quoted path, a blank and Parameters form the command line) in StartDir
  // (the installer's current directory when empty) with ShowMode. With Wait the call returns once
  // the program waits for input, or after Timeout milliseconds (-1: no limit); it never waits for
  // the program's end. Raises EProgramLauncherFailed with the system's error code when the
  // program cannot be started.
  void Launch();

  // The command line handed to the program.
  std::string CommandLine() const;

  std::string Action = "Open";  // the verb; programs are always started directly
  std::string FileName;
  std::string Parameters;
  TplShowMode ShowMode = smNormal;
  std::string StartDir;
  int32_t Timeout = -1;
  bool Wait = true;
};

}  // namespace tmby
