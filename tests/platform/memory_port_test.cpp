// What only the memory adapter has: drive mapping, generated short names, injected faults and the
// records a test inspects. The behaviour it shares with Windows is pinned by the contract suite.
#include "platform/memory/memory_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace tmby::platform::memory {
namespace {

namespace fs = std::filesystem;

class MemoryPortTest : public ::testing::Test {
 protected:
  MemoryPortTest() : scratch_("memport"), port_(scratch_.path()) {}

  IFileSystem& Files() { return port_.Files(); }
  IRegistry& Reg() { return port_.Registry(); }

  void Write(const std::string& path, const std::string& text) {
    auto f = Files().Open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
    ASSERT_TRUE(f) << path << " error " << Files().LastError();
    ASSERT_TRUE(f->Write(text.data(), text.size()));
  }

  std::string Read(const std::string& path) {
    auto f = Files().Open(path, FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
    if (!f) return "<missing>";
    std::string out(4096, '\0');
    size_t done = 0;
    EXPECT_TRUE(f->Read(out.data(), out.size(), &done));
    out.resize(done);
    return out;
  }

  std::vector<std::string> HostNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
  }

  testing::ScratchDir scratch_;
  MemoryPlatform port_;
};

TEST_F(MemoryPortTest, DrivesMapToHostFoldersBothWays) {
  // C: lives under the scratch folder; a mapped drive reaches any host folder.
  const auto c_file = port_.HostPath("C:\\WINDOWS\\TEMP\\x.txt");
  ASSERT_TRUE(c_file);
  EXPECT_EQ(c_file->parent_path(), scratch_.path() / "C" / "WINDOWS" / "TEMP");

  testing::ScratchDir outside("memport-z");
  std::ofstream(outside.path() / "host.bin") << "from the host";
  EXPECT_FALSE(port_.WindowsPath(outside.path() / "host.bin"));
  port_.MapDrive('z', outside.path().root_path());  // "/" as Wine maps it
  const auto win = port_.WindowsPath(outside.path() / "host.bin");
  ASSERT_TRUE(win);
  EXPECT_EQ(win->substr(0, 3), "Z:\\");
  EXPECT_EQ(Read(*win), "from the host");
  EXPECT_EQ(port_.HostPath(*win), outside.path() / "host.bin");

  // The most specific mapping wins.
  EXPECT_EQ(port_.WindowsPath(scratch_.path() / "C" / "a" / "b"), "C:\\a\\b");
  port_.AddDrive('D');
  EXPECT_TRUE(Files().CreateDirectories("D:\\data"));
  EXPECT_TRUE(fs::is_directory(scratch_.path() / "D" / "data"));

  port_.RemoveDrive('D');
  EXPECT_FALSE(Files().DirectoryExists("D:\\data"));
  EXPECT_FALSE(Files().Open("Q:\\x", FileAccess::Write, kShareNone, FileDisposition::CreateAlways));
  EXPECT_EQ(Files().LastError(), err::kPathNotFound);
  EXPECT_FALSE(Files().Open("\\\\server\\share\\x", FileAccess::Read, kShareAll,
                            FileDisposition::OpenExisting));
  EXPECT_EQ(Files().LastError(), err::kBadNetPath);
}

TEST_F(MemoryPortTest, NewFilesTakeTheCaseOfExistingEntries) {
  ASSERT_TRUE(Files().CreateDirectories("C:\\Data\\Sub"));
  Write("C:\\Data\\ReadMe.TXT", "one");
  Write("c:/DATA/sub/../README.txt", "two");
  Write("C:\\data\\ReadMe.TXT.", "three");  // trailing dot dropped as Windows does
  const auto names = HostNames(scratch_.path() / "C" / "Data");
  EXPECT_EQ(names.size(), 2u);  // "Sub" and the one file
  EXPECT_TRUE(fs::exists(scratch_.path() / "C" / "Data" / "ReadMe.TXT"));
  EXPECT_EQ(Read("C:\\DATA\\README.TXT"), "three");
  ASSERT_TRUE(Files().CreateDirectories("C:\\DATA\\SUB\\Deeper"));
  EXPECT_TRUE(fs::is_directory(scratch_.path() / "C" / "Data" / "Sub" / "Deeper"));
}

// A name spelt as the host stores it is found without listing a folder (one call on the host);
// another case, a short name or a new name needs the listing of its own folder only.
TEST_F(MemoryPortTest, NamesSpeltAsStoredNeedNoFolderListing) {
  const fs::path folder = scratch_.path() / "C" / "Program Files" / "Lakeside Notes";
  fs::create_directories(folder);
  std::ofstream(folder / "Notes.exe") << "x";
  const uint64_t before = port_.FolderListings();
  EXPECT_TRUE(Files().FileExists("C:\\Program Files\\Lakeside Notes\\Notes.exe"));
  EXPECT_TRUE(Files().DirectoryExists("C:\\Program Files\\Lakeside Notes"));
  EXPECT_EQ(Read("C:\\Program Files\\Lakeside Notes\\Notes.exe"), "x");
  EXPECT_EQ(port_.FolderListings(), before);

  EXPECT_EQ(Read("C:\\PROGRAM FILES\\lakeside notes\\NOTES.EXE"), "x");
#ifndef _WIN32
  // Only a host that tells case apart needs the listing; a Windows host finds the other spelling
  // itself, and its own short names are not the ones this machine hands out.
  EXPECT_GT(port_.FolderListings(), before);
  EXPECT_TRUE(Files().FileExists("C:\\PROGRA~1\\LAKESI~1\\Notes.exe"));
#endif
  // A new name that differs from a stored one only in case is the stored one.
  Write("C:\\Program Files\\Lakeside Notes\\NOTES.EXE", "y");
  EXPECT_EQ(HostNames(folder), std::vector<std::string>{"Notes.exe"});
  EXPECT_EQ(Read("C:\\Program Files\\Lakeside Notes\\Notes.exe"), "y");
  EXPECT_FALSE(Files().FileExists("C:\\Program Files\\Lakeside Notes\\Notes.exe\\x"));
  EXPECT_FALSE(Files().FileExists("C:\\Program Files\\Nowhere\\Notes.exe"));
}

TEST_F(MemoryPortTest, ShortNamesAreGeneratedAndStable) {
  ASSERT_TRUE(Files().CreateDirectories("C:\\Work"));
  Write("C:\\Work\\Long File Name.text", "a");
  Write("C:\\Work\\Long File Nameless.text", "b");
  Write("C:\\Work\\a+b c.txt", "c");
  Write("C:\\Work\\SHORT.TXT", "d");
  Write("C:\\Work\\.profile", "e");

  const auto found = Files().FindFiles("C:\\Work\\*");
  std::map<std::string, std::string> shorts;
  for (const auto& f : found) shorts[f.name] = f.short_name;
  EXPECT_EQ(shorts["Long File Name.text"], "LONGFI~1.TEX");
  EXPECT_EQ(shorts["Long File Nameless.text"], "LONGFI~2.TEX");
  EXPECT_EQ(shorts["a+b c.txt"], "A_BC~1.TXT");
  EXPECT_EQ(shorts["SHORT.TXT"], "");
  EXPECT_EQ(shorts[".profile"], "PROFIL~1");

  // A sibling that sorts first does not renumber names already handed out.
  Write("C:\\Work\\Long File A.text", "f");
  EXPECT_EQ(Files().ShortPathName("C:\\Work\\Long File Name.text"), "C:\\Work\\LONGFI~1.TEX");
  EXPECT_EQ(Files().ShortPathName("C:\\work\\long file a.text"), "C:\\Work\\LONGFI~3.TEX");
  EXPECT_EQ(Files().ShortPathName("C:\\Program Files\\Common Files"), "C:\\PROGRA~1\\COMMON~1");

  // Short names lead to the file and take part in wildcard searches.
  EXPECT_EQ(Read("C:\\Work\\LONGFI~2.TEX"), "b");
  EXPECT_EQ(Files().FindFiles("C:\\Work\\LONGFI~2.*").size(), 1u);
  // Deleting frees the name for the next file.
  ASSERT_TRUE(Files().RemoveFile("C:\\Work\\Long File Name.text"));
  Write("C:\\Work\\Long File Zebra.text", "g");
  EXPECT_EQ(Files().ShortPathName("C:\\Work\\Long File Zebra.text"), "C:\\Work\\LONGFI~1.TEX");
}

TEST_F(MemoryPortTest, LockedFilesAreInUseUntilUnlocked) {
  Write("C:\\locked.dll", "old");
  port_.LockPath("c:\\LOCKED.DLL");
  EXPECT_FALSE(
      Files().Open("C:\\locked.dll", FileAccess::Read, kShareAll, FileDisposition::OpenExisting));
  EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  EXPECT_FALSE(Files().RemoveFile("C:\\locked.dll"));
  EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  EXPECT_FALSE(Files().RenameFile("C:\\locked.dll", "C:\\moved.dll"));
  EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  EXPECT_FALSE(Files().CopyFileTo("C:\\locked.dll", "C:\\copy.dll", false));
  EXPECT_EQ(Files().LastError(), err::kSharingViolation);
  // Attributes and times can still be read, as Windows allows.
  EXPECT_TRUE(Files().GetAttributes("C:\\locked.dll"));
  EXPECT_TRUE(Files().FileSize("C:\\locked.dll"));

  // A lock may be placed before the file exists.
  port_.LockPath("C:\\later.dll");
  EXPECT_FALSE(
      Files().Open("C:\\LATER.DLL", FileAccess::Write, kShareNone, FileDisposition::CreateAlways));
  EXPECT_EQ(Files().LastError(), err::kSharingViolation);

  port_.UnlockPath("C:\\locked.dll");
  EXPECT_TRUE(Files().RemoveFile("C:\\locked.dll"));
}

TEST_F(MemoryPortTest, DiskFillsUpAfterTheGivenBytes) {
  port_.SetDiskFullAfter(10);
  EXPECT_EQ(Files().FreeSpace("C:\\")->free_bytes, 10u);
  auto f =
      Files().Open("C:\\big.bin", FileAccess::Write, kShareNone, FileDisposition::CreateAlways);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->Write("1234", 4));
  EXPECT_FALSE(f->Write("abcdefghij", 10));
  EXPECT_EQ(f->LastError(), err::kDiskFull);
  EXPECT_EQ(f->Size(), 10);
  EXPECT_FALSE(f->Write("x", 1));
  f.reset();
  EXPECT_EQ(Read("C:\\big.bin"), "1234abcdef");

