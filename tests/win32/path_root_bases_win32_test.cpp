// Every path specifier kind on the running Windows, through the real API. The tests run under
// whatever Windows version the host reports (the test runner uses Windows XP and Windows 98); the
// expected folders are read straight from the shell and the system, past the port.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "paths/object_link_root.h"
#include "paths/office_roots.h"
#include "paths/shell_roots.h"
#include "paths/standard_roots.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_port.h"
#include "support/path_fixtures.h"
#include "system/registry.h"

namespace tmby::fixtures {
namespace {

std::string U(const wchar_t* w) { return platform::win32::Utf8(std::wstring(w)); }

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The shell's folder of a CSIDL, empty when it has none.
std::string RawFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::string();
  return U(buffer);
}

enum class Family { NT, NineX, Other };

Family RawFamily() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) return Family::Other;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return Family::NineX;
  // NT 4 and every later NT (Vista and later count as XP).
  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 4) return Family::NT;
  return Family::Other;
}

class PathSpecifiersWin32 : public ::testing::Test {
 protected:
  PathSpecifiersWin32() {
    previous_ = platform::SetPort(&port_);
    InstallModel().Reset();
    PathSpecifiers().Reset();
    PathSpecifierStartup();
    owner_ = new TComponent(nullptr);
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner_, true);
  }
  ~PathSpecifiersWin32() override {
    TComponent::Free(owner_);
    PathSpecifierShutdown();
    InstallModel().Reset();
    platform::SetPort(previous_);
  }
  std::string PathOf(const std::string& kind, TPersistent* object = nullptr) {
    return PathSpecifiers().Standard.FindSpecifier(kind)->GetPath(object);
  }

  platform::win32::Win32Platform port_;
  platform::IPlatform* previous_ = nullptr;
  TComponent* owner_ = nullptr;
};

TEST_F(PathSpecifiersWin32, EveryKindResolvesOnTheRunningWindows) {
  auto* install = new TPathTestInstall(owner_);
  install->SetName("Install1");
  install->SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsProgramFiles"));
  install->SetDestDir("\\Lakeside");
  install->Source = "C:\\Setup";
  auto* dir = new TInstallDirectory(owner_);
  dir->SetName("Dir1");
  dir->SetContainer(install);
  install->SetArchiveFileType(PathSpecifiers().Standard.FindSpecifier("TpsMainArchiveFile"));

  const TPathSpecifierClassList& kinds = PathSpecifiers().Classes;
  ASSERT_EQ(kinds.Count(), 35);
  for (int i = 0; i < kinds.Count(); ++i) {
    const std::string kind = kinds.Items(i)->Name();
    std::string path;
    ASSERT_NO_THROW(path = PathOf(kind, dir)) << kind;
    if (kind != "TpsBDEDLL" && !path.empty()) {
      EXPECT_NE(path.back(), '\\') << kind << ": " << path;
    }
    std::printf("  %-28s %s\n", kind.c_str(), path.c_str());
  }
  EXPECT_TRUE(SameText(PathOf("TpsContainerDestDir", dir), install->GetDestPath()));
  EXPECT_TRUE(SameText(PathOf("TpsMainInstall", dir), PathOf("TpsProgramFiles") + "\\Lakeside"));
  EXPECT_EQ(PathOf("TpsContainerArchiveFile", dir), "C:\\Setup\\files.1");
  EXPECT_EQ(PathOf("TpsInstallSource", dir), "C:\\Setup");
}

