#include "model/install_container.h"

#include <gtest/gtest.h>

#include "support/install_tree_fixtures.h"

namespace tmby::fixtures {
namespace {

using InstallContainer = InstallTreeTest;

TEST_F(InstallContainer, OrdersHelpersByTypeWithTheLastAddedFirstAmongEquals) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  Make<TTestFile>("FileA", dir);
  Make<TTestFile>("FileB", dir);
  EXPECT_EQ(HelperNames(*dir), "FileB FileA");
  Make<TTestListener>("Manager", dir);
  Make<TInstallDirectory>("Sub", dir);
  Make<TTestLink>("Link", dir);
  EXPECT_EQ(HelperNames(*dir), "Sub FileB FileA Link Manager");
  // "TInstallBDE" goes first whatever its type.
  Make<TInstallBDE>("Bde", dir);
  EXPECT_EQ(HelperNames(*dir), "Bde Sub FileB FileA Link Manager");
}

TEST_F(InstallContainer, RefusesCyclesAndLeavesBothTreesUnchanged) {
  auto* root = MakeRoot();
  auto* outer = Make<TInstallDirectory>("Outer", root);
  auto* inner = Make<TInstallDirectory>("Inner", outer);
  auto* file = Make<TTestFile>("File1", inner);

  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { outer->SetContainer(file); }),
            "Circular reference");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { outer->SetContainer(inner); }),
            "Circular reference");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { outer->SetContainer(outer); }),
            "Circular reference");
  EXPECT_EQ(outer->Container(), root);
  EXPECT_EQ(HelperNames(*root), "Outer");
  EXPECT_EQ(HelperNames(*outer), "Inner");
  EXPECT_EQ(HelperNames(*inner), "File1");
  EXPECT_EQ(HelperNames(*file), "");

  // Moving a subtree elsewhere is fine, and leaves the old container.
  inner->SetContainer(root);
  EXPECT_EQ(HelperNames(*root), "Inner Outer");
  EXPECT_EQ(HelperNames(*outer), "");
}

TEST_F(InstallContainer, NamesItsMisuses) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  Make<TTestFile>("File1", dir);
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->AddHelper(nullptr); }),
            "Cannot add a blank base helper component to Dir1");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->Helpers(1); }),
            "Tried to reference a helper component in the following component: Dir1. The "
            "following index was used: 1");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->Helpers(-1); }),
            "Tried to reference a helper component in the following component: Dir1. The "
            "following index was used: -1");
  EXPECT_EQ(dir->Comp(0, TCustomInstallFile::StaticClass())->Name(), "File1");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->Comp(1, TCustomInstallFile::StaticClass()); }),
            "Bad call to the Comp procedure which returns a TInstallObject for a "
            "TInstallContainer component. The parameters are probably reversed. Index: 1, "
            "ComponentType: 2000");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->Comp(0, TTestLink::StaticClass()); }),
            "Bad call to the Comp procedure which returns a TInstallObject for a "
            "TInstallContainer component. The parameters are probably reversed. Index: 0, "
            "ComponentType: -1");

  auto* plain = Make<TInstallObject>("Plain");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { plain->ComponentType(); }),
            "Class must declare a registered type");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { dir->AddHelper(plain); }),
            "Class must declare a registered type");
  EXPECT_EQ(MessageOf<IEContainerList>([] { InstallModel().Containers.Add(nullptr); }),
            "Cannot add a blank entry to the TInstallContainerList object");
  EXPECT_EQ(MessageOf<IECustomInstallFileList>([] { InstallModel().Files.Add(nullptr); }),
            "Cannot add a blank entry to the TCustomInstallFileList object");
}

TEST_F(InstallContainer, CountsAndFreesHelpersByClass) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  Make<TTestFile>("File1", dir);
  Make<TInstallDirectory>("Sub1", dir);
  Make<TTestFile>("File2", dir);
  Make<TInstallDirectory>("Sub2", dir);
  EXPECT_EQ(dir->HelperCountOf(TCustomInstallFile::StaticClass()), 2);
  EXPECT_EQ(dir->FileContainerCount(), 2);
  EXPECT_EQ(dir->FileContainers(1)->Name(), "Sub1");
  EXPECT_EQ(static_cast<TFileContainer*>(dir)->FileCount(), 2);
  EXPECT_EQ(static_cast<TFileContainer*>(dir)->Files(0)->Name(), "File2");

  dir->FreeHelpersOf(TCustomInstallFile::StaticClass());
  EXPECT_EQ(HelperNames(*dir), "Sub2 Sub1");
  EXPECT_EQ(InstallModel().Files.Count(), 0);
  EXPECT_EQ(Owner().FindComponent("File1"), nullptr);
}

