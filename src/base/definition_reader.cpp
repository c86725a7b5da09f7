#include "base/definition_reader.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "base/text_codec.h"

namespace tmby {

namespace {

std::string Place(const std::string& file, int line, int column) {
  std::string at = "line " + std::to_string(line) + ", column " + std::to_string(column);
  return file.empty() ? at : file + ", " + at;
}

}  // namespace

EDefinitionError::EDefinitionError(std::string fileName, int line, int column, std::string problem)
    : Exception(Place(fileName, line, column) + ": " + problem),
      fileName_(std::move(fileName)),
      line_(line),
      column_(column),
      problem_(std::move(problem)) {}

namespace {

struct TPos {
  int line = 1;
  int column = 1;
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Tokens

enum class TokKind { End, Ident, Integer, String, Binary, Symbol };

struct Token {
  TokKind kind = TokKind::End;
  TPos pos;
  std::string text;  // identifier, decoded string
  uint64_t number = 0;
  TBytes bytes;
  char symbol = 0;
};

std::string Describe(const Token& t) {
  switch (t.kind) {
    case TokKind::End: return "the end of the definition";
    case TokKind::Ident: return Quote(t.text);
    case TokKind::Integer: return "the number " + std::to_string(t.number);
    case TokKind::String: return "a quoted string";
    case TokKind::Binary: return "binary data";
    case TokKind::Symbol: return Quote(std::string(1, t.symbol));
  }
  return "something else";
}

class Failer {
 public:
  explicit Failer(const std::string& file) : file_(file) {}
  [[noreturn]] void Fail(TPos pos, const std::string& problem) const {
    throw EDefinitionError(file_, pos.line, pos.column, problem);
  }
  // Adds the place to a misuse of the component model (a bad name, a value of the wrong class)
  // raised while a component was being read. Failures of constructors and post-load steps keep
  // their exact message: they are what the user is shown.
  void Decorate(Exception& e, TPos pos) const {
    if (dynamic_cast<EComponentError*>(&e) == nullptr &&
        dynamic_cast<EConvertError*>(&e) == nullptr &&
        dynamic_cast<EPropertyError*>(&e) == nullptr) {
      return;
    }
    Append(e, pos);
  }
  // Adds the place to any failure of a setter (a cycle of containers, a group in a directory):
  // the value on that line is its cause. The silent abort stays as it is.
  void DecorateValue(Exception& e, TPos pos) const {
    if (dynamic_cast<EDefinitionError*>(&e) != nullptr || dynamic_cast<EAbort*>(&e) != nullptr) {
      return;
    }
    Append(e, pos);
  }
  void Append(Exception& e, TPos pos) const {
    e.SetMessage(e.Message() + " (" + Place(file_, pos.line, pos.column) + ")");
  }
  const std::string& File() const { return file_; }

 private:
  const std::string& file_;
};

class Lexer {
 public:
  Lexer(std::string_view text, const Failer& failer) : text_(text), fail_(failer) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;  // UTF-8 byte order mark
    RefuseInvalidUtf8();
  }

  Token Next() {
    SkipBlanks();
    Token t;
    t.pos = pos_;
    if (i_ >= text_.size()) return t;
    const char c = text_[i_];
    if (IsIdentStart(c)) {
      t.kind = TokKind::Ident;
      while (i_ < text_.size() && IsIdentChar(text_[i_])) {
        t.text += Take();
        if (t.text.size() > kMaxDefinitionName) {
          fail_.Fail(t.pos,
                     "name longer than " + std::to_string(kMaxDefinitionName) + " characters");
        }
      }
    } else if (IsDigit(c) || c == '$') {
      t.kind = TokKind::Integer;
      t.number = Number(t.pos);
    } else if (c == '\'' || c == '#') {
      t.kind = TokKind::String;
      t.text = StringPieces(t.pos, 0);
    } else if (c == '{') {
      t.kind = TokKind::Binary;
      t.bytes = Binary(t.pos);
    } else if (std::string_view("=:.,[]()+-").find(c) != std::string_view::npos) {
      t.kind = TokKind::Symbol;
      t.symbol = Take();
    } else {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x20 && byte < 0x7F) {
        fail_.Fail(pos_, "unexpected character " + Quote(std::string(1, c)));
      }
      fail_.Fail(pos_,
                 std::string("unexpected byte 0x") + kHexDigits[byte >> 4] + kHexDigits[byte & 15]);
    }
    return t;
  }

