// The port: every contact of the kit with the operating system goes through these interfaces.
// The core never includes <windows.h>; an adapter (win32/ or memory/) answers.
//
// Conventions of the whole port:
// - Strings are UTF-8. Paths are Windows paths ("C:\dir\file.ext", case-insensitive names).
// - Calls that can fail return bool (or an empty optional / null pointer) and leave the Windows
//   error code of the failure in LastError() of the interface that failed; ErrorText() turns a
//   code into the system's message text. Both adapters use the Windows error codes below.
// - File times at the port are local DOS date-times (date in the high word, time in the low word,
//   two-second granularity), the form the archive headers and the overwrite rules work with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tmby::platform {

// Windows error codes both adapters report.
namespace err {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotEnoughMemory = 8;
inline constexpr uint32_t kInvalidDrive = 15;
inline constexpr uint32_t kNotSameDevice = 17;
inline constexpr uint32_t kNoMoreFiles = 18;
inline constexpr uint32_t kWriteFault = 29;
inline constexpr uint32_t kReadFault = 30;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kLockViolation = 33;
inline constexpr uint32_t kHandleEof = 38;
inline constexpr uint32_t kBadNetPath = 53;
inline constexpr uint32_t kFileExists = 80;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kNegativeSeek = 131;
inline constexpr uint32_t kBadPathname = 161;
inline constexpr uint32_t kDiskFull = 112;
inline constexpr uint32_t kInvalidName = 123;
inline constexpr uint32_t kModNotFound = 126;
inline constexpr uint32_t kDirNotEmpty = 145;
inline constexpr uint32_t kDirectory = 267;
inline constexpr uint32_t kAlreadyExists = 183;
inline constexpr uint32_t kFilenameExcedRange = 206;
inline constexpr uint32_t kMoreData = 234;
inline constexpr uint32_t kNoMoreItems = 259;
inline constexpr uint32_t kBadFileType = 222;
inline constexpr uint32_t kCallNotImplemented = 120;
inline constexpr uint32_t kKeyDeleted = 1018;
inline constexpr uint32_t kBadExeFormat = 193;
inline constexpr uint32_t kElevationRequired = 740;
inline constexpr uint32_t kNoUnicodeTranslation = 1113;  // a character the code page cannot hold
}  // namespace err

// ---------------------------------------------------------------------------------------------
// Registry

// The six root numbers of the kit, in this order (alphabetical by name).
enum class RootKey : int {
  ClassesRoot = 0,
  CurrentConfig = 1,
  CurrentUser = 2,
  DynData = 3,
  LocalMachine = 4,
  Users = 5,
};

// Maps a root number to a root key; numbers outside 0..5 give nullopt.
std::optional<RootKey> RootKeyFromNumber(int number);
const char* RootKeyName(RootKey root);

enum class RegValueType : uint32_t {
  None = 0,
  String = 1,        // REG_SZ
  ExpandString = 2,  // REG_EXPAND_SZ
  Binary = 3,        // REG_BINARY
  Integer = 4,       // REG_DWORD
  MultiString = 7,   // REG_MULTI_SZ
};

// Key paths are relative to the root, without a leading backslash ("Software\\Vendor\\Product").
// An empty path is the root key itself.
class IRegistry {
 public:
  virtual ~IRegistry() = default;

  virtual bool KeyExists(RootKey root, const std::string& key) = 0;
  // Creates the key and every missing parent. True when the key exists afterwards.
  virtual bool CreateKey(RootKey root, const std::string& key) = 0;
  // Deletes one key. Like the NT system call it refuses a key that still has subkeys
  // (LastError kAccessDenied); recursive removal is built on top of this by the core.
  virtual bool DeleteKey(RootKey root, const std::string& key) = 0;
  virtual bool DeleteValue(RootKey root, const std::string& key, const std::string& name) = 0;

