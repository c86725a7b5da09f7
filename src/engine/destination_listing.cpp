#include "engine/destination_listing.h"

#include "base/exceptions.h"
#include "dialogs/dialog_manager.h"
#include "model/install_container.h"
#include "model/install_model.h"

namespace tmby {

std::string ListDestinations() {
  std::string out;
  const TInstallContainerList& containers = InstallModel().Containers;
  for (int i = 0; i < containers.Count(); ++i) {
    TInstallContainer* container = containers.Items(i);
    // The dialog managers and dialog settings put nothing anywhere.
    if (dynamic_cast<TDialogManager*>(container) != nullptr ||
        dynamic_cast<TCustomBaseInstallDlg*>(container) != nullptr) {
      continue;
    }
    out += container->Name() + " (" + container->ClassName() + "): ";
    try {
      out += container->GetDestPath();
    } catch (const Exception& e) {
      out += std::string("! ") + e.what();
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace tmby
