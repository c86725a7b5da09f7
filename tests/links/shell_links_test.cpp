#include "links/shell_links.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/exceptions.h"
#include "model/uninstall_exe.h"
#include "paths/object_link_root.h"
#include "paths/shell_roots.h"
#include "paths/standard_roots.h"
#include "platform/port.h"
#include "support/exception_message.h"
#include "support/install_tree_fixtures.h"

namespace tmby::fixtures {
namespace {

namespace hresult = platform::hresult;
using platform::RootKey;

const char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A product below C:\Program Files\Lakeside with its program folder in the Start menu, and the
// path kinds the links need.
class ShellLinkTest : public InstallTreeTest {
 protected:
  ShellLinkTest() {
    ShellLinkModel().Reset();
    Reg().CreateKey(RootKey::CurrentUser, kShellFolders);
    Reg().WriteString(RootKey::CurrentUser, kShellFolders, "Programs", "C:\\Menu\\Programs");
    programMenu_ = new TpsProgramMenu(owner_);
    programMenu_->SetName("psProgramMenu");
    objectLink_ = new TpsObjectLink(owner_);
    objectLink_->SetName("psObjectLink");
    root_ = MakeRoot();
    group_ = Make<TMainLinkGroup>("MainLinkGroup1", root_);
  }
  ~ShellLinkTest() override {
    TComponent::Free(owner_);
    owner_ = nullptr;
    EXPECT_EQ(ShellLinkModel().Links.Count(), 0) << "links outlived their owner";
    ShellLinkModel().Reset();
  }

  TInstallMainLink* Link(const std::string& name) { return Make<TInstallMainLink>(name); }
  TTestFile* File(const std::string& name, const std::string& destName) {
    auto* file = Make<TTestFile>(name, root_);
    file->SetFileName(destName);
    file->SetDestName(destName);
    MakeFile("C:\\Program Files\\Lakeside\\" + destName);
    return file;
  }
  void Run() { InstallAsTheRun(*root_); }
  std::vector<std::string> FilesList() { return UninstallFilesList(Reg(), "Lakeside Notes"); }

  TpsProgramMenu* programMenu_;
  TpsObjectLink* objectLink_;
  TTestRoot* root_;
  TMainLinkGroup* group_;
};

TEST_F(ShellLinkTest, OneProgramFolderNamedAfterTheProductHoldsEveryMainLink) {
  EXPECT_EQ(group_->GetDestPath(), "C:\\Menu\\Programs\\Lakeside Notes");
  EXPECT_EQ(MessageOf<IEShellLinkGroup>([&] { Make<TMainLinkGroup>("MainLinkGroup2"); }),
            "You can only have one TMainLinkGroup component in your project");
  group_->SetDestDirType(programFiles_);
  group_->SetContainer(root_);
  EXPECT_EQ(group_->GetDestPath(), "C:\\Menu\\Programs\\Lakeside Notes");

  TInstallMainLink* link = Link("Link1");
  EXPECT_EQ(link->Container(), group_);
  link->SetDestDir("\\Tools");
  link->SetDestDirType(programFiles_);
  link->SetLinkName("Notes");
  EXPECT_EQ(link->GetLinkPath(), "C:\\Menu\\Programs\\Lakeside Notes\\Tools\\Notes.LNK");
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { link->SetContainer(root_); }),
            "The TMainLinkGroup component must be the Container for TInstallMainLink and "
            "TSubLinkGroup components");
  EXPECT_EQ(link->Container(), group_);

  // Without an install root the folder has a stand-in name; without a folder no main link.
  TComponent::Free(group_);
  EXPECT_EQ(ShellLinkModel().Links.Count(), 0) << "the folder's links go with it";
  TComponent::Free(root_);
  auto* lone = Make<TMainLinkGroup>("MainLinkGroup3");
  EXPECT_EQ(lone->DestDir(), "\\MainFolderName");
  TComponent::Free(lone);
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { Link("Link2"); }),
            "To create a TInstallMainLink you must first have a TMainLinkGroup component in your "
            "project");
}

