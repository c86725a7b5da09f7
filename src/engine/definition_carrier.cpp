#include "engine/definition_carrier.h"

#include <zlib.h>

#include <cstring>
#include <memory>

#include "base/exceptions.h"
#include "platform/port.h"

namespace tmby {

namespace {

uint32_t ReadLe32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void AppendLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t Crc(std::string_view data) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes 32-bit lengths: feed large data in pieces.
  while (!data.empty()) {
    const size_t n = data.size() < (1u << 30) ? data.size() : (1u << 30);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n));
    data.remove_prefix(n);
  }
  return static_cast<uint32_t>(crc);
}

bool HasMarker(std::string_view program) {
  return program.size() >= kDefinitionRecordSize &&
         std::memcmp(program.data() + program.size() - kDefinitionRecordSize, kDefinitionMarker,
                     8) == 0;
}

}  // namespace

TCarriedDefinition FindDefinition(std::string_view program, std::string* text) {
  if (!HasMarker(program)) return TCarriedDefinition::None;
  const char* record = program.data() + program.size() - kDefinitionRecordSize;
  const uint32_t length = ReadLe32(record + 8);
  const uint32_t crc = ReadLe32(record + 12);
  if (length > kMaxCarriedDefinition || length > program.size() - kDefinitionRecordSize) {
    return TCarriedDefinition::Damaged;
  }
  const std::string_view body =
      program.substr(program.size() - kDefinitionRecordSize - length, length);
  if (Crc(body) != crc) return TCarriedDefinition::Damaged;
  if (text != nullptr) text->assign(body);
  return TCarriedDefinition::Present;
}

std::string_view StripDefinition(std::string_view program) {
  if (FindDefinition(program, nullptr) != TCarriedDefinition::Present) return program;
  const uint32_t length = ReadLe32(program.data() + program.size() - kDefinitionRecordSize + 8);
  return program.substr(0, program.size() - kDefinitionRecordSize - length);
}

std::string StampDefinition(std::string_view engine, std::string_view definition) {
  if (definition.size() > kMaxCarriedDefinition) {
    throw Exception("The install definition is larger than %d bytes",
                    {static_cast<int64_t>(kMaxCarriedDefinition)});
  }
  const std::string_view base = StripDefinition(engine);
  std::string out;
  out.reserve(base.size() + definition.size() + kDefinitionRecordSize);
  out.append(base);
  out.append(definition);
  out.append(kDefinitionMarker, 8);
  AppendLe32(out, static_cast<uint32_t>(definition.size()));
  AppendLe32(out, Crc(definition));
  return out;
}

std::string ReadCarriedDefinition(const std::string& path) {
  using namespace platform;
  std::unique_ptr<IFile> file = Port().Files().Open(
      path, FileAccess::Read, kShareRead | kShareWrite, FileDisposition::OpenExisting);
  const auto none = [&] {
    return Exception("The program %s carries no install definition", {path});
  };
  const auto damaged = [&] {
    return Exception("The install definition carried by %s is damaged", {path});
  };
  if (!file) throw none();
  const std::optional<int64_t> size = file->Size();
  if (!size || *size < static_cast<int64_t>(kDefinitionRecordSize)) throw none();
  char record[kDefinitionRecordSize];
  size_t got = 0;
  if (!file->Seek(*size - static_cast<int64_t>(kDefinitionRecordSize), SeekOrigin::Begin) ||
      !file->Read(record, sizeof record, &got) || got != sizeof record) {
    throw none();
  }
  if (std::memcmp(record, kDefinitionMarker, 8) != 0) throw none();
  const uint32_t length = ReadLe32(record + 8);
  if (length > kMaxCarriedDefinition ||
      static_cast<int64_t>(length) > *size - static_cast<int64_t>(kDefinitionRecordSize)) {
    throw damaged();
  }
  // Read the text and its record, and check them as one piece.
  std::string tail(length + kDefinitionRecordSize, '\0');
  if (!file->Seek(*size - static_cast<int64_t>(tail.size()), SeekOrigin::Begin)) throw damaged();
  size_t done = 0;
  while (done < tail.size()) {
    size_t n = 0;
    if (!file->Read(tail.data() + done, tail.size() - done, &n) || n == 0) throw damaged();
    done += n;
  }
  std::string text;
  if (FindDefinition(tail, &text) != TCarriedDefinition::Present) throw damaged();
  return text;
}

}  // namespace tmby