TEST_F(InstallContainer, TakesTheSelectedInstallTypeDownTheTree) {
  auto* root = MakeRoot();
  auto* dir = Make<TInstallDirectory>("Dir1", root);
  auto* file = Make<TTestFile>("File1", dir);
  file->SetInstallTypes(TInstallTypeSet{itFull});
  root->SetSelectedInstallType(itCompact);
  EXPECT_EQ(dir->SelectedInstallType(), itCompact);
  EXPECT_EQ(file->SelectedInstallType(), itCompact);
  EXPECT_FALSE(file->IsIncluded());
  EXPECT_TRUE(dir->IsIncluded());

  // With a custom install only Include decides.
  root->SetSelectedInstallType(itCustom);
  EXPECT_TRUE(file->IsIncluded());
  file->SetInclude(false);
  EXPECT_FALSE(file->IsIncluded());

  // The empty set of install types means a full install only.
  file->SetInstallTypes(TInstallTypeSet{});
  EXPECT_EQ(file->InstallTypes(), (TInstallTypeSet{itFull}));
  // Fresh objects: every Windows of the kit, the three standard install types.
  EXPECT_EQ(dir->OS(), (OSSet{oswin95, oswinNT, oswin2K, oswin98, oswinME, oswinXP}));
  EXPECT_EQ(dir->InstallTypes(), (TInstallTypeSet{itFull, itDefault, itCompact}));
}

class InstallWalk : public InstallTreeTest {
 protected:
  InstallWalk() {
    root_ = MakeRoot();
    manager_ = Make<TTestListener>("Manager", root_);
    dir_ = Make<TInstallDirectory>("Dir1", root_);
    file1_ = Make<TTestFile>("File1", dir_);
    file2_ = Make<TTestFile>("File2", dir_);
    for (TInstallContainer* c :
         std::initializer_list<TInstallContainer*>{root_, dir_, file1_, file2_}) {
      c->OnBeforeProcess.Set(
          [](TInstallContainer* x) { TreeJournal().push_back("before " + x->Name()); });
      c->OnProcess.Set(
          [](TInstallContainer* x) { TreeJournal().push_back("process " + x->Name()); });
      c->OnAfterProcess.Set(
          [](TInstallContainer* x) { TreeJournal().push_back("after " + x->Name()); });
    }
  }
  std::string Journal() const {
    std::string s;
    for (const std::string& line : TreeJournal()) s += line + "\n";
    return s;
  }
  TTestRoot* root_;
  TTestListener* manager_;
  TInstallDirectory* dir_;
  TTestFile* file1_;
  TTestFile* file2_;
};

TEST_F(InstallWalk, InstallsTheTreeInHelperOrderAndTellsTheHelpers) {
  dir_->Uninstall = false;
  root_->Uninstall = false;
  root_->Install();
  EXPECT_EQ(Journal(),
            "before Install1\nhear -990 Install1\nprocess Install1\nhear -999 Install1\n"
            "read File2\nread File1\nhear -992 Install1\n"
            "before Dir1\nprocess Dir1\nbefore File2\nprocess File2\ninstall File2\n"
            "uninstall File2 \\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lakeside "
            "Notes\nafter File2\n"
            "before File1\nprocess File1\ninstall File1\n"
            "uninstall File1 \\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lakeside "
            "Notes\nafter File1\n"
            "after Dir1\nhear -996 Install1\nafter Install1\nhear -989 Install1\n");
  EXPECT_TRUE(root_->Processed);
  EXPECT_TRUE(dir_->Processed);
  EXPECT_TRUE(file1_->Processed);
  EXPECT_EQ(root_->State, ifsNone);
  EXPECT_EQ(dir_->State, ifsNone);
}

TEST_F(InstallWalk, SkipsObjectsOfAnotherWindowsForTheRestOfTheRun) {
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::Windows, 4, 10, 2222, ""});
  file1_->SetOS(OSSet{oswinNT, oswin2K, oswinXP});
  root_->Install();
  EXPECT_FALSE(file1_->Include());
  EXPECT_FALSE(file1_->Processed);
  EXPECT_TRUE(file2_->Processed);
  // OnBeforeProcess still fired; nothing after it.
  const std::string journal = Journal();
  EXPECT_NE(journal.find("before File1\nafter Dir1"), std::string::npos) << journal;
  EXPECT_EQ(journal.find("process File1"), std::string::npos);

  // Include stays false even when the OS set would now match.
  file1_->SetOS(OSSet{oswin98});
  file1_->Install();
  EXPECT_FALSE(file1_->Include());
  EXPECT_FALSE(file1_->Processed);
}

TEST_F(InstallWalk, WindowsNewerThanXPInstallsWhatXPWould) {
  // Windows 10: every object with the default OS set is installed, one for 9x only is not.
  Machine().SetVersion(platform::OsVersion{platform::PlatformId::NT, 10, 0, 19045, ""});
  file2_->SetOS(OSSet{oswin95, oswin98, oswinME});
  root_->Install();
  EXPECT_TRUE(dir_->Processed);
  EXPECT_TRUE(file1_->Processed);
  EXPECT_FALSE(file2_->Processed);
}