  // Value type, or nullopt when the key or value is missing.
  virtual std::optional<RegValueType> ValueType(RootKey root, const std::string& key,
                                                const std::string& name) = 0;
  // Reads fail (nullopt) for a missing key or value and for a value of another type.
  // ReadString accepts String and ExpandString values (unexpanded).
  virtual std::optional<std::string> ReadString(RootKey root, const std::string& key,
                                                const std::string& name) = 0;
  virtual std::optional<uint32_t> ReadInteger(RootKey root, const std::string& key,
                                              const std::string& name) = 0;
  virtual std::optional<std::vector<uint8_t>> ReadBinary(RootKey root, const std::string& key,
                                                         const std::string& name) = 0;

  // Writes need an existing key (they do not create it).
  virtual bool WriteString(RootKey root, const std::string& key, const std::string& name,
                           const std::string& value, bool expand = false) = 0;
  virtual bool WriteInteger(RootKey root, const std::string& key, const std::string& name,
                            uint32_t value) = 0;
  virtual bool WriteBinary(RootKey root, const std::string& key, const std::string& name,
                           const std::vector<uint8_t>& value) = 0;

  // Names of the direct subkeys / values of a key; nullopt when the key cannot be opened.
  virtual std::optional<std::vector<std::string>> EnumKeys(RootKey root,
                                                           const std::string& key) = 0;
  virtual std::optional<std::vector<std::string>> EnumValues(RootKey root,
                                                             const std::string& key) = 0;

  // With lazy writing off, every write is flushed to disk before the call returns.
  virtual void SetLazyWrite(bool lazy) = 0;
  virtual bool LazyWrite() const = 0;

  virtual uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------------------
// Files and directories

enum class FileAccess : uint32_t { Read = 1, Write = 2, ReadWrite = 3 };

// Sharing granted to other openers, as a bit set.
enum FileShare : uint32_t {
  kShareNone = 0,
  kShareRead = 1,
  kShareWrite = 2,
  kShareDelete = 4,
  kShareAll = 7,
};

enum class FileDisposition : uint32_t {
  CreateNew = 1,         // fails when the file exists
  CreateAlways = 2,      // creates or truncates
  OpenExisting = 3,      // fails when the file is missing
  OpenAlways = 4,        // opens or creates
  TruncateExisting = 5,  // fails when missing, else truncates
};

enum class SeekOrigin : uint32_t { Begin = 0, Current = 1, End = 2 };

// Windows file attribute bits.
namespace attr {
inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kHidden = 0x2;
inline constexpr uint32_t kSystem = 0x4;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kTemporary = 0x100;
inline constexpr uint32_t kCompressed = 0x800;
inline constexpr uint32_t kOffline = 0x1000;
inline constexpr uint32_t kInvalid = 0xFFFFFFFF;
}  // namespace attr

// An open file. Closing happens on destruction.
class IFile {
 public:
  virtual ~IFile() = default;
  // Reads up to `size` bytes; `*done` receives the count (0 at the end of the file).
  virtual bool Read(void* buffer, size_t size, size_t* done) = 0;
  // Writes all `size` bytes or fails (kDiskFull when the disk runs out; what fitted is written).
  virtual bool Write(const void* buffer, size_t size) = 0;
  virtual bool Seek(int64_t offset, SeekOrigin origin, int64_t* position = nullptr) = 0;
  virtual std::optional<int64_t> Size() = 0;
  // Cuts or extends the file at the current position.
  virtual bool SetEnd() = 0;
  virtual bool Flush() = 0;
  virtual std::optional<uint32_t> GetDosTime() = 0;
  virtual bool SetDosTime(uint32_t dos_time) = 0;
  virtual uint32_t LastError() const = 0;
};

struct FindData {
  std::string name;        // long name, no directory part
  std::string short_name;  // 8.3 name when the file system has one, else empty
  uint32_t attributes = 0;
  int64_t size = 0;
  uint32_t dos_time = 0;  // last write, local DOS date-time
};

struct DiskSpace {
  uint64_t free_bytes = 0;  // available to the caller
  uint64_t total_bytes = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Null on failure; LastError tells why (kSharingViolation for a file in use).
  virtual std::unique_ptr<IFile> Open(const std::string& path, FileAccess access, uint32_t share,
                                      FileDisposition disposition) = 0;

