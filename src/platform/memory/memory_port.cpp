#include "platform/memory/memory_port.h"

#include <algorithm>
#include <system_error>

#include "base/text_codec.h"
#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

const char* const kUser = "C:\\Documents and Settings\\User";
const char* const kAllUsers = "C:\\Documents and Settings\\All Users";

// The library name as Windows looks it up: the file name, upper case, ".DLL" when it has no
// extension.
std::string LibraryKey(const std::string& name) {
  std::string file = name.substr(name.find_last_of("\\/") + 1);
  if (file.find('.') == std::string::npos) file += ".DLL";
  return FoldCase(file);
}

class MemorySystemInfo : public ISystemInfo {
 public:
  explicit MemorySystemInfo(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::optional<OsVersion> Version() override { return state_->version; }
  std::optional<std::string> SystemDirectory() override { return state_->system_dir; }
  std::optional<std::string> WindowsDirectory() override { return state_->windows_dir; }
  uint16_t UserDefaultLanguage() override { return state_->language; }
  ScreenInfo Screen() override { return state_->screen; }
  std::string ErrorText(uint32_t code) override {
    const auto it = state_->error_texts.find(code);
    return it == state_->error_texts.end() ? std::string() : it->second;
  }
  void ProcessMessages() override {
    ++state_->message_runs;
    if (state_->message_hook) state_->message_hook();
  }
  bool Reboot() override {
    ++state_->reboots;
    return state_->reboot_result;
  }
  // The simulated machine's code page is Windows-1252, the one code page the kit's codec knows.
  uint32_t AnsiCodePage() override { return 1252; }
  std::optional<std::string> ToAnsi(const std::string& utf8) override { return Utf8ToCp1252(utf8); }
  std::optional<std::string> FromAnsi(const std::string& ansi) override {
    return Cp1252ToUtf8(ansi);
  }

 private:
  std::shared_ptr<State> state_;
};

class MemoryShellFolders : public IShellFolders {
 public:
  explicit MemoryShellFolders(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::optional<std::string> SpecialFolder(int csidl) override {
    const auto it = state_->shell_folders.find(csidl);
    if (it == state_->shell_folders.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::shared_ptr<State> state_;
};

class MemoryLibraries : public ILibraries {
 public:
  explicit MemoryLibraries(std::shared_ptr<State> state) : state_(std::move(state)) {}
  bool CanLoad(const std::string& name) override {
    return !name.empty() && state_->libraries.count(LibraryKey(name)) != 0;
  }

  ServerRegistration RegisterServer(const std::string& path) override {
    return CallServer(path, "DllRegisterServer", false);
  }
  ServerRegistration UnregisterServer(const std::string& path) override {
    return CallServer(path, "DllUnregisterServer", true);
  }

  int32_t RegisterTypeLibrary(const std::string& path) override {
    return CallTypeLibrary(path, "RegisterTypeLib", false);
  }
  int32_t UnregisterTypeLibrary(const std::string& path) override {
    return CallTypeLibrary(path, "UnRegisterTypeLib", true);
  }

 private:
  static constexpr uint32_t kProcNotFound = 127;
  // What the 9x line says for a library that is not there (ERROR_DLL_NOT_FOUND).
  static constexpr uint32_t kDllNotFound = 1157;

  ServerRegistration CallServer(const std::string& path, const char* entry, bool removal) {
    state_->server_calls.push_back(ServerCall{entry, path});
    ServerRegistration outcome;
    const ServerScript* script = Find(path);
    if (!Exists(path)) {
      outcome.outcome = ServerRegistration::Outcome::NotLoaded;
      const bool nine_x = state_->version && state_->version->platform == PlatformId::Windows;
      outcome.error = nine_x ? kDllNotFound : err::kModNotFound;
    } else if (script == nullptr || !script->loads) {
      outcome.outcome = ServerRegistration::Outcome::NotLoaded;
      outcome.error = script == nullptr ? err::kBadExeFormat : script->load_error;
    } else if (!script->has_entry) {
      outcome.outcome = ServerRegistration::Outcome::NoEntryPoint;
      outcome.error = kProcNotFound;
    } else {
      const auto& run = removal ? script->on_unregister : script->on_register;
      if (run) run();
      outcome.result = removal ? script->unregister_result : script->result;
      if (outcome.result != 0) outcome.outcome = ServerRegistration::Outcome::Refused;
    }
    return outcome;
  }

  int32_t CallTypeLibrary(const std::string& path, const char* call, bool removal) {
    state_->server_calls.push_back(ServerCall{call, path});
    const ServerScript* script = Find(path);
    if (!Exists(path) || script == nullptr || !script->loads) return hresult::kCantLoadLibrary;
    const auto& run = removal ? script->on_unregister : script->on_register;
    if (run) run();
    return removal ? script->unregister_result : script->result;
  }

  const ServerScript* Find(const std::string& path) const {
    const auto it = state_->servers.find(LibraryKey(path));
    return it == state_->servers.end() ? nullptr : &it->second;
  }
  bool Exists(const std::string& path) {
    uint32_t error = 0;
    const std::optional<Located> at = state_->Locate(path, &error);
    return at && at->exists && !at->is_dir;
  }

  std::shared_ptr<State> state_;
};

class MemoryProcess : public IProcess {
 public:
  MemoryProcess(uint32_t id, const LaunchScript& script) : id_(id), script_(script) {}
  uint32_t Id() const override { return id_; }
  uint32_t WaitForInputIdle(uint32_t) override { return script_.input_idle; }
  bool WaitForExit(uint32_t) override { return script_.exits; }
  std::optional<uint32_t> ExitCode() override {
    if (!script_.exits) return std::nullopt;
    return script_.exit_code;
  }

 private:
  uint32_t id_;
  LaunchScript script_;
};

class MemoryProcesses : public IProcesses {
 public:
  explicit MemoryProcesses(std::shared_ptr<State> state) : state_(std::move(state)) {}

  std::unique_ptr<IProcess> Create(const LaunchRequest& request) override {
    if (state_->refuse_process) return Fail(state_->process_error);
    if (request.application_name.empty() && request.command_line.empty()) {
      return Fail(err::kInvalidParameter);
    }
    // An explicit program file must exist, as must the start directory.
    if (!request.application_name.empty()) {
      const std::optional<Located> at = state_->Locate(request.application_name, &error_);
      if (!at) return nullptr;
      if (!at->exists || at->is_dir) {
        return Fail(at->parent_dir ? err::kFileNotFound : err::kPathNotFound);
      }
    }
    if (!request.current_directory.empty()) {
      const std::optional<Located> dir = state_->Locate(request.current_directory, &error_);
      if (!dir || !dir->is_dir) return Fail(err::kDirectory);
    }
    LaunchScript script = state_->default_script;
    if (!state_->scripts.empty()) {
      script = state_->scripts.front();
      state_->scripts.pop_front();
    }
    const uint32_t id = state_->next_pid;
    state_->next_pid += 4;
    state_->launches.push_back(LaunchRecord{request, id});
    if (script.on_start) script.on_start(request);
    error_ = err::kSuccess;
    return std::make_unique<MemoryProcess>(id, script);
  }

  uint32_t LastError() const override { return error_; }

 private:
  std::unique_ptr<IProcess> Fail(uint32_t code) {
    error_ = code;
    return nullptr;
  }

  std::shared_ptr<State> state_;
  uint32_t error_ = err::kSuccess;
};

}  // namespace

State::State(const fs::path& scratch_folder) : scratch(scratch_folder), cwd{'C', {}} {
  version = OsVersion{PlatformId::NT, 5, 1, 2600, "Service Pack 3"};
  system_dir = "C:\\WINDOWS\\system32";
  windows_dir = "C:\\WINDOWS";
  temp_path = "C:\\WINDOWS\\TEMP\\";
  module_file = "C:\\SETUP\\SETUP.EXE";
  const std::string user = kUser;
  const std::string all = kAllUsers;
  shell_folders = {
      {csidl::kDesktop, user + "\\Desktop"},
      {csidl::kPrograms, user + "\\Start Menu\\Programs"},
      {csidl::kPersonal, user + "\\My Documents"},
      {csidl::kFavorites, user + "\\Favorites"},
      {csidl::kStartup, user + "\\Start Menu\\Programs\\Startup"},
      {csidl::kRecent, user + "\\Recent"},
      {csidl::kSendTo, user + "\\SendTo"},
      {csidl::kStartMenu, user + "\\Start Menu"},
      {csidl::kDesktopDirectory, user + "\\Desktop"},
      {csidl::kNetHood, user + "\\NetHood"},
      {csidl::kFonts, "C:\\WINDOWS\\Fonts"},
      {csidl::kTemplates, user + "\\Templates"},
      {csidl::kCommonStartMenu, all + "\\Start Menu"},
      {csidl::kCommonPrograms, all + "\\Start Menu\\Programs"},
      {csidl::kCommonStartup, all + "\\Start Menu\\Programs\\Startup"},
      {csidl::kCommonDesktopDirectory, all + "\\Desktop"},
      {csidl::kAppData, user + "\\Application Data"},
      {csidl::kPrintHood, user + "\\PrintHood"},
      {csidl::kLocalAppData, user + "\\Local Settings\\Application Data"},
      {csidl::kCommonFavorites, all + "\\Favorites"},
      {csidl::kInternetCache, user + "\\Local Settings\\Temporary Internet Files"},
      {csidl::kCookies, user + "\\Cookies"},
      {csidl::kHistory, user + "\\Local Settings\\History"},
      {csidl::kCommonAppData, all + "\\Application Data"},
      {csidl::kWindows, "C:\\WINDOWS"},
      {csidl::kSystem, "C:\\WINDOWS\\system32"},
      {csidl::kProgramFiles, "C:\\Program Files"},
      {csidl::kProgramFilesCommon, "C:\\Program Files\\Common Files"},
      {csidl::kCommonTemplates, all + "\\Templates"},
      {csidl::kCommonDocuments, all + "\\Documents"},
  };
  for (const char* lib :
       {"KERNEL32", "USER32", "GDI32", "ADVAPI32", "SHELL32", "OLE32", "OLEAUT32", "COMCTL32",
        "COMDLG32", "VERSION", "WININET", "SHFOLDER", "RICHED20", "RICHED32"}) {
    libraries.insert(LibraryKey(lib));
  }
  error_texts = {
      {err::kSuccess, "The operation completed successfully."},
      {err::kFileNotFound, "The system cannot find the file specified."},
      {err::kPathNotFound, "The system cannot find the path specified."},
      {err::kAccessDenied, "Access is denied."},
      {err::kInvalidHandle, "The handle is invalid."},
      {err::kNotEnoughMemory, "Not enough storage is available to process this command."},
      {err::kInvalidDrive, "The system cannot find the drive specified."},
      {err::kNotSameDevice, "The system cannot move the file to a different disk drive."},
      {err::kSharingViolation,
       "The process cannot access the file because it is being used by another process."},
      {err::kLockViolation,
       "The process cannot access the file because another process has locked a portion of "
       "the file."},
      {err::kFileExists, "The file exists."},
      {err::kInvalidParameter, "The parameter is incorrect."},
      {err::kDiskFull, "There is not enough space on the disk."},
      {err::kInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
      {err::kModNotFound, "The specified module could not be found."},
      {err::kDirNotEmpty, "The directory is not empty."},
      {err::kAlreadyExists, "Cannot create a file when that file already exists."},
      {err::kDirectory, "The directory name is invalid."},
  };
}

MemoryPlatform::MemoryPlatform(const std::filesystem::path& scratch)
    : state_(std::make_shared<State>(scratch)),
      registry_(MakeRegistry(state_)),
      files_(MakeFileSystem(state_)),
      system_(std::make_unique<MemorySystemInfo>(state_)),
      shell_(std::make_unique<MemoryShellFolders>(state_)),
      links_(MakeShellLinks(state_, *files_)),
      libraries_(std::make_unique<MemoryLibraries>(state_)),
      processes_(std::make_unique<MemoryProcesses>(state_)),
      ini_(MakeIniFiles(*files_)),
      net_(MakeNetState()),
      internet_(MakeInternet(net_)) {
  std::error_code ec;
  fs::create_directories(scratch, ec);
  AddDrive('C');
  for (const char* dir : {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\Fonts",
                          "C:\\Program Files\\Common Files"}) {
    files_->CreateDirectories(dir);
  }
  for (const auto& [id, path] : state_->shell_folders) files_->CreateDirectories(path);
}

MemoryPlatform::~MemoryPlatform() = default;

IRegistry& MemoryPlatform::Registry() { return *registry_; }
IFileSystem& MemoryPlatform::Files() { return *files_; }
ISystemInfo& MemoryPlatform::System() { return *system_; }
IShellFolders& MemoryPlatform::ShellFolders() { return *shell_; }
IShellLinks& MemoryPlatform::ShellLinks() { return *links_; }
ILibraries& MemoryPlatform::Libraries() { return *libraries_; }
IProcesses& MemoryPlatform::Processes() { return *processes_; }
IIniFiles& MemoryPlatform::IniFiles() { return *ini_; }
IInternet& MemoryPlatform::Internet() { return *internet_; }

void MemoryPlatform::AddDrive(char letter) {
  const char upper = static_cast<char>(letter & ~0x20);
  MapDrive(upper, state_->scratch / std::string(1, upper));
}

void MemoryPlatform::MapDrive(char letter, const std::filesystem::path& host_folder) {
  std::error_code ec;
  fs::create_directories(host_folder, ec);
  fs::path root = fs::absolute(host_folder, ec).lexically_normal();
  // "/tmp/x/" and "/tmp/x" are the same folder; the root "/" keeps its separator.
  if (!root.has_filename() && root.has_relative_path()) root = root.parent_path();
  state_->drives[static_cast<char>(letter & ~0x20)] = root;
}

void MemoryPlatform::RemoveDrive(char letter) {
  state_->drives.erase(static_cast<char>(letter & ~0x20));
}

std::optional<std::filesystem::path> MemoryPlatform::HostPath(const std::string& windows_path) {
  uint32_t error = 0;
  const std::optional<Located> at = state_->Locate(windows_path, &error);
  if (!at) return std::nullopt;
  return at->host;
}

std::optional<std::string> MemoryPlatform::WindowsPath(
    const std::filesystem::path& host_path) const {
  std::error_code ec;
  const fs::path path = fs::absolute(host_path, ec).lexically_normal();
  std::optional<std::string> best;
  size_t best_depth = 0;
  for (const auto& [letter, root] : state_->drives) {
    const fs::path rel = path.lexically_relative(root);
    if (rel.empty() || *rel.begin() == "..") continue;
    const size_t depth = static_cast<size_t>(std::distance(root.begin(), root.end()));
    if (best && depth <= best_depth) continue;
    WinPath win{letter, {}};
    for (const auto& piece : rel) {
      const std::string name = Utf8FromPath(piece);
      if (name == "." || name.empty()) continue;
      win.parts.push_back(name);
    }
    best = win.Text();
    best_depth = depth;
  }
  return best;
}

void MemoryPlatform::SetFreeSpace(char letter, DiskSpace space) {
  state_->space[static_cast<char>(letter & ~0x20)] = space;
}

void MemoryPlatform::SetVersion(std::optional<OsVersion> version) { state_->version = version; }
void MemoryPlatform::SetSystemDirectory(std::optional<std::string> path) {
  state_->system_dir = std::move(path);
}
void MemoryPlatform::SetWindowsDirectory(std::optional<std::string> path) {
  state_->windows_dir = std::move(path);
}
void MemoryPlatform::SetTempPath(std::optional<std::string> path) {
  if (path && (path->empty() || path->back() != '\\')) *path += "\\";
  state_->temp_path = std::move(path);
}
void MemoryPlatform::SetModuleFileName(const std::string& path) { state_->module_file = path; }
void MemoryPlatform::SetShellFolder(int csidl, std::optional<std::string> path) {
  if (path) {
    state_->shell_folders[csidl] = *path;
  } else {
    state_->shell_folders.erase(csidl);
  }
}
void MemoryPlatform::SetUserLanguage(uint16_t langid) { state_->language = langid; }
void MemoryPlatform::SetScreen(const ScreenInfo& screen) { state_->screen = screen; }
void MemoryPlatform::SetLibrary(const std::string& name, bool loads) {
  if (loads) {
    state_->libraries.insert(LibraryKey(name));
  } else {
    state_->libraries.erase(LibraryKey(name));
  }
}
void MemoryPlatform::SetErrorText(uint32_t code, const std::string& text) {
  state_->error_texts[code] = text;
}
void MemoryPlatform::SetUtcBias(int minutes) { state_->utc_bias = minutes; }
void MemoryPlatform::SetMessageHook(std::function<void()> hook) {
  state_->message_hook = std::move(hook);
}
int MemoryPlatform::MessageRuns() const { return state_->message_runs; }

uint64_t MemoryPlatform::FolderListings() const { return state_->listings_read; }

void MemoryPlatform::LockPath(const std::string& windows_path) {
  uint32_t error = 0;
  if (const std::optional<Located> at = state_->Locate(windows_path, &error)) {
    state_->locked.insert(at->key);
  }
}

void MemoryPlatform::UnlockPath(const std::string& windows_path) {
  uint32_t error = 0;
  if (const std::optional<Located> at = state_->Locate(windows_path, &error)) {
    state_->locked.erase(at->key);
  }
}

void MemoryPlatform::SetDiskFullAfter(std::optional<uint64_t> bytes) {
  state_->disk_budget = bytes;
}
void MemoryPlatform::RefuseRegistryWrites(bool refuse) { state_->refuse_registry = refuse; }
void MemoryPlatform::RefuseShellLinks(int32_t result) { state_->shell_link_failure = result; }
void MemoryPlatform::RefuseProcessStart(bool refuse, uint32_t error) {
  state_->refuse_process = refuse;
  state_->process_error = error;
}
void MemoryPlatform::SetRebootResult(bool accepted) { state_->reboot_result = accepted; }
void MemoryPlatform::RefuseRebootMoves(bool refuse, uint32_t error) {
  state_->refuse_moves = refuse;
  state_->moves_error = error;
}
void MemoryPlatform::SetServer(const std::string& file_name, const ServerScript& script) {
  state_->servers[LibraryKey(file_name)] = script;
}
const std::vector<ServerCall>& MemoryPlatform::ServerCalls() const { return state_->server_calls; }

void MemoryPlatform::ScriptLaunch(const LaunchScript& script) { state_->scripts.push_back(script); }
void MemoryPlatform::SetDefaultLaunchScript(const LaunchScript& script) {
  state_->default_script = script;
}
const std::vector<LaunchRecord>& MemoryPlatform::Launches() const { return state_->launches; }
const std::vector<RebootMove>& MemoryPlatform::RebootMoves() const { return state_->moves; }
int MemoryPlatform::RebootRequests() const { return state_->reboots; }
int MemoryPlatform::RegistryFlushes() const { return state_->flushes; }

void MemoryPlatform::ClearRecords() {
  state_->launches.clear();
  state_->scripts.clear();
  state_->moves.clear();
  state_->server_calls.clear();
  state_->reboots = 0;
  state_->flushes = 0;
  state_->message_runs = 0;
}

bool MemoryPlatform::ApplyRebootMoves() {
  bool all = true;
  // Nothing holds a file across a restart.
  state_->locked.clear();
  for (const auto& move : state_->moves) {
    if (move.to.empty()) {
      // A folder goes too, when it is empty by then.
      all = (files_->DirectoryExists(move.from) ? files_->RemoveDir(move.from)
                                                : files_->RemoveFile(move.from)) &&
            all;
      continue;
    }
    if (files_->FileExists(move.to)) {
      files_->SetAttributes(move.to, attr::kNormal);
      if (!files_->RemoveFile(move.to)) {
        all = false;
        continue;
      }
    }
    all = files_->RenameFile(move.from, move.to) && all;
  }
  state_->moves.clear();
  return all;
}

}  // namespace tmby::platform::memory
