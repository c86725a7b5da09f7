#include "ui/bmp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace tmby::ui {
namespace {

// Builds a BMP file image field by field.
struct BmpBuilder {
  int width = 2;
  int height = 2;  // negative: top-down
  int bits = 24;
  uint32_t compression = 0;
  uint32_t header_size = 40;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint8_t> pixels;    // raw pixel data as stored
  int colors_used = -1;           // -1: palette.size()

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> out;
    auto u16 = [&](uint32_t v) {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
      u16(v & 0xFFFF);
      u16(v >> 16);
    };
    const size_t palette_bytes = palette.size() * (header_size == 12 ? 3 : 4);
    const uint32_t offset = static_cast<uint32_t>(14 + header_size + palette_bytes);
    out.push_back('B');
    out.push_back('M');
    u32(offset + static_cast<uint32_t>(pixels.size()));
    u32(0);
    u32(offset);
    u32(header_size);
    if (header_size == 12) {
      u16(static_cast<uint32_t>(width));
      u16(static_cast<uint32_t>(height));
      u16(1);
      u16(static_cast<uint32_t>(bits));
    } else {
      u32(static_cast<uint32_t>(width));
      u32(static_cast<uint32_t>(height));
      u16(1);
      u16(static_cast<uint32_t>(bits));
      u32(compression);
      u32(static_cast<uint32_t>(pixels.size()));
      u32(2835);
      u32(2835);
      u32(colors_used < 0 ? static_cast<uint32_t>(palette.size())
                          : static_cast<uint32_t>(colors_used));
      u32(0);
      while (out.size() < 14 + header_size) out.push_back(0);
    }
    for (uint32_t c : palette) {
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c >> 16));
      if (header_size != 12) out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kWhite = 0xFFFFFF;

TEST(BmpDecoder, Reads24BitBottomUpAndTopDownRows) {
  BmpBuilder b;
  // Bottom row first: blue, white; then the top row: red, green. Rows padded to 8 bytes.
  b.pixels = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
  TBitmapData up = DecodeBmp(b.Build());
  ASSERT_EQ(up.Width, 2);
  ASSERT_EQ(up.Height, 2);
  EXPECT_EQ(up.At(0, 0), kRed);
  EXPECT_EQ(up.At(1, 0), kGreen);
  EXPECT_EQ(up.At(0, 1), kBlue);
  EXPECT_EQ(up.At(1, 1), kWhite);
  b.height = -2;
  TBitmapData down = DecodeBmp(b.Build());
  EXPECT_EQ(down.At(0, 0), kBlue);
  EXPECT_EQ(down.At(1, 1), kGreen);
}

TEST(BmpDecoder, ReadsPalettedDepthsWithPaddedRows) {
  BmpBuilder one;
  one.width = 10;
  one.height = 1;
  one.bits = 1;
  one.palette = {0x000000, kWhite};
  one.pixels = {0b10100000, 0b01000000, 0, 0};
  TBitmapData p1 = DecodeBmp(one.Build());
  const uint32_t expect1[] = {kWhite, 0, kWhite, 0, 0, 0, 0, 0, 0, kWhite};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(p1.At(x, 0), expect1[x]) << x;

  BmpBuilder four;
  four.width = 3;
  four.height = 1;
  four.bits = 4;
  four.palette = {0, kRed, kGreen, kBlue};
  four.pixels = {0x12, 0x30, 0, 0};
  TBitmapData p4 = DecodeBmp(four.Build());
  EXPECT_EQ(p4.At(0, 0), kRed);
  EXPECT_EQ(p4.At(1, 0), kGreen);
  EXPECT_EQ(p4.At(2, 0), kBlue);

  BmpBuilder eight;
  eight.width = 1;
  eight.height = 2;
  eight.bits = 8;
  eight.palette = {kRed, kGreen, kBlue};
  eight.pixels = {2, 0, 0, 0, 1, 0, 0, 0};
  TBitmapData p8 = DecodeBmp(eight.Build());
  EXPECT_EQ(p8.At(0, 0), kGreen);
  EXPECT_EQ(p8.At(0, 1), kBlue);
  // An index past a short palette shows black instead of reading past it.
  eight.pixels = {200, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(DecodeBmp(eight.Build()).At(0, 1), 0u);
}

TEST(BmpDecoder, Reads32BitAndCoreHeaders) {
  BmpBuilder b;
  b.width = 1;
  b.height = 1;
  b.bits = 32;
  b.pixels = {0x10, 0x20, 0x30, 0xFF};
  EXPECT_EQ(DecodeBmp(b.Build()).At(0, 0), 0x302010u);

  BmpBuilder core;
  core.header_size = 12;
  core.width = 1;
  core.height = 1;
  core.bits = 8;
  core.palette = std::vector<uint32_t>(256, 0);
  core.palette[7] = 0xABCDEF;
  core.pixels = {7, 0, 0, 0};
  EXPECT_EQ(DecodeBmp(core.Build()).At(0, 0), 0xABCDEFu);
}

TEST(BmpDecoder, ReadsRunLengthEncodedPictures) {
  BmpBuilder b;
  b.width = 4;
  b.height = 2;
  b.bits = 8;
  b.compression = 1;  // BI_RLE8
  b.palette = {0, kRed, kGreen, kBlue};
  // Bottom row: a run of 3 x red, a run of 1 x blue, end of line.
  // Top row: a literal run of 3 pixels (green, blue, red) padded to 16 bits, end of bitmap.
  b.pixels = {3, 1, 1, 3, 0, 0, 0, 3, 2, 3, 1, 0, 0, 1};
  TBitmapData p = DecodeBmp(b.Build());
  EXPECT_EQ(p.At(0, 1), kRed);
  EXPECT_EQ(p.At(2, 1), kRed);
  EXPECT_EQ(p.At(3, 1), kBlue);
  EXPECT_EQ(p.At(0, 0), kGreen);
  EXPECT_EQ(p.At(1, 0), kBlue);
  EXPECT_EQ(p.At(2, 0), kRed);
  EXPECT_EQ(p.At(3, 0), 0u);  // never covered: colour 0

  BmpBuilder four;
  four.width = 3;
  four.height = 1;
  four.bits = 4;
  four.compression = 2;  // BI_RLE4
  four.palette = {0, kRed, kGreen};
  four.pixels = {3, 0x12, 0, 1};  // red, green, red
  TBitmapData q = DecodeBmp(four.Build());
  EXPECT_EQ(q.At(0, 0), kRed);
  EXPECT_EQ(q.At(1, 0), kGreen);
  EXPECT_EQ(q.At(2, 0), kRed);
  // Runs past the row end are cut, not written past the picture.
  four.pixels = {200, 0x11, 0, 1};
  EXPECT_EQ(DecodeBmp(four.Build()).At(2, 0), kRed);
}

TEST(BmpDecoder, TheSampleSplashPictureDecodes) {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "samples/notes/art/splash.bmp", std::ios::binary);
  if (!in) GTEST_SKIP() << "sample art not present";
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  TBitmapData p = DecodeBmp(bytes);
  EXPECT_EQ(p.Width, 320);
  EXPECT_EQ(p.Height, 240);
}

TEST(BmpDecoder, EncodedPicturesReadBack) {
  TBitmapData p;
  p.Width = 3;
  p.Height = 2;
  p.Pixels = {kRed, kGreen, kBlue, kWhite, 0x123456, 0};
  TBitmapData back = DecodeBmp(EncodeBmp24(p));
  EXPECT_EQ(back.Pixels, p.Pixels);
}

TEST(BmpDecoder, RefusesMalformedDataWithoutReadingPastIt) {
  BmpBuilder good;
  good.pixels = std::vector<uint8_t>(16, 0);
  const std::vector<uint8_t> base = good.Build();
  ASSERT_NO_THROW(DecodeBmp(base));

  // Every truncation of a valid file is refused (a vector of exactly that size, so that ASan
  // sees any read past it).
  for (size_t n = 0; n < base.size(); ++n) {
    std::vector<uint8_t> cut(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(DecodeBmp(cut), EInvalidGraphic) << n;
  }
  EXPECT_THROW(DecodeBmp(nullptr, 0), EInvalidGraphic);

  auto refused = [](BmpBuilder b, const char* what) {
    try {
      DecodeBmp(b.Build());
      ADD_FAILURE() << "accepted: " << what;
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find("Bitmap image is not valid"), std::string::npos);
    }
  };
  BmpBuilder b = good;
  b.width = 0;
  refused(b, "zero width");
  b = good;
  b.width = 30000;
  b.height = 30000;
  refused(b, "a forged size beyond the limit");
  b = good;
  b.bits = 16;
  refused(b, "16 bits");
  b = good;
  b.compression = 4;
  refused(b, "JPEG compression");
  b = good;
  b.header_size = 64;
  refused(b, "unknown header");
  b = good;
  b.bits = 8;
  b.colors_used = 300;
  refused(b, "palette larger than 256");
  b = good;
  b.bits = 8;
  b.compression = 1;
  b.palette = {0, kRed};
  b.pixels = {5, 1, 0};  // the run-length data stops in the middle
  refused(b, "cut run-length data");
  std::vector<uint8_t> bad = base;
  bad[0] = 'X';
  EXPECT_THROW(DecodeBmp(bad), EInvalidGraphic);
  bad = base;
  bad[10] = 0xF0;  // pixel data offset far past the end
  bad[11] = 0xFF;
  EXPECT_THROW(DecodeBmp(bad), EInvalidGraphic);
}

TEST(BmpDecoder, MutatedFilesDecodeOrAreRefusedButNeverReadOutside) {
  // Paletted, run-length and plain pictures, each corrupted at random places many times. Under the
  // sanitizers any read past the buffer fails the test; here every outcome must be a picture of
  // the stated size or EInvalidGraphic.
  BmpBuilder rle;
  rle.width = 5;
  rle.height = 3;
  rle.bits = 8;
  rle.compression = 1;
  rle.palette = {0, kRed, kGreen, kBlue};
  rle.pixels = {5, 1, 0, 0, 0, 3, 2, 3, 1, 0, 2, 1, 0, 2, 1, 1, 0, 1};
  BmpBuilder four;
  four.width = 7;
  four.height = -2;
  four.bits = 4;
  four.palette = {0, kRed, kGreen};
  four.pixels = std::vector<uint8_t>(8, 0x12);
  BmpBuilder plain;
  plain.width = 3;
  plain.height = 2;
  plain.pixels = std::vector<uint8_t>(24, 0x40);
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int decoded = 0;
  int refused = 0;
  for (const BmpBuilder* b : {&rle, &four, &plain}) {
    const std::vector<uint8_t> base = b->Build();
    for (int round = 0; round < 3000; ++round) {
      std::vector<uint8_t> bytes = base;
      const int flips = 1 + static_cast<int>(next() % 4);
      for (int i = 0; i < flips; ++i) {
        bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
      }
      if (next() % 4 == 0) bytes.resize(next() % bytes.size());
      try {
        const TBitmapData p = DecodeBmp(bytes);
        ASSERT_EQ(p.Pixels.size(), static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height));
        ++decoded;
      } catch (const EInvalidGraphic&) {
        ++refused;
      }
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace tmby::ui
