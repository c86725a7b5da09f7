// The registry of the memory adapter: one tree per root key, names compared without regard to case,
// typed values kept as the bytes Windows would hold (strings as UTF-8).
#include "platform/memory/memory_state.h"

namespace tmby::platform::memory {

namespace {

class MemoryRegistry : public IRegistry {
 public:
  explicit MemoryRegistry(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool KeyExists(RootKey root, const std::string& key) override {
    return Find(root, key) != nullptr;
  }

  bool CreateKey(RootKey root, const std::string& key) override {
    std::vector<std::string> parts;
    if (!Split(key, &parts)) return false;
    if (state_->refuse_registry) return Fail(err::kAccessDenied);
    RegNode* node = Root(root);
    if (node == nullptr) return false;
    for (const auto& part : parts) {
      auto& slot = node->subkeys[FoldCase(part)];
      if (!slot) {
        slot = std::make_unique<RegNode>();
        slot->name = part;
      }
      node = slot.get();
    }
    Written();
    return Succeed();
  }

  bool DeleteKey(RootKey root, const std::string& key) override {
    std::vector<std::string> parts;
    if (!Split(key, &parts)) return false;
    if (Find(root, key) == nullptr) return false;
    if (parts.empty()) return Fail(err::kAccessDenied);  // a root key stays
    if (state_->refuse_registry) return Fail(err::kAccessDenied);
    const std::string leaf = parts.back();
    parts.pop_back();
    RegNode* parent = Walk(Root(root), parts);
    auto it = parent->subkeys.find(FoldCase(leaf));
    if (!it->second->subkeys.empty()) return Fail(err::kAccessDenied);
    parent->subkeys.erase(it);
    Written();
    return Succeed();
  }

  bool DeleteValue(RootKey root, const std::string& key, const std::string& name) override {
    RegNode* node = Find(root, key);
    if (node == nullptr) return false;
    if (state_->refuse_registry) return Fail(err::kAccessDenied);
    const std::string folded = FoldCase(name);
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
      if (FoldCase(it->name) == folded) {
        node->values.erase(it);
        Written();
        return Succeed();
      }
    }
    return Fail(err::kFileNotFound);
  }

  std::optional<RegValueType> ValueType(RootKey root, const std::string& key,
                                        const std::string& name) override {
    const RegValue* v = Value(root, key, name);
    if (v == nullptr) return std::nullopt;
    return v->type;
  }

  std::optional<std::string> ReadString(RootKey root, const std::string& key,
                                        const std::string& name) override {
    const RegValue* v = Typed(root, key, name, RegValueType::String, RegValueType::ExpandString);
    if (v == nullptr) return std::nullopt;
    return std::string(v->data.begin(), v->data.end());
  }

  std::optional<uint32_t> ReadInteger(RootKey root, const std::string& key,
                                      const std::string& name) override {
    const RegValue* v = Typed(root, key, name, RegValueType::Integer, RegValueType::Integer);
    if (v == nullptr) return std::nullopt;
    if (v->data.size() != 4) return Fail(err::kBadFileType), std::nullopt;
    return static_cast<uint32_t>(v->data[0]) | static_cast<uint32_t>(v->data[1]) << 8 |
           static_cast<uint32_t>(v->data[2]) << 16 | static_cast<uint32_t>(v->data[3]) << 24;
  }

  std::optional<std::vector<uint8_t>> ReadBinary(RootKey root, const std::string& key,
                                                 const std::string& name) override {
    const RegValue* v = Typed(root, key, name, RegValueType::Binary, RegValueType::Binary);
    if (v == nullptr) return std::nullopt;
    return v->data;
  }

  bool WriteString(RootKey root, const std::string& key, const std::string& name,
                   const std::string& value, bool expand) override {
    // Windows keeps a string up to its first NUL.
    const std::string text = value.substr(0, value.find('\0'));
    return Store(root, key, name, expand ? RegValueType::ExpandString : RegValueType::String,
                 std::vector<uint8_t>(text.begin(), text.end()));
  }

