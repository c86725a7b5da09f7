// Fuzzer of the self-extract trailer reader: the input is the tail of a setup program. A trailer
// that is accepted must point inside the file, before the trailer itself.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "archive/archive_format.h"
#include "base/exceptions.h"
#include "platform/memory/memory_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* platform = [] {
    auto* p = new tmby::platform::memory::MemoryPlatform(std::filesystem::temp_directory_path() /
                                                         "tmby-trailer-fuzz");
    tmby::platform::SetPort(p);
    return p;
  }();
  auto& files = platform->Files();
  {
    auto file =
        files.Open("C:\\setup.exe", tmby::platform::FileAccess::ReadWrite,
                   tmby::platform::kShareAll, tmby::platform::FileDisposition::CreateAlways);
    if (!file || (size > 0 && !file->Write(data, size))) __builtin_trap();
  }
  try {
    const auto r = tmby::ReadSelfExtractRecord("C:\\setup.exe");
    const int64_t limit = static_cast<int64_t>(size) - 96;
    for (auto [start, end] : {std::pair{r.SetupStart, r.SetupEnd}, {r.FilesStart, r.FilesEnd}}) {
      if (start == 0 && end == 0) continue;
      if (start < 0 || start > end || end >= limit) __builtin_trap();
    }
  } catch (const tmby::IEInstall&) {
  }
  return 0;
}
