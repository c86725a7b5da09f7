// The fixture of the path specifier tests: a simulated machine, the specifier framework started,
// an owner standing in for the main window, and an install root that knows where setup was
// started from.
#pragma once

#include <string>

#include "model/file_container.h"
#include "model/install_group.h"
#include "model/install_model.h"
#include "paths/install_roots.h"
#include "paths/path_root_base.h"
#include "support/exception_message.h"
#include "support/memory_machine.h"

namespace tmby::fixtures {

// Stands in for the engine's install: the root file container, with the source directory and
// the self-extractor switch of its command line.
class TPathTestInstall : public TFileContainer, public IInstallRoot {
  TMBY_CLASS(TPathTestInstall, TFileContainer)
 public:
  explicit TPathTestInstall(TComponent* owner);
  ~TPathTestInstall() override;
  bool HasOwnPathSpecifier() const override { return false; }
  TFileContainer* RootContainer() override { return this; }
  bool InstallRunning() const override { return false; }
  std::string UninstallProductName() const override { return "Lakeside Notes"; }
  TDistributeType DistributeType() const override { return dtTraditional; }
  void RequestReboot() override {}
  void AddUnfinished(const std::string&, int) override {}
  TUninstallEntry UninstallEntry() const override { return TUninstallEntry{"Lakeside Notes"}; }
  void UninstallerRemoved() override {}
  std::string SourceDirectory() const override { return Source; }
  bool SelfExtracting() const override { return SelfExtract; }
  std::string SelfExtractorName() const override { return SelfExtractor; }

  std::string Source = "D:\\Setup";
  bool SelfExtract = false;
  std::string SelfExtractor;
};

// A file of the install with its name on the target machine, as the file class publishes it.
class TPathTestFile : public TCustomInstallFile {
  TMBY_CLASS(TPathTestFile, TCustomInstallFile)
 public:
  explicit TPathTestFile(TComponent* owner) : TCustomInstallFile(owner) {}
  std::string DestName;
};

class PathSpecifierTest : public tmby::testing::MemoryMachineTest {
 protected:
  PathSpecifierTest();
  ~PathSpecifierTest() override;

  TComponent& Owner() { return *owner_; }
  // One instance of every standard kind, owned by the owner.
  void CreateStandard();
  // The standard instance of a kind.
  template <class T>
  T* Standard() {
    return static_cast<T*>(PathSpecifiers().Standard.FindSpecifier(T::StaticClass()));
  }
  template <class T>
  T* Make(const std::string& name, TInstallContainer* container = nullptr) {
    auto* object = new T(owner_);
    object->SetName(name);
    if (container != nullptr) object->SetContainer(container);
    return object;
  }
  // The install root "Install1" under psProgramFiles with DestDir "\Lakeside" (the standard
  // instances must exist).
  TPathTestInstall* MakeInstall();
  // The running Windows of the simulated machine.
  void SetWindows(platform::PlatformId platform, uint32_t major, uint32_t minor);
  // Writes a string value, creating the key; `key` without a leading backslash.
  void SetValue(platform::RootKey root, const std::string& key, const std::string& name,
                const std::string& value);

  TComponent* owner_;
};

}  // namespace tmby::fixtures
