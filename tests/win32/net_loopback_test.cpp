// Net install locations over the real Windows Internet library, against the loopback HTTP and FTP
// servers of tests/servers/ (tests/e2e/net_loopback.sh starts them and names them in the
// environment; without them these tests are not instantiated).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "net/net_location.h"
#include "net/remote_file_list.h"
#include "platform/win32/win32_port.h"
#include "support/path_fixtures.h"
#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using fixtures::MessageOf;

std::vector<std::string> WithServers() {
  if (LoopbackServers()) return {"loopback"};
  return {};
}
std::vector<std::string> WithoutLibrary() {
  const char* flag = std::getenv("TMBY_TEST_NO_WININET");
  if (flag != nullptr && std::string(flag) == "1") return {"nowininet"};
  return {};
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 509) & 0xFF);
  return bytes;
}

class NetLoopbackTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    previous_ = platform::SetPort(&port_);
    NetLocations().Reset();
    servers_ = *LoopbackServers();
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    name = name.substr(0, name.find('/'));
    sub_ = "loop-" + name;
    dir_ = servers_.folder + "\\" + sub_;
    RemoveTree(port_.Files(), dir_);
    ASSERT_TRUE(port_.Files().CreateDirectories(dir_)) << dir_;
    local_ = *port_.Files().TempPath() + "tmbynet" + std::to_string(GetCurrentProcessId()) + ".1";
    port_.Files().RemoveFile(local_);
    location_.reset(new TNetInstallLocation(nullptr));
    location_->SetName("NetLoc1");
    location_->OnDataReceived.Set([this](TPersistent*, const std::string&, int32_t bytes,
                                         int32_t total, int32_t size, const void*) {
      EXPECT_LE(bytes, 8192);
      sizes_.push_back(size);
      total_ = total;
    });
  }
  void TearDown() override {
    location_.reset();
    NetLocations().Reset();
    port_.Files().RemoveFile(local_);
    RemoveTree(port_.Files(), dir_);
    platform::SetPort(previous_);
  }

  void Put(const std::string& relative, const std::string& bytes) {
    const std::string path = dir_ + "\\" + relative;
    port_.Files().CreateDirectories(path.substr(0, path.rfind('\\')));
    auto f = port_.Files().Open(path, platform::FileAccess::Write, platform::kShareNone,
                                platform::FileDisposition::CreateAlways);
    ASSERT_TRUE(f) << path;
    ASSERT_TRUE(f->Write(bytes.data(), bytes.size()));
  }
  std::string Read(const std::string& path) { return ReadFileBytes(port_.Files(), path); }
  // An HTTP location for the test's folder, below one of the server's answer modes ("" plain).
  void Http(const std::string& mode = "") {
    TLoginInformation& login = location_->LoginInformation();
    login.Protocol = ipHTTP;
    login.Hostname = servers_.host + ":" + std::to_string(servers_.http_port);
    login.Directory = (mode.empty() ? "" : "\\" + mode) + "\\" + sub_;
  }
  void Ftp(const std::string& directory, bool anonymous) {
    TLoginInformation& login = location_->LoginInformation();
    login.Protocol = ipFTP;
    login.Hostname = servers_.host + ":" + std::to_string(servers_.ftp_port);
    login.Directory = directory;
    login.Anonymous = anonymous;
    login.Username = anonymous ? "" : servers_.user;
    login.Password = anonymous ? "" : servers_.password;
  }
  std::string Fetch(const std::string& name) {
    location_->Download(name, local_);
    return Read(local_);
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  NetServersUnderTest servers_;
  std::string sub_;
  std::string dir_;
  std::string local_;
  TOwned<TNetInstallLocation> location_;
  std::vector<int32_t> sizes_;
  int32_t total_ = 0;
};

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(NetLoopbackTest);
INSTANTIATE_TEST_SUITE_P(Servers, NetLoopbackTest, ::testing::ValuesIn(WithServers()),
                         [](const auto& info) { return info.param; });

TEST_P(NetLoopbackTest, HttpFetchesTheFileAsAnnouncedWithTheKitsHeader) {
  const std::string bytes = Pattern(50000);
  Put("Group1.1", bytes);
  Http();
  EXPECT_TRUE(Fetch("Group1.1") == bytes);
  ASSERT_GE(sizes_.size(), 7u);  // blocks of at most 8192 bytes
  for (int32_t size : sizes_) EXPECT_EQ(size, 50000);
  EXPECT_EQ(total_, 50000);
  // A second file over the same connection.
  Put("Dir1.1", "dir one");
  EXPECT_EQ(Fetch("Dir1.1"), "dir one");
  const char* log = std::getenv("TMBY_TEST_HTTP_LOG");
  ASSERT_NE(log, nullptr);
  const std::string requests = Read(log);
  EXPECT_NE(requests.find("GET /" + sub_ + "/Group1.1 HTTP/1.1"), std::string::npos) << requests;
  EXPECT_NE(requests.find("Accept: */*"), std::string::npos);
}

TEST_P(NetLoopbackTest, HttpAnswerWithoutLengthReportsFileSize0) {
  Put("Group1.1", Pattern(20000));
  Http("nolength");
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(20000));
  ASSERT_FALSE(sizes_.empty());
  for (int32_t size : sizes_) EXPECT_EQ(size, 0);
}

