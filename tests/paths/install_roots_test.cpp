// The kinds bound to the install tree: the container's destination and archive, the main install
// directory, the install source and the main archive, with the messages of their misuses.
#include "paths/install_roots.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/install.h"
#include "paths/standard_roots.h"
#include "support/path_fixtures.h"
#include "ui/forms.h"

namespace tmby::fixtures {
namespace {

// An install object that is no file-related object (as a shell link folder is).
class TPathTestFolder : public TInstallObject {
  TMBY_CLASS(TPathTestFolder, TInstallObject)
 public:
  explicit TPathTestFolder(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctShellLinkGroup; }
};

const TClassInfo& TPathTestFolder::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TPathTestFolder, TInstallObject>("TPathTestFolder");
  return info;
}

class InstallSpecifiers : public PathSpecifierTest {
 protected:
  InstallSpecifiers() {
    CreateStandard();
    destDir_ = Standard<TpsContainerDestDir>();
    archive_ = Standard<TpsContainerArchiveFile>();
  }
  TpsContainerDestDir* destDir_;
  TpsContainerArchiveFile* archive_;
};

TEST_F(InstallSpecifiers, ContainerDestDirNeedsAnInstallObjectWithAContainer) {
  auto* file = Make<TPathTestFile>("File1");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { destDir_->GetPath(&Owner()); }),
            " must be a TInstallObject to use the psContainerDestDir path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { destDir_->GetPath(destDir_); }),
            "psContainerDestDir must be a TInstallObject to use the psContainerDestDir path "
            "specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { destDir_->CheckUsableFor(nullptr); }),
            "nil must be a TInstallObject to use the psContainerDestDir path specifier");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { file->SetDestDirType(destDir_); }),
            "Cannot use ddContainerDestDir for File1 unless you assign a Container");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { destDir_->GetPath(file); }),
            "Cannot use ddContainerDestDir for File1 unless you assign a Container");
}

TEST_F(InstallSpecifiers, ContainerDestDirDescribesTheContainerItResolvesThrough) {
  auto* install = MakeInstall();
  auto* group = Make<TInstallGroup>("Group1", install);
  group->Description = "Notes";
  auto* dir = Make<TInstallDirectory>("Dir1", group);
  dir->Description = "Help files";
  auto* inInstall = Make<TPathTestFile>("File1", install);
  auto* inGroup = Make<TPathTestFile>("File2", group);
  auto* inDir = Make<TPathTestFile>("File3", dir);
  auto* loose = Make<TPathTestFile>("File4");

  EXPECT_EQ(destDir_->GetDescriptionFor(inInstall), "Main installation directory");
  EXPECT_EQ(destDir_->GetShortCaptionFor(inInstall), "Main installation directory");
  EXPECT_EQ(destDir_->GetDescriptionFor(inGroup), "Path of the <Notes> group");
  EXPECT_EQ(destDir_->GetShortCaptionFor(inGroup), "<Notes>");
  EXPECT_EQ(destDir_->GetDescriptionFor(inDir), "Path of the <Help files> directory");
  EXPECT_EQ(destDir_->GetShortCaptionFor(inDir), "<Help files>");
  // A failed check is absorbed.
  EXPECT_EQ(destDir_->GetDescriptionFor(loose), "Path of the group (container)");
  EXPECT_EQ(destDir_->GetShortCaptionFor(loose), "Path of the group (container)");
  EXPECT_EQ(destDir_->GetDescriptionFor(&Owner()), "Path of the group (container)");

  // Any other container is named by its component name.
  auto* folder = Make<TPathTestFolder>("Folder1", install);
  auto* link = Make<TPathTestFolder>("Link1", folder);
  EXPECT_EQ(destDir_->GetDescriptionFor(link), "Path of the <Folder1> group");
  EXPECT_EQ(destDir_->GetShortCaptionFor(link), "<Folder1>");
}

