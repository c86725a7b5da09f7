#include "support/install_tree_fixtures.h"

#include "model/install_parameters.h"

namespace tmby::fixtures {

std::vector<std::string>& TreeJournal() {
  static std::vector<std::string> journal;
  return journal;
}

#define TMBY_FIXTURE_CLASS(Name, Parent)                                    \
  const TClassInfo& Name::StaticClass() {                                   \
    static const TClassInfo info = TClassInfo::Define<Name, Parent>(#Name); \
    return info;                                                            \
  }

#define TMBY_FIXTURE_OBJECT_CLASS(Name)                                              \
  const TClassInfo& Name::StaticClass() {                                            \
    static const TClassInfo info =                                                   \
        TClassInfo::Define<Name, TInstallObject>(#Name, [](TClassBuilder<Name>& c) { \
          c.Reference("Container", &Name::Container, &Name::SetContainer);           \
        });                                                                          \
    return info;                                                                     \
  }

TMBY_FIXTURE_OBJECT_CLASS(TTestListener)
TMBY_FIXTURE_OBJECT_CLASS(TTestLink)

#undef TMBY_FIXTURE_OBJECT_CLASS

TMBY_FIXTURE_CLASS(TInstallBDE, TInstallObject)
TMBY_FIXTURE_CLASS(TTestProgramFiles, TStandardPathSpecifier)

#undef TMBY_FIXTURE_CLASS

const TClassInfo& TTestFile::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTestFile, TCustomInstallFile>(
      "TTestFile", [](TClassBuilder<TTestFile>& c) {
        c.Reference("Container", &TTestFile::Container, &TTestFile::SetContainer);
        c.Integer("Size", &TTestFile::Size, &TTestFile::Size, 0);
        c.Reference("DestDirType", &TTestFile::DestDirType, &TTestFile::SetDestDirType);
        c.String("DestDir", &TTestFile::DestDir, &TTestFile::SetDestDir);
        c.String("DestName", &TTestFile::DestName, &TTestFile::SetDestName);
        c.Boolean("Include", &TTestFile::Include, &TTestFile::SetInclude, true);
        c.Boolean("RunAfterInstall", &TTestFile::RunAfterInstall, &TTestFile::RunAfterInstall,
                  false);
        c.String("RunParameters", &TTestFile::RunParameters, &TTestFile::RunParameters);
        c.Boolean("FailInstall", &TTestFile::FailInstall, &TTestFile::FailInstall, false);
        c.Boolean("JournalPlace", &TTestFile::JournalPlace, &TTestFile::JournalPlace, false);
        c.Boolean("DeferRegister", &TTestFile::DeferRegister, &TTestFile::DeferRegister, false);
        c.Boolean("FailRegister", &TTestFile::FailRegister, &TTestFile::FailRegister, false);
      });
  return info;
}

const TClassInfo& TTestRoot::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTestRoot, TFileContainer>("TTestRoot", [](TClassBuilder<TTestRoot>& c) {
        c.String("DestDir", &TTestRoot::DestDir, &TTestRoot::SetDestDir);
        c.Reference("DestDirType", &TTestRoot::DestDirType, &TTestRoot::SetDestDirType);
        c.Set("InstallTypes", &TTestRoot::InstallTypes, &TTestRoot::SetInstallTypes,
              std::optional<TInstallTypeSet>());
      });
  return info;
}

void TTestFile::InstallHelpers() {
  TreeJournal().push_back("install " + Name());
  if (FailInstall) throw IECustomInstallFile("Cannot install %s", {Name()});
  if (DeferRegister && InstallModel().DeferRegistrations) InstallModel().Deferred.Add(this);
  // The tree's walk only: the file's own install is tested with real files.
  TFileRelated::InstallHelpers();
}

void TTestFile::AfterReboot() {
  TreeJournal().push_back("after reboot " + Name() + (JournalPlace ? " in " + GetDestPath() : ""));
}

void TTestFile::RegisterActiveX() {
  TreeJournal().push_back("register " + Name());
  if (FailRegister) throw IECustomInstallFile("Could not register %s", {Name()});
}

void TTestFile::RegisterUninstall(const std::string& keyPath) {
  TreeJournal().push_back("uninstall " + Name() + " " + keyPath);
}