  // Continues a string token after "+": the next pieces, appended to `sofar`.
  bool AtStringPiece() {
    SkipBlanks();
    return i_ < text_.size() && (text_[i_] == '\'' || text_[i_] == '#');
  }

 private:
  static bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The kit's strings are UTF-8: a definition that is not would reach the registry and the file
  // system as names that no one wrote, so it is refused where it goes wrong.
  void RefuseInvalidUtf8() {
    const size_t bad = FindInvalidUtf8(text_.substr(i_));
    if (bad == std::string_view::npos) return;
    const size_t begin = i_;
    while (i_ < begin + bad) Take();
    const auto byte = static_cast<unsigned char>(text_[i_]);
    fail_.Fail(pos_, std::string("invalid UTF-8 at byte 0x") + kHexDigits[byte >> 4] +
                         kHexDigits[byte & 15]);
  }

  char Take() {
    const char c = text_[i_++];
    if (c == '\n') {
      ++pos_.line;
      pos_.column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++pos_.column;  // count characters, not the continuation bytes of UTF-8
    }
    return c;
  }

  void SkipBlanks() {
    while (i_ < text_.size()) {
      const char c = text_[i_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Take();
      } else if (c == '/' && i_ + 1 < text_.size() && text_[i_ + 1] == '/') {
        while (i_ < text_.size() && text_[i_] != '\n') Take();
      } else {
        break;
      }
    }
  }

  // Decimal digits, or "$" and hexadecimal digits; at most the largest 64-bit signed value.
  uint64_t Number(TPos start) {
    const bool hex = text_[i_] == '$';
    if (hex) Take();
    const uint64_t base = hex ? 16 : 10;
    uint64_t value = 0;
    int digits = 0;
    while (i_ < text_.size()) {
      const int d = hex ? HexValue(text_[i_]) : (IsDigit(text_[i_]) ? text_[i_] - '0' : -1);
      if (d < 0) break;
      Take();
      ++digits;
      if (value > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) - d) / base) {
        fail_.Fail(start, "number too large");
      }
      value = value * base + static_cast<uint64_t>(d);
    }
    if (digits == 0) fail_.Fail(start, "expected hexadecimal digits after \"$\"");
    if (i_ < text_.size() && IsIdentChar(text_[i_])) {
      fail_.Fail(pos_,
                 "expected a blank after the number, found " + Quote(std::string(1, text_[i_])));
    }
    return value;
  }

  void Append(std::string& out, const std::string& piece, TPos start) {
    if (out.size() + piece.size() > kMaxDefinitionValue) {
      fail_.Fail(start, "string longer than " + std::to_string(kMaxDefinitionValue) + " bytes");
    }
    out += piece;
  }

 public:
  // Quoted pieces and character codes written next to each other.
  std::string StringPieces(TPos start, size_t already) {
    std::string out;
    std::string piece;
    while (i_ < text_.size() && (text_[i_] == '\'' || text_[i_] == '#')) {
      piece.clear();
      const TPos at = pos_;
      if (Take() == '\'') {
        for (;;) {
          if (i_ >= text_.size() || text_[i_] == '\n' || text_[i_] == '\r') {
            fail_.Fail(at, "string not closed before the end of the line: expected \"'\"");
          }
          const char c = Take();
          if (c == '\'') {
            if (i_ < text_.size() && text_[i_] == '\'') {
              Take();
              piece += '\'';
            } else {
              break;
            }
          } else {
            piece += c;
          }
          if (piece.size() > kMaxDefinitionValue) break;
        }
      } else {
        if (i_ >= text_.size() || (!IsDigit(text_[i_]) && text_[i_] != '$')) {
          fail_.Fail(at, "expected a character code after \"#\"");
        }
        const uint64_t code = Number(at);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
          fail_.Fail(at, "character code " + std::to_string(code) + " is not a character");
        }
        AppendUtf8(piece, static_cast<char32_t>(code));
      }
      Append(out, piece, start);
      if (out.size() + already > kMaxDefinitionValue) {
        fail_.Fail(start, "string longer than " + std::to_string(kMaxDefinitionValue) + " bytes");
      }
    }
    return out;
  }

 private:
  TBytes Binary(TPos start) {
    Take();  // "{"
    TBytes out;
    int high = -1;
    for (;;) {
      if (i_ >= text_.size()) fail_.Fail(start, "binary data not closed: expected \"}\"");
      const char c = text_[i_];
      if (c == '}') {
        if (high >= 0) fail_.Fail(pos_, "odd number of hexadecimal digits before \"}\"");
        Take();
        return out;
      }
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Take();
        continue;
      }
      const int d = HexValue(c);
      if (d < 0) {
        fail_.Fail(pos_,
                   "expected a hexadecimal digit or \"}\", found " + Quote(std::string(1, c)));
      }
      Take();
      if (high < 0) {
        high = d;
      } else {
        if (out.size() >= kMaxDefinitionValue) {
          fail_.Fail(start,
                     "binary data longer than " + std::to_string(kMaxDefinitionValue) + " bytes");
        }
        out.push_back(static_cast<uint8_t>(high * 16 + d));
        high = -1;
      }
    }
  }

  std::string_view text_;
  const Failer& fail_;
  size_t i_ = 0;
  TPos pos_;
};

