// Fuzzer of the archive reader: the input is an archive. Its head and member headers are read
// from memory, and when that succeeds every member is extracted through the archive component on
// the memory adapter, so that the NextHeader chain, the data positions and the inflate loop all
// meet hostile values. Failures must be the kit's exceptions; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/tmby_compress.h"
#include "base/exceptions.h"
#include "platform/memory/memory_port.h"
#include "support/byte_stream.h"

namespace {

tmby::platform::memory::MemoryPlatform& Platform() {
  static auto* platform = [] {
    auto* p = new tmby::platform::memory::MemoryPlatform(std::filesystem::temp_directory_path() /
                                                         "tmby-archive-fuzz");
    tmby::platform::SetPort(p);
    return p;
  }();
  return *platform;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tmby::testing::ByteStream stream(std::vector<uint8_t>(data, data + size));
  tmby::TFileHeaders headers;
  try {
    headers.ReadFrom(stream, 0);
  } catch (const tmby::ETmbyCompress&) {
    return 0;
  }
  if (headers.Count() > 8) return 0;

  auto& files = Platform().Files();
  {
    auto file =
        files.Open("C:\\fuzz.1", tmby::platform::FileAccess::ReadWrite, tmby::platform::kShareAll,
                   tmby::platform::FileDisposition::CreateAlways);
    if (!file || (size > 0 && !file->Write(data, size))) __builtin_trap();
  }
  tmby::TTmbyCompress c;
  c.SetCompressedFile("C:\\fuzz.1");
  c.ExtractDirectory = "C:\\out";
  for (int i = 0; i < headers.Count(); ++i) {
    c.DestFileName = "member";
    c.SetFilesToProcess({headers.Items(i).FileName});
    try {
      c.Extract();
    } catch (const tmby::Exception&) {
    }
  }
  files.RemoveFile("C:\\out\\member");
  return 0;
}
