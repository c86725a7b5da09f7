#include "platform/port.h"

#include <stdexcept>

#include "base/dostime.h"

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

std::optional<double> IFileSystem::GetDayCount(const std::string& path) {
  const std::optional<uint32_t> dos = GetDosTime(path);
  if (!dos) return std::nullopt;
  return DosDateTimeToDayCount(*dos);
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