// ---------------------------------------------------------------------------------------------
// The parsed tree

struct Value {
  enum Kind { Integer, String, Ident, Set, List, Binary } kind = Integer;
  TPos pos;
  int64_t integer = 0;
  std::string text;
  std::vector<std::string> items;
  std::vector<TPos> itemPos;
  TBytes bytes;
};

std::string Describe(const Value& v) {
  switch (v.kind) {
    case Value::Integer: return "the number " + std::to_string(v.integer);
    case Value::String: return "a quoted string";
    case Value::Ident: return "the name " + Quote(v.text);
    case Value::Set: return "a set in [ ]";
    case Value::List: return "a list in ( )";
    case Value::Binary: return "binary data in { }";
  }
  return "a value";
}

struct PropNode {
  std::vector<std::string> path;
  std::vector<TPos> pathPos;
  Value value;
};

struct ObjectNode {
  TPos pos;
  std::string name;
  TPos namePos;
  std::string cls;
  TPos classPos;
  std::vector<PropNode> props;
  std::vector<std::unique_ptr<ObjectNode>> children;
};

class Parser {
 public:
  Parser(std::string_view text, const Failer& failer) : lex_(text, failer), fail_(failer) {
    Advance();
  }

  std::unique_ptr<ObjectNode> Definition() {
    auto root = Object(1);
    if (cur_.kind != TokKind::End) {
      fail_.Fail(cur_.pos,
                 "expected the end of the definition after the root object's \"end\", "
                 "found " +
                     Describe(cur_));
    }
    return root;
  }

 private:
  void Advance() { cur_ = lex_.Next(); }
  bool IsWord(const char* word) const {
    return cur_.kind == TokKind::Ident && SameText(cur_.text, word);
  }
  bool IsSymbol(char c) const { return cur_.kind == TokKind::Symbol && cur_.symbol == c; }

  std::string ExpectIdent(const std::string& what) {
    if (cur_.kind != TokKind::Ident)
      fail_.Fail(cur_.pos, "expected " + what + ", found " + Describe(cur_));
    std::string s = cur_.text;
    Advance();
    return s;
  }

