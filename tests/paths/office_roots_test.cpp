// The Office kinds: the installed Word's version from the classes root, the template and option
// folders of Word 97 and of the later versions, and the folders below program files without Word.
#include "paths/office_roots.h"

#include <gtest/gtest.h>

#include <string>

#include "support/path_fixtures.h"

namespace tmby::fixtures {
namespace {

using platform::RootKey;

const char kWinword[] = "C:\\Office\\WINWORD.EXE";

class OfficeFolders : public PathSpecifierTest {
 protected:
  OfficeFolders() { CreateStandard(); }

  // Registers Word under `progId` with its editing server.
  void RegisterWord(const std::string& progId, const std::string& server = kWinword) {
    SetValue(RootKey::ClassesRoot, "Word.Document\\CurVer", "", progId);
    SetValue(RootKey::ClassesRoot, progId + "\\protocol\\StdFileEditing\\server", "", server);
  }
  std::string PathOf(const char* kind) {
    return PathSpecifiers().Standard.FindSpecifier(kind)->GetPath(nullptr);
  }
  // The five kinds that depend on Word, in a fixed order.
  std::vector<std::string> WordFolders() {
    std::vector<std::string> paths;
    for (const char* kind :
         {"TpsOfficeUserTemplates", "TpsOfficeWorkgroupTemplates", "TpsOfficeClipartDirectory",
          "TpsOfficeStartupDirectory", "TpsOfficeToolsDirectory"}) {
      paths.push_back(PathOf(kind));
    }
    return paths;
  }
  // The folders without a Word the kit knows.
  const std::vector<std::string> kDefaults = {
      "C:\\Program Files\\Microsoft Office\\Templates",
      "C:\\Program Files\\Microsoft Office\\Templates",
      "C:\\Program Files\\Microsoft Office\\Clipart",
      "C:\\Program Files\\Microsoft Office\\Office\\Startup",
      "C:\\Program Files\\Microsoft Office\\Office"};
};

TEST(WordVersion, IsWhatFollowsTheSecondDotOfTheIdentifier) {
  EXPECT_EQ(WordVersionOfProgId("Word.Document.8"), 8);
  EXPECT_EQ(WordVersionOfProgId("Word.Document.12"), 12);
  EXPECT_EQ(WordVersionOfProgId("Word.Document. 9 "), 9);
  EXPECT_EQ(WordVersionOfProgId("Word.Document"), -1);
  EXPECT_EQ(WordVersionOfProgId("Word.8"), -1);
  EXPECT_EQ(WordVersionOfProgId("Word8"), -1);
  EXPECT_EQ(WordVersionOfProgId("Word.Document."), -1);
  EXPECT_EQ(WordVersionOfProgId("Word.Document.x"), -1);
  EXPECT_EQ(WordVersionOfProgId("Word.Document.12.1"), -1);
  EXPECT_EQ(WordVersionOfProgId("Word.Document.99999999999"), -1);
  EXPECT_EQ(WordVersionOfProgId(""), -1);
}

TEST_F(OfficeFolders, WordCountsOnlyWithAnExistingEditingServer) {
  EXPECT_EQ(GetWordVersion(), -1);
  RegisterWord("Word.Document.8");
  EXPECT_EQ(GetWordVersion(), -1);  // the server file is missing
  MakeFile(kWinword);
  EXPECT_EQ(GetWordVersion(), 8);
  RegisterWord("Word.Document.8", "");
  EXPECT_EQ(GetWordVersion(), -1);
  RegisterWord("Word.Document.9");
  EXPECT_EQ(GetWordVersion(), 9);
  RegisterWord("Word.Document");
  EXPECT_EQ(GetWordVersion(), -1);
}

TEST_F(OfficeFolders, WithoutAKnownWordTheFoldersLieBelowProgramFiles) {
  EXPECT_EQ(WordFolders(), kDefaults);
  MakeFile(kWinword);
  RegisterWord("Word.Document.6");
  EXPECT_EQ(WordFolders(), kDefaults);
  RegisterWord("Word.Document.20");
  EXPECT_EQ(WordFolders(), kDefaults);
  // A known Word with no settings gives the same folders.
  RegisterWord("Word.Document.8");
  EXPECT_EQ(WordFolders(), kDefaults);
}

TEST_F(OfficeFolders, Word97AndEarlierKeepTheirSettingsBelowTheOfficeKey) {
  MakeFile(kWinword);
  RegisterWord("Word.Document.8");
  const std::string office = "Software\\Microsoft\\Office\\8.0";
  SetValue(RootKey::CurrentUser, office + "\\Common\\FileNew\\LocalTemplates", "", "T:\\Mine\\");
  SetValue(RootKey::CurrentUser, office + "\\Word\\Options", "PICTURE-PATH", "T:\\Clips\\");
  SetValue(RootKey::CurrentUser, office + "\\Word\\Options", "STARTUP-PATH", "T:\\Start");
  SetValue(RootKey::CurrentUser, office + "\\Word\\Options", "TOOLS-PATH", "T:\\Tools\\");
  // Without a workgroup setting the workgroup shares the user's templates.
  EXPECT_EQ(WordFolders(), (std::vector<std::string>{"T:\\Mine", "T:\\Mine", "T:\\Clips",
                                                     "T:\\Start", "T:\\Tools"}));
  SetValue(RootKey::CurrentUser, office + "\\Common\\FileNew\\SharedTemplates", "", "S:\\Team\\");
  EXPECT_EQ(PathOf("TpsOfficeWorkgroupTemplates"), "S:\\Team");

  RegisterWord("Word.Document.7");
  EXPECT_EQ(WordFolders(), kDefaults);  // Word 95 has a key of its own
  SetValue(RootKey::CurrentUser, "Software\\Microsoft\\Office\\7.0\\Word\\Options", "TOOLS-PATH",
           "T:\\Tools95");
  EXPECT_EQ(PathOf("TpsOfficeToolsDirectory"), "T:\\Tools95");
}

TEST_F(OfficeFolders, LaterVersionsReadThePolicyKey) {
  MakeFile(kWinword);
  const std::string plain = "Software\\Microsoft\\Office\\10.0";
  const std::string policy = "Software\\Policies\\Microsoft\\Office\\10.0";
  SetValue(RootKey::CurrentUser, plain + "\\Word\\Options", "TOOLS-PATH", "T:\\Plain");
  SetValue(RootKey::CurrentUser, policy + "\\Word\\Options", "TOOLS-PATH", "T:\\Policy\\");
  SetValue(RootKey::CurrentUser, policy + "\\Common\\FileNew\\LocalTemplates", "", "T:\\Own");
  RegisterWord("Word.Document.10");
  EXPECT_EQ(PathOf("TpsOfficeToolsDirectory"), "T:\\Policy");
  EXPECT_EQ(PathOf("TpsOfficeUserTemplates"), "T:\\Own");
  EXPECT_EQ(PathOf("TpsOfficeWorkgroupTemplates"), "T:\\Own");
  EXPECT_EQ(PathOf("TpsOfficeClipartDirectory"), "C:\\Program Files\\Microsoft Office\\Clipart");

  SetValue(RootKey::CurrentUser, "Software\\Policies\\Microsoft\\Office\\19.0\\Word\\Options",
           "TOOLS-PATH", "T:\\Nineteen");
  RegisterWord("Word.Document.19");
  EXPECT_EQ(PathOf("TpsOfficeToolsDirectory"), "T:\\Nineteen");
}

}  // namespace
}  // namespace tmby::fixtures