  virtual bool FileExists(const std::string& path) = 0;       // a file, not a directory
  virtual bool DirectoryExists(const std::string& path) = 0;  // a directory
  virtual std::optional<uint32_t> GetAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  virtual std::optional<int64_t> FileSize(const std::string& path) = 0;
  virtual std::optional<uint32_t> GetDosTime(const std::string& path) = 0;  // last write
  virtual bool SetDosTime(const std::string& path, uint32_t dos_time) = 0;
  // The last write as a day count since 1899-12-30 (from the DOS date-time, so in whole
  // two-second steps).
  std::optional<double> GetDayCount(const std::string& path);

  // Creates the directory and every missing parent; true when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path) = 0;
  virtual bool RemoveDir(const std::string& path) = 0;   // must be empty
  virtual bool RemoveFile(const std::string& path) = 0;  // kSharingViolation when in use
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  virtual bool CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) = 0;

  // Entries of a directory matching a pattern with * and ? wildcards, e.g. "C:\dir\*.dll".
  // "." and ".." are not listed. Empty when nothing matches.
  virtual std::vector<FindData> FindFiles(const std::string& pattern) = 0;

  // The 8.3 form of an existing path; the long path itself where no short name exists.
  virtual std::optional<std::string> ShortPathName(const std::string& path) = 0;
  virtual std::optional<std::string> FullPathName(const std::string& path) = 0;

  // The temporary directory, with a trailing backslash.
  virtual std::optional<std::string> TempPath() = 0;
  // Creates a new empty file with a unique name "<prefix>XXXX.tmp" in `dir` and returns its path.
  virtual std::optional<std::string> CreateTempFile(const std::string& dir,
                                                    const std::string& prefix) = 0;

  // Delayed replacement at the next restart (MoveFileEx with delay-until-reboot, replacing an
  // existing `to`): an empty `to` deletes `from` at the restart. True when recorded.
  virtual bool MoveFileAtReboot(const std::string& from, const std::string& to) = 0;

  virtual std::string CurrentDir() = 0;
  virtual bool SetCurrentDir(const std::string& path) = 0;
  // Free space of the drive or share that holds `path`.
  virtual std::optional<DiskSpace> FreeSpace(const std::string& path) = 0;

  // The full path of the running program.
  virtual std::string ModuleFileName() = 0;

  virtual uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------------------
// System information

enum class PlatformId : uint32_t { Win32s = 0, Windows = 1, NT = 2, Other = 3 };

struct OsVersion {
  PlatformId platform = PlatformId::NT;
  uint32_t major = 5;
  uint32_t minor = 1;
  uint32_t build = 2600;
  std::string service_pack;  // "Service Pack 3" or empty
};

struct ScreenInfo {
  int width = 1024;
  int height = 768;
  int bits_per_pixel = 32;
};

class ISystemInfo {
 public:
  virtual ~ISystemInfo() = default;
  // Nullopt when the system will not say.
  virtual std::optional<OsVersion> Version() = 0;
  virtual std::optional<std::string> SystemDirectory() = 0;   // no trailing backslash
  virtual std::optional<std::string> WindowsDirectory() = 0;  // no trailing backslash
  virtual uint16_t UserDefaultLanguage() = 0;                 // LANGID, e.g. 0x0409
  virtual ScreenInfo Screen() = 0;
  // The system's message text for an error code (no trailing line break); empty when the
  // system has none.
  virtual std::string ErrorText(uint32_t code) = 0;
  // Runs pending window messages once (the long operations call it once per buffer).
  virtual void ProcessMessages() = 0;
  // Asks Windows to restart (with the shutdown privilege). True when Windows accepted.
  virtual bool Reboot() = 0;

