// The fixture of the port's contract suite. Every contract test runs once per adapter: the memory
// adapter everywhere, and the real Windows API as well in the Windows test binary. The fixture
// gives each test an empty folder and registry keys of its own and removes them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/dostime.h"
#include "platform/port.h"

namespace tmby::testing {

// Servers that the internet library of an adapter reaches, serving one folder over HTTP and FTP.
struct NetServersUnderTest {
  std::string host;  // "127.0.0.1"
  uint16_t http_port = 0;
  uint16_t ftp_port = 0;
  std::string folder;  // the served folder, a Windows path on the adapter
  // The named FTP login; the FTP server takes the anonymous login as well.
  std::string user;
  std::string password;
};

// An adapter under test, with what the contract needs to see beyond the port itself.
class PortUnderTest {
 public:
  virtual ~PortUnderTest() = default;
  virtual platform::IPlatform& Port() = 0;
  virtual bool Simulated() const = 0;
  // Whether the adapter talks to the system as on Windows 95, 98 and ME: the ANSI functions, no
  // delete sharing, no MoveFileEx.
  virtual bool NineXApi() const { return false; }
  // The Windows path of an empty folder for one test (no trailing backslash).
  virtual std::string MakeRoot(const std::string& name) = 0;
  // Whether writing to a read-only file is refused. Wine running as the host's root cannot refuse
  // it: it leaves that check to the host, which grants root everything.
  virtual bool EnforcesReadOnly() = 0;
  // Sets the last-write time of a file to a local time, to the millisecond, past the port.
  virtual bool SetRawWriteTime(const std::string& path, const CivilTime& local) = 0;
  // The delayed replacements the system holds whose source lies below `root`, as (from, to)
  // pairs of paths compared without regard to case; `to` is empty for a deletion.
  virtual std::vector<std::pair<std::string, std::string>> PendingReplacements(
      const std::string& root) = 0;
  // Drops the delayed replacements below `root` again (the test cleans up after itself).
  virtual void ForgetReplacements(const std::string& root) = 0;

  // The test servers. A library that registers records the current directory of its
  // registration as the value named by its file name (lower case) under kServerRecordKey of
  // HKEY_CURRENT_USER; a refusing one records too and returns kRefusedResult; a type library is
  // registered under kTestTypeLibrary. Unregistering takes the record (the type library's key)
  // away again; the refusing library refuses that too, after taking it away.
  enum class ServerKind { Library, RefusingLibrary, LibraryWithoutEntry, TypeLibrary };
  static constexpr const char* kServerRecordKey = "Software\\TamberlyTest\\Servers";
  static constexpr int32_t kRefusedResult = static_cast<int32_t>(0x80004005);  // E_FAIL
  static constexpr const char* kTestTypeLibrary = "{6B1D6A2E-3C55-4F0B-9A66-2D0C7E3A51F1}";
  // Puts a server of that kind at `path`; false when the adapter has none.
  virtual bool PlaceServer(const std::string& path, ServerKind kind) = 0;
  // The servers its internet library reaches: the memory adapter serves a folder of its own; the
  // real API reaches the loopback servers that the environment names (TMBY_TEST_NET_HOST,
  // TMBY_TEST_HTTP_PORT, TMBY_TEST_FTP_PORT, TMBY_TEST_NET_FOLDER, TMBY_TEST_FTP_USER,
  // TMBY_TEST_FTP_PASSWORD), and none when they are not named.
  virtual std::optional<NetServersUnderTest> NetServers() = 0;
};

// "memory", plus in the Windows test binary "win32" (the adapter as it chooses for the running
// system) and "win32ansi" (its path for Windows 9x, forced) unless "win32" takes that path anyway.
std::vector<std::string> AdaptersUnderTest();
// The adapters whose internet library reaches servers: "memory", plus "win32" when the loopback
// servers are named in the environment.
std::vector<std::string> NetAdaptersUnderTest();
// The loopback servers the environment names, if it names them.
std::optional<NetServersUnderTest> LoopbackServers();
std::unique_ptr<PortUnderTest> MakePortUnderTest(const std::string& adapter);

class PortContract : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::IPlatform& Port() { return under_test_->Port(); }
  platform::IFileSystem& Files() { return Port().Files(); }
  platform::IRegistry& Reg() { return Port().Registry(); }
  PortUnderTest& UnderTest() { return *under_test_; }
  bool Simulated() const { return under_test_->Simulated(); }
  // Windows 95, 98 or ME as the system reports itself, or the adapter's path for them.
  bool NineX();

  // The test's folder, and a path below it.
  const std::string& Root() const { return root_; }
  std::string P(const std::string& relative) const { return root_ + "\\" + relative; }
  // A registry key of this test below `root` ("Software\TamberlyContract\<test>"), created on
  // first use and removed with everything below it at the end.
  std::string TestKey(platform::RootKey root = platform::RootKey::CurrentUser);

  void WriteText(const std::string& path, const std::string& text);
  std::string ReadText(const std::string& path);

 private:
  std::unique_ptr<PortUnderTest> under_test_;
  platform::IPlatform* previous_ = nullptr;
  std::string root_;
  std::vector<std::pair<platform::RootKey, std::string>> keys_;
};

// The bytes of a file read through `files`; "<missing>" when it cannot be opened.
std::string ReadFileBytes(platform::IFileSystem& files, const std::string& path);

// Removes a key and everything below it, deepest keys first.
void DeleteKeyTree(platform::IRegistry& registry, platform::RootKey root, const std::string& key);
// Removes a folder and everything in it (read-only files included).
void RemoveTree(platform::IFileSystem& files, const std::string& path);

// Instantiates a contract fixture for every adapter under test.
#define TMBY_PORT_CONTRACT(Fixture)                                                   \
  INSTANTIATE_TEST_SUITE_P(Adapters, Fixture,                                         \
                           ::testing::ValuesIn(::tmby::testing::AdaptersUnderTest()), \
                           [](const auto& info) { return info.param; })

}  // namespace tmby::testing
