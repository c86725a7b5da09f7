#include "ui/backdrop.h"

namespace tmby::ui {

void PaintGradient(TCanvas& canvas, const TRect& area, TColor a, TColor b, bool symmetric,
                   bool across) {
  const uint32_t ra = ColorToRGB(a);
  const uint32_t rb = ColorToRGB(b);
  const int r0 = RedOf(ra);
  const int g0 = GreenOf(ra);
  const int b0 = BlueOf(ra);
  const int dr = RedOf(rb) - r0;
  const int dg = GreenOf(rb) - g0;
  const int db = BlueOf(rb) - b0;
  const int extent = across ? area.Width() : area.Height();
  const int steps = symmetric ? 127 : 255;
  canvas.BrushStyle = TBrushStyle::bsSolid;
  auto band = [&](int from, int to) {
    if (across) {
      canvas.FillRect({area.Left + from, area.Top, area.Left + to, area.Bottom});
    } else {
      canvas.FillRect({area.Left, area.Top + from, area.Right, area.Top + to});
    }
  };
  for (int n = 0; n <= steps; ++n) {
    canvas.BrushColor = static_cast<TColor>(
        MakeRGB(r0 + MulDiv(n, dr, steps), g0 + MulDiv(n, dg, steps), b0 + MulDiv(n, db, steps)));
    band(MulDiv(n, extent, 256), MulDiv(n + 1, extent, 256));
    if (symmetric) band(MulDiv(255 - n, extent, 256), MulDiv(256 - n, extent, 256));
  }
}

TCurrentBackdrop& CurrentBackdrop() {
  static TCurrentBackdrop current;
  return current;
}

const TClassInfo& TBackdrop::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TBackdrop, TCustomPanel>("TBackdrop", [](TClassBuilder<TBackdrop>& c) {
        c.Enum("Align", &TBackdrop::Align, &TBackdrop::SetAlign, std::optional<TAlign>(alClient));
        c.Enum("BorderStyle", &TBackdrop::BorderStyle, &TBackdrop::SetBorderStyle,
               std::optional<TBorderStyle>(TBorderStyle::bsNone));
        c.Boolean("Locked", &TBackdrop::Locked, &TBackdrop::SetLocked, false);
        c.Enum("Direction", &TBackdrop::Direction, &TBackdrop::SetDirection,
               std::optional<TDirection>(bdUp));
        c.Integer("EndColor", &TBackdrop::EndColor, &TBackdrop::SetEndColor, 0)
            .WithIdents(&ColorIdents());
        c.Integer("StartColor", &TBackdrop::StartColor, &TBackdrop::SetStartColor,
                  int64_t{0xFF0000})
            .WithIdents(&ColorIdents());
      });
  return info;
}

TBackdrop::TBackdrop(TComponent* owner) : TCustomPanel(owner) {
  SetBevelOuter(bvNone);
  SetAlign(alClient);
  if (DesignMode() && CurrentBackdrop().current_ == nullptr) SetTag(-1);
}

void TBackdrop::SetStartColor(TColor color) {
  if (start_color_ == color) return;
  start_color_ = color;
  Invalidate();
}

void TBackdrop::SetEndColor(TColor color) {
  if (end_color_ == color) return;
  end_color_ = color;
  Invalidate();
}

void TBackdrop::SetDirection(TDirection direction) {
  if (direction_ == direction) return;
  direction_ = direction;
  Invalidate();
}

void TBackdrop::SetTag(int32_t tag) {
  TCustomPanel::SetTag(tag);
  TCurrentBackdrop& registry = CurrentBackdrop();
  if (tag == -1) {
    TBackdrop* previous = registry.current_;
    registry.current_ = this;
    if (previous != nullptr && previous != this) previous->SetTag(0);
  } else if (registry.current_ == this) {
    registry.current_ = nullptr;
  }
}

void TBackdrop::BeforeDestruction() {
  if (CurrentBackdrop().current_ == this) CurrentBackdrop().current_ = nullptr;
  TCustomPanel::BeforeDestruction();
}

void TBackdrop::Assign(const TPersistent& source) {
  if (const auto* other = dynamic_cast<const TBackdrop*>(&source)) {
    direction_ = other->direction_;
    end_color_ = other->end_color_;
    start_color_ = other->start_color_;
    SetAlign(other->Align());
    Invalidate();
    return;
  }
  TCustomPanel::Assign(source);
}

void TBackdrop::Paint(TCanvas& canvas) {
  const TRect area = ClientRect();
  if (BorderStyle() == TBorderStyle::bsSingle) {
    canvas.PenColor = clWindowFrame;
    canvas.FrameRect(TControl::ClientRect());
  }
  switch (direction_) {
    case bdUp: PaintGradient(canvas, area, start_color_, end_color_, false, false); break;
    case bdDown: PaintGradient(canvas, area, end_color_, start_color_, false, false); break;
    case bdLeft: PaintGradient(canvas, area, start_color_, end_color_, false, true); break;
    case bdRight: PaintGradient(canvas, area, end_color_, start_color_, false, true); break;
    case bdHorzIn: PaintGradient(canvas, area, end_color_, start_color_, true, false); break;
    case bdHorzOut: PaintGradient(canvas, area, start_color_, end_color_, true, false); break;
    case bdVertIn: PaintGradient(canvas, area, start_color_, end_color_, true, true); break;
    case bdVertOut: PaintGradient(canvas, area, end_color_, start_color_, true, true); break;
  }
}

}  // namespace tmby::ui
