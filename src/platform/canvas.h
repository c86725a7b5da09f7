// The drawing surface of the window model. Controls paint through a `TCanvas`; an adapter gives
// the device: the win32 adapter a GDI device context (src/platform/win32/ui_win32.cpp), the tests
// and the script adapter `TMemoryCanvas`, an RGB pixel buffer.
//
// The canvas keeps the drawing state (brush, pen, font), an origin and a clip rectangle; it
// resolves colours to RGB, moves coordinates to the device and clips before it calls the device
// primitives, so that every device draws exactly the same pixels for rectangle fills.
#pragma once

#include <string>
#include <vector>

#include "platform/graphics.h"

namespace tmby::ui {

enum class TBrushStyle { bsSolid, bsClear };

// DrawText flags (the Windows DT_* values).
namespace dt {
inline constexpr uint32_t kLeft = 0x0;
inline constexpr uint32_t kCenter = 0x1;
inline constexpr uint32_t kRight = 0x2;
inline constexpr uint32_t kVCenter = 0x4;
inline constexpr uint32_t kBottom = 0x8;
inline constexpr uint32_t kWordBreak = 0x10;
inline constexpr uint32_t kSingleLine = 0x20;
inline constexpr uint32_t kNoPrefix = 0x800;
inline constexpr uint32_t kRtlReading = 0x20000;  // the text reads from the right (Hebrew)
}  // namespace dt

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TColor BrushColor = clWhite;
  TBrushStyle BrushStyle = TBrushStyle::bsSolid;
  TColor PenColor = clBlack;
  TFontSpec Font;

  // Fills `rect` (canvas coordinates, exclusive right and bottom) with the brush colour.
  void FillRect(const TRect& rect);
  // A one-pixel frame in the pen colour just inside `rect`.
  void FrameRect(const TRect& rect);
  // A line from (x1, y1) to (x2, y2), last point excluded, in the pen colour; horizontal and
  // vertical lines only (the kit draws bevels, nothing slanted).
  void Line(int x1, int y1, int x2, int y2);
  // Text in the font, its top-left corner at (x, y); with a solid brush the text cell is filled.
  void TextOut(int x, int y, const std::string& text);
  // Text laid out in `rect` by the DT_* flags.
  void DrawText(const std::string& text, const TRect& rect, uint32_t flags);
  TSize TextExtent(const std::string& text);
  // The picture stretched onto `rect`; `smooth` allows linear filtering.
  void StretchDraw(const TRect& rect, const TBitmapData& picture, bool smooth);

  // Origin and clipping: a control paints in its own coordinates. SaveState/RestoreState nest.
  void SaveState();
  void RestoreState();
  // Moves the origin by (dx, dy) and narrows the clip rectangle to `clip` (canvas coordinates
  // after the move).
  void Translate(int dx, int dy);
  void IntersectClip(const TRect& clip);
  TPoint Origin() const { return origin_; }
  TRect ClipRect() const;  // in canvas coordinates

  // The whole drawing surface in device pixels.
  virtual TRect DeviceBounds() const = 0;

 protected:
  // Device primitives: device coordinates, RGB values, already clipped for fills.
  virtual void DeviceFill(const TRect& rect, uint32_t rgb) = 0;
  // Text inside `rect` by the DT_* flags, clipped to `clip`; `background` is nullptr when clear.
  virtual void DeviceText(const std::string& text, const TRect& rect, uint32_t flags,
                          const TFontSpec& font, uint32_t text_rgb, const uint32_t* background,
                          const TRect& clip) = 0;
  virtual TSize DeviceTextExtent(const std::string& text, const TFontSpec& font) = 0;
  virtual void DeviceStretch(const TRect& rect, const TBitmapData& picture, bool smooth,
                             const TRect& clip) = 0;

 private:
  struct State {
    TPoint origin;
    TRect clip;
  };
  TRect DeviceClip() const;
  TPoint origin_;
  TRect clip_{-(1 << 28), -(1 << 28), 1 << 28, 1 << 28};  // device coordinates
  std::vector<State> saved_;
};

// A simple text metric used where no real font exists (memory canvas, script adapter): each
// character is half the font's pixel height wide (at least 1), a line is the pixel height high.
TSize SimpleTextExtent(const std::string& text, const TFontSpec& font);
// The pixel height of a font (the absolute value of a negative Height, else Height * 3 / 4 + 1).
int FontPixelHeight(const TFontSpec& font);

// An RGB pixel buffer. Rectangle fills and pictures are drawn pixel-exactly; text is not
// rasterised but recorded (position, text, font, colour) so that tests can check it.
class TMemoryCanvas : public TCanvas {
 public:
  struct TextRecord {
    std::string Text;
    TRect Rect;  // device coordinates of the laid-out text
    TFontSpec Font;
    uint32_t Rgb = 0;
    bool Opaque = false;
  };

  TMemoryCanvas(int width, int height, uint32_t fill_rgb = 0);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The RGB value (0x00BBGGRR) of a device pixel.
  uint32_t Pixel(int x, int y) const;
  const std::vector<TextRecord>& Texts() const { return texts_; }
  // Number of DeviceFill calls that reached the buffer, empty ones included.
  int FillCount() const { return fills_; }
  void ResetCounters() { fills_ = 0; }

  TRect DeviceBounds() const override { return {0, 0, width_, height_}; }

 protected:
  void DeviceFill(const TRect& rect, uint32_t rgb) override;
  void DeviceText(const std::string& text, const TRect& rect, uint32_t flags, const TFontSpec& font,
                  uint32_t text_rgb, const uint32_t* background, const TRect& clip) override;
  TSize DeviceTextExtent(const std::string& text, const TFontSpec& font) override;
  void DeviceStretch(const TRect& rect, const TBitmapData& picture, bool smooth,
                     const TRect& clip) override;

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;  // 0x00BBGGRR
  std::vector<TextRecord> texts_;
  int fills_ = 0;
};

// Where the text of DrawText lands inside `rect` for a text of `extent` (one line).
TRect LayoutText(const TRect& rect, TSize extent, uint32_t flags);

// The colour (0x00RRGGBB) that `picture` stretched over a `dest_w` x `dest_h` rectangle shows at
// the destination pixel (x, y), 0 <= x < dest_w, 0 <= y < dest_h: the nearest source pixel, or with
// `smooth` the linear blend of the four around the pixel centre.
uint32_t SamplePicture(const TBitmapData& picture, int dest_w, int dest_h, int x, int y,
                       bool smooth);

}  // namespace tmby::ui
