// Net install locations on the memory adapter: what they ask of the Windows Internet library, how
// a transfer reports and ends, and the failures they raise.
#include "net/net_location.h"

#include <gtest/gtest.h>

#include "net/net_errors.h"
#include "support/memory_machine.h"
#include "support/path_fixtures.h"

namespace tmby::testing {
namespace {

using fixtures::MessageOf;
namespace inet = platform::inet;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 13 + i / 97) % 26);
  return bytes;
}

struct Block {
  std::string file;
  int32_t bytes;
  int32_t total;
  int32_t size;
};

class NetLocationTest : public MemoryMachineTest {
 protected:
  NetLocationTest() {
    NetLocations().Reset();
    Files().CreateDirectories(kServed);
    server_.folder = *Machine().HostPath(kServed);
    server_.user = "tamberly";
    server_.password = "lakeside";
    Machine().ServeHost("files.example", server_);
    location_.reset(new TNetInstallLocation(nullptr));
    location_->SetName("NetLoc1");
    TLoginInformation& login = location_->LoginInformation();
    login.Hostname = "files.example";
    location_->OnDataReceived.Set([this](TPersistent* sender, const std::string& file,
                                         int32_t bytes, int32_t total, int32_t size, const void*) {
      EXPECT_EQ(sender, location_.get());
      blocks_.push_back({file, bytes, total, size});
    });
  }
  ~NetLocationTest() override {
    location_.reset();
    NetLocations().Reset();
  }

  // Downloads into C:\local.1 and returns what arrived there.
  std::string Fetch(const std::string& name) {
    location_->Download(name, kLocal);
    return Local();
  }
  std::string Local() { return FileBytes(kLocal); }
  // The library calls the location made, from `first` on.
  std::vector<std::string> Calls(size_t first = 0) {
    const auto& log = Machine().InternetLog();
    return std::vector<std::string>(log.begin() + static_cast<ptrdiff_t>(first), log.end());
  }
  // The connection is made for one protocol: a new one is opened for the other.
  void UseFtp(const std::string& directory) {
    location_->Disconnect();
    location_->LoginInformation().Protocol = ipFTP;
    location_->LoginInformation().Directory = directory;
  }

  static constexpr const char* kServed = "C:\\Served";
  static constexpr const char* kLocal = "C:\\local.1";
  platform::memory::NetServer server_;
  TOwned<TNetInstallLocation> location_;
  std::vector<Block> blocks_;
};

TEST_F(NetLocationTest, HttpGetAsksWithTheStatedFlagsAndHeaderAndReportsEveryBlock) {
  const std::string bytes = Pattern(20000);
  MakeFile("C:\\Served\\setup\\web\\Group1.1", bytes);
  location_->LoginInformation().Directory = "setup\\web";
  std::vector<std::string> events;
  location_->OnBeforeConnect.Set([&](TCustomNetInstallLocation*) { events.push_back("connect"); });
  location_->OnAfterConnect.Set([&](TCustomNetInstallLocation*) { events.push_back("connected"); });
  location_->OnBeforeDownload.Set([&](TCustomNetInstallLocation* l) {
    events.push_back("download " + l->RemoteFile() + " to " + l->LocalFile());
  });
  location_->OnAfterDownload.Set([&](TCustomNetInstallLocation*, bool aborted) {
    events.push_back(aborted ? "aborted" : "done");
  });
  int client = 0;
  location_->ClientDataReceived.Set(
      [&](TPersistent*, const std::string&, int32_t, int32_t, int32_t, const void*) { ++client; });

  EXPECT_TRUE(Fetch("Group1.1") == bytes);
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "open  access 0 flags 0x00000000",
                         "connect files.example:0 service 3 user  password  flags 0x00000000",
                         "http-open GET /setup/web/Group1.1 flags 0xA4000000",
                         "send Accept: */*\\r\\n\\r\\n"}));
  ASSERT_EQ(blocks_.size(), 3u);
  EXPECT_EQ(blocks_[0].file, "Group1.1");
  EXPECT_EQ(blocks_[0].bytes, 8192);
  EXPECT_EQ(blocks_[1].total, 16384);
  EXPECT_EQ(blocks_[2].bytes, 20000 - 16384);
  EXPECT_EQ(blocks_[2].total, 20000);
  for (const Block& b : blocks_) EXPECT_EQ(b.size, 20000);
  EXPECT_EQ(client, 3);

  // The session and the connection serve the next download; only the request is new.
  MakeFile("C:\\Served\\setup\\web\\Dir1.1", "dir one");
  EXPECT_EQ(Fetch("Dir1.1"), "dir one");
  EXPECT_EQ(events,
            (std::vector<std::string>{"connect", "connected", "download Group1.1 to C:\\local.1",
                                      "done", "download Dir1.1 to C:\\local.1", "done"}));
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);
  location_.reset();
  EXPECT_EQ(Machine().OpenInternetHandles(), 0);
}

