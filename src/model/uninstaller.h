// The uninstaller: removes an installed product by what its uninstall key records.
//
// The setup program leaves, in the product's uninstall key (kUninstallKeyRoot and the product name,
// in HKEY_LOCAL_MACHINE), the Add/Remove Programs values (among them "UninstallString", the
// uninstaller's path, a blank and the product name) and the uninstall log: the "Files" list
// (subkey "Files", and "Files1", "Files2", ... when a list could not take an entry) of installed
// files and shell links, and the "ActiveX" list of registered servers, each entry "path;kind"
// (0 a library, 1 a program server, 2 a type library). Shared files carry a reference count
// under SharedDLLs, help files a value under the Windows help key; the install names each shared
// file whose count it added one to in the list "SharedDLLs" (kCountedList), once per count.
//
// Removing a product, in this order:
//  1. The servers: unregistered by kind (DllUnregisterServer, "/UNREGSERVER", the type library's
//     registration) and removed.
//  2. The files and links, last installed first.
//     A file the install counted loses one reference under SharedDLLs (its short or its full
//     path), as Windows Installer counts: it stays, registered, while the count is above zero;
//     at zero the count goes, and the file goes only when the install wrote it (it is in
//     "Files"), and in the Windows or the System folder only when the user answers Windows'
//     "Remove shared file?" question with Yes (the default keeps it). A counted file the install
//     kept as it found it stays. A file the install did not count but that has a count of its
//     own (another product's) stays, its count untouched. A file in use
//     is removed at the next restart (MoveFileEx on the NT line, the "Rename" section of
//     WININIT.INI on Windows 95, 98 and ME). A help file takes its help value along.
//     Each entry leaves the log once handled, so a run that is cut short can be run again
//     without counting a shared file twice.
//     A counted file that is not in "Files" (kept by the overwrite rules) only loses its count.
//  3. The uninstaller itself (at the restart when it is the running program).
//  4. The folders that held what was removed, once empty, up to the first folder that is not
//     (never a drive's root or a folder of Windows or of the shell: Program Files, the Start
//     menu's Programs, ...). A folder whose last files go at the restart goes after them.
//  5. The product's key, when nothing was left behind; otherwise the key keeps what is left, so
//     that the product stays listed and a later run can finish the work.
//
// A product that is not installed (no key, or a key another setup program wrote) and a log that is
// damaged (an entry that is not a string, not a full path, names a folder, or a server entry
// without its kind) change nothing: the run says so.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/exceptions.h"

namespace tmby {

// A damaged uninstall log; the message says what is wrong.
class EUninstall : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EUninstall"; }
};

// One entry of a list of the log.
struct TUninstallItem {
  std::string Path;       // full path of the installed file or link
  int Kind = -1;          // server kind 0, 1 or 2; -1 in the "Files" list
  std::string ListKey;    // the list's key below HKEY_LOCAL_MACHINE (no leading backslash)
  std::string ValueName;  // "File3"
};

struct TUninstallLog {
  std::string Key;          // the product's key below HKEY_LOCAL_MACHINE (no leading backslash)
  std::string ProductName;  // as the user names it, trimmed
  std::string Uninstaller;  // the uninstaller's path from "UninstallString"
  std::vector<TUninstallItem> Files;    // the "Files" lists in order, entries by number
  std::vector<TUninstallItem> Servers;  // the "ActiveX" list by number
  std::vector<TUninstallItem> Counted;  // the shared files the install counted, by number
};

// The log of the product (the name compared without regard to case and surrounding blanks);
// nullopt when no such product was installed by this kit. Raises EUninstall for a damaged log.
std::optional<TUninstallLog> ReadUninstallLog(const std::string& productName);

struct TUninstallReport {
  int Removed = 0;                     // files, links and servers removed now
  std::vector<std::string> Kept;       // shared files other products still count
  std::vector<std::string> AtRestart;  // in use: removed at the next restart
  std::vector<std::string> Left;       // what could not be removed or unregistered, and why
  bool KeyRemoved = false;
};

// Asked for a shared file in the Windows or the System folder that no program counts any more:
// true removes it. Unset, such a file is kept.
using TRemoveSharedQuestion = std::function<bool(const std::string& path)>;

// Removes the product. `self` is the running program's path (removed at the restart when the log
// names it as the uninstaller).
TUninstallReport RemoveProduct(const TUninstallLog& log, const std::string& self,
                               const TRemoveSharedQuestion& removeShared = nullptr);

// The product name from the uninstaller's raw command line: what follows the program's own path.
// "UninstallString" quotes the path; older entries did not, and Windows hands such a line over as
// it stands ("C:\Program Files\X\uninstall.exe Product"), blanks in the path and all. So an
// unquoted path ends after the shortest run of words that `namesSelf` takes for the running
// program (its long or short path, with or without ".exe"); when none does, after the first word.
// Surrounding blanks go, and quotes around the whole name.
std::string ProductFromCommandLine(std::string_view line,
                                   const std::function<bool(const std::string&)>& namesSelf);

// The uninstaller's exit codes.
inline constexpr int kUninstallDone = 0;     // removed, or the user chose not to
inline constexpr int kUninstallNothing = 1;  // unknown product or damaged log: nothing changed
inline constexpr int kUninstallPartly = 2;   // removed, but some items are left

// The whole run for a product name (the program's arguments joined by blanks): asks the user
// through the current UI port's message boxes, removes the product and says how it went. The
// texts pass through the translator.
int RunUninstall(const std::string& productName, const std::string& self);

}  // namespace tmby
