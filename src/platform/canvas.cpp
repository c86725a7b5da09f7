#include "platform/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/text_codec.h"

namespace tmby::ui {

void TCanvas::FillRect(const TRect& rect) {
  const TRect device = rect.Offset(origin_.X, origin_.Y).Intersect(DeviceClip());
  DeviceFill(device, ColorToRGB(BrushColor));
}

void TCanvas::FrameRect(const TRect& rect) {
  if (rect.IsEmpty()) return;
  const TColor saved = BrushColor;
  BrushColor = PenColor;
  FillRect({rect.Left, rect.Top, rect.Right, rect.Top + 1});
  FillRect({rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom});
  FillRect({rect.Left, rect.Top, rect.Left + 1, rect.Bottom});
  FillRect({rect.Right - 1, rect.Top, rect.Right, rect.Bottom});
  BrushColor = saved;
}

void TCanvas::Line(int x1, int y1, int x2, int y2) {
  const TColor saved = BrushColor;
  BrushColor = PenColor;
  if (y1 == y2) {
    FillRect({std::min(x1, x2), y1, std::max(x1, x2), y1 + 1});
  } else if (x1 == x2) {
    FillRect({x1, std::min(y1, y2), x1 + 1, std::max(y1, y2)});
  }
  BrushColor = saved;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  const TSize extent = TextExtent(text);
  DrawText(text, Bounds(x, y, extent.cx, extent.cy), dt::kLeft | dt::kSingleLine | dt::kNoPrefix);
}

void TCanvas::DrawText(const std::string& text, const TRect& rect, uint32_t flags) {
  const uint32_t background = ColorToRGB(BrushColor);
  DeviceText(text, rect.Offset(origin_.X, origin_.Y), flags, Font, ColorToRGB(Font.Color),
             BrushStyle == TBrushStyle::bsSolid ? &background : nullptr, DeviceClip());
}

TSize TCanvas::TextExtent(const std::string& text) { return DeviceTextExtent(text, Font); }

void TCanvas::StretchDraw(const TRect& rect, const TBitmapData& picture, bool smooth) {
  if (picture.Empty() || rect.IsEmpty()) return;
  DeviceStretch(rect.Offset(origin_.X, origin_.Y), picture, smooth, DeviceClip());
}

void TCanvas::SaveState() { saved_.push_back({origin_, clip_}); }

void TCanvas::RestoreState() {
  if (saved_.empty()) return;
  origin_ = saved_.back().origin;
  clip_ = saved_.back().clip;
  saved_.pop_back();
}

void TCanvas::Translate(int dx, int dy) {
  origin_.X += dx;
  origin_.Y += dy;
}

void TCanvas::IntersectClip(const TRect& clip) {
  clip_ = clip_.Intersect(clip.Offset(origin_.X, origin_.Y));
}

TRect TCanvas::ClipRect() const { return DeviceClip().Offset(-origin_.X, -origin_.Y); }

TRect TCanvas::DeviceClip() const { return clip_.Intersect(DeviceBounds()); }

int FontPixelHeight(const TFontSpec& font) {
  if (font.Height < 0) return -font.Height;
  if (font.Height == 0) return 13;
  return font.Height * 3 / 4 + 1;
}

TSize SimpleTextExtent(const std::string& text, const TFontSpec& font) {
  const int height = FontPixelHeight(font);
  const int char_width = std::max(1, height / 2);
  // Count characters, not UTF-8 bytes.
  const int chars = static_cast<int>(Utf8Length(text));
  return {chars * char_width, height};
}

TRect LayoutText(const TRect& rect, TSize extent, uint32_t flags) {
  int left = rect.Left;
  if ((flags & dt::kCenter) != 0) {
    left = rect.Left + (rect.Width() - extent.cx) / 2;
  } else if ((flags & dt::kRight) != 0) {
    left = rect.Right - extent.cx;
  }
  int top = rect.Top;
  if ((flags & dt::kSingleLine) != 0) {
    if ((flags & dt::kVCenter) != 0) {
      top = rect.Top + (rect.Height() - extent.cy) / 2;
    } else if ((flags & dt::kBottom) != 0) {
      top = rect.Bottom - extent.cy;
    }
  }
  return Bounds(left, top, extent.cx, extent.cy);
}

uint32_t SamplePicture(const TBitmapData& picture, int dest_w, int dest_h, int x, int y,
                       bool smooth) {
  if (picture.Empty() || dest_w <= 0 || dest_h <= 0) return 0;
  if (!smooth) {
    const int sx = static_cast<int>(static_cast<long long>(x) * picture.Width / dest_w);
    const int sy = static_cast<int>(static_cast<long long>(y) * picture.Height / dest_h);
    return picture.At(std::clamp(sx, 0, picture.Width - 1), std::clamp(sy, 0, picture.Height - 1));
  }
  // Centre of the destination pixel mapped into source pixel space.
  const double fx = (x + 0.5) * picture.Width / dest_w - 0.5;
  const double fy = (y + 0.5) * picture.Height / dest_h - 0.5;
  const int x0 = std::clamp(static_cast<int>(std::floor(fx)), 0, picture.Width - 1);
  const int y0 = std::clamp(static_cast<int>(std::floor(fy)), 0, picture.Height - 1);
  const int x1 = std::min(x0 + 1, picture.Width - 1);
  const int y1 = std::min(y0 + 1, picture.Height - 1);
  const double ax = std::clamp(fx - x0, 0.0, 1.0);
  const double ay = std::clamp(fy - y0, 0.0, 1.0);
  uint32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    auto channel = [&](int px, int py) {
      return static_cast<double>((picture.At(px, py) >> shift) & 0xFF);
    };
    const double top = channel(x0, y0) * (1 - ax) + channel(x1, y0) * ax;
    const double bottom = channel(x0, y1) * (1 - ax) + channel(x1, y1) * ax;
    const double value = top * (1 - ay) + bottom * ay;
    result |= static_cast<uint32_t>(std::clamp(static_cast<int>(std::lround(value)), 0, 255))
              << shift;
  }
  return result;
}

