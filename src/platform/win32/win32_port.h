// The Windows adapter of the port: the real Win32 API, with UTF-8 text at the port.
//
// The adapter speaks to the system in one of two character sets, chosen once when it is made:
// - Wide: the wide-character functions with UTF-16 text (the NT family: NT 4, 2000, XP and later).
// - Ansi: the ANSI functions with text in the system's ANSI code page, and files opened without
//   delete sharing: Windows 95, 98 and ME, whose wide functions are stubs that fail and which
//   refuse FILE_SHARE_DELETE. Names the code page cannot hold fail there with
//   err::kNoUnicodeTranslation; MoveFileAtReboot fails with err::kCallNotImplemented, as
//   MoveFileEx does on those systems (they replace files at the restart through WININIT.INI).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/port.h"

namespace tmby::platform::win32 {

enum class ApiCharset { Wide, Ansi };

// The character set of the running system: ANSI on the 9x platform, wide on every other.
ApiCharset SystemApiCharset();
// The same, unless TMBY_WIN32_API=ansi or TMBY_WIN32_API=wide in the environment forces one (the
// tests run the ANSI path on any Windows with it). The programs that ship take SystemApiCharset.
ApiCharset ChooseApiCharset();
const char* ApiCharsetName(ApiCharset charset);  // "wide" or "ansi"

class Win32Platform : public IPlatform {
 public:
  explicit Win32Platform(ApiCharset charset = ChooseApiCharset());
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  ApiCharset Charset() const { return charset_; }

  IRegistry& Registry() override;
  IFileSystem& Files() override;
  ISystemInfo& System() override;
  IShellFolders& ShellFolders() override;
  IShellLinks& ShellLinks() override;
  ILibraries& Libraries() override;
  IProcesses& Processes() override;
  IIniFiles& IniFiles() override;
  IInternet& Internet() override;

 private:
  ApiCharset charset_;
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IFileSystem> files_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IShellFolders> shell_;
  std::unique_ptr<IShellLinks> links_;
  std::unique_ptr<ILibraries> libraries_;
  std::unique_ptr<IProcesses> processes_;
  std::unique_ptr<IIniFiles> ini_;
  std::unique_ptr<IInternet> internet_;
};

}  // namespace tmby::platform::win32