  // The system's ANSI code page (1252 on Western Windows): the code page of names that older
  // formats store in bytes.
  virtual uint32_t AnsiCodePage() = 0;
  // UTF-8 to the ANSI code page. Nullopt when a character has no place there: the system would
  // write its default character or a look-alike, which names something else.
  virtual std::optional<std::string> ToAnsi(const std::string& utf8) = 0;
  // The ANSI code page to UTF-8. Nullopt when the bytes are no text of the code page (a broken
  // double-byte sequence).
  virtual std::optional<std::string> FromAnsi(const std::string& ansi) = 0;
};

// ---------------------------------------------------------------------------------------------
// Shell folders

// CSIDL numbers the kit asks for.
namespace csidl {
inline constexpr int kDesktop = 0x0000;
inline constexpr int kPrograms = 0x0002;
inline constexpr int kPersonal = 0x0005;
inline constexpr int kFavorites = 0x0006;
inline constexpr int kStartup = 0x0007;
inline constexpr int kRecent = 0x0008;
inline constexpr int kSendTo = 0x0009;
inline constexpr int kStartMenu = 0x000b;
inline constexpr int kDesktopDirectory = 0x0010;
inline constexpr int kFonts = 0x0014;
inline constexpr int kTemplates = 0x0015;
inline constexpr int kCommonStartMenu = 0x0016;
inline constexpr int kCommonPrograms = 0x0017;
inline constexpr int kCommonStartup = 0x0018;
inline constexpr int kCommonDesktopDirectory = 0x0019;
inline constexpr int kAppData = 0x001a;
inline constexpr int kNetHood = 0x0013;
inline constexpr int kPrintHood = 0x001b;
inline constexpr int kLocalAppData = 0x001c;
inline constexpr int kCommonFavorites = 0x001f;
inline constexpr int kInternetCache = 0x0020;
inline constexpr int kCookies = 0x0021;
inline constexpr int kHistory = 0x0022;
inline constexpr int kCommonAppData = 0x0023;
inline constexpr int kWindows = 0x0024;
inline constexpr int kSystem = 0x0025;
inline constexpr int kProgramFiles = 0x0026;
inline constexpr int kProgramFilesCommon = 0x002b;
inline constexpr int kCommonTemplates = 0x002d;
inline constexpr int kCommonDocuments = 0x002e;
}  // namespace csidl

class IShellFolders {
 public:
  virtual ~IShellFolders() = default;
  // The folder's path without a trailing backslash; nullopt when the shell has none.
  virtual std::optional<std::string> SpecialFolder(int csidl) = 0;
};

// ---------------------------------------------------------------------------------------------
// Shell links

// COM results (HRESULTs) the shell link calls report. Success is 0 (S_OK); any negative value is a
// failure.
namespace hresult {
inline constexpr int32_t kFalse = 1;                                              // S_FALSE
inline constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFF);          // E_UNEXPECTED
inline constexpr int32_t kNoInterface = static_cast<int32_t>(0x80004002);         // E_NOINTERFACE
inline constexpr int32_t kFail = static_cast<int32_t>(0x80004005);                // E_FAIL
inline constexpr int32_t kNoAggregation = static_cast<int32_t>(0x80040110);       // CLASS_E_...
inline constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);  // REGDB_E_...
inline constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);         // E_OUTOFMEMORY
inline constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057);          // E_INVALIDARG
// HRESULT_FROM_WIN32: a Windows error code as a COM result.
constexpr int32_t FromWin32(uint32_t code) {
  return code == 0 ? 0 : static_cast<int32_t>((code & 0xFFFFu) | 0x80070000u);
}
}  // namespace hresult

// The longest texts a shell link keeps, in UTF-16 units: paths below MAX_PATH, arguments and
// description below INFOTIPSIZE. Longer ones are refused with kInvalidArg, as the shell would
// otherwise cut them short or read past its buffers.
inline constexpr size_t kMaxLinkPath = 259;
inline constexpr size_t kMaxLinkText = 1023;

