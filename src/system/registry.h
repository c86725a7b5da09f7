// The registry accessor and the small registry routines the whole kit writes and reads through.
//
// Reads never fail: the routines fall back to a caller-supplied default, also for a value of the
// wrong type. Writes of the routines raise EIRCannotWriteValue.
//
// Key paths: a path that begins with "\" is absolute from the root key; any other path is relative
// to the accessor's open key (or to the root when no key is open).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/port.h"

namespace tmby {

// The root key of a root number (0 HKEY_CLASSES_ROOT ... 5 HKEY_USERS); `fallback` for any other
// number.
platform::RootKey RootKeyOfNumber(int number, platform::RootKey fallback);
// The root number of a root key; `fallback` when the key is not one of the six.
int NumberOfRootKey(platform::RootKey root, int fallback);

class TtmbyRegistry {
 public:
  TtmbyRegistry() = default;
  TtmbyRegistry(const TtmbyRegistry&) = delete;
  TtmbyRegistry& operator=(const TtmbyRegistry&) = delete;
  ~TtmbyRegistry() { CloseKey(); }

  platform::RootKey RootKey() const { return root_; }
  // Changing the root closes the open key.
  void SetRootKey(platform::RootKey root);
  // Sets the root from a root number; a number outside 0..5 leaves the root unchanged.
  void SetRootKeyNumber(int number);

  // With lazy writing off, every value written is on disk before the write returns.
  bool LazyWrite() const { return lazy_write_; }
  void SetLazyWrite(bool lazy) { lazy_write_ = lazy; }

  bool HasCurrentKey() const { return open_; }
  // The open key's path from the root, without a leading backslash ("" for the root itself).
  const std::string& CurrentPath() const { return current_path_; }

  // Opens the key, creating it (and its parents) when `can_create` is set and it is missing.
  // On success it becomes the current key.
  bool OpenKey(const std::string& key, bool can_create);
  // Opens an existing key without creating anything.
  bool OpenKeyReadOnly(const std::string& key);
  bool KeyExists(const std::string& key);
  // Deletes the key with every key below it, depth first. A subkey that cannot be listed is
  // skipped. The root key itself is never deleted (false).
  bool DeleteKey(const std::string& key);
  void CloseKey();

  // Questions about the current key (false / empty when none is open).
  bool HasSubKeys();
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();
  bool ValueExists(const std::string& name);
  std::optional<platform::RegValueType> GetDataType(const std::string& name);
  bool DeleteValue(const std::string& name);

  // A value of `key` (the absolute / relative rule) without opening it: nullopt for a missing key
  // too. One trip to the registry where opening the key first takes two more.
  std::optional<std::string> ReadStringAt(const std::string& key, const std::string& name);
  std::optional<int32_t> ReadIntegerAt(const std::string& key, const std::string& name);
  // Values of the current key. Reads give nullopt for a missing value or one of another type.
  std::optional<std::string> ReadString(const std::string& name);
  std::optional<int32_t> ReadInteger(const std::string& name);
  // Date-times and floats are doubles stored as 8-byte binary values (a date-time counts days
  // since 1899-12-30).
  std::optional<double> ReadDateTime(const std::string& name);
  std::optional<double> ReadFloat(const std::string& name) { return ReadDateTime(name); }
  std::optional<std::vector<uint8_t>> ReadBinaryData(const std::string& name);

  bool WriteString(const std::string& name, const std::string& value);
  bool WriteExpandString(const std::string& name, const std::string& value);
  bool WriteInteger(const std::string& name, int32_t value);
  bool WriteDateTime(const std::string& name, double value);
  bool WriteFloat(const std::string& name, double value) { return WriteDateTime(name, value); }
  bool WriteBinaryData(const std::string& name, const std::vector<uint8_t>& value);

  // The Windows error code of the last failed registry call.
  uint32_t LastError() const;

 private:
  // The full path from the root of `key`, after the absolute / relative rule.
  std::string Resolve(const std::string& key) const;
  bool DeleteTree(const std::string& full_path, int depth);
  template <typename Fn>
  bool Write(Fn&& write);

  platform::RootKey root_ = platform::RootKey::CurrentUser;
  bool open_ = false;
  std::string current_path_;
  bool lazy_write_ = true;
};

// Registry routines. Each uses its own accessor; `root` is a root number.

// Writes a string value, creating the key when it is missing. Raises EIRCannotWriteValue
// "Cannot install into registry. Key: %s Ident: %s Value %s" when the key cannot be opened or
// the value cannot be written.
void WriteRegString(int root, const std::string& key, const std::string& name,
                    const std::string& value);
// The same for a 32-bit integer; the exception's message is the key path alone.
void WriteRegInteger(int root, const std::string& key, const std::string& name, int32_t value);
// The value, or `default_value` when the key or value is missing, unreadable or of another type.
std::string ReadRegString(int root, const std::string& key, const std::string& name,
                          const std::string& default_value);
int32_t ReadRegInteger(int root, const std::string& key, const std::string& name,
                       int32_t default_value);
// Deletes the key with everything below it; every error is ignored.
void DeleteRegKeyTree(int root, const std::string& key);

// Registers `command` to run once at the next logon, under "RunOnce" of HKEY_CURRENT_USER on the
// NT family and of HKEY_LOCAL_MACHINE otherwise. With `unique` an existing value is kept and the
// first free name of name, name1, name2, ... is taken. False when the key cannot be opened or the
// value cannot be written.
bool AddRunOnce(const std::string& name, const std::string& command, bool unique);

}  // namespace tmby
