// The BMP decoder behind `TPicture`. It reads Windows bitmap files (the "BM" file header followed
// by a BITMAPCOREHEADER, BITMAPINFOHEADER, V4 or V5 header) of 1, 4, 8, 24 and 32 bits per pixel,
// uncompressed (BI_RGB, and BI_BITFIELDS with 8-bit masks for 32 bits), bottom-up or top-down.
//
// Everything is read field by field with bounds checks; malformed data raises EInvalidGraphic and
// nothing is read past the buffer. Pictures larger than kMaxBitmapPixels are refused, so a forged
// header cannot make the decoder allocate without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/exceptions.h"
#include "platform/graphics.h"

namespace tmby::ui {

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EInvalidGraphic"; }
};

inline constexpr int64_t kMaxBitmapPixels = 16LL * 1024 * 1024;
inline constexpr int kMaxBitmapSide = 32768;

// Decodes a BMP file image. Throws EInvalidGraphic for anything it cannot read.
TBitmapData DecodeBmp(const uint8_t* data, size_t size);
inline TBitmapData DecodeBmp(const std::vector<uint8_t>& bytes) {
  return DecodeBmp(bytes.data(), bytes.size());
}

// Writes a 24-bit bottom-up BMP file image of `picture` (tests and sample pictures).
std::vector<uint8_t> EncodeBmp24(const TBitmapData& picture);

}  // namespace tmby::ui
