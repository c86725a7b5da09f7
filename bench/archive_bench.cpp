// Benchmark of the archive component against zlib used directly, in the same run.
//
//   archive_bench CORPUS_DIR WORK_DIR [large|small]
//
// The corpus (about 210 MB: text-like, binary-like and already-compressed files from 0 bytes to
// 64 MB) is generated into CORPUS_DIR when it is not there yet. For each compression level the
// component compresses the whole corpus into one archive and extracts it again; the reference
// reads the same files with 64 KiB reads and deflates them at the same level, and inflates the
// same member streams into the same output files with 64 KiB writes. Each side runs twice and the
// faster run counts. The ratios printed are reference time / component time (1.00 = as fast as
// zlib itself). Peak memory is the largest resident set of a child process that runs one
// component operation. gzip -9 and gunzip on the same files are timed for comparison.
//
// Many small files (the second part; "small" runs it alone): 2,000 files of 104 MB in all, median
// size about 14 KB, generated into CORPUS_DIR/small. The native archive tool (tmbyarc, a child
// process on the memory adapter mapped onto host folders) packs them at the fastest level and
// extracts them again; the reference deflates the same files at level 1 and inflates the
// archive's member streams into as many files, in this process. The ratios compare processor
// time (the tool's: its own and the kernel's for it).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/tmby_compress.h"
#include "platform/memory/memory_port.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kBuffer = 64 * 1024;
constexpr int kRuns = 3;

// ---------------------------------------------------------------------------------------------
// The corpus

struct CorpusFile {
  std::string name;
  size_t size;
  char kind;  // 't' text-like, 'b' binary-like, 'z' already compressed
};

std::vector<CorpusFile> CorpusPlan() {
  std::vector<CorpusFile> plan{{"text-64m.txt", 64u << 20, 't'},
                               {"text-16m.txt", 16u << 20, 't'},
                               {"text-4m.txt", 4u << 20, 't'},
                               {"text-1m.txt", 1u << 20, 't'},
                               {"prog-48m.exe", 48u << 20, 'b'},
                               {"prog-8m.dll", 8u << 20, 'b'},
                               {"prog-512k.dll", 512u << 10, 'b'},
                               {"pack-32m.cab", 32u << 20, 'z'},
                               {"pack-8m.zip", 8u << 20, 'z'},
                               {"pack-1m.jpg", 1u << 20, 'z'},
                               {"empty-0.txt", 0, 't'},
                               {"one-1.txt", 1, 't'}};
  // 240 small files of 1 KB to 160 KB, mixed kinds.
  const char kinds[3] = {'t', 'b', 'z'};
  for (int i = 0; i < 240; ++i) {
    plan.push_back({"small-" + std::to_string(i) + ".dat",
                    static_cast<size_t>(1024 + (i * 7919u) % (160u << 10)), kinds[i % 3]});
  }
  return plan;
}

void Generate(const fs::path& path, const CorpusFile& f, uint32_t seed) {
  static const char* const kWords[] = {
      "the ",       "setup ",    "program ", "installs ", "files ",   "into ",    "directory ",
      "Windows ",   "registry ", "version ", "archive ",  "member ",  "header ",  "volume ",
      "disk ",      "license ",  "\r\n",     "shared ",   "library ", "product ", "1.0.2600 ",
      "Copyright ", "(c) ",      "2002 ",    "QRN ",      "user ",    "folder ",  "link "};
  constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];
  std::ofstream out(path, std::ios::binary);
  std::vector<uint8_t> buffer;
  buffer.reserve(kBuffer + 64);
  uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
  auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  size_t written = 0;
  while (written < f.size) {
    buffer.clear();
    while (buffer.size() < kBuffer) {
      const uint64_t r = next();
      if (f.kind == 't') {
        const char* w = kWords[r % kWordCount];
        buffer.insert(buffer.end(), w, w + std::char_traits<char>::length(w));
      } else if (f.kind == 'b') {
        // Code-like: short instruction patterns, small integers, zero runs and tables.
        switch (r % 6) {
          case 0: buffer.insert(buffer.end(), 16, 0); break;
          case 1:
            for (int i = 0; i < 8; ++i) buffer.push_back(static_cast<uint8_t>((r >> (i * 3)) & 7));
            break;
          case 2: {
            const uint8_t op[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, static_cast<uint8_t>(r >> 8)};
            buffer.insert(buffer.end(), op, op + 6);
            break;
          }
          case 3: {
            const uint8_t call[] = {0xE8, static_cast<uint8_t>(r >> 16),
                                    static_cast<uint8_t>(r >> 24), 0xFF, 0xFF};
            buffer.insert(buffer.end(), call, call + 5);
            break;
          }
          default:
            for (int i = 0; i < 4; ++i) buffer.push_back(static_cast<uint8_t>(r >> (i * 8)));
        }
      } else {
        for (int i = 0; i < 8; ++i) buffer.push_back(static_cast<uint8_t>(r >> (i * 8)));
      }
    }
    const size_t n = std::min(buffer.size(), f.size - written);
    out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(n));
    written += n;
  }
}

