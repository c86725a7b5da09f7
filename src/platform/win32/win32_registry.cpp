// The registry through advapi32's wide-character functions.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace tmby::platform::win32 {

namespace {

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RootKey::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case RootKey::DynData: return HKEY_DYN_DATA;
    case RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RootKey::Users: return HKEY_USERS;
  }
  return nullptr;
}

// An open key, closed on destruction.
struct OpenKey {
  HKEY handle = nullptr;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (handle != nullptr) RegCloseKey(handle);
  }
};

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class Win32Registry : public IRegistry {
 public:
  bool KeyExists(RootKey root, const std::string& key) override {
    OpenKey k;
    return Open(root, key, KEY_READ, &k);
  }

  bool CreateKey(RootKey root, const std::string& key) override {
    const HKEY base = RootHandle(root);
    if (base == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OpenKey k;
    DWORD disposition = 0;
    const LONG r = RegCreateKeyExW(base, Wide(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, &k.handle, &disposition);
    if (r != ERROR_SUCCESS) {
      k.handle = nullptr;
      return Fail(r);
    }
    Flush(k.handle);
    return Succeed();
  }

  bool DeleteKey(RootKey root, const std::string& key) override {
    DWORD subkeys = 0;
    {
      OpenKey k;
      if (!Open(root, key, KEY_READ, &k)) return false;
      // A root key stays; a key with subkeys is refused on every Windows (9x would delete the
      // whole tree), so that the core's tree removal works the same everywhere.
      if (key.empty() || key == "\\") return Fail(ERROR_ACCESS_DENIED);
      const LONG r = RegQueryInfoKeyW(k.handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      if (r != ERROR_SUCCESS) return Fail(r);
    }
    if (subkeys > 0) return Fail(ERROR_ACCESS_DENIED);
    const LONG r = RegDeleteKeyW(RootHandle(root), Wide(key).c_str());
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(RootHandle(root));
    return Succeed();
  }

  bool DeleteValue(RootKey root, const std::string& key, const std::string& name) override {
    OpenKey k;
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    const LONG r = RegDeleteValueW(k.handle, Wide(name).c_str());
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(k.handle);
    return Succeed();
  }

  std::optional<RegValueType> ValueType(RootKey root, const std::string& key,
                                        const std::string& name) override {
    OpenKey k;
    if (!Open(root, key, KEY_QUERY_VALUE, &k)) return std::nullopt;
    DWORD type = REG_NONE;
    const LONG r = RegQueryValueExW(k.handle, Wide(name).c_str(), nullptr, &type, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return Fail(r), std::nullopt;
    error_ = ERROR_SUCCESS;
    return static_cast<RegValueType>(type);
  }

  std::optional<std::string> ReadString(RootKey root, const std::string& key,
                                        const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_SZ && v->type != REG_EXPAND_SZ)
      return Fail(ERROR_BAD_FILE_TYPE), std::nullopt;
    // The stored text may lack its terminating NUL; read no further than the data.
    std::wstring text(v->data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), v->data.data(), text.size() * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return Utf8(text);
  }

  std::optional<uint32_t> ReadInteger(RootKey root, const std::string& key,
                                      const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_DWORD || v->data.size() != 4) return Fail(ERROR_BAD_FILE_TYPE), std::nullopt;
    return static_cast<uint32_t>(v->data[0]) | static_cast<uint32_t>(v->data[1]) << 8 |
           static_cast<uint32_t>(v->data[2]) << 16 | static_cast<uint32_t>(v->data[3]) << 24;
  }

  std::optional<std::vector<uint8_t>> ReadBinary(RootKey root, const std::string& key,
                                                 const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_BINARY) return Fail(ERROR_BAD_FILE_TYPE), std::nullopt;
    return std::vector<uint8_t>(v->data.begin(), v->data.end());
  }

  bool WriteString(RootKey root, const std::string& key, const std::string& name,
                   const std::string& value, bool expand) override {
    const std::wstring text = Wide(value.substr(0, value.find('\0')));
    return Set(root, key, name, expand ? REG_EXPAND_SZ : REG_SZ,
               reinterpret_cast<const BYTE*>(text.c_str()),
               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  bool WriteInteger(RootKey root, const std::string& key, const std::string& name,
                    uint32_t value) override {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                           static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return Set(root, key, name, REG_DWORD, bytes, 4);
  }

  bool WriteBinary(RootKey root, const std::string& key, const std::string& name,
                   const std::vector<uint8_t>& value) override {
    static const BYTE kNothing = 0;
    return Set(root, key, name, REG_BINARY, value.empty() ? &kNothing : value.data(),
               static_cast<DWORD>(value.size()));
  }

  std::optional<std::vector<std::string>> EnumKeys(RootKey root, const std::string& key) override {
    OpenKey k;
    if (!Open(root, key, KEY_READ, &k)) return std::nullopt;
    return Enumerate([&](DWORD index, wchar_t* buffer, DWORD* length) {
      return RegEnumKeyExW(k.handle, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
    });
  }

  std::optional<std::vector<std::string>> EnumValues(RootKey root,
                                                     const std::string& key) override {
    OpenKey k;
    if (!Open(root, key, KEY_READ, &k)) return std::nullopt;
    return Enumerate([&](DWORD index, wchar_t* buffer, DWORD* length) {
      return RegEnumValueW(k.handle, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
    });
  }

  void SetLazyWrite(bool lazy) override { lazy_ = lazy; }
  bool LazyWrite() const override { return lazy_; }
  uint32_t LastError() const override { return error_; }

 private:
  bool Fail(LONG code) {
    error_ = static_cast<uint32_t>(code);
    return false;
  }
  bool Succeed() {
    error_ = ERROR_SUCCESS;
    return true;
  }
  void Flush(HKEY key) {
    if (!lazy_) RegFlushKey(key);
  }

  bool Open(RootKey root, const std::string& key, REGSAM access, OpenKey* out) {
    const HKEY base = RootHandle(root);
    if (base == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const LONG r = RegOpenKeyExW(base, Wide(key).c_str(), 0, access, &out->handle);
    if (r != ERROR_SUCCESS) {
      out->handle = nullptr;
      return Fail(r);
    }
    return Succeed();
  }

  std::optional<RawValue> Query(RootKey root, const std::string& key, const std::string& name) {
    OpenKey k;
    if (!Open(root, key, KEY_QUERY_VALUE, &k)) return std::nullopt;
    const std::wstring wname = Wide(name);
    RawValue v;
    DWORD size = 0;
    LONG r = RegQueryValueExW(k.handle, wname.c_str(), nullptr, &v.type, nullptr, &size);
    for (int round = 0; round < 8 && r == ERROR_SUCCESS; ++round) {
      // Room for a NUL beyond the data, which Windows may write for strings.
      v.data.assign(static_cast<size_t>(size) + sizeof(wchar_t), 0);
      DWORD got = size;
      r = RegQueryValueExW(k.handle, wname.c_str(), nullptr, &v.type, v.data.data(), &got);
      if (r == ERROR_MORE_DATA) {
        size = got;
        r = ERROR_SUCCESS;
        continue;
      }
      if (r != ERROR_SUCCESS) break;
      v.data.resize(std::min<size_t>(got, v.data.size()));
      error_ = ERROR_SUCCESS;
      return v;
    }
    Fail(r == ERROR_SUCCESS ? ERROR_MORE_DATA : r);
    return std::nullopt;
  }

  bool Set(RootKey root, const std::string& key, const std::string& name, DWORD type,
           const BYTE* data, DWORD size) {
    OpenKey k;
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    const LONG r = RegSetValueExW(k.handle, Wide(name).c_str(), 0, type, data, size);
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(k.handle);
    return Succeed();
  }

  template <typename EnumOne>
  std::optional<std::vector<std::string>> Enumerate(EnumOne enum_one) {
    std::vector<std::string> names;
    std::wstring buffer(256, L'\0');
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      LONG r = enum_one(index, buffer.data(), &length);
      if (r == ERROR_MORE_DATA && buffer.size() < 32768) {
        buffer.assign(32768, L'\0');
        length = static_cast<DWORD>(buffer.size());
        r = enum_one(index, buffer.data(), &length);
      }
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS) return Fail(r), std::nullopt;
      names.push_back(Utf8(buffer.data(), std::min<size_t>(length, buffer.size())));
    }
    error_ = ERROR_SUCCESS;
    return names;
  }

  bool lazy_ = true;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IRegistry> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace tmby::platform::win32