TEST_F(NetLocationTest, HttpObjectPathFromTheDirectory) {
  MakeFile("C:\\Served\\a.1", "root");
  MakeFile("C:\\Served\\x\\y\\a.1", "deep");
  for (const auto& [directory, object] :
       std::vector<std::pair<std::string, std::string>>{{"", "/a.1"},
                                                        {"   ", "/a.1"},
                                                        {"\\", "/a.1"},
                                                        {"\\x\\y", "/x/y/a.1"},
                                                        {"x\\y\\", "/x/y/a.1"},
                                                        {"/x/y", "/x/y/a.1"}}) {
    location_->LoginInformation().Directory = directory;
    const size_t first = Machine().InternetLog().size();
    location_->Download("a.1", kLocal);
    bool asked = false;
    for (const std::string& call : Calls(first)) {
      if (call.rfind("http-open", 0) == 0) {
        asked = true;
        EXPECT_EQ(call, "http-open GET " + object + " flags 0xA4000000") << directory;
      }
    }
    EXPECT_TRUE(asked) << directory;
  }
}

TEST_F(NetLocationTest, FtpGoesToTheDirectoryOncePerConnectionAndReadsTheImage) {
  MakeFile("C:\\Served\\pub\\setup\\Group1.1", Pattern(9000));
  MakeFile("C:\\Served\\pub\\Dir1.1", "dir one");
  UseFtp("pub\\setup");
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(9000));
  // A relative directory set again would lead one level deeper: the second download stays.
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(9000));
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "open  access 0 flags 0x00000000",
                         "connect files.example:0 service 1 user - password - flags 0x00000000",
                         "cd pub/setup", "ftp-open Group1.1 access 0x80000000 flags 0x00000002",
                         "ftp-open Group1.1 access 0x80000000 flags 0x00000002"}));
  // The announced size is what one read could deliver, not the file's size.
  ASSERT_FALSE(blocks_.empty());
  EXPECT_GT(blocks_[0].size, 0);
  EXPECT_LE(blocks_[0].size, 9000);

  // Another relative directory starts from the login's own on a new connection; an absolute one
  // is reached from wherever the connection is.
  size_t first = Machine().InternetLog().size();
  location_->LoginInformation().Directory = "pub";
  EXPECT_EQ(Fetch("Dir1.1"), "dir one");
  EXPECT_EQ(Calls(first)[0].rfind("connect ", 0), 0u);
  EXPECT_EQ(Calls(first)[1], "cd pub");
  first = Machine().InternetLog().size();
  location_->LoginInformation().Directory = "\\pub\\setup";
  EXPECT_TRUE(Fetch("Group1.1") == Pattern(9000));
  EXPECT_EQ(Calls(first)[0], "cd /pub/setup");
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);
}

TEST_F(NetLocationTest, LoginsAndPorts) {
  MakeFile("C:\\Served\\a.1", "x");
  TLoginInformation& login = location_->LoginInformation();
  // A named FTP login passes its user and password; an empty directory is the root.
  UseFtp("");
  login.Anonymous = false;
  login.Username = "tamberly";
  login.Password = "lakeside";
  login.Hostname = "files.example:2121";
  EXPECT_EQ(Fetch("a.1"), "x");
  EXPECT_EQ(Calls()[1],
            "connect files.example:2121 service 1 user tamberly password lakeside "
            "flags 0x00000000");
  EXPECT_EQ(Calls()[2], "cd /");

  EXPECT_EQ(HostOf(" files.example:8080 "), "files.example");
  EXPECT_EQ(PortOf("files.example:8080"), 8080);
  // Not a port: the name stays whole and the protocol's port applies.
  for (const char* odd : {"files.example:99999", "files.example:", "fe80::1", "host:8o"}) {
    EXPECT_EQ(HostOf(odd), odd);
    EXPECT_EQ(PortOf(odd), 0) << odd;
  }
}

