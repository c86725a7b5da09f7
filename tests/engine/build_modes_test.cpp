// The setup program's build (-b) and floppy transfer (-f) on the memory machine: the distribution
// it writes is checked byte by byte against the layout the loading program reads (and unpacked by
// the loader's own code), the kit's folder is looked up as documented, a failed build leaves the
// definition as it was, and the transfer spreads a distribution over small disks.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "archive/disk_limit.h"
#include "archive/self_extract.h"
#include "archive/tmby_compress.h"
#include "base/sha.h"
#include "dialogs/dialog_manager.h"
#include "dialogs/std_dialogs.h"
#include "engine/install.h"
#include "model/install_model.h"
#include "platform/script/script_ui.h"
#include "support/counting_files.h"
#include "support/engine_fixture.h"
#include "system/registry.h"

namespace tmby {
namespace {

using platform::script::ScriptUi;

// A product file of the source folder, in its container's archive.
std::string FileObject(const std::string& name, const std::string& fileName,
                       const std::string& container, const std::string& more = "") {
  return "  object " + name + ": TInstallFile\n    ArchiveFileType = psContainerArchiveFile\n" +
         "    Container = " + container + "\n    DestDirType = psContainerDestDir\n" +
         "    DestName = '" + fileName + "'\n    FileName = '" + fileName +
         "'\n    IncludeFromDir = 'C:\\Src'\n" + more + "  end\n";
}
const char kSpecifiers[] =
    "object mainForm: TmainForm\n"
    "  object psProgramFiles: TpsProgramFiles\n  end\n"
    "  object psContainerDestDir: TpsContainerDestDir\n  end\n"
    "  object psContainerArchiveFile: TpsContainerArchiveFile\n  end\n"
    "  object psMainArchiveFile: TpsMainArchiveFile\n  end\n";

const char kProgram[] = "C:\\Vendor\\setup.exe";
const char kLoader[] = "C:\\Vendor\\TamberlyLoadProgram.exe";

class BuildTest : public testing::EngineTest {
 protected:
  BuildTest() {
    InstallModel().SharedArchive = std::make_unique<TTmbyCompress>();
    Engine().ProgramPath = kProgram;
    MakeFile(kProgram, "MZ the engine with its definition");
    MakeFile(kLoader, "MZ the loading program");
    // Product files that do not shrink much, so that the disks below fill up.
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 6000; ++i) {
      x = x * 1103515245u + 12345u;
      noise += static_cast<char>(x >> 24);
    }
    MakeFile("C:\\Src\\notes.exe", noise);
    MakeFile("C:\\Src\\readme.txt", "read me");
    MakeFile("C:\\Src\\pre1.dll", "first pre-setup file");
    MakeFile("C:\\Src\\pre2.txt", "second pre-setup file");
  }
  ~BuildTest() override { app.DestroyComponents(); }

