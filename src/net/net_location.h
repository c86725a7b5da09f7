// Net install locations: the HTTP or FTP servers from which a web distribution fetches its
// archives. This file holds the base class that install objects reference.
#pragma once

#include "base/component.h"

namespace tmby {

class TCustomNetInstallLocation : public TComponent {
  TMBY_CLASS(TCustomNetInstallLocation, TComponent)
 public:
  explicit TCustomNetInstallLocation(TComponent* owner) : TComponent(owner) {}
};

}  // namespace tmby
