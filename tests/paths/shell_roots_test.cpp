// The shell folder kinds on every family of Windows: the NT family, the 9x family, NT 3.51,
// unidentified systems and a system that will not tell its version.
#include "paths/shell_roots.h"

#include <gtest/gtest.h>

#include <string>

#include "support/path_fixtures.h"

namespace tmby::fixtures {
namespace {

using platform::PlatformId;

// What a kind yields on one family: a CSIDL whose folder the test knows, or a literal.
struct Yield {
  int csidl = -1;
  const char* literal = nullptr;
};
Yield F(int csidl) { return {csidl, nullptr}; }
const Yield kUndef{-1, "undefined"};
const Yield kNone{-1, ""};

struct KindRow {
  const char* kind;
  Yield nt, win9x, other;
};

// Every CSIDL a kind may ask for, each with a folder of its own.
const int kCsidls[] = {2, 3, 4, 6, 7, 8, 9, 10, 11, 16, 22, 23, 24, 25, 29, 30, 31, 33};

std::string FolderOf(int csidl) { return "C:\\Shell\\" + std::to_string(csidl); }

class ShellFolders : public PathSpecifierTest {
 protected:
  ShellFolders() {
    CreateStandard();
    for (int csidl : kCsidls) Machine().SetShellFolder(csidl, FolderOf(csidl));
  }
  std::string PathOf(const char* kind) {
    return PathSpecifiers().Standard.FindSpecifier(kind)->GetPath(nullptr);
  }
  static std::string Expected(const Yield& y) {
    return y.literal != nullptr ? std::string(y.literal) : FolderOf(y.csidl);
  }
};

const KindRow kRows[] = {
    {"TpsPrinters", F(4), kUndef, kUndef},
    {"TpsRecent", F(8), kUndef, kUndef},
    {"TpsSendTo", F(9), kNone, kNone},
    {"TpsStartup", F(7), kNone, kNone},
    {"TpsControlPanel", F(3), kNone, kNone},
    {"TpsFavorites", F(6), kUndef, kUndef},
    {"TpsBitBucket", F(10), kNone, kNone},
    {"TpsCookies", F(33), kNone, kNone},
    {"TpsCommonAltStartup", F(30), F(29), kNone},
    {"TpsCommonStartup", F(24), F(7), kNone},
    {"TpsCommonDesktopDirectory", F(25), F(16), kUndef},
    {"TpsCommonFavorites", F(31), F(6), kNone},
    {"TpsCommonPrograms", F(23), F(2), kNone},
    {"TpsCommonStartMenu", F(22), F(11), kNone},
};

TEST_F(ShellFolders, EachFamilyOfWindowsGetsItsBranch) {
  struct System {
    const char* name;
    PlatformId platform;
    uint32_t major, minor;
    int family;  // 0 NT, 1 9x, 2 other
  };
  const System systems[] = {
      {"NT 4", PlatformId::NT, 4, 0, 0},     {"2000", PlatformId::NT, 5, 0, 0},
      {"XP", PlatformId::NT, 5, 1, 0},       {"95", PlatformId::Windows, 4, 0, 1},
      {"98", PlatformId::Windows, 4, 10, 1}, {"ME", PlatformId::Windows, 4, 90, 1},
      {"Vista", PlatformId::NT, 6, 0, 0},    {"10", PlatformId::NT, 10, 0, 0},
      {"NT 3.51", PlatformId::NT, 3, 51, 2}, {"Win32s", PlatformId::Win32s, 3, 10, 2},
      {"other", PlatformId::Other, 5, 1, 2},
  };
  for (const System& system : systems) {
    SetWindows(system.platform, system.major, system.minor);
    for (const KindRow& row : kRows) {
      const Yield& y = system.family == 0 ? row.nt : system.family == 1 ? row.win9x : row.other;
      EXPECT_EQ(PathOf(row.kind), Expected(y)) << row.kind << " on " << system.name;
    }
  }
}

TEST_F(ShellFolders, ASystemThatHidesItsVersionCountsAsUnidentified) {
  Machine().SetVersion(std::nullopt);
  EXPECT_EQ(PathOf("TpsCommonDesktopDirectory"), "undefined");
  EXPECT_EQ(PathOf("TpsCommonPrograms"), "");
  EXPECT_EQ(PathOf("TpsRecent"), "undefined");
}

TEST_F(ShellFolders, AFolderTheShellRefusesOrOnlyNamesIsEmpty) {
  Machine().SetShellFolder(4, std::nullopt);
  Machine().SetShellFolder(25, std::nullopt);
  Machine().SetShellFolder(10, "::{645FF040-5081-101B-9F08-00AA002F954E}");
  EXPECT_EQ(PathOf("TpsPrinters"), "");
  EXPECT_EQ(PathOf("TpsCommonDesktopDirectory"), "");
  EXPECT_EQ(PathOf("TpsBitBucket"), "");
  SetWindows(PlatformId::Windows, 4, 10);
  EXPECT_EQ(PathOf("TpsPrinters"), "undefined");
}

TEST_F(ShellFolders, QuickLaunchLiesBelowApplicationDataOnEveryWindows) {
  const std::string expected = "C:\\AppData\\Microsoft\\Internet Explorer\\Quick Launch";
  Machine().SetShellFolder(platform::csidl::kAppData, "C:\\AppData\\");
  EXPECT_EQ(PathOf("TpsQuickLaunchMenu"), expected);
  SetWindows(PlatformId::Windows, 4, 10);
  EXPECT_EQ(PathOf("TpsQuickLaunchMenu"), expected);
  SetWindows(PlatformId::NT, 3, 51);
  EXPECT_EQ(PathOf("TpsQuickLaunchMenu"), expected);
  Machine().SetShellFolder(platform::csidl::kAppData, "\\");
  EXPECT_EQ(PathOf("TpsQuickLaunchMenu"), "undefined");
  Machine().SetShellFolder(platform::csidl::kAppData, std::nullopt);
  EXPECT_EQ(PathOf("TpsQuickLaunchMenu"), "undefined");
}

}  // namespace
}  // namespace tmby::fixtures