void TTestFile::ReadInfoFromArchive() {
  if (InfoRead) return;
  TreeJournal().push_back("read " + Name());
  InfoRead = true;
}

void TTestListener::HelperEvent(TPersistent* sender, int code, TPersistent* object) {
  Codes.push_back(code);
  Objects.push_back(object);
  if (code == hnShowStatusText) {
    if (auto* message = dynamic_cast<TMessageParameter*>(object)) Texts.push_back(message->Text);
  }
  if (code == hnFileStatus) {
    if (auto* status = dynamic_cast<TFileStatusParameter*>(object)) {
      Percents.push_back(status->TotalPercentDone);
    }
  }
  const auto* component = dynamic_cast<const TComponent*>(sender);
  TreeJournal().push_back("hear " + std::to_string(code) + " " +
                          (component != nullptr ? component->Name() : std::string("?")));
}

TTestRoot::TTestRoot(TComponent* owner) : TFileContainer(owner, false) {
  InstallModel().SetCurrentInstall(this);
}

TTestRoot::~TTestRoot() {
  if (InstallModel().CurrentInstall() == this) InstallModel().SetCurrentInstall(nullptr);
}

void InstallAsTheRun(TTestRoot& root) {
  root.Running = true;
  root.Install();
  for (int type : {ctShellLinkGroup, ctShellLink}) {
    const TInstallContainerList& all = InstallModel().Containers;
    for (int i = 0; i < all.Count(); ++i) {
      if (all.Items(i)->ComponentType() == type) all.Items(i)->Install();
    }
  }
  root.Running = false;
}

std::vector<std::string> UninstallFilesList(platform::IRegistry& registry,
                                            const std::string& product) {
  std::vector<std::string> files;
  const std::string key = std::string(kUninstallKeyRoot).substr(1) + product + "\\Files";
  const auto count = registry.ReadString(platform::RootKey::LocalMachine, key, "Entries");
  for (int i = 1; count && i <= std::stoi(*count); ++i) {
    files.push_back(
        registry.ReadString(platform::RootKey::LocalMachine, key, "File" + std::to_string(i))
            .value_or("(missing)"));
  }
  return files;
}

void RegisterTreeFixtureClasses(TClassRegistry& registry) {
  RegisterInstallObjectClasses(registry);
  RegisterPathSpecifierClasses(registry);
  registry.Register({&TTestFile::StaticClass(), &TTestListener::StaticClass(),
                     &TTestLink::StaticClass(), &TTestRoot::StaticClass(),
                     &TInstallBDE::StaticClass(), &TTestProgramFiles::StaticClass()});
}

InstallTreeTest::InstallTreeTest() {
  InstallModel().Reset();
  TreeJournal().clear();
  Reg().CreateKey(platform::RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  Reg().WriteString(platform::RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                    "ProgramFilesDir", "C:\\Program Files");
  owner_ = new TComponent(nullptr);
  containerDestDir_ = new TpsContainerDestDir(owner_);
  containerDestDir_->SetName("psContainerDestDir");
  containerArchive_ = new TpsContainerArchiveFile(owner_);
  containerArchive_->SetName("psContainerArchiveFile");
  programFiles_ = new TpsProgramFiles(owner_);
  programFiles_->SetName("psProgramFiles");
}

InstallTreeTest::~InstallTreeTest() {
  TComponent::Free(owner_);
  EXPECT_EQ(InstallModel().Containers.Count(), 0) << "containers outlived their owner";
  EXPECT_EQ(InstallModel().Files.Count(), 0) << "files outlived their owner";
  InstallModel().Reset();
}

TTestRoot* InstallTreeTest::MakeRoot(const std::string& name) {
  auto* root = new TTestRoot(owner_);
  root->SetName(name);
  root->SetDestDirType(programFiles_);
  root->SetDestDir("\\Lakeside");
  return root;
}

std::string InstallTreeTest::HelperNames(const TInstallContainer& container) {
  std::string names;
  for (int i = 0; i < container.HelperCount(); ++i) {
    if (i > 0) names += ' ';
    names += container.Helpers(i)->Name();
  }
  return names;
}

}  // namespace tmby::fixtures
