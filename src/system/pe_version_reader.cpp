#include "system/pe_version_reader.h"

#include <cstring>
#include <memory>

#include "platform/port.h"

namespace tmby {

namespace {

constexpr uint32_t kResourceVersion = 16;  // RT_VERSION
constexpr uint32_t kVersionName = 1;       // VS_VERSION_INFO
constexpr uint32_t kHighBit = 0x80000000;
// Language entries tried first, as the system's resource lookup does on an English system:
// neutral, the process default, US English; otherwise the first one listed.
constexpr uint32_t kPreferredLanguages[] = {0x0000, 0x0400, 0x0409};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A block is never longer than its 16-bit length field allows.
uint64_t BlockReadSize(uint64_t size) {
  return size < TVersionBlock::kMaxSize ? size : TVersionBlock::kMaxSize;
}

struct Section {
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
};

class PeImage {
 public:
  PeImage(IByteSource& file, std::vector<Section> sections)
      : file_(file), sections_(std::move(sections)) {}

  // Reads `size` bytes at a relative virtual address; they must lie in one section's file data.
  bool ReadRva(uint64_t rva, void* buffer, size_t size) {
    for (const Section& s : sections_) {
      if (rva < s.virtual_address) continue;
      const uint64_t into = rva - s.virtual_address;
      if (into >= s.raw_size) continue;
      if (size > s.raw_size - into) return false;
      return file_.ReadAt(static_cast<uint64_t>(s.raw_pointer) + into, buffer, size);
    }
    return false;
  }

  // The entries of the resource directory at `rva`: (name or id, offset) pairs.
  std::optional<std::vector<std::pair<uint32_t, uint32_t>>> Directory(uint64_t rva) {
    uint8_t head[16];
    if (!ReadRva(rva, head, sizeof head)) return std::nullopt;
    const size_t count = static_cast<size_t>(Le16(head + 12)) + Le16(head + 14);
    std::vector<uint8_t> raw(count * 8);
    if (count > 0 && !ReadRva(rva + 16, raw.data(), raw.size())) return std::nullopt;
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      entries.emplace_back(Le32(&raw[i * 8]), Le32(&raw[i * 8 + 4]));
    }
    return entries;
  }