TEST_F(NetLocationTest, CompletenessOfALogin) {
  TLoginInformation login(nullptr);
  EXPECT_FALSE(login.IsComplete());
  login.Hostname = "  ";
  EXPECT_FALSE(login.IsComplete());
  login.Hostname = "h";
  EXPECT_TRUE(login.IsComplete());
  login.Hostname = "";
  login.Anonymous = false;
  EXPECT_FALSE(login.IsComplete());
  login.Password = "secret";  // a password alone is enough
  EXPECT_TRUE(login.IsComplete());

  TLoginInformation copy(nullptr);
  copy.Assign(login);
  EXPECT_FALSE(copy.Anonymous);
  EXPECT_EQ(copy.Password, "secret");
  location_->SetLoginInformation(login);
  EXPECT_EQ(location_->LoginInformation().Password, "secret");
  EXPECT_EQ(location_->LoginInformation().Location(), location_.get());
  EXPECT_EQ(ToUrlPath("a\\b"), "a/b");
  EXPECT_EQ(ToUrlPath(" \t"), "/");
}

// The folder of a net build that the server mirrors: one Windows name per part, whatever the
// login's host and directory hold.
TEST_F(NetLocationTest, MirrorFolderOfALogin) {
  TLoginInformation login(nullptr);
  login.Hostname = "files.example:8080";
  login.Directory = "/pub/tamberly?v=2";
  EXPECT_EQ(NetRelativeDir(login), "files.example8080\\-pub-tamberlyv=2");
  login.Directory = "setup\\\"web\"|*<>;";
  EXPECT_EQ(NetRelativeDir(login), "files.example8080\\setupweb");
  login.Directory = "  ";
  EXPECT_EQ(NetRelativeDir(login), "files.example8080\\HTTP Root directory");
  login.Protocol = ipFTP;
  EXPECT_EQ(NetRelativeDir(login), "files.example8080\\FTP Root directory");
}

TEST_F(NetLocationTest, MissingHttpFileIsFoundOutByItsStatusBeforeAnythingIsWritten) {
  // The server's page does not begin with "404": only the status tells.
  const std::string message =
      MessageOf<ENIL_FileNotFound>([&] { location_->Download("Missing.1", kLocal); });
  EXPECT_EQ(message,
            "Could not find the file Missing.1 on the server. Error message Unregistered error "
            "code. Server files.example. Response from server ");
  EXPECT_EQ(Local(), "<missing>");
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);  // the request is closed
}

TEST_F(NetLocationTest, FirstBlockThatSays404IsRefusedUpToItsFirstNul) {
  MakeFile("C:\\Served\\readme.1", "Release notes of build 404 ...");
  EXPECT_EQ(MessageOf<ENIL_FileNotFound>([&] { Fetch("readme.1"); }).substr(0, 48),
            "Could not find the file readme.1 on the server. ");
  EXPECT_EQ(Local(), "");  // created, nothing written
  // Beyond the first 30 characters, or after a NUL, the same digits are just data.
  const std::string late = std::string("Release notes of build 1.0 ..") + "404";
  MakeFile("C:\\Served\\late.1", late);
  EXPECT_EQ(Fetch("late.1"), late);
  const std::string binary = std::string("MZ\0\0", 4) + "404";
  MakeFile("C:\\Served\\binary.1", binary);
  EXPECT_EQ(Fetch("binary.1"), binary);
  // The same rule does not apply to FTP.
  UseFtp("");
  EXPECT_EQ(Fetch("readme.1"), "Release notes of build 404 ...");
}

TEST_F(NetLocationTest, EmptyRemoteFileCountsAsNotFound) {
  MakeFile("C:\\Served\\empty.1", "");
  EXPECT_NE(MessageOf<ENIL_FileNotFound>([&] { Fetch("empty.1"); }), "(no exception)");
  UseFtp("");
  EXPECT_NE(MessageOf<ENIL_FileNotFound>([&] { Fetch("empty.1"); }), "(no exception)");
}

