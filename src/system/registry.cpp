#include "system/registry.h"

#include <cstring>

#include "base/exceptions.h"
#include "platform/registry_hold.h"
#include "system/os_version.h"
#include "system/registry_hold.h"

namespace tmby {

using platform::RootKey;

namespace {

platform::IRegistry& Reg() { return platform::Port().Registry(); }

// Windows keeps keys at most 512 levels deep; a deeper tree is not walked.
constexpr int kMaxKeyDepth = 512;

// Drops the backslashes at the end of a key path: "A\B\" names the key "A\B".
std::string TrimTrailingSeparators(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The path from the root of a key that a registry object with no open key resolves: one leading
// backslash and the trailing ones dropped.
std::string KeyFromRoot(const std::string& key) {
  return TrimTrailingSeparators(!key.empty() && key.front() == '\\' ? key.substr(1) : key);
}

std::vector<uint8_t> DoubleBytes(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  return bytes;
}

std::optional<double> BytesDouble(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != 8) return std::nullopt;
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

RootKey RootKeyOfNumber(int number, RootKey fallback) {
  return platform::RootKeyFromNumber(number).value_or(fallback);
}

int NumberOfRootKey(RootKey root, int fallback) {
  int number = static_cast<int>(root);
  return platform::RootKeyFromNumber(number) ? number : fallback;
}

// ---------------------------------------------------------------------------------------------
// TtmbyRegistry

void TtmbyRegistry::SetRootKey(platform::RootKey root) {
  CloseKey();
  root_ = root;
}

void TtmbyRegistry::SetRootKeyNumber(int number) { SetRootKey(RootKeyOfNumber(number, root_)); }

std::string TtmbyRegistry::Resolve(const std::string& key) const {
  if (!key.empty() && key.front() == '\\') return TrimTrailingSeparators(key.substr(1));
  std::string relative = TrimTrailingSeparators(key);
  if (!open_ || current_path_.empty()) return relative;
  if (relative.empty()) return current_path_;
  return current_path_ + "\\" + relative;
}

bool TtmbyRegistry::OpenKey(const std::string& key, bool can_create) {
  std::string path = Resolve(key);
  bool ok = Reg().KeyExists(root_, path);
  if (!ok && can_create) ok = Reg().CreateKey(root_, path);
  if (!ok) return false;
  CloseKey();
  open_ = true;
  current_path_ = path;
  return true;
}

bool TtmbyRegistry::OpenKeyReadOnly(const std::string& key) { return OpenKey(key, false); }

bool TtmbyRegistry::KeyExists(const std::string& key) {
  return Reg().KeyExists(root_, Resolve(key));
}

bool TtmbyRegistry::DeleteKey(const std::string& key) {
  std::string path = Resolve(key);
  // An empty path is the root: deleting "everything below HKEY_..." is never what a caller means.
  if (path.empty()) return false;
  if (!Reg().KeyExists(root_, path)) return false;
  bool ok = DeleteTree(path, 0);
  // The open key may have gone with the tree.
  if (open_ && !Reg().KeyExists(root_, current_path_)) CloseKey();
  return ok;
}

bool TtmbyRegistry::DeleteTree(const std::string& full_path, int depth) {
  if (depth < kMaxKeyDepth) {
    if (auto subkeys = Reg().EnumKeys(root_, full_path)) {
      for (const std::string& name : *subkeys) {
        if (name.empty()) continue;
        DeleteTree(full_path + "\\" + name, depth + 1);
      }
    }
  }
  return Reg().DeleteKey(root_, full_path);
}

void TtmbyRegistry::CloseKey() {
  open_ = false;
  current_path_.clear();
}

bool TtmbyRegistry::HasSubKeys() {
  if (!open_) return false;
  auto keys = Reg().EnumKeys(root_, current_path_);
  return keys && !keys->empty();
}

std::vector<std::string> TtmbyRegistry::GetKeyNames() {
  if (!open_) return {};
  return Reg().EnumKeys(root_, current_path_).value_or(std::vector<std::string>{});
}

std::vector<std::string> TtmbyRegistry::GetValueNames() {
  if (!open_) return {};
  return Reg().EnumValues(root_, current_path_).value_or(std::vector<std::string>{});
}

bool TtmbyRegistry::ValueExists(const std::string& name) { return GetDataType(name).has_value(); }

std::optional<platform::RegValueType> TtmbyRegistry::GetDataType(const std::string& name) {
  if (!open_) return std::nullopt;
  return Reg().ValueType(root_, current_path_, name);
}

bool TtmbyRegistry::DeleteValue(const std::string& name) {
  return open_ && Reg().DeleteValue(root_, current_path_, name);
}

std::optional<std::string> TtmbyRegistry::ReadString(const std::string& name) {
  if (!open_) return std::nullopt;
  return Reg().ReadString(root_, current_path_, name);
}

std::optional<int32_t> TtmbyRegistry::ReadInteger(const std::string& name) {
  if (!open_) return std::nullopt;
  auto value = Reg().ReadInteger(root_, current_path_, name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<std::string> TtmbyRegistry::ReadStringAt(const std::string& key,
                                                       const std::string& name) {
  return Reg().ReadString(root_, Resolve(key), name);
}

std::optional<int32_t> TtmbyRegistry::ReadIntegerAt(const std::string& key,
                                                    const std::string& name) {
  auto value = Reg().ReadInteger(root_, Resolve(key), name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<double> TtmbyRegistry::ReadDateTime(const std::string& name) {
  auto bytes = ReadBinaryData(name);
  if (!bytes) return std::nullopt;
  return BytesDouble(*bytes);
}

std::optional<std::vector<uint8_t>> TtmbyRegistry::ReadBinaryData(const std::string& name) {
  if (!open_) return std::nullopt;
  return Reg().ReadBinary(root_, current_path_, name);
}

template <typename Fn>
bool TtmbyRegistry::Write(Fn&& write) {
  if (!open_) return false;
  platform::IRegistry& reg = Reg();
  bool previous = reg.LazyWrite();
  reg.SetLazyWrite(lazy_write_);
  bool ok = write(reg);
  reg.SetLazyWrite(previous);
  return ok;
}

bool TtmbyRegistry::WriteString(const std::string& name, const std::string& value) {
  return Write([&](platform::IRegistry& reg) {
    return reg.WriteString(root_, current_path_, name, value, false);
  });
}

bool TtmbyRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  return Write([&](platform::IRegistry& reg) {
    return reg.WriteString(root_, current_path_, name, value, true);
  });
}

bool TtmbyRegistry::WriteInteger(const std::string& name, int32_t value) {
  return Write([&](platform::IRegistry& reg) {
    return reg.WriteInteger(root_, current_path_, name, static_cast<uint32_t>(value));
  });
}

bool TtmbyRegistry::WriteDateTime(const std::string& name, double value) {
  return WriteBinaryData(name, DoubleBytes(value));
}

bool TtmbyRegistry::WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value) {
  return Write(
      [&](platform::IRegistry& reg) { return reg.WriteBinary(root_, current_path_, name, value); });
}

uint32_t TtmbyRegistry::LastError() const { return Reg().LastError(); }

// ---------------------------------------------------------------------------------------------
// Routines

void WriteRegString(int root, const std::string& key, const std::string& name,
                    const std::string& value) {
  // Most writes go to a key that exists (the uninstall lists take two per file): writing at once
  // is one trip to the registry, where opening the key first would take two more. Only a write
  // that fails creates the key and writes again.
  platform::IRegistry& port = Reg();
  const bool lazy = port.LazyWrite();
  port.SetLazyWrite(true);
  const bool written = port.WriteString(RootKeyOfNumber(root, RootKey::CurrentUser),
                                        KeyFromRoot(key), name, value, false);
  port.SetLazyWrite(lazy);
  if (written) return;
  TtmbyRegistry reg;
  reg.SetRootKeyNumber(root);
  if (!reg.OpenKey(key, true) || !reg.WriteString(name, value)) {
    throw EIRCannotWriteValue("Cannot install into registry. Key: %s Ident: %s Value %s",
                              {key, name, value});
  }
}

void HoldRegKey(int root, const std::string& key) {
  if (auto* hold = dynamic_cast<platform::IRegistryKeyHold*>(&Reg())) {
    hold->HoldKey(RootKeyOfNumber(root, RootKey::CurrentUser), KeyFromRoot(key));
  }
}

void ReleaseRegKeys() {
  if (auto* hold = dynamic_cast<platform::IRegistryKeyHold*>(&Reg())) hold->ReleaseKeys();
}

void WriteRegInteger(int root, const std::string& key, const std::string& name, int32_t value) {
  TtmbyRegistry reg;
  reg.SetRootKeyNumber(root);
  if (!reg.OpenKey(key, true) || !reg.WriteInteger(name, value)) throw EIRCannotWriteValue(key);
}

std::string ReadRegString(int root, const std::string& key, const std::string& name,
                          const std::string& default_value) {
  TtmbyRegistry reg;
  reg.SetRootKeyNumber(root);
  // The read of a missing key fails by itself. Asking first whether the key exists would double
  // the trips to the registry of an install, which reads the folder of every file's destination
  // here, and each trip is a call into the system.
  return reg.ReadStringAt(key, name).value_or(default_value);
}

int32_t ReadRegInteger(int root, const std::string& key, const std::string& name,
                       int32_t default_value) {
  TtmbyRegistry reg;
  reg.SetRootKeyNumber(root);
  return reg.ReadIntegerAt(key, name).value_or(default_value);
}

void DeleteRegKeyTree(int root, const std::string& key) {
  TtmbyRegistry reg;
  reg.SetRootKeyNumber(root);
  reg.DeleteKey(key);
}

bool AddRunOnce(const std::string& name, const std::string& command, bool unique) {
  TtmbyRegistry reg;
  reg.SetRootKey(IsNTFamily(GetOSVersion()) ? RootKey::CurrentUser : RootKey::LocalMachine);
  if (!reg.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true)) return false;
  std::string value_name = name;
  if (unique) {
    // Every name taken is an existing value, so the search ends after at most as many steps as
    // the key has values.
    for (unsigned n = 1; reg.ValueExists(value_name); ++n) value_name = name + std::to_string(n);
  }
  reg.SetLazyWrite(false);
  bool ok = reg.WriteString(value_name, command);
  reg.CloseKey();
  return ok;
}

}  // namespace tmby
