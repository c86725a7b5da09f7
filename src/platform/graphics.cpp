#include "platform/graphics.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/ui_port.h"

namespace tmby::ui {

namespace {

struct NamedColor {
  const char* name;
  TColor color;
};

constexpr NamedColor kColorNames[] = {
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clNone", clNone},
    {"clDefault", clDefault},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clMenuText", clMenuText},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
};

// The classic Windows scheme (as Windows 2000 and XP with the classic theme ship it).
constexpr uint32_t kClassicScheme[kSystemColorCount] = {
    MakeRGB(212, 208, 200),  // scroll bar
    MakeRGB(58, 110, 165),   // desktop
    MakeRGB(10, 36, 106),    // active caption
    MakeRGB(128, 128, 128),  // inactive caption
    MakeRGB(212, 208, 200),  // menu
    MakeRGB(255, 255, 255),  // window
    MakeRGB(0, 0, 0),        // window frame
    MakeRGB(0, 0, 0),        // menu text
    MakeRGB(0, 0, 0),        // window text
    MakeRGB(255, 255, 255),  // caption text
    MakeRGB(212, 208, 200),  // active border
    MakeRGB(212, 208, 200),  // inactive border
    MakeRGB(128, 128, 128),  // application workspace
    MakeRGB(10, 36, 106),    // highlight
    MakeRGB(255, 255, 255),  // highlight text
    MakeRGB(212, 208, 200),  // button face
    MakeRGB(128, 128, 128),  // button shadow
    MakeRGB(128, 128, 128),  // grey text
    MakeRGB(0, 0, 0),        // button text
    MakeRGB(212, 208, 200),  // inactive caption text
    MakeRGB(255, 255, 255),  // button highlight
    MakeRGB(64, 64, 64),     // 3D dark shadow
    MakeRGB(212, 208, 200),  // 3D light
    MakeRGB(0, 0, 0),        // info text
    MakeRGB(255, 255, 225),  // info background
};

// percent * diff / 100 rounded to the nearest integer, halves to even.
int ScaleHalfEven(int diff, int percent) {
  const long long num = static_cast<long long>(diff) * percent;
  long long q = num / 100;
  long long r = num % 100;
  if (r < 0) {  // floor division
    r += 100;
    q -= 1;
  }
  if (r * 2 > 100 || (r * 2 == 100 && (q & 1) != 0)) q += 1;
  return static_cast<int>(q);
}

}  // namespace

bool ColorFromName(const std::string& name, TColor* color) {
  for (const auto& entry : kColorNames) {
    if (name == entry.name) {
      *color = entry.color;
      return true;
    }
  }
  return false;
}

std::string ColorName(TColor color) {
  for (const auto& entry : kColorNames) {
    if (entry.color == color) return entry.name;
  }
  return {};
}

uint32_t DefaultSystemColor(int index) {
  if (index < 0 || index >= kSystemColorCount) return 0;
  return kClassicScheme[index];
}

uint32_t ColorToRGB(TColor color) {
  const auto value = static_cast<uint32_t>(color);
  if ((value & 0x80000000u) != 0) {
    const int index = static_cast<int>(value & 0xFF);
    if (platform::IUi* ui = platform::CurrentUi()) return ui->SystemColorRGB(index) & 0xFFFFFF;
    return DefaultSystemColor(index);
  }
  return value & 0xFFFFFF;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  long long num = static_cast<long long>(a) * b;
  long long den = c;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  const long long mag = (std::llabs(num) * 2 + den) / (den * 2);  // half away from zero
  const long long result = num < 0 ? -mag : mag;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) {
    return -1;
  }
  return static_cast<int>(result);
}

TColor Blend(TColor a, TColor b, int percent, int bits_per_pixel) {
  if (bits_per_pixel <= 8) percent = (percent / 50) * 2;
  if (percent >= 100) return b;
  if (percent <= 0) return a;
  const uint32_t ra = ColorToRGB(a);
  const uint32_t rb = ColorToRGB(b);
  const int r = RedOf(ra) + ScaleHalfEven(RedOf(rb) - RedOf(ra), percent);
  const int g = GreenOf(ra) + ScaleHalfEven(GreenOf(rb) - GreenOf(ra), percent);
  const int bl = BlueOf(ra) + ScaleHalfEven(BlueOf(rb) - BlueOf(ra), percent);
  return static_cast<TColor>(MakeRGB(r, g, bl));
}

TRect TRect::Intersect(const TRect& other) const {
  TRect r{std::max(Left, other.Left), std::max(Top, other.Top), std::min(Right, other.Right),
          std::min(Bottom, other.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

}  // namespace tmby::ui