TEST_F(ShellLinkTest, LinkNameIsCleanedAndKeepsItsExtension) {
  TInstallMainLink* link = Link("Link1");
  link->SetLinkName("What?");
  EXPECT_EQ(link->LinkName(), "What_.LNK");
  link->SetLinkName("a\"b*c/d<e>f|g.lnk");
  EXPECT_EQ(link->LinkName(), "a_b_c_d_e_f_g.lnk");
  // A name with another extension takes the one the old name had.
  link->SetLinkName("Site.url");
  link->SetLinkName("Readme.txt");
  EXPECT_EQ(link->LinkName(), "Readme.URL");
  // Characters beyond ASCII stay.
  link->SetLinkName("Caf\xC3\xA9");
  EXPECT_EQ(link->LinkName(), "Caf\xC3\xA9.URL");
  // A blank name stays blank and keeps no extension.
  link->SetLinkName("  ");
  EXPECT_EQ(link->LinkName(), "  ");

  // ".url" in any case makes the link an internet shortcut: it points at no object.
  TTestFile* file = File("File1", "notes.exe");
  link->SetObjectLink(file);
  ASSERT_EQ(link->ObjectLink(), file);
  link->SetLinkName("Home.uRl");
  EXPECT_EQ(link->ObjectLink(), nullptr);
  EXPECT_EQ(link->ObjectLocationType(), nullptr);

  // While the definition is read, a name is stored as it stands.
  link->SetLoading(true);
  link->SetLinkName("Raw?name.txt");
  link->SetLoading(false);
  EXPECT_EQ(link->LinkName(), "Raw?name.txt");
}

TEST_F(ShellLinkTest, ObjectLinkAndLocationNameTheLink) {
  TInstallMainLink* link = Link("Link1");
  TTestFile* file = File("File1", "notes.exe");
  link->SetObjectLocation("C:\\Elsewhere");
  link->SetObjectLink(file);
  EXPECT_EQ(link->LinkName(), "notes.lnk");
  EXPECT_EQ(link->ObjectLocationType(), objectLink_);
  EXPECT_EQ(link->ObjectLocation(), "");
  EXPECT_EQ(link->GetTargetPath(), "C:\\Program Files\\Lakeside\\notes.exe");
  // A location under psObjectLink is not kept.
  link->SetObjectLocation("\\ignored");
  EXPECT_EQ(link->ObjectLocation(), "");

  auto* dir = Make<TInstallDirectory>("Dir1", root_);
  dir->Description = "Samples";
  link->SetObjectLink(dir);
  EXPECT_EQ(link->LinkName(), "Samples.lnk");
  auto* other = Make<TInstallGroup>("Extras", root_);
  link->SetObjectLink(other);
  EXPECT_EQ(link->LinkName(), "Extras.lnk");
  link->SetObjectLink(nullptr);
  EXPECT_EQ(link->ObjectLocationType(), nullptr);

  // A nameless link takes its name from its location: a web or FTP address whole, slashes and
  // all, a path by its file name.
  TInstallMainLink* web = Link("Web");
  web->SetObjectLocation("Visit http://www.example.com/notes/");
  EXPECT_EQ(web->LinkName(), "www.example.com/notes/.URL");
  TInstallMainLink* ftp = Link("Ftp");
  ftp->SetLinkName(" .lnk ");
  ftp->SetObjectLocation("FTP://ftp.example.com/pub");
  EXPECT_EQ(ftp->LinkName(), "ftp.example.com/pub.URL");
  TInstallMainLink* doc = Link("Doc");
  doc->SetObjectLocation("\\Docs\\Read me.first.txt");
  EXPECT_EQ(doc->LinkName(), "Read me.LNK") << "the last extension gives way to .LNK";
  doc->SetObjectLocation("\\Docs\\other.txt");
  EXPECT_EQ(doc->LinkName(), "Read me.LNK") << "a named link keeps its name";

  // A link whose object goes, goes with it.
  TInstallMainLink* doomed = Link("Doomed");
  doomed->SetObjectLink(file);
  TComponent::Free(file);
  EXPECT_EQ(owner_->FindComponent("Doomed"), nullptr);
  EXPECT_EQ(ShellLinkModel().MainLinks.IndexOf(doomed), -1);
}

