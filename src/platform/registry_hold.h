// Keys held open across many writes, for a registry whose keys are handles.
#pragma once

#include <string>

#include "platform/port.h"

namespace tmby::platform {

// A registry that opens a key for every call may keep a few keys open instead: a value written to
// a held key then takes one call into the system, where opening and closing the key took two
// more. Every write still reaches the registry at once, so a process that dies loses nothing it
// wrote. A registry without handles (the in-memory one) does not offer it.
class IRegistryKeyHold {
 public:
  virtual ~IRegistryKeyHold() = default;
  // Holds `key` open until ReleaseKeys; false when it cannot be (the calls then open it as
  // before). Holding a key held already does nothing.
  virtual bool HoldKey(RootKey root, const std::string& key) = 0;
  // Closes every held key. Deleting a key closes them too: nothing held keeps a key alive that is
  // meant to go.
  virtual void ReleaseKeys() = 0;
};

}  // namespace tmby::platform
