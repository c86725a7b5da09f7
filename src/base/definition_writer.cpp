#include "base/definition_writer.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "base/definition_reader.h"
#include "base/text_codec.h"

namespace tmby {

namespace {

constexpr size_t kBytesPerLine = 32;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Writes a string; after each line feed inside it, the rest continues on the next line.
void AppendQuoted(std::string& out, const std::string& text, const std::string& indent) {
  if (text.empty()) {
    out += "''";
    return;
  }
  bool inQuotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsControl(c)) {
      if (inQuotes) out += '\'';
      inQuotes = false;
      out += '#';
      out += std::to_string(c);
      if (c == '\n' && i + 1 < text.size()) out += " +\n" + indent + "  ";
    } else {
      if (!inQuotes) out += '\'';
      inQuotes = true;
      out += static_cast<char>(c);
      if (c == '\'') out += '\'';
    }
  }
  if (inQuotes) out += '\'';
}

class Writer {
 public:
  explicit Writer(const TComponent& root) : root_(root) {
    for (const TComponent* c : root.ComponentList()) {
      owned_.insert(c);
      if (!c->Name().empty()) names_.emplace(Key(c->Name()), c);
    }
  }

  std::string Write() {
    // Blocks inside blocks: children of each component in the root's creation order.
    std::unordered_map<const TComponent*, std::vector<const TComponent*>> children;
    for (const TComponent* c : root_.ComponentList()) {
      const TComponent* parent = c->ParentComponent();
      if (parent == nullptr || owned_.count(parent) == 0) parent = &root_;
      children[parent].push_back(c);
    }
    // Depth-first without recursion: (component, depth, next child index).
    struct Frame {
      const TComponent* c;
      int depth;
      size_t next;
    };
    std::vector<Frame> stack;
    Open(root_, 0);
    stack.push_back({&root_, 0, 0});
    while (!stack.empty()) {
      Frame& top = stack.back();
      const auto& kids = children[top.c];
      if (top.next < kids.size()) {
        const TComponent* kid = kids[top.next++];
        const int depth = top.depth + 1;
        if (depth >= kMaxDefinitionNesting) {
          throw EComponentError("Components nest deeper than %d levels", {kMaxDefinitionNesting});
        }
        Open(*kid, depth);
        stack.push_back({kid, depth, 0});
      } else {
        out_ += Indent(top.depth) + "end\n";
        stack.pop_back();
      }
    }
    return std::move(out_);
  }

