// The in-process adapter of the port. Tests set up the machine the kit runs on: a registry tree in
// memory, Windows drives mapped to host folders (C: and the drives a test adds live under a scratch
// folder; any drive can be mapped to a host folder, as Wine maps Z: to "/"), the Windows version,
// folders, language and screen. Faults can be injected (files in use, a disk that fills up, refused
// registry writes, refused program starts, failing shell links), and launches, delayed replacements
// and reboot requests are recorded for the test to inspect.
//
// Paths follow Windows rules: drive letters, "\" or "/" as separators, "." and "..", names compared
// without regard to case (a new file takes the case of an existing entry of the same name), 8.3
// short names generated the Windows way ("LONGFI~1.TXT"), sharing modes enforced among the handles
// opened through the adapter. UNC paths ("\\server\share") are refused with kBadNetPath. On a
// Windows host the adapter's own open files cannot be renamed or deleted even with kShareDelete,
// since the C runtime opens host files without delete sharing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/port.h"

namespace tmby::platform::memory {

// What a started program does when the kit waits for it; the test scripts it.
struct LaunchScript {
  uint32_t input_idle = 0;  // result of WaitForInputIdle (0, kWaitTimeout or kWaitFailed)
  bool exits = true;        // WaitForExit returns true
  uint32_t exit_code = 0;
  // What the program does once started (a server started with /REGSERVER writes its keys).
  std::function<void(const LaunchRequest&)> on_start;
};

// A self-registering server the machine knows by its file name: a library with
// "DllRegisterServer" and "DllUnregisterServer", or a type library.
struct ServerScript {
  bool loads = true;  // the library (or type library) loads
  uint32_t load_error = err::kBadExeFormat;
  bool has_entry = true;  // the library exports the entry point asked for
  int32_t result = 0;     // what the registration returns
  // What the registration writes, run before it returns `result`.
  std::function<void()> on_register;
  int32_t unregister_result = 0;  // what the removal of the registration returns
  std::function<void()> on_unregister;
};

// One registration (or removal of one) the kit asked for.
struct ServerCall {
  // "DllRegisterServer", "RegisterTypeLib", "DllUnregisterServer" or "UnRegisterTypeLib"
  std::string kind;
  std::string path;
};

struct LaunchRecord {
  LaunchRequest request;
  uint32_t process_id = 0;
};

struct RebootMove {
  std::string from;  // full path
  std::string to;    // full path; empty: delete `from`
};

// A server that the internet library reaches by host name (any port): it serves the files below
// a host folder over HTTP and FTP alike.
struct NetServer {
  std::filesystem::path folder;
  // The named login FTP accepts; with an empty user name only the anonymous login is accepted.
  std::string user;
  std::string password;
  bool anonymous = true;  // FTP accepts the anonymous login
  // HTTP answers announce the length of the body (Content-Length).
  bool content_length = true;
};

struct State;
struct NetState;

class MemoryPlatform : public IPlatform {
 public:
  // `scratch` is a host folder for the drives (created when missing; the caller removes it).
  // The machine starts as Windows XP (5.1.2600) with drive C: holding "C:\WINDOWS",
  // "C:\WINDOWS\SYSTEM32", "C:\WINDOWS\TEMP", "C:\Program Files" and the usual shell folders,
  // English (0x0409) with Windows-1252 as the ANSI code page, a 1024x768 screen at 32 bits, an
  // empty registry and no faults.
  explicit MemoryPlatform(const std::filesystem::path& scratch);
  ~MemoryPlatform() override;
  MemoryPlatform(const MemoryPlatform&) = delete;
  MemoryPlatform& operator=(const MemoryPlatform&) = delete;

  IRegistry& Registry() override;
  IFileSystem& Files() override;
  ISystemInfo& System() override;
  IShellFolders& ShellFolders() override;
  IShellLinks& ShellLinks() override;
  ILibraries& Libraries() override;
  IProcesses& Processes() override;
  IIniFiles& IniFiles() override;
  IInternet& Internet() override;

  // --- Drives ---------------------------------------------------------------------------------
  // Adds drive `letter` as the subfolder "<scratch>/<letter>" (created).
  void AddDrive(char letter);
  // Maps drive `letter` to any host folder, e.g. MapDrive('Z', "/").
  void MapDrive(char letter, const std::filesystem::path& host_folder);
  void RemoveDrive(char letter);
  // The host path a Windows path stands for (existing components in their stored case); nullopt
  // for a path on no mapped drive or with an invalid name.
  std::optional<std::filesystem::path> HostPath(const std::string& windows_path);
  // The Windows path of a host path on a mapped drive (the most specific mapping wins), e.g.
  // "/tmp/x" -> "Z:\tmp\x" with Z: mapped to "/"; nullopt when no drive holds it.
  std::optional<std::string> WindowsPath(const std::filesystem::path& host_path) const;
  // Free and total space of a drive (default: 2 GiB free of 8 GiB).
  void SetFreeSpace(char letter, DiskSpace space);

