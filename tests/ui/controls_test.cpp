#include "ui/controls.h"

#include <gtest/gtest.h>

#include "ui/bmp.h"

namespace tmby::ui {
namespace {

class ControlsTest : public ::testing::Test {
 protected:
  // A 200 x 100 panel without bevel holding the controls under test.
  TOwned<TPanel> parent{new TPanel(nullptr)};
  void SetUp() override {
    parent->SetBevelOuter(bvNone);
    parent->SetBounds(0, 0, 200, 100);
  }
  template <class T>
  T* Add(TAlign align, int left, int top, int width, int height) {
    auto* c = new T(parent.get());
    c->SetBounds(left, top, width, height);
    c->SetParent(parent.get());
    c->SetAlign(align);
    return c;
  }
};

TEST_F(ControlsTest, AlignedControlsShareTheClientAreaInTheUsualOrder) {
  auto* client = Add<TPanel>(alClient, 0, 0, 10, 10);
  auto* top2 = Add<TPanel>(alTop, 0, 50, 10, 20);
  auto* top1 = Add<TPanel>(alTop, 0, 0, 10, 35);
  auto* bottom = Add<TPanel>(alBottom, 0, 0, 10, 15);
  auto* left = Add<TPanel>(alLeft, 0, 0, 30, 10);
  auto* right = Add<TPanel>(alRight, 0, 0, 40, 10);
  auto* free = Add<TPanel>(alNone, 7, 8, 9, 10);
  // Tops by their position: top1 (Top 0) above top2.
  EXPECT_EQ(top1->BoundsRect(), (TRect{0, 0, 200, 35}));
  EXPECT_EQ(top2->BoundsRect(), (TRect{0, 35, 200, 55}));
  EXPECT_EQ(bottom->BoundsRect(), (TRect{0, 85, 200, 100}));
  EXPECT_EQ(left->BoundsRect(), (TRect{0, 55, 30, 85}));
  EXPECT_EQ(right->BoundsRect(), (TRect{160, 55, 200, 85}));
  EXPECT_EQ(client->BoundsRect(), (TRect{30, 55, 160, 85}));
  EXPECT_EQ(free->BoundsRect(), (TRect{7, 8, 16, 18}));

  // A hidden control gives its room back; resizing the parent lays out again.
  top2->SetVisible(false);
  EXPECT_EQ(client->BoundsRect(), (TRect{30, 35, 160, 85}));
  parent->SetBounds(0, 0, 300, 100);
  EXPECT_EQ(right->BoundsRect(), (TRect{260, 35, 300, 85}));
  // Border width and bevels narrow the client area.
  parent->SetBorderWidth(2);
  parent->SetBevelOuter(bvRaised);
  EXPECT_EQ(top1->BoundsRect(), (TRect{3, 3, 297, 38}));
}

// A window for a language that reads from the right is the designed one in a mirror: what was
// on the left is on the right (the buttons' order turns round), left alignments, anchors and
// justifications become right ones, at every level, and mirroring back gives the design again.
TEST_F(ControlsTest, AMirroredLayoutIsTheDesignInAMirrorAtEveryLevel) {
  auto* band = Add<TPanel>(alLeft, 0, 0, 40, 10);
  auto* back = Add<TPanel>(alNone, 100, 70, 40, 20);
  auto* group = Add<TPanel>(alNone, 50, 10, 100, 50);
  group->SetBevelOuter(bvNone);
  auto* label = new TLabel(parent.get());
  label->SetAutoSize(false);
  label->SetBounds(5, 5, 60, 12);
  label->SetParent(group);
  label->SetCaption("Folder?");
  back->SetAnchors({akRight, akBottom});

  parent->MirrorLayout(true);
  EXPECT_EQ(band->Align(), alRight);
  EXPECT_EQ(band->BoundsRect(), (TRect{160, 0, 200, 100}));
  EXPECT_EQ(back->BoundsRect(), (TRect{60, 70, 100, 90}));
  EXPECT_EQ(back->Anchors(), (TAnchors{akLeft, akBottom}));
  EXPECT_EQ(group->BoundsRect(), (TRect{50, 10, 150, 60}));
  EXPECT_EQ(label->BoundsRect(), (TRect{35, 5, 95, 17}));  // mirrored inside its group
  EXPECT_EQ(label->Alignment(), taRightJustify);
  EXPECT_TRUE(parent->RightToLeft());
  EXPECT_TRUE(group->RightToLeft());
  EXPECT_TRUE(label->RightToLeft());
  // Asked again (a language applied twice), nothing moves.
  parent->MirrorLayout(true);
  EXPECT_EQ(back->BoundsRect(), (TRect{60, 70, 100, 90}));
  EXPECT_EQ(label->Alignment(), taRightJustify);
  // The parent grows: the mirrored band stays on its right edge, and what was anchored to the
  // left keeps its distance to the right edge now.
  parent->SetBounds(0, 0, 300, 100);
  EXPECT_EQ(band->BoundsRect(), (TRect{260, 0, 300, 100}));
  EXPECT_EQ(group->Left(), 150);
  EXPECT_EQ(back->Left(), 60);  // anchored to the left now

  parent->SetBounds(0, 0, 200, 100);
  parent->MirrorLayout(false);
  EXPECT_EQ(band->Align(), alLeft);
  EXPECT_EQ(band->BoundsRect(), (TRect{0, 0, 40, 100}));
  EXPECT_EQ(back->BoundsRect(), (TRect{100, 70, 140, 90}));
  EXPECT_EQ(back->Anchors(), (TAnchors{akRight, akBottom}));
  EXPECT_EQ(label->BoundsRect(), (TRect{5, 5, 65, 17}));
  EXPECT_EQ(label->Alignment(), taLeftJustify);
  EXPECT_FALSE(label->RightToLeft());
}

// A label that reads from the right keeps its right edge when its text changes its size.
TEST_F(ControlsTest, AnAutoSizedRightToLeftLabelGrowsToTheLeft) {
  auto* label = new TLabel(parent.get());
  label->SetParent(parent.get());
  label->SetBounds(100, 5, 0, 0);
  label->SetCaption("ab");
  const int right = label->Left() + label->Width();
  label->SetRightToLeft(true);
  label->SetCaption("abcdefgh");
  EXPECT_GT(label->Width(), right - 100);
  EXPECT_EQ(label->Left() + label->Width(), right);
}

TEST_F(ControlsTest, TooLittleRoomNeverGivesNegativeSizes) {
  parent->SetBounds(0, 0, 20, 10);
  auto* top = Add<TPanel>(alTop, 0, 0, 5, 35);
  auto* client = Add<TPanel>(alClient, 0, 0, 5, 5);
  EXPECT_EQ(top->Height(), 10);
  EXPECT_EQ(client->Height(), 0);
  EXPECT_EQ(client->Width(), 20);
}

TEST_F(ControlsTest, FontsFollowTheParentUntilTheirOwnIsChanged) {
  auto* label = Add<TLabel>(alNone, 0, 0, 10, 10);
  auto* other = Add<TLabel>(alNone, 0, 0, 10, 10);
  parent->Font().SetName("Arial");
  EXPECT_EQ(label->Font().Name(), "Arial");
  other->Font().SetHeight(-24);
  EXPECT_FALSE(other->ParentFont());
  parent->Font().SetName("Tahoma");
  EXPECT_EQ(label->Font().Name(), "Tahoma");
  EXPECT_EQ(other->Font().Name(), "Arial");
  // 8 points at 96 pixels per inch.
  label->Font().SetSize(8);
  EXPECT_EQ(label->Font().Height(), -11);
  EXPECT_EQ(label->Font().Size(), 8);
}

TEST_F(ControlsTest, AutoSizedLabelsTakeTheirTextsSize) {
  auto* label = Add<TLabel>(alNone, 5, 5, 1, 1);
  label->Font().SetHeight(-10);
  label->SetCaption("abcd");
  EXPECT_EQ(label->Width(), 4 * 5);
  EXPECT_EQ(label->Height(), 10);
  label->SetAutoSize(false);
  label->SetCaption("abcdefgh");
  EXPECT_EQ(label->Width(), 20);
}

TEST_F(ControlsTest, ChildrenPaintInOrderClippedToTheirBounds) {
  parent->SetColor(clBlue);
  auto* back = Add<TPanel>(alNone, 10, 10, 50, 50);
  back->SetBevelOuter(bvNone);
  back->SetColor(clRed);
  auto* inner = new TPanel(parent.get());
  inner->SetBevelOuter(bvNone);
  inner->SetColor(clLime);
  inner->SetBounds(40, 40, 100, 100);  // reaches far past its parent
  inner->SetParent(back);
  TMemoryCanvas canvas(200, 100);
  parent->Paint(canvas);
  parent->PaintControls(canvas);
  EXPECT_EQ(canvas.Pixel(5, 5), MakeRGB(0, 0, 255));
  EXPECT_EQ(canvas.Pixel(20, 20), MakeRGB(255, 0, 0));
  EXPECT_EQ(canvas.Pixel(55, 55), MakeRGB(0, 255, 0));
  EXPECT_EQ(canvas.Pixel(65, 65), MakeRGB(0, 0, 255));  // clipped to back's bounds
  inner->SetVisible(false);
  parent->PaintControls(canvas);
  EXPECT_EQ(canvas.Pixel(55, 55), MakeRGB(255, 0, 0));
}

TEST_F(ControlsTest, APanelBevelIsHighlightAboveAndShadowBelow) {
  auto* panel = Add<TPanel>(alNone, 0, 0, 10, 10);
  TMemoryCanvas canvas(10, 10);
  panel->Paint(canvas);
  EXPECT_EQ(canvas.Pixel(0, 0), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(canvas.Pixel(9, 9), ColorToRGB(clBtnShadow));
  EXPECT_EQ(canvas.Pixel(5, 5), ColorToRGB(clBtnFace));
}

TEST_F(ControlsTest, ImagesStretchTheirPictureOrDrawItAsItIs) {
  TBitmapData pic;
  pic.Width = 2;
  pic.Height = 2;
  pic.Pixels = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  auto* image = Add<TImage>(alNone, 0, 0, 8, 8);
  image->SetPictureData(EncodeBmp24(pic));
  TMemoryCanvas plain(8, 8, 0x010203);
  image->Paint(plain);
  EXPECT_EQ(plain.Pixel(0, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(plain.Pixel(1, 1), MakeRGB(255, 255, 255));
  EXPECT_EQ(plain.Pixel(5, 5), 0x010203u);
  image->SetStretch(true);
  TMemoryCanvas stretched(8, 8);
  image->Paint(stretched);
  EXPECT_EQ(stretched.Pixel(3, 3), MakeRGB(255, 0, 0));
  EXPECT_EQ(stretched.Pixel(7, 7), MakeRGB(255, 255, 255));
  // Proportional: a tall picture (2 x 4, red above white) keeps its shape in a square box,
  // centred, at the largest size that fits when stretched, shrunk only when it is too large.
  TBitmapData tall;
  tall.Width = 2;
  tall.Height = 4;
  tall.Pixels = {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  image->SetPictureData(EncodeBmp24(tall));
  image->SetProportional(true);
  image->SetCenter(true);
  TMemoryCanvas kept(8, 8, 0x010203);
  image->Paint(kept);  // drawn 4 x 8 at x 2..5
  EXPECT_EQ(kept.Pixel(1, 2), 0x010203u);
  EXPECT_EQ(kept.Pixel(2, 2), MakeRGB(255, 0, 0));
  EXPECT_EQ(kept.Pixel(5, 6), MakeRGB(255, 255, 255));
  EXPECT_EQ(kept.Pixel(6, 6), 0x010203u);
  image->SetStretch(false);
  TMemoryCanvas small(8, 8, 0x010203);
  image->Paint(small);  // fits: as it is, 2 x 4 at 3, 2
  EXPECT_EQ(small.Pixel(3, 2), MakeRGB(255, 0, 0));
  EXPECT_EQ(small.Pixel(4, 5), MakeRGB(255, 255, 255));
  EXPECT_EQ(small.Pixel(2, 2), 0x010203u);
  EXPECT_EQ(small.Pixel(3, 6), 0x010203u);
  image->SetBounds(0, 0, 8, 2);
  TMemoryCanvas shrunk(8, 8, 0x010203);
  image->Paint(shrunk);  // too high: shrunk to 1 x 2, at 3, 0
  EXPECT_EQ(shrunk.Pixel(3, 0), MakeRGB(255, 0, 0));
  EXPECT_EQ(shrunk.Pixel(3, 1), MakeRGB(255, 255, 255));
  EXPECT_EQ(shrunk.Pixel(2, 0), 0x010203u);
  EXPECT_EQ(shrunk.Pixel(4, 1), 0x010203u);
  // A bad picture is refused and the old one stays.
  EXPECT_THROW(image->SetPictureData({'B', 'M', 1, 2}), EInvalidGraphic);
  EXPECT_EQ(image->Picture().Width(), 2);
  EXPECT_EQ(image->Picture().Height(), 4);
  image->SetPictureData({});
  EXPECT_TRUE(image->Picture().Empty());
}

TEST_F(ControlsTest, AControlCannotBecomeItsOwnAncestor) {
  auto* a = Add<TPanel>(alNone, 0, 0, 5, 5);
  auto* b = new TPanel(parent.get());
  b->SetParent(a);
  EXPECT_THROW(a->SetParent(b), EComponentError);
  // Destroying a parent first leaves its children without one.
  TComponent::Free(a);
  EXPECT_EQ(b->Parent(), nullptr);
}

}  // namespace
}  // namespace tmby::ui