TMemoryCanvas::TMemoryCanvas(int width, int height, uint32_t fill_rgb)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), fill_rgb) {}

uint32_t TMemoryCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void TMemoryCanvas::DeviceFill(const TRect& rect, uint32_t rgb) {
  ++fills_;
  const TRect r = rect.Intersect(DeviceBounds());
  for (int y = r.Top; y < r.Bottom; ++y) {
    auto* row = &pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_)];
    std::fill(row + r.Left, row + r.Right, rgb);
  }
}

void TMemoryCanvas::DeviceText(const std::string& text, const TRect& rect, uint32_t flags,
                               const TFontSpec& font, uint32_t text_rgb, const uint32_t* background,
                               const TRect& clip) {
  const TRect placed = LayoutText(rect, SimpleTextExtent(text, font), flags);
  if (background != nullptr) DeviceFill(placed.Intersect(clip), *background);
  texts_.push_back({text, placed, font, text_rgb, background != nullptr});
}

TSize TMemoryCanvas::DeviceTextExtent(const std::string& text, const TFontSpec& font) {
  return SimpleTextExtent(text, font);
}

void TMemoryCanvas::DeviceStretch(const TRect& rect, const TBitmapData& picture, bool smooth,
                                  const TRect& clip) {
  const TRect r = rect.Intersect(clip).Intersect(DeviceBounds());
  if (r.IsEmpty()) return;
  // Source positions per destination column and row, in 1/256 pixel steps (as SamplePicture).
  struct Tap {
    int i0, i1, w;  // source indices and the weight of i1 (0..256)
  };
  auto taps = [smooth](int from, int to, int origin, int dest, int source) {
    std::vector<Tap> out;
    out.reserve(static_cast<size_t>(to - from));
    for (int d = from; d < to; ++d) {
      const int k = d - origin;
      if (!smooth) {
        const int i =
            std::clamp(static_cast<int>(static_cast<long long>(k) * source / dest), 0, source - 1);
        out.push_back({i, i, 0});
        continue;
      }
      const double f = (k + 0.5) * source / dest - 0.5;
      const int i0 = std::clamp(static_cast<int>(std::floor(f)), 0, source - 1);
      const int i1 = std::min(i0 + 1, source - 1);
      const int w = static_cast<int>(std::lround(std::clamp(f - i0, 0.0, 1.0) * 256));
      out.push_back({i0, i1, w});
    }
    return out;
  };
  const std::vector<Tap> xs = taps(r.Left, r.Right, rect.Left, rect.Width(), picture.Width);
  const std::vector<Tap> ys = taps(r.Top, r.Bottom, rect.Top, rect.Height(), picture.Height);
  auto mix = [](uint32_t a, uint32_t b, int w) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int ca = static_cast<int>((a >> shift) & 0xFF);
      const int cb = static_cast<int>((b >> shift) & 0xFF);
      out |= static_cast<uint32_t>((ca * (256 - w) + cb * w + 128) >> 8) << shift;
    }
    return out;
  };
  for (int y = r.Top; y < r.Bottom; ++y) {
    const Tap& ty = ys[static_cast<size_t>(y - r.Top)];
    uint32_t* row = &pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_)];
    for (int x = r.Left; x < r.Right; ++x) {
      const Tap& tx = xs[static_cast<size_t>(x - r.Left)];
      const uint32_t top = mix(picture.At(tx.i0, ty.i0), picture.At(tx.i1, ty.i0), tx.w);
      const uint32_t bottom = mix(picture.At(tx.i0, ty.i1), picture.At(tx.i1, ty.i1), tx.w);
      row[x] = RGBFromPixel(mix(top, bottom, ty.w));
    }
  }
}

}  // namespace tmby::ui
