#include "net/net_location.h"

namespace tmby {

const TClassInfo& TCustomNetInstallLocation::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomNetInstallLocation, TComponent>("TCustomNetInstallLocation");
  return info;
}

}  // namespace tmby
