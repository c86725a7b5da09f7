#include "support/memory_machine.h"

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
  auto f = Files().Open(path, platform::FileAccess::Read, platform::kShareAll,
                        platform::FileDisposition::OpenExisting);
  if (!f) return "<missing>";
  std::string out(static_cast<size_t>(f->Size().value_or(0)), '\0');
  size_t done = 0;
  f->Read(out.data(), out.size(), &done);
  out.resize(done);
  return out;
}

}  // namespace tmby::testing
