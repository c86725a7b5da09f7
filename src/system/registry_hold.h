// Holding the registry keys that a run writes to again and again.
#pragma once

#include <string>

namespace tmby {

// Holds the key open (see platform::IRegistryKeyHold) when the registry can, until
// ReleaseRegKeys; `root` is a root number. Nothing happens when it cannot.
void HoldRegKey(int root, const std::string& key);
void ReleaseRegKeys();

}  // namespace tmby
