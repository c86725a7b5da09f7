#include "ui/backdrop.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/script/script_ui.h"
#include "ui/forms.h"

namespace tmby::ui {
namespace {

// The sample band's colours: 64 is MakeRGB(64, 0, 0), 16512 is MakeRGB(128, 64, 0).
constexpr TColor kStart = 64;
constexpr TColor kEnd = 16512;

class BackdropTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentBackdrop().Reset(); }
  void TearDown() override { CurrentBackdrop().Reset(); }

  // Paints a free-standing backdrop of the given size onto a fresh canvas.
  TMemoryCanvas PaintBand(int width, int height, TDirection direction, TColor start = kStart,
                          TColor end = kEnd) {
    TOwned<TBackdrop> band(new TBackdrop(nullptr));
    band->SetAlign(alNone);
    band->SetBounds(0, 0, width, height);
    band->SetStartColor(start);
    band->SetEndColor(end);
    band->SetDirection(direction);
    TMemoryCanvas canvas(std::max(width, 1), std::max(height, 1), 0x123456);
    band->Paint(canvas);
    return canvas;
  }
};

TEST_F(BackdropTest, SampleBandOf35RowsHasTheSliceColoursWorkedOutByHand) {
  TMemoryCanvas c = PaintBand(20, 35, bdUp);
  // Row 0 belongs to slice 3 (slices 0..2 are empty), row 17 to slice 127, row 34 to slice 252.
  EXPECT_EQ(c.Pixel(0, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(c.Pixel(19, 0), MakeRGB(65, 1, 0));
  EXPECT_EQ(c.Pixel(5, 17), MakeRGB(96, 32, 0));
  EXPECT_EQ(c.Pixel(5, 34), MakeRGB(127, 63, 0));
  // Rows go from the start colour toward the end colour without a step back.
  for (int y = 1; y < 35; ++y) EXPECT_GE(RedOf(c.Pixel(0, y)), RedOf(c.Pixel(0, y - 1)));
}

TEST_F(BackdropTest, EachRowIsPaintedByExactlyOneSliceAndAlways256Fills) {
  TOwned<TBackdrop> band(new TBackdrop(nullptr));
  band->SetAlign(alNone);
  band->SetBounds(0, 0, 7, 35);
  band->SetStartColor(kStart);
  band->SetEndColor(kEnd);
  TMemoryCanvas canvas(7, 35);
  band->Paint(canvas);
  EXPECT_EQ(canvas.FillCount(), 256);
  // Count the slices that cover each row: the half-open ranges tile the extent.
  for (int row = 0; row < 35; ++row) {
    int covering = 0;
    for (int n = 0; n < 256; ++n) {
      if (MulDiv(n, 35, 256) <= row && row < MulDiv(n + 1, 35, 256)) ++covering;
    }
    EXPECT_EQ(covering, 1) << "row " << row;
  }
  canvas.ResetCounters();
  band->SetDirection(bdHorzIn);
  band->Paint(canvas);
  EXPECT_EQ(canvas.FillCount(), 256);  // 2 x 128
}

TEST_F(BackdropTest, EveryDirectionPutsItsColoursOnTheRightEdges) {
  // 35 pixels along the graded axis, 4 across it.
  struct Case {
    TDirection direction;
    bool across;
    uint32_t first, middle, last;
  };
  const Case cases[] = {
      {bdUp, false, MakeRGB(65, 1, 0), MakeRGB(96, 32, 0), MakeRGB(127, 63, 0)},
      {bdDown, false, MakeRGB(127, 63, 0), MakeRGB(96, 32, 0), MakeRGB(65, 1, 0)},
      {bdLeft, true, MakeRGB(65, 1, 0), MakeRGB(96, 32, 0), MakeRGB(127, 63, 0)},
      {bdRight, true, MakeRGB(127, 63, 0), MakeRGB(96, 32, 0), MakeRGB(65, 1, 0)},
      // Symmetric: slice 3 of 128 steps at both edges, colour B in the middle.
      {bdHorzIn, false, MakeRGB(126, 62, 0), MakeRGB(64, 0, 0), MakeRGB(126, 62, 0)},
      {bdHorzOut, false, MakeRGB(66, 2, 0), MakeRGB(128, 64, 0), MakeRGB(66, 2, 0)},
      {bdVertIn, true, MakeRGB(66, 2, 0), MakeRGB(128, 64, 0), MakeRGB(66, 2, 0)},
      {bdVertOut, true, MakeRGB(126, 62, 0), MakeRGB(64, 0, 0), MakeRGB(126, 62, 0)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(EnumName(k.direction));
    TMemoryCanvas c = k.across ? PaintBand(35, 4, k.direction) : PaintBand(4, 35, k.direction);
    auto at = [&](int i) { return k.across ? c.Pixel(i, 2) : c.Pixel(2, i); };
    EXPECT_EQ(at(0), k.first);
    EXPECT_EQ(at(17), k.middle);
    EXPECT_EQ(at(34), k.last);
    // The other axis is uniform.
    if (k.across) {
      EXPECT_EQ(c.Pixel(10, 0), c.Pixel(10, 3));
    } else {
      EXPECT_EQ(c.Pixel(0, 10), c.Pixel(3, 10));
    }
  }
}

TEST_F(BackdropTest, A256PixelBandShowsEveryStepFromStartToEnd) {
  TMemoryCanvas c = PaintBand(2, 256, bdUp, clBlack, clWhite);
  for (int y = 0; y < 256; ++y) EXPECT_EQ(c.Pixel(0, y), MakeRGB(y, y, y)) << y;
  TMemoryCanvas s = PaintBand(2, 256, bdHorzOut, clBlack, clWhite);
  EXPECT_EQ(s.Pixel(0, 0), MakeRGB(0, 0, 0));
  EXPECT_EQ(s.Pixel(0, 255), MakeRGB(0, 0, 0));
  EXPECT_EQ(s.Pixel(0, 127), MakeRGB(255, 255, 255));
  EXPECT_EQ(s.Pixel(0, 128), MakeRGB(255, 255, 255));
}

TEST_F(BackdropTest, EqualColoursGiveAUniformFill) {
  TMemoryCanvas c = PaintBand(9, 35, bdVertOut, clNavy, clNavy);
  for (int y = 0; y < 35; ++y) {
    for (int x = 0; x < 9; ++x) ASSERT_EQ(c.Pixel(x, y), MakeRGB(0, 0, 128));
  }
}

TEST_F(BackdropTest, ZeroHeightOrWidthDrawsNothingAndDoesNotFail) {
  TMemoryCanvas canvas(10, 10, 0x777777);
  for (TDirection d : {bdUp, bdLeft, bdHorzIn, bdVertOut}) {
    PaintGradient(canvas, {0, 0, 10, 0}, kStart, kEnd, d >= bdHorzIn,
                  d == bdLeft || d == bdVertOut);
    PaintGradient(canvas, {0, 0, 0, 10}, kStart, kEnd, d >= bdHorzIn,
                  d == bdLeft || d == bdVertOut);
  }
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(canvas.Pixel(x, y), 0x777777u);
  }
  EXPECT_NO_THROW(PaintBand(0, 0, bdHorzOut));
}

TEST_F(BackdropTest, DefaultsAreThoseOfTheBand) {
  TOwned<TBackdrop> band(new TBackdrop(nullptr));
  EXPECT_EQ(band->StartColor(), 0xFF0000);
  EXPECT_EQ(band->EndColor(), 0);
  EXPECT_EQ(band->Direction(), bdUp);
  EXPECT_EQ(band->Align(), alClient);
  EXPECT_EQ(band->Tag(), 0);
  EXPECT_EQ(band->ClientRect(), band->TControl::ClientRect());  // no bevel eats the band
}

TEST_F(BackdropTest, TagMinusOneMovesTheCurrentMarkFromBackdropToBackdrop) {
  TOwned<TBackdrop> first(new TBackdrop(nullptr));
  TOwned<TBackdrop> second(new TBackdrop(nullptr));
  first->SetTag(-1);
  EXPECT_EQ(CurrentBackdrop().Current(), first.get());
  second->SetTag(-1);
  EXPECT_EQ(CurrentBackdrop().Current(), second.get());
  EXPECT_EQ(first->Tag(), 0);
  EXPECT_EQ(second->Tag(), -1);
  // Another value on a backdrop that is not current leaves the mark alone.
  first->SetTag(5);
  EXPECT_EQ(CurrentBackdrop().Current(), second.get());
  // Another value on the current one leaves none.
  second->SetTag(7);
  EXPECT_EQ(CurrentBackdrop().Current(), nullptr);
  second->SetTag(-1);
  second.reset();
  EXPECT_EQ(CurrentBackdrop().Current(), nullptr);
}

TEST_F(BackdropTest, ABackdropCreatedInTheDesignerBecomesCurrentOnlyWhenNoneIs) {
  TOwned<TComponent> designer(new TComponent(nullptr));
  designer->SetDesigning(true);
  auto* first = new TBackdrop(designer.get());
  auto* second = new TBackdrop(designer.get());
  EXPECT_EQ(first->Tag(), -1);
  EXPECT_EQ(second->Tag(), 0);
  EXPECT_EQ(CurrentBackdrop().Current(), first);
  TOwned<TBackdrop> runtime(new TBackdrop(nullptr));
  EXPECT_EQ(runtime->Tag(), 0);
}

TEST_F(BackdropTest, AssignCopiesTheGradientAndAlignmentOnly) {
  TOwned<TBackdrop> from(new TBackdrop(nullptr));
  TOwned<TBackdrop> to(new TBackdrop(nullptr));
  from->SetStartColor(1);
  from->SetEndColor(2);
  from->SetDirection(bdVertIn);
  from->SetAlign(alTop);
  from->SetTag(9);
  from->SetBounds(3, 4, 50, 60);
  to->Assign(*from);
  EXPECT_EQ(to->StartColor(), 1);
  EXPECT_EQ(to->EndColor(), 2);
  EXPECT_EQ(to->Direction(), bdVertIn);
  EXPECT_EQ(to->Align(), alTop);
  EXPECT_EQ(to->Tag(), 0);
  EXPECT_NE(to->Width(), 50);
  TOwned<TLabel> label(new TLabel(nullptr));
  EXPECT_THROW(to->Assign(*label), EConvertError);
}

TEST_F(BackdropTest, OnlyAChangedValueRepaintsTheWindow) {
  std::ostringstream transcript;
  platform::script::ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  TOwned<TForm> form(new TForm(nullptr));
  form->SetName("f");
  auto* band = new TBackdrop(form.get());
  band->SetParent(form.get());
  form->AfterConstruction();
  form->Show();
  ui.ProcessMessages();
  const int painted = ui.PaintCount("f");
  ASSERT_GE(painted, 1);

  band->SetDirection(bdUp);
  band->SetStartColor(band->StartColor());
  band->SetEndColor(band->EndColor());
  ui.ProcessMessages();
  EXPECT_EQ(ui.PaintCount("f"), painted);

  band->SetDirection(bdDown);
  ui.ProcessMessages();
  EXPECT_EQ(ui.PaintCount("f"), painted + 1);
  band->SetStartColor(clRed);
  ui.ProcessMessages();
  EXPECT_EQ(ui.PaintCount("f"), painted + 2);
}

}  // namespace
}  // namespace tmby::ui