  // The product: two files in the root's archive, two pre-setup files.
  void Read(const std::vector<std::string>& arguments, const std::string& rootProps = "") {
    app.DestroyComponents();
    transcript.str("");
    Engine().Arguments = arguments;
    form =
        ReadMainForm(std::string(kSpecifiers) +
                         "  object Install1: TInstall\n"
                         "    DestDir = '\\Notes'\n    DestDirType = psProgramFiles\n"
                         "    Information.ProductName = 'Notes'\n"
                         "    PresetupFiles = ('C:\\Src\\pre1.dll' 'C:\\Src\\pre2.txt')\n" +
                         rootProps + "  end\n" + FileObject("NotesExe", "notes.exe", "Install1") +
                         FileObject("ReadMe", "readme.txt", "Install1") + "end\n",
                     "product.tmby");
    install = CurrentInstall();
  }
  // Runs the mode the arguments chose, answering the message boxes with `script`.
  // With `show`, the window is shown as the program entry shows it, which starts a run.
  void Run(const std::vector<std::string>& script = {}, bool show = false) {
    ui_ = std::make_unique<ScriptUi>(&transcript, script);
    platform::ScopedUi scoped(ui_.get());
    form->AfterConstruction();
    if (show) form->Show();
  }
  // The transcript's lines that start with one of `starts`.
  std::vector<std::string> Lines(const std::vector<std::string>& starts) const {
    std::vector<std::string> out;
    std::istringstream in(transcript.str());
    for (std::string line; std::getline(in, line);) {
      for (const std::string& start : starts) {
        if (line.rfind(start, 0) == 0) out.push_back(line);
      }
    }
    return out;
  }
  // The message boxes' texts in the transcript.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    std::istringstream in(transcript.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("| ", 0) == 0) out.push_back(line.substr(2));
    }
    return out;
  }
  std::string Bytes(const std::string& path) {
    const auto host = Machine().HostPath(path);
    if (!host) return "<no path " + path + ">";
    std::ifstream in(*host, std::ios::binary);
    if (!in) return "<missing " + path + ">";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The members' file names, in archive order or sorted.
  std::vector<std::string> Members(const std::string& archive, int64_t offset = 0,
                                   bool sorted = false) {
    TTmbyCompress reader;
    reader.Offset = offset;
    reader.SetCompressedFile(archive);
    std::vector<std::string> names;
    for (int i = 0; i < reader.GetMemberCount(); ++i) {
      TlzhFileStats stats;
      reader.GetMemberStats(i, stats);
      names.push_back(PathFileNamePart(stats.Header.FileName));
    }
    if (sorted) std::sort(names.begin(), names.end());
    return names;
  }
  std::string ErrorOfBuild(const std::string& dir, bool standAlone) {
    try {
      install->BuildDistribution(kProgram, dir, standAlone);
    } catch (const IEInstall& error) {
      return error.what();
    }
    return "";
  }

  ui::TmainForm* form = nullptr;
  TCustomInstall* install = nullptr;
  std::ostringstream transcript;
  std::unique_ptr<ScriptUi> ui_;
};

