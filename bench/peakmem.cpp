// peakmem: runs a Windows program and reports the peak memory of it and of every process it starts.
//
//   peakmem.exe [--time] REPORT COMMAND [ARGS...]
//
// With --time it only times COMMAND and samples nothing: on two processors the sampling takes a
// good part of one, which a timed run would pay for.
// Starts COMMAND, and until it ends samples every 20 ms (every 2 ms in its first second) the
// processes of its tree (the process and, through the parent process ids, its children and theirs)
// with GetProcessMemoryInfo, keeping the largest PeakWorkingSetSize and PeakPagefileUsage seen for
// each. The peaks only grow, so a sample misses at most what a process gains in its last moments. Writes to REPORT one line a process:
//   <image name> <process id> <peak working set bytes> <peak private bytes>
// and a last line "elapsed <milliseconds>" (from the start of COMMAND to its end). Exit code: the
// program's, or 3 when it could not be started.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

namespace {

struct Peak {
  std::wstring name;
  HANDLE process = nullptr;
  SIZE_T workingSet = 0;
  SIZE_T privateBytes = 0;
};

// The command line after its first words (the program's name, --time, the report's).
const wchar_t* SkipWords(const wchar_t* line, int words) {
  for (int i = 0; i < words; ++i) {
    while (*line == L' ' || *line == L'\t') ++line;
    bool quoted = false;
    while (*line && (quoted || (*line != L' ' && *line != L'\t'))) {
      if (*line == L'"') quoted = !quoted;
      ++line;
    }
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

// The image name of a process: the psapi call, else the newer kernel call (Wine answers it also
// when it reports a Windows 9x, where the psapi call fails), else empty.
std::wstring ImageName(HANDLE process) {
  wchar_t image[MAX_PATH];
  if (GetModuleFileNameExW(process, nullptr, image, MAX_PATH)) return image;
  using Query = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
  DWORD size = MAX_PATH;
  if (query && query(process, 0, image, &size)) return image;
  return {};
}

void Sample(std::map<DWORD, Peak>& peaks) {
  // Adopt the children of processes already in the tree.
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      if (peaks.count(entry.th32ProcessID) || !peaks.count(entry.th32ParentProcessID)) continue;
      Peak peak;
      peak.process =
          OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
      if (!peak.process) continue;
      peak.name = entry.szExeFile;
      peaks[entry.th32ProcessID] = peak;
    }
    CloseHandle(snapshot);
  }
  for (auto& [id, peak] : peaks) {
    // A process that has only just started may not tell its name yet.
    if (peak.name.empty()) peak.name = ImageName(peak.process);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(peak.process, &counters, sizeof counters)) continue;
    if (counters.PeakWorkingSetSize > peak.workingSet)
      peak.workingSet = counters.PeakWorkingSetSize;
    if (counters.PeakPagefileUsage > peak.privateBytes)
      peak.privateBytes = counters.PeakPagefileUsage;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool sample = !(argc > 1 && std::wcscmp(argv[1], L"--time") == 0);
  if (!sample) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fwprintf(stderr, L"usage: peakmem [--time] REPORT COMMAND [ARGS...]\n");
    return 2;
  }
  std::wstring command = SkipWords(GetCommandLineW(), sample ? 2 : 3);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER frequency, started, ended;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&started);
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fwprintf(stderr, L"peakmem: cannot start %ls (error %lu)\n", command.c_str(),
                  GetLastError());
    return 3;
  }
  std::map<DWORD, Peak> peaks;
  Peak first;
  first.name = argv[2];
  first.process = info.hProcess;
  peaks[info.dwProcessId] = first;
  // A program that only starts and ends (the engine's --help) is gone within a quarter of a
  // second: looked at every 20 ms, the last of it, a few megabytes of its peak, went unseen.
  for (DWORD waited = 0; sample;) {
    const DWORD interval = waited < 1000 ? 2 : 20;
    if (WaitForSingleObject(info.hProcess, interval) != WAIT_TIMEOUT) break;
    waited += interval;
    Sample(peaks);
  }
  if (!sample) WaitForSingleObject(info.hProcess, INFINITE);
  QueryPerformanceCounter(&ended);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  FILE* report = _wfopen(argv[1], L"w");
  if (!report) return 3;
  for (const auto& [id, peak] : peaks) {
    const wchar_t* slash = std::wcsrchr(peak.name.c_str(), L'\\');
    std::fwprintf(report, L"%ls %lu %llu %llu\n", slash ? slash + 1 : peak.name.c_str(), id,
                  static_cast<unsigned long long>(peak.workingSet),
                  static_cast<unsigned long long>(peak.privateBytes));
  }
  std::fwprintf(report, L"elapsed %lld\n",
                (ended.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart);
  std::fclose(report);
  return static_cast<int>(code);
}