TEST_F(PathSpecifiersWin32, SystemAndWindowsDirectoriesAreTheSystemsOwn) {
  wchar_t buffer[MAX_PATH + 1] = {};
  ASSERT_GT(GetSystemDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_TRUE(SameText(PathOf("TpsSystem"), U(buffer))) << PathOf("TpsSystem");
  ASSERT_GT(GetWindowsDirectoryW(buffer, MAX_PATH), 0u);
  EXPECT_TRUE(SameText(PathOf("TpsWindow"), U(buffer))) << PathOf("TpsWindow");
}

TEST_F(PathSpecifiersWin32, ShellFolderKindsFollowTheWindowsFamily) {
  const Family family = RawFamily();
  struct Row {
    const char* kind;
    int nt, nineX;  // CSIDLs; -1 "undefined", -2 empty
    int other;
  };
  const Row rows[] = {
      {"TpsPrinters", CSIDL_PRINTERS, -1, -1},
      {"TpsRecent", CSIDL_RECENT, -1, -1},
      {"TpsSendTo", CSIDL_SENDTO, -2, -2},
      {"TpsStartup", CSIDL_STARTUP, -2, -2},
      {"TpsControlPanel", CSIDL_CONTROLS, -2, -2},
      {"TpsFavorites", CSIDL_FAVORITES, -1, -1},
      {"TpsBitBucket", CSIDL_BITBUCKET, -2, -2},
      {"TpsCookies", CSIDL_COOKIES, -2, -2},
      {"TpsCommonAltStartup", CSIDL_COMMON_ALTSTARTUP, CSIDL_ALTSTARTUP, -2},
      {"TpsCommonStartup", CSIDL_COMMON_STARTUP, CSIDL_STARTUP, -2},
      {"TpsCommonDesktopDirectory", CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, -1},
      {"TpsCommonFavorites", CSIDL_COMMON_FAVORITES, CSIDL_FAVORITES, -2},
      {"TpsCommonPrograms", CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, -2},
      {"TpsCommonStartMenu", CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU, -2},
  };
  for (const Row& row : rows) {
    const int pick = family == Family::NT      ? row.nt
                     : family == Family::NineX ? row.nineX
                                               : row.other;
    // The printers, the control panel and the recycle bin are virtual folders: no file-system
    // path, whatever text a shell offers for them.
    const bool virtualFolder =
        pick == CSIDL_PRINTERS || pick == CSIDL_CONTROLS || pick == CSIDL_BITBUCKET;
    const std::string expected = pick == -1                    ? "undefined"
                                 : pick == -2 || virtualFolder ? ""
                                                               : RawFolder(pick);
    EXPECT_TRUE(SameText(PathOf(row.kind), expected))
        << row.kind << ": " << PathOf(row.kind) << " expected " << expected;
  }
  // The folders an installer most needs are real folders on both families.
  EXPECT_EQ(PathOf("TpsCommonDesktopDirectory")[1], ':');
  EXPECT_EQ(PathOf("TpsCommonPrograms")[1], ':');
  EXPECT_EQ(PathOf("TpsCommonStartup")[1], ':');
  if (family == Family::NT) {
    EXPECT_FALSE(SameText(PathOf("TpsCommonDesktopDirectory"), RawFolder(CSIDL_DESKTOPDIRECTORY)));
  }
  const std::string appData = RawFolder(CSIDL_APPDATA);
  ASSERT_FALSE(appData.empty());
  EXPECT_TRUE(SameText(PathOf("TpsQuickLaunchMenu"),
                       appData + "\\Microsoft\\Internet Explorer\\Quick Launch"));
}

TEST_F(PathSpecifiersWin32, TheStartMenuKindsMatchTheShell) {
  EXPECT_TRUE(SameText(PathOf("TpsProgramMenu"), RawFolder(CSIDL_PROGRAMS)))
      << PathOf("TpsProgramMenu") << " / " << RawFolder(CSIDL_PROGRAMS);
  EXPECT_TRUE(SameText(PathOf("TpsStartMenu"), RawFolder(CSIDL_STARTMENU)))
      << PathOf("TpsStartMenu") << " / " << RawFolder(CSIDL_STARTMENU);
  EXPECT_TRUE(SameText(PathOf("TpsDesktopMenu"), RawFolder(CSIDL_DESKTOPDIRECTORY)))
      << PathOf("TpsDesktopMenu") << " / " << RawFolder(CSIDL_DESKTOPDIRECTORY);
}

TEST_F(PathSpecifiersWin32, OddRegistryValuesPassThroughTheRealRegistry) {
  const std::string bde = "\\Software\\Borland\\Database Engine";
  const std::string longPath = "C:\\" + std::string(296, 'x') + "\\";
  WriteRegString(4, bde, "DLLPath", longPath + ";D:\\Second");
  EXPECT_EQ(PathOf("TpsBDEDLL"), longPath);
  WriteRegString(4, bde, "DLLPath", "   ");
  EXPECT_EQ(PathOf("TpsBDEDLL"), "   ");
  // Neither a missing drive nor none at all is checked or repaired.
  WriteRegString(4, bde, "DLLPath", "Q:\\Missing\\BDE;C:\\BDE");
  EXPECT_EQ(PathOf("TpsBDEDLL"), "Q:\\Missing\\BDE");
  WriteRegString(4, bde, "DLLPath", "\\NoDrive\\BDE");
  EXPECT_EQ(PathOf("TpsBDEDLL"), "\\NoDrive\\BDE");
  WriteRegString(4, bde, "DLLPath", "");
  EXPECT_TRUE(
      SameText(PathOf("TpsBDEDLL"), PathOf("TpsProgramFiles") + "\\Borland\\Common Files\\BDE"));
  DeleteRegKeyTree(4, "\\Software\\Borland");
}

TEST_F(PathSpecifiersWin32, OfficeFoldersFollowARegisteredWord) {
  const std::string programFiles = PathOf("TpsProgramFiles");
  EXPECT_TRUE(
      SameText(PathOf("TpsOfficeToolsDirectory"), programFiles + "\\Microsoft Office\\Office"));
  // Word 97 registered with an editing server that exists (the system's own notepad).
  const std::string server = PathOf("TpsWindow") + "\\notepad.exe";
  ASSERT_NE(GetFileAttributesA(server.c_str()), INVALID_FILE_ATTRIBUTES) << server;
  WriteRegString(0, "\\Word.Document\\CurVer", "", "Word.Document.8");
  WriteRegString(0, "\\Word.Document.8\\protocol\\StdFileEditing\\server", "", server);
  WriteRegString(2, "\\Software\\Microsoft\\Office\\8.0\\Word\\Options", "TOOLS-PATH",
                 "C:\\Tools\\");
  EXPECT_EQ(GetWordVersion(), 8);
  EXPECT_EQ(PathOf("TpsOfficeToolsDirectory"), "C:\\Tools");
  DeleteRegKeyTree(0, "\\Word.Document");
  DeleteRegKeyTree(0, "\\Word.Document.8");
  DeleteRegKeyTree(2, "\\Software\\Microsoft\\Office\\8.0");
  EXPECT_EQ(GetWordVersion(), -1);
}

}  // namespace
}  // namespace tmby::fixtures