  // A copy that does not fit leaves nothing behind.
  port_.SetDiskFullAfter(3);
  EXPECT_FALSE(Files().CopyFileTo("C:\\big.bin", "C:\\copy.bin", false));
  EXPECT_EQ(Files().LastError(), err::kDiskFull);
  EXPECT_FALSE(Files().FileExists("C:\\copy.bin"));

  port_.SetDiskFullAfter(std::nullopt);
  port_.SetFreeSpace('c', DiskSpace{12345, 67890});
  EXPECT_EQ(Files().FreeSpace("C:\\WINDOWS")->free_bytes, 12345u);
  EXPECT_EQ(Files().FreeSpace("C:\\WINDOWS")->total_bytes, 67890u);
  EXPECT_TRUE(Files().CopyFileTo("C:\\big.bin", "C:\\copy.bin", false));
}

TEST_F(MemoryPortTest, RefusedRegistryWritesChangeNothing) {
  ASSERT_TRUE(Reg().CreateKey(RootKey::LocalMachine, "Software\\Vendor"));
  ASSERT_TRUE(Reg().WriteInteger(RootKey::LocalMachine, "Software\\Vendor", "Count", 1));
  port_.RefuseRegistryWrites(true);
  EXPECT_FALSE(Reg().WriteInteger(RootKey::LocalMachine, "Software\\Vendor", "Count", 2));
  EXPECT_EQ(Reg().LastError(), err::kAccessDenied);
  EXPECT_FALSE(Reg().WriteString(RootKey::LocalMachine, "Software\\Vendor", "Name", "x"));
  EXPECT_FALSE(Reg().CreateKey(RootKey::LocalMachine, "Software\\Vendor\\New"));
  EXPECT_FALSE(Reg().DeleteValue(RootKey::LocalMachine, "Software\\Vendor", "Count"));
  EXPECT_FALSE(Reg().DeleteKey(RootKey::LocalMachine, "Software\\Vendor"));
  EXPECT_EQ(Reg().ReadInteger(RootKey::LocalMachine, "Software\\Vendor", "Count"), 1u);
  EXPECT_FALSE(Reg().KeyExists(RootKey::LocalMachine, "Software\\Vendor\\New"));
  port_.RefuseRegistryWrites(false);
  EXPECT_TRUE(Reg().WriteInteger(RootKey::LocalMachine, "Software\\Vendor", "Count", 2));
}