// What a shell link file (".lnk") holds, as the shell's link object keeps it.
struct ShellLink {
  std::string target;  // the program, document or folder the link opens
  std::string arguments;
  std::string working_directory;
  std::string description;
  std::string icon_path;  // empty: the target's own icon
  int icon_index = 0;
  int show_command = 1;  // SW_SHOWNORMAL, SW_SHOWMAXIMIZED (3) or SW_SHOWMINNOACTIVE (7)
  uint16_t hot_key = 0;  // virtual key in the low byte, HOTKEYF_* modifiers in the high byte

  bool operator==(const ShellLink&) const = default;
};

class IShellLinks {
 public:
  virtual ~IShellLinks() = default;
  // Writes the link file `path` through the shell's link object, replacing a file of that name.
  // The folder must exist. 0 on success, or the HRESULT of the step that failed (making the link
  // object, setting a field, saving it); no link file is written then.
  virtual int32_t Save(const std::string& path, const ShellLink& link) = 0;
  // Reads a link file back; nullopt with LastResult() when it cannot be loaded.
  virtual std::optional<ShellLink> Load(const std::string& path) = 0;
  virtual int32_t LastResult() const = 0;
};

// The length of UTF-8 text in UTF-16 units, as the shell counts it.
size_t Utf16Length(const std::string& utf8);
// kInvalidArg when the link file's path or a field of `link` is longer than the shell keeps
// (kMaxLinkPath for the paths, kMaxLinkText for the arguments and description), else 0.
int32_t CheckShellLinkLengths(const std::string& path, const ShellLink& link);

// ---------------------------------------------------------------------------------------------
// Libraries

// What registering (or unregistering) a self-registering library came to.
struct ServerRegistration {
  enum class Outcome {
    Registered,    // DllRegisterServer (DllUnregisterServer) returned 0
    NotLoaded,     // the library did not load: `error` says why
    NoEntryPoint,  // the library lacks the entry point: `error` says why
    Refused,       // the entry point returned `result`
  };
  Outcome outcome = Outcome::Registered;
  uint32_t error = 0;
  int32_t result = 0;
};

// HRESULTs the adapters report for type libraries.
namespace hresult {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kCantLoadLibrary =
    static_cast<int32_t>(0x80029C4A);  // TYPE_E_CANTLOADLIBRARY
inline constexpr int32_t kRegistryAccess =
    static_cast<int32_t>(0x8002801C);  // TYPE_E_REGISTRYACCESS
}  // namespace hresult

class ILibraries {
 public:
  virtual ~ILibraries() = default;
  // True when the library loads (the open-file error box suppressed); it is freed again.
  virtual bool CanLoad(const std::string& name) = 0;
  // Registers a self-registering server in this process: with COM initialised, loads the
  // library, calls its "DllRegisterServer" and frees it again.
  virtual ServerRegistration RegisterServer(const std::string& path) = 0;
  // Loads the type library and registers it, with the directory of the help file its
  // documentation names as help directory. kOk, or the HRESULT of the step that failed.
  virtual int32_t RegisterTypeLibrary(const std::string& path) = 0;
  // The uninstaller's counterparts: the library's "DllUnregisterServer", called the same way,
  // and the removal of a type library's registration (by the identifier, version, locale and
  // system kind the file names). kOk, or the HRESULT of the step that failed.
  virtual ServerRegistration UnregisterServer(const std::string& path) = 0;
  virtual int32_t UnregisterTypeLibrary(const std::string& path) = 0;
};

// ---------------------------------------------------------------------------------------------
// Processes

// SW_* show modes.
namespace show {
inline constexpr int kHide = 0;
inline constexpr int kNormal = 1;
inline constexpr int kMinimized = 2;
inline constexpr int kMaximized = 3;
inline constexpr int kNoActivate = 4;
inline constexpr int kShow = 5;
inline constexpr int kMinimize = 6;
inline constexpr int kMinNoActive = 7;
inline constexpr int kShowNA = 8;
inline constexpr int kRestore = 9;
inline constexpr int kShowDefault = 10;
}  // namespace show

