// The path specifier of a shell link that points at an install object of the definition: the
// installed path of the linked file, or the destination of the linked container. Not a standard
// kind: each shell link that needs it creates one.
#pragma once

#include <string>

#include "paths/root_kind.h"

namespace tmby {

class TpsObjectLink : public TStandardPathSpecifier {
  TMBY_CLASS(TpsObjectLink, TStandardPathSpecifier)
 public:
  explicit TpsObjectLink(TComponent* owner);
  // The object must be a TCustomInstallShellLink whose ObjectLink is set.
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
};

// The object a shell link points at (its published ObjectLink), or null.
TComponent* ObjectLinkOf(const TPersistent* link);

}  // namespace tmby