std::vector<fs::path> EnsureCorpus(const fs::path& dir) {
  fs::create_directories(dir);
  std::vector<fs::path> files;
  uint32_t seed = 0;
  uint64_t total = 0;
  for (const auto& f : CorpusPlan()) {
    const fs::path path = dir / f.name;
    if (!fs::exists(path) || fs::file_size(path) != f.size) Generate(path, f, seed);
    ++seed;
    total += f.size;
    files.push_back(path);
  }
  std::printf("corpus: %zu files, %.1f MB in %s\n", files.size(), total / 1048576.0,
              dir.string().c_str());
  return files;
}

// ---------------------------------------------------------------------------------------------
// Timing and memory

struct Timing {
  double cpu = 1e30;   // user + system time of this process
  double wall = 1e30;  // elapsed time
};

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double Seconds(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the component and the reference alternately, kRuns times each, and keeps the best time
// of each side. The machine is shared, so the ratios use processor time, which other programs do
// not stretch; elapsed times are printed beside them.
std::pair<Timing, Timing> Compare(const std::function<void()>& ours,
                                  const std::function<void()>& reference) {
  Timing a, b;
  for (int i = 0; i < kRuns; ++i) {
    for (int side = 0; side < 2; ++side) {
      Timing& t = side == 0 ? a : b;
      const double cpu = CpuNow();
      const double wall = Seconds(side == 0 ? ours : reference);
      t.cpu = std::min(t.cpu, CpuNow() - cpu);
      t.wall = std::min(t.wall, wall);
    }
  }
  return {a, b};
}

// Runs `f` in a child process; returns its peak resident set in KiB (-1 on failure).
long PeakMemoryKiB(const std::function<void()>& f) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      f();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child failed: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return usage.ru_maxrss;
}

// ---------------------------------------------------------------------------------------------
// The reference: zlib used directly