struct LaunchRequest {
  std::string application_name;   // the program file itself; empty: the first word of command_line
  std::string command_line;       // program and arguments, quoted as Windows expects
  std::string current_directory;  // empty: the caller's
  int show_mode = show::kNormal;
};

class IProcess {
 public:
  virtual ~IProcess() = default;
  virtual uint32_t Id() const = 0;
  // WaitForInputIdle: 0 when idle, kWaitTimeout on time-out, kWaitFailed otherwise.
  virtual uint32_t WaitForInputIdle(uint32_t timeout_ms) = 0;
  // Waits for the end; true when it ended within the time (0xFFFFFFFF waits for ever).
  virtual bool WaitForExit(uint32_t timeout_ms) = 0;
  virtual std::optional<uint32_t> ExitCode() = 0;
};

inline constexpr uint32_t kWaitTimeout = 258;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // Null on failure (LastError tells why).
  virtual std::unique_ptr<IProcess> Create(const LaunchRequest& request) = 0;
  virtual uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------------------
// INI files

// Initialisation files as the system's profile functions keep them: "[Section]" headers and
// "key=value" lines, section and key names compared without regard to case. `file` is a full
// path.
class IIniFiles {
 public:
  virtual ~IIniFiles() = default;
  // The value of `key` in `section`; nullopt when the file, the section or the key is missing.
  virtual std::optional<std::string> ReadString(const std::string& file, const std::string& section,
                                                const std::string& key) = 0;
  // Writes the key (an existing key gets the new value in its place), adding the section at the
  // end of the file and the file itself when they are missing.
  virtual bool WriteString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& value) = 0;
  virtual uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------------------
// Internet sessions: the Windows Internet library (WININET.DLL), loaded at run time by name so
// that the kit starts on machines without it. The calls are those of its ANSI functions, with
// their flags and error codes.

namespace inet {
// The library's file name, as the kit loads it.
inline constexpr const char* kLibraryName = "WININET.DLL";
// InternetOpen access type: the system's configured proxy settings.
inline constexpr uint32_t kOpenTypePreconfig = 0;
// InternetConnect services.
inline constexpr uint32_t kServiceFtp = 1;
inline constexpr uint32_t kServiceHttp = 3;
// Request flags.
inline constexpr uint32_t kFlagReload = 0x80000000;
inline constexpr uint32_t kFlagExistingConnect = 0x20000000;
inline constexpr uint32_t kFlagNoCacheWrite = 0x04000000;
// FtpOpenFile: read access and the image (binary) transfer type.
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kFtpTransferBinary = 2;
// HttpQueryInfo levels.
inline constexpr uint32_t kQueryContentLength = 5;
inline constexpr uint32_t kQueryStatusCode = 19;
inline constexpr uint32_t kQueryStatusText = 20;
// Error codes of the library.
inline constexpr uint32_t kErrorTimeout = 12002;
inline constexpr uint32_t kErrorExtendedError = 12003;
inline constexpr uint32_t kErrorNameNotResolved = 12007;
inline constexpr uint32_t kErrorLoginFailure = 12015;
inline constexpr uint32_t kErrorConnectionAborted = 12030;
inline constexpr uint32_t kErrorCannotConnect = 12029;
inline constexpr uint32_t kErrorHeaderNotFound = 12150;
// The Windows error of a function that the library does not export.
inline constexpr uint32_t kProcNotFound = 127;
}  // namespace inet

// A handle of the library (session, connection, open file or request); 0 is none.
using InternetHandle = uintptr_t;

// One loaded instance of the library; destroying it frees the library. A call of a function that
// was not bound first fails with inet::kProcNotFound.
class IInternetLibrary {
 public:
  virtual ~IInternetLibrary() = default;
  // Looks up an exported function by its name ("InternetOpenA"); false when the library lacks it.
  virtual bool Bind(const std::string& function) = 0;

