// The internet library as every adapter must show it: bound by name, HTTP requests with their
// status and length, FTP logins, directories and files, and the errors the kit reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/internet_functions.h"
#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::IInternetLibrary;
using platform::InternetHandle;
namespace inet = platform::inet;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class InternetContract : public PortContract {
 protected:
  void SetUp() override {
    PortContract::SetUp();
    if (HasFatalFailure()) return;
    const auto servers = UnderTest().NetServers();
    ASSERT_TRUE(servers);
    servers_ = *servers;
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    sub_ = "contract-" + name;
    dir_ = servers_.folder + "\\" + sub_;
    RemoveTree(Files(), dir_);
    ASSERT_TRUE(Files().CreateDirectories(dir_)) << dir_;
    lib_ = Port().Internet().Load();
    ASSERT_TRUE(lib_) << Port().Internet().LastError();
    for (const char* f : inet::kLocationFunctions) ASSERT_TRUE(lib_->Bind(f)) << f;
    session_ = lib_->Open("Contract", inet::kOpenTypePreconfig, 0);
    ASSERT_NE(session_, 0u) << lib_->LastError();
  }

  void TearDown() override {
    if (lib_) {
      if (session_ != 0) lib_->CloseHandle(session_);
      lib_.reset();
    }
    if (!dir_.empty()) RemoveTree(Files(), dir_);
    PortContract::TearDown();
  }

  InternetHandle Http() {
    const InternetHandle c = lib_->Connect(session_, servers_.host, servers_.http_port,
                                           std::string(), std::string(), inet::kServiceHttp, 0);
    EXPECT_NE(c, 0u) << lib_->LastError();
    return c;
  }

  InternetHandle Ftp(const std::optional<std::string>& user,
                     const std::optional<std::string>& password) {
    return lib_->Connect(session_, servers_.host, servers_.ftp_port, user, password,
                         inet::kServiceFtp, 0);
  }

  // Sends a GET for a file of the test's folder.
  InternetHandle Get(InternetHandle connection, const std::string& name) {
    const InternetHandle r = lib_->HttpOpenRequest(
        connection, "GET", "/" + sub_ + "/" + name,
        inet::kFlagReload | inet::kFlagExistingConnect | inet::kFlagNoCacheWrite);
    EXPECT_NE(r, 0u) << lib_->LastError();
    EXPECT_TRUE(lib_->HttpSendRequest(r, "Accept: */*\r\n\r\n")) << lib_->LastError();
    return r;
  }

  std::string Query(InternetHandle request, uint32_t level) {
    std::string text;
    EXPECT_TRUE(lib_->HttpQueryInfo(request, level, 33, &text))
        << level << " " << lib_->LastError();
    return text;
  }

  // Reads in blocks of 8192 bytes until the end; every block of the transfer is at most that.
  std::string ReadAll(InternetHandle file) {
    std::string out;
    std::vector<char> block(8192);
    for (int guard = 0; guard < 10000; ++guard) {
      uint32_t got = 0;
      if (!lib_->ReadFile(file, block.data(), 8192, &got)) {
        ADD_FAILURE() << "read failed: " << lib_->LastError();
        break;
      }
      if (got == 0) break;
      EXPECT_LE(got, 8192u);
      out.append(block.data(), got);
    }
    return out;
  }

  NetServersUnderTest servers_;
  std::string sub_;
  std::string dir_;
  std::unique_ptr<IInternetLibrary> lib_;
  InternetHandle session_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Adapters, InternetContract, ::testing::ValuesIn(NetAdaptersUnderTest()),
                         [](const auto& info) { return info.param; });

TEST_P(InternetContract, FunctionsAreBoundByNameAndOnlyBoundOnesAnswer) {
  auto fresh = Port().Internet().Load();
  ASSERT_TRUE(fresh);
  // Before binding, a call fails as a missing function would.
  EXPECT_EQ(fresh->Open("x", 0, 0), 0u);
  EXPECT_EQ(fresh->LastError(), inet::kProcNotFound);
  EXPECT_FALSE(fresh->Bind("InternetOpenTheDoorA"));
  EXPECT_TRUE(fresh->Bind("InternetOpenA"));
  const InternetHandle h = fresh->Open("x", inet::kOpenTypePreconfig, 0);
  EXPECT_NE(h, 0u);
  // The time-outs are the one function bound on its own.
  EXPECT_TRUE(fresh->SetTimeouts(h, 5000)) << fresh->LastError();
  EXPECT_TRUE(fresh->Bind("InternetCloseHandle"));
  EXPECT_TRUE(fresh->CloseHandle(h));
}

TEST_P(InternetContract, HttpGetAnswersStatusLengthAndTheFileInBlocks) {
  const std::string bytes = Pattern(20000);
  WriteText(dir_ + "\\data.1", bytes);
  const InternetHandle c = Http();
  const InternetHandle r = Get(c, "data.1");
  EXPECT_EQ(Query(r, inet::kQueryStatusCode), "200");
  EXPECT_EQ(Query(r, inet::kQueryContentLength), "20000");
  EXPECT_TRUE(ReadAll(r) == bytes);
  EXPECT_TRUE(lib_->CloseHandle(r));
  // A second file over the same connection.
  WriteText(dir_ + "\\small.1", "tiny");
  const InternetHandle r2 = Get(c, "small.1");
  EXPECT_EQ(ReadAll(r2), "tiny");
  EXPECT_TRUE(lib_->CloseHandle(r2));
  EXPECT_TRUE(lib_->CloseHandle(c));
}