void ReferenceCompress(const std::vector<fs::path>& files, const fs::path& archive, int level) {
  FILE* out = std::fopen(archive.c_str(), "wb");
  std::vector<uint8_t> in(kBuffer), buffer(kBuffer);
  uint8_t header[176] = {};
  for (const auto& path : files) {
    FILE* src = std::fopen(path.c_str(), "rb");
    std::fwrite(header, 1, sizeof header, out);
    z_stream z{};
    deflateInit(&z, level);
    int flush = Z_NO_FLUSH;
    do {
      const size_t got = std::fread(in.data(), 1, in.size(), src);
      flush = got < in.size() ? Z_FINISH : Z_NO_FLUSH;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(got);
      do {
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        deflate(&z, flush);
        std::fwrite(buffer.data(), 1, buffer.size() - z.avail_out, out);
      } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
    std::fclose(src);
  }
  std::fclose(out);
}

struct Member {
  int64_t start;
  int64_t end;  // inclusive
  std::string name;
};

std::vector<Member> MembersOf(const fs::path& archive) {
  std::ifstream in(archive, std::ios::binary);
  uint8_t head[5];
  in.read(reinterpret_cast<char*>(head), 5);
  const int32_t count = head[0] | (head[1] << 8) | (head[2] << 16) | (head[3] << 24);
  std::vector<Member> members;
  int64_t at = 5;
  for (int32_t i = 0; i < count; ++i) {
    tmby::TFileHeader::Record r;
    in.seekg(at);
    in.read(reinterpret_cast<char*>(r.data()), r.size());
    tmby::TFileHeader h;
    h.Decode(r);
    members.push_back({h.DataStart, h.EndPosition, tmby::PathFileNamePart(h.FileName)});
    at = h.NextHeader;
  }
  return members;
}

void ReferenceExtract(const fs::path& archive, const std::vector<Member>& members,
                      const fs::path& dir) {
  fs::create_directories(dir);
  FILE* in = std::fopen(archive.c_str(), "rb");
  std::vector<uint8_t> input(kBuffer), output(kBuffer);
  for (const auto& m : members) {
    FILE* out = std::fopen((dir / m.name).c_str(), "wb");
    std::fseek(in, static_cast<long>(m.start), SEEK_SET);
    int64_t left = m.end - m.start + 1;
    z_stream z{};
    inflateInit(&z);
    int result = Z_OK;
    while (result != Z_STREAM_END && left > 0) {
      const size_t got =
          std::fread(input.data(), 1, static_cast<size_t>(std::min<int64_t>(left, kBuffer)), in);
      if (got == 0) break;
      left -= static_cast<int64_t>(got);
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
      do {
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        result = inflate(&z, Z_NO_FLUSH);
        std::fwrite(output.data(), 1, output.size() - z.avail_out, out);
      } while (z.avail_out == 0 && result == Z_OK);
    }
    inflateEnd(&z);
    std::fclose(out);
  }
  std::fclose(in);
}

// ---------------------------------------------------------------------------------------------
// The component, on the memory adapter with Z: standing for "/"

struct Component {
  explicit Component(const fs::path& scratch) : port(scratch) {
    port.MapDrive('Z', "/");
    previous = tmby::platform::SetPort(&port);
  }
  ~Component() { tmby::platform::SetPort(previous); }
  std::string Z(const fs::path& p) { return *port.WindowsPath(fs::absolute(p)); }

  tmby::platform::memory::MemoryPlatform port;
  tmby::platform::IPlatform* previous;
};

void ComponentCompress(Component& env, const std::vector<fs::path>& files, const fs::path& archive,
                       tmby::TCompressionLevel level) {
  tmby::TTmbyCompress c;
  c.SetCompressedFile(env.Z(archive));
  c.CompressionLevel = level;
  std::vector<std::string> lines;
  for (const auto& f : files) lines.push_back(env.Z(f));
  c.SetFilesToProcess(lines);
  uint64_t reports = 0;
  c.OnStatus = [&](tmby::TTmbyCompress&, tmby::TlzhFileStats&) { ++reports; };
  c.Compress(false, 0);
}

void ComponentExtract(Component& env, const fs::path& archive, const fs::path& dir) {
  fs::create_directories(dir);
  tmby::TTmbyCompress c;
  c.SetCompressedFile(env.Z(archive));
  c.LoadHeaders();
  std::vector<std::string> names;
  for (int i = 0; i < c.Headers().Count(); ++i) names.push_back(c.Headers().Items(i).FileName);
  c.ExtractDirectory = env.Z(dir);
  c.SetFilesToProcess(names);
  uint64_t reports = 0;
  c.OnStatus = [&](tmby::TTmbyCompress&, tmby::TlzhFileStats&) { ++reports; };
  c.Extract();
}

bool SameFiles(const std::vector<fs::path>& files, const fs::path& dir) {
  for (const auto& f : files) {
    const fs::path other = dir / f.filename();
    if (!fs::exists(other) || fs::file_size(other) != fs::file_size(f)) return false;
    std::ifstream a(f, std::ios::binary), b(other, std::ios::binary);
    std::vector<char> x(kBuffer), y(kBuffer);
    while (a && b) {
      a.read(x.data(), kBuffer);
      b.read(y.data(), kBuffer);
      if (a.gcount() != b.gcount() || !std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) {
        return false;
      }
    }
  }
  return true;
}

double Gzip(const std::vector<fs::path>& files, const fs::path& dir, bool compress) {
  fs::create_directories(dir);
  std::string script = "set -e; cd '" + dir.string() + "'; ";
  for (const auto& f : files) {
    const std::string gz = f.filename().string() + ".gz";
    script += compress ? "gzip -9 -c '" + f.string() + "' > '" + gz + "'; "
                       : "gunzip -c '" + gz + "' > '" + f.filename().string() + "'; ";
  }
  const std::string command = "bash -c \"" + script + "\"";
  int rc = 0;
  const double t = Seconds([&] { rc = std::system(command.c_str()); });
  return rc == 0 ? t : -1;
}

// ---------------------------------------------------------------------------------------------
// Many small files through the native archive tool

// 2,000 sizes drawn from a log-normal distribution (median 14 KB, sigma 1.63), scaled to 104 MB
// in all; a third each text-like, binary-like and already compressed.
std::vector<CorpusFile> SmallCorpusPlan() {
  constexpr int kFiles = 2000;
  constexpr double kTotal = 104.0 * 1048576.0;
  uint64_t x = 0x2545F4914F6CDD1Dull;
  auto uniform = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return (static_cast<double>(x >> 11) + 0.5) / 9007199254740992.0;
  };
  std::vector<double> sizes;
  double sum = 0;
  for (int i = 0; i < kFiles; ++i) {
    const double z = std::sqrt(-2.0 * std::log(uniform())) * std::cos(2 * M_PI * uniform());
    sizes.push_back(std::min(14336.0 * std::exp(1.63 * z), 8.0 * 1048576.0));
    sum += sizes.back();
  }
  const char kinds[3] = {'t', 'b', 'z'};
  std::vector<CorpusFile> plan;
  for (int i = 0; i < kFiles; ++i) {
    plan.push_back({"f" + std::to_string(i) + ".dat",
                    static_cast<size_t>(sizes[static_cast<size_t>(i)] * kTotal / sum),
                    kinds[i % 3]});
  }
  return plan;
}

