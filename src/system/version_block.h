// The parsed form of a file's version block (the VS_VERSIONINFO resource): the fixed file
// information and the query by path, as the system's version library answers it
// ("\" for the fixed information, "\StringFileInfo\040904E4\CompanyName" for a string).
//
// Both layouts are understood: the 32-bit one of PE files (UTF-16 keys and texts, a type word in
// every node) and the 16-bit one of NE files (ANSI keys and texts). Every offset is checked against
// the block: a malformed block answers "not found", never reads outside its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/version_source.h"

namespace tmby {

// VS_FIXEDFILEINFO.
struct TFixedFileInfo {
  static constexpr uint32_t kSignature = 0xFEEF04BD;
  uint32_t signature = 0;
  uint32_t struc_version = 0;
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
  uint32_t file_flags_mask = 0;
  uint32_t file_flags = 0;
  uint32_t file_os = 0;
  uint32_t file_type = 0;
  uint32_t file_subtype = 0;
  uint32_t file_date_ms = 0;
  uint32_t file_date_ls = 0;
};

class TVersionBlock {
 public:
  // The smallest version block: the root node with its fixed file information.
  static constexpr size_t kFixedInfoSize = 52;
  // A node's length is a 16-bit field, so no block is longer than this.
  static constexpr size_t kMaxSize = 0xFFFF;

  TVersionBlock() = default;
  // Takes the bytes as the system's reader returns them; anything after the root node's length
  // (the reader's scratch space) is ignored.
  explicit TVersionBlock(std::vector<uint8_t> bytes);

  // True when the bytes hold a well-formed root node named "VS_VERSION_INFO".
  bool Valid() const { return root_length_ != 0; }
  bool IsSixteenBit() const { return sixteen_bit_; }

  // The query of the root "\": present when the root's value is a fixed file information with
  // its signature.
  std::optional<TFixedFileInfo> FixedInfo() const;
  // The text at a path such as "\StringFileInfo\040904E4\ProductName", up to its first NUL.
  // Keys compare without regard to case, as the system's query does. Nullopt when not found.
  std::optional<std::string> QueryString(const std::string& path) const;
  // The raw value bytes at a path ("\VarFileInfo\Translation"). Nullopt when not found.
  std::optional<std::vector<uint8_t>> QueryValue(const std::string& path) const;
  // The language/code-page pairs the file declares, each as language << 16 | code page.
  std::vector<uint32_t> Translations() const;

 private:
  struct Node {
    size_t start = 0;        // offset of the node in the block
    size_t end = 0;          // offset just past the node and its children
    size_t value_start = 0;  // offset of the value
    size_t value_end = 0;    // offset just past the value (within the node)
    size_t children = 0;     // offset of the first child
    bool text = false;       // a text value (type 1 in the 32-bit layout)
    std::string key;         // UTF-8
  };

  std::optional<Node> ParseNode(size_t offset, size_t limit) const;
  std::optional<Node> Find(const std::string& path) const;
  std::string ReadText(size_t from, size_t to) const;

  std::vector<uint8_t> bytes_;
  size_t root_length_ = 0;
  bool sixteen_bit_ = false;
};

}  // namespace tmby
