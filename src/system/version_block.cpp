#include "system/version_block.h"

#include <algorithm>
#include <utility>

#include "base/text_codec.h"

namespace tmby {

namespace {

constexpr char kRootKey[] = "VS_VERSION_INFO";

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Nodes are aligned on four bytes from the start of the block.
size_t Align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ANSI text of the 16-bit layout up to its NUL, read as Windows-1252 (Western Windows).
std::string AnsiText(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  return Cp1252ToUtf8(text.substr(0, text.find('\0')));
}

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

TVersionBlock::TVersionBlock(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() > kMaxSize) bytes_.resize(kMaxSize);
  // The 32-bit layout has a type word (0 or 1) before a UTF-16 key; the 16-bit layout has the
  // ANSI key right after the two length words.
  for (bool sixteen : {false, true}) {
    sixteen_bit_ = sixteen;
    auto root = ParseNode(0, bytes_.size());
    if (root && root->key == kRootKey) {
      root_length_ = root->end;
      return;
    }
  }
  sixteen_bit_ = false;
  root_length_ = 0;
}

std::optional<TVersionBlock::Node> TVersionBlock::ParseNode(size_t offset, size_t limit) const {
  const size_t header = sixteen_bit_ ? 4 : 6;
  if (offset > limit || limit - offset < header) return std::nullopt;
  const size_t length = U16(bytes_, offset);
  const size_t value_length = U16(bytes_, offset + 2);
  if (length < header || length > limit - offset) return std::nullopt;

  Node node;
  node.start = offset;
  node.end = offset + length;
  size_t pos = offset + header;
  if (sixteen_bit_) {
    const size_t key_start = pos;
    while (pos < node.end && bytes_[pos] != 0) ++pos;
    if (pos >= node.end) return std::nullopt;  // the key must end inside the node
    node.key = AnsiText(bytes_.data() + key_start, pos - key_start);
    ++pos;
    node.text = true;
  } else {
    node.text = U16(bytes_, offset + 4) == 1;
    const size_t key_start = pos;
    while (pos + 1 < node.end && U16(bytes_, pos) != 0) pos += 2;
    if (pos + 1 >= node.end) return std::nullopt;
    node.key = Utf16LeToUtf8(bytes_.data() + key_start, (pos - key_start) / 2);
    pos += 2;
  }
  // A text value of the 32-bit layout counts characters, every other value counts bytes.
  const size_t value_bytes = node.text && !sixteen_bit_ ? value_length * 2 : value_length;
  node.value_start = std::min(Align4(pos), node.end);
  node.value_end = std::min(node.value_start + value_bytes, node.end);
  node.children = std::min(Align4(node.value_start + value_bytes), node.end);
  return node;
}

std::optional<TVersionBlock::Node> TVersionBlock::Find(const std::string& path) const {
  if (!Valid()) return std::nullopt;
  auto node = ParseNode(0, root_length_);
  if (!node) return std::nullopt;
  size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '\\') {
      ++i;
      continue;
    }
    const size_t stop = path.find('\\', i);
    const std::string part =
        path.substr(i, stop == std::string::npos ? std::string::npos : stop - i);
    i = stop == std::string::npos ? path.size() : stop;

    std::optional<Node> found;
    size_t at = node->children;
    while (at < node->end) {
      auto child = ParseNode(at, node->end);
      if (!child) break;
      if (SameKey(child->key, part)) {
        found = std::move(child);
        break;
      }
      at = Align4(child->end);  // strictly past `at`: a node is at least a header long
    }
    if (!found) return std::nullopt;
    node = std::move(found);
  }
  return node;
}

std::string TVersionBlock::ReadText(size_t from, size_t to) const {
  if (from >= to) return {};
  if (sixteen_bit_) return AnsiText(bytes_.data() + from, to - from);
  return Utf16LeToUtf8(bytes_.data() + from, (to - from) / 2);
}

std::optional<TFixedFileInfo> TVersionBlock::FixedInfo() const {
  auto root = Find("\\");
  if (!root || root->value_end - root->value_start < kFixedInfoSize) return std::nullopt;
  const uint8_t* p = bytes_.data() + root->value_start;
  TFixedFileInfo f;
  f.signature = U32(p);
  if (f.signature != TFixedFileInfo::kSignature) return std::nullopt;
  f.struc_version = U32(p + 4);
  f.file_version_ms = U32(p + 8);
  f.file_version_ls = U32(p + 12);
  f.product_version_ms = U32(p + 16);
  f.product_version_ls = U32(p + 20);
  f.file_flags_mask = U32(p + 24);
  f.file_flags = U32(p + 28);
  f.file_os = U32(p + 32);
  f.file_type = U32(p + 36);
  f.file_subtype = U32(p + 40);
  f.file_date_ms = U32(p + 44);
  f.file_date_ls = U32(p + 48);
  return f;
}

std::optional<std::string> TVersionBlock::QueryString(const std::string& path) const {
  auto node = Find(path);
  if (!node) return std::nullopt;
  // An empty value holds no text; otherwise the text runs to its NUL, which some resource
  // compilers leave outside the declared value length, but never past the node.
  if (node->value_end == node->value_start) return std::string();
  return ReadText(node->value_start, node->end);
}

std::optional<std::vector<uint8_t>> TVersionBlock::QueryValue(const std::string& path) const {
  auto node = Find(path);
  if (!node) return std::nullopt;
  return std::vector<uint8_t>(bytes_.begin() + static_cast<ptrdiff_t>(node->value_start),
                              bytes_.begin() + static_cast<ptrdiff_t>(node->value_end));
}

std::vector<uint32_t> TVersionBlock::Translations() const {
  std::vector<uint32_t> out;
  auto value = QueryValue("\\VarFileInfo\\Translation");
  if (!value) return out;
  for (size_t i = 0; i + 4 <= value->size(); i += 4) {
    const uint8_t* p = value->data() + i;
    out.push_back(static_cast<uint32_t>(p[0] | (p[1] << 8)) << 16 |
                  static_cast<uint32_t>(p[2] | (p[3] << 8)));
  }
  return out;
}

}  // namespace tmby