// Runs the archive tool with `args`; its processor time (user and system), or -1 when it failed.
double RunTool(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool SmallFiles(const fs::path& corpus_dir, const fs::path& work) {
  const fs::path dir = corpus_dir / "small";
  fs::create_directories(dir);
  std::vector<fs::path> files;
  std::vector<size_t> sizes;
  uint32_t seed = 1000;
  for (const auto& f : SmallCorpusPlan()) {
    const fs::path path = dir / f.name;
    if (!fs::exists(path) || fs::file_size(path) != f.size) Generate(path, f, seed);
    ++seed;
    files.push_back(path);
    sizes.push_back(f.size);
  }
  std::sort(sizes.begin(), sizes.end());
  uint64_t total = 0;
  for (size_t size : sizes) total += size;
  std::printf("\nmany small files: %zu files, %.1f MB, median %.1f KB, through %s\n", files.size(),
              total / 1048576.0, sizes[sizes.size() / 2] / 1024.0, TMBY_ARC_TOOL);

  const fs::path archive = work / "small.1";
  std::vector<std::string> add{TMBY_ARC_TOOL, "add",     archive.string(),
                               "--new",       "--level", "fastest"};
  for (const auto& f : files) add.push_back(f.string());
  // The tool and the reference take turns, each run writing into a folder emptied just before,
  // so that both meet the file system in the same state.
  double tool_pack = 1e30, tool_unpack = 1e30, ref_pack = 1e30, ref_unpack = 1e30;
  bool ok = true;
  const auto best_cpu = [](double* best, const std::function<void()>& f) {
    const double start = CpuNow();
    f();
    *best = std::min(*best, CpuNow() - start);
  };
  for (int i = 0; i < kRuns && ok; ++i) {
    const double t = RunTool(add);
    ok = t >= 0;
    tool_pack = std::min(tool_pack, t);
    best_cpu(&ref_pack, [&] { ReferenceCompress(files, work / "small-ref.1", 1); });
  }
  const auto members = MembersOf(archive);
  for (int i = 0; i < kRuns && ok; ++i) {
    fs::remove_all(work / "small-out");
    fs::create_directories(work / "small-out");
    const double t =
        RunTool({TMBY_ARC_TOOL, "extract", archive.string(), (work / "small-out").string()});
    ok = t >= 0;
    tool_unpack = std::min(tool_unpack, t);
    fs::remove_all(work / "small-ref");
    best_cpu(&ref_unpack, [&] { ReferenceExtract(archive, members, work / "small-ref"); });
  }
  if (!ok || !SameFiles(files, work / "small-out") || !SameFiles(files, work / "small-ref")) {
    std::printf("!! the archive tool failed or extracted files that differ from the corpus\n");
    return false;
  }
  const double pack = ref_pack / tool_pack;
  const double unpack = ref_unpack / tool_unpack;
  std::printf("%-16s %9s %9s %7s | %9s %9s %7s\n", "", "pack s", "zlib s", "ratio", "unpack s",
              "zlib s", "ratio");
  std::printf("%-16s %9.2f %9.2f %7.3f | %9.2f %9.2f %7.3f\n", "tmbyarc fastest", tool_pack,
              ref_pack, pack, tool_unpack, ref_unpack, unpack);
  const bool met = pack >= 0.9 && unpack >= 0.9;
  std::printf("many small files: compression ratio %.3f, extraction ratio %.3f: %s (target 0.90)\n",
              pack, unpack, met ? "met" : "NOT met");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string part = argc == 4 ? argv[3] : "";
  if ((argc != 3 && argc != 4) || (argc == 4 && part != "large" && part != "small")) {
    std::fprintf(stderr, "usage: archive_bench CORPUS_DIR WORK_DIR [large|small]\n");
    return 2;
  }
  const fs::path corpus = fs::absolute(argv[1]);
  const fs::path work = fs::absolute(argv[2]);
  fs::remove_all(work);
  fs::create_directories(work);
  if (part == "small") {
    const bool met = SmallFiles(corpus, work);
    fs::remove_all(work);
    return met ? 0 : 1;
  }
  const auto files = EnsureCorpus(corpus);
  uint64_t total = 0;
  for (const auto& f : files) total += fs::file_size(f);
  const double mb = total / 1048576.0;

  Component env(work / "drives");
  bool ok = true;
  long peak = 0;
  struct Level {
    tmby::TCompressionLevel level;
    const char* name;
  };
  const Level levels[] = {{tmby::colNone, "colNone (0)"},
                          {tmby::colFastest, "colFastest (1)"},
                          {tmby::colDefault, "colDefault (-1)"},
                          {tmby::colMax, "colMax (9)"}};
  std::printf("\nprocessor seconds, best of %d; ratio = zlib / component (1.00: as fast)\n", kRuns);
  std::printf("%-16s %9s %9s %7s | %9s %9s %7s | %8s\n", "level", "pack s", "zlib s", "ratio",
              "unpack s", "zlib s", "ratio", "archive");
  double worst_pack = 1e9, worst_unpack = 1e9, max_pack = 0, max_unpack = 0;
  for (const auto& l : levels) {
    const fs::path archive = work / "files.1";
    const fs::path reference = work / "reference.1";
    const auto pack =
        Compare([&] { ComponentCompress(env, files, archive, l.level); },
                [&] { ReferenceCompress(files, reference, tmby::ZlibLevel(l.level)); });
    const auto members = MembersOf(archive);
    const auto unpack = Compare(
        [&] {
          fs::remove_all(work / "out");
          ComponentExtract(env, archive, work / "out");
        },
        [&] {
          fs::remove_all(work / "ref-out");
          ReferenceExtract(archive, members, work / "ref-out");
        });
    if (!SameFiles(files, work / "out") || !SameFiles(files, work / "ref-out")) {
      std::printf("!! extracted files differ from the corpus at %s\n", l.name);
      ok = false;
    }
    const long pack_mem = PeakMemoryKiB([&] { ComponentCompress(env, files, archive, l.level); });
    const long unpack_mem = PeakMemoryKiB([&] {
      fs::remove_all(work / "out");
      ComponentExtract(env, archive, work / "out");
    });
    peak = std::max({peak, pack_mem, unpack_mem});
    const double pack_ratio = pack.second.cpu / pack.first.cpu;
    const double unpack_ratio = unpack.second.cpu / unpack.first.cpu;
    worst_pack = std::min(worst_pack, pack_ratio);
    worst_unpack = std::min(worst_unpack, unpack_ratio);
    if (l.level == tmby::colMax) {
      max_pack = pack.first.wall;
      max_unpack = unpack.first.wall;
    }
    std::printf("%-16s %9.2f %9.2f %7.3f | %9.2f %9.2f %7.3f | %7.1f%%\n", l.name, pack.first.cpu,
                pack.second.cpu, pack_ratio, unpack.first.cpu, unpack.second.cpu, unpack_ratio,
                100.0 * fs::file_size(archive) / total);
    std::printf("%-16s %9.2f %9.2f %7.3f | %9.2f %9.2f %7.3f   (elapsed)\n", "", pack.first.wall,
                pack.second.wall, pack.second.wall / pack.first.wall, unpack.first.wall,
                unpack.second.wall, unpack.second.wall / unpack.first.wall);
    std::printf("%-16s %9.1f MB/s packing, %9.1f MB/s unpacking (processor time)\n", "",
                mb / pack.first.cpu, mb / unpack.first.cpu);
  }
  std::printf("\npeak memory of one component operation: %.1f MB (%s 16 MB)\n", peak / 1024.0,
              peak > 0 && peak < 16 * 1024 ? "under" : "NOT under");

  const double gz = Gzip(files, work / "gzip", true);
  const double gunz = Gzip(files, work / "gzip", false);
  if (gz > 0 && gunz > 0) {
    std::printf(
        "gzip -9: %.2f s (component at colMax: %.2f s, ratio %.3f); gunzip: %.2f s "
        "(component: %.2f s, ratio %.3f)\n",
        gz, max_pack, gz / max_pack, gunz, max_unpack, gunz / max_unpack);
  }
  const bool fast = worst_pack >= 0.9 && worst_unpack >= 0.9;
  std::printf("\nworst compression ratio %.3f, worst extraction ratio %.3f: %s (target 0.90)\n",
              worst_pack, worst_unpack, fast ? "met" : "NOT met");
  const bool small = part == "large" || SmallFiles(corpus, work);
  fs::remove_all(work);
  return ok && fast && small && peak > 0 && peak < 16 * 1024 ? 0 : 1;
}
