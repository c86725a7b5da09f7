// A test fixture for the archive component: a scratch folder on the adapter under test (the memory
// adapter natively, the real Windows API in the Windows test binary) and helpers that write and
// read whole files through the port.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/port.h"

namespace tmby::testing {

class ArchiveFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A Windows path below the scratch folder ("dist\\files.1" -> "<root>\\dist\\files.1").
  std::string P(const std::string& relative) const { return root_ + "\\" + relative; }
  platform::IFileSystem& Files() { return platform::Port().Files(); }

  void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes,
                 uint32_t dos_time = 0x2C8F6E2F);
  std::vector<uint8_t> ReadFile(const std::string& path);

  // Whether the memory adapter is under test (it counts message runs).
  bool Simulated() const { return simulated_; }
  int MessageRuns() const;

 private:
  std::unique_ptr<platform::IPlatform> platform_;
  platform::IPlatform* previous_ = nullptr;
  std::string root_;
  std::string host_scratch_;
  bool simulated_ = true;
};

// Test data: text-like (compresses well), random-like (does not) and runs of one byte.
std::vector<uint8_t> TextData(size_t size, uint32_t seed = 1);
std::vector<uint8_t> NoiseData(size_t size, uint32_t seed = 1);

}  // namespace tmby::testing