TEST_F(BuildTest, BuildInfNamesTheFolderOfAStandAloneSetupThatTheLoaderAccepts) {
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\\Notes\r\nC:\\Other\r\n");
  Read({"-b"});
  TCustomPathSpecifier* const archiveType = install->ArchiveFileType();
  // Deflating in this thread only: a file read ahead for another processor is opened once more.
  InstallModel().SharedArchive->SetDeflateThreads(0);
  {
    testing::ScopedCountingPort counting;
    Run();
    // Each product file is opened once, to be described and compressed; the product archive
    // once for every member appended to it, and once to be copied into setup.exe.
    for (const char* name : {"notes.exe", "readme.txt"}) {
      EXPECT_EQ(counting.files.OpensOf(std::string("C:\\Src\\") + name), 1) << name;
    }
    EXPECT_EQ(counting.files.OpensOf("C:\\Out\\Notes\\files.1"), 2);
  }
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), 0);
  EXPECT_FALSE(Files().DirectoryExists("C:\\Other"));
  EXPECT_FALSE(Files().FileExists("C:\\Out\\Notes\\filelist.lst"));

  // setup.exe: the loader, setup.1, files.1, the trailer, and the SHA-0 of all that before it.
  const std::string exe = Bytes("C:\\Out\\Notes\\setup.exe");
  const std::string loader = Bytes(kLoader);
  const std::string setup1 = Bytes("C:\\Out\\Notes\\setup.1");
  const std::string files1 = Bytes("C:\\Out\\Notes\\files.1");
  ASSERT_GT(exe.size(), 96u);
  EXPECT_EQ(exe.substr(0, loader.size()), loader);
  EXPECT_TRUE(exe.substr(loader.size(), setup1.size()) == setup1);
  EXPECT_TRUE(exe.substr(loader.size() + setup1.size(), files1.size()) == files1);
  EXPECT_EQ(exe.size(), loader.size() + setup1.size() + files1.size() + 56 + 40);
  ShaDigest sha0(ShaVariant::Sha0);
  sha0.Update(std::string_view(exe).substr(0, exe.size() - 40));
  EXPECT_EQ(exe.substr(exe.size() - 40), sha0.FinalHex());
  const std::vector<uint8_t> tail(exe.end() - 96, exe.end());
  const TLoaderTail parsed = ParseLoaderTail("setup.exe", static_cast<int64_t>(exe.size()), tail);
  EXPECT_TRUE(parsed.SelfExtracting);
  EXPECT_EQ(parsed.Record.SetupStart, static_cast<int32_t>(loader.size()));
  EXPECT_EQ(parsed.Record.FilesEnd + 1, static_cast<int32_t>(exe.size() - 96));

  // setup.1 holds the program first, then the pre-setup files in their order; the product
  // archive is read inside setup.exe as the run does with -e.
  EXPECT_EQ(Members("C:\\Out\\Notes\\setup.1"),
            (std::vector<std::string>{"setup.exe", "pre1.dll", "pre2.txt"}));
  EXPECT_EQ(Members("C:\\Out\\Notes\\setup.exe", parsed.Record.FilesStart, true),
            (std::vector<std::string>{"notes.exe", "readme.txt"}));

  // The loader's own unpacking takes it and hands over the program and the pre-setup files.
  Files().CreateDirectories("C:\\Temp");
  const TUnpackedSetup unpacked = UnpackSetup("C:\\Out\\Notes\\setup.exe", "C:\\Temp", 7);
  ASSERT_EQ(unpacked.Files.size(), 3u);
  EXPECT_TRUE(Bytes(unpacked.Engine) == Bytes(kProgram));
  EXPECT_EQ(Bytes(unpacked.Files[2]), "second pre-setup file");

  // The root's archive setting is the definition's again.
  EXPECT_EQ(install->ArchiveFileType(), archiveType);
  EXPECT_EQ(install->ArchiveFile(), "");
}

TEST_F(BuildTest, TheRunStartedByTheLoaderInstallsFromTheArchiveInsideSetupExe) {
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
  Read({"-b"});
  Run();
  ASSERT_EQ(Boxes(), std::vector<std::string>{});
  // The loader's command line, with -n on a machine where this program never ran.
  Read({"-sC:\\Out", "-esetup.exe", "-c", "-n"});
  Run({}, true);
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), 0);
  EXPECT_TRUE(Bytes("C:\\Program Files\\Notes\\notes.exe") == Bytes("C:\\Src\\notes.exe"));
  EXPECT_EQ(Bytes("C:\\Program Files\\Notes\\readme.txt"), "read me");
}

TEST_F(BuildTest, BuildInfMissingOrEmptyEndsTheProgramWithItsMessage) {
  Read({"-b"});
  Run();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Need to have a BUILD.INF file in this directory "
                                               "with the first line specifying the build "
                                               "directory"}));
  EXPECT_EQ(ui_->QuitCode(), kInstallFailedExitCode);
  MakeFile("C:\\Vendor\\BUILD.INF", "");
  Read({"-b"});
  Run();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "Must be 1 line in BUILD.INF. This line should specify the build "
                         "directory"}));
  EXPECT_EQ(ui_->QuitCode(), kInstallFailedExitCode);
}

