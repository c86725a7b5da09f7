// Net installs of the install objects on the memory adapter: a net build's layout served by a
// loopback-like host, the download of a container's archive and its record across a restart, and
// what a failed, cut or cancelled download leaves behind.
#include "model/file_related.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/custom_install_file.h"
#include "net/net_location.h"
#include "support/install_tree_fixtures.h"
#include "system/registry.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;

const char kStateKey[] = "SOFTWARE\\QRN\\Install\\Install1";
const char kTarget[] = "C:\\Program Files\\Lakeside\\Bin";
// Where a net build for files.example puts the archives the server must hold.
const char kMirror[] = "C:\\Dist\\files.example\\HTTP Root directory";

// Bytes that do not compress: the archive is about as large as the file.
std::string Noise(size_t size) {
  std::string out(size, '\0');
  uint32_t state = 12345;
  for (char& c : out) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return out;
}

// A product of one directory "\Bin" with two files, built as a web distribution into C:\Dist and
// served by files.example from the mirror folder the build wrote.
class NetDownload : public InstallTreeTest {
 protected:
  NetDownload() {
    PathSpecifierStartup();
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
    NetLocations().Reset();
    location_ = new TNetInstallLocation(owner_);
    location_->SetName("NetLoc1");
    location_->LoginInformation().Hostname = "files.example";
    root_ = MakeRoot();
    root_->SetArchiveFile("C:\\Dist\\files.1");
    root_->SetNetLocation(location_);
    root_->Distribute = dtWeb;
    dir_ = Make<TInstallDirectory>("Bin", root_);
    dir_->SetDestDir("\\Bin");
    Add("NotesExe", "notes.exe", Noise(20000));
    Add("NotesTxt", "notes.txt", "read me");
    root_->Compress({coRelocateArchives, coIncludeAll, coForceFilesNet});
    // The install runs in a process of its own, which knows nothing of the build's archives.
    root_->LocalArchivePath.clear();
    dir_->LocalArchivePath.clear();
    server_.folder = *Machine().HostPath(kMirror);
    Machine().ServeHost("files.example", server_);
    InstallModel().InstallStateKey = kStateKey;
  }
  ~NetDownload() override {
    NetLocations().Reset();
    PathSpecifierShutdown();
  }

  void Add(const std::string& name, const std::string& fileName, const std::string& text) {
    MakeFile("C:\\Src\\" + fileName, text);
    TInstallFile::CreateInContainer(owner_, dir_, "C:\\Src\\" + fileName)->SetName(name);
  }
  void Run() {
    root_->Running = true;
    root_->Install();
    root_->Running = false;
  }
  int Fetches() {
    int n = 0;
    for (const std::string& call : Machine().InternetLog())
      n += call.rfind("http-open GET", 0) == 0;
    return n;
  }
  std::optional<std::string> Recorded() {
    return Reg().ReadString(RootKey::LocalMachine, std::string(kStateKey) + "\\Bin", "LocalFile");
  }

  TNetInstallLocation* location_;
  TTestRoot* root_;
  TInstallDirectory* dir_;
  platform::memory::NetServer server_;
};

TEST_F(NetDownload, WebBuildIsServedAndInstallsFromOneDownloadRememberedAcrossARestart) {
  // The build wrote the directory's archive into the mirror folder, named after the component.
  ASSERT_TRUE(Files().FileExists(std::string(kMirror) + "\\Bin.1"));
  EXPECT_EQ(dir_->GetNetRelativeDir(), "files.example\\HTTP Root directory");

  std::vector<int32_t> totals;
  dir_->OnDataReceived.Set([&](TPersistent* sender, const std::string& file, int32_t, int32_t total,
                               int32_t size, const void*) {
    EXPECT_EQ(sender, dir_);
    EXPECT_EQ(file, "Bin.1");
    EXPECT_GT(size, 0);
    totals.push_back(total);
  });
  Run();
  EXPECT_EQ(FileBytes(std::string(kTarget) + "\\notes.txt"), "read me");
  EXPECT_EQ(FileBytes(std::string(kTarget) + "\\notes.exe"), Noise(20000));
  EXPECT_EQ(Fetches(), 1);  // both files came from the one archive of their directory
  ASSERT_FALSE(totals.empty());
  EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));

  // The local copy is a ".1" file in the temporary folder, recorded under the state key.
  const std::optional<std::string> local = Recorded();
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(*local, dir_->LocalArchivePath);
  EXPECT_EQ(local->substr(local->size() - 2), ".1");
  EXPECT_TRUE(Files().FileExists(*local));

  // After a restart the definition is read afresh: the record stands in for the download.
  dir_->LocalArchivePath.clear();
  EXPECT_TRUE(dir_->IsDownloaded());
  Files().RemoveFile(std::string(kTarget) + "\\notes.txt");
  Run();
  EXPECT_EQ(FileBytes(std::string(kTarget) + "\\notes.txt"), "read me");
  EXPECT_EQ(Fetches(), 1);

  // A record whose file is gone is no download: the archive is fetched again.
  Files().RemoveFile(*local);
  dir_->LocalArchivePath.clear();
  EXPECT_FALSE(dir_->IsDownloaded());
  dir_->Download();
  EXPECT_EQ(Fetches(), 2);
}

