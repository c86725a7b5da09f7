// The registry through advapi32, in the adapter's character set.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/registry_hold.h"
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

// An open key, closed on destruction unless it is a held key lent for the call.
struct OpenKey {
  HKEY handle = nullptr;
  bool held = false;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (handle != nullptr && !held) RegCloseKey(handle);
  }
};

// What a held key is opened for: the writes of values use it.
constexpr REGSAM kHeldAccess = KEY_SET_VALUE;
// A run writes a handful of lists; more keys than this are opened call by call.
constexpr size_t kMostHeldKeys = 8;

// The bytes a value is first read into (a path in wide characters fits).
constexpr DWORD kFirstGuess = 512;

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class Win32Registry : public IRegistry, public IRegistryKeyHold {
 public:
  explicit Win32Registry(ApiCharset charset) : text_(charset) {}
  ~Win32Registry() override { ReleaseKeys(); }
  Win32Registry(const Win32Registry&) = delete;
  Win32Registry& operator=(const Win32Registry&) = delete;

  bool HoldKey(RootKey root, const std::string& key) override {
    if (FindHeld(root, key) != held_.end()) return true;
    if (held_.size() >= kMostHeldKeys) return false;
    OpenKey k;
    if (!Open(root, key, kHeldAccess, &k)) return false;
    held_.push_back(HeldKey{root, key, k.handle});
    k.handle = nullptr;
    return true;
  }

  void ReleaseKeys() override {
    for (const HeldKey& h : held_) RegCloseKey(h.handle);
    held_.clear();
  }

  bool KeyExists(RootKey root, const std::string& key) override {
    OpenKey k;
    return Open(root, key, KEY_READ, &k);
  }

  bool CreateKey(RootKey root, const std::string& key) override {
    const HKEY base = RootHandle(root);
    if (base == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (Absolute(key)) return Fail(ERROR_BAD_PATHNAME);
    OpenKey k;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& name) {
          return RegCreateKeyExT(base, name.c_str(), KEY_READ | KEY_WRITE, &k.handle);
        },
        key);
    if (r != ERROR_SUCCESS) {
      k.handle = nullptr;
      return Fail(r);
    }
    Flush(k.handle);
    return Succeed();
  }

  bool DeleteKey(RootKey root, const std::string& key) override {
    ReleaseKeys();
    DWORD subkeys = 0;
    {
      OpenKey k;
      if (!Open(root, key, KEY_READ, &k)) return false;
      // A root key stays; a key with subkeys is refused on every Windows (9x would delete the
      // whole tree), so that the core's tree removal works the same everywhere.
      if (key.empty() || key == "\\") return Fail(ERROR_ACCESS_DENIED);
      const LONG r = text_.Ansi()
                         ? RegQueryInfoKeyA(k.handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
                         : RegQueryInfoKeyW(k.handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      if (r != ERROR_SUCCESS) return Fail(r);
    }
    if (subkeys > 0) return Fail(ERROR_ACCESS_DENIED);
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& name) { return RegDeleteKeyT(RootHandle(root), name.c_str()); }, key);
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(RootHandle(root));
    return Succeed();
  }

  bool DeleteValue(RootKey root, const std::string& key, const std::string& name) override {
    OpenKey k;
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& value) { return RegDeleteValueT(k.handle, value.c_str()); }, name);
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(k.handle);
    return Succeed();
  }

  std::optional<RegValueType> ValueType(RootKey root, const std::string& key,
                                        const std::string& name) override {
    OpenKey k;
    if (!Open(root, key, KEY_QUERY_VALUE, &k)) return std::nullopt;
    DWORD type = REG_NONE;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& value) {
          return RegQueryValueExT(k.handle, value.c_str(), &type, nullptr, nullptr);
        },
        name);
    if (r != ERROR_SUCCESS) {
      Fail(r);
      return std::nullopt;
    }
    error_ = ERROR_SUCCESS;
    return static_cast<RegValueType>(type);
  }

  std::optional<std::string> ReadString(RootKey root, const std::string& key,
                                        const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_SZ && v->type != REG_EXPAND_SZ) {
      Fail(ERROR_BAD_FILE_TYPE);
      return std::nullopt;
    }
    // The stored text may lack its terminating NUL; read no further than the data.
    return text_.Ansi() ? Text<char>(v->data) : Text<wchar_t>(v->data);
  }

  std::optional<uint32_t> ReadInteger(RootKey root, const std::string& key,
                                      const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_DWORD || v->data.size() != 4) {
      Fail(ERROR_BAD_FILE_TYPE);
      return std::nullopt;
    }
    return static_cast<uint32_t>(v->data[0]) | static_cast<uint32_t>(v->data[1]) << 8 |
           static_cast<uint32_t>(v->data[2]) << 16 | static_cast<uint32_t>(v->data[3]) << 24;
  }

  std::optional<std::vector<uint8_t>> ReadBinary(RootKey root, const std::string& key,
                                                 const std::string& name) override {
    const std::optional<RawValue> v = Query(root, key, name);
    if (!v) return std::nullopt;
    if (v->type != REG_BINARY) {
      Fail(ERROR_BAD_FILE_TYPE);
      return std::nullopt;
    }
    return std::vector<uint8_t>(v->data.begin(), v->data.end());
  }

  bool WriteString(RootKey root, const std::string& key, const std::string& name,
                   const std::string& value, bool expand) override {
    // A value of the ANSI path that the code page cannot hold is not written at all: the system
    // would store other characters in its place.
    const std::string text = value.substr(0, value.find('\0'));
    return WithKeyForWriting(root, key, [&](HKEY handle) {
      return text_.With(
          static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
          [&](const auto& value_name, const auto& api_text) {
            return RegSetValueExT(handle, value_name.c_str(), expand ? REG_EXPAND_SZ : REG_SZ,
                                  reinterpret_cast<const BYTE*>(api_text.c_str()),
                                  static_cast<DWORD>((api_text.size() + 1) * sizeof(api_text[0])));
          },
          name, text);
    });
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
    return Enumerate([&](DWORD index, auto* buffer, DWORD* length) {
      return RegEnumKeyExT(k.handle, index, buffer, length);
    });
  }

  std::optional<std::vector<std::string>> EnumValues(RootKey root,
                                                     const std::string& key) override {
    OpenKey k;
    if (!Open(root, key, KEY_READ, &k)) return std::nullopt;
    return Enumerate([&](DWORD index, auto* buffer, DWORD* length) {
      return RegEnumValueT(k.handle, index, buffer, length);
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

  // A key path with a leading backslash: the NT family refuses it, Windows 9x reads it from the
  // root. The port refuses it on both.
  static bool Absolute(const std::string& key) { return !key.empty() && key[0] == '\\'; }

  bool Open(RootKey root, const std::string& key, REGSAM access, OpenKey* out) {
    const HKEY base = RootHandle(root);
    if (base == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (Absolute(key)) return Fail(ERROR_BAD_PATHNAME);
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& name) { return RegOpenKeyExT(base, name.c_str(), access, &out->handle); },
        key);
    if (r != ERROR_SUCCESS) {
      out->handle = nullptr;
      return Fail(r);
    }
    return Succeed();
  }

  std::optional<RawValue> Query(RootKey root, const std::string& key, const std::string& name) {
    OpenKey k;
    if (!Open(root, key, KEY_QUERY_VALUE, &k)) return std::nullopt;
    RawValue v;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& value) {
          // Most values are short: the first query reads them whole into a buffer of this
          // size, where asking for the size first would take a second call into the system.
          // Only a longer value is asked for its size.
          v.data.assign(kFirstGuess + sizeof(wchar_t), 0);
          DWORD size = kFirstGuess;
          LONG result = RegQueryValueExT(k.handle, value.c_str(), &v.type, v.data.data(), &size);
          if (result == ERROR_SUCCESS) {
            v.data.resize(std::min<size_t>(size, v.data.size()));
            return result;
          }
          if (result == ERROR_MORE_DATA) {
            v.data.clear();
            size = 0;
            result = RegQueryValueExT(k.handle, value.c_str(), &v.type, nullptr, &size);
          }
          for (int round = 0; round < 8 && result == ERROR_SUCCESS; ++round) {
            // Room for a NUL beyond the data, which Windows may write for strings.
            v.data.assign(static_cast<size_t>(size) + sizeof(wchar_t), 0);
            DWORD got = size;
            result = RegQueryValueExT(k.handle, value.c_str(), &v.type, v.data.data(), &got);
            if (result == ERROR_MORE_DATA) {
              size = got;
              result = ERROR_SUCCESS;
              continue;
            }
            if (result == ERROR_SUCCESS) v.data.resize(std::min<size_t>(got, v.data.size()));
            return result;
          }
          return result == ERROR_SUCCESS ? static_cast<LONG>(ERROR_MORE_DATA) : result;
        },
        name);
    if (r != ERROR_SUCCESS) {
      Fail(r);
      return std::nullopt;
    }
    error_ = ERROR_SUCCESS;
    return v;
  }

  // String data up to its first NUL or its end, in the character set of the API that read it.
  template <typename C>
  static std::string Text(const std::vector<BYTE>& data) {
    std::basic_string<C> text(data.size() / sizeof(C), C(0));
    if (!text.empty()) memcpy(text.data(), data.data(), text.size() * sizeof(C));
    const size_t end = text.find(C(0));
    if (end != std::basic_string<C>::npos) text.resize(end);
    return FromApi(text);
  }

  bool Written(const OpenKey& k, LONG r) {
    if (r != ERROR_SUCCESS) return Fail(r);
    Flush(k.handle);
    return Succeed();
  }

  bool Set(RootKey root, const std::string& key, const std::string& name, DWORD type,
           const BYTE* data, DWORD size) {
    return WithKeyForWriting(root, key, [&](HKEY handle) {
      return text_.With(
          static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
          [&](const auto& value) {
            return RegSetValueExT(handle, value.c_str(), type, data, size);
          },
          name);
    });
  }

  // Runs `write` on the key opened for setting values, held or not. A held key deleted by
  // someone else meanwhile is let go and the key opened afresh, so that a key made again after
  // the deletion takes the write.
  template <typename Write>
  bool WithKeyForWriting(RootKey root, const std::string& key, Write write) {
    OpenKey k;
    if (const auto h = FindHeld(root, key); h != held_.end()) {
      k.handle = h->handle;
      k.held = true;
      const LONG r = write(k.handle);
      if (r != ERROR_KEY_DELETED) return Written(k, r);
      Drop(root, key);
      k.handle = nullptr;
      k.held = false;
    }
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    return Written(k, write(k.handle));
  }

  template <typename EnumOne>
  std::optional<std::vector<std::string>> Enumerate(EnumOne enum_one) {
    return text_.Ansi() ? EnumerateAs<char>(enum_one) : EnumerateAs<wchar_t>(enum_one);
  }

  template <typename C, typename EnumOne>
  std::optional<std::vector<std::string>> EnumerateAs(EnumOne enum_one) {
    std::vector<std::string> names;
    std::basic_string<C> buffer(256, C(0));
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      LONG r = enum_one(index, buffer.data(), &length);
      if (r == ERROR_MORE_DATA && buffer.size() < 32768) {
        buffer.assign(32768, C(0));
        length = static_cast<DWORD>(buffer.size());
        r = enum_one(index, buffer.data(), &length);
      }
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS) {
        Fail(r);
        return std::nullopt;
      }
      names.push_back(FromApi(buffer.data(), std::min<size_t>(length, buffer.size())));
    }
    error_ = ERROR_SUCCESS;
    return names;
  }

  struct HeldKey {
    RootKey root;
    std::string key;
    HKEY handle;
  };
  std::vector<HeldKey>::iterator FindHeld(RootKey root, const std::string& key) {
    return std::find_if(held_.begin(), held_.end(),
                        [&](const HeldKey& h) { return h.root == root && h.key == key; });
  }
  void Drop(RootKey root, const std::string& key) {
    const auto h = FindHeld(root, key);
    if (h == held_.end()) return;
    RegCloseKey(h->handle);
    held_.erase(h);
  }

  TextApi text_;
  std::vector<HeldKey> held_;
  bool lazy_ = true;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IRegistry> MakeRegistry(ApiCharset charset) {
  return std::make_unique<Win32Registry>(charset);
}

}  // namespace tmby::platform::win32