TEST_F(NetLocationTest, AnswerWithoutALengthReportsFileSize0) {
  server_.content_length = false;
  Machine().ServeHost("files.example", server_);
  MakeFile("C:\\Served\\a.1", Pattern(10000));
  EXPECT_TRUE(Fetch("a.1") == Pattern(10000));
  ASSERT_EQ(blocks_.size(), 2u);
  for (const Block& b : blocks_) EXPECT_EQ(b.size, 0);
}

TEST_F(NetLocationTest, TransferThatBreaksOffLeavesNoFileBehind) {
  MakeFile("C:\\Served\\big.1", Pattern(30000));
  // The server closes early: the reads end as though the file did, short of its length.
  Machine().CutTransfers(10000);
  EXPECT_EQ(MessageOf<ENIL_ReadFile>([&] { Fetch("big.1"); }),
            "Could not read from file big.1 on the server. Error message Unregistered error "
            "code. Server files.example. Response from server ");
  EXPECT_EQ(Local(), "<missing>");
  // The server stalls until the library's wait runs out.
  Machine().CutTransfers(10000, inet::kErrorTimeout);
  const std::string stalled = MessageOf<ENIL_ReadFile>([&] { Fetch("big.1"); });
  EXPECT_NE(stalled.find("Error message ERROR_INTERNET_TIMEOUT."), std::string::npos) << stalled;
  EXPECT_EQ(Local(), "<missing>");
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);
  // The next attempt fetches the whole file again.
  Machine().CutTransfers(std::nullopt);
  EXPECT_TRUE(Fetch("big.1") == Pattern(30000));
}

TEST_F(NetLocationTest, CancelStopsQuietlyAndKeepsWhatWasWritten) {
  MakeFile("C:\\Served\\big.1", Pattern(30000));
  int runs = 0;
  Machine().SetMessageHook([&] {
    if (++runs == 2) NetLocations().DownloadAbort = true;
  });
  bool aborted = false;
  location_->OnAfterDownload.Set([&](TCustomNetInstallLocation*, bool a) { aborted = a; });
  // The first block is written; the cancel comes before the second is.
  EXPECT_TRUE(Fetch("big.1") == Pattern(8192));
  EXPECT_TRUE(aborted);
  EXPECT_EQ(blocks_.size(), 2u);
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);
}

TEST_F(NetLocationTest, TimeoutIsGivenToEveryHandleWhenSet) {
  MakeFile("C:\\Served\\a.1", "x");
  location_->Timeout = 1500;
  Fetch("a.1");
  const std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 7u);
  // The session, the connection and the request.
  for (size_t i : {1u, 3u, 5u}) EXPECT_EQ(calls[i], "timeouts 1500") << i;
  // Without one, the library keeps its own.
  TOwned<TNetInstallLocation> other(new TNetInstallLocation(nullptr));
  other->LoginInformation().Hostname = "files.example";
  const size_t first = Machine().InternetLog().size();
  other->Download("a.1", kLocal);
  for (const std::string& call : Calls(first)) {
    EXPECT_EQ(call.rfind("timeouts", 0), std::string::npos);
  }
}

TEST_F(NetLocationTest, MissingLibraryOrFunctionIsNamedAndIsNoENIL) {
  Machine().SetInternetLibrary(false);
  try {
    location_->Connect();
    FAIL() << "no exception";
  } catch (const ENIL&) {
    FAIL() << "caught as ENIL";
  } catch (const ENIL_FailLoadWININET& e) {
    EXPECT_EQ(e.Message(),
              "Failed to load the Wininet.dll. If this is a hybrid installation, you might want "
              "to include the WININET.DLL file in the PresetupFiles property of the TInstall "
              "component");
  }
  EXPECT_FALSE(location_->Bound());
  Machine().SetInternetLibrary(true);
  // The first missing function in lookup order is named, without its "A".
  Machine().RemoveInternetFunction("HttpQueryInfoA");
  Machine().RemoveInternetFunction("FtpSetCurrentDirectoryA");
  EXPECT_EQ(MessageOf<ENIL_FailLoadDLLProc>([&] { location_->BindWinInet(); }),
            "Failed to load the procedure FtpSetCurrentDirectory from WININET.DLL");
  EXPECT_FALSE(location_->Bound());
}