TEST_F(MemoryPortTest, RegistryCountsFlushesOnlyWithoutLazyWriting) {
  ASSERT_TRUE(Reg().CreateKey(RootKey::CurrentUser, "K"));
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, "K", "a", "1"));
  EXPECT_EQ(port_.RegistryFlushes(), 0);
  Reg().SetLazyWrite(false);
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, "K", "b", "2"));
  ASSERT_TRUE(Reg().DeleteValue(RootKey::CurrentUser, "K", "a"));
  EXPECT_EQ(port_.RegistryFlushes(), 2);
  // Strings end at their first NUL, as in the Windows registry.
  ASSERT_TRUE(Reg().WriteString(RootKey::CurrentUser, "K", "c", std::string("ab\0cd", 5)));
  EXPECT_EQ(Reg().ReadString(RootKey::CurrentUser, "K", "c"), "ab");
}

TEST_F(MemoryPortTest, LaunchesAreRecordedWithTheirScriptedOutcome) {
  ASSERT_TRUE(Files().CreateDirectories("C:\\App"));
  Write("C:\\App\\tool.exe", "MZ");
  LaunchRequest request;
  request.application_name = "C:\\App\\tool.exe";
  request.command_line = "/REGSERVER";
  request.current_directory = "C:\\App";
  request.show_mode = show::kHide;

  port_.ScriptLaunch(LaunchScript{kWaitTimeout, false, 0});
  port_.SetDefaultLaunchScript(LaunchScript{0, true, 7});
  auto first = port_.Processes().Create(request);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->WaitForInputIdle(kInfinite), kWaitTimeout);
  EXPECT_FALSE(first->WaitForExit(100));
  EXPECT_FALSE(first->ExitCode());
  auto second = port_.Processes().Create(request);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->WaitForInputIdle(kInfinite), 0u);
  EXPECT_TRUE(second->WaitForExit(kInfinite));
  EXPECT_EQ(second->ExitCode(), 7u);
  EXPECT_NE(first->Id(), second->Id());

  ASSERT_EQ(port_.Launches().size(), 2u);
  EXPECT_EQ(port_.Launches()[0].request.application_name, "C:\\App\\tool.exe");
  EXPECT_EQ(port_.Launches()[0].request.command_line, "/REGSERVER");
  EXPECT_EQ(port_.Launches()[0].request.current_directory, "C:\\App");
  EXPECT_EQ(port_.Launches()[0].request.show_mode, show::kHide);
  EXPECT_EQ(port_.Launches()[1].process_id, second->Id());

  // Missing programs and folders fail as CreateProcess does; a refused start fails as told.
  request.application_name = "C:\\App\\missing.exe";
  EXPECT_FALSE(port_.Processes().Create(request));
  EXPECT_EQ(port_.Processes().LastError(), err::kFileNotFound);
  request.application_name = "C:\\App\\tool.exe";
  request.current_directory = "C:\\Nowhere";
  EXPECT_FALSE(port_.Processes().Create(request));
  EXPECT_EQ(port_.Processes().LastError(), err::kDirectory);
  port_.RefuseProcessStart(true, err::kNotEnoughMemory);
  request.current_directory.clear();
  EXPECT_FALSE(port_.Processes().Create(request));
  EXPECT_EQ(port_.Processes().LastError(), err::kNotEnoughMemory);
  EXPECT_EQ(port_.Launches().size(), 2u);

  port_.ClearRecords();
  EXPECT_TRUE(port_.Launches().empty());
}