TEST_F(BuildTest, TheKitFolderComesFromTheRegistryElseFromBesideTheProgram) {
  const std::string noKit =
      "The HKEY_LOCAL_MACHINE | \\SOFTWARE\\QRN\\Tamberly key in the registry is either missing "
      "or points to an invalid QRN directory";
  Files().RemoveFile(kLoader);
  Read({"-sC:\\Dist"});
  EXPECT_EQ(ErrorOfBuild("C:\\Out", false), noKit);
  // A registered folder that is gone is not replaced by the loader beside the program.
  MakeFile(kLoader, "MZ the loading program");
  WriteRegString(static_cast<int>(platform::RootKey::LocalMachine), "\\SOFTWARE\\QRN\\Tamberly",
                 "Path", "C:\\Gone");
  EXPECT_EQ(ErrorOfBuild("C:\\Out", false), noKit);
  Files().CreateDirectories("C:\\Kit");
  WriteRegString(static_cast<int>(platform::RootKey::LocalMachine), "\\SOFTWARE\\QRN\\Tamberly",
                 "Path", "C:\\Kit\\");
  EXPECT_EQ(ErrorOfBuild("C:\\Out", false),
            "The loader program C:\\Kit\\TamberlyLoadProgram.exe was not found");
  MakeFile("C:\\Kit\\TamberlyLoadProgram.exe", "MZ the kit's own loader");
  EXPECT_EQ(ErrorOfBuild("C:\\Out", false), "");
  // Not stand-alone: the loader with the "NOTSELFEXTRACT" trailer and the checksum; the
  // archives lie beside it.
  const std::string exe = Bytes("C:\\Out\\setup.exe");
  ASSERT_EQ(exe.size(), std::string("MZ the kit's own loader").size() + 96);
  const TLoaderTail parsed = ParseLoaderTail("setup.exe", static_cast<int64_t>(exe.size()),
                                             std::vector<uint8_t>(exe.end() - 96, exe.end()));
  EXPECT_FALSE(parsed.SelfExtracting);
  EXPECT_TRUE(parsed.HasCheckSum);
  EXPECT_EQ(Members("C:\\Out\\files.1", 0, true),
            (std::vector<std::string>{"notes.exe", "readme.txt"}));
}

TEST_F(BuildTest, AFailedBuildRestoresTheRootsArchiveAndWithoutTheLoaderCopiesTheProgram) {
  Read({"-sC:\\Dist"}, "    UseLoadingProgram = False\n");
  install->SetArchiveFileType(nullptr);
  install->SetArchiveFile("C:\\Stay\\product.1");
  TCustomPathSpecifier* const archiveType = install->ArchiveFileType();
  EXPECT_EQ(ErrorOfBuild("C:\\Out", true),
            "Cannot build a stand alone executable if the UseLoadingProgram property of the "
            "TInstall is set to False");
  Files().RemoveFile("C:\\Src\\readme.txt");
  EXPECT_THROW(install->BuildDistribution(kProgram, "C:\\Out", false), std::exception);
  EXPECT_EQ(install->ArchiveFile(), "C:\\Stay\\product.1");
  EXPECT_EQ(install->ArchiveFileType(), archiveType);
  MakeFile("C:\\Src\\readme.txt", "read me");
  EXPECT_EQ(ErrorOfBuild("C:\\Out", false), "");
  EXPECT_EQ(Bytes("C:\\Out\\setup.exe"), Bytes(kProgram));
  EXPECT_FALSE(Files().FileExists("C:\\Out\\setup.1"));
  EXPECT_EQ(install->ArchiveFile(), "C:\\Stay\\product.1");
}

