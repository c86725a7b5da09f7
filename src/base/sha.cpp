#include "base/sha.h"

#include <algorithm>
#include <cstring>

namespace tmby {
namespace {

constexpr uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// Twenty rounds with one round function. Five rounds at a time with the roles of the five words
// rotated by name instead of by moving their values: the hash's own step, without the copies
// (a file's checksum is most of the time the loading program spends).
template <typename F>
inline void Rounds(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e,
                   const uint32_t* w, uint32_t k, F f) {
  for (int i = 0; i < 20; i += 5) {
    e += Rol(a, 5) + f(b, c, d) + k + w[i];
    b = Rol(b, 30);
    d += Rol(e, 5) + f(a, b, c) + k + w[i + 1];
    a = Rol(a, 30);
    c += Rol(d, 5) + f(e, a, b) + k + w[i + 2];
    e = Rol(e, 30);
    b += Rol(c, 5) + f(d, e, a) + k + w[i + 3];
    d = Rol(d, 30);
    a += Rol(b, 5) + f(c, d, e) + k + w[i + 4];
    c = Rol(c, 30);
  }
}

}  // namespace

ShaDigest::ShaDigest(ShaVariant variant) : variant_(variant) { Reset(); }

void ShaDigest::Reset() {
  h_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  buffered_ = 0;
  length_ = 0;
}

void ShaDigest::Block(const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = ReadBigEndian32(block + 4 * i);
  // The one difference of the two variants, decided once per block rather than once per word.
  if (variant_ == ShaVariant::Sha1) {
    for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  } else {
    for (int i = 16; i < 80; ++i) w[i] = w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16];
  }
  uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  Rounds(a, b, c, d, e, w, 0x5A827999u,
         [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); });
  Rounds(a, b, c, d, e, w + 20, 0x6ED9EBA1u,
         [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; });
  Rounds(a, b, c, d, e, w + 40, 0x8F1BBCDCu,
         [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); });
  Rounds(a, b, c, d, e, w + 60, 0xCA62C1D6u,
         [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; });
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
}

void ShaDigest::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  length_ += size;
  if (buffered_ > 0) {
    const size_t take = std::min(size, buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < buffer_.size()) return;
    Block(buffer_.data());
    buffered_ = 0;
  }
  while (size >= 64) {
    Block(p);
    p += 64;
    size -= 64;
  }
  if (size > 0) {
    std::memcpy(buffer_.data(), p, size);
    buffered_ = size;
  }
}

ShaDigest::Digest ShaDigest::Final() {
  const uint64_t bits = length_ * 8;
  uint8_t pad[72] = {0x80};
  // Pad to 56 bytes modulo 64, then append the length in bits, big-endian.
  const size_t padLength = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  for (int i = 0; i < 8; ++i) pad[padLength + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(pad, padLength + 8);
  Digest out{};
  for (int i = 0; i < 5; ++i) {
    out[4 * i] = static_cast<uint8_t>(h_[i] >> 24);
    out[4 * i + 1] = static_cast<uint8_t>(h_[i] >> 16);
    out[4 * i + 2] = static_cast<uint8_t>(h_[i] >> 8);
    out[4 * i + 3] = static_cast<uint8_t>(h_[i]);
  }
  Reset();
  return out;
}

std::string ShaDigest::FinalHex() { return DigestToHex(Final()); }

std::string DigestToHex(const ShaDigest::Digest& digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(40);
  for (uint8_t byte : digest) {
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  }
  return out;
}

std::string Sha1Hex(std::string_view data) {
  ShaDigest sha(ShaVariant::Sha1);
  sha.Update(data);
  return sha.FinalHex();
}

std::string Sha0Hex(std::string_view data) {
  ShaDigest sha(ShaVariant::Sha0);
  sha.Update(data);
  return sha.FinalHex();
}

}  // namespace tmby
