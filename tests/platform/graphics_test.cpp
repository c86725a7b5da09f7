#include "platform/graphics.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/script/script_ui.h"

namespace tmby::ui {
namespace {

TEST(MulDiv, RoundsHalvesAwayFromZeroLikeWindows) {
  EXPECT_EQ(MulDiv(3, 35, 256), 0);     // 0.41
  EXPECT_EQ(MulDiv(4, 35, 256), 1);     // 0.547
  EXPECT_EQ(MulDiv(128, 35, 256), 18);  // 17.5 exactly
  EXPECT_EQ(MulDiv(1, -1, 2), -1);      // -0.5
  EXPECT_EQ(MulDiv(3, -64, 255), -1);
  EXPECT_EQ(MulDiv(-7, 1, -2), 4);  // 3.5
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 1), -1);  // overflow
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
}

TEST(Blend, Moves45PercentPerChannelWithHalvesToEven) {
  // Window white (255) toward button face 212 (classic scheme): 255 + 45 * (-43) / 100 = 235.65.
  EXPECT_EQ(Blend(clWindow, clBtnFace, 45, 32), static_cast<TColor>(MakeRGB(236, 234, 230)));
  // 45 * 10 / 100 = 4.5 rounds to 4 (even); 45 * 30 / 100 = 13.5 rounds to 14.
  EXPECT_EQ(Blend(MakeRGB(0, 0, 0), MakeRGB(10, 30, 0), 45, 24),
            static_cast<TColor>(MakeRGB(4, 14, 0)));
  EXPECT_EQ(Blend(MakeRGB(10, 30, 0), MakeRGB(0, 0, 0), 45, 24),
            static_cast<TColor>(MakeRGB(6, 16, 0)));
  EXPECT_EQ(Blend(clWindow, clBtnFace, 100, 32), clBtnFace);
  EXPECT_EQ(Blend(clWindow, clBtnFace, 0, 32), clWindow);
  // At 8 bits per pixel 45 % becomes 0 % (and 75 % becomes 2 %).
  EXPECT_EQ(Blend(clWindow, clBtnFace, 45, 8), clWindow);
  EXPECT_EQ(Blend(MakeRGB(0, 0, 0), MakeRGB(100, 100, 100), 75, 8),
            static_cast<TColor>(MakeRGB(2, 2, 2)));
}

TEST(Colors, SystemColoursResolveThroughTheUiPortAndNamesRoundTrip) {
  EXPECT_EQ(ColorToRGB(clBtnFace), DefaultSystemColor(15));
  EXPECT_EQ(ColorToRGB(0x01123456), 0x123456u);
  std::ostringstream transcript;
  platform::script::ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  EXPECT_EQ(ColorToRGB(clWindow), ui.SystemColorRGB(5));
  TColor c = 0;
  ASSERT_TRUE(ColorFromName("clBtnFace", &c));
  EXPECT_EQ(c, clBtnFace);
  EXPECT_EQ(ColorName(clBtnFace), "clBtnFace");
  EXPECT_FALSE(ColorFromName("clNoSuch", &c));
  EXPECT_EQ(ColorName(0x123456), "");
}

}  // namespace
}  // namespace tmby::ui
