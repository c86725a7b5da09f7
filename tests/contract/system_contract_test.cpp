// System information, shell folders, libraries and program start as every adapter must show them.
#include <gtest/gtest.h>

#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::PlatformId;
namespace csidl = platform::csidl;
namespace err = platform::err;

using SystemContract = PortContract;
TMBY_PORT_CONTRACT(SystemContract);

TEST_P(SystemContract, VersionRecordIsPlausible) {
  const auto v = Port().System().Version();
  ASSERT_TRUE(v);
  if (v->platform == PlatformId::Windows) {
    EXPECT_EQ(v->major, 4u);
    EXPECT_TRUE(v->minor == 0 || v->minor == 10 || v->minor == 90) << v->minor;
    EXPECT_LE(v->build, 0xFFFFu);  // the low word only
  } else {
    ASSERT_EQ(v->platform, PlatformId::NT);
    EXPECT_GE(v->major, 3u);
    EXPECT_GT(v->build, 0u);
  }
}

TEST_P(SystemContract, SystemAndWindowsDirectoriesExist) {
  const auto windows = Port().System().WindowsDirectory();
  const auto system = Port().System().SystemDirectory();
  ASSERT_TRUE(windows);
  ASSERT_TRUE(system);
  EXPECT_TRUE(Files().DirectoryExists(*windows)) << *windows;
  EXPECT_TRUE(Files().DirectoryExists(*system)) << *system;
  EXPECT_NE(windows->back(), '\\');
  EXPECT_NE(system->back(), '\\');
  EXPECT_EQ(system->rfind(*windows + "\\", 0), 0u) << *system << " below " << *windows;
}

TEST_P(SystemContract, LanguageScreenAndErrorTexts) {
  EXPECT_NE(Port().System().UserDefaultLanguage(), 0);
  const auto screen = Port().System().Screen();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  EXPECT_GE(screen.bits_per_pixel, 1);
  EXPECT_LE(screen.bits_per_pixel, 32);
  const std::string text = Port().System().ErrorText(err::kFileNotFound);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  EXPECT_NE(text, Port().System().ErrorText(err::kAccessDenied));
}

TEST_P(SystemContract, TextGoesIntoTheAnsiCodePageOnlyWhereItFits) {
  platform::ISystemInfo& system = Port().System();
  EXPECT_EQ(system.ToAnsi(""), "");
  EXPECT_EQ(system.ToAnsi("SETUP.1 files-2.txt"), "SETUP.1 files-2.txt");
  EXPECT_EQ(system.FromAnsi("SETUP.1"), "SETUP.1");
  // No ANSI code page holds a character beyond the basic plane, nor a byte that is no UTF-8.
  EXPECT_FALSE(system.ToAnsi("a\xF0\x9F\x98\x80"));
  EXPECT_FALSE(system.ToAnsi("a\xC0\xAF"));
  if (system.AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << system.AnsiCodePage();
  EXPECT_EQ(system.ToAnsi("Gr\xC3\xBC\xC3\x9F"
                          "e \xE2\x82\xAC"),
            "Gr\xFC\xDF"
            "e \x80");  // "Grüße €"
  EXPECT_EQ(system.FromAnsi("Gr\xFC\xDF"
                            "e \x80"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_FALSE(system.ToAnsi("\xD0\x9C\xD0\xB8\xD1\x80"));  // Cyrillic
  EXPECT_FALSE(system.ToAnsi("\xC4\x81"));  // a with macron, which looks like "a" in 1252
  // Every byte of the code page comes back as itself.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  const auto text = system.FromAnsi(all);
  ASSERT_TRUE(text);
  EXPECT_EQ(system.ToAnsi(*text), all);
}

TEST_P(SystemContract, ShellFoldersHaveNoTrailingBackslash) {
  for (int id : {csidl::kPrograms, csidl::kStartMenu, csidl::kDesktopDirectory, csidl::kFonts,
                 csidl::kStartup}) {
    const auto folder = Port().ShellFolders().SpecialFolder(id);
    ASSERT_TRUE(folder) << id;
    ASSERT_FALSE(folder->empty()) << id;
    EXPECT_NE(folder->back(), '\\') << *folder;
    EXPECT_EQ((*folder)[1], ':') << *folder;
  }
  EXPECT_FALSE(Port().ShellFolders().SpecialFolder(0x7FFF));
}

TEST_P(SystemContract, LibrariesLoadByName) {
  EXPECT_TRUE(Port().Libraries().CanLoad("KERNEL32.DLL"));
  EXPECT_TRUE(Port().Libraries().CanLoad("user32"));
  EXPECT_FALSE(Port().Libraries().CanLoad("TMBYNOSUCHLIBRARY.DLL"));
  EXPECT_FALSE(Port().Libraries().CanLoad(""));
}

TEST_P(SystemContract, MissingProgramsDoNotStart) {
  platform::LaunchRequest request;
  request.application_name = P("missing.exe");
  request.command_line = "missing.exe /x";
  EXPECT_FALSE(Port().Processes().Create(request));
  EXPECT_EQ(Port().Processes().LastError(), err::kFileNotFound);
  request.application_name = P("nowhere\\missing.exe");
  EXPECT_FALSE(Port().Processes().Create(request));
  EXPECT_EQ(Port().Processes().LastError(), err::kPathNotFound);
}

}  // namespace
}  // namespace tmby::testing
