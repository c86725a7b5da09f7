// Shell links as every adapter of the port must keep them: what is saved is read back field by
// field, a second save replaces the link, and a link that cannot be made leaves no file behind.
#include <gtest/gtest.h>

#include <string>

#include "support/port_fixture.h"

namespace tmby::testing {
namespace {

using platform::ShellLink;
namespace hresult = platform::hresult;

using ShellLinksContract = PortContract;
TMBY_PORT_CONTRACT(ShellLinksContract);

ShellLink Notes(const std::string& folder) {
  ShellLink link;
  link.target = folder + "\\Lakeside Notes\\notes.exe";
  link.arguments = "/open \"Caf\xC3\xA9 list.txt\" 100%";
  link.working_directory = folder + "\\Lakeside Notes";
  link.description = "Notes for the lake h\xC3\xBCtte";
  link.icon_path = folder + "\\Lakeside Notes\\notes.exe";
  link.icon_index = 2;
  link.show_command = 3;                    // maximized
  link.hot_key = (0x02 | 0x04) << 8 | 'N';  // Ctrl+Alt+N
  return link;
}

TEST_P(ShellLinksContract, SavedLinkReadsBackFieldByFieldAndASecondSaveReplacesIt) {
  ASSERT_TRUE(Files().CreateDirectories(P("Lakeside Notes")));
  WriteText(P("Lakeside Notes\\notes.exe"), "MZ");
  ASSERT_TRUE(Files().CreateDirectories(P("Menu")));
  const std::string path = P("Menu\\Lakeside Notes.lnk");
  const ShellLink first = Notes(Root());

  ASSERT_EQ(Port().ShellLinks().Save(path, first), 0)
      << std::hex << Port().ShellLinks().LastResult();
  EXPECT_TRUE(Files().FileExists(path));
  std::optional<ShellLink> read = Port().ShellLinks().Load(path);
  ASSERT_TRUE(read) << std::hex << Port().ShellLinks().LastResult();
  EXPECT_EQ(read->target, first.target);
  EXPECT_EQ(read->arguments, first.arguments);
  EXPECT_EQ(read->working_directory, first.working_directory);
  EXPECT_EQ(read->description, first.description);
  EXPECT_EQ(read->icon_path, first.icon_path);
  EXPECT_EQ(read->icon_index, first.icon_index);
  // Wine's link object reads every link back as shown normally (seen with Wine 8); the kit's
  // links never set another show command.
  if (Simulated()) {
    EXPECT_EQ(read->show_command, first.show_command);
  }
  EXPECT_EQ(read->hot_key, first.hot_key);

  // The same link saved again with fewer fields: nothing of the first one is left over.
  ShellLink second;
  second.target = first.target;
  second.working_directory = first.working_directory;
  ASSERT_EQ(Port().ShellLinks().Save(path, second), 0);
  read = Port().ShellLinks().Load(path);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->target, second.target);
  EXPECT_EQ(read->arguments, "");
  EXPECT_EQ(read->description, "");
  EXPECT_EQ(read->icon_path, "");
  EXPECT_EQ(read->show_command, 1);
  EXPECT_EQ(read->hot_key, 0);
  EXPECT_EQ(Files().FindFiles(P("Menu\\*")).size(), 1u);
}

TEST_P(ShellLinksContract, LinkThatCannotBeMadeLeavesNoFile) {
  ASSERT_TRUE(Files().CreateDirectories(P("Menu")));
  const ShellLink link = Notes(Root());

  // The folder must exist.
  EXPECT_LT(Port().ShellLinks().Save(P("Missing\\Notes.lnk"), link), 0);
  EXPECT_FALSE(Files().FileExists(P("Missing\\Notes.lnk")));

  // Texts longer than the shell keeps are refused, not cut short.
  ShellLink long_target = link;
  long_target.target = Root() + "\\" + std::string(260, 'a') + ".exe";
  ShellLink long_arguments = link;
  long_arguments.arguments = std::string(1024, 'x');
  for (const ShellLink& refused : {long_target, long_arguments}) {
    EXPECT_EQ(Port().ShellLinks().Save(P("Menu\\Notes.lnk"), refused), hresult::kInvalidArg);
    EXPECT_EQ(Port().ShellLinks().LastResult(), hresult::kInvalidArg);
    EXPECT_FALSE(Files().FileExists(P("Menu\\Notes.lnk")));
  }
  const std::string long_name = P("Menu\\" + std::string(260 - P("Menu\\").size(), 'n') + ".lnk");
  EXPECT_EQ(Port().ShellLinks().Save(long_name, link), hresult::kInvalidArg);
  EXPECT_TRUE(Files().FindFiles(P("Menu\\*")).empty());

  // The longest arguments the shell keeps still make a link.
  ShellLink longest = link;
  longest.arguments = std::string(1023, 'x');
  EXPECT_EQ(Port().ShellLinks().Save(P("Menu\\Notes.lnk"), longest), 0);
  const auto read = Port().ShellLinks().Load(P("Menu\\Notes.lnk"));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, longest.arguments);
}

// On the path of Windows 9x the link object takes its texts in the ANSI code page: a target (or a
// link file name) that the code page cannot hold is refused there rather than saved as another
// name. The wide path makes both links (Wine's link object keeps such a target's text in the code
// page, so only the link file's name is compared).
TEST_P(ShellLinksContract, TextOutsideTheCodePageIsRefusedOnTheNineXPath) {
  ASSERT_TRUE(Files().CreateDirectories(P("Menu")));
  // Devanagari: in no ANSI code page of Windows.
  const std::string outside = "\xE0\xA4\x85\xE0\xA4\xAE";
  ShellLink link = Notes(Root());
  link.target = Root() + "\\" + outside + ".exe";
  const std::string path = P("Menu\\Notes.lnk");
  const std::string outside_path = P("Menu\\" + outside + ".lnk");
  if (UnderTest().NineXApi()) {
    constexpr int32_t kNoUnicodeTranslation = static_cast<int32_t>(0x80070459);
    EXPECT_EQ(Port().ShellLinks().Save(path, link), kNoUnicodeTranslation);
    EXPECT_EQ(Port().ShellLinks().Save(outside_path, Notes(Root())), kNoUnicodeTranslation);
    EXPECT_TRUE(Files().FindFiles(P("Menu\\*")).empty());
    EXPECT_FALSE(Port().ShellLinks().Load(outside_path));
    EXPECT_EQ(Port().ShellLinks().LastResult(), kNoUnicodeTranslation);
    return;
  }
  ASSERT_EQ(Port().ShellLinks().Save(path, link), 0)
      << std::hex << Port().ShellLinks().LastResult();
  ASSERT_EQ(Port().ShellLinks().Save(outside_path, Notes(Root())), 0);
  const auto read = Port().ShellLinks().Load(outside_path);
  ASSERT_TRUE(read) << std::hex << Port().ShellLinks().LastResult();
  EXPECT_EQ(read->target, Notes(Root()).target);
  EXPECT_EQ(Files().FindFiles(P("Menu\\*")).size(), 2u);
}

TEST_P(ShellLinksContract, WhatIsNoLinkDoesNotLoad) {
  EXPECT_FALSE(Port().ShellLinks().Load(P("absent.lnk")));
  EXPECT_LT(Port().ShellLinks().LastResult(), 0);
  WriteText(P("text.lnk"), "[InternetShortcut]\r\nURL=http://example.invalid/\r\n");
  EXPECT_FALSE(Port().ShellLinks().Load(P("text.lnk")));
  EXPECT_LT(Port().ShellLinks().LastResult(), 0);
}

}  // namespace
}  // namespace tmby::testing
