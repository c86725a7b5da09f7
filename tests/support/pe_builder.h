// Builds small Windows executable images with version resources for the tests: the version block
// itself (32-bit or 16-bit layout), a PE32 / PE32+ file holding it in a .rsrc section, and a
// 16-bit NE file. The layouts are fixed so that tests can damage chosen fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tmby::testing {

struct VersionTable {
  std::string key;  // "040904E4"
  std::vector<std::pair<std::string, std::string>> strings;
};

struct VersionSpec {
  uint32_t file_version_ms = 0x00010002;  // 1.2
  uint32_t file_version_ls = 0x00030004;  // .3.4
  uint32_t product_version_ms = 0x00050006;
  uint32_t product_version_ls = 0x00070008;
  uint32_t file_os = 0x00040004;
  uint32_t file_type = 1;
  uint32_t file_subtype = 0;
  std::vector<VersionTable> tables;
  std::vector<uint32_t> translations;  // language << 16 | code page
};

// The VS_VERSIONINFO block; keys and texts are UTF-8 (Windows-1252 in the 16-bit layout).
std::vector<uint8_t> BuildVersionBlock(const VersionSpec& layout, bool sixteen_bit = false);

// Offsets of the fields of a built PE image, for tests that damage them.
struct PeLayout {
  static constexpr size_t kPeHeader = 0x40;         // "PE\0\0"
  static constexpr size_t kCoff = kPeHeader + 4;    // machine, section count, ...
  static constexpr size_t kOptional = kCoff + 20;   // optional header
  static constexpr size_t kRawData = 0x200;         // the .rsrc section in the file
  static constexpr uint32_t kResourceRva = 0x1000;  // the .rsrc section in memory
  static constexpr size_t kTypeDirectory = 0x00;    // offsets within .rsrc
  static constexpr size_t kNameDirectory = 0x18;
  static constexpr size_t kLanguageDirectory = 0x30;
  size_t section_table = 0;    // file offset of the section header
  size_t data_entries = 0;     // .rsrc offset of the first data entry (16 bytes each)
  std::vector<size_t> blocks;  // file offsets of the blocks, one per language
};

struct PeOptions {
  bool pe32_plus = false;
  // One version resource per language, in this order.
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> languages;
};

std::vector<uint8_t> BuildPe(const PeOptions& options, PeLayout* layout = nullptr);
std::vector<uint8_t> BuildPe(const std::vector<uint8_t>& block, uint16_t language = 0x0409);

// The bytes of a PE file whose version resource gives the file version `major`.0.0.0, as the
// tests write them into files.
std::string PeFileOfVersion(uint16_t major);

// A 16-bit NE image holding `block` as its version resource.
std::vector<uint8_t> BuildNe(const std::vector<uint8_t>& block);

void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value);
void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

}  // namespace tmby::testing