TEST_F(BuildTest, TheTransferSpreadsTheDistributionOverDisksOfTheirSize) {
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
  Read({"-b"});
  Run();
  ASSERT_EQ(Boxes(), std::vector<std::string>{});
  const std::string loader = Bytes(kLoader);
  // Disks that hold 4000 bytes a file: files.1 needs one more.
  Machine().AddDrive('A');
  TDiskLimitPlatform disks(Machine(), 4000);
  platform::IPlatform* previous = platform::SetPort(&disks);
  Read({"-sC:\\Out", "-esetup.exe", "-f"});
  Run({"answer OK", "answer OK"});
  platform::SetPort(previous);

  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Please insert disk 2"})) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), 0);
  // The hourglass while the disks are written, but for the box that asks for the next one.
  EXPECT_EQ(Lines({"cursor ", "| "}),
            (std::vector<std::string>{"cursor wait", "cursor default", "| Please insert disk 2",
                                      "cursor wait", "cursor default"}));
  // The disk's setup.exe is the loader with the "NOTSELFEXTRACT" trailer and no checksum.
  const std::string disk = Bytes("A:\\setup.exe");
  ASSERT_EQ(disk.size(), loader.size() + 56);
  EXPECT_EQ(disk.substr(0, loader.size()), loader);
  const TLoaderTail parsed = ParseLoaderTail("setup.exe", static_cast<int64_t>(disk.size()),
                                             std::vector<uint8_t>(disk.begin(), disk.end()));
  EXPECT_FALSE(parsed.SelfExtracting);
  EXPECT_FALSE(parsed.HasCheckSum);
  EXPECT_TRUE(Bytes("A:\\setup.1") == Bytes("C:\\Out\\setup.1"));
  EXPECT_TRUE(Files().FileExists("A:\\files.2"));
  EXPECT_FALSE(Files().FileExists("A:\\files.3"));

  // The spanned set gives back the product's files.
  TTmbyCompress reader;
  reader.SetCompressedFile("A:\\files.1");
  reader.ExtractDirectory = "C:\\Check";
  reader.SetFilesToProcess({"C:\\Src\\notes.exe", "C:\\Src\\readme.txt"});
  reader.Extract();
  EXPECT_TRUE(Bytes("C:\\Check\\notes.exe") == Bytes("C:\\Src\\notes.exe"));
  EXPECT_EQ(Bytes("C:\\Check\\readme.txt"), "read me");

  // Cancel at the second disk ends the transfer with its message.
  platform::SetPort(&disks);
  Read({"-sC:\\Out", "-esetup.exe", "-f"});
  Run({"answer Cancel"});
  platform::SetPort(previous);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Please insert disk 2", "Aborted by user"}));
  EXPECT_EQ(ui_->QuitCode(), kInstallFailedExitCode);
  // The failure's box comes with the usual cursor.
  EXPECT_EQ(Lines({"cursor ", "| "}).back(), "| Aborted by user");
}

TEST_F(BuildTest, FilesThatShareAnArchiveKeepEveryMemberBuildAfterBuild) {
  // Two files name one archive of their own: the build moves it into its folder, makes it anew
  // for the first and adds the second, and a second build into that folder does the same.
  const std::string shared = "    ArchiveFile = 'C:\\Extra\\extra.1'\n";
  const auto product = [&] {
    return "  object Install1: TInstall\n    DestDir = '\\Notes'\n"
           "    DestDirType = psProgramFiles\n    Information.ProductName = 'Notes'\n  end\n"
           "  object NotesExe: TInstallFile\n    Container = Install1\n"
           "    DestDirType = psContainerDestDir\n    FileName = 'notes.exe'\n"
           "    IncludeFromDir = 'C:\\Src'\n" +
           shared +
           "  end\n"
           "  object ReadMe: TInstallFile\n    Container = Install1\n"
           "    DestDirType = psContainerDestDir\n    FileName = 'readme.txt'\n"
           "    IncludeFromDir = 'C:\\Src'\n" +
           shared + "  end\n";
  };
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
  for (int build = 1; build <= 2; ++build) {
    app.DestroyComponents();
    transcript.str("");
    Engine().Arguments = {"-b"};
    form = ReadMainForm(std::string(kSpecifiers) + product() + "end\n", "product.tmby");
    install = CurrentInstall();
    Run();
    ASSERT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
    EXPECT_EQ(Members("C:\\Out\\Extra\\extra.1", 0, true),
              (std::vector<std::string>{"notes.exe", "readme.txt"}))
        << "build " << build;
  }
}

