// Starts another program and waits until it is ready for input: the files marked to run after
// the install, and servers that register themselves ("/REGSERVER", hidden).
#pragma once

#include <cstdint>
#include <string>

#include "base/component.h"

namespace tmby {

// How the started program shows its first window. Stored by name: keep the order.
enum TplShowMode { smNormal, smMaximized, smMinimized, smHide };
TMBY_ENUM_NAMES(TplShowMode, smNormal, smMaximized, smMinimized, smHide)

// The window show command of a show mode (1 normal, 3 maximized, 2 minimized, 0 hidden).
int ShowCommandOf(TplShowMode mode);

// The text of a system error code of a failed start ("File not found" for 2, "Access denied" for
// 5, "Sharing violation" for 32, "Invalid file" for 193; "Unknown error" for codes not listed).
const char* LaunchErrorText(uint32_t code);

// Raises EProgramLauncherFailed with the text of `code` (for a code not listed, the system's own
// description when it has one) and the code in its ErrorCode.
[[noreturn]] void RaiseLaunchError(uint32_t code);

// A component that starts a program; its published properties say which, how and for how long
// to wait.
class TProgramLauncher : public TComponent {
  TMBY_CLASS(TProgramLauncher, TComponent)
 public:
  explicit TProgramLauncher(TComponent* owner);

  // Starts FileName (its quoted path, a blank and Parameters form the command line) in StartDir
  // (the installer's current directory when empty) with ShowMode. With Wait the call returns once
  // the program waits for input, or after Timeout milliseconds (-1: no limit); it never waits for
  // the program's end. Raises EProgramLauncherFailed with the system's error code when the
  // program cannot be started.
  void Launch();

  // The command line handed to the program.
  std::string CommandLine() const;

  // The verb of the launch; programs are always started directly, whatever it says.
  const std::string& Action() const { return action_; }
  void SetAction(const std::string& action) { action_ = action; }
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& file_name) { file_name_ = file_name; }
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& parameters) { parameters_ = parameters; }
  TplShowMode ShowMode() const { return show_mode_; }
  void SetShowMode(TplShowMode mode) { show_mode_ = mode; }
  const std::string& StartDir() const { return start_dir_; }
  void SetStartDir(const std::string& dir) { start_dir_ = dir; }
  int32_t Timeout() const { return timeout_; }
  void SetTimeout(int32_t timeout) { timeout_ = timeout; }
  bool Wait() const { return wait_; }
  void SetWait(bool wait) { wait_ = wait; }

 private:
  std::string action_ = "Open";
  std::string file_name_;
  std::string parameters_;
  TplShowMode show_mode_ = smNormal;
  std::string start_dir_;
  int32_t timeout_ = -1;
  bool wait_ = true;
};

}  // namespace tmby
