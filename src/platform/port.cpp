#include "platform/port.h"

#include <stdexcept>

namespace tmby::platform {

namespace {
IPlatform* g_port = nullptr;
}

std::optional<RootKey> RootKeyFromNumber(int number) {
  if (number < 0 || number > 5) return std::nullopt;
  return static_cast<RootKey>(number);
}

const char* RootKeyName(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RootKey::CurrentConfig: return "HKEY_CURRENT_CONFIG";
    case RootKey::CurrentUser: return "HKEY_CURRENT_USER";
    case RootKey::DynData: return "HKEY_DYN_DATA";
    case RootKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case RootKey::Users: return "HKEY_USERS";
  }
  return "?";
}

IPlatform& Port() {
  if (g_port == nullptr) throw std::logic_error("no platform port installed");
  return *g_port;
}

IPlatform* SetPort(IPlatform* platform) {
  IPlatform* previous = g_port;
  g_port = platform;
  return previous;
}

}  // namespace tmby::platform