  // --- The machine ----------------------------------------------------------------------------
  void SetVersion(std::optional<OsVersion> version);  // nullopt: the query fails
  void SetSystemDirectory(std::optional<std::string> path);
  void SetWindowsDirectory(std::optional<std::string> path);
  void SetTempPath(std::optional<std::string> path);  // stored with a trailing backslash
  void SetModuleFileName(const std::string& path);
  void SetShellFolder(int csidl, std::optional<std::string> path);
  void SetUserLanguage(uint16_t langid);
  void SetScreen(const ScreenInfo& screen);
  // Names of libraries that load ("SHFOLDER.DLL"; compared by file name, ".DLL" assumed).
  void SetLibrary(const std::string& name, bool loads);
  void SetErrorText(uint32_t code, const std::string& text);
  // Minutes to add to local time to get UTC, as Windows counts its time-zone bias (default 0).
  void SetUtcBias(int minutes);
  // Called each time the kit lets pending window messages run (a test can press Cancel there).
  void SetMessageHook(std::function<void()> hook);
  int MessageRuns() const;

  // --- Faults ---------------------------------------------------------------------------------
  // A locked file is held by another program: opening, deleting or renaming it fails with
  // kSharingViolation until it is unlocked.
  void LockPath(const std::string& windows_path);
  void UnlockPath(const std::string& windows_path);
  // After `bytes` more bytes have been written, writes fail with kDiskFull (a write that does not
  // fit stores what fits). nullopt: no limit.
  void SetDiskFullAfter(std::optional<uint64_t> bytes);
  // Every registry change fails with kAccessDenied.
  void RefuseRegistryWrites(bool refuse);
  // Every program start fails with `error`.
  void RefuseProcessStart(bool refuse, uint32_t error = err::kAccessDenied);
  // Every shell link save fails with `result` (an HRESULT; 0 lets them succeed again).
  void RefuseShellLinks(int32_t result);
  // Whether Windows accepts a reboot request (default true).
  void SetRebootResult(bool accepted);
  // Delayed replacements fail with `error`. Windows 95, 98 and ME refuse them anyway: they have
  // no MoveFileEx (kCallNotImplemented).
  void RefuseRebootMoves(bool refuse, uint32_t error = err::kAccessDenied);
  // The server of that file name (compared without regard to case and folder). A library or type
  // library the machine does not know does not load (kBadExeFormat, kCantLoadLibrary); a missing
  // file does not either (kModNotFound, kDllNotFound on the 9x line).
  void SetServer(const std::string& file_name, const ServerScript& script);

  // --- Internet -------------------------------------------------------------------------------
  // Serves `server` under a host name (compared without regard to case); an unknown host is not
  // found. HTTP answers a missing file with status 404 and an error page that, like common
  // servers' pages, does not begin with the status.
  void ServeHost(const std::string& host, const NetServer& server);
  void StopServing(const std::string& host);
  // Whether WININET.DLL loads (default true), and the functions it lacks.
  void SetInternetLibrary(bool loads);
  void RemoveInternetFunction(const std::string& name);
  // Every transfer of a file ends after its first `bytes` bytes: with `error` 0 as though the
  // file ended there (a server that closes early), otherwise the read fails with `error`
  // (inet::kErrorTimeout for a server that stalls). nullopt: transfers run to the end.
  void CutTransfers(std::optional<uint64_t> bytes, uint32_t error = 0);
  // The calls the library received, one line each ("connect 127.0.0.1:0 service 3 user - ...").
  const std::vector<std::string>& InternetLog() const;
  // Handles of the library not closed yet.
  int OpenInternetHandles() const;

  // --- Records --------------------------------------------------------------------------------
  // What the next started programs do (in order); afterwards the default script applies.
  void ScriptLaunch(const LaunchScript& script);
  void SetDefaultLaunchScript(const LaunchScript& script);
  const std::vector<LaunchRecord>& Launches() const;
  const std::vector<RebootMove>& RebootMoves() const;
  const std::vector<ServerCall>& ServerCalls() const;
  int RebootRequests() const;
  // Registry writes flushed at once because lazy writing was off.
  int RegistryFlushes() const;
  // Host folders listed to find a name: a path spelt as the host stores it needs no listing.
  uint64_t FolderListings() const;
  // Forgets launches, delayed replacements, server calls, reboot requests, flushes and message
  // runs.
  void ClearRecords();
  // Carries out the recorded delayed replacements as Windows does at the restart and forgets them.
  // False when one of them could not be carried out.
  bool ApplyRebootMoves();

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IFileSystem> files_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IShellFolders> shell_;
  std::unique_ptr<IShellLinks> links_;
  std::unique_ptr<ILibraries> libraries_;
  std::unique_ptr<IProcesses> processes_;
  std::unique_ptr<IIniFiles> ini_;
  std::shared_ptr<NetState> net_;
  std::unique_ptr<IInternet> internet_;
};

}  // namespace tmby::platform::memory
