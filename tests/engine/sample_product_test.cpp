// The sample product's install definition, read as the setup program reads it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "engine/destination_listing.h"
#include "engine/install.h"
#include "links/shell_links.h"
#include "model/install_group.h"
#include "paths/path_root_base.h"
#include "platform/script/script_ui.h"
#include "support/engine_fixture.h"
#include "ui/main_form.h"
#include "ui/ui_classes.h"

namespace tmby {
namespace {

std::string SampleProduct() {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "samples/notes/product.tmby", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SampleProductTest : public testing::EngineTest {
 protected:
  SampleProductTest() { Engine().ProgramPath = "D:\\setup.exe"; }
  ui::TmainForm* Read() { return ReadMainForm(SampleProduct(), "product.tmby"); }
};

TEST_F(SampleProductTest, ReadsInTheEngineOrderWithOneSpecifierOfEveryKind) {
  ui::TmainForm* form = Read();
  // One of each of the 35 kinds, and the links' psObjectLink.
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 36);
  // Each standard instance is named after its kind, and no container made a second one.
  for (int i = 0; i < PathSpecifiers().Classes.Count(); ++i) {
    TCustomPathSpecifier* s =
        PathSpecifiers().Standard.FindSpecifier(*PathSpecifiers().Classes.Items(i));
    EXPECT_EQ(s->Name(), s->SpecifierName);
    EXPECT_EQ(s->Owner(), form);
  }
  TCustomInstall* install = CurrentInstall();
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install->Information().ProductName, "Lakeside Notes");
  EXPECT_EQ(install->SelectedInstallType(), itCompact);
  EXPECT_EQ(install->SourceDir(), "D:");
  const int install_index = install->ComponentIndex();
  EXPECT_GT(install_index, form->FindComponent("psWindow")->ComponentIndex());
  EXPECT_LT(install_index, form->FindComponent("grpProgram")->ComponentIndex());
}

TEST_F(SampleProductTest, EveryObjectHasADestinationOnAnXpMachine) {
  Read();
  const std::string listing = ListDestinations();
  EXPECT_EQ(listing.find("! "), std::string::npos) << listing;
  EXPECT_NE(listing.find("dirTemplates (TInstallDirectory): "), std::string::npos) << listing;
  EXPECT_NE(listing.find("\\Lakeside Notes\\Templates\r\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\\Common Files\\Lakeside\\Shared\r\n"), std::string::npos) << listing;
}

TEST_F(SampleProductTest, ProgramFolderLinksTheProgramItsReadmeTheWebPageAndTheUninstaller) {
  ui::TmainForm* form = Read();
  const auto ends = [](const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
  };
  const auto link = [&](const char* name) {
    auto* found = dynamic_cast<TInstallMainLink*>(form->FindComponent(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  };
  ASSERT_NE(ShellLinkModel().MainLinkGroup, nullptr);
  EXPECT_EQ(ShellLinkModel().MainLinks.Count(), 4);
  const std::string folder = "\\Programs\\Lakeside Notes\\";
  for (auto [name, file, target] :
       {std::tuple{"lnkLakeNotes", "Lakeside Notes.lnk", "\\Lakeside Notes\\LakeNotes.exe"},
        std::tuple{"lnkReadme", "Read me.lnk", "\\Lakeside Notes\\readme.txt"},
        std::tuple{"lnkUninstall", "Uninstall Lakeside Notes.lnk",
                   "\\Lakeside Notes\\uninstall.exe"}}) {
    TInstallMainLink* l = link(name);
    ASSERT_NE(l, nullptr);
    EXPECT_TRUE(ends(l->GetLinkPath(), folder + file)) << l->GetLinkPath();
    EXPECT_TRUE(ends(l->GetTargetPath(), target)) << l->GetTargetPath();
  }
  TInstallMainLink* web = link("lnkWebPage");
  ASSERT_NE(web, nullptr);
  EXPECT_TRUE(ends(web->GetLinkPath(), folder + "Lakeside Notes on the Web.url"));
  EXPECT_EQ(web->GetTargetPath(), "http://lakeside.example/notes");
}

TEST_F(SampleProductTest, WritesBackWhatItRead) {
  ui::TmainForm* form = Read();
  const std::string written = WriteDefinition(*form);
  app.DestroyComponents();
  auto* again = new ui::TmainForm(&app);
  ReadDefinitionInto(*again, written, "written.tmby", options);
  EXPECT_EQ(WriteDefinition(*again), written);
}

}  // namespace
}  // namespace tmby
