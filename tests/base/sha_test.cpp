#include "base/sha.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tmby {
namespace {

const char kMessage448[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

std::string Bytes(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(i));
  return s;
}

std::string MillionA(ShaVariant variant) {
  // Fed in 1000-byte buffers, as a file would be.
  ShaDigest sha(variant);
  const std::string chunk(1000, 'a');
  for (int i = 0; i < 1000; ++i) sha.Update(chunk);
  return sha.FinalHex();
}

TEST(Sha1, MatchesThePublishedVectors) {
  EXPECT_EQ(Sha1Hex("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(Sha1Hex(kMessage448), "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
  EXPECT_EQ(MillionA(ShaVariant::Sha1), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
  EXPECT_EQ(Sha1Hex(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(Sha0, MatchesThePublishedVectors) {
  EXPECT_EQ(Sha0Hex("abc"), "0164B8A914CD2A5E74C4F7FF082C4D97F1EDF880");
  EXPECT_EQ(Sha0Hex(kMessage448), "D2516EE1ACFA5BAF33DFC1C471E438449EF134C8");
  EXPECT_EQ(MillionA(ShaVariant::Sha0), "3232AFFA48628A26653B5AAA44541FD90D690603");
}

TEST(Sha1, PadsCorrectlyAroundTheBlockBoundary) {
  // Lengths where the length field just fits, just misses, or fills a second block.
  EXPECT_EQ(Sha1Hex(Bytes(55)), "8AE2D46729CFE68FF927AF5EEC9C7D1B66D65AC2");
  EXPECT_EQ(Sha1Hex(Bytes(56)), "636E2EC698DAC903498E648BD2F3AF641D3C88CB");
  EXPECT_EQ(Sha1Hex(Bytes(63)), "6D942DA0C4392B123528F2905C713A3CE28364BD");
  EXPECT_EQ(Sha1Hex(Bytes(64)), "C6138D514FFA2135BFCE0ED0B8FAC65669917EC7");
  EXPECT_EQ(Sha1Hex(Bytes(119)), "41C89D06001BAB4AB78736B44EFE7CE18CE6AE08");
  EXPECT_EQ(Sha1Hex(Bytes(120)), "D3DBD653BD8597B7475321B60A36891278E6A04A");
}

TEST(ShaDigest, GivesTheSameDigestWhateverThePieces) {
  const std::string data = Bytes(300);
  for (ShaVariant variant : {ShaVariant::Sha0, ShaVariant::Sha1}) {
    ShaDigest whole(variant);
    whole.Update(data);
    const std::string expected = whole.FinalHex();
    for (size_t piece : {1u, 7u, 63u, 64u, 65u, 200u}) {
      ShaDigest sha(variant);
      for (size_t at = 0; at < data.size(); at += piece)
        sha.Update(data.data() + at, std::min(piece, data.size() - at));
      EXPECT_EQ(sha.FinalHex(), expected) << "piece " << piece;
    }
  }
}

// The processor's SHA instructions and the portable code agree on every block, for both variants,
// whatever the state they start from and however many blocks a call takes.
TEST(ShaDigest, InstructionsAndPortableCodeAgree) {
  uint32_t probe[5] = {};
  if (!ShaBlocksWithInstructions(ShaVariant::Sha0, probe, nullptr, 0)) {
    GTEST_SKIP() << "this processor has no SHA instructions";
  }
  std::string data;
  uint32_t seed = 12345;
  for (int i = 0; i < 64 * 37; ++i) {
    seed = seed * 1103515245u + 12345u;
    data.push_back(static_cast<char>(seed >> 24));
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  for (ShaVariant variant : {ShaVariant::Sha0, ShaVariant::Sha1}) {
    for (size_t blocks : {1u, 2u, 37u}) {
      uint32_t portable[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
      uint32_t fast[5];
      std::copy(portable, portable + 5, fast);
      ShaBlocksPortable(variant, portable, bytes, blocks);
      ASSERT_TRUE(ShaBlocksWithInstructions(variant, fast, bytes, blocks));
      EXPECT_TRUE(std::equal(portable, portable + 5, fast))
          << (variant == ShaVariant::Sha0 ? "SHA-0, " : "SHA-1, ") << blocks << " blocks";
    }
  }
}

TEST(ShaDigest, StartsOverAfterFinal) {
  ShaDigest sha;
  sha.Update("junk");
  sha.FinalHex();
  sha.Update("abc");
  EXPECT_EQ(sha.FinalHex(), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  sha.Update("junk");
  sha.Reset();
  EXPECT_EQ(sha.FinalHex(), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

}  // namespace
}  // namespace tmby