 private:
  IByteSource& file_;
  std::vector<Section> sections_;
};

// The entry with a numeric id (named entries have the high bit set and never match).
const std::pair<uint32_t, uint32_t>* FindId(
    const std::vector<std::pair<uint32_t, uint32_t>>& entries, uint32_t id) {
  for (const auto& e : entries) {
    if (e.first == id) return &e;
  }
  return nullptr;
}

std::optional<std::vector<uint8_t>> ExtractFromPe(IByteSource& file, uint64_t pe) {
  uint8_t coff[24];
  if (!file.ReadAt(pe, coff, sizeof coff)) return std::nullopt;
  const uint16_t section_count = Le16(coff + 6);
  const uint16_t optional_size = Le16(coff + 20);
  const uint64_t optional_at = pe + 24;

  std::vector<uint8_t> optional(optional_size);
  if (optional_size > 0 && !file.ReadAt(optional_at, optional.data(), optional.size())) {
    return std::nullopt;
  }
  if (optional_size < 2) return std::nullopt;
  size_t count_at = 0;
  switch (Le16(optional.data())) {
    case 0x10B: count_at = 92; break;   // PE32
    case 0x20B: count_at = 108; break;  // PE32+
    default: return std::nullopt;
  }
  const size_t resource_dir_at = count_at + 4 + 2 * 8;
  if (optional.size() < resource_dir_at + 8) return std::nullopt;
  if (Le32(&optional[count_at]) < 3) return std::nullopt;
  const uint32_t resource_rva = Le32(&optional[resource_dir_at]);
  if (resource_rva == 0) return std::nullopt;

  std::vector<uint8_t> raw(static_cast<size_t>(section_count) * 40);
  if (!raw.empty() && !file.ReadAt(optional_at + optional_size, raw.data(), raw.size())) {
    return std::nullopt;
  }
  std::vector<Section> sections(section_count);
  for (size_t i = 0; i < section_count; ++i) {
    const uint8_t* s = &raw[i * 40];
    sections[i].virtual_address = Le32(s + 12);
    sections[i].raw_size = Le32(s + 16);
    sections[i].raw_pointer = Le32(s + 20);
  }
  PeImage image(file, std::move(sections));

  // Three levels: type, name, language. Offsets are relative to the resource directory and
  // the high bit marks a subdirectory; the walk goes down exactly three levels, so a directory
  // pointing back at itself cannot make it loop.
  auto types = image.Directory(resource_rva);
  if (!types) return std::nullopt;
  const auto* type = FindId(*types, kResourceVersion);
  if (!type || !(type->second & kHighBit)) return std::nullopt;

  auto names = image.Directory(static_cast<uint64_t>(resource_rva) + (type->second & ~kHighBit));
  if (!names) return std::nullopt;
  const auto* name = FindId(*names, kVersionName);
  if (!name || !(name->second & kHighBit)) return std::nullopt;

  auto languages =
      image.Directory(static_cast<uint64_t>(resource_rva) + (name->second & ~kHighBit));
  if (!languages || languages->empty()) return std::nullopt;
  const std::pair<uint32_t, uint32_t>* language = nullptr;
  for (uint32_t preferred : kPreferredLanguages) {
    if ((language = FindId(*languages, preferred)) != nullptr) break;
  }
  if (!language) language = &languages->front();
  if (language->second & kHighBit) return std::nullopt;

  uint8_t data_entry[16];
  if (!image.ReadRva(static_cast<uint64_t>(resource_rva) + language->second, data_entry,
                     sizeof data_entry)) {
    return std::nullopt;
  }
  const uint32_t data_rva = Le32(data_entry);
  const uint64_t size = BlockReadSize(Le32(data_entry + 4));
  std::vector<uint8_t> block(size);
  if (!image.ReadRva(data_rva, block.data(), block.size())) return std::nullopt;
  return block;
}

std::optional<std::vector<uint8_t>> ExtractFromNe(IByteSource& file, uint64_t ne) {
  uint8_t header[0x28];
  if (!file.ReadAt(ne, header, sizeof header)) return std::nullopt;
  const uint16_t table_offset = Le16(header + 0x24);
  const uint16_t names_offset = Le16(header + 0x26);
  if (table_offset == names_offset) return std::nullopt;  // no resources
  uint64_t at = ne + table_offset;
  uint8_t shift_raw[2];
  if (!file.ReadAt(at, shift_raw, 2)) return std::nullopt;
  const unsigned shift = Le16(shift_raw);
  if (shift > 16) return std::nullopt;
  at += 2;

  // Type records (id, count, 4 reserved bytes) each followed by `count` 12-byte resource
  // records, up to a zero id. Every step moves forward and must stay inside the file.
  for (;;) {
    uint8_t type[8];
    if (!file.ReadAt(at, type, 2)) return std::nullopt;
    const uint16_t type_id = Le16(type);
    if (type_id == 0) return std::nullopt;
    if (!file.ReadAt(at, type, sizeof type)) return std::nullopt;
    const uint16_t count = Le16(type + 2);
    at += 8;
    if (type_id != (0x8000 | kResourceVersion)) {
      at += static_cast<uint64_t>(count) * 12;
      if (at > file.Size()) return std::nullopt;
      continue;
    }
    for (uint16_t i = 0; i < count; ++i, at += 12) {
      uint8_t entry[12];
      if (!file.ReadAt(at, entry, sizeof entry)) return std::nullopt;
      if (Le16(entry + 6) != (0x8000 | kVersionName)) continue;
      const uint64_t offset = static_cast<uint64_t>(Le16(entry)) << shift;
      const uint64_t size = BlockReadSize(static_cast<uint64_t>(Le16(entry + 2)) << shift);
      std::vector<uint8_t> block(size);
      if (!file.ReadAt(offset, block.data(), block.size())) return std::nullopt;
      return block;
    }
    return std::nullopt;
  }
}

class FileByteSource : public IByteSource {
 public:
  FileByteSource(platform::IFile& file, uint64_t size) : file_(file), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset > size_ || size > size_ - offset) return false;
    if (size == 0) return true;
    if (!file_.Seek(static_cast<int64_t>(offset), platform::SeekOrigin::Begin)) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    while (size > 0) {
      size_t done = 0;
      if (!file_.Read(out, size, &done) || done == 0) return false;
      out += done;
      size -= done;
    }
    return true;
  }

 private:
  platform::IFile& file_;
  uint64_t size_;
};

}  // namespace

bool TMemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size > 0) std::memcpy(buffer, data_ + offset, size);
  return true;
}

std::optional<std::vector<uint8_t>> ExtractVersionBlock(IByteSource& file) {
  uint8_t dos[64];
  if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const uint64_t header = Le32(dos + 0x3C);
  uint8_t magic[4];
  if (!file.ReadAt(header, magic, sizeof magic)) return std::nullopt;
  if (magic[0] == 'P' && magic[1] == 'E' && magic[2] == 0 && magic[3] == 0) {
    return ExtractFromPe(file, header);
  }
  if (magic[0] == 'N' && magic[1] == 'E') return ExtractFromNe(file, header);
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ExtractVersionBlock(const uint8_t* data, size_t size) {
  TMemoryByteSource source(data, size);
  return ExtractVersionBlock(source);
}

std::optional<std::vector<uint8_t>> TPeVersionBlockSource::ReadVersionBlock(
    const std::string& path) {
  auto& files = platform::Port().Files();
  auto file = files.Open(path, platform::FileAccess::Read, platform::kShareAll,
                         platform::FileDisposition::OpenExisting);
  if (!file) return std::nullopt;
  auto size = file->Size();
  if (!size || *size < 0) return std::nullopt;
  FileByteSource source(*file, static_cast<uint64_t>(*size));
  return ExtractVersionBlock(source);
}

}  // namespace tmby
