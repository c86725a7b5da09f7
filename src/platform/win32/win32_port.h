// The Windows adapter of the port: the real Win32 API through its wide-character functions, with
// UTF-8 text at the port and UTF-16 at the API.
#pragma once

#include <memory>

#include "platform/port.h"

namespace tmby::platform::win32 {

class Win32Platform : public IPlatform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  IRegistry& Registry() override;
  IFileSystem& Files() override;
  ISystemInfo& System() override;
  IShellFolders& ShellFolders() override;
  IShellLinks& ShellLinks() override;
  ILibraries& Libraries() override;
  IProcesses& Processes() override;
  IIniFiles& IniFiles() override;

 private:
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IFileSystem> files_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IShellFolders> shell_;
  std::unique_ptr<IShellLinks> links_;
  std::unique_ptr<ILibraries> libraries_;
  std::unique_ptr<IProcesses> processes_;
  std::unique_ptr<IIniFiles> ini_;
};

}  // namespace tmby::platform::win32