TEST_F(InstallWalk, FiltersByInstallTypeUnlessTheInstallIsCustom) {
  file1_->SetInstallTypes(TInstallTypeSet{itFull});
  root_->SetSelectedInstallType(itCompact);
  root_->Install();
  // OnProcess fires, the install does not go on.
  EXPECT_NE(Journal().find("process File1\nafter Dir1"), std::string::npos) << Journal();
  EXPECT_FALSE(file1_->Processed);
  EXPECT_TRUE(file2_->Processed);

  TreeJournal().clear();
  root_->SetSelectedInstallType(itCustom);
  file1_->Install();
  EXPECT_TRUE(file1_->Processed);
}

TEST_F(InstallWalk, AnAbortFromAHandlerSkipsTheObjectQuietly) {
  file2_->OnBeforeProcess.Set([](TInstallContainer*) { throw EAbort(); });
  dir_->OnAfterProcess.Set([](TInstallContainer*) { throw EAbort(); });
  EXPECT_NO_THROW(root_->Install());
  EXPECT_FALSE(file2_->Processed);
  EXPECT_TRUE(file1_->Processed);
  // The directory was processed, but its abort left out its own last steps only.
  EXPECT_TRUE(dir_->Processed);
  EXPECT_TRUE(root_->Processed);

  // Any other failure passes, and the containers are idle again afterwards.
  file1_->FailInstall = true;
  EXPECT_THROW(root_->Install(), IECustomInstallFile);
  EXPECT_EQ(root_->State, ifsNone);
  EXPECT_EQ(dir_->State, ifsNone);
}

TEST_F(InstallWalk, PhaseInstallsSkipObjectsWhoseContainerDidNotInstall) {
  root_->Running = true;
  dir_->SetInclude(false);
  root_->Install();
  EXPECT_FALSE(dir_->Processed);
  // The engine's later phase installs file by file: the directory was not processed.
  TreeJournal().clear();
  file1_->Install();
  EXPECT_TRUE(TreeJournal().empty());
  // Outside a run the object installs by itself.
  root_->Running = false;
  file1_->Install();
  EXPECT_TRUE(file1_->Processed);
}

TEST_F(InstallContainer, DestructionUnlinksEveryContainer) {
  auto* root = MakeRoot();
  auto* group = Make<TInstallGroup>("Group1", root);
  auto* sub = Make<TInstallGroup>("Group2", group);
  auto* dir = Make<TInstallDirectory>("Dir1", sub);
  Make<TTestFile>("File1", dir);
  Make<TTestFile>("File2", dir);
  ASSERT_EQ(InstallModel().Files.Count(), 2);

  // Files do not outlive their directory.
  TComponent::Free(dir);
  EXPECT_EQ(InstallModel().Files.Count(), 0);
  EXPECT_EQ(Owner().FindComponent("File1"), nullptr);
  EXPECT_EQ(HelperNames(*sub), "");

  // A group whose group goes moves to the install root.
  TComponent::Free(group);
  EXPECT_EQ(sub->Container(), root);
  EXPECT_EQ(HelperNames(*root), "Group2");

  // Without the root a group hangs nowhere.
  TComponent::Free(root);
  EXPECT_EQ(sub->Container(), nullptr);
  EXPECT_EQ(InstallModel().Containers.Count(), 1);
}

TEST_F(InstallContainer, ForgetsADestroyedSpecifier) {
  auto* dir = Make<TInstallDirectory>("Dir1");
  dir->SetDestDirType(programFiles_);
  dir->SetDestDir("\\Lakeside\\");
  EXPECT_EQ(dir->GetDestPath(), "C:\\Program Files\\Lakeside");
  TComponent::Free(programFiles_);
  programFiles_ = nullptr;
  EXPECT_EQ(dir->DestDirType(), nullptr);
  // Without specifier the relative part stands alone.
  EXPECT_EQ(dir->GetDestPath(), "\\Lakeside");
  dir->SetDestDir("");
  EXPECT_EQ(dir->GetDestPath(), "");
}

TEST_F(InstallContainer, ShowsAndClearsStatusTextsThroughTheHelpers) {
  auto* root = MakeRoot();
  auto* manager = Make<TTestListener>("Manager", root);
  root->ShowStatusText("Installing shell links...");
  root->ClearStatusText();
  ASSERT_EQ(manager->Codes, (std::vector<int>{hnShowStatusText, hnClearStatusText}));
  EXPECT_EQ(manager->Texts, (std::vector<std::string>{"Installing shell links..."}));
  EXPECT_EQ(manager->Objects[1], nullptr);
}

}  // namespace
}  // namespace tmby::fixtures