  std::unique_ptr<ObjectNode> Object(int depth) {
    if (depth > kMaxDefinitionNesting) {
      fail_.Fail(cur_.pos,
                 "objects nested deeper than " + std::to_string(kMaxDefinitionNesting) + " levels");
    }
    if (++objects_ > kMaxDefinitionObjects) {
      fail_.Fail(cur_.pos, "more than " + std::to_string(kMaxDefinitionObjects) + " objects");
    }
    auto node = std::make_unique<ObjectNode>();
    node->pos = cur_.pos;
    if (!IsWord("object")) fail_.Fail(cur_.pos, "expected \"object\", found " + Describe(cur_));
    Advance();
    node->classPos = cur_.pos;
    node->cls = ExpectIdent("a component name or a class name");
    if (IsSymbol(':')) {
      Advance();
      node->name = std::move(node->cls);
      node->namePos = node->classPos;
      node->classPos = cur_.pos;
      node->cls = ExpectIdent("a class name after \":\"");
    }
    for (;;) {
      if (cur_.kind == TokKind::End) {
        fail_.Fail(cur_.pos, "unexpected end of the definition: expected \"end\" closing object " +
                                 (node->name.empty() ? node->cls : node->name) + " (line " +
                                 std::to_string(node->pos.line) + ")");
      }
      if (IsWord("end")) {
        Advance();
        return node;
      }
      if (IsWord("object")) {
        node->children.push_back(Object(depth + 1));
        continue;
      }
      if (cur_.kind != TokKind::Ident) {
        fail_.Fail(cur_.pos,
                   "expected a property name, \"object\" or \"end\", found " + Describe(cur_));
      }
      if (!node->children.empty()) {
        fail_.Fail(cur_.pos, "property " + Quote(cur_.text) +
                                 " after a nested object: properties come first in a block");
      }
      node->props.push_back(Property());
    }
  }

  PropNode Property() {
    PropNode p;
    p.pathPos.push_back(cur_.pos);
    p.path.push_back(ExpectIdent("a property name"));
    while (IsSymbol('.')) {
      Advance();
      if (static_cast<int>(p.path.size()) >= kMaxDefinitionPath) {
        fail_.Fail(cur_.pos,
                   "property name with more than " + std::to_string(kMaxDefinitionPath) + " parts");
      }
      p.pathPos.push_back(cur_.pos);
      p.path.push_back(ExpectIdent("a property name after \".\""));
    }
    if (!IsSymbol('=')) {
      fail_.Fail(cur_.pos, "expected \"=\" after the property name " + Quote(p.path.back()) +
                               ", found " + Describe(cur_));
    }
    Advance();
    p.value = ParseValue();
    return p;
  }

  // A string token and whatever "+" joins to it.
  std::string JoinedString() {
    const TPos start = cur_.pos;
    std::string s = std::move(cur_.text);
    Advance();
    while (IsSymbol('+')) {
      if (!lex_.AtStringPiece()) {
        Advance();
        fail_.Fail(cur_.pos, "expected a quoted string after \"+\", found " + Describe(cur_));
      }
      s += lex_.StringPieces(start, s.size());
      Advance();
    }
    return s;
  }

  Value ParseValue() {
    Value v;
    v.pos = cur_.pos;
    if (IsSymbol('-') || IsSymbol('+') || cur_.kind == TokKind::Integer) {
      bool negative = false;
      if (cur_.kind == TokKind::Symbol) {
        negative = cur_.symbol == '-';
        Advance();
        if (cur_.kind != TokKind::Integer) {
          fail_.Fail(cur_.pos, "expected digits after the sign, found " + Describe(cur_));
        }
      }
      v.kind = Value::Integer;
      v.integer = static_cast<int64_t>(cur_.number);
      if (negative) v.integer = -v.integer;
      Advance();
    } else if (cur_.kind == TokKind::String) {
      v.kind = Value::String;
      v.text = JoinedString();
    } else if (cur_.kind == TokKind::Ident) {
      v.kind = Value::Ident;
      v.text = cur_.text;
      Advance();
    } else if (cur_.kind == TokKind::Binary) {
      v.kind = Value::Binary;
      v.bytes = std::move(cur_.bytes);
      Advance();
    } else if (IsSymbol('[')) {
      v.kind = Value::Set;
      Advance();
      if (!IsSymbol(']')) {
        for (;;) {
          v.itemPos.push_back(cur_.pos);
          v.items.push_back(ExpectIdent("an enumerator name in the set"));
          if (v.items.size() > 1024) fail_.Fail(v.pos, "set with more than 1024 names");
          if (IsSymbol(']')) break;
          if (!IsSymbol(','))
            fail_.Fail(cur_.pos, "expected \",\" or \"]\" in the set, found " + Describe(cur_));
          Advance();
        }
      }
      Advance();
    } else if (IsSymbol('(')) {
      v.kind = Value::List;
      Advance();
      size_t total = 0;
      while (!IsSymbol(')')) {
        if (cur_.kind != TokKind::String) {
          fail_.Fail(cur_.pos,
                     "expected a quoted string or \")\" in the list, found " + Describe(cur_));
        }
        v.items.push_back(JoinedString());
        total += v.items.back().size() + 1;
        if (total > kMaxDefinitionValue) {
          fail_.Fail(v.pos, "list longer than " + std::to_string(kMaxDefinitionValue) + " bytes");
        }
      }
      Advance();
    } else {
      fail_.Fail(cur_.pos,
                 "expected a value (a number, a quoted string, a name, [set], (list) or "
                 "{binary}), found " +
                     Describe(cur_));
    }
    return v;
  }

