// Colours, rectangles, fonts and decoded pictures: the value types of the window model.
//
// A `TColor` is a 32-bit integer in the Windows blue-green-red form (0x00BBGGRR). Values with the
// high bit set name a system colour (0x80000000 | COLOR_* index) and are resolved to RGB through
// the UI port (`ColorToRGB`); `clNone` and `clDefault` are markers, never painted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tmby::ui {

using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// System colours: the high bit plus the COLOR_* index of GetSysColor.
inline constexpr TColor SystemColor(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index));
}
inline constexpr TColor clScrollBar = SystemColor(0);
inline constexpr TColor clBackground = SystemColor(1);
inline constexpr TColor clActiveCaption = SystemColor(2);
inline constexpr TColor clInactiveCaption = SystemColor(3);
inline constexpr TColor clMenu = SystemColor(4);
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clMenuText = SystemColor(7);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clCaptionText = SystemColor(9);
inline constexpr TColor clActiveBorder = SystemColor(10);
inline constexpr TColor clInactiveBorder = SystemColor(11);
inline constexpr TColor clAppWorkSpace = SystemColor(12);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clInactiveCaptionText = SystemColor(19);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor cl3DDkShadow = SystemColor(21);
inline constexpr TColor cl3DLight = SystemColor(22);
inline constexpr TColor clInfoText = SystemColor(23);
inline constexpr TColor clInfoBk = SystemColor(24);
inline constexpr int kSystemColorCount = 25;

// The colour names a definition may use instead of a number ("clBtnFace"), and back.
bool ColorFromName(const std::string& name, TColor* color);
// The name of a colour that has one, else empty.
std::string ColorName(TColor color);

// Red, green and blue parts of an RGB colour (0x00BBGGRR).
inline constexpr int RedOf(uint32_t rgb) { return static_cast<int>(rgb & 0xFF); }
inline constexpr int GreenOf(uint32_t rgb) { return static_cast<int>((rgb >> 8) & 0xFF); }
inline constexpr int BlueOf(uint32_t rgb) { return static_cast<int>((rgb >> 16) & 0xFF); }
inline constexpr uint32_t MakeRGB(int r, int g, int b) {
  return static_cast<uint32_t>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// The RGB value of a colour: system colours through the UI port (or the classic Windows XP
// scheme when no UI port is installed), others by their low 24 bits.
uint32_t ColorToRGB(TColor color);
// The classic scheme used when no port answers (index 0..24; others black).
uint32_t DefaultSystemColor(int index);

// a * b / c rounded to the nearest integer, halves away from zero, as the Windows MulDiv;
// -1 when c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

// Colour A moved `percent` of the way toward colour B, per channel
// a + percent * (b - a) / 100 rounded to the nearest integer (halves to even). On a display of
// 8 bits per pixel or less the percentage first becomes (percent div 50) * 2. Percent >= 100
// gives B and 0 gives A unresolved.
TColor Blend(TColor a, TColor b, int percent, int bits_per_pixel);

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const TSize&) const = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  TRect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  TRect Intersect(const TRect& other) const;
  bool operator==(const TRect&) const = default;
};

inline TRect Bounds(int left, int top, int width, int height) {
  return {left, top, left + width, top + height};
}

// Font styles; a font's style is a set of them, bit (1 << style) each.
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
inline constexpr uint32_t FontStyleBit(TFontStyle style) { return 1u << static_cast<int>(style); }

// Everything a canvas needs to pick a font. `Height` follows the Windows rule: negative is the
// character height in pixels, positive the cell height.
struct TFontSpec {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  uint32_t Style = 0;  // FontStyleBit() values
  TColor Color = clWindowText;
  int Charset = 1;  // DEFAULT_CHARSET
  bool operator==(const TFontSpec&) const = default;
};

// A decoded picture: top-down rows of 0x00RRGGBB pixels.
struct TBitmapData {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int x, int y) const {
    return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
  }
  bool Empty() const { return Width <= 0 || Height <= 0; }
};

// Pixel values in the canvases and pictures: 0x00RRGGBB (not the TColor order).
inline constexpr uint32_t PixelFromRGB(uint32_t rgb) {
  return static_cast<uint32_t>((RedOf(rgb) << 16) | (GreenOf(rgb) << 8) | BlueOf(rgb));
}
inline constexpr uint32_t RGBFromPixel(uint32_t px) {
  return MakeRGB(static_cast<int>((px >> 16) & 0xFF), static_cast<int>((px >> 8) & 0xFF),
                 static_cast<int>(px & 0xFF));
}

}  // namespace tmby::ui
