#include "model/install_group.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/definition_reader.h"
#include "base/definition_writer.h"
#include "support/install_tree_fixtures.h"

namespace tmby::fixtures {
namespace {

const char kGroupRule[] =
    "A TInstallGroup component can only be contained by a TInstall, or another TInstallGroup "
    "component";

using InstallGroup = InstallTreeTest;

TEST_F(InstallGroup, HangsOnlyUnderTheRootOrAnotherGroup) {
  auto* root = MakeRoot();
  auto* group = Make<TInstallGroup>("Group1", root);
  auto* sub = Make<TInstallGroup>("Group2", group);
  auto* dir = Make<TInstallDirectory>("Dir1", root);
  auto* inner = Make<TInstallDirectory>("Inner", sub);

  EXPECT_EQ(MessageOf<IEInstallGroup>([&] { sub->SetContainer(dir); }), kGroupRule);
  EXPECT_EQ(sub->Container(), group);
  EXPECT_EQ(HelperNames(*dir), "");
  EXPECT_EQ(HelperNames(*group), "Group2");
  // A directory inside the group is first of all a cycle.
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { sub->SetContainer(inner); }), "Circular reference");
  EXPECT_EQ(MessageOf<IEInstallContainer>([&] { group->SetContainer(sub); }), "Circular reference");

  // No container stands for the root.
  sub->SetContainer(nullptr);
  EXPECT_EQ(sub->Container(), root);
  EXPECT_EQ(HelperNames(*root), "Group2 Group1 Dir1");
  // Groups come before directories and files.
  EXPECT_EQ(sub->ComponentType(), ctGroup);
}

TEST_F(InstallGroup, WithoutRootAGroupMayHangNowhere) {
  auto* group = Make<TInstallGroup>("Group1");
  auto* dir = Make<TInstallDirectory>("Dir1");
  EXPECT_EQ(MessageOf<IEInstallGroup>([&] { group->SetContainer(dir); }), kGroupRule);
  group->SetContainer(nullptr);
  EXPECT_EQ(group->Container(), nullptr);
}

TEST_F(InstallGroup, LinkingGivesTheContainerDefaultsOutsideLoading) {
  auto* root = MakeRoot();
  root->SetArchiveFileType(programFiles_);
  root->SetArchiveFile("\\Setup\\files.1");
  auto* group = Make<TInstallGroup>("Group1", root);
  EXPECT_EQ(group->DestDirType(), containerDestDir_);
  EXPECT_EQ(group->ArchiveFileType(), containerArchive_);
  group->SetDestDir("\\Program");
  auto* dir = Make<TInstallDirectory>("Dir1", group);
  dir->SetDestDir("\\Help\\");
  auto* file = Make<TTestFile>("File1", dir);
  EXPECT_EQ(dir->GetDestPath(), "C:\\Program Files\\Lakeside\\Program\\Help");
  EXPECT_EQ(file->GetDestPath(), "C:\\Program Files\\Lakeside\\Program\\Help");
  EXPECT_EQ(file->GetArchivePath(), "C:\\Program Files\\Setup\\files.1");

  // The container archive names the archive by itself.
  dir->SetArchiveFile("\\other.1");
  EXPECT_EQ(dir->ArchiveFile(), "");
  dir->SetArchiveFileType(programFiles_);
  dir->SetArchiveFile("\\Dir1.1");
  EXPECT_EQ(file->GetArchivePath(), "C:\\Program Files\\Dir1.1");
  dir->SetArchiveFileType(containerArchive_);
  EXPECT_EQ(dir->ArchiveFile(), "");

  // Leaving every container drops the container specifiers.
  file->SetContainer(nullptr);
  EXPECT_EQ(file->DestDirType(), nullptr);
  EXPECT_EQ(file->ArchiveFileType(), nullptr);

  // While loading the setters only store.
  auto* loading = new TInstallDirectory(&Owner());
  loading->SetLoading(true);
  loading->SetContainer(group);
  loading->SetArchiveFileType(programFiles_);
  loading->SetArchiveFile("\\x.1");
  EXPECT_EQ(loading->DestDirType(), nullptr);
  EXPECT_EQ(loading->ArchiveFile(), "\\x.1");
}