TEST_F(ShellLinkTest, MetaVariablesExpand) {
  TInstallMainLink* link = Link("Link1");
  link->SetDestDir("\\Tools\\");
  Reg().WriteString(RootKey::CurrentUser, kShellFolders, "Desktop", "C:\\Desk\\");
  EXPECT_EQ(ExpandMetaVariables("%i\\Help\\notes.hlp", link),
            "C:\\Program Files\\Lakeside\\Help\\notes.hlp");
  EXPECT_EQ(ExpandMetaVariables("/w %I 100%% %x done%", link),
            "/w C:\\Program Files\\Lakeside 100%  done");
  EXPECT_EQ(ExpandMetaVariables("%a|%c", link),
            "C:\\Menu\\Programs\\Lakeside Notes\\Tools|C:\\Menu\\Programs\\Lakeside Notes");
  EXPECT_EQ(ExpandMetaVariables("%w", link), Machine().System().WindowsDirectory().value());
  EXPECT_EQ(ExpandMetaVariables("%D\\x", link), "C:\\Desk\\x") << "no trailing backslash";

  EXPECT_EQ(MessageOf<EAICannotExpandContainerDirMV>([] { ExpandMetaVariables("%a", nullptr); }),
            "Cannot expand the %a meta variable because the component is Nil");
  EXPECT_EQ(MessageOf<EAICannotExpandContainerDirMV>([] { ExpandMetaVariables("x %C", nullptr); }),
            "Cannot expand the %c meta variable because the component is Nil");
  EXPECT_EQ(ExpandMetaVariables("no variables", nullptr), "no variables");
  TComponent::Free(root_);
  EXPECT_EQ(MessageOf<EAICannotExpandInstallDirMV>([] { ExpandMetaVariables("%i", nullptr); }),
            "Cannot expand the %i meta variable because there is no TInstall component");
}

TEST_F(ShellLinkTest, InstallWritesLinksShortcutsAndTheirUninstallEntries) {
  TTestFile* notes = File("File1", "notes.exe");
  TInstallMainLink* link = Link("NotesLink");
  link->SetObjectLink(notes);
  link->SetParameters("%i\\today.txt");
  link->SetHotKey(0x0600 | 'N');
  TInstallMainLink* web = Link("WebLink");
  web->SetObjectLocation("http://www.example.com/notes/");
  TInstallMainLink* readme = Link("ReadmeLink");
  readme->SetObjectLocationType(root_->DestDirType());  // the program files folder
  readme->SetObjectLocation("\\Lakeside\\readme.txt");

  Run();
  const std::string folder = "C:\\Menu\\Programs\\Lakeside Notes\\";
  const auto read = Machine().ShellLinks().Load(folder + "notes.lnk");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->target, "C:\\Program Files\\Lakeside\\notes.exe");
  EXPECT_EQ(read->arguments, "C:\\Program Files\\Lakeside\\today.txt");
  EXPECT_EQ(read->working_directory, "C:\\Program Files\\Lakeside");
  EXPECT_EQ(read->hot_key, 0x0600 | 'N');
  const auto doc = Machine().ShellLinks().Load(folder + "readme.LNK");
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->target, "C:\\Program Files\\Lakeside\\readme.txt");
  // The address's slashes cannot be part of a file name.
  EXPECT_EQ(Machine().IniFiles().ReadString(folder + "www.example.com_notes_.URL",
                                            "InternetShortcut", "URL"),
            "http://www.example.com/notes/");
  const std::vector<std::string> once = FilesList();
  EXPECT_EQ(once,
            (std::vector<std::string>{folder + "notes.lnk", folder + "www.example.com_notes_.URL",
                                      folder + "readme.LNK"}));

  // The same install again replaces the links and records them again.
  link->SetParameters("");
  Run();
  EXPECT_EQ(Machine().ShellLinks().Load(folder + "notes.lnk")->arguments, "");
  EXPECT_EQ(Files().FindFiles(folder + "*").size(), 3u);
  EXPECT_EQ(FilesList().size(), 6u);
}

