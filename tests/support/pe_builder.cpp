#include "support/pe_builder.h"

#include <stdexcept>

#include "base/text_codec.h"

namespace tmby::testing {

namespace {

std::vector<uint8_t> Utf16(const std::string& text) {
  std::vector<uint8_t> out;
  for (const char16_t unit : Utf8ToUtf16(text) + u'\0') {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return out;
}

std::vector<uint8_t> Ansi(const std::string& text) {
  const std::optional<std::string> ansi = Utf8ToCp1252(text);
  if (!ansi) throw std::invalid_argument("not a Windows-1252 character");
  std::vector<uint8_t> out(ansi->begin(), ansi->end());
  out.push_back(0);
  return out;
}

void Pad4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

struct NodeWriter {
  bool sixteen_bit;

  std::vector<uint8_t> Node(const std::string& key, bool text, const std::vector<uint8_t>& value,
                            size_t value_length, const std::vector<std::vector<uint8_t>>& kids) {
    std::vector<uint8_t> out(sixteen_bit ? 4 : 6, 0);
    if (!sixteen_bit) Put16(out, 4, text ? 1 : 0);
    const std::vector<uint8_t> k = sixteen_bit ? Ansi(key) : Utf16(key);
    out.insert(out.end(), k.begin(), k.end());
    Pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& kid : kids) {
      Pad4(out);
      out.insert(out.end(), kid.begin(), kid.end());
    }
    Put16(out, 0, static_cast<uint32_t>(out.size()));
    Put16(out, 2, static_cast<uint32_t>(value_length));
    return out;
  }

  std::vector<uint8_t> String(const std::string& key, const std::string& text) {
    if (sixteen_bit) {
      const auto value = Ansi(text);
      return Node(key, true, value, value.size(), {});
    }
    const auto value = Utf16(text);
    return Node(key, true, value, value.size() / 2, {});
  }
};

}  // namespace

void Put16(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  bytes.at(at) = static_cast<uint8_t>(value);
  bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

std::vector<uint8_t> BuildVersionBlock(const VersionSpec& layout, bool sixteen_bit) {
  NodeWriter w{sixteen_bit};
  std::vector<uint8_t> fixed(52, 0);
  const uint32_t fields[13] = {0xFEEF04BD,
                               0x00010000,
                               layout.file_version_ms,
                               layout.file_version_ls,
                               layout.product_version_ms,
                               layout.product_version_ls,
                               0x3F,
                               0,
                               layout.file_os,
                               layout.file_type,
                               layout.file_subtype,
                               0,
                               0};
  for (size_t i = 0; i < 13; ++i) Put32(fixed, i * 4, fields[i]);

  std::vector<std::vector<uint8_t>> sections;
  if (!layout.tables.empty()) {
    std::vector<std::vector<uint8_t>> tables;
    for (const auto& table : layout.tables) {
      std::vector<std::vector<uint8_t>> strings;
      for (const auto& [key, text] : table.strings) strings.push_back(w.String(key, text));
      tables.push_back(w.Node(table.key, true, {}, 0, strings));
    }
    sections.push_back(w.Node("StringFileInfo", true, {}, 0, tables));
  }
  if (!layout.translations.empty()) {
    std::vector<uint8_t> pairs(layout.translations.size() * 4);
    for (size_t i = 0; i < layout.translations.size(); ++i) {
      Put16(pairs, i * 4, layout.translations[i] >> 16);
      Put16(pairs, i * 4 + 2, layout.translations[i] & 0xFFFF);
    }
    auto translation = w.Node("Translation", false, pairs, pairs.size(), {});
    sections.push_back(w.Node("VarFileInfo", true, {}, 0, {translation}));
  }
  return w.Node("VS_VERSION_INFO", false, fixed, fixed.size(), sections);
}

std::vector<uint8_t> BuildPe(const PeOptions& options, PeLayout* layout) {
  PeLayout l;
  const size_t optional_size = options.pe32_plus ? 240 : 224;
  l.section_table = PeLayout::kOptional + optional_size;
  const size_t languages = options.languages.size();
  // .rsrc: three directories (the last with one entry per language), then the data entries,
  // then the blocks.
  const size_t language_dir_size = 16 + 8 * languages;
  l.data_entries = PeLayout::kLanguageDirectory + language_dir_size;
  size_t rsrc_size = l.data_entries + 16 * languages;
  std::vector<size_t> block_offsets;
  for (const auto& [language, block] : options.languages) {
    rsrc_size = (rsrc_size + 7) & ~size_t{7};
    block_offsets.push_back(rsrc_size);
    rsrc_size += block.size();
  }
  const size_t raw_size = (rsrc_size + 0x1FF) & ~size_t{0x1FF};

  std::vector<uint8_t> pe(PeLayout::kRawData + raw_size, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  Put32(pe, 0x3C, PeLayout::kPeHeader);
  pe[PeLayout::kPeHeader] = 'P';
  pe[PeLayout::kPeHeader + 1] = 'E';
  Put16(pe, PeLayout::kCoff, options.pe32_plus ? 0x8664 : 0x014C);
  Put16(pe, PeLayout::kCoff + 2, 1);  // one section
  Put16(pe, PeLayout::kCoff + 16, static_cast<uint32_t>(optional_size));
  Put16(pe, PeLayout::kCoff + 18, 0x2102);  // executable DLL
  const size_t opt = PeLayout::kOptional;
  Put16(pe, opt, options.pe32_plus ? 0x20B : 0x10B);
  Put32(pe, opt + 32, 0x1000);  // section alignment
  Put32(pe, opt + 36, 0x200);   // file alignment
  Put32(pe, opt + 56, static_cast<uint32_t>(0x1000 + ((raw_size + 0xFFF) & ~size_t{0xFFF})));
  Put32(pe, opt + 60, PeLayout::kRawData);  // size of headers
  const size_t count_at = opt + (options.pe32_plus ? 108 : 92);
  Put32(pe, count_at, 16);
  Put32(pe, count_at + 4 + 2 * 8, PeLayout::kResourceRva);
  Put32(pe, count_at + 4 + 2 * 8 + 4, static_cast<uint32_t>(rsrc_size));

  const size_t s = l.section_table;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (size_t i = 0; i < 8; ++i) pe[s + i] = static_cast<uint8_t>(name[i]);
  Put32(pe, s + 8, static_cast<uint32_t>(rsrc_size));
  Put32(pe, s + 12, PeLayout::kResourceRva);
  Put32(pe, s + 16, static_cast<uint32_t>(raw_size));
  Put32(pe, s + 20, PeLayout::kRawData);
  Put32(pe, s + 36, 0x40000040);  // initialised data, readable

  const size_t r = PeLayout::kRawData;
  Put16(pe, r + PeLayout::kTypeDirectory + 14, 1);
  Put32(pe, r + PeLayout::kTypeDirectory + 16, 16);
  Put32(pe, r + PeLayout::kTypeDirectory + 20, 0x80000000 | PeLayout::kNameDirectory);
  Put16(pe, r + PeLayout::kNameDirectory + 14, 1);
  Put32(pe, r + PeLayout::kNameDirectory + 16, 1);
  Put32(pe, r + PeLayout::kNameDirectory + 20, 0x80000000 | PeLayout::kLanguageDirectory);
  Put16(pe, r + PeLayout::kLanguageDirectory + 14, static_cast<uint32_t>(languages));
  for (size_t i = 0; i < languages; ++i) {
    const auto& [language, block] = options.languages[i];
    const size_t entry = r + PeLayout::kLanguageDirectory + 16 + 8 * i;
    Put32(pe, entry, language);
    Put32(pe, entry + 4, static_cast<uint32_t>(l.data_entries + 16 * i));
    const size_t data = r + l.data_entries + 16 * i;
    Put32(pe, data, static_cast<uint32_t>(PeLayout::kResourceRva + block_offsets[i]));
    Put32(pe, data + 4, static_cast<uint32_t>(block.size()));
    std::copy(block.begin(), block.end(),
              pe.begin() + static_cast<ptrdiff_t>(r + block_offsets[i]));
    l.blocks.push_back(r + block_offsets[i]);
  }
  if (layout) *layout = l;
  return pe;
}

std::vector<uint8_t> BuildPe(const std::vector<uint8_t>& block, uint16_t language) {
  PeOptions options;
  options.languages.push_back({language, block});
  return BuildPe(options);
}

std::string PeFileOfVersion(uint16_t major) {
  VersionSpec layout;
  layout.file_version_ms = static_cast<uint32_t>(major) << 16;
  layout.file_version_ls = 0;
  const std::vector<uint8_t> bytes = BuildPe(BuildVersionBlock(layout));
  return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> BuildNe(const std::vector<uint8_t>& block) {
  constexpr size_t kNe = 0x40;
  constexpr size_t kTable = 0x80;
  constexpr size_t kBlock = 0x100;
  constexpr unsigned kShift = 4;
  const size_t block_units = (block.size() + 15) >> kShift;
  std::vector<uint8_t> ne(kBlock + (block_units << kShift), 0);
  ne[0] = 'M';
  ne[1] = 'Z';
  Put32(ne, 0x3C, kNe);
  ne[kNe] = 'N';
  ne[kNe + 1] = 'E';
  Put16(ne, kNe + 0x24, kTable - kNe);  // resource table
  // Table: shift, one type record with one resource, the end mark; then the resident names.
  Put16(ne, kTable, kShift);
  Put16(ne, kTable + 2, 0x8010);
  Put16(ne, kTable + 4, 1);
  Put16(ne, kTable + 10, kBlock >> kShift);
  Put16(ne, kTable + 12, static_cast<uint32_t>(block_units));
  Put16(ne, kTable + 14, 0x0030);
  Put16(ne, kTable + 16, 0x8001);
  Put16(ne, kNe + 0x26, static_cast<uint32_t>(kTable + 24 - kNe));  // resident names
  std::copy(block.begin(), block.end(), ne.begin() + kBlock);
  return ne;
}

}  // namespace tmby::testing
