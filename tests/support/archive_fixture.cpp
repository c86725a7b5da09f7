#include "support/archive_fixture.h"

#include <atomic>
#include <filesystem>
#include <string>

#ifdef TMBY_WIN32_TESTS
#include "platform/win32/win32_port.h"
#else
#include <unistd.h>

#include "platform/memory/memory_port.h"
#endif

namespace tmby::testing {

namespace {
std::atomic<int> g_counter{0};
}

void ArchiveFixture::SetUp() {
  const int n = ++g_counter;
#ifdef TMBY_WIN32_TESTS
  auto port = std::make_unique<platform::win32::Win32Platform>();
  const std::string temp = port->Files().TempPath().value_or("C:\\");
  root_ = temp + "tmbyarc" + std::to_string(n);
  simulated_ = false;
  platform_ = std::move(port);
  previous_ = platform::SetPort(platform_.get());
  ASSERT_TRUE(Files().CreateDirectories(root_));
#else
  host_scratch_ = (std::filesystem::temp_directory_path() /
                   ("tmby-archive-" + std::to_string(getpid()) + "-" + std::to_string(n)))
                      .string();
  platform_ = std::make_unique<platform::memory::MemoryPlatform>(host_scratch_);
  previous_ = platform::SetPort(platform_.get());
  root_ = "C:\\t";
  ASSERT_TRUE(Files().CreateDirectories(root_));
#endif
}

void ArchiveFixture::TearDown() {
#ifdef TMBY_WIN32_TESTS
  // Remove what the test left, deepest entries first.
  std::vector<std::string> dirs{root_};
  for (size_t i = 0; i < dirs.size(); ++i) {
    for (const auto& entry : Files().FindFiles(dirs[i] + "\\*")) {
      const std::string path = dirs[i] + "\\" + entry.name;
      if (entry.attributes & platform::attr::kDirectory) {
        dirs.push_back(path);
      } else {
        Files().RemoveFile(path);
      }
    }
  }
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) Files().RemoveDir(*it);
#endif
  platform::SetPort(previous_);
  platform_.reset();
  if (!host_scratch_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(host_scratch_, ignored);
  }
}

void ArchiveFixture::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes,
                               uint32_t dos_time) {
  const auto slash = path.rfind('\\');
  if (slash != std::string::npos) Files().CreateDirectories(path.substr(0, slash));
  auto file = Files().Open(path, platform::FileAccess::ReadWrite, platform::kShareRead,
                           platform::FileDisposition::CreateAlways);
  ASSERT_TRUE(file) << path;
  if (!bytes.empty()) {
    ASSERT_TRUE(file->Write(bytes.data(), bytes.size()));
  }
  ASSERT_TRUE(file->SetDosTime(dos_time));
}

std::vector<uint8_t> ArchiveFixture::ReadFile(const std::string& path) {
  auto file = Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                           platform::FileDisposition::OpenExisting);
  if (!file) {
    ADD_FAILURE() << "cannot open " << path;
    return {};
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(file->Size().value_or(0)));
  size_t total = 0;
  while (total < bytes.size()) {
    size_t got = 0;
    if (!file->Read(bytes.data() + total, bytes.size() - total, &got) || got == 0) break;
    total += got;
  }
  bytes.resize(total);
  return bytes;
}

int ArchiveFixture::MessageRuns() const {
#ifndef TMBY_WIN32_TESTS
  return static_cast<platform::memory::MemoryPlatform*>(platform_.get())->MessageRuns();
#else
  return -1;
#endif
}

std::vector<uint8_t> TextData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"install ", "archive ", "volume ",  "setup ", "the ",
                                       "file ",    "member ",  "header ",  "disk ",  "copy ",
                                       "Windows ", "program ", "version ", "\r\n",   "date "};
  std::vector<uint8_t> out;
  out.reserve(size);
  uint32_t x = seed * 2654435761u + 1;
  while (out.size() < size) {
    x = x * 1103515245u + 12345u;
    const char* word = kWords[(x >> 16) % 15];
    for (const char* c = word; *c && out.size() < size; ++c)
      out.push_back(static_cast<uint8_t>(*c));
  }
  return out;
}

std::vector<uint8_t> NoiseData(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<uint8_t>(x);
  }
  return out;
}

}  // namespace tmby::testing