 private:
  static std::string Key(const std::string& name) {
    std::string k = name;
    for (char& ch : k) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    }
    return k;
  }
  static std::string Indent(int depth) { return std::string(static_cast<size_t>(depth) * 2, ' '); }

  void Open(const TComponent& c, int depth) {
    if (!c.Name().empty() && !IsValidIdent(c.Name())) {
      throw EComponentError("'%s' is not a valid component name", {c.Name()});
    }
    out_ += Indent(depth) + "object ";
    if (!c.Name().empty()) out_ += c.Name() + ": ";
    out_ += c.ClassName() + "\n";
    Properties(c, std::string(), Indent(depth + 1), 0);
  }

  void Properties(const TPersistent& obj, const std::string& prefix, const std::string& indent,
                  int level) {
    if (level >= kMaxDefinitionPath) {
      throw EComponentError("Settings objects nest deeper than %d levels", {kMaxDefinitionPath});
    }
    for (const TPropInfo* p : obj.ClassInfo().Properties()) {
      if (p->Kind() == TPropKind::pkNested) {
        if (const TPersistent* inner = p->GetObject(obj)) {
          Properties(*inner, prefix + p->Name() + ".", indent, level + 1);
        }
        continue;
      }
      if (!p->IsStored(obj)) continue;
      out_ += indent + prefix + p->Name() + " = ";
      Value(obj, *p, indent);
      out_ += '\n';
    }
  }

  [[noreturn]] static void Unwritable(const TPropInfo& p, const std::string& why) {
    throw EComponentError("Property %s cannot be written: %s", {p.Name(), why});
  }

  // The reader refuses text that is not UTF-8, so the writer never writes it.
  static void Utf8Only(const TPropInfo& p, const std::string& text) {
    if (!IsValidUtf8(text)) Unwritable(p, "the text is not UTF-8");
  }

  void Value(const TPersistent& obj, const TPropInfo& p, const std::string& indent) {
    switch (p.Kind()) {
      case TPropKind::pkInteger: {
        const int64_t n = p.GetOrd(obj);
        if (p.Idents() != nullptr) {
          auto it = std::find_if(p.Idents()->begin(), p.Idents()->end(),
                                 [&](const auto& e) { return e.second == n; });
          if (it != p.Idents()->end()) {
            out_ += it->first;
            return;
          }
        }
        out_ += std::to_string(n);
        return;
      }
      case TPropKind::pkBoolean: out_ += p.GetOrd(obj) != 0 ? "True" : "False"; return;
      case TPropKind::pkEnum: {
        const int64_t n = p.GetOrd(obj);
        if (n < 0 || n >= p.Enum()->Count()) {
          Unwritable(p, "the value " + std::to_string(n) + " has no name");
        }
        out_ += p.Enum()->Name(static_cast<int>(n));
        return;
      }
      case TPropKind::pkSet: {
        const auto bits = static_cast<uint64_t>(p.GetOrd(obj));
        const int count = p.Enum()->Count();
        if (count < 64 && (bits >> count) != 0) Unwritable(p, "the set holds unnamed values");
        out_ += '[';
        bool first = true;
        for (int i = 0; i < count && i < 64; ++i) {
          if ((bits >> i) & 1) {
            if (!first) out_ += ", ";
            first = false;
            out_ += p.Enum()->Name(i);
          }
        }
        out_ += ']';
        return;
      }
      case TPropKind::pkString: {
        const std::string text = p.GetString(obj);
        Utf8Only(p, text);
        AppendQuoted(out_, text, indent);
        return;
      }
      case TPropKind::pkStringList: {
        const TStrings lines = p.GetStrings(obj);
        out_ += '(';
        for (const std::string& line : lines) {
          Utf8Only(p, line);
          out_ += '\n' + indent + "  ";
          AppendQuoted(out_, line, indent + "  ");
        }
        out_ += ')';
        return;
      }
      case TPropKind::pkPicture: {
        static const char* kHex = "0123456789ABCDEF";
        const TBytes bytes = p.GetBytes(obj);
        out_ += '{';
        for (size_t i = 0; i < bytes.size(); ++i) {
          if (i % kBytesPerLine == 0) out_ += '\n' + indent + "  ";
          out_ += kHex[bytes[i] >> 4];
          out_ += kHex[bytes[i] & 15];
        }
        out_ += '}';
        return;
      }
      case TPropKind::pkComponent: {
        const TComponent* c = p.GetComponent(obj);
        if (c == &root_ && !c->Name().empty()) {
          out_ += c->Name();
          return;
        }
        auto it = c->Name().empty() ? names_.end() : names_.find(Key(c->Name()));
        // A name the root shares would be read as the root.
        if (it == names_.end() || it->second != c || SameText(c->Name(), root_.Name())) {
          Unwritable(p, "it refers to a component without a name in this definition");
        }
        out_ += c->Name();
        return;
      }
      case TPropKind::pkEvent: {
        const std::string handler = p.GetHandlerName(obj);
        if (!IsValidIdent(handler) || SameText(handler, "nil")) {
          Unwritable(p, "the handler name '" + handler + "' is not a name");
        }
        out_ += handler;
        return;
      }
      case TPropKind::pkNested: return;
    }
  }

  const TComponent& root_;
  std::unordered_set<const TComponent*> owned_;
  std::unordered_map<std::string, const TComponent*> names_;
  std::string out_;
};

}  // namespace

std::string QuoteDefinitionString(const std::string& text) {
  std::string out;
  AppendQuoted(out, text, std::string());
  return out;
}

std::string WriteDefinition(const TComponent& root) { return Writer(root).Write(); }

}  // namespace tmby