TEST_F(MemoryPortTest, RebootMovesAreRecordedAndCarriedOutAtTheRestart) {
  Write("C:\\WINDOWS\\system32\\shared.dll", "old");
  Write("C:\\WINDOWS\\system32\\shared.new", "new");
  Write("C:\\WINDOWS\\TEMP\\gone.tmp", "x");
  port_.LockPath("C:\\WINDOWS\\system32\\shared.dll");
  ASSERT_TRUE(Files().SetAttributes("C:\\WINDOWS\\system32\\shared.dll", attr::kReadOnly));
  ASSERT_TRUE(Files().MoveFileAtReboot("c:/windows/system32/shared.new",
                                       "C:\\WINDOWS\\system32\\shared.dll"));
  ASSERT_TRUE(Files().MoveFileAtReboot("C:\\WINDOWS\\TEMP\\gone.tmp", ""));
  ASSERT_EQ(port_.RebootMoves().size(), 2u);
  EXPECT_EQ(port_.RebootMoves()[0].from, "C:\\windows\\system32\\shared.new");
  EXPECT_EQ(port_.RebootMoves()[0].to, "C:\\WINDOWS\\system32\\shared.dll");
  EXPECT_EQ(port_.RebootMoves()[1].to, "");

  EXPECT_TRUE(port_.System().Reboot());
  port_.SetRebootResult(false);
  EXPECT_FALSE(port_.System().Reboot());
  EXPECT_EQ(port_.RebootRequests(), 2);

  EXPECT_TRUE(port_.ApplyRebootMoves());
  EXPECT_EQ(Read("C:\\WINDOWS\\system32\\shared.dll"), "new");
  EXPECT_FALSE(Files().FileExists("C:\\WINDOWS\\system32\\shared.new"));
  EXPECT_FALSE(Files().FileExists("C:\\WINDOWS\\TEMP\\gone.tmp"));
  EXPECT_TRUE(port_.RebootMoves().empty());
}

