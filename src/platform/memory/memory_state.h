// Inside the memory adapter: the simulated machine shared by its interfaces and open files, and
// the Windows path rules it follows.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/memory_port.h"

namespace tmby::platform::memory {

namespace fs = std::filesystem;

// ---- Text and names

// Upper-cases UTF-8 text the way Windows compares names (ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic letters); bytes that are not valid UTF-8 stay as they are.
std::string FoldCase(std::string_view text);
bool SameName(std::string_view a, std::string_view b);

fs::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const fs::path& path);

// A name Windows accepts as one path component (no control characters, none of <>:"/\|?*).
bool IsValidName(std::string_view name, bool wildcards = false);
// True when `name` is its own 8.3 name (FAT rules; lower case allowed).
bool IsShortName(std::string_view name);
// Windows wildcard match ("*", "?"), without regard to case, with the DOS rules for "*.*" and a
// trailing ".*" or ".".
bool WildcardMatch(std::string_view pattern, std::string_view name);

// An absolute, normalised Windows path: a drive letter and its components.
struct WinPath {
  char drive = 'C';
  std::vector<std::string> parts;
  std::string Text() const;  // "C:\dir\file", the root as "C:\"
  WinPath Parent() const;
};

// Parses `text` against the current directory `cwd`. With `pattern`, the last component may
// hold wildcards and keeps its trailing dots. Nullopt with `*error` set when the path is invalid.
std::optional<WinPath> ParseWinPath(const std::string& text, const WinPath& cwd, bool pattern,
                                    uint32_t* error);

// ---- Registry

struct RegValue {
  std::string name;
  RegValueType type = RegValueType::None;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::string name;
  std::map<std::string, std::unique_ptr<RegNode>> subkeys;  // by folded name
  std::vector<RegValue> values;                             // in order of creation
  RegValue* FindValue(const std::string& value_name);
};

// ---- Files

// One handle opened through the adapter (or a lock standing for another program's handle).
struct OpenRecord {
  std::string key;  // folded host path
  fs::path host;
  uint32_t access = 0;  // kShareRead / kShareWrite / kShareDelete bits for the rights held
  uint32_t share = 0;
};

// Where a Windows path leads on the host.
struct Located {
  WinPath win;
  fs::path host;            // existing components in their stored case
  std::string key;          // folded host path, the identity of the file
  bool exists = false;      // the whole path exists
  bool is_dir = false;      // ... and is a directory
  bool parent_dir = false;  // the parent exists and is a directory
};

struct State {
  explicit State(const fs::path& scratch_folder);

  fs::path scratch;
  std::map<char, fs::path> drives;
  std::map<char, DiskSpace> space;
  WinPath cwd;

  std::optional<OsVersion> version;
  std::optional<std::string> system_dir;
  std::optional<std::string> windows_dir;
  std::optional<std::string> temp_path;
  std::string module_file;
  std::map<int, std::string> shell_folders;
  uint16_t language = 0x0409;
  ScreenInfo screen;
  std::set<std::string> libraries;  // normalised names
  std::map<uint32_t, std::string> error_texts;
  int utc_bias = 0;
  std::function<void()> message_hook;
  int message_runs = 0;

  std::set<std::string> locked;  // keys
  std::optional<uint64_t> disk_budget;
  bool refuse_registry = false;
  bool refuse_process = false;
  uint32_t process_error = err::kAccessDenied;
  bool reboot_result = true;
  int32_t shell_link_failure = 0;  // the HRESULT every link save fails with; 0: none
  bool refuse_moves = false;
  uint32_t moves_error = err::kAccessDenied;
  std::map<std::string, ServerScript> servers;  // by folded file name
  std::vector<ServerCall> server_calls;

  std::deque<LaunchScript> scripts;
  LaunchScript default_script;
  std::vector<LaunchRecord> launches;
  uint32_t next_pid = 1000;
  std::vector<RebootMove> moves;
  int reboots = 0;
  int flushes = 0;

