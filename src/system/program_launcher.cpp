#include "system/program_launcher.h"

#include "base/exceptions.h"
#include "platform/port.h"

namespace tmby {

int ShowCommandOf(TplShowMode mode) {
  switch (mode) {
    case smNormal: return platform::show::kNormal;
    case smMaximized: return platform::show::kMaximized;
    case smMinimized: return platform::show::kMinimized;
    case smHide: return platform::show::kHide;
  }
  return platform::show::kNormal;
}

const char* LaunchErrorText(uint32_t code) {
  // The codes are the system's error codes of a failed process start (GetLastError), not the old
  // start codes below 32 that a plain table of those would assume: 5 is a refused access, 32 a
  // sharing violation and 193 a file that is no program.
  switch (code) {
    case 0:
    case 8:
    case 14: return "Out of memory";
    case 2: return "File not found";
    case 3: return "Path not found";
    case 5: return "Access denied";
    case 11:
    case 191:
    case 193: return "Invalid file";
    case 32:
    case 33: return "Sharing violation";
    case 126:
    case 1157: return "Invalid dynamic link library";
    case 216:
    case 1150: return "Incorrect version of windows";
    case 1155: return "File type has no association";
    default: return "Unknown error";
  }
}

void RaiseLaunchError(uint32_t code) {
  std::string text = LaunchErrorText(code);
  // A code the table does not know still gets the system's own description when it has one.
  if (text == "Unknown error") {
    const std::string system = platform::Port().System().ErrorText(code);
    if (system.find_first_not_of(" \r\n") != std::string::npos) text = system;
  }
  EProgramLauncherFailed error(text);
  error.ErrorCode = code;
  throw error;
}

const TClassInfo& TProgramLauncher::StaticClass() {
  using T = TProgramLauncher;
  static const TClassInfo info =
      TClassInfo::Define<T, TComponent>("TProgramLauncher", [](TClassBuilder<T>& c) {
        c.String("Action", &T::Action, &T::SetAction, "Open");
        c.String("FileName", &T::FileName, &T::SetFileName);
        c.String("Parameters", &T::Parameters, &T::SetParameters);
        c.Enum("ShowMode", &T::ShowMode, &T::SetShowMode, std::optional<TplShowMode>(smNormal));
        c.String("StartDir", &T::StartDir, &T::SetStartDir);
        c.Integer("Timeout", &T::Timeout, &T::SetTimeout, -1);
        c.Boolean("Wait", &T::Wait, &T::SetWait, true);
      });
  return info;
}

TProgramLauncher::TProgramLauncher(TComponent* owner) : TComponent(owner) {}

std::string TProgramLauncher::CommandLine() const {
  std::string line = "\"" + file_name_ + "\"";
  if (!parameters_.empty()) line += " " + parameters_;
  return line;
}

void TProgramLauncher::Launch() {
  // Without a program name the system would take the first word of the command line instead.
  if (file_name_.find_first_not_of(' ') == std::string::npos) {
    RaiseLaunchError(platform::err::kFileNotFound);
  }
  platform::LaunchRequest request;
  request.application_name = file_name_;
  request.command_line = CommandLine();
  request.current_directory = start_dir_;
  request.show_mode = ShowCommandOf(show_mode_);
  platform::IProcesses& processes = platform::Port().Processes();
  std::unique_ptr<platform::IProcess> process = processes.Create(request);
  if (!process) RaiseLaunchError(processes.LastError());
  if (wait_) {
    // A console program has no message queue: the system answers at once.
    process->WaitForInputIdle(timeout_ < 0 ? platform::kInfinite : static_cast<uint32_t>(timeout_));
  }
}

}  // namespace tmby