TEST_F(MemoryPortTest, DelayedMovesCanBeRefusedAndWindows98HasNone) {
  Write("C:\\WINDOWS\\x.new", "x");
  port_.RefuseRebootMoves(true, err::kAccessDenied);
  EXPECT_FALSE(Files().MoveFileAtReboot("C:\\WINDOWS\\x.new", "C:\\WINDOWS\\x.dll"));
  EXPECT_EQ(Files().LastError(), err::kAccessDenied);
  port_.RefuseRebootMoves(false);
  port_.SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  EXPECT_FALSE(Files().MoveFileAtReboot("C:\\WINDOWS\\x.new", "C:\\WINDOWS\\x.dll"));
  EXPECT_EQ(Files().LastError(), err::kCallNotImplemented);
  EXPECT_TRUE(port_.RebootMoves().empty());
}

TEST_F(MemoryPortTest, AStartedProgramRunsWhatItsScriptSays) {
  Write("C:\\srv.exe", "MZ");
  std::string seen;
  platform::memory::LaunchScript script;
  script.on_start = [&](const platform::LaunchRequest& r) { seen = r.command_line; };
  port_.ScriptLaunch(script);
  platform::LaunchRequest request;
  request.application_name = "C:\\srv.exe";
  request.command_line = "\"C:\\srv.exe\" /REGSERVER";
  ASSERT_TRUE(port_.Processes().Create(request));
  EXPECT_EQ(seen, "\"C:\\srv.exe\" /REGSERVER");
}

TEST_F(MemoryPortTest, DosTimesFollowTheTimeZoneBias) {
  Write("C:\\stamp.txt", "x");
  const uint32_t dos = 0x2C8F6E2F;  // 2002-04-15 13:49:30 local
  port_.SetUtcBias(-120);           // two hours east of Greenwich
  ASSERT_TRUE(Files().SetDosTime("C:\\stamp.txt", dos));
  EXPECT_EQ(Files().GetDosTime("C:\\stamp.txt"), dos);
  const auto utc =
      std::chrono::file_clock::to_sys(fs::last_write_time(scratch_.path() / "C" / "stamp.txt"));
  const auto day = std::chrono::floor<std::chrono::days>(utc);
  const std::chrono::hh_mm_ss tod(std::chrono::floor<std::chrono::seconds>(utc - day));
  EXPECT_EQ(tod.hours().count(), 11);
  EXPECT_EQ(tod.minutes().count(), 49);
  // The same file seen from Greenwich.
  port_.SetUtcBias(0);
  EXPECT_EQ(*Files().GetDosTime("C:\\stamp.txt") & 0xFFFF, (11u << 11) | (49u << 5) | 15u);
}