TEST_P(InternetContract, HttpMissingFileIs404WithAPageThatDoesNotSayItFirst) {
  const InternetHandle c = Http();
  const InternetHandle r = Get(c, "missing.1");
  EXPECT_EQ(Query(r, inet::kQueryStatusCode), "404");
  const std::string page = ReadAll(r);
  ASSERT_FALSE(page.empty());
  // The reason the status must be asked: the page's first 30 characters hold no "404".
  EXPECT_EQ(page.substr(0, 30).find("404"), std::string::npos) << page.substr(0, 30);
  lib_->CloseHandle(r);
  lib_->CloseHandle(c);
}

TEST_P(InternetContract, HttpQueryOfAMissingHeaderFailsWithHeaderNotFound) {
  WriteText(dir_ + "\\data.1", "abc");
  const InternetHandle c = Http();
  const InternetHandle r = Get(c, "data.1");
  std::string text = "untouched";
  // A header no server sends (Content-Transfer-Encoding, level 26).
  EXPECT_FALSE(lib_->HttpQueryInfo(r, 26, 33, &text));
  EXPECT_EQ(lib_->LastError(), inet::kErrorHeaderNotFound);
  EXPECT_EQ(text, "");
  lib_->CloseHandle(r);
  lib_->CloseHandle(c);
}

TEST_P(InternetContract, FtpNamedLoginChangesDirectoryAndReadsTheFile) {
  const std::string bytes = Pattern(30000);
  ASSERT_TRUE(Files().CreateDirectories(dir_ + "\\a\\b"));
  WriteText(dir_ + "\\a\\b\\data.1", bytes);
  const InternetHandle c = Ftp(servers_.user, servers_.password);
  ASSERT_NE(c, 0u) << lib_->LastError();
  ASSERT_TRUE(lib_->FtpSetCurrentDirectory(c, "/" + sub_ + "/a/b")) << lib_->LastError();
  const InternetHandle f =
      lib_->FtpOpenFile(c, "data.1", inet::kGenericRead, inet::kFtpTransferBinary);
  ASSERT_NE(f, 0u) << lib_->LastError();
  uint32_t available = 0;
  EXPECT_TRUE(lib_->QueryDataAvailable(f, &available)) << lib_->LastError();
  EXPECT_LE(available, 30000u);
  EXPECT_TRUE(ReadAll(f) == bytes);
  EXPECT_TRUE(lib_->CloseHandle(f)) << lib_->LastError();
  // The directory holds for the connection: a relative change goes on from there.
  ASSERT_TRUE(Files().CreateDirectories(dir_ + "\\a\\b\\c"));
  EXPECT_TRUE(lib_->FtpSetCurrentDirectory(c, "c")) << lib_->LastError();
  EXPECT_TRUE(lib_->CloseHandle(c));
}

TEST_P(InternetContract, FtpAnonymousLoginWithoutCredentials) {
  WriteText(dir_ + "\\data.1", "anonymous bytes");
  const InternetHandle c = Ftp(std::nullopt, std::nullopt);
  ASSERT_NE(c, 0u) << lib_->LastError();
  ASSERT_TRUE(lib_->FtpSetCurrentDirectory(c, "/" + sub_));
  const InternetHandle f =
      lib_->FtpOpenFile(c, "data.1", inet::kGenericRead, inet::kFtpTransferBinary);
  ASSERT_NE(f, 0u) << lib_->LastError();
  EXPECT_EQ(ReadAll(f), "anonymous bytes");
  lib_->CloseHandle(f);
  lib_->CloseHandle(c);
}

TEST_P(InternetContract, FtpWrongPasswordIsALoginFailureWithTheServersAnswer) {
  EXPECT_EQ(Ftp(servers_.user, servers_.password + "x"), 0u);
  EXPECT_EQ(lib_->LastError(), inet::kErrorLoginFailure);
  std::string response;
  EXPECT_TRUE(lib_->GetLastResponseInfo(3000, &response));
  EXPECT_EQ(response.rfind("530", 0), 0u) << response;
}

TEST_P(InternetContract, FtpMissingDirectoryAndFileFailWithTheServersAnswer) {
  const InternetHandle c = Ftp(servers_.user, servers_.password);
  ASSERT_NE(c, 0u) << lib_->LastError();
  EXPECT_FALSE(lib_->FtpSetCurrentDirectory(c, "/" + sub_ + "/nowhere"));
  EXPECT_EQ(lib_->LastError(), inet::kErrorExtendedError);
  ASSERT_TRUE(lib_->FtpSetCurrentDirectory(c, "/" + sub_));
  EXPECT_EQ(lib_->FtpOpenFile(c, "missing.1", inet::kGenericRead, inet::kFtpTransferBinary), 0u);
  EXPECT_EQ(lib_->LastError(), inet::kErrorExtendedError);
  std::string response;
  EXPECT_TRUE(lib_->GetLastResponseInfo(3000, &response));
  EXPECT_NE(response.find("550"), std::string::npos) << response;
  EXPECT_TRUE(lib_->CloseHandle(c));
}

TEST_P(InternetContract, ClosingAHandleTwiceFails) {
  const InternetHandle c = Http();
  EXPECT_TRUE(lib_->CloseHandle(c));
  EXPECT_FALSE(lib_->CloseHandle(c));
  EXPECT_EQ(lib_->LastError(), platform::err::kInvalidHandle);
}

}  // namespace
}  // namespace tmby::testing