TEST_F(ShellLinkTest, LinksOfObjectsLeftOutAreSkippedQuietly) {
  TTestFile* excluded = File("File1", "extra.exe");
  excluded->SetInstallTypes({itFull});
  root_->SetSelectedInstallType(itCompact);
  TInstallMainLink* link = Link("ExtraLink");
  link->SetObjectLink(excluded);
  // The link's install goes on to its end as any object's, only without the file: it counts
  // as processed and tells its handler and its helpers so.
  auto* heard = Make<TTestListener>("Heard", link);
  int after = 0;
  link->OnAfterProcess.Set([&](TInstallContainer*) { ++after; });
  Run();
  EXPECT_FALSE(Files().FileExists("C:\\Menu\\Programs\\Lakeside Notes\\extra.lnk"));
  EXPECT_TRUE(FilesList().empty());
  EXPECT_TRUE(link->Processed);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(std::count(heard->Codes.begin(), heard->Codes.end(), hnAfterProcessFired), 1);

  // A blank name is an error of the definition, whatever the link points at.
  TInstallMainLink* blank = Link("Blank");
  blank->SetObjectLink(excluded);
  blank->SetLinkName(" ");
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { Run(); }),
            "The LinkName is blank for Blank and therefore could not be installed");
}

TEST_F(ShellLinkTest, UninstallerLinkCarriesTheProductName) {
  root_->Product = "100% Notes";
  auto* uninstaller = Make<TUninstallEXE>("Uninstall1", root_);
  uninstaller->SetDestName("uninstall.exe");
  // Its file is not this test's business: left out of the tree, it counts as read from its
  // archive and installed.
  uninstaller->SetInclude(false);
  uninstaller->InfoRead = true;
  uninstaller->Processed = true;
  TInstallMainLink* link = Link("UninstallLink");
  link->SetObjectLink(uninstaller);
  link->SetParameters("%i");
  Run();
  const auto read =
      Machine().ShellLinks().Load("C:\\Menu\\Programs\\Lakeside Notes\\uninstall.lnk");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->arguments, "100% Notes");
  EXPECT_EQ(link->Parameters(), "100% Notes");
}

TEST_F(ShellLinkTest, AutoDetectWritesNoLinkWhereTheShellHasNoLinkObject) {
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Other, 1, 0, 0, ""});
  const OSSet all{oswin95, oswinNT, oswin2K, oswin98, oswinME, oswinXP, osUnidentified};
  for (TInstallContainer* c : std::initializer_list<TInstallContainer*>{root_, group_})
    c->SetOS(all);
  TInstallMainLink* automatic = Link("Auto");
  automatic->SetObjectLocation("C:\\auto.txt");
  TInstallMainLink* forced = Link("Forced");
  forced->SetObjectLocation("C:\\forced.txt");
  forced->SetMethod(mtShellLinkInterface);
  for (TInstallContainer* c : std::initializer_list<TInstallContainer*>{automatic, forced})
    c->SetOS(all);
  int after = 0;
  automatic->OnAfterProcess.Set([&](TInstallContainer*) { ++after; });
  Run();
  EXPECT_FALSE(Files().FileExists("C:\\Menu\\Programs\\Lakeside Notes\\auto.LNK"));
  EXPECT_TRUE(Files().FileExists("C:\\Menu\\Programs\\Lakeside Notes\\forced.LNK"));
  EXPECT_EQ(FilesList().size(), 1u);
  EXPECT_EQ(after, 1);
}

TEST_F(ShellLinkTest, FailuresOfTheLinkObjectAreNamed) {
  TInstallMainLink* link = Link("NotesLink");
  link->SetObjectLocation("C:\\notes.txt");
  Machine().RefuseShellLinks(hresult::kClassNotRegistered);
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { Run(); }),
            "The TCustomInstallShellLink NotesLink name could not be installed. The following "
            "error was reported Indicates that a specified class is not registered in the "
            "registration database. Error code -2147221164");
  // A target longer than the shell keeps is refused, not cut short.
  Machine().RefuseShellLinks(0);
  link->SetObjectLocation("C:\\" + std::string(300, 'n') + ".txt");
  EXPECT_EQ(MessageOf<IEInstallShellLink>([&] { Run(); }),
            "The TCustomInstallShellLink NotesLink name could not be installed. The following "
            "error was reported Indicates one or more arguments are invalid. Error code "
            "-2147024809");
  EXPECT_TRUE(Files().FindFiles("C:\\Menu\\Programs\\Lakeside Notes\\*").empty());
}

}  // namespace
}  // namespace tmby::fixtures
