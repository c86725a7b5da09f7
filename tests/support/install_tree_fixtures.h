// Small install-tree classes for the tests of the install objects: a root that stands in for the
// engine's install, a file with a size, a helper that listens to broadcasts like a dialog
// manager and a class named "TInstallBDE". A fixture gives each test a memory machine, an owner
// holding the path specifiers the tree uses, and an empty install model.
#pragma once

#include <string>
#include <vector>

#include "model/file_container.h"
#include "model/install_group.h"
#include "model/install_model.h"
#include "paths/install_roots.h"
#include "paths/path_root_base.h"
#include "paths/standard_roots.h"
#include "support/memory_machine.h"
#include "support/path_fixtures.h"  // MessageOf

namespace tmby::fixtures {

// What happened, in order ("hear -990 Dir1", "install File1").
std::vector<std::string>& TreeJournal();

class TTestFile : public TCustomInstallFile {
  TMBY_CLASS(TTestFile, TCustomInstallFile)
 public:
  explicit TTestFile(TComponent* owner) : TCustomInstallFile(owner) {}
  void InstallHelpers() override;
  void RegisterUninstall(const std::string& keyPath) override;
  void ReadInfoFromArchive() override;
  void AfterReboot() override;
  void RegisterActiveX() override;
  // Raised from InstallHelpers when set.
  bool FailInstall = false;
  // AfterReboot notes the folder it works in too.
  bool JournalPlace = false;
  // During a run the install puts the file on the deferred registration list, as a file whose
  // server registration failed.
  bool DeferRegister = false;
  // RegisterActiveX raises.
  bool FailRegister = false;
};

// Hears its container's broadcasts, as a dialog manager does.
class TTestListener : public TInstallObject {
  TMBY_CLASS(TTestListener, TInstallObject)
 public:
  explicit TTestListener(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctDialog; }
  void HelperEvent(TPersistent* sender, int code, TPersistent* object) override;
  std::vector<int> Codes;
  std::vector<TPersistent*> Objects;
  // The TotalPercentDone of each hnFileStatus parameter heard.
  std::vector<int32_t> Percents;
  // The texts of the hnShowStatusText parameters heard.
  std::vector<std::string> Texts;
};

class TTestLink : public TInstallObject {
  TMBY_CLASS(TTestLink, TInstallObject)
 public:
  explicit TTestLink(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctShellLink; }
};

// The class name that always goes first among a container's helpers.
class TInstallBDE : public TInstallObject {
  TMBY_CLASS(TInstallBDE, TInstallObject)
 public:
  explicit TInstallBDE(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return 3000; }
};

// Stands in for the engine's install: the root file container, without own path specifier.
class TTestRoot : public TFileContainer, public IInstallRoot {
  TMBY_CLASS(TTestRoot, TFileContainer)
 public:
  explicit TTestRoot(TComponent* owner);
  ~TTestRoot() override;
  bool HasOwnPathSpecifier() const override { return false; }
  TFileContainer* RootContainer() override { return this; }
  bool InstallRunning() const override { return Running; }
  std::string UninstallProductName() const override { return Product; }
  TDistributeType DistributeType() const override { return Distribute; }
  void RequestReboot() override { RebootRequested = true; }
  void AddUnfinished(const std::string& item, int code) override {
    Unfinished.push_back(item + ";" + std::to_string(code));
  }
  TUninstallEntry UninstallEntry() const override { return Entry; }
  void UninstallerRemoved() override { UninstallerGone = true; }
  void DoInformationEventControl(TPersistent* sender, int code, TPersistent* object) override {
    InfoCodes.push_back(code);
    TFileContainer::DoInformationEventControl(sender, code, object);
  }
  bool Running = false;
  std::string Product = "Lakeside Notes";
  TDistributeType Distribute = dtTraditional;
  bool RebootRequested = false;
  // The unfinished entries recorded, as item;code.
  std::vector<std::string> Unfinished;
  // The information events that reached the root.
  std::vector<int> InfoCodes;
  TUninstallEntry Entry{"Lakeside Notes"};
  bool UninstallerGone = false;
};

// A fixed root ("C:\Program Files") for definitions that need no machine.
class TTestProgramFiles : public TStandardPathSpecifier {
  TMBY_CLASS(TTestProgramFiles, TStandardPathSpecifier)
 public:
  explicit TTestProgramFiles(TComponent* owner) : TStandardPathSpecifier(owner) {}
  std::string GetPath(TPersistent*) override { return "C:\\Program Files"; }
};

// The install run's walk: the tree from `root`, then every link folder, then every link, as the
// engine's typed phases install them.
void InstallAsTheRun(TTestRoot& root);
// The "Files" list of a product's uninstall log, in order ("(missing)" for a hole).
std::vector<std::string> UninstallFilesList(platform::IRegistry& registry,
                                            const std::string& product);

// Registers the fixture classes (and the path specifier kinds) for the definition reader.
void RegisterTreeFixtureClasses(TClassRegistry& registry);

class InstallTreeTest : public tmby::testing::MemoryMachineTest {
 protected:
  InstallTreeTest();
  ~InstallTreeTest() override;

  TComponent& Owner() { return *owner_; }
  template <class T>
  T* Make(const std::string& name, TInstallContainer* container = nullptr) {
    auto* object = new T(owner_);
    object->SetName(name);
    if (container != nullptr) object->SetContainer(container);
    return object;
  }
  TTestRoot* MakeRoot(const std::string& name = "Install1");
  // The names of a container's helpers, in order, joined by blanks.
  static std::string HelperNames(const TInstallContainer& container);

  TComponent* owner_;
  TpsContainerDestDir* containerDestDir_;
  TpsContainerArchiveFile* containerArchive_;
  TpsProgramFiles* programFiles_;
};

}  // namespace tmby::fixtures
