// The uninstaller program as a file of the product: installed like any other file, it writes the
// product's Add/Remove Programs entry, whose "UninstallString" starts it with the product name.
#pragma once

#include <string>

#include "model/custom_install_file.h"

namespace tmby {

class TUninstallEXE : public TCustomInstallFile {
  TMBY_CLASS(TUninstallEXE, TCustomInstallFile)
 public:
  // A net file by default, unlike the others.
  explicit TUninstallEXE(TComponent* owner);
  // The build no longer adds an uninstaller of its own.
  ~TUninstallEXE() override;

  // The kit's own uninstall.exe, when the design environment knows where the kit is installed
  // (InstallModel().KitDirectory); any failure of the lookup is ignored.
  void DesignCreated() override;
  // Writes the Add/Remove Programs values under the product's uninstall key, in their order.
  // IEUninstallEXE without an install root.
  void RegisterUninstall(const std::string& keyPath) override;
};

}  // namespace tmby
