// The remote file list: its byte layout, read back independently of the writer, its damaged
// forms, and its download through a location.
#include "net/remote_file_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "net/net_location.h"
#include "support/memory_machine.h"
#include "support/path_fixtures.h"

namespace tmby::testing {
namespace {

using fixtures::MessageOf;

class RemoteFileListTest : public MemoryMachineTest {
 protected:
  static int32_t Int32At(const std::string& b, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24));
  }
  static double DoubleAt(const std::string& b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
  }
  // The temporary files the kit made ("bat*.tmp") that are still there.
  size_t TempFiles() { return Files().FindFiles("C:\\WINDOWS\\TEMP\\bat*").size(); }
};

TEST_F(RemoteFileListTest, RecordsAre80BytesWithTheirFieldsInPlace) {
  const std::vector<TRemoteFileRecord> records{
      {12345, 37000.5, "IFLakeside_Exe", "1.2.3.4"},
      {7, 36526.25, std::string(45, 'N'), "12345678901234567890EXTRA"}};
  ASSERT_TRUE(WriteRemoteFileList("C:\\filelist.lst", records));
  const std::string b = FileBytes("C:\\filelist.lst");
  ASSERT_EQ(b.size(), 4u + 2 * 80);
  EXPECT_EQ(Int32At(b, 0), 2);
  EXPECT_EQ(Int32At(b, 4), 12345);
  EXPECT_EQ(Int32At(b, 8), 0);  // reserved
  EXPECT_EQ(DoubleAt(b, 12), 37000.5);
  EXPECT_EQ(std::string(b.data() + 20), "IFLakeside_Exe");
  EXPECT_EQ(std::string(b.data() + 60), "1.2.3.4");
  EXPECT_EQ(Int32At(b, 80), 0);  // reserved
  // A name keeps its terminating NUL (39 characters at most); a version of 20 needs none.
  EXPECT_EQ(std::string(b.data() + 84 + 16), std::string(39, 'N'));
  EXPECT_EQ(b.substr(84 + 56, 20), "12345678901234567890");
  EXPECT_EQ(Int32At(b, 84 + 76), 0);

  const std::vector<TRemoteFileRecord> back = ReadRemoteFileList("C:\\filelist.lst");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].Size, 12345);
  EXPECT_EQ(back[0].Date, 37000.5);
  EXPECT_EQ(back[0].Name, "IFLakeside_Exe");
  EXPECT_EQ(back[0].Version, "1.2.3.4");
  EXPECT_EQ(back[1].Name, std::string(39, 'N'));
  EXPECT_EQ(back[1].Version, "12345678901234567890");
}

TEST_F(RemoteFileListTest, DamagedListsAreRefusedWithTheirPath) {
  const std::string path = "C:\\list.tmp";
  auto refused = [&](const std::string& bytes) {
    MakeFile(path, bytes);
    return MessageOf<IEInstall>([&] { ReadRemoteFileList(path); });
  };
  const std::string expected = "Cannot read the remote list of files: C:\\list.tmp";
  EXPECT_EQ(refused(""), expected);
  EXPECT_EQ(refused(std::string("\1\0\0", 3)), expected);
  // Two records announced, one held.
  EXPECT_EQ(refused(std::string("\2\0\0\0", 4) + std::string(80, '\0')), expected);
  // One held, but cut short.
  EXPECT_EQ(refused(std::string("\1\0\0\0", 4) + std::string(79, '\0')), expected);
  // Counts no file of this size can hold.
  EXPECT_EQ(refused(std::string("\xff\xff\xff\xff", 4)), expected);
  EXPECT_EQ(refused(std::string("\xff\xff\xff\x7f", 4) + std::string(80, '\0')), expected);
  EXPECT_EQ(MessageOf<IEInstall>([&] { ReadRemoteFileList("C:\\none.lst"); }),
            "Cannot read the remote list of files: C:\\none.lst");
  // A count of 0 is an empty list; bytes beyond the announced records are ignored.
  MakeFile(path, std::string("\0\0\0\0", 4));
  EXPECT_TRUE(ReadRemoteFileList(path).empty());
  MakeFile(path, std::string("\0\0\0\0", 4) + "trailing");
  EXPECT_TRUE(ReadRemoteFileList(path).empty());
}

TEST_F(RemoteFileListTest, FetchedFromTheLocationThroughATemporaryFileThatIsRemoved) {
  NetLocations().Reset();
  Files().CreateDirectories("C:\\Served\\web");
  platform::memory::NetServer server;
  server.folder = *Machine().HostPath("C:\\Served");
  Machine().ServeHost("files.example", server);
  TOwned<TNetInstallLocation> location(new TNetInstallLocation(nullptr));
  location->LoginInformation().Hostname = "files.example";
  location->LoginInformation().Directory = "web";
  const size_t before = TempFiles();

  ASSERT_TRUE(WriteRemoteFileList("C:\\Served\\web\\filelist.lst",
                                  {{10, 1.0, "IFOne", "1.0"}, {20, 2.0, "IFTwo", ""}}));
  const auto records = FetchRemoteFileList(*location);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].Name, "IFTwo");
  EXPECT_EQ(TempFiles(), before);

  // A list that announces more than it holds, and no list at all: the temporary file goes too.
  MakeFile("C:\\Served\\web\\filelist.lst", std::string("\2\0\0\0", 4) + std::string(80, 'x'));
  const std::string short_list = MessageOf<IEInstall>([&] { FetchRemoteFileList(*location); });
  EXPECT_EQ(short_list.rfind("Cannot read the remote list of files: C:\\WINDOWS\\TEMP\\bat", 0), 0u)
      << short_list;
  EXPECT_EQ(TempFiles(), before);
  Files().RemoveFile("C:\\Served\\web\\filelist.lst");
  EXPECT_NE(MessageOf<ENIL_FileNotFound>([&] { FetchRemoteFileList(*location); }),
            "(no exception)");
  EXPECT_EQ(TempFiles(), before);
  location.reset();
  NetLocations().Reset();
}

}  // namespace
}  // namespace tmby::testing