TEST_F(InstallGroup, DialogOptionsKeepTheirPasswordRule) {
  auto* group = Make<TInstallGroup>("Group1");
  TInstallGroupDialogOptions& options = group->DialogOptions();
  EXPECT_TRUE(options.AllowChangeDir);
  EXPECT_TRUE(options.ShowRegardlessOfInclude);
  EXPECT_FALSE(options.HasPassword);
  options.SetPassword("");
  EXPECT_FALSE(options.HasPassword);
  options.SetPassword("secret");
  EXPECT_TRUE(options.HasPassword);
  // Clearing the password leaves the flag; while loading nothing is coupled.
  options.SetPassword("");
  EXPECT_TRUE(options.HasPassword);
  options.HasPassword = false;
  group->SetLoading(true);
  options.SetPassword("other");
  EXPECT_FALSE(options.HasPassword);
  // There is no copy from another instance.
  auto* other = Make<TInstallGroup>("Group2");
  EXPECT_THROW(options.Assign(other->DialogOptions()), EConvertError);
}

TEST_F(InstallGroup, DesignCreatedObjectsWaitForConfirmation) {
  auto* root = MakeRoot();
  Owner().SetDesigning(true);
  auto* dir = new TInstallDirectory(&Owner());
  dir->DesignCreated();
  EXPECT_EQ(dir->Container(), root);
  EXPECT_EQ(dir->DestDirType(), containerDestDir_);
  EXPECT_EQ(dir->ArchiveFileType(), containerArchive_);
  EXPECT_EQ(dir->Description, "Install Directory 2");
  // Pasted from a stream that names only the specifier: the container default goes.
  dir->SetLoading(true);
  dir->SetDestDirType(programFiles_);
  dir->Loaded();
  EXPECT_EQ(dir->Container(), nullptr);
  EXPECT_EQ(dir->DestDirType(), programFiles_);
  EXPECT_EQ(dir->ArchiveFileType(), nullptr);
  EXPECT_EQ(HelperNames(*root), "");
}

// --- Reading definitions.

class InstallDefinition : public InstallTreeTest {
 protected:
  InstallDefinition() {
    classes_.Register(TComponent::StaticClass());
    RegisterTreeFixtureClasses(classes_);
    handlers_.Register<TInstallContainerNotifyEvent>("GroupBefore", [](TInstallContainer* c) {
      TreeJournal().push_back("before " + c->Name());
    });
    options_.Classes = &classes_;
    options_.Handlers = &handlers_;
    // The fixture's own specifiers would clash with the definition's.
    TComponent::Free(owner_);
    owner_ = new TComponent(nullptr);
  }
  ~InstallDefinition() override { TComponent::Free(main_.release()); }

  void Read(const std::string& text) { main_ = ReadDefinition(text, "tree.tmby", options_); }

  TClassRegistry classes_;
  TEventHandlers handlers_;
  TDefinitionOptions options_;
  TOwned<TComponent> main_;
};

const char kTree[] = R"(object Main: TComponent
  object psProgramFiles: TpsProgramFiles
  end
  object psContainerDestDir: TpsContainerDestDir
  end
  object psContainerArchiveFile: TpsContainerArchiveFile
  end
  object Install1: TTestRoot
    DestDir = '\Lakeside'
    DestDirType = psProgramFiles
    InstallTypes = [itFull, itCompact]
  end
  object Group1: TInstallGroup
    Container = Install1
    Description = 'Program'
    DestDir = '\Program'
    DestDirType = psContainerDestDir
    DialogOptions.Description = ('Line one' 'Line two')
    DialogOptions.Password = 'secret'
    InstallTypes = [itFull, itCompact]
    OnBeforeProcess = GroupBefore
  end
  object psFileContainer: TpsFileContainer
    FileContainer = Group1
  end
  object Group2: TInstallGroup
    DestDirType = psContainerDestDir
    InstallTypes = [itFull]
  end
  object psFileContainer1: TpsFileContainer
    FileContainer = Group2
  end
  object Dir1: TInstallDirectory
    Container = Group1
    DestDir = '\Help'
    DestDirType = psContainerDestDir
    InstallTypes = [itFull, itDefault, itCompact]
    OS = [oswinNT, oswin2K, oswinXP]
  end
  object psFileContainer2: TpsFileContainer
    FileContainer = Dir1
  end
  object File1: TTestFile
    Container = Dir1
    Size = 300
    DestDirType = psContainerDestDir
  end