  Lexer lex_;
  const Failer& fail_;
  Token cur_;
  int objects_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Building the components

// Learns which components are destroyed while the definition is read.
class TReadTracker : public TComponent {
 public:
  TReadTracker() : TComponent(nullptr) {}
  ~TReadTracker() override {
    for (TComponent* c : watched_) {
      if (gone_.count(c) == 0) RemoveFreeNotification(c);
    }
  }
  void Watch(TComponent* c) {
    gone_.erase(c);
    watched_.insert(c);
    FreeNotification(c);
  }
  bool Alive(TComponent* c) const { return gone_.count(c) == 0; }
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) gone_.insert(component);
    TComponent::Notification(component, operation);
  }

 private:
  std::unordered_set<TComponent*> watched_;
  std::unordered_set<TComponent*> gone_;
};

struct Fixup {
  TComponent* holder;
  TPersistent* target;
  const TPropInfo* prop;
  std::string name;
  TPos pos;
};

std::string EnumNames(const TEnumInfo& e) {
  std::string s;
  for (int i = 0; i < e.Count(); ++i) s += (i ? ", " : "") + e.Name(i);
  return s;
}

class Builder {
 public:
  Builder(const Failer& failer, const TDefinitionOptions& options)
      : fail_(failer),
        classes_(options.Classes != nullptr ? *options.Classes : ClassRegistry()),
        handlers_(options.Handlers != nullptr ? *options.Handlers : EventHandlers()),
        options_(options) {}

  // Takes the tree apart as it goes: each object's block is let go once its component is made,
  // so a large definition's tree and its components do not both stand at full size.
  void Build(TComponent& root, ObjectNode& node) {
    if (options_.Designing) root.SetDesigning(true);
    root.SetLoading(true);
    created_.push_back(&root);
    createdAt_.push_back(node.pos);
    if (!node.name.empty() && node.name != root.Name()) {
      try {
        root.SetName(node.name);
      } catch (Exception& e) {
        fail_.Decorate(e, node.namePos);
        throw;
      }
    }
    for (const PropNode& p : node.props) Assign(root, p);
    CreateChildren(root, nullptr, node);
    ResolveReferences(root);
    for (size_t i = 0; i < created_.size(); ++i) {
      TComponent* c = created_[i];
      if (c != &root && !tracker_.Alive(c)) continue;
      try {
        c->Loaded();
      } catch (Exception& e) {
        fail_.Decorate(e, createdAt_[i]);
        throw;
      }
      if (c == &root || tracker_.Alive(c)) c->SetLoading(false);
    }
  }

  // Destroys what was created, the last first; the root stays.
  void Undo(TComponent& root, const std::vector<TComponent*>& before) {
    for (size_t i = created_.size(); i > 1; --i) {
      TComponent* c = created_[i - 1];
      if (tracker_.Alive(c)) TComponent::Free(c);
    }
    // Components that the created ones made in their constructors.
    const std::unordered_set<TComponent*> kept(before.begin(), before.end());
    for (size_t i = root.ComponentCount(); i > 0; --i) {
      if (i > static_cast<size_t>(root.ComponentCount())) continue;
      TComponent* c = root.Components(static_cast<int>(i - 1));
      if (kept.count(c) == 0) TComponent::Free(c);
    }
    for (TComponent* c : root.ComponentList()) c->SetLoading(false);
    root.SetLoading(false);
  }