TEST_P(NetLoopbackTest, HttpMissingFileIsNotSavedAsTheProduct) {
  Http();
  const std::string message = MessageOf<ENIL_FileNotFound>([&] { Fetch("Missing.1"); });
  EXPECT_EQ(message.rfind("Could not find the file Missing.1 on the server. Error message ", 0), 0u)
      << message;
  EXPECT_NE(message.find(". Server 127.0.0.1:"), std::string::npos) << message;
  EXPECT_EQ(Read(local_), "<missing>");
}

TEST_P(NetLoopbackTest, HttpCredentialsAreAskedForAndAWrongOneIsNamedByStatus) {
  Put("Group1.1", "private bytes");
  Http("private");
  TLoginInformation& login = location_->LoginInformation();
  login.Anonymous = false;
  login.Username = servers_.user;
  login.Password = servers_.password;
  EXPECT_EQ(Fetch("Group1.1"), "private bytes");
  location_->Disconnect();
  login.Password = "wrong";
  const std::string message = MessageOf<ENIL_HTTP>([&] { Fetch("Group1.1"); });
  EXPECT_EQ(message.rfind("The server answered 401 ", 0), 0u) << message;
}

TEST_P(NetLoopbackTest, TransferCutShortFailsAndLeavesNoFile) {
  Put("Group1.1", Pattern(100000));
  Http("cut");
  const std::string message = MessageOf<ENIL_ReadFile>([&] { Fetch("Group1.1"); });
  EXPECT_EQ(message.rfind("Could not read from file Group1.1 on the server. ", 0), 0u) << message;
  EXPECT_EQ(Read(local_), "<missing>");
  // The next attempt, from a server that answers in full, fetches the whole file.
  Http();
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(100000));
}

TEST_P(NetLoopbackTest, StalledServerFailsOnceTheWaitRunsOut) {
  Put("Group1.1", Pattern(100000));
  Http("stall");
  location_->Timeout = 1500;
  const DWORD start = GetTickCount();
  const std::string message = MessageOf<ENIL_ReadFile>([&] { Fetch("Group1.1"); });
  const DWORD waited = GetTickCount() - start;
  // (Windows names ERROR_INTERNET_TIMEOUT; Wine 8 leaves an error of no registered name.)
  EXPECT_EQ(message.rfind("Could not read from file Group1.1 on the server. Error message ", 0), 0u)
      << message;
  // The server stalls for a minute: the wait ended well before it gave up.
  EXPECT_LT(waited, 20000u);
  EXPECT_EQ(Read(local_), "<missing>");
}

TEST_P(NetLoopbackTest, FtpNamedLoginStaysInItsRelativeDirectoryAcrossDownloads) {
  Put("web\\Group1.1", Pattern(40000));
  Put("web\\Dir1.1", "dir one");
  Ftp(sub_ + "\\web", false);
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(40000));
  EXPECT_EQ(Fetch("Dir1.1"), "dir one");
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(40000));
  ASSERT_FALSE(sizes_.empty());
  EXPECT_GT(sizes_[0], 0);
  const std::string missing = MessageOf<ENIL_FTPOpenFile>([&] { Fetch("Missing.1"); });
  EXPECT_EQ(missing.rfind("Cannot open file Missing.1 on server. Error message ", 0), 0u)
      << missing;
  EXPECT_NE(missing.find("Response from server 550"), std::string::npos) << missing;
}

TEST_P(NetLoopbackTest, FtpAnonymousLoginAndTheRemoteFileList) {
  ASSERT_TRUE(WriteRemoteFileList(dir_ + "\\filelist.lst",
                                  {{10, 1.5, "IFOne", "1.0"}, {20, 2.5, "IFTwo", "2.0"}}));
  Ftp("\\" + sub_, true);
  const auto records = FetchRemoteFileList(*location_);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].Name, "IFTwo");
  EXPECT_EQ(records[1].Date, 2.5);
}

TEST_P(NetLoopbackTest, FtpWrongPasswordAndMissingDirectoryAreNamed) {
  Ftp(sub_, false);
  location_->LoginInformation().Password = "wrong";
  const std::string login = MessageOf<ENIL_OpenService>([&] { location_->Connect(); });
  EXPECT_NE(login.find("Error message ERROR_INTERNET_LOGIN_FAILURE."), std::string::npos) << login;
  EXPECT_NE(login.find("Response from server 530"), std::string::npos) << login;
  location_->LoginInformation().Password = servers_.password;
  location_->LoginInformation().Directory = sub_ + "\\nowhere";
  const std::string dir = MessageOf<ENIL_FTPSetDir>([&] { location_->Connect(); });
  EXPECT_EQ(dir.rfind("Cannot set directory on server to " + sub_ + "/nowhere. ", 0), 0u) << dir;
}

class NetLibraryMissingTest : public ::testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(NetLibraryMissingTest);
INSTANTIATE_TEST_SUITE_P(Wine, NetLibraryMissingTest, ::testing::ValuesIn(WithoutLibrary()),
                         [](const auto& info) { return info.param; });

TEST_P(NetLibraryMissingTest, ConnectNamesTheMissingLibrary) {
  platform::win32::Win32Platform port;
  platform::IPlatform* previous = platform::SetPort(&port);
  {
    TOwned<TNetInstallLocation> location(new TNetInstallLocation(nullptr));
    location->LoginInformation().Hostname = "127.0.0.1";
    EXPECT_EQ(MessageOf<ENIL_FailLoadWININET>([&] { location->Connect(); }),
              "Failed to load the Wininet.dll. If this is a hybrid installation, you might want "
              "to include the WININET.DLL file in the PresetupFiles property of the TInstall "
              "component");
  }
  NetLocations().Reset();
  platform::SetPort(previous);
}

}  // namespace
}  // namespace tmby::testing
