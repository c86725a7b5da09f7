// A test fixture that runs the kit on the memory adapter: a fresh simulated Windows XP machine
// (scratch drive C:, empty registry) installed as the port for the duration of one test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/memory/memory_port.h"
#include "support/scratch_dir.h"

namespace tmby::testing {

class MemoryMachineTest : public ::testing::Test {
 protected:
  MemoryMachineTest();
  ~MemoryMachineTest() override;

  platform::memory::MemoryPlatform& Machine() { return machine_; }
  platform::IRegistry& Reg() { return machine_.Registry(); }
  platform::IFileSystem& Files() { return machine_.Files(); }
  // Writes a small file through the port (creating its folder).
  void MakeFile(const std::string& path, const std::string& text = "x");
  // The bytes of a file read through the port; "<missing>" when it cannot be opened.
  std::string FileBytes(const std::string& path);

 private:
  ScratchDir scratch_;
  platform::memory::MemoryPlatform machine_;
  platform::IPlatform* previous_ = nullptr;
};

}  // namespace tmby::testing
