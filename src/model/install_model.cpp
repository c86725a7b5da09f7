#include "model/install_model.h"

#include "base/path_text.h"
#include "model/file_container.h"
#include "model/uninstall_log.h"
#include "paths/path_root_base.h"

namespace tmby {

void TInstallContainerList::Add(TInstallContainer* container) {
  if (container == nullptr) {
    throw IEContainerList("Cannot add a blank entry to the TInstallContainerList object");
  }
  Append(container);
}

void TCustomInstallFileList::Add(TCustomInstallFile* file) {
  if (file == nullptr) {
    throw IECustomInstallFileList("Cannot add a blank entry to the TCustomInstallFileList object");
  }
  Append(file);
}

IInstallPlace* IInstallRoot::RootPlace() { return RootContainer(); }

IInstallRoot* TInstallModel::CurrentInstall() const {
  return dynamic_cast<IInstallRoot*>(PathSpecifiers().InstallRoot);
}

void TInstallModel::SetCurrentInstall(IInstallRoot* root) { PathSpecifiers().InstallRoot = root; }

TFileContainer* TInstallModel::Root() const {
  IInstallRoot* root = CurrentInstall();
  return root == nullptr ? nullptr : root->RootContainer();
}

void TInstallModel::Reset() {
  Containers.Clear();
  Files.Clear();
  Deferred.Clear();
  DeferRegistrations = false;
  UsedIds.fill(false);
  IdsLoaded = false;
  InstallStateKey.clear();
  NameClashCounter = 0;
  Reflector = nullptr;
  KitDirectory.clear();
  SetCurrentInstall(nullptr);
  SharedArchive.reset();
  UninstallLogCounts().Release();
}

TInstallModel& InstallModel() {
  static TInstallModel model;
  return model;
}

void InstallModelStartup() {
  TInstallModel& model = InstallModel();
  if (model.StartupCount++ > 0) return;
  model.Reset();
  model.SharedArchive = std::make_unique<TTmbyCompress>();
}

void InstallModelShutdown() {
  TInstallModel& model = InstallModel();
  if (model.StartupCount == 0) return;
  if (--model.StartupCount > 0) return;
  model.Reset();
}

std::string ComponentStateKey(const std::string& componentName) {
  return IncludeTrailingBackslash(InstallModel().InstallStateKey) + componentName;
}

}  // namespace tmby