TEST_F(NetLocationTest, FailuresCarryTheErrorNameTheHostAndTheServersResponse) {
  UseFtp("pub");
  TLoginInformation& login = location_->LoginInformation();
  login.Anonymous = false;
  login.Username = "tamberly";
  login.Password = "wrong";
  EXPECT_EQ(MessageOf<ENIL_OpenService>([&] { location_->Connect(); }),
            "Cannot connect to host files.example. Error message ERROR_INTERNET_LOGIN_FAILURE. "
            "Server files.example. Response from server 530 Authentication failed.");
  login.Password = "lakeside";
  EXPECT_EQ(MessageOf<ENIL_FTPSetDir>([&] { location_->Connect(); }),
            "Cannot set directory on server to pub. Error message ERROR_INTERNET_EXTENDED_ERROR. "
            "Server files.example. Response from server 550 No such file or directory.");
  login.Directory = "";
  const std::string open = MessageOf<ENIL_FTP>([&] { Fetch("none.1"); });
  EXPECT_EQ(open.substr(0, 33), "Cannot open file none.1 on server");
  // HTTP to a host nobody serves fails at the request, which is closed again.
  TOwned<TNetInstallLocation> other(new TNetInstallLocation(nullptr));
  other->LoginInformation().Hostname = "nowhere.example";
  // (The response is the thread's last one from any server: HTTP leaves the FTP answer.)
  EXPECT_EQ(MessageOf<ENIL_HTTP>([&] { other->Download("a.1", kLocal); }),
            "Cannot send request for file a.1 to the server. Error message "
            "ERROR_INTERNET_NAME_NOT_RESOLVED. Server nowhere.example. Response from server 550 "
            "No such file or directory.");
  other.reset();
  EXPECT_EQ(Machine().OpenInternetHandles(), 2);  // only this location's session and connection
}

TEST_F(NetLocationTest, ErrorNamesOfTheLibrary) {
  for (const auto& [code, name] :
       std::vector<std::pair<uint32_t, std::string>>{{6, "ERROR_INVALID_HANDLE"},
                                                     {12001, "ERROR_INTERNET_OUT_OF_HANDLES"},
                                                     {12032, "ERROR_INTERNET_FORCE_RETRY"},
                                                     {12036, "ERROR_INTERNET_HANDLE_EXISTS"},
                                                     {12041, "ERROR_INTERNET_MIXED_SECURITY"},
                                                     {12110, "ERROR_FTP_TRANSFER_IN_PROGRESS"},
                                                     {12111, "ERROR_FTP_DROPPED"},
                                                     {12130, "ERROR_GOPHER_PROTOCOL_ERROR"},
                                                     {12138, "ERROR_GOPHER_UNKNOWN_LOCATOR"},
                                                     {12150, "ERROR_HTTP_HEADER_NOT_FOUND"},
                                                     {12155, "ERROR_HTTP_HEADER_ALREADY_EXISTS"}}) {
    EXPECT_EQ(InternetErrorName(code), name) << code;
  }
  for (uint32_t code : {0u, 5u, 12000u, 12033u, 12035u, 12112u, 12139u, 12156u}) {
    EXPECT_EQ(InternetErrorName(code), "Unregistered error code") << code;
  }
}

TEST_F(NetLocationTest, ProcessWideListCurrentAndLastConnected) {
  TNetLocations& net = NetLocations();
  const int before = net.List.Count();
  TNetInstallLocation* second = new TNetInstallLocation(nullptr);
  EXPECT_EQ(net.List.Count(), before + 1);
  EXPECT_EQ(net.List.Items(before), second);
  net.Current = second;
  second->LoginInformation().Hostname = "files.example";
  second->Connect();
  EXPECT_EQ(net.LastConnected, second);
  TComponent::Free(second);
  EXPECT_EQ(net.List.Count(), before);
  EXPECT_EQ(net.Current, nullptr);
  EXPECT_EQ(net.LastConnected, nullptr);
  // A blank entry is refused with an ENIL that names no server.
  try {
    net.List.Add(nullptr);
    FAIL() << "no exception";
  } catch (const IException&) {
    FAIL() << "caught as IException";
  } catch (const ENIL& e) {
    EXPECT_STREQ(e.ClassName(), "IENetList");
    EXPECT_EQ(e.Message(),
              "Cannot add a blank location to the global net location list. Error message "
              "Unregistered error code. Server . Response from server No server response");
  }
}

}  // namespace
}  // namespace tmby::testing