end
)";

TEST_F(InstallDefinition, BuildsTheTreeWithOneSpecifierPerContainer) {
  Read(kTree);
  auto* root = static_cast<TTestRoot*>(main_->FindComponent("Install1"));
  auto* group1 = static_cast<TInstallGroup*>(main_->FindComponent("Group1"));
  auto* group2 = static_cast<TInstallGroup*>(main_->FindComponent("Group2"));
  auto* dir = static_cast<TInstallDirectory*>(main_->FindComponent("Dir1"));
  ASSERT_TRUE(root && group1 && group2 && dir);
  // Group2 named no container: it hangs under the root, with the root's install type.
  EXPECT_EQ(HelperNames(*root), "Group2 Group1");
  EXPECT_EQ(HelperNames(*group1), "Dir1");
  EXPECT_EQ(HelperNames(*dir), "File1");
  EXPECT_EQ(dir->GetDestPath(), "C:\\Program Files\\Lakeside\\Program\\Help");
  EXPECT_EQ(dir->OS(), (OSSet{oswinNT, oswin2K, oswinXP}));
  EXPECT_EQ(group1->DialogOptions().Password(), "secret");
  EXPECT_FALSE(group1->DialogOptions().HasPassword);
  EXPECT_EQ(group1->DialogOptions().Description, (TStrings{"Line one", "Line two"}));

  // Each container ends with exactly its saved specifier; nothing was left renamed aside.
  EXPECT_EQ(group1->OwnPathSpecifier(), main_->FindComponent("psFileContainer"));
  EXPECT_EQ(group2->OwnPathSpecifier(), main_->FindComponent("psFileContainer1"));
  EXPECT_EQ(dir->OwnPathSpecifier(), main_->FindComponent("psFileContainer2"));
  for (TComponent* c : main_->ComponentList()) {
    EXPECT_EQ(c->Name().rfind("nameClash", 0), std::string::npos) << c->Name();
  }

  // The handler bound by name runs in the walk.
  root->SetSelectedInstallType(itCompact);
  root->Install();
  EXPECT_NE(std::find(TreeJournal().begin(), TreeJournal().end(), "before Group1"),
            TreeJournal().end());
  EXPECT_FALSE(group2->Processed);  // [itFull] only
  EXPECT_TRUE(group1->Processed);
}

TEST_F(InstallDefinition, WritesBackWhatItRead) {
  Read(kTree);
  const std::string once = WriteDefinition(*main_);
  TComponent::Free(main_.release());
  Read(once);
  EXPECT_EQ(WriteDefinition(*main_), once);
  EXPECT_NE(once.find("FileContainer = Dir1"), std::string::npos) << once;
  EXPECT_EQ(once.find("nameClash"), std::string::npos) << once;
}

TEST_F(InstallDefinition, RefusesACycle) {
  std::string text = kTree;
  text.replace(text.find("    Container = Group1\n"), 23, "    Container = Dir2\n");
  text.replace(text.rfind("end"), 3,
               "  object Dir2: TInstallDirectory\n    Container = Dir1\n  end\nend");
  try {
    Read(text);
    FAIL() << "read a cycle";
  } catch (const IEInstallContainer& e) {
    EXPECT_EQ(e.Message().rfind("Circular reference (tree.tmby, line ", 0), 0) << e.Message();
  }
  EXPECT_EQ(InstallModel().Containers.Count(), 0);
}

TEST_F(InstallDefinition, RefusesAGroupInsideADirectory) {
  std::string text = kTree;
  text.replace(text.find("    DestDirType = psContainerDestDir\n    InstallTypes = [itFull]\n"), 0,
               "    Container = Dir1\n");
  try {
    Read(text);
    FAIL() << "read a group inside a directory";
  } catch (const IEInstallGroup& e) {
    EXPECT_EQ(e.Message().rfind(std::string(kGroupRule) + " (tree.tmby, line 27", 0), 0)
        << e.Message();
  }
  EXPECT_EQ(InstallModel().Containers.Count(), 0);
  EXPECT_EQ(InstallModel().Files.Count(), 0);
}

}  // namespace
}  // namespace tmby::fixtures