TEST_F(NetDownload, ADownloadWhoseRecordCouldNotBeWrittenIsUsedAllTheSame) {
  // No state key to record the copy under (the registry refused it): the files come from the
  // copy the run holds, fetched once.
  InstallModel().InstallStateKey.clear();
  Run();
  EXPECT_EQ(FileBytes(std::string(kTarget) + "\\notes.txt"), "read me");
  EXPECT_EQ(FileBytes(std::string(kTarget) + "\\notes.exe"), Noise(20000));
  EXPECT_EQ(Fetches(), 1);
  EXPECT_FALSE(Recorded().has_value());
  EXPECT_EQ(dir_->GetLocalArchivePath(), dir_->LocalArchivePath);
}

TEST_F(NetDownload, CutOrMissingDownloadLeavesNothingThatLooksFetched) {
  // A server that closes early without having named a length: the reads end as though the file
  // did, and only the archive's own member list tells.
  server_.content_length = false;
  Machine().ServeHost("files.example", server_);
  Machine().CutTransfers(9000);
  EXPECT_EQ(MessageOf<IEFileRelated>([&] { dir_->Download(); }),
            "The archive Bin.1 that Bin downloaded is incomplete or damaged");
  EXPECT_EQ(dir_->LocalArchivePath, "");
  EXPECT_FALSE(Recorded().has_value());
  // With its length named, the cut is the location's failure; nothing is kept either.
  server_.content_length = true;
  Machine().ServeHost("files.example", server_);
  EXPECT_NE(MessageOf<ENIL_ReadFile>([&] { dir_->Download(); }), "(no exception)");
  EXPECT_FALSE(dir_->IsDownloaded());
  EXPECT_TRUE(Files().FindFiles("C:\\WINDOWS\\TEMP\\*.1").empty());

  // The server comes back whole: the next attempt fetches it all.
  Machine().CutTransfers(std::nullopt);
  dir_->Download();
  EXPECT_TRUE(dir_->IsDownloaded());
  EXPECT_TRUE(Recorded().has_value());

  // A name the server does not hold.
  auto* other = Make<TInstallDirectory>("Docs", root_);
  EXPECT_NE(MessageOf<ENIL_FileNotFound>([&] { other->Download(); }), "(no exception)");
  EXPECT_EQ(other->LocalArchivePath, "");
}

TEST_F(NetDownload, CancelledDownloadIsTheUsersAbortAndKeepsNothing) {
  int blocks = 0;
  dir_->OnDataReceived.Set(
      [&](TPersistent*, const std::string&, int32_t, int32_t, int32_t, const void*) {
        if (++blocks == 1) NetLocations().DownloadAbort = true;
      });
  EXPECT_EQ(MessageOf<EAIUserAbort>([&] { dir_->Download(); }), "Installation aborted by the user");
  EXPECT_EQ(dir_->LocalArchivePath, "");
  EXPECT_FALSE(Recorded().has_value());
  EXPECT_TRUE(Files().FindFiles("C:\\WINDOWS\\TEMP\\*.1").empty());
  // The location no longer reports to the object once its download ended.
  EXPECT_FALSE(location_->ClientDataReceived.Assigned());
}

TEST_F(NetDownload, LocationsThatCannotServeAreNamed) {
  // The root's login is incomplete without a host.
  location_->LoginInformation().Hostname = " ";
  EXPECT_EQ(MessageOf<IEFileRelated>([&] { dir_->Download(); }),
            "Bin could not install itself because the LoginInformation property of the TInstall "
            "component has not been properly filled in");
  // An own location is named as such.
  auto* own = new TNetInstallLocation(owner_);
  own->SetName("NetLoc2");
  dir_->SetNetLocation(own);
  EXPECT_EQ(MessageOf<IEFileRelated>([&] { dir_->Download(); }),
            "Bin could not install itself because the TNetLocation component's properties, in "
            "the NetLocation property, have not been filled in");
  own->LoginInformation().Hostname = "mirror.example";
  own->LoginInformation().Protocol = ipFTP;
  own->LoginInformation().Directory = "pub/lakeside";
  EXPECT_EQ(dir_->GetNetRelativeDir(), "mirror.example\\pub-lakeside");
  // A file without a location of its own takes its container's.
  EXPECT_EQ(dir_->Files(0)->GetNetRelativeDir(), "mirror.example\\pub-lakeside");

  // Without any location.
  dir_->SetNetLocation(nullptr);
  root_->SetNetLocation(nullptr);
  EXPECT_EQ(MessageOf<Exception>([&] { dir_->Download(); }),
            "Could not find a net install location for Bin");
  EXPECT_EQ(MessageOf<IEFileRel_NoNetLocation>([&] { dir_->GetNetRelativeDir(); }),
            "Could not find a net install location for Bin");
}

}  // namespace
}  // namespace tmby::fixtures