TEST_F(MemoryPortTest, TheMachineIsWhatTheTestSays) {
  EXPECT_EQ(port_.System().Version()->major, 5u);
  EXPECT_TRUE(Files().DirectoryExists(*port_.System().SystemDirectory()));
  EXPECT_TRUE(Files().DirectoryExists(*port_.ShellFolders().SpecialFolder(csidl::kPrograms)));

  port_.SetVersion(OsVersion{PlatformId::Windows, 4, 10, 2222, "A"});
  EXPECT_EQ(port_.System().Version()->platform, PlatformId::Windows);
  EXPECT_EQ(port_.System().Version()->minor, 10u);
  port_.SetVersion(std::nullopt);
  EXPECT_FALSE(port_.System().Version());
  port_.SetSystemDirectory("C:\\WINDOWS\\SYSTEM");
  EXPECT_EQ(port_.System().SystemDirectory(), "C:\\WINDOWS\\SYSTEM");
  port_.SetWindowsDirectory(std::nullopt);
  EXPECT_FALSE(port_.System().WindowsDirectory());
  port_.SetTempPath("D:\\TMP");
  EXPECT_EQ(Files().TempPath(), "D:\\TMP\\");
  port_.SetModuleFileName("E:\\SETUP.EXE");
  EXPECT_EQ(Files().ModuleFileName(), "E:\\SETUP.EXE");
  port_.SetShellFolder(csidl::kPrograms, std::nullopt);
  EXPECT_FALSE(port_.ShellFolders().SpecialFolder(csidl::kPrograms));
  port_.SetShellFolder(0x7E, "C:\\Odd");
  EXPECT_EQ(port_.ShellFolders().SpecialFolder(0x7E), "C:\\Odd");
  port_.SetUserLanguage(0x0407);
  EXPECT_EQ(port_.System().UserDefaultLanguage(), 0x0407);
  port_.SetScreen(ScreenInfo{640, 480, 8});
  EXPECT_EQ(port_.System().Screen().width, 640);
  EXPECT_EQ(port_.System().Screen().bits_per_pixel, 8);

  EXPECT_TRUE(port_.Libraries().CanLoad("shfolder"));
  EXPECT_TRUE(port_.Libraries().CanLoad("C:\\WINDOWS\\system32\\SHFOLDER.DLL"));
  EXPECT_FALSE(port_.Libraries().CanLoad("CALWIN32.DLL"));
  port_.SetLibrary("calwin32.dll", true);
  port_.SetLibrary("SHFOLDER.DLL", false);
  EXPECT_TRUE(port_.Libraries().CanLoad("CALWIN32.DLL"));
  EXPECT_FALSE(port_.Libraries().CanLoad("shfolder.dll"));

  EXPECT_EQ(port_.System().ErrorText(err::kAccessDenied), "Access is denied.");
  EXPECT_EQ(port_.System().ErrorText(0xDEAD), "");
  port_.SetErrorText(0xDEAD, "Custom");
  EXPECT_EQ(port_.System().ErrorText(0xDEAD), "Custom");

  int hooked = 0;
  port_.SetMessageHook([&] { ++hooked; });
  port_.System().ProcessMessages();
  port_.System().ProcessMessages();
  EXPECT_EQ(hooked, 2);
  EXPECT_EQ(port_.MessageRuns(), 2);
}

TEST_F(MemoryPortTest, AttributesAndHandlesFollowARename) {
  ASSERT_TRUE(Files().CreateDirectories("C:\\Old\\Inner"));
  Write("C:\\Old\\Inner\\f.txt", "data");
  ASSERT_TRUE(Files().SetAttributes("C:\\Old\\Inner\\f.txt", attr::kHidden | attr::kReadOnly));
  ASSERT_TRUE(Files().RenameFile("C:\\Old", "C:\\New"));
  EXPECT_EQ(Files().GetAttributes("C:\\New\\Inner\\f.txt"), attr::kHidden | attr::kReadOnly);

  ASSERT_TRUE(Files().SetAttributes("C:\\New\\Inner\\f.txt", attr::kNormal));
#ifdef _WIN32
  GTEST_SKIP() << "on a Windows host the C runtime opens files without delete sharing";
#endif
  auto f = Files().Open("C:\\New\\Inner\\f.txt", FileAccess::ReadWrite, kShareAll,
                        FileDisposition::OpenExisting);
  ASSERT_TRUE(f);
  ASSERT_TRUE(Files().RenameFile("C:\\New\\Inner\\f.txt", "C:\\New\\g.txt"));
  ASSERT_TRUE(f->Seek(0, SeekOrigin::End));
  EXPECT_TRUE(f->Write("+more", 5));
  EXPECT_EQ(f->Size(), 9);
  f.reset();
  EXPECT_EQ(Read("C:\\New\\g.txt"), "data+more");
  // A folder holding an open file cannot be renamed.
  auto held =
      Files().Open("C:\\New\\g.txt", FileAccess::Read, kShareAll, FileDisposition::OpenExisting);
  EXPECT_FALSE(Files().RenameFile("C:\\New", "C:\\Newer"));
  EXPECT_EQ(Files().LastError(), err::kAccessDenied);
}

}  // namespace
}  // namespace tmby::platform::memory