 private:
  void Create(TComponent& root, TComponent* parent, ObjectNode& node) {
    const TClassInfo* cls = classes_.Find(node.cls);
    if (cls == nullptr) {
      fail_.Fail(node.classPos, "unknown class " + node.cls + ": expected a registered class name");
    }
    if (!cls->IsComponent()) {
      fail_.Fail(node.classPos, "class " + cls->Name() + " is not a component class");
    }
    if (!cls->CanCreate()) {
      fail_.Fail(node.classPos, "class " + cls->Name() + " cannot be created (it is abstract)");
    }
    TComponent* c = nullptr;
    try {
      c = cls->Create(&root);
    } catch (Exception& e) {
      fail_.Decorate(e, node.pos);
      throw;
    }
    tracker_.Watch(c);
    created_.push_back(c);
    createdAt_.push_back(node.pos);
    c->SetLoading(true);
    if (!node.name.empty()) {
      try {
        c->SetName(node.name);
      } catch (EComponentError& e) {
        fail_.Fail(node.namePos, e.Message());
      } catch (Exception& e) {
        fail_.Decorate(e, node.namePos);
        throw;
      }
    }
    if (parent != nullptr) {
      try {
        c->SetParentComponent(parent);
      } catch (Exception& e) {
        fail_.Decorate(e, node.pos);
        throw;
      }
    }
    for (const PropNode& p : node.props) Assign(*c, p);
    node.props = {};
    CreateChildren(root, c, node);
  }

  // The components of the blocks nested in `node`, each block let go once its component is made.
  void CreateChildren(TComponent& root, TComponent* parent, ObjectNode& node) {
    for (auto& child : node.children) {
      Create(root, parent, *child);
      child.reset();
    }
  }

  [[noreturn]] void Unknown(const TPersistent& target, const std::string& name, TPos pos) {
    fail_.Fail(pos, target.ClassName() + " has no published property " + Quote(name));
  }

  [[noreturn]] void WrongValue(const TPropInfo& p, const Value& v, const std::string& expected) {
    fail_.Fail(v.pos, p.Name() + " is " + (p.Kind() == TPropKind::pkInteger ? "an " : "a ") +
                          PropKindName(p.Kind()) + " property: expected " + expected + ", found " +
                          Describe(v));
  }

  void Assign(TComponent& comp, const PropNode& node) {
    TPersistent* target = &comp;
    const TPropInfo* prop = nullptr;
    for (size_t i = 0; i < node.path.size(); ++i) {
      prop = target->ClassInfo().FindProperty(node.path[i]);
      if (prop == nullptr) Unknown(*target, node.path[i], node.pathPos[i]);
      if (i + 1 == node.path.size()) break;
      if (prop->Kind() != TPropKind::pkNested) {
        fail_.Fail(node.pathPos[i + 1], prop->Name() + " is a " + PropKindName(prop->Kind()) +
                                            " property, not a settings object: expected \"=\"");
      }
      target = prop->GetObject(*target);
      if (target == nullptr) {
        fail_.Fail(node.pathPos[i], "settings object " + prop->Name() + " is not present");
      }
    }
    if (prop->Kind() == TPropKind::pkNested) {
      fail_.Fail(node.value.pos, prop->Name() + " is a settings object: expected " + prop->Name() +
                                     ".<property> = <value>");
    }
    if (prop->ReadOnly()) {
      fail_.Fail(node.pathPos.back(),
                 "property " + prop->Name() + " of " + target->ClassName() + " is read-only");
    }
    try {
      Store(comp, *target, *prop, node.value);
    } catch (Exception& e) {
      fail_.DecorateValue(e, node.pathPos.front());
      throw;
    }
  }