  bool WriteInteger(RootKey root, const std::string& key, const std::string& name,
                    uint32_t value) override {
    return Store(root, key, name, RegValueType::Integer,
                 {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
  }

  bool WriteBinary(RootKey root, const std::string& key, const std::string& name,
                   const std::vector<uint8_t>& value) override {
    return Store(root, key, name, RegValueType::Binary, value);
  }

  std::optional<std::vector<std::string>> EnumKeys(RootKey root, const std::string& key) override {
    const RegNode* node = Find(root, key);
    if (node == nullptr) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [folded, sub] : node->subkeys) names.push_back(sub->name);
    return names;
  }

  std::optional<std::vector<std::string>> EnumValues(RootKey root,
                                                     const std::string& key) override {
    const RegNode* node = Find(root, key);
    if (node == nullptr) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& v : node->values) names.push_back(v.name);
    return names;
  }

  void SetLazyWrite(bool lazy) override { state_->lazy_write = lazy; }
  bool LazyWrite() const override { return state_->lazy_write; }
  uint32_t LastError() const override { return error_; }

 private:
  bool Fail(uint32_t code) {
    error_ = code;
    return false;
  }
  bool Succeed() {
    error_ = err::kSuccess;
    return true;
  }
  void Written() {
    if (!state_->lazy_write) ++state_->flushes;
  }

  RegNode* Root(RootKey root) {
    const int n = static_cast<int>(root);
    if (n < 0 || n > 5) return Fail(err::kInvalidHandle), nullptr;
    return &state_->roots[n];
  }

  // Splits a key path. As in Windows a leading backslash is refused, and doubled or trailing
  // backslashes count as one.
  bool Split(const std::string& key, std::vector<std::string>* parts) {
    parts->clear();
    if (!key.empty() && key[0] == '\\') return Fail(err::kBadPathname);
    size_t start = 0;
    for (size_t i = 0; i <= key.size(); ++i) {
      if (i == key.size() || key[i] == '\\') {
        std::string part = key.substr(start, i - start);
        if (part.size() > 255) return Fail(err::kInvalidParameter);
        if (!part.empty()) parts->push_back(std::move(part));
        start = i + 1;
      }
    }
    return true;
  }

  RegNode* Walk(RegNode* node, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
      if (node == nullptr) break;
      auto it = node->subkeys.find(FoldCase(part));
      node = it == node->subkeys.end() ? nullptr : it->second.get();
    }
    return node;
  }

  RegNode* Find(RootKey root, const std::string& key) {
    std::vector<std::string> parts;
    if (!Split(key, &parts)) return nullptr;
    RegNode* root_node = Root(root);
    if (root_node == nullptr) return nullptr;
    RegNode* node = Walk(root_node, parts);
    if (node == nullptr) return Fail(err::kFileNotFound), nullptr;
    error_ = err::kSuccess;
    return node;
  }

  RegValue* Value(RootKey root, const std::string& key, const std::string& name) {
    RegNode* node = Find(root, key);
    if (node == nullptr) return nullptr;
    RegValue* v = node->FindValue(name);
    if (v == nullptr) Fail(err::kFileNotFound);
    return v;
  }

  RegValue* Typed(RootKey root, const std::string& key, const std::string& name, RegValueType a,
                  RegValueType b) {
    RegValue* v = Value(root, key, name);
    if (v == nullptr) return nullptr;
    if (v->type != a && v->type != b) return Fail(err::kBadFileType), nullptr;
    return v;
  }

  bool Store(RootKey root, const std::string& key, const std::string& name, RegValueType type,
             std::vector<uint8_t> data) {
    RegNode* node = Find(root, key);
    if (node == nullptr) return false;
    if (state_->refuse_registry) return Fail(err::kAccessDenied);
    RegValue* v = node->FindValue(name);
    if (v == nullptr) {
      node->values.push_back(RegValue{name, type, {}});
      v = &node->values.back();
    }
    v->type = type;
    v->data = std::move(data);
    Written();
    return Succeed();
  }

  std::shared_ptr<State> state_;
  uint32_t error_ = err::kSuccess;
};

}  // namespace

std::unique_ptr<IRegistry> MakeRegistry(std::shared_ptr<State> state) {
  return std::make_unique<MemoryRegistry>(std::move(state));
}

}  // namespace tmby::platform::memory