TEST_F(InstallSpecifiers, ContainerArchiveFileInheritsDownTheTreeUntilAContainerNamesOne) {
  auto* install = MakeInstall();
  install->SetArchiveFileType(Standard<TpsMainArchiveFile>());
  auto* group = Make<TInstallGroup>("Group1", install);
  group->SetArchiveFileType(archive_);
  auto* dir = Make<TInstallDirectory>("Dir1", group);
  dir->SetArchiveFileType(archive_);
  auto* file = Make<TPathTestFile>("File1", dir);
  file->SetArchiveFileType(archive_);
  EXPECT_EQ(install->GetArchivePath(), "D:\\Setup\\files.1");
  EXPECT_EQ(archive_->GetPath(file), "D:\\Setup\\files.1");

  group->SetArchiveFileType(Standard<TpsInstallSource>());
  group->SetArchiveFile("\\Group1.arc\\");
  EXPECT_EQ(archive_->GetPath(dir), "D:\\Setup\\Group1.arc");
  EXPECT_EQ(file->GetArchivePath(), "D:\\Setup\\Group1.arc");

  auto* loose = Make<TPathTestFile>("File2");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { loose->SetArchiveFileType(archive_); }),
            "Cannot use ddContainerArchiveFile for File2 unless you assign a Container");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { archive_->GetPath(&Owner()); }),
            " must be a TInstallObject to use the psContainerArchiveFile path specifier");
  auto* folder = Make<TPathTestFolder>("Folder1", install);
  auto* inFolder = Make<TPathTestFolder>("Link1", folder);
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { archive_->GetPath(inFolder); }),
            "Cannot use the ddContainerArchiveFile path specifier for Link1 because the "
            "Container is not a TFileRelated descendant");
}

TEST_F(InstallSpecifiers, TheInstallBoundKindsNeedATInstall) {
  auto* mainInstall = Standard<TpsMainInstall>();
  auto* source = Standard<TpsInstallSource>();
  auto* archive = Standard<TpsMainArchiveFile>();
  auto* dir = Make<TInstallDirectory>("Dir1");
  for (TCustomPathSpecifier* s :
       {static_cast<TCustomPathSpecifier*>(mainInstall), static_cast<TCustomPathSpecifier*>(source),
        static_cast<TCustomPathSpecifier*>(archive)}) {
    EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { s->GetPath(dir); }),
              "There is no TInstall component so the path specifier could not be expanded for "
              "Dir1")
        << s->Name();
  }
  auto* install = MakeInstall();
  dir->SetContainer(install);
  dir->SetDestDirType(mainInstall);
  dir->SetDestDir("\\Docs");
  EXPECT_EQ(dir->GetDestPath(), "C:\\Program Files\\Lakeside\\Docs");
  EXPECT_EQ(mainInstall->GetPath(&Owner()), "C:\\Program Files\\Lakeside");
  EXPECT_EQ(MessageOf<IEPathSpecifier>([&] { mainInstall->GetPath(install); }),
            "Cannot use the ddMainInstallDir path specifier for a TInstall component");

  install->Source = "D:\\Setup\\";
  EXPECT_EQ(source->GetPath(dir), "D:\\Setup");
  install->Source = "A:";
  EXPECT_EQ(source->GetPath(install), "A:");
}

TEST_F(InstallSpecifiers, TheMainArchiveIsTheSelfExtractorOrFiles1InItsDirectory) {
  auto* install = MakeInstall();
  auto* archive = Standard<TpsMainArchiveFile>();
  EXPECT_EQ(archive->GetPath(install), "D:\\Setup\\files.1");
  archive->ArchiveDirectory = "E:\\Disk2\\";
  EXPECT_EQ(archive->GetPath(install), "E:\\Disk2\\files.1");
  archive->ArchiveDirectory = "E:\\Disk2";
  EXPECT_EQ(archive->GetPath(install), "E:\\Disk2\\files.1");
  archive->ArchiveDirectory = "  ";
  EXPECT_EQ(archive->GetPath(install), "D:\\Setup\\files.1");
  install->Source = "A:\\";
  EXPECT_EQ(archive->GetPath(install), "A:\\files.1");

  // Started by the self-extractor the archive lies inside it, whatever the directory says.
  install->SelfExtract = true;
  install->SelfExtractor = "Setup.exe";
  archive->ArchiveDirectory = "E:\\Disk2";
  EXPECT_EQ(archive->GetPath(install), "A:\\Setup.exe");
  for (const char* blank : {"", "   ", "\t"}) {
    install->SelfExtractor = blank;
    EXPECT_EQ(MessageOf<IEInstall>([&] { archive->GetPath(install); }),
              "You forgot to pass in the name of the self-extracting executable. Usage "
              "example: \"-eSetup.exe\"");
  }
  install->SetArchiveFileType(archive);
  install->SelfExtractor = "Lakeside Setup.exe";
  EXPECT_EQ(install->GetArchivePath(), "A:\\Lakeside Setup.exe");
}