  void Store(TComponent& comp, TPersistent& target, const TPropInfo& p, const Value& v) {
    switch (p.Kind()) {
      case TPropKind::pkInteger: {
        int64_t n = v.integer;
        if (v.kind == Value::Ident && p.Idents() != nullptr) {
          auto it = std::find_if(p.Idents()->begin(), p.Idents()->end(),
                                 [&](const auto& e) { return SameText(e.first, v.text); });
          if (it == p.Idents()->end()) {
            fail_.Fail(v.pos, "unknown constant " + Quote(v.text) + " for " + p.Name() +
                                  ": expected an integer or a named constant of it");
          }
          n = it->second;
        } else if (v.kind != Value::Integer) {
          WrongValue(p, v, "an integer");
        }
        if (n < p.MinValue() || n > p.MaxValue()) {
          fail_.Fail(v.pos, "the value " + std::to_string(n) + " is out of range for " + p.Name() +
                                " (" + std::to_string(p.MinValue()) + " to " +
                                std::to_string(p.MaxValue()) + ")");
        }
        p.SetOrd(target, n);
        return;
      }
      case TPropKind::pkBoolean: {
        if (v.kind != Value::Ident || (!SameText(v.text, "True") && !SameText(v.text, "False"))) {
          WrongValue(p, v, "True or False");
        }
        p.SetOrd(target, SameText(v.text, "True") ? 1 : 0);
        return;
      }
      case TPropKind::pkEnum: {
        const TEnumInfo& e = *p.Enum();
        if (v.kind != Value::Ident) WrongValue(p, v, "one of " + EnumNames(e));
        const int ord = e.Ordinal(v.text);
        if (ord < 0) {
          fail_.Fail(v.pos, Quote(v.text) + " is not a value of " + e.TypeName() +
                                ": expected one of " + EnumNames(e));
        }
        p.SetOrd(target, ord);
        return;
      }
      case TPropKind::pkSet: {
        const TEnumInfo& e = *p.Enum();
        if (v.kind != Value::Set) WrongValue(p, v, "a set [ ] of " + e.TypeName() + " values");
        int64_t bits = 0;
        for (size_t i = 0; i < v.items.size(); ++i) {
          const int ord = e.Ordinal(v.items[i]);
          if (ord < 0 || ord > 62) {
            fail_.Fail(v.itemPos[i], Quote(v.items[i]) + " is not a value of " + e.TypeName() +
                                         ": expected one of " + EnumNames(e));
          }
          bits |= int64_t{1} << ord;
        }
        p.SetOrd(target, bits);
        return;
      }
      case TPropKind::pkString:
        if (v.kind != Value::String) WrongValue(p, v, "a quoted string");
        p.SetString(target, v.text);
        return;
      case TPropKind::pkStringList:
        if (v.kind != Value::List) WrongValue(p, v, "a list of quoted strings in ( )");
        p.SetStrings(target, v.items);
        return;
      case TPropKind::pkPicture:
        if (v.kind != Value::Binary) WrongValue(p, v, "binary data in { }");
        p.SetBytes(target, v.bytes);
        return;
      case TPropKind::pkComponent:
        if (v.kind != Value::Ident) WrongValue(p, v, "a component name or nil");
        // Resolved later in file order; nil (an empty name) takes its turn among them, so the
        // last line for a property wins.
        fixups_.push_back(
            Fixup{&comp, &target, &p, SameText(v.text, "nil") ? std::string() : v.text, v.pos});
        return;
      case TPropKind::pkEvent: {
        if (v.kind != Value::Ident) WrongValue(p, v, "an event handler name or nil");
        if (SameText(v.text, "nil")) {
          p.ClearHandler(target);
          return;
        }
        const std::any* code = handlers_.Find(v.text);
        if (code == nullptr) {
          if (!options_.KeepUnknownHandlers) {
            fail_.Fail(v.pos, "no event handler named " + Quote(v.text) +
                                  " is registered: expected the name of a handler of the program");
          }
          p.SetHandlerName(target, v.text);
        } else if (!p.BindHandler(target, v.text, *code)) {
          fail_.Fail(v.pos, "event handler " + Quote(v.text) + " does not fit " + p.Name() +
                                ": its parameters differ");
        }
        return;
      }
      case TPropKind::pkNested: return;
    }
  }

