// The Windows version classes, temporary files, system folders and their registry defaults, file
// attributes and the nearest existing directory, on the simulated machine.
#include "system/system_dirs.h"

#include <gtest/gtest.h>

#include <string>

#include "base/exceptions.h"
#include "support/memory_machine.h"
#include "support/path_fixtures.h"
#include "system/folder_cache.h"
#include "system/os_version.h"
#include "system/registry.h"

namespace tmby {
namespace {

using platform::OsVersion;
using platform::PlatformId;

constexpr int kHKCU = 2;
constexpr int kHKLM = 4;
const char kShellFolders[] =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kCurrentVersion[] = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

class SystemDirsTest : public testing::MemoryMachineTest {};

TEST(OSVersionTest, EveryPlatformAndVersionRowHasItsClass) {
  struct Row {
    PlatformId platform;
    uint32_t major, minor;
    TOSVerType expected;
  };
  const Row rows[] = {
      {PlatformId::Win32s, 3, 10, os31win32},    {PlatformId::Win32s, 0, 0, os31win32},
      {PlatformId::Windows, 4, 0, oswin95},      {PlatformId::Windows, 4, 90, oswinME},
      {PlatformId::Windows, 4, 10, oswin98},     {PlatformId::Windows, 4, 3, oswin98},
      {PlatformId::NT, 3, 51, oswinNT351},       {PlatformId::NT, 3, 10, oswinNT351},
      {PlatformId::NT, 4, 0, oswinNT},           {PlatformId::NT, 5, 0, oswin2K},
      {PlatformId::NT, 5, 1, oswinXP},           {PlatformId::NT, 5, 2, oswinXP},
      {PlatformId::NT, 6, 0, oswinXP},           {PlatformId::NT, 10, 0, oswinXP},
      {PlatformId::Other, 5, 1, osUnidentified},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ClassifyOSVersion(OsVersion{r.platform, r.major, r.minor, 0, ""}), r.expected)
        << static_cast<int>(r.platform) << " " << r.major << "." << r.minor;
  }
  EXPECT_TRUE(IsNTFamily(oswinNT));
  EXPECT_TRUE(IsNTFamily(oswin2K));
  EXPECT_TRUE(IsNTFamily(oswinXP));
  for (TOSVerType os :
       {os31win32, oswin95, oswinNT351, osUnidentified, osLinux, oswin98, oswinME}) {
    EXPECT_FALSE(IsNTFamily(os)) << os;
  }
}

TEST_F(SystemDirsTest, GetOSVersionAsksTheSystemAndFailsWhenItWillNotTell) {
  EXPECT_EQ(GetOSVersion(), oswinXP);  // the simulated machine starts as XP
  Machine().SetVersion(OsVersion{PlatformId::Windows, 4, 0, 950, ""});
  EXPECT_EQ(GetOSVersion(), oswin95);
  Machine().SetVersion(std::nullopt);
  EXPECT_EQ(fixtures::MessageOf<EAPIRoutines>([&] { GetOSVersion(); }),
            "Could not get information about the current version of Windows");
}

TEST_F(SystemDirsTest, TempFilesAreNewAndKeptOnlyWhenAsked) {
  const std::string kept = GetTempFile(true);
  const std::string gone = GetTempFile(false);
  EXPECT_NE(kept, gone);
  for (const std::string& path : {kept, gone}) {
    ASSERT_EQ(path.rfind("C:\\WINDOWS\\TEMP\\bat", 0), 0u) << path;
  }
  EXPECT_TRUE(Files().FileExists(kept));
  EXPECT_FALSE(Files().FileExists(gone));

  Machine().SetTempPath("C:\\NoSuchFolder\\");
  EXPECT_THROW(GetTempFile(true), EAPIRoutines);
  Machine().SetTempPath(std::nullopt);
  EXPECT_EQ(fixtures::MessageOf<EAPIRoutines>([&] { GetTempFile(false); }),
            "Cannot create a temporary file");
}

TEST_F(SystemDirsTest, SystemAndWindowsDirectoriesAndTheirFailures) {
  EXPECT_EQ(GetSystemDir(), "C:\\WINDOWS\\system32");
  EXPECT_EQ(GetWindowsDir(), "C:\\WINDOWS");
  Machine().SetWindowsDirectory("D:\\WIN98\\");
  EXPECT_EQ(GetWindowsDir(), "D:\\WIN98");

  Machine().SetSystemDirectory(std::nullopt);
  Machine().SetWindowsDirectory(std::nullopt);
  EXPECT_EQ(fixtures::MessageOf<EAPIRoutines>([&] { GetSystemDir(); }),
            "Could not retrieve the system directroy from windows");
  EXPECT_EQ(fixtures::MessageOf<EAPIRoutines>([&] { GetWindowsDir(); }),
            "Could not retrieve the windows directory from windows");
}

TEST_F(SystemDirsTest, FolderLookupsFallBackToTheirDefaults) {
  // An empty registry: every default.
  EXPECT_EQ(GetStartMenuDir(), "C:\\WINDOWS\\Startmen");
  EXPECT_EQ(GetProgramsDir(), "C:\\WINDOWS\\Startmen\\Programs");
  EXPECT_EQ(GetDesktopDir(), "C:\\WINDOWS\\Desktop");
  EXPECT_EQ(GetStartupDir(), "C:\\WINDOWS\\Startup");
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files");
  EXPECT_EQ(GetCommonFilesDir(), "C:\\Program Files\\Common Files");

  // The program files defaults follow the drive of the current directory.
  Machine().AddDrive('D');
  ASSERT_TRUE(Files().CreateDirectories("D:\\Work"));
  ASSERT_TRUE(Files().SetCurrentDir("D:\\Work"));
  EXPECT_EQ(GetProgramFilesDir(), "D:\\Program Files");
  EXPECT_EQ(GetCommonFilesDir(), "D:\\Program Files\\Common Files");

  // Without a Windows directory the lookups still answer.
  Machine().SetWindowsDirectory(std::nullopt);
  EXPECT_NO_THROW(GetStartMenuDir());
  EXPECT_NO_THROW(GetDesktopDir());
}

TEST_F(SystemDirsTest, FolderLookupsReadTheRegistryWithoutTrailingBackslash) {
  WriteRegString(kHKCU, kShellFolders, "Start Menu", "C:\\Users\\Ann\\Start Menu\\");
  EXPECT_EQ(GetStartMenuDir(), "C:\\Users\\Ann\\Start Menu");
  // Programs falls back to the Start menu that the registry gave.
  EXPECT_EQ(GetProgramsDir(), "C:\\Users\\Ann\\Start Menu\\Programs");
  WriteRegString(kHKCU, kShellFolders, "Programs", "E:\\Progs");
  WriteRegString(kHKCU, kShellFolders, "Desktop", "E:\\Desk\\");
  WriteRegString(kHKCU, kShellFolders, "Startup", "E:\\Start");
  WriteRegString(kHKLM, kCurrentVersion, "ProgramFilesDir", "F:\\Apps\\");
  WriteRegString(kHKLM, kCurrentVersion, "CommonFilesDir", "F:\\Shared");
  EXPECT_EQ(GetProgramsDir(), "E:\\Progs");
  EXPECT_EQ(GetDesktopDir(), "E:\\Desk");
  EXPECT_EQ(GetStartupDir(), "E:\\Start");
  EXPECT_EQ(GetProgramFilesDir(), "F:\\Apps");
  EXPECT_EQ(GetCommonFilesDir(), "F:\\Shared");

  // A value of the wrong type is as good as missing.
  DeleteRegKeyTree(kHKLM, "\\SOFTWARE");
  WriteRegInteger(kHKLM, kCurrentVersion, "ProgramFilesDir", 1);
  WriteRegInteger(kHKCU, kShellFolders, "Desktop", 1);
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files");
  EXPECT_EQ(GetDesktopDir(), "C:\\WINDOWS\\Desktop");
}

TEST_F(SystemDirsTest, WhileHeldTheRegistryFoldersAreReadOnce) {
  struct Held {
    Held() { SystemFolderCache().Hold(); }
    ~Held() { SystemFolderCache().Release(); }
  };
  WriteRegString(kHKLM, kCurrentVersion, "ProgramFilesDir", "F:\\Apps");
  {
    Held held;
    EXPECT_EQ(GetProgramFilesDir(), "F:\\Apps");
    EXPECT_EQ(GetDesktopDir(), "C:\\WINDOWS\\Desktop");
    WriteRegString(kHKLM, kCurrentVersion, "ProgramFilesDir", "G:\\Other");
    WriteRegString(kHKCU, kShellFolders, "Desktop", "E:\\Desk");
    EXPECT_EQ(GetProgramFilesDir(), "F:\\Apps");
    EXPECT_EQ(GetDesktopDir(), "C:\\WINDOWS\\Desktop");
    // A value found missing stays missing, but its default still follows the current drive.
    Machine().AddDrive('D');
    ASSERT_TRUE(Files().CreateDirectories("D:\\Work"));
    EXPECT_EQ(GetCommonFilesDir(), "C:\\Program Files\\Common Files");
    ASSERT_TRUE(Files().SetCurrentDir("D:\\Work"));
    EXPECT_EQ(GetCommonFilesDir(), "D:\\Program Files\\Common Files");
  }
  // Released: the registry as it is now.
  EXPECT_EQ(GetProgramFilesDir(), "G:\\Other");
  EXPECT_EQ(GetDesktopDir(), "E:\\Desk");
  WriteRegString(kHKLM, kCurrentVersion, "ProgramFilesDir", "H:\\Again");
  EXPECT_EQ(GetProgramFilesDir(), "H:\\Again");
}

TEST_F(SystemDirsTest, AttributeSetsMapToWindowsBitsAndApply) {
  namespace attr = platform::attr;
  EXPECT_EQ(FileAttributeBits({}), 0u);
  EXPECT_EQ(FileAttributeBits({tfaCompressed}), 0u);
  EXPECT_EQ(FileAttributeBits({tfaArchive}), attr::kArchive);
  EXPECT_EQ(FileAttributeBits({tfaDirectory}), attr::kDirectory);
  EXPECT_EQ(FileAttributeBits({tfaHidden}), attr::kHidden);
  EXPECT_EQ(FileAttributeBits({tfaNormal}), attr::kNormal);
  EXPECT_EQ(FileAttributeBits({tfaOffline}), attr::kOffline);
  EXPECT_EQ(FileAttributeBits({tfaReadOnly}), attr::kReadOnly);
  EXPECT_EQ(FileAttributeBits({tfaSystem}), attr::kSystem);
  EXPECT_EQ(FileAttributeBits({tfaTemporary}), attr::kTemporary);
  EXPECT_EQ(FileAttributeBits({tfaReadOnly, tfaHidden, tfaSystem, tfaCompressed}),
            attr::kReadOnly | attr::kHidden | attr::kSystem);

  MakeFile("C:\\App\\help.hlp");
  SetFileAttributesFromSet("C:\\App\\help.hlp", {tfaReadOnly, tfaHidden});
  EXPECT_EQ(Files().GetAttributes("C:\\App\\help.hlp"), attr::kReadOnly | attr::kHidden);
  SetFileAttributesFromSet("C:\\App\\help.hlp", {tfaNormal});
  EXPECT_EQ(Files().GetAttributes("C:\\App\\help.hlp"), attr::kNormal);

  EXPECT_EQ(fixtures::MessageOf<IEfcSetAttributes>(
                [&] { SetFileAttributesFromSet("C:\\App\\missing.hlp", {tfaArchive}); }),
            "Cannot set file attributes. Error : The system cannot find the file specified.");
}

TEST_F(SystemDirsTest, NearestExistingDirectoryWalksUpToWhatExists) {
  ASSERT_TRUE(Files().CreateDirectories("C:\\Program Files\\Vendor"));
  EXPECT_EQ(NearestExistingDirectory("C:\\Program Files\\Vendor"), "C:\\Program Files\\Vendor");
  EXPECT_EQ(NearestExistingDirectory("C:\\Program Files\\Vendor\\New\\Sub"),
            "C:\\Program Files\\Vendor");
  // Two levels below a missing folder at the top of the drive: the drive, without backslash.
  EXPECT_EQ(NearestExistingDirectory("C:\\Missing\\One\\Two"), "C:");

  EXPECT_EQ(NearestExistingDirectory(""), "");
  EXPECT_EQ(NearestExistingDirectory("    "), "");
  EXPECT_EQ(NearestExistingDirectory("nowhere"), "");
  EXPECT_EQ(NearestExistingDirectory("Q:\\no\\drive"), "");  // a drive that does not exist

  // A path longer than Windows allows ends at the part that exists.
  std::string long_path = "C:\\Program Files";
  while (long_path.size() < 300) long_path += "\\abcdefghij";
  EXPECT_EQ(NearestExistingDirectory(long_path), "C:\\Program Files");
}

}  // namespace
}  // namespace tmby
