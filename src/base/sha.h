// SHA-1 (FIPS 180-1) and its predecessor SHA-0 (FIPS 180 as first published, whose message
// schedule lacks the one-bit rotation). One implementation serves both; the digest is written as
// 40 upper-case hexadecimal digits. Data can be fed in pieces, so a large file is hashed in
// buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tmby {

enum class ShaVariant { Sha0, Sha1 };

class ShaDigest {
 public:
  using Digest = std::array<uint8_t, 20>;

  explicit ShaDigest(ShaVariant variant = ShaVariant::Sha1);

  // Starts over with no data.
  void Reset();
  void Update(const void* data, size_t size);
  void Update(std::string_view data) { Update(data.data(), data.size()); }
  // The digest of everything fed since the last reset; the object starts over afterwards.
  Digest Final();
  // Final() as 40 upper-case hexadecimal digits.
  std::string FinalHex();

 private:
  void Blocks(const uint8_t* data, size_t count);

  ShaVariant variant_;
  std::array<uint32_t, 5> h_{};
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes fed so far
};

std::string DigestToHex(const ShaDigest::Digest& digest);

// The compression function over `count` 64-byte blocks, in portable code and with the processor's
// SHA instructions; the second returns false, having done nothing, where the processor lacks them.
// A digest takes the second where it can.
void ShaBlocksPortable(ShaVariant variant, uint32_t state[5], const uint8_t* data, size_t count);
bool ShaBlocksWithInstructions(ShaVariant variant, uint32_t state[5], const uint8_t* data,
                               size_t count);

// The digests of a whole buffer, as 40 upper-case hexadecimal digits.
std::string Sha1Hex(std::string_view data);
std::string Sha0Hex(std::string_view data);

}  // namespace tmby
