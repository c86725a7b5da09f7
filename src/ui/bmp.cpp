#include "ui/bmp.h"

#include <string>

namespace tmby::ui {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kFileHeaderSize = 14;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t U16(size_t offset) const {
    Need(offset, 2);
    return static_cast<uint32_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  uint32_t U32(size_t offset) const {
    Need(offset, 4);
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  const uint8_t* Bytes(size_t offset, size_t count) const {
    Need(offset, count);
    return data_ + offset;
  }
  size_t Size() const { return size_; }

 private:
  void Need(size_t offset, size_t count) const {
    if (offset > size_ || count > size_ - offset) Fail("the data ends early");
  }
  [[noreturn]] static void Fail(const std::string& why) {
    throw EInvalidGraphic("Bitmap image is not valid: " + why);
  }
  const uint8_t* data_;
  size_t size_;
};

[[noreturn]] void Invalid(const std::string& why) {
  throw EInvalidGraphic("Bitmap image is not valid: " + why);
}

// Position and width of a channel mask, for BI_BITFIELDS.
struct Channel {
  int shift = 0;
  bool valid = false;
};

Channel ChannelOf(uint32_t mask) {
  Channel c;
  if (mask == 0) return c;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++c.shift;
  }
  c.valid = (mask == 0xFF);
  return c;
}

// Run-length encoded pixels (BI_RLE8, BI_RLE4) into `out` (bottom-up rows of palette colours).
// Runs that reach past a row are cut; pixels that no run covers keep palette colour 0.
void DecodeRle(const uint8_t* data, size_t size, int bits, const std::vector<uint32_t>& palette,
               TBitmapData& out) {
  const auto w = static_cast<size_t>(out.Width);
  const auto h = static_cast<size_t>(out.Height);
  size_t x = 0;
  size_t row = 0;  // counted from the bottom
  size_t pos = 0;
  auto put = [&](uint32_t index) {
    if (x < w && row < h) out.Pixels[(h - 1 - row) * w + x] = palette[index];
    ++x;
  };
  auto next = [&]() -> uint8_t {
    if (pos >= size) Invalid("the compressed pixel data ends early");
    return data[pos++];
  };
  while (row < h) {
    const uint8_t count = next();
    const uint8_t value = next();
    if (count > 0) {
      for (int i = 0; i < count; ++i) {
        put(bits == 8 ? value : ((i % 2 == 0) ? value >> 4 : value & 0xF));
      }
    } else if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // move right and up
      x += next();
      row += next();
    } else {  // a literal run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = bits == 8 ? value : (value + 1u) / 2;
      for (size_t i = 0; i < value; ++i) {
        if (bits == 8) {
          put(next());
        } else {
          if (pos >= size) Invalid("the compressed pixel data ends early");
          const uint8_t b = data[pos];
          put(i % 2 == 0 ? b >> 4 : b & 0xF);
          if (i % 2 == 1) ++pos;
        }
      }
      if (bits == 4 && value % 2 == 1) ++pos;
      if (bytes % 2 == 1) ++pos;
    }
  }
}

}  // namespace