  void ResolveReferences(TComponent& root) {
    std::unordered_map<std::string, TComponent*> byName;
    for (TComponent* c : root.ComponentList()) {
      if (c->Name().empty()) continue;
      byName.emplace(Lower(c->Name()), c);
      tracker_.Watch(c);
    }
    for (const Fixup& f : fixups_) {
      if (!tracker_.Alive(f.holder)) continue;
      TComponent* found = nullptr;
      if (f.name.empty()) {
        // nil
      } else if (!root.Name().empty() && SameText(root.Name(), f.name)) {
        found = &root;
      } else {
        auto it = byName.find(Lower(f.name));
        if (it != byName.end() && tracker_.Alive(it->second)) found = it->second;
      }
      if (found == nullptr && !f.name.empty()) {
        fail_.Fail(f.pos, "unresolved reference: no component named " + Quote(f.name) + " for " +
                              f.prop->Name() +
                              " (expected a component of this "
                              "definition)");
      }
      const TClassInfo* needed = f.prop->PropClass();
      if (found != nullptr && needed != nullptr && !found->InheritsFrom(*needed)) {
        fail_.Fail(f.pos, Quote(f.name) + " is a " + found->ClassName() + ", but " +
                              f.prop->Name() + " expects a " + needed->Name());
      }
      try {
        f.prop->SetComponent(*f.target, found);
      } catch (Exception& e) {
        fail_.DecorateValue(e, f.pos);
        throw;
      }
    }
  }

  const Failer& fail_;
  const TClassRegistry& classes_;
  const TEventHandlers& handlers_;
  const TDefinitionOptions& options_;
  TReadTracker tracker_;
  std::vector<TComponent*> created_;
  std::vector<TPos> createdAt_;
  std::vector<Fixup> fixups_;
};

std::unique_ptr<ObjectNode> Parse(std::string_view text, const Failer& failer) {
  if (text.size() > kMaxDefinitionSize) {
    failer.Fail(TPos{}, "definition larger than " + std::to_string(kMaxDefinitionSize) + " bytes");
  }
  Parser parser(text, failer);
  return parser.Definition();
}

void BuildInto(TComponent& root, ObjectNode& node, const Failer& failer,
               const TDefinitionOptions& options) {
  const std::vector<TComponent*> before = root.ComponentList();
  Builder builder(failer, options);
  try {
    builder.Build(root, node);
  } catch (...) {
    builder.Undo(root, before);
    throw;
  }
}

}  // namespace

TOwned<TComponent> ReadDefinition(std::string_view text, const std::string& fileName,
                                  const TDefinitionOptions& options) {
  const Failer failer(fileName);
  auto node = Parse(text, failer);
  const TClassRegistry& classes = options.Classes != nullptr ? *options.Classes : ClassRegistry();
  const TClassInfo* cls = classes.Find(node->cls);
  if (cls == nullptr) {
    failer.Fail(node->classPos,
                "unknown class " + node->cls + ": expected a registered class name");
  }
  if (!cls->IsComponent() || !cls->CanCreate()) {
    failer.Fail(node->classPos, "class " + cls->Name() + " cannot be created as the root");
  }
  TOwned<TComponent> root;
  try {
    root.reset(cls->Create(nullptr));
  } catch (Exception& e) {
    failer.Decorate(e, TPos{node->pos});
    throw;
  }
  BuildInto(*root, *node, failer, options);
  return root;
}

void ReadDefinitionInto(TComponent& root, std::string_view text, const std::string& fileName,
                        const TDefinitionOptions& options) {
  const Failer failer(fileName);
  auto node = Parse(text, failer);
  if (!SameText(node->cls, root.ClassName())) {
    failer.Fail(node->classPos, "expected the class " + root.ClassName() +
                                    " for the root object, "
                                    "found " +
                                    node->cls);
  }
  BuildInto(root, *node, failer, options);
}

}  // namespace tmby
