#include "base/sha.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if (defined(__i386__) || defined(__x86_64__)) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define TMBY_SHA_INSTRUCTIONS 1
#endif

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

void ShaBlocksPortable(ShaVariant variant, uint32_t state[5], const uint8_t* data, size_t count) {
  for (; count > 0; --count, data += 64) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = ReadBigEndian32(data + 4 * i);
    // The one difference of the two variants, decided once per block rather than once per word.
    if (variant == ShaVariant::Sha1) {
      for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    } else {
      for (int i = 16; i < 80; ++i) w[i] = w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16];
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    Rounds(a, b, c, d, e, w, 0x5A827999u,
           [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); });
    Rounds(a, b, c, d, e, w + 20, 0x6ED9EBA1u,
           [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; });
    Rounds(a, b, c, d, e, w + 40, 0x8F1BBCDCu,
           [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); });
    Rounds(a, b, c, d, e, w + 60, 0xCA62C1D6u,
           [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; });
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

#ifdef TMBY_SHA_INSTRUCTIONS
namespace {

#define TMBY_SHA_TARGET __attribute__((target("sha,ssse3")))

// Four message words in a register, the first in the highest lane, as the instructions take them.
// The next four: w[t..t+3] from the sixteen before them (w4 the oldest four, w1 the newest). The
// instructions' own schedule step rotates, which SHA-0's lacks, so the step is written out: the
// word w[t+3] needs w[t], made in the same step, and is mended once w[t] is there.
template <bool kRotate>
TMBY_SHA_TARGET inline __m128i NextWords(__m128i w4, __m128i w3, __m128i w2, __m128i w1) {
  __m128i x = _mm_xor_si128(_mm_sha1msg1_epu32(w4, w3), w2);  // w[t-16] ^ w[t-14] ^ w[t-8]
  x = _mm_xor_si128(x, _mm_slli_si128(w1, 4));               // ^ w[t-3], none yet for w[t+3]
  if constexpr (kRotate) {
    x = _mm_or_si128(_mm_slli_epi32(x, 1), _mm_srli_epi32(x, 31));
    const __m128i first = _mm_srli_si128(x, 12);  // w[t], in the lane of w[t+3]
    return _mm_xor_si128(x, _mm_or_si128(_mm_slli_epi32(first, 1), _mm_srli_epi32(first, 31)));
  } else {
    return _mm_xor_si128(x, _mm_srli_si128(x, 12));
  }
}

// Step `kStep` of twenty, four rounds: the instructions take the fifth word of the state from the
// state before the last step.
template <bool kRotate, int kStep>
TMBY_SHA_TARGET inline void Step(__m128i (&w)[4], __m128i& before, __m128i& abcd) {
  __m128i& words = w[kStep % 4];
  if constexpr (kStep >= 4) {
    words = NextWords<kRotate>(words, w[(kStep + 1) % 4], w[(kStep + 2) % 4], w[(kStep + 3) % 4]);
  }
  const __m128i e = _mm_sha1nexte_epu32(before, words);
  before = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e, kStep / 5);
}

template <bool kRotate, int... kStep>
TMBY_SHA_TARGET inline void Steps(std::integer_sequence<int, kStep...>, __m128i (&w)[4],
                                  __m128i& before, __m128i& abcd) {
  (Step<kRotate, kStep + 1>(w, before, abcd), ...);
}

template <bool kRotate>
TMBY_SHA_TARGET void BlocksWithInstructions(uint32_t state[5], const uint8_t* data, size_t count) {
  const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
  __m128i abcd = _mm_set_epi32(static_cast<int>(state[0]), static_cast<int>(state[1]),
                               static_cast<int>(state[2]), static_cast<int>(state[3]));
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; count > 0; --count, data += 64) {
    const __m128i abcd_start = abcd;
    const __m128i e_start = e0;
    __m128i w[4];
    for (int i = 0; i < 4; ++i) {
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
                              reverse);
    }
    __m128i before = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, w[0]), 0);
    Steps<kRotate>(std::make_integer_sequence<int, 19>{}, w, before, abcd);
    e0 = _mm_sha1nexte_epu32(before, e_start);
    abcd = _mm_add_epi32(abcd, abcd_start);
  }
  alignas(16) uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), abcd);
  state[0] = lanes[3];
  state[1] = lanes[2];
  state[2] = lanes[1];
  state[3] = lanes[0];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), e0);
  state[4] = lanes[3];
}

bool ProcessorHasShaInstructions() {
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & bit_SSSE3) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && (b & (1u << 29)) != 0;  // leaf 7, EBX bit 29: the SHA instructions
  }();
  return has;
}

}  // namespace
#endif

bool ShaBlocksWithInstructions(ShaVariant variant, uint32_t state[5], const uint8_t* data,
                               size_t count) {
#ifdef TMBY_SHA_INSTRUCTIONS
  if (!ProcessorHasShaInstructions()) return false;
  if (variant == ShaVariant::Sha1) {
    BlocksWithInstructions<true>(state, data, count);
  } else {
    BlocksWithInstructions<false>(state, data, count);
  }
  return true;
#else
  (void)variant, (void)state, (void)data, (void)count;
  return false;
#endif
}

void ShaDigest::Blocks(const uint8_t* data, size_t count) {
  if (!ShaBlocksWithInstructions(variant_, h_.data(), data, count)) {
    ShaBlocksPortable(variant_, h_.data(), data, count);
  }
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
    Blocks(buffer_.data(), 1);
    buffered_ = 0;
  }
  const size_t whole = size / 64;
  if (whole > 0) Blocks(p, whole);
  p += whole * 64;
  size -= whole * 64;
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