TBitmapData DecodeBmp(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kFileHeaderSize) Invalid("the data is too short");
  const Reader in(data, size);
  if (data[0] != 'B' || data[1] != 'M') Invalid("the signature \"BM\" is missing");
  const uint32_t bits_offset = in.U32(10);

  const uint32_t header_size = in.U32(kFileHeaderSize);
  int64_t width = 0;
  int64_t height = 0;
  uint32_t planes = 0;
  uint32_t bit_count = 0;
  uint32_t compression = kBiRgb;
  uint32_t colors_used = 0;
  size_t palette_entry = 4;
  uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
  if (header_size == 12) {  // BITMAPCOREHEADER
    width = in.U16(kFileHeaderSize + 4);
    height = in.U16(kFileHeaderSize + 6);
    planes = in.U16(kFileHeaderSize + 8);
    bit_count = in.U16(kFileHeaderSize + 10);
    palette_entry = 3;
  } else if (header_size == 40 || header_size == 52 || header_size == 56 || header_size == 108 ||
             header_size == 124) {
    width = in.I32(kFileHeaderSize + 4);
    height = in.I32(kFileHeaderSize + 8);
    planes = in.U16(kFileHeaderSize + 12);
    bit_count = in.U16(kFileHeaderSize + 14);
    compression = in.U32(kFileHeaderSize + 16);
    colors_used = in.U32(kFileHeaderSize + 32);
  } else {
    Invalid("unknown header size " + std::to_string(header_size));
  }
  if (planes != 1) Invalid("the plane count is not 1");
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) {
    Invalid("unsupported colour depth of " + std::to_string(bit_count) + " bits");
  }
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (width <= 0 || height <= 0) Invalid("the picture has no pixels");
  if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapPixels) {
    Invalid("the picture is too large");
  }

  size_t palette_offset = kFileHeaderSize + header_size;
  if (compression == kBiBitfields) {
    if (bit_count != 32) Invalid("bit fields are only read for 32 bits per pixel");
    // The masks follow a 40-byte header; the larger headers hold them inside.
    for (int i = 0; i < 3; ++i) masks[i] = in.U32(kFileHeaderSize + 40 + 4 * i);
    if (header_size == 40) palette_offset += 12;
  } else if (compression == kBiRle8 || compression == kBiRle4) {
    if (bit_count != (compression == kBiRle8 ? 8u : 4u)) {
      Invalid("the run-length encoding does not fit the colour depth");
    }
    if (top_down) Invalid("a run-length encoded bitmap cannot be top-down");
  } else if (compression != kBiRgb) {
    Invalid("unsupported compression " + std::to_string(compression));
  }
  if (top_down && header_size == 12) Invalid("a core header cannot be top-down");

  // Palette.
  std::vector<uint32_t> palette;
  if (bit_count <= 8) {
    const uint32_t max_colors = 1u << bit_count;
    if (colors_used > max_colors) Invalid("the palette is larger than the colour depth allows");
    const uint32_t count = colors_used == 0 ? max_colors : colors_used;
    const uint8_t* entries = in.Bytes(palette_offset, count * palette_entry);
    palette.resize(max_colors, 0);  // indices past the palette show black
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = entries + i * palette_entry;
      palette[i] = (static_cast<uint32_t>(e[2]) << 16) | (static_cast<uint32_t>(e[1]) << 8) | e[0];
    }
  }
  const Channel red = ChannelOf(masks[0]);
  const Channel green = ChannelOf(masks[1]);
  const Channel blue = ChannelOf(masks[2]);
  if (compression == kBiBitfields && (!red.valid || !green.valid || !blue.valid)) {
    Invalid("only 8-bit colour masks are supported");
  }

  // Pixel rows, each padded to 4 bytes.
  const auto w = static_cast<size_t>(width);
  const auto h = static_cast<size_t>(height);
  const size_t stride = ((w * bit_count + 31) / 32) * 4;
  if (bits_offset < kFileHeaderSize + header_size) Invalid("the pixel data overlaps the header");

  TBitmapData out;
  out.Width = static_cast<int>(width);
  out.Height = static_cast<int>(height);
  if (compression == kBiRle8 || compression == kBiRle4) {
    if (bits_offset > in.Size()) Invalid("the data ends early");
    out.Pixels.assign(w * h, palette[0]);
    DecodeRle(data + bits_offset, in.Size() - bits_offset, static_cast<int>(bit_count), palette,
              out);
    return out;
  }
  const uint8_t* bits = in.Bytes(bits_offset, stride * h);
  out.Pixels.resize(w * h);
  for (size_t row = 0; row < h; ++row) {
    const uint8_t* src = bits + row * stride;
    const size_t y = top_down ? row : h - 1 - row;
    uint32_t* dst = &out.Pixels[y * w];
    for (size_t x = 0; x < w; ++x) {
      switch (bit_count) {
        case 1: dst[x] = palette[(src[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: dst[x] = palette[(src[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF]; break;
        case 8: dst[x] = palette[src[x]]; break;
        case 24: {
          const uint8_t* p = src + x * 3;
          dst[x] = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
          break;
        }
        default: {
          const uint8_t* p = src + x * 4;
          const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                             (static_cast<uint32_t>(p[2]) << 16) |
                             (static_cast<uint32_t>(p[3]) << 24);
          dst[x] = (((v >> red.shift) & 0xFF) << 16) | (((v >> green.shift) & 0xFF) << 8) |
                   ((v >> blue.shift) & 0xFF);
          break;
        }
      }
    }
  }
  return out;
}

std::vector<uint8_t> EncodeBmp24(const TBitmapData& picture) {
  const auto w = static_cast<size_t>(picture.Width);
  const auto h = static_cast<size_t>(picture.Height);
  const size_t stride = ((w * 24 + 31) / 32) * 4;
  const size_t image = stride * h;
  std::vector<uint8_t> out(kFileHeaderSize + 40 + image, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<uint32_t>(out.size()));
  put32(10, kFileHeaderSize + 40);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  put16(26, 1);
  put16(28, 24);
  put32(34, static_cast<uint32_t>(image));
  for (size_t y = 0; y < h; ++y) {
    uint8_t* row = &out[kFileHeaderSize + 40 + (h - 1 - y) * stride];
    for (size_t x = 0; x < w; ++x) {
      const uint32_t px = picture.Pixels[y * w + x];
      row[x * 3] = static_cast<uint8_t>(px);
      row[x * 3 + 1] = static_cast<uint8_t>(px >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(px >> 16);
    }
  }
  return out;
}

}  // namespace tmby::ui
