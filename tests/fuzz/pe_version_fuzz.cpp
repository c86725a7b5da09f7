// Fuzzes the portable reader of version resources: an arbitrary file goes through the PE/NE
// resource walk, and whatever block comes out (or the input itself, taken as a block) through the
// parser and the fifteen-string reading under several keys.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "system/pe_version_reader.h"
#include "system/version_block.h"
#include "system/version_resource.h"

namespace {

void ReadAll(const tmby::TVersionBlock& block) {
  static const uint16_t kKeys[][2] = {{0x0409, 1252}, {0x0409, 1200}, {0x0407, 1200}};
  tmby::TVersionInfo info;
  for (const auto& key : kKeys) tmby::ReadVersionInfo(block, key[0], key[1], info);
  for (uint32_t t : block.Translations()) {
    tmby::ReadVersionInfo(block, static_cast<uint16_t>(t >> 16), static_cast<uint16_t>(t), info);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (auto block = tmby::ExtractVersionBlock(data, size)) {
    if (block->size() > tmby::TVersionBlock::kMaxSize) __builtin_trap();
    ReadAll(tmby::TVersionBlock(std::move(*block)));
  }
  ReadAll(tmby::TVersionBlock(std::vector<uint8_t>(data, data + size)));
  return 0;
}
