#include "model/install_model.h"

#include "base/path_text.h"

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

TFileContainer* TInstallModel::Root() const {
  return CurrentInstall == nullptr ? nullptr : CurrentInstall->RootContainer();
}

void TInstallModel::Reset() {
  Containers.Clear();
  Files.Clear();
  Deferred.Clear();
  InstallStateKey.clear();
  NameClashCounter = 0;
  CurrentInstall = nullptr;
  SharedArchive.reset();
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
