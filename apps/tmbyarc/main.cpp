// tmbyarc: the kit's archive tool. It works on the same archive component as the setup program,
// so what it writes, setup reads, and what it reads is what setup would extract.
//
//   tmbyarc list    ARCHIVE [--offset N]
//   tmbyarc add     ARCHIVE FILE... [--new] [--level none|fastest|default|max] [--index N]
//   tmbyarc extract ARCHIVE DIRECTORY [MEMBER...] [--offset N]
//                   [--overwrite always|never|version|date|versiondate]
//   tmbyarc split   ARCHIVE DIRECTORY --size BYTES [--name files.1] [--offset N]
//   tmbyarc verify  ARCHIVE [--offset N]
//
// On Linux the tool runs on the memory adapter with drive Z: standing for "/", as under Wine, so
// host paths are given as usual and archives record them as "Z:\...".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/disk_limit.h"
#include "archive/tmby_compress.h"
#include "base/dostime.h"
#include "base/exceptions.h"
#include "platform/port.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform/win32/win32_port.h"
#include "platform/win32/win32_program.h"
#else
#include <unistd.h>

#include <filesystem>

#include "platform/memory/memory_port.h"
#endif

namespace {

using tmby::TlzhFileStats;
using tmby::TTmbyCompress;

class UsageError : public std::exception {
 public:
  explicit UsageError(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

constexpr char kUsage[] =
    "usage: tmbyarc list    ARCHIVE [--offset N]\n"
    "       tmbyarc add     ARCHIVE FILE... [--new] [--level none|fastest|default|max] "
    "[--index N]\n"
    "       tmbyarc extract ARCHIVE DIRECTORY [MEMBER...] [--offset N]\n"
    "                       [--overwrite always|never|version|date|versiondate]\n"
    "       tmbyarc split   ARCHIVE DIRECTORY --size BYTES [--name files.1] [--offset N]\n"
    "       tmbyarc verify  ARCHIVE [--offset N]\n"
    "       tmbyarc --help\n"
    "The archives of the Tamberly setup kit (setup.1, files.1, files.2, ...): list the members,\n"
    "add files, extract members, split an archive into volumes of BYTES, or check every member.\n"
    "--offset N reads an archive that starts N bytes into a file (a self-extracting setup.exe).\n"
    "Exit code: 0 done, 1 the archive or a file failed (the message says why), 2 wrong usage.\n";

// Turns the paths of the command line into the port's Windows paths.
class PathMapper {
 public:
  virtual ~PathMapper() = default;
  virtual std::string ToPort(const std::string& path) = 0;
};

struct Options {
  std::string command;
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;
  bool fresh = false;
};

Options ParseArguments(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command");
  Options o;
  o.command = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--new") {
      o.fresh = true;
    } else if (a.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      o.values[a.substr(2)] = args[++i];
    } else {
      o.operands.push_back(a);
    }
  }
  return o;
}

int64_t NumberOption(const Options& o, const std::string& name, int64_t fallback) {
  const auto it = o.values.find(name);
  if (it == o.values.end()) return fallback;
  char* end = nullptr;
  const long long v = std::strtoll(it->second.c_str(), &end, 10);
  if (end == it->second.c_str() || *end != '\0' || v < 0) {
    throw UsageError("--" + name + " needs a number, not " + it->second);
  }
  return v;
}

// The value of option `name` looked up among `choices`; `fallback` when the option is not given.
template <typename T>
T ChoiceOption(const Options& o, const std::string& name, const std::map<std::string, T>& choices,
               T fallback) {
  const auto given = o.values.find(name);
  if (given == o.values.end()) return fallback;
  const auto it = choices.find(given->second);
  if (it == choices.end()) throw UsageError("unknown --" + name + " value " + given->second);
  return it->second;
}

bool Interactive() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

// Progress on the terminal: one line per member, rewritten in place.
void ShowProgress(TTmbyCompress& c, const char* verb) {
  if (!Interactive()) return;
  c.OnStatus = [verb](TTmbyCompress&, TlzhFileStats& s) {
    std::fprintf(stderr, "\r%s %3d%% (total %3d%%) %s", verb, s.FilePercent, s.TotalPercent,
                 s.FileName.c_str());
    if (s.Done) std::fputc('\n', stderr);
    std::fflush(stderr);
  };
}

std::string DateText(double day_count) {
  const tmby::CivilTime t = tmby::DecodeDayCount(day_count);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

void OpenArchive(TTmbyCompress& c, PathMapper& paths, const Options& o) {
  if (o.operands.empty()) throw UsageError("no archive named");
  c.SetCompressedFile(paths.ToPort(o.operands[0]));
  c.Offset = NumberOption(o, "offset", 0);
}

int List(PathMapper& paths, const Options& o) {
  TTmbyCompress c;
  OpenArchive(c, paths, o);
  c.LoadHeaders();
  const auto& headers = c.Headers();
  std::printf("%d member(s)%s\n", headers.Count(), headers.MultiVolume ? " on volumes" : "");
  std::printf("%5s %11s %11s %-19s %-12s %s\n", "id", "size", "packed", "date", "version", "name");
  for (int i = 0; i < headers.Count(); ++i) {
    const auto& h = headers.Items(i);
    // On volumes a member's data may span files: its packed size is not one difference.
    const std::string packed =
        headers.MultiVolume ? "-" : std::to_string(int64_t{h.EndPosition} - h.DataStart + 1);
    std::printf("%5d %11d %11s %-19s %-12s %s\n", h.MemberIndex, h.OriginalSize, packed.c_str(),
                DateText(h.FileDate).c_str(), h.FileVersion.c_str(), h.FileName.c_str());
  }
  return 0;
}

int Add(PathMapper& paths, const Options& o) {
  if (o.operands.size() < 2) throw UsageError("add needs an archive and files");
  TTmbyCompress c;
  OpenArchive(c, paths, o);
  static const std::map<std::string, tmby::TCompressionLevel> kLevels{{"none", tmby::colNone},
                                                                      {"fastest", tmby::colFastest},
                                                                      {"default", tmby::colDefault},
                                                                      {"max", tmby::colMax}};
  c.CompressionLevel = ChoiceOption(o, "level", kLevels, c.CompressionLevel);
  std::vector<std::string> files;
  for (size_t i = 1; i < o.operands.size(); ++i) files.push_back(paths.ToPort(o.operands[i]));
  c.SetFilesToProcess(files);
  ShowProgress(c, "adding");
  bool aborted = false;
  c.OnAborted = [&](TTmbyCompress&) { aborted = true; };
  c.Compress(!o.fresh, static_cast<int>(NumberOption(o, "index", 0)));
  return aborted ? 1 : 0;
}

std::vector<std::string> AllMembers(TTmbyCompress& c) {
  c.LoadHeaders();
  std::vector<std::string> names;
  for (int i = 0; i < c.Headers().Count(); ++i) names.push_back(c.Headers().Items(i).FileName);
  return names;
}

int Extract(PathMapper& paths, const Options& o) {
  if (o.operands.size() < 2) throw UsageError("extract needs an archive and a directory");
  TTmbyCompress c;
  OpenArchive(c, paths, o);
  static const std::map<std::string, tmby::TOverwriteType> kModes{
      {"always", tmby::owAlways},
      {"never", tmby::owNever},
      {"version", tmby::owVersion},
      {"date", tmby::owDate},
      {"versiondate", tmby::owVersionDate}};
  c.Overwrite = ChoiceOption(o, "overwrite", kModes, c.Overwrite);
  std::vector<std::string> names(o.operands.begin() + 2, o.operands.end());
  if (names.empty()) names = AllMembers(c);
  c.ExtractDirectory = paths.ToPort(o.operands[1]);
  c.SetFilesToProcess(names);
  ShowProgress(c, "extracting");
  c.OnNewDisk = [](TTmbyCompress&, int disk, std::string& path) {
    std::fprintf(stderr, "volume %d is not in %s\n", disk, path.c_str());
  };
  c.Extract();
  return 0;
}

int Split(PathMapper& paths, const Options& o) {
  if (o.operands.size() < 2) throw UsageError("split needs an archive and a directory");
  const int64_t size = NumberOption(o, "size", 0);
  if (size <= 0) throw UsageError("split needs --size");
  tmby::TDiskLimitPlatform limited(tmby::platform::Port(), size);
  auto* previous = tmby::platform::SetPort(&limited);
  try {
    TTmbyCompress c;
    OpenArchive(c, paths, o);
    ShowProgress(c, "splitting");
    c.OnNewDisk = [](TTmbyCompress&, int disk, std::string&) {
      if (Interactive()) std::fprintf(stderr, "\nvolume %d\n", disk);
    };
    const auto name = o.values.find("name");
    c.SplitToVolumes(paths.ToPort(o.operands[1]),
                     name == o.values.end() ? "files.1" : name->second);
    std::printf("volume 1: %s\n", c.CompressedFile().c_str());
  } catch (...) {
    tmby::platform::SetPort(previous);
    throw;
  }
  tmby::platform::SetPort(previous);
  return 0;
}

// Extracts every member into a scratch folder and removes it again: a member whose data do not
// inflate to its recorded size fails.
int Verify(PathMapper& paths, const Options& o) {
  TTmbyCompress c;
  OpenArchive(c, paths, o);
  auto& files = tmby::platform::Port().Files();
  const std::string scratch = files.TempPath().value_or("") + "tmbyarc-verify";
  files.CreateDirectories(scratch);
  int failed = 0;
  const auto names = AllMembers(c);
  for (const auto& name : names) {
    c.ExtractDirectory = scratch;
    c.DestFileName = "member.tmp";
    c.Overwrite = tmby::owAlways;
    c.SetFilesToProcess({name});
    try {
      c.Extract();
      std::printf("ok      %s\n", name.c_str());
    } catch (const std::exception& e) {
      ++failed;
      std::printf("FAILED  %s: %s\n", name.c_str(), e.what());
    }
    files.RemoveFile(scratch + "\\member.tmp");
  }
  files.RemoveDir(scratch);
  std::printf("%zu member(s), %d failed\n", names.size(), failed);
  return failed == 0 ? 0 : 1;
}

int Run(const std::vector<std::string>& args, PathMapper& paths) {
  for (const std::string& a : args) {
#ifdef _WIN32
    const bool windowsHelp = a == "/?";
#else
    const bool windowsHelp = false;
#endif
    if (a == "--help" || windowsHelp) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  try {
    const Options o = ParseArguments(args);
    if (o.command == "list") return List(paths, o);
    if (o.command == "add") return Add(paths, o);
    if (o.command == "extract") return Extract(paths, o);
    if (o.command == "split") return Split(paths, o);
    if (o.command == "verify") return Verify(paths, o);
    throw UsageError("unknown command " + o.command);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tmbyarc: %s\n%s", e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "\ntmbyarc: %s\n", e.what());
    return 1;
  }
}

}  // namespace

#ifdef _WIN32

namespace {
class WindowsPaths : public PathMapper {
 public:
  std::string ToPort(const std::string& path) override { return path; }
};
}  // namespace

int main() {
  tmby::platform::win32::Win32Platform port;
  tmby::platform::SetPort(&port);
  // The arguments in the adapter's character set, not the C runtime's ANSI argv.
  const std::vector<std::string> args = tmby::platform::win32::CommandLineArguments(port.Charset());
  WindowsPaths paths;
  const int result = Run(args, paths);
  tmby::platform::SetPort(nullptr);
  return result;
}

#else

namespace {
class HostPaths : public PathMapper {
 public:
  explicit HostPaths(tmby::platform::memory::MemoryPlatform& port) : port_(port) {}
  std::string ToPort(const std::string& path) override {
    const auto windows = port_.WindowsPath(std::filesystem::absolute(path).lexically_normal());
    if (!windows) throw UsageError("cannot reach " + path);
    return *windows;
  }

 private:
  tmby::platform::memory::MemoryPlatform& port_;
};
}  // namespace

int main(int argc, char** argv) {
  // Drive C: of the memory adapter lives in a scratch folder that goes away at the end.
  std::error_code ignored;
  const auto scratch = std::filesystem::temp_directory_path() /
                       ("tmbyarc-" + std::to_string(static_cast<long>(getpid())));
  int result = 0;
  {
    tmby::platform::memory::MemoryPlatform port(scratch);
    port.MapDrive('Z', "/");
    port.SetTempPath(port.WindowsPath(std::filesystem::temp_directory_path()).value_or("C:\\"));
    tmby::platform::SetPort(&port);
    std::vector<std::string> args(argv + 1, argv + argc);
    HostPaths paths(port);
    result = Run(args, paths);
    tmby::platform::SetPort(nullptr);
  }
  std::filesystem::remove_all(scratch, ignored);
  return result;
}

#endif
