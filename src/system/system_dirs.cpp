#include "system/system_dirs.h"

#include "base/exceptions.h"
#include "base/path_text.h"
#include "platform/port.h"
#include "system/folder_cache.h"
#include "system/registry.h"

namespace tmby {

namespace {

constexpr int kCurrentUser = 2;
constexpr int kLocalMachine = 4;
const char kShellFolders[] =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// A path joined with a name: the path, one backslash, the name.
std::string Join(const std::string& path, const std::string& name) {
  return ExcludeTrailingBackslash(path) + "\\" + name;
}

// The Windows directory for a default; the folder lookups never fail, so a refusal gives "".
std::string WindowsDirForDefault() {
  return platform::Port().System().WindowsDirectory().value_or(std::string());
}

// "C:" of "C:\dir", "\\server\share" of "\\server\share\dir", else "".
std::string DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string::npos) return path;
    size_t share_end = path.find('\\', server_end + 1);
    return path.substr(0, share_end);
  }
  return std::string();
}

std::string ShellFolder(const char* value, const std::string& default_path) {
  return ExcludeTrailingBackslash(
      SystemFolderCache().Read(kCurrentUser, kShellFolders, value).value_or(default_path));
}

std::string CurrentVersionFolder(const char* value, const char* below_drive) {
  if (auto folder = SystemFolderCache().Read(kLocalMachine, kCurrentVersion, value)) {
    return ExcludeTrailingBackslash(*folder);
  }
  // The default follows the current drive, which may change between two lookups.
  return ExcludeTrailingBackslash(
      Join(DriveOf(platform::Port().Files().CurrentDir()), below_drive));
}

}  // namespace

std::string GetTempFile(bool keep) {
  platform::IFileSystem& files = platform::Port().Files();
  std::optional<std::string> dir = files.TempPath();
  std::optional<std::string> file;
  if (dir && !dir->empty()) file = files.CreateTempFile(*dir, "bat");
  if (!file || file->empty()) throw EAPIRoutines("Cannot create a temporary file");
  if (!keep) files.RemoveFile(*file);
  return *file;
}

std::string GetSystemDir() {
  std::optional<std::string> dir = platform::Port().System().SystemDirectory();
  if (!dir || dir->empty()) {
    throw EAPIRoutines("Could not retrieve the system directroy from windows");
  }
  return ExcludeTrailingBackslash(*dir);
}

std::string GetWindowsDir() {
  std::optional<std::string> dir = platform::Port().System().WindowsDirectory();
  if (!dir || dir->empty()) {
    throw EAPIRoutines("Could not retrieve the windows directory from windows");
  }
  return ExcludeTrailingBackslash(*dir);
}

std::string GetStartMenuDir() {
  // "Startmen": the short folder name of old Windows installs, not "Start Menu".
  return ShellFolder("Start Menu", Join(WindowsDirForDefault(), "Startmen"));
}

std::string GetProgramsDir() {
  return ShellFolder("Programs", Join(GetStartMenuDir(), "Programs"));
}

std::string GetDesktopDir() {
  return ShellFolder("Desktop", Join(WindowsDirForDefault(), "Desktop"));
}

std::string GetStartupDir() {
  return ShellFolder("Startup", Join(WindowsDirForDefault(), "Startup"));
}

std::string GetProgramFilesDir() {
  return CurrentVersionFolder("ProgramFilesDir", "Program Files");
}

std::string GetCommonFilesDir() {
  return CurrentVersionFolder("CommonFilesDir", "Program Files\\Common Files");
}

uint32_t FileAttributeBits(TTmbyFileAttributesSet attributes) {
  namespace attr = platform::attr;
  struct Pair {
    TTmbyFileAttributes member;
    uint32_t bit;
  };
  static constexpr Pair kBits[] = {
      {tfaArchive, attr::kArchive}, {tfaDirectory, attr::kDirectory},
      {tfaHidden, attr::kHidden},   {tfaNormal, attr::kNormal},
      {tfaOffline, attr::kOffline}, {tfaReadOnly, attr::kReadOnly},
      {tfaSystem, attr::kSystem},   {tfaTemporary, attr::kTemporary},
  };
  uint32_t bits = 0;
  for (const Pair& p : kBits) {
    if (attributes.Contains(p.member)) bits |= p.bit;
  }
  return bits;
}

void SetFileAttributesFromSet(const std::string& path, TTmbyFileAttributesSet attributes) {
  platform::IFileSystem& files = platform::Port().Files();
  if (!files.SetAttributes(path, FileAttributeBits(attributes))) {
    throw IEfcSetAttributes("Cannot set file attributes. Error : %s",
                            {platform::Port().System().ErrorText(files.LastError())});
  }
}

std::string NearestExistingDirectory(const std::string& path) {
  if (TrimText(path).empty()) return std::string();
  platform::IFileSystem& files = platform::Port().Files();
  std::string candidate = path;
  while (!candidate.empty()) {
    if (files.DirectoryExists(candidate)) return candidate;
    size_t cut = candidate.rfind('\\');
    if (cut == std::string::npos) break;
    candidate.resize(cut);
  }
  return std::string();
}

}  // namespace tmby
