// The registry through advapi32, in the adapter's character set.
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

// The bytes a value is first read into (a path in wide characters fits).
constexpr DWORD kFirstGuess = 512;

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class Win32Registry : public IRegistry {
 public:
  explicit Win32Registry(ApiCharset charset) : text_(charset) {}

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
    OpenKey k;
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& value_name, const auto& text) {
          return RegSetValueExT(k.handle, value_name.c_str(), expand ? REG_EXPAND_SZ : REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(text[0])));
        },
        name, value.substr(0, value.find('\0')));
    return Written(k, r);
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
    OpenKey k;
    if (!Open(root, key, KEY_SET_VALUE, &k)) return false;
    const LONG r = text_.With(
        static_cast<LONG>(ERROR_NO_UNICODE_TRANSLATION),
        [&](const auto& value) {
          return RegSetValueExT(k.handle, value.c_str(), type, data, size);
        },
        name);
    return Written(k, r);
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

  TextApi text_;
  bool lazy_ = true;
  uint32_t error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<IRegistry> MakeRegistry(ApiCharset charset) {
  return std::make_unique<Win32Registry>(charset);
}

}  // namespace tmby::platform::win32
