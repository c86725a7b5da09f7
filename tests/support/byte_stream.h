// An IFile over bytes in memory, for tests of stream readers and writers. A write limit makes
// writes past it store what fits and fail, as on a full disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/port.h"

namespace tmby::testing {

class ByteStream : public platform::IFile {
 public:
  ByteStream() = default;
  explicit ByteStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::vector<uint8_t>& Bytes() { return bytes_; }
  void LimitSize(size_t limit) { limit_ = limit; }

  bool Read(void* buffer, size_t size, size_t* done) override {
    const size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const size_t n = std::min(size, available);
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    *done = n;
    return true;
  }
  bool Write(const void* buffer, size_t size) override {
    const size_t room = position_ < limit_ ? limit_ - position_ : 0;
    const size_t n = std::min(size, room);
    if (position_ + n > bytes_.size()) bytes_.resize(position_ + n);
    if (n > 0) std::memcpy(bytes_.data() + position_, buffer, n);
    position_ += n;
    return n == size;
  }
  bool Seek(int64_t offset, platform::SeekOrigin origin, int64_t* position) override {
    int64_t base = 0;
    if (origin == platform::SeekOrigin::Current) base = static_cast<int64_t>(position_);
    if (origin == platform::SeekOrigin::End) base = static_cast<int64_t>(bytes_.size());
    if (base + offset < 0) return false;
    position_ = static_cast<size_t>(base + offset);
    if (position) *position = static_cast<int64_t>(position_);
    return true;
  }
  std::optional<int64_t> Size() override { return static_cast<int64_t>(bytes_.size()); }
  bool SetEnd() override {
    bytes_.resize(position_);
    return true;
  }
  bool Flush() override { return true; }
  std::optional<uint32_t> GetDosTime() override { return dos_time_; }
  bool SetDosTime(uint32_t dos_time) override {
    dos_time_ = dos_time;
    return true;
  }
  uint32_t LastError() const override { return 0; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  size_t limit_ = std::numeric_limits<size_t>::max();
  uint32_t dos_time_ = 0x00210000;
};

}  // namespace tmby::testing