TEST_F(InstallSpecifiers, ReferencesToADestroyedSpecifierAreCleared) {
  auto* install = MakeInstall();
  auto* dir = Make<TInstallDirectory>("Dir1", install);
  dir->SetDestDirType(destDir_);
  dir->SetDestDir("\\Docs");
  TComponent::Free(destDir_);
  EXPECT_EQ(dir->DestDirType(), nullptr);
  EXPECT_EQ(dir->GetDestPath(), "\\Docs");
}

using SpecifiersOnAForm = PathSpecifierTest;

TEST_F(SpecifiersOnAForm, TheFirstContainerOnAFormBringsTheStandardInstances) {
  // A container with another owner makes none.
  new TInstallDirectory(&Owner());
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 0);

  TOwned<ui::TForm> form(new ui::TForm(nullptr));
  auto* first = new TInstallDirectory(form.get());
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 35);
  EXPECT_NE(dynamic_cast<TpsProgramFiles*>(form->FindComponent("psProgramFiles")), nullptr);
  new TInstallDirectory(form.get());
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 35);
  TComponent::Free(first);
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 35);
  form.reset();
  EXPECT_EQ(PathSpecifiers().Standard.Count(), 0);
}

// The engine's own install root, as the program entry makes it: on the main window, with the
// command line read by its post-load step.
class RealInstall : public PathSpecifierTest {
 protected:
  RealInstall() {
    Engine().Reset();
    Engine().ProgramPath = "C:\\Dist\\setup.exe";
  }
  ~RealInstall() override {
    form_.reset();
    Engine().Reset();
  }
  TInstall* Start(std::vector<std::string> arguments) {
    Engine().Arguments = std::move(arguments);
    form_.reset(new ui::TForm(nullptr));
    auto* install = new TInstall(form_.get());
    install->SetName("Install1");
    install->SetLoading(true);
    install->Loaded();
    return install;
  }
  TOwned<ui::TForm> form_;
};

TEST_F(RealInstall, TheInstallBoundKindsReadTheInstallsCommandLine) {
  TInstall* install = Start({});
  auto* archive = Standard<TpsMainArchiveFile>();
  EXPECT_EQ(install->ArchiveFileType(), archive);
  EXPECT_EQ(install->GetArchivePath(), "C:\\Dist\\files.1");
  EXPECT_EQ(Standard<TpsInstallSource>()->GetPath(install), "C:\\Dist");
  EXPECT_EQ(Standard<TpsMainInstall>()->GetPath(form_.get()), install->GetDestPath());
  EXPECT_EQ(
      MessageOf<IEPathSpecifier>([&] { install->SetDestDirType(Standard<TpsMainInstall>()); }),
      "Cannot use the ddMainInstallDir path specifier for a TInstall component");

  install = Start({"-eLakeside Setup.exe", "-sE:\\Source\\"});
  EXPECT_EQ(Standard<TpsInstallSource>()->GetPath(install), "E:\\Source");
  EXPECT_EQ(install->GetArchivePath(), "E:\\Source\\Lakeside Setup.exe");

  install = Start({"-e"});
  EXPECT_EQ(MessageOf<IEInstall>([&] { install->GetArchivePath(); }),
            "You forgot to pass in the name of the self-extracting executable. Usage example: "
            "\"-eSetup.exe\"");
}

}  // namespace
}  // namespace tmby::fixtures