TEST_F(BuildTest, FilesOfOneUniqueIdAreRefusedByTheBuild) {
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
  app.DestroyComponents();
  Engine().Arguments = {"-b"};
  form = ReadMainForm(std::string(kSpecifiers) +
                          "  object Install1: TInstall\n    Information.ProductName = 'Notes'\n"
                          "  end\n" +
                          FileObject("NotesExe", "notes.exe", "Install1", "    UniqueID = 7\n") +
                          FileObject("ReadMe", "readme.txt", "Install1", "    UniqueID = 7\n") +
                          "end\n",
                      "product.tmby");
  install = CurrentInstall();
  Run();
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "The files NotesExe and ReadMe have the same UniqueID 7. Each file of a "
                         "product needs a UniqueID of its own (0 to 1999), so a product holds at "
                         "most 2000 files"}));
  EXPECT_EQ(ui_->QuitCode(), kInstallFailedExitCode);
  EXPECT_FALSE(Files().FileExists("C:\\Out\\files.1"));
}

// The product as a web distribution: a net location in front of the root, the files in a group
// with its own archive, the program fetched on its own (a version and date rule).
class WebBuildTest : public BuildTest {
 protected:
  void ReadWeb(const std::vector<std::string>& arguments, const std::string& more = "") {
    app.DestroyComponents();
    transcript.str("");
    Engine().Arguments = arguments;
    form = ReadMainForm(
        std::string(kSpecifiers) +
            "  object NetLoc1: TNetInstallLocation\n"
            "    LoginInformation.Hostname = 'files.example'\n"
            "    LoginInformation.Directory = 'notes'\n  end\n"
            "  object Install1: TInstall\n"
            "    DestDir = '\\Notes'\n    DestDirType = psProgramFiles\n"
            "    Information.ProductName = 'Notes'\n"
            "    DistributeType = dtWeb\n    NetLocation = NetLoc1\n  end\n"
            "  object grpProgram: TInstallGroup\n    ArchiveFileType = psContainerArchiveFile\n"
            "    Container = Install1\n    DestDirType = psContainerDestDir\n  end\n" +
            FileObject("NotesExe", "notes.exe", "grpProgram",
                       "    OverwriteMode = owVersionDate\n") +
            FileObject("ReadMe", "readme.txt", "grpProgram") + more + "end\n",
        "product.tmby");
    install = CurrentInstall();
  }
  // Builds the distribution and serves its net folder.
  void BuildAndServe() {
    MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
    ReadWeb({"-b"});
    Run();
    ASSERT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
    platform::memory::NetServer server;
    server.folder = *Machine().HostPath("C:\\Out\\files.example");
    Machine().ServeHost("files.example", server);
  }
  // The names in the temporary folder that match `mask`.
  std::vector<std::string> TempFiles(const std::string& mask) {
    std::vector<std::string> names;
    for (const auto& found : Files().FindFiles("C:\\WINDOWS\\TEMP\\" + mask)) {
      names.push_back(found.name);
    }
    return names;
  }
};

TEST_F(WebBuildTest, AWebDistributionInstallsItsFilesFromTheServerThatMirrorsItsBuild) {
  BuildAndServe();
  // The server's folder mirrors the location: an archive for the group, one for the program.
  EXPECT_EQ(Members("C:\\Out\\files.example\\notes\\grpProgram.1"),
            std::vector<std::string>{"readme.txt"});
  EXPECT_EQ(Members("C:\\Out\\files.example\\notes\\NotesExe.1"),
            std::vector<std::string>{"notes.exe"});

  ReadWeb({"-sC:\\Out", "-esetup.exe", "-c", "-n"});
  Run({}, true);
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), 0);
  EXPECT_TRUE(Bytes("C:\\Program Files\\Notes\\notes.exe") == Bytes("C:\\Src\\notes.exe"));
  EXPECT_EQ(Bytes("C:\\Program Files\\Notes\\readme.txt"), "read me");

  // A group archive on the server that lacks a member of the group: the run ends bad, naming
  // the member, instead of ending well without the file.
  Files().RemoveFile("C:\\Program Files\\Notes\\readme.txt");
  Files().RemoveFile("C:\\Program Files\\Notes\\notes.exe");
  MakeFile("C:\\Out\\files.example\\notes\\grpProgram.1",
           Bytes("C:\\Out\\files.example\\notes\\NotesExe.1"));
  ReadWeb({"-sC:\\Out", "-esetup.exe", "-c", "-n"});
  Run({}, true);
  const std::vector<std::string> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << transcript.str();
  EXPECT_EQ(boxes[0].rfind("The file <C:\\Src\\readme.txt> was not found in the archive <", 0), 0u)
      << boxes[0];
  EXPECT_EQ(ui_->QuitCode(), kInstallFailedExitCode);
  EXPECT_FALSE(Files().FileExists("C:\\Program Files\\Notes\\readme.txt"));
}