  // InternetOpenA: no proxy, no bypass list.
  virtual InternetHandle Open(const std::string& agent, uint32_t access, uint32_t flags) = 0;
  // InternetConnectA; a missing user name or password is passed as a null pointer (for FTP the
  // server's anonymous login then applies). Port 0 is the service's default port.
  virtual InternetHandle Connect(InternetHandle session, const std::string& host, uint16_t port,
                                 const std::optional<std::string>& user,
                                 const std::optional<std::string>& password, uint32_t service,
                                 uint32_t flags) = 0;
  // FtpSetCurrentDirectoryA.
  virtual bool FtpSetCurrentDirectory(InternetHandle connection, const std::string& dir) = 0;
  // InternetCloseHandle.
  virtual bool CloseHandle(InternetHandle handle) = 0;
  // InternetQueryDataAvailable: the bytes that can be read at once.
  virtual bool QueryDataAvailable(InternetHandle file, uint32_t* bytes) = 0;
  // InternetReadFile: `*done` 0 with success at the end of the data.
  virtual bool ReadFile(InternetHandle file, void* buffer, uint32_t size, uint32_t* done) = 0;
  // FtpOpenFileA.
  virtual InternetHandle FtpOpenFile(InternetHandle connection, const std::string& name,
                                     uint32_t access, uint32_t flags) = 0;
  // HttpOpenRequestA: the default HTTP version, no referrer, no accept types.
  virtual InternetHandle HttpOpenRequest(InternetHandle connection, const std::string& verb,
                                         const std::string& object, uint32_t flags) = 0;
  // HttpSendRequestA with these header lines (their length passed explicitly) and no body.
  virtual bool HttpSendRequest(InternetHandle request, const std::string& headers) = 0;
  // HttpQueryInfoA into a buffer of `capacity` bytes; `*text` receives what the call left in the
  // buffer up to its first NUL, also when the call fails.
  virtual bool HttpQueryInfo(InternetHandle request, uint32_t level, uint32_t capacity,
                             std::string* text) = 0;
  // InternetGetLastResponseInfoA into a buffer of `capacity` characters: the server's last
  // response text on this thread.
  virtual bool GetLastResponseInfo(uint32_t capacity, std::string* text) = 0;
  // InternetSetOptionA with the connect, send and receive time-outs of a handle, in milliseconds
  // (bound on its own when the library is loaded; false when the library lacks it).
  virtual bool SetTimeouts(InternetHandle handle, uint32_t milliseconds) = 0;

  // The thread's last error as the last call through this library left it (a call that
  // succeeds need not clear it).
  virtual uint32_t LastError() const = 0;
};

class IInternet {
 public:
  virtual ~IInternet() = default;
  // Loads the library by its name; null when it cannot be loaded (LastError tells why).
  virtual std::unique_ptr<IInternetLibrary> Load() = 0;
  virtual uint32_t LastError() const = 0;
};

// ---------------------------------------------------------------------------------------------
// The whole port. Later parts add version resources and windows.

class IPlatform {
 public:
  virtual ~IPlatform() = default;
  virtual IRegistry& Registry() = 0;
  virtual IFileSystem& Files() = 0;
  virtual ISystemInfo& System() = 0;
  virtual IShellFolders& ShellFolders() = 0;
  virtual IShellLinks& ShellLinks() = 0;
  virtual ILibraries& Libraries() = 0;
  virtual IProcesses& Processes() = 0;
  virtual IIniFiles& IniFiles() = 0;
  virtual IInternet& Internet() = 0;
};

// The port the kit runs on. Programs install their adapter at start; tests install theirs.
IPlatform& Port();
// Installs `platform` (not owned) and returns the previous one; null restores the default.
IPlatform* SetPort(IPlatform* platform);

}  // namespace tmby::platform
