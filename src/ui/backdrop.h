// TBackdrop: a panel that paints its whole client area with a two-colour gradient of solid bands
// (the title band across the top of the installer's main window).
//
// The extent being divided (the height, or the width when the bands run across) is always cut
// into 256 slices: 256 colour steps from one edge to the other, or 128 steps from both edges
// toward the middle. Painting is 256 (or 2 x 128) rectangle fills, whatever the size.
//
// At most one backdrop is current per process (TCurrentBackdrop): setting a backdrop's Tag to -1
// makes it current and sets the previous current backdrop's Tag to 0; setting the current one's
// Tag to anything else, or destroying it, leaves none.
#pragma once

#include "ui/controls.h"

namespace tmby::ui {

enum TDirection { bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut };
TMBY_ENUM_NAMES(TDirection, bdUp, bdDown, bdLeft, bdRight, bdHorzIn, bdHorzOut, bdVertIn, bdVertOut)

// Fills `area` with the gradient from colour `a` to colour `b`: bands stacked from top to bottom,
// or side by side from left to right when `across`; from both edges toward the middle when
// `symmetric`.
void PaintGradient(TCanvas& canvas, const TRect& area, TColor a, TColor b, bool symmetric,
                   bool across);

class TBackdrop;

// The process-wide marker of the current backdrop; tests reset it.
class TCurrentBackdrop {
 public:
  TBackdrop* Current() const { return current_; }
  void Reset() { current_ = nullptr; }

 private:
  friend class TBackdrop;
  TBackdrop* current_ = nullptr;
};
TCurrentBackdrop& CurrentBackdrop();

class TBackdrop : public TCustomPanel {
  TMBY_CLASS(TBackdrop, TCustomPanel)
 public:
  explicit TBackdrop(TComponent* owner);

  TColor StartColor() const { return start_color_; }
  void SetStartColor(TColor color);
  TColor EndColor() const { return end_color_; }
  void SetEndColor(TColor color);
  TDirection Direction() const { return direction_; }
  void SetDirection(TDirection direction);

  void SetTag(int32_t tag) override;
  void Assign(const TPersistent& source) override;
  void Paint(TCanvas& canvas) override;
  void BeforeDestruction() override;

 private:
  TColor start_color_ = 0xFF0000;
  TColor end_color_ = 0;
  TDirection direction_ = bdUp;
};

}  // namespace tmby::ui
