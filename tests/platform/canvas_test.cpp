#include "platform/canvas.h"

#include <gtest/gtest.h>

namespace tmby::ui {
namespace {

TEST(MemoryCanvas, FillsAreClippedToTheClipRectangleAndTheBuffer) {
  TMemoryCanvas c(10, 10, 0);
  c.BrushColor = clRed;
  c.FillRect({-5, -5, 3, 3});
  EXPECT_EQ(c.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(c.Pixel(2, 2), 0x0000FFu);
  EXPECT_EQ(c.Pixel(3, 3), 0u);
  c.SaveState();
  c.Translate(4, 4);
  c.IntersectClip({0, 0, 2, 2});
  c.BrushColor = clLime;
  c.FillRect({0, 0, 100, 100});
  EXPECT_EQ(c.ClipRect(), (TRect{0, 0, 2, 2}));
  c.RestoreState();
  EXPECT_EQ(c.Pixel(4, 4), 0x00FF00u);
  EXPECT_EQ(c.Pixel(5, 5), 0x00FF00u);
  EXPECT_EQ(c.Pixel(6, 6), 0u);
  c.BrushColor = clBlue;
  c.FillRect({6, 6, 7, 7});  // the clip is back to the whole buffer
  EXPECT_EQ(c.Pixel(6, 6), 0xFF0000u);
}

TEST(MemoryCanvas, TextIsRecordedWhereDrawTextLaysItOut) {
  TMemoryCanvas c(200, 40);
  c.Font.Height = -24;
  c.Font.Color = clWhite;
  c.BrushStyle = TBrushStyle::bsClear;
  c.Translate(10, 5);
  c.DrawText("Notes", {0, 0, 100, 30}, dt::kCenter | dt::kVCenter | dt::kSingleLine);
  ASSERT_EQ(c.Texts().size(), 1u);
  const auto& t = c.Texts()[0];
  EXPECT_EQ(t.Text, "Notes");
  // 5 characters of 12 pixels, 24 high, centred in 100 x 30, moved by the origin.
  EXPECT_EQ(t.Rect, (TRect{10 + 20, 5 + 3, 10 + 80, 5 + 27}));
  EXPECT_EQ(t.Rgb, 0xFFFFFFu);
  EXPECT_FALSE(t.Opaque);
  EXPECT_EQ(c.Pixel(50, 15), 0u);  // a clear brush leaves the background
}

TEST(MemoryCanvas, StretchDrawScalesNearestOrLinear) {
  TBitmapData p;
  p.Width = 2;
  p.Height = 1;
  p.Pixels = {0x000000, 0xFFFFFF};  // 0x00RRGGBB
  TMemoryCanvas c(4, 2);
  c.StretchDraw({0, 0, 4, 2}, p, false);
  EXPECT_EQ(c.Pixel(0, 0), 0u);
  EXPECT_EQ(c.Pixel(1, 1), 0u);
  EXPECT_EQ(c.Pixel(2, 0), 0xFFFFFFu);
  EXPECT_EQ(c.Pixel(3, 1), 0xFFFFFFu);
  TMemoryCanvas s(4, 1);
  s.StretchDraw({0, 0, 4, 1}, p, true);
  // Source centres map to x = 0.5 and 2.5: the inner pixels are blends.
  EXPECT_EQ(s.Pixel(0, 0), 0u);
  EXPECT_EQ(s.Pixel(3, 0), 0xFFFFFFu);
  EXPECT_EQ(s.Pixel(1, 0), MakeRGB(64, 64, 64));
  EXPECT_EQ(s.Pixel(2, 0), MakeRGB(191, 191, 191));
  // Drawing far outside the buffer touches nothing.
  TMemoryCanvas far(4, 4, 0x010101);
  far.StretchDraw({100000, 100000, 200000, 200000}, p, true);
  EXPECT_EQ(far.Pixel(0, 0), 0x010101u);
}

}  // namespace
}  // namespace tmby::ui