  std::vector<std::shared_ptr<OpenRecord>> open;
  std::map<std::string, uint32_t> attributes;  // key -> stored attribute bits
  // folded host directory -> (folded long name -> short name)
  std::map<std::string, std::map<std::string, std::string>> short_names;
  uint32_t temp_counter = 0;
  struct DirListing {
    fs::file_time_type stamp;
    std::map<std::string, std::string> names;  // folded -> stored
    bool valid = false;
  };
  std::map<std::string, DirListing> listings;  // by folded host directory
  // Folder listings read to find names: a path spelt as stored needs none.
  uint64_t listings_read = 0;

  RegNode roots[6];
  bool lazy_write = true;

  // Parses and follows a Windows path. Nullopt with `*error` when the path is invalid or its drive
  // is not mapped.
  std::optional<Located> Locate(const std::string& path, uint32_t* error, bool pattern = false);
  std::optional<Located> Locate(const WinPath& path, uint32_t* error);
  static std::string KeyOf(const fs::path& host);

  // kSuccess when a new handle with `access` and `share` may be opened next to the existing ones.
  uint32_t CheckSharing(const std::string& key, uint32_t access, uint32_t share) const;
  bool AnyOpenBelow(const std::string& dir_key) const;

  uint32_t StoredAttributes(const std::string& key) const;  // kArchive when never set
  void ForgetFile(const std::string& key);                  // attributes and locks stay with keys
  // Short name of `long_name` in host directory `dir` ("" when the name is already 8.3).
  std::string ShortNameOf(const fs::path& dir, const std::string& long_name);
  // The short names handed out in `dir` (folded long name -> short name), and a lookup in them.
  const std::map<std::string, std::string>& ShortNames(const fs::path& dir);
  static std::string ShortNameIn(const std::map<std::string, std::string>& table,
                                 const std::string& long_name);
  // The attributes Windows reports for an entry.
  uint32_t AttributesOf(const std::string& key, bool is_dir) const;
  // Long name of the entry of `dir` whose short name is `short_name`.
  std::optional<std::string> LongNameOfShort(const fs::path& dir, const std::string& short_name);
  // Valid entry names of a host directory, sorted without regard to case.
  static std::vector<std::string> ListNames(const fs::path& dir);
  // The entries of a host directory by folded name (kept between calls).
  const std::map<std::string, std::string>& DirIndex(const fs::path& dir);
  // The stored spelling of `name` in `dir` (`name` itself when there is none).
  std::string StoredName(const fs::path& dir, const std::string& name);
  // Around every change the adapter makes to a directory's entries.
  void BeforeChange(const fs::path& dir);
  void AfterChange(const fs::path& dir, const std::string& removed, const std::string& added);

  // Consumes the disk budget; returns how many of `bytes` fit.
  uint64_t Reserve(uint64_t bytes);

  // DOS date-time <-> host file time, with the time-zone bias.
  std::optional<uint32_t> DosTimeOf(const fs::path& host, uint32_t* error) const;
  bool SetDosTimeOf(const fs::path& host, uint32_t dos, uint32_t* error) const;

 private:
  std::map<std::string, std::string>& AssignShortNames(const fs::path& dir);
  std::optional<std::string> FindEntry(const fs::path& dir, const std::string& name);
  // The same by the folder's listing alone (the exact spelling is known to be absent).
  std::optional<std::string> FindListed(const fs::path& dir, const std::string& name);
};

// Factories of the interface objects.
std::unique_ptr<IRegistry> MakeRegistry(std::shared_ptr<State> state);
std::unique_ptr<IFileSystem> MakeFileSystem(std::shared_ptr<State> state);
std::unique_ptr<IShellLinks> MakeShellLinks(std::shared_ptr<State> state, IFileSystem& files);
// INI files kept as text files of `files`.
std::unique_ptr<IIniFiles> MakeIniFiles(IFileSystem& files);
std::shared_ptr<NetState> MakeNetState();
std::unique_ptr<IInternet> MakeInternet(std::shared_ptr<NetState> net);

}  // namespace tmby::platform::memory