TEST_F(WebBuildTest, ARebuildIntoTheSameFolderShipsTheChangedFiles) {
  BuildAndServe();
  // The program changes, and the distribution is built again where it was.
  MakeFile("C:\\Src\\notes.exe", "the program, version two");
  MakeFile("C:\\Vendor\\BUILD.INF", "C:\\Out\r\n");
  ReadWeb({"-b"});
  Run();
  ASSERT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(Members("C:\\Out\\files.example\\notes\\NotesExe.1"),
            std::vector<std::string>{"notes.exe"});
  ReadWeb({"-sC:\\Out", "-esetup.exe", "-c", "-n"});
  Run({}, true);
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_TRUE(Bytes("C:\\Program Files\\Notes\\notes.exe") == "the program, version two");
}

TEST_F(WebBuildTest, CancelInTheCopyWindowStopsTheDownloadAndTheNextRunDownloadsAgain) {
  BuildAndServe();
  DialogRegistry().Reset();
  RegisterStandardDialogs();
  const std::string copyStage =
      "  object Copy: TDialogManager\n    Container = Install1\n"
      "    ManagerType = dmDuringCopyFiles\n  end\n";
  ReadWeb({"-sC:\\Out", "-esetup.exe", "-c", "-n"}, copyStage);
  auto* copy = dynamic_cast<TDialogManager*>(form->FindComponent("Copy"));
  ASSERT_NE(copy, nullptr);
  // The user presses Cancel (and confirms) once the copy window shows a download.
  int blocks = 0;
  install->OnDataReceived.Set(
      [&](TPersistent*, const std::string&, int32_t, int32_t, int32_t, const void*) {
        ++blocks;
        if (!copy->DuringCopyForms().empty()) copy->DuringCopyForms()[0]->CancelCopy();
      });
  Run({}, true);
  EXPECT_GE(blocks, 2);
  // The user's abort: the bad end without a box, nothing installed, no copy or reserved name
  // left of what was being fetched.
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), kUserAbortExitCode);
  EXPECT_FALSE(Files().FileExists("C:\\Program Files\\Notes\\notes.exe"));
  EXPECT_EQ(TempFiles("bat*.*"), std::vector<std::string>{});

  // The same program started again in this process downloads and installs, and the good end
  // takes the downloaded copies with the names they reserved.
  // (The exit code belongs to the application, which a real start makes anew.)
  app.SetExitCode(0);
  ReadWeb({"-sC:\\Out", "-esetup.exe", "-c", "-n"}, copyStage);
  Run({}, true);
  EXPECT_EQ(Boxes(), std::vector<std::string>{}) << transcript.str();
  EXPECT_EQ(ui_->QuitCode(), 0) << transcript.str();
  EXPECT_TRUE(Bytes("C:\\Program Files\\Notes\\notes.exe") == Bytes("C:\\Src\\notes.exe"));
  EXPECT_EQ(Bytes("C:\\Program Files\\Notes\\readme.txt"), "read me");
  EXPECT_EQ(TempFiles("bat*.*"), std::vector<std::string>{});
  DialogRegistry().Reset();
}

}  // namespace
}  // namespace tmby
