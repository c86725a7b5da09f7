// The portable reader of version blocks: finds the version resource (type 16, name 1) in a Windows
// executable file, 32-bit or 64-bit PE or 16-bit NE, and returns its bytes as the system's
// version library would. It runs on any build machine, so a distribution built on Linux records
// the same versions as one built on Windows.
//
// Every offset and size taken from the file is checked before it is used: a truncated or
// hand-crafted file reads as "no version block", never outside the file, never with an
// allocation larger than the file or a version block can be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "system/version_block.h"

namespace tmby {

// Random access to the bytes of a file.
class IByteSource {
 public:
  virtual ~IByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

// Bytes held in memory (not owned).
class TMemoryByteSource : public IByteSource {
 public:
  TMemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// The version block of the executable in `file`, or nullopt.
std::optional<std::vector<uint8_t>> ExtractVersionBlock(IByteSource& file);
std::optional<std::vector<uint8_t>> ExtractVersionBlock(const uint8_t* data, size_t size);

// Reads files through the port's file system (tmby::platform::Port().Files()), opened for reading
// with all sharing allowed, so that a file in use can still be read.
class TPeVersionBlockSource : public IVersionBlockSource {
 public:
  std::optional<std::vector<uint8_t>> ReadVersionBlock(const std::string& path) override;
};

}  // namespace tmby
