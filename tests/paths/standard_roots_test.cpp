// The kinds that name machine folders from the registry or from Windows: their values, their
// defaults when the registry says nothing, and odd values (blank, without drive, very long).
#include "paths/standard_roots.h"

#include <gtest/gtest.h>

#include <string>

#include "paths/office_roots.h"
#include "support/path_fixtures.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;

const char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kBde[] = "Software\\Borland\\Database Engine";

class MachineFolders : public PathSpecifierTest {
 protected:
  MachineFolders() { CreateStandard(); }
  template <class T>
  std::string PathOf() {
    return Standard<T>()->GetPath(nullptr);
  }
};

TEST_F(MachineFolders, AnEmptyRegistryGivesTheConventionalFolders) {
  EXPECT_EQ(PathOf<TpsProgramFiles>(), "C:\\Program Files");
  EXPECT_EQ(PathOf<TpsCommonFiles>(), "C:\\Program Files\\Common Files");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "C:\\Program Files\\Borland\\Common Files\\BDE");
  EXPECT_EQ(PathOf<TpsDesktopMenu>(), "C:\\WINDOWS\\Desktop");
  EXPECT_EQ(PathOf<TpsStartMenu>(), "C:\\WINDOWS\\Startmen");
  EXPECT_EQ(PathOf<TpsProgramMenu>(), "C:\\WINDOWS\\Startmen\\Programs");
  EXPECT_EQ(PathOf<TpsStartupMenu>(), "C:\\WINDOWS\\Startup");
  EXPECT_EQ(PathOf<TpsOfficeFavoritesDirectory>(), "C:\\WINDOWS\\Favorites");
  EXPECT_EQ(PathOf<TpsSystem>(), "C:\\WINDOWS\\system32");
  EXPECT_EQ(PathOf<TpsWindow>(), "C:\\WINDOWS");

  // Program files and common files lie on the drive of the current directory.
  Machine().AddDrive('D');
  ASSERT_TRUE(Files().SetCurrentDir("D:\\"));
  EXPECT_EQ(PathOf<TpsProgramFiles>(), "D:\\Program Files");
  EXPECT_EQ(PathOf<TpsCommonFiles>(), "D:\\Program Files\\Common Files");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "D:\\Program Files\\Borland\\Common Files\\BDE");
  // A Windows directory with a trailing backslash gives no double one.
  Machine().SetWindowsDirectory("E:\\WIN\\");
  EXPECT_EQ(PathOf<TpsStartMenu>(), "E:\\WIN\\Startmen");
  EXPECT_EQ(PathOf<TpsWindow>(), "E:\\WIN");
}

TEST_F(MachineFolders, RegistryValuesWinWithOneTrailingBackslashRemoved) {
  SetValue(RootKey::LocalMachine, kCurrentVersion, "ProgramFilesDir", "E:\\Apps\\");
  SetValue(RootKey::LocalMachine, kCurrentVersion, "CommonFilesDir", "E:\\Shared");
  SetValue(RootKey::CurrentUser, kShellFolders, "Desktop", "F:\\Desk\\");
  SetValue(RootKey::CurrentUser, kShellFolders, "Start Menu", "F:\\Start Menu\\");
  SetValue(RootKey::CurrentUser, kShellFolders, "Startup", "F:\\Boot");
  SetValue(RootKey::CurrentUser, kShellFolders, "Favorites", "F:\\Fav\\");
  EXPECT_EQ(PathOf<TpsProgramFiles>(), "E:\\Apps");
  EXPECT_EQ(PathOf<TpsCommonFiles>(), "E:\\Shared");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "E:\\Apps\\Borland\\Common Files\\BDE");
  EXPECT_EQ(PathOf<TpsDesktopMenu>(), "F:\\Desk");
  EXPECT_EQ(PathOf<TpsStartMenu>(), "F:\\Start Menu");
  // Without its own value the Programs folder lies in the Start menu.
  EXPECT_EQ(PathOf<TpsProgramMenu>(), "F:\\Start Menu\\Programs");
  SetValue(RootKey::CurrentUser, kShellFolders, "Programs", "F:\\Progs\\");
  EXPECT_EQ(PathOf<TpsProgramMenu>(), "F:\\Progs");
  EXPECT_EQ(PathOf<TpsStartupMenu>(), "F:\\Boot");
  EXPECT_EQ(PathOf<TpsOfficeFavoritesDirectory>(), "F:\\Fav");

  // A value of another type counts as missing.
  ASSERT_TRUE(Reg().WriteInteger(RootKey::CurrentUser, kShellFolders, "Desktop", 7));
  EXPECT_EQ(PathOf<TpsDesktopMenu>(), "C:\\WINDOWS\\Desktop");
}

TEST_F(MachineFolders, TheBdePathIsTheFirstOfItsListAndKeepsItsBackslash) {
  SetValue(RootKey::LocalMachine, kBde, "DLLPath", "G:\\BDE\\;H:\\Other");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "G:\\BDE\\");
  SetValue(RootKey::LocalMachine, kBde, "DLLPath", "G:\\IDAPI");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "G:\\IDAPI");
  SetValue(RootKey::LocalMachine, kBde, "DLLPath", "");
  EXPECT_EQ(PathOf<TpsBDEDLL>(), "C:\\Program Files\\Borland\\Common Files\\BDE");
}

TEST_F(MachineFolders, BlankDrivelessAndLongValuesPassThroughUnharmed) {
  auto* install = MakeInstall();
  SetValue(RootKey::LocalMachine, kCurrentVersion, "ProgramFilesDir", "   ");
  EXPECT_EQ(PathOf<TpsProgramFiles>(), "   ");
  EXPECT_EQ(install->GetDestPath(), "   \\Lakeside");

  SetValue(RootKey::LocalMachine, kCurrentVersion, "ProgramFilesDir", "\\Program Files");
  EXPECT_EQ(install->GetDestPath(), "\\Program Files\\Lakeside");
  SetValue(RootKey::LocalMachine, kCurrentVersion, "ProgramFilesDir", "Q:\\Missing\\");
  EXPECT_EQ(install->GetDestPath(), "Q:\\Missing\\Lakeside");

  const std::string longPath = "C:\\" + std::string(296, 'x') + "\\";
  ASSERT_EQ(longPath.size(), 300u);
  SetValue(RootKey::LocalMachine, kCurrentVersion, "ProgramFilesDir", longPath);
  EXPECT_EQ(PathOf<TpsProgramFiles>(), longPath.substr(0, 299));
  EXPECT_EQ(install->GetDestPath(), longPath + "Lakeside");
}

TEST_F(MachineFolders, SystemAndWindowsDirectoriesFailWhenWindowsWillNotTellThem) {
  Machine().SetSystemDirectory(std::nullopt);
  Machine().SetWindowsDirectory(std::nullopt);
  EXPECT_EQ(MessageOf<EAPIRoutines>([&] { PathOf<TpsSystem>(); }),
            "Could not retrieve the system directroy from windows");
  EXPECT_EQ(MessageOf<EAPIRoutines>([&] { PathOf<TpsWindow>(); }),
            "Could not retrieve the windows directory from windows");
  // The registry folders never fail: their defaults just lose the Windows directory.
  EXPECT_EQ(PathOf<TpsStartMenu>(), "\\Startmen");
  EXPECT_EQ(PathOf<TpsOfficeFavoritesDirectory>(), "\\Favorites");
}

}  // namespace
}  // namespace tmby::fixtures
