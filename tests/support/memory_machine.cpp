#include "support/memory_machine.h"

#include "support/port_fixture.h"

namespace tmby::testing {

MemoryMachineTest::MemoryMachineTest() : scratch_("machine"), machine_(scratch_.path()) {
  previous_ = platform::SetPort(&machine_);
}

MemoryMachineTest::~MemoryMachineTest() { platform::SetPort(previous_); }

void MemoryMachineTest::MakeFile(const std::string& path, const std::string& text) {
  const size_t cut = path.rfind('\\');
  if (cut != std::string::npos) {
    ASSERT_TRUE(Files().CreateDirectories(path.substr(0, cut)));
  }
  auto f = Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                        platform::FileDisposition::CreateAlways);
  ASSERT_TRUE(f) << path << " error " << Files().LastError();
  ASSERT_TRUE(f->Write(text.data(), text.size()));
}

std::string MemoryMachineTest::FileBytes(const std::string& path) {
  return ReadFileBytes(Files(), path);
}

}  // namespace tmby::testing
