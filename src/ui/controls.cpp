#include "ui/controls.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ui_port.h"
#include "ui/bmp.h"
#include "ui/forms.h"

namespace tmby::ui {

const TIdentMap& ColorIdents() {
  static const TIdentMap idents = [] {
    TIdentMap map;
    for (const char* name : {"clBlack",         "clMaroon",
                             "clGreen",         "clOlive",
                             "clNavy",          "clPurple",
                             "clTeal",          "clGray",
                             "clSilver",        "clRed",
                             "clLime",          "clYellow",
                             "clBlue",          "clFuchsia",
                             "clAqua",          "clWhite",
                             "clNone",          "clDefault",
                             "clScrollBar",     "clBackground",
                             "clActiveCaption", "clInactiveCaption",
                             "clMenu",          "clWindow",
                             "clWindowFrame",   "clMenuText",
                             "clWindowText",    "clCaptionText",
                             "clActiveBorder",  "clInactiveBorder",
                             "clAppWorkSpace",  "clHighlight",
                             "clHighlightText", "clBtnFace",
                             "clBtnShadow",     "clGrayText",
                             "clBtnText",       "clInactiveCaptionText",
                             "clBtnHighlight",  "cl3DDkShadow",
                             "cl3DLight",       "clInfoText",
                             "clInfoBk"}) {
      TColor c = 0;
      ColorFromName(name, &c);
      map.emplace_back(name, static_cast<int64_t>(c));
    }
    return map;
  }();
  return idents;
}

const TIdentMap& CursorIdents() {
  static const TIdentMap idents = {
      {"crDefault", 0},     {"crNone", -1},     {"crArrow", -2},      {"crCross", -3},
      {"crIBeam", -4},      {"crSizeNESW", -6}, {"crSizeNS", -7},     {"crSizeNWSE", -8},
      {"crSizeWE", -9},     {"crUpArrow", -10}, {"crHourGlass", -11}, {"crDrag", -12},
      {"crNoDrop", -13},    {"crHSplit", -14},  {"crVSplit", -15},    {"crMultiDrag", -16},
      {"crSQLWait", -17},   {"crNo", -18},      {"crAppStart", -19},  {"crHelp", -20},
      {"crHandPoint", -21}, {"crSizeAll", -22},
  };
  return idents;
}

// ---------------------------------------------------------------------------------------------
// TFont

const TClassInfo& TFont::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TFont, TPersistent>("TFont", [](TClassBuilder<TFont>& c) {
        c.Integer("Charset", &TFont::Charset, &TFont::SetCharset, 1);
        c.Integer("Color", &TFont::Color, &TFont::SetColor, int64_t{clWindowText})
            .WithIdents(&ColorIdents());
        c.Integer("Height", &TFont::Height, &TFont::SetHeight, -11);
        c.String("Name", &TFont::Name, &TFont::SetName, "MS Sans Serif");
        c.Integer("Size", &TFont::Size, &TFont::SetSize, std::nullopt)
            .StoredIf([](const TPersistent&) { return false; });
        c.Set("Style", &TFont::Style, &TFont::SetStyle, TFontStyles{});
      });
  return info;
}

void TFont::SetName(const std::string& name) {
  if (spec_.Name == name) return;
  spec_.Name = name;
  Changed();
}

void TFont::SetHeight(int height) {
  if (spec_.Height == height) return;
  spec_.Height = height;
  Changed();
}

int TFont::Size() const { return -MulDiv(spec_.Height, 72, kPixelsPerInch); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, kPixelsPerInch, 72)); }

void TFont::SetStyle(TFontStyles style) {
  if (spec_.Style == style.Bits()) return;
  spec_.Style = style.Bits();
  Changed();
}

void TFont::SetColor(TColor color) {
  if (spec_.Color == color) return;
  spec_.Color = color;
  Changed();
}

void TFont::SetCharset(int charset) {
  if (spec_.Charset == charset) return;
  spec_.Charset = charset;
  Changed();
}

void TFont::SetData(const TFontSpec& wanted) {
  if (spec_ == wanted) return;
  spec_ = wanted;
  Changed();
}

void TFont::Assign(const TPersistent& source) {
  if (const auto* font = dynamic_cast<const TFont*>(&source)) {
    SetData(font->spec_);
    return;
  }
  TPersistent::Assign(source);
}

void TFont::Changed() {
  if (OnChange) OnChange();
}

// ---------------------------------------------------------------------------------------------
// TControl

const TClassInfo& TControl::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TControl, TComponent>("TControl", [](TClassBuilder<TControl>& c) {
        c.Integer("Left", &TControl::Left, &TControl::SetLeft, 0);
        c.Integer("Top", &TControl::Top, &TControl::SetTop, 0);
        c.Integer("Width", &TControl::Width, &TControl::SetWidth, std::nullopt);
        c.Integer("Height", &TControl::Height, &TControl::SetHeight, std::nullopt);
        c.Enum("Align", &TControl::Align, &TControl::SetAlign, std::optional<TAlign>(alNone));
        c.String("Caption", &TControl::Caption, &TControl::SetCaption);
        c.Integer("Color", &TControl::Color, &TControl::SetColor, int64_t{clBtnFace})
            .WithIdents(&ColorIdents())
            .StoredIf([](const TPersistent& o) {
              return !static_cast<const TControl&>(o).ParentColor();
            });
        c.Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
        c.Nested("Font", [](const TControl& ctl) -> const TFont& {
           return ctl.Font();
         }).StoredIf([](const TPersistent& o) {
          return !static_cast<const TControl&>(o).ParentFont();
        });
        c.Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false);
        c.Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
        c.Boolean("Visible", &TControl::Visible, &TControl::SetVisible, true);
        c.Set("Anchors", &TControl::Anchors, &TControl::SetAnchors, TAnchors{akLeft, akTop});
        c.Integer("Cursor", &TControl::Cursor, &TControl::SetCursor, 0).WithIdents(&CursorIdents());
        c.Integer("DragCursor", &TControl::DragCursor, &TControl::SetDragCursor, -12)
            .WithIdents(&CursorIdents());
        c.Enum("DragMode", &TControl::DragMode, &TControl::SetDragMode,
               std::optional<TDragMode>(dmManual));
        c.Integer("HelpContext", &TControl::HelpContext, &TControl::SetHelpContext, 0);
        c.String("Hint", &TControl::Hint, &TControl::SetHint);
        c.Boolean("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true);
        c.Boolean("ShowHint", &TControl::ShowHint, &TControl::SetShowHint, false);
      });
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] {
    if (!applying_parent_font_) parent_font_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  handle_.reset();
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = nullptr;
}

void TControl::BeforeDestruction() {
  DestroyHandle();
  if (parent_ != nullptr) {
    TWinControl* parent = parent_;
    parent->RemoveControl(this);
    parent_ = nullptr;
    if (!parent->Destroying()) {
      parent->Realign();
      parent->Invalidate();
    }
  }
  TComponent::BeforeDestruction();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  const bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (parent_ != nullptr && !Loading()) {
    if (align_ != alNone) parent_->Realign(this);
    parent_->Invalidate();
  }
  BoundsChanged();
  if (resized) {
    if (auto* self = dynamic_cast<TWinControl*>(this)) self->Realign();
  }
}

void TControl::StoreBounds(const TRect& r) {
  const bool resized = r.Width() != width_ || r.Height() != height_;
  const bool moved = r.Left != left_ || r.Top != top_ || resized;
  left_ = r.Left;
  top_ = r.Top;
  width_ = std::max(0, r.Width());
  height_ = std::max(0, r.Height());
  if (moved) BoundsChanged();
  if (resized) {
    if (auto* self = dynamic_cast<TWinControl*>(this)) self->Realign();
  }
}

void TControl::BoundsChanged() {
  if (handle_ != nullptr) handle_->SetBounds(BoundsRect());
}

void TControl::SetAlign(TAlign align) {
  if (align_ == align) return;
  align_ = align;
  if (parent_ != nullptr && !Loading()) {
    parent_->Realign(this);
    parent_->Invalidate();
  }
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (handle_ != nullptr) handle_->SetVisible(visible);
  if (parent_ != nullptr && !Loading()) {
    parent_->Realign(this);
    parent_->Invalidate();
  }
}

void TControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (handle_ != nullptr) handle_->SetEnabled(enabled);
  Invalidate();
}

void TControl::SetColor(TColor color) {
  parent_color_ = false;
  if (color_ == color) return;
  color_ = color;
  if (handle_ != nullptr) handle_->SetBackground(ColorToRGB(color));
  Invalidate();
  if (auto* win = dynamic_cast<TWinControl*>(this)) {
    for (TControl* c : win->controls_) c->ParentColorChanged(color);
  }
}

void TControl::SetParentColor(bool value) {
  parent_color_ = value;
  if (value && parent_ != nullptr) ParentColorChanged(parent_->Color());
}

void TControl::ParentColorChanged(TColor color) {
  if (!parent_color_ || color_ == color) return;
  SetColor(color);
  parent_color_ = true;
}

void TControl::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  if (handle_ != nullptr) handle_->SetText(caption);
  Invalidate();
}

void TControl::SetParentFont(bool value) {
  parent_font_ = value;
  if (value && parent_ != nullptr) ParentFontChanged(parent_->Font());
}

void TControl::ParentFontChanged(const TFont& font) {
  if (!parent_font_) return;
  applying_parent_font_ = true;
  font_.SetData(font.Data());
  applying_parent_font_ = false;
}

void TControl::FontChanged() {
  if (!Loading()) AdjustSize();
  if (handle_ != nullptr) handle_->SetFont(font_.Data());
  Invalidate();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  for (TControl* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) throw EComponentError("A control cannot have itself as its parent");
  }
  // A native control lives on its host: a new parent needs a new one.
  DestroyHandle();
  if (parent_ != nullptr) {
    TWinControl* old = parent_;
    old->RemoveControl(this);
    parent_ = nullptr;
    old->Realign();
    old->Invalidate();
  }
  if (parent != nullptr) {
    parent->InsertControl(this);
    parent_ = parent;
    if (parent_font_) ParentFontChanged(parent->Font());
    if (parent_color_) ParentColorChanged(parent->Color());
    if (!Loading()) parent->Realign(this);
    parent->Invalidate();
    CreateHandle();
  }
}

void TControl::SetParentComponent(TComponent* parent) {
  TComponent::SetParentComponent(parent);
  if (auto* win = dynamic_cast<TWinControl*>(parent)) SetParent(win);
}

TCustomForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent_ != nullptr) c = c->parent_;
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

TPoint TControl::FormOrigin() const {
  TPoint p;
  for (const TControl* c = this; c->parent_ != nullptr; c = c->parent_) {
    p.X += c->left_;
    p.Y += c->top_;
  }
  return p;
}

void TControl::Paint(TCanvas&) {}

void TControl::Invalidate() {
  if (Loading() || Destroying()) return;
  if (auto* form = dynamic_cast<TCustomForm*>(this)) {
    form->InvalidateWindow();
    return;
  }
  if (handle_ != nullptr) {
    handle_->Invalidate();
    return;
  }
  // Painted by the nearest parent that has a native control, or by the form's window.
  for (TWinControl* p = parent_; p != nullptr; p = p->parent_) {
    if (auto* form = dynamic_cast<TCustomForm*>(p)) {
      form->InvalidateWindow();
      return;
    }
    if (p->handle_ != nullptr) {
      p->handle_->Invalidate();
      return;
    }
  }
}

platform::IUiHost* TControl::ParentHost() const {
  if (parent_ == nullptr) return nullptr;
  if (auto* form = dynamic_cast<TCustomForm*>(parent_)) return form->Window();
  return parent_->handle_.get();
}

void TControl::SetRightToLeft(bool value) {
  if (right_to_left_ == value) return;
  right_to_left_ = value;
  if (HandleAllocated()) RecreateHandle();
  Invalidate();
}

void TControl::CreateParams(platform::ControlParams& params) const {
  params.right_to_left = right_to_left_;
  params.kind = platform::ControlKind::kPanel;
  params.name = Name();
  params.class_name = ClassName();
  params.text = caption_;
  params.bounds = BoundsRect();
  params.visible = visible_;
  params.enabled = enabled_;
  params.font = font_.Data();
  params.background_rgb = ColorToRGB(color_);
}

void TControl::CreateHandle() {
  if (handle_ != nullptr || !HasNativeControl() || Destroying()) return;
  platform::IUiHost* host = ParentHost();
  if (host == nullptr) return;
  platform::ControlParams params;
  CreateParams(params);
  handle_ = host->CreateControl(params, this);
  HandleCreated();
  if (auto* win = dynamic_cast<TWinControl*>(this)) {
    for (TControl* c : win->controls_) c->CreateHandle();
  }
}

void TControl::DestroyHandle() {
  if (auto* win = dynamic_cast<TWinControl*>(this)) {
    for (TControl* c : win->controls_) c->DestroyHandle();
  }
  handle_.reset();
}

void TControl::RecreateHandle() {
  if (Loading()) return;
  // A control that had none may need one now (a label made opaque), and the reverse.
  DestroyHandle();
  CreateHandle();
  if (parent_ != nullptr) parent_->Invalidate();
}

void TControl::NativePaint(TCanvas& canvas) { Paint(canvas); }

void TControl::NativeFocused() {
  if (TCustomForm* form = ParentForm()) {
    if (auto* win = dynamic_cast<TWinControl*>(this)) form->FocusChanged(win);
  }
}

void TControl::Loaded() {
  TComponent::Loaded();
  // A control read straight into a form's block sits on the form.
  if (parent_ == nullptr && ParentComponent() == nullptr) {
    if (auto* form = dynamic_cast<TCustomForm*>(Owner())) SetParent(form);
  }
  AdjustSize();
}

void TControl::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == parent_) {
    // The parent goes first; it has let go of this control already.
    parent_ = nullptr;
  }
  TComponent::Notification(component, operation);
}

// ---------------------------------------------------------------------------------------------
// TWinControl

const TClassInfo& TWinControl::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TWinControl, TControl>("TWinControl", [](TClassBuilder<TWinControl>& c) {
        c.Integer("BorderWidth", &TWinControl::BorderWidth, &TWinControl::SetBorderWidth, 0);
        c.Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1);
        c.Boolean("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, false);
      });
  return info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  for (TControl* c : controls_) c->parent_ = nullptr;
  controls_.clear();
}

void TWinControl::SetBorderWidth(int width) {
  width = std::max(0, width);
  if (border_width_ == width) return;
  border_width_ = width;
  Realign();
  Invalidate();
}

TRect TWinControl::ClientRect() const { return AdjustClientRect(TControl::ClientRect()); }

TRect TWinControl::AdjustClientRect(TRect rect) const {
  rect.Left += border_width_;
  rect.Top += border_width_;
  rect.Right -= border_width_;
  rect.Bottom -= border_width_;
  if (rect.Right < rect.Left) rect.Right = rect.Left;
  if (rect.Bottom < rect.Top) rect.Bottom = rect.Top;
  return rect;
}

void TWinControl::InsertControl(TControl* control) { controls_.push_back(control); }

void TWinControl::RemoveControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  TControl::SetBounds(left, top, width, height);
}

void TWinControl::Realign(TControl* moving) {
  if (Loading() || Destroying()) return;
  const TRect client = ClientRect();
  if (laid_out_ && client != laid_out_client_) {
    const int dx = client.Right - laid_out_client_.Right;
    const int dy = client.Bottom - laid_out_client_.Bottom;
    for (TControl* c : std::vector<TControl*>(controls_)) {
      if (c->Align() != alNone) continue;
      const TAnchors a = c->Anchors();
      const bool right = a.Contains(akRight);
      const bool bottom = a.Contains(akBottom);
      if (!right && !bottom) continue;
      const bool left = a.Contains(akLeft);
      const bool top = a.Contains(akTop);
      c->SetBounds(c->Left() + (right && !left ? dx : 0), c->Top() + (bottom && !top ? dy : 0),
                   c->Width() + (right && left ? dx : 0), c->Height() + (bottom && top ? dy : 0));
    }
  }
  laid_out_client_ = client;
  laid_out_ = true;
  AlignControls(controls_, client, moving);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  Realign();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : controls_) c->ParentFontChanged(Font());
}

void TWinControl::PaintControls(TCanvas& canvas) {
  const TRect client = ClientRect();
  for (TControl* c : controls_) {
    if (!c->Visible()) continue;
    canvas.SaveState();
    canvas.IntersectClip(client);
    canvas.Translate(c->Left(), c->Top());
    canvas.IntersectClip({0, 0, c->Width(), c->Height()});
    if (!canvas.ClipRect().IsEmpty()) {
      c->Paint(canvas);
      if (auto* win = dynamic_cast<TWinControl*>(c)) win->PaintControls(canvas);
    }
    canvas.RestoreState();
  }
}

void TWinControl::PaintGraphicControls(TCanvas& canvas) {
  const TRect client = ClientRect();
  for (TControl* c : controls_) {
    if (!c->Visible() || c->HasNativeControl()) continue;
    canvas.SaveState();
    canvas.IntersectClip(client);
    canvas.Translate(c->Left(), c->Top());
    canvas.IntersectClip({0, 0, c->Width(), c->Height()});
    if (!canvas.ClipRect().IsEmpty()) c->Paint(canvas);
    canvas.RestoreState();
  }
}

void TWinControl::NativePaint(TCanvas& canvas) {
  Paint(canvas);
  PaintGraphicControls(canvas);
}

void TWinControl::CreateParams(platform::ControlParams& params) const {
  TControl::CreateParams(params);
  params.tab_stop = tab_stop_;
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

void TWinControl::SetFocus() {
  TCustomForm* form = ParentForm();
  if (form != nullptr && form != this) form->FocusChanged(this);
  // On a form that is not on the screen the focus waits until the form is shown.
  if (Handle() != nullptr && form != nullptr && form->Showing()) Handle()->SetFocus();
}

bool TWinControl::Focused() const {
  TCustomForm* form = ParentForm();
  return form != nullptr && form->ActiveControl() == this;
}

void TWinControl::MirrorLayout(bool right_to_left) {
  if (RightToLeft() == right_to_left) return;
  const TRect client = ClientRect();
  for (TControl* c : controls_) {
    c->SetBounds(client.Left + client.Right - c->Left() - c->Width(), c->Top(), c->Width(),
                 c->Height());
    if (c->Align() == alLeft || c->Align() == alRight) {
      c->SetAlign(c->Align() == alLeft ? alRight : alLeft);
    }
    TAnchors anchors = c->Anchors();
    if (anchors.Contains(akLeft) != anchors.Contains(akRight)) {
      const bool left = anchors.Contains(akLeft);
      c->SetAnchors(anchors.Exclude(left ? akLeft : akRight).Include(left ? akRight : akLeft));
    }
    if (auto* label = dynamic_cast<TLabel*>(c); label != nullptr) {
      if (label->Alignment() != taCenter) {
        label->SetAlignment(label->Alignment() == taLeftJustify ? taRightJustify : taLeftJustify);
      }
    }
    if (auto* win = dynamic_cast<TWinControl*>(c); win != nullptr) {
      win->MirrorLayout(right_to_left);
    } else {
      c->SetRightToLeft(right_to_left);
    }
  }
  SetRightToLeft(right_to_left);
  Realign();
}

void AlignControls(const std::vector<TControl*>& controls, TRect client, TControl* moving) {
  auto take = [&](TAlign align) {
    std::vector<TControl*> list;
    for (TControl* c : controls) {
      if (c->Visible() && c->Align() == align) list.push_back(c);
    }
    // The edge a control is sorted by: nearer the parent's edge first.
    auto key = [align](const TControl* c) {
      switch (align) {
        case alTop: return c->Top();
        case alBottom: return -(c->Top() + c->Height());
        case alLeft: return c->Left();
        case alRight: return -(c->Left() + c->Width());
        default: return 0;
      }
    };
    // The control being moved wins a tie: it goes where it was put.
    std::stable_sort(list.begin(), list.end(), [&](const TControl* a, const TControl* b) {
      if (key(a) != key(b)) return key(a) < key(b);
      return a == moving && b != moving;
    });
    return list;
  };
  for (TControl* c : take(alTop)) {
    const int h = std::min(c->Height(), std::max(0, client.Height()));
    c->StoreBounds({client.Left, client.Top, client.Right, client.Top + h});
    client.Top += h;
  }
  for (TControl* c : take(alBottom)) {
    const int h = std::min(c->Height(), std::max(0, client.Height()));
    c->StoreBounds({client.Left, client.Bottom - h, client.Right, client.Bottom});
    client.Bottom -= h;
  }
  for (TControl* c : take(alLeft)) {
    const int w = std::min(c->Width(), std::max(0, client.Width()));
    c->StoreBounds({client.Left, client.Top, client.Left + w, client.Bottom});
    client.Left += w;
  }
  for (TControl* c : take(alRight)) {
    const int w = std::min(c->Width(), std::max(0, client.Width()));
    c->StoreBounds({client.Right - w, client.Top, client.Right, client.Bottom});
    client.Right -= w;
  }
  for (TControl* c : take(alClient)) c->StoreBounds(client);
}

// ---------------------------------------------------------------------------------------------
// Panels

const TClassInfo& TCustomPanel::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomPanel, TWinControl>("TCustomPanel");
  return info;
}

const TClassInfo& TPanel::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TPanel, TCustomPanel>("TPanel", [](TClassBuilder<TPanel>& c) {
        c.Enum("Alignment", &TPanel::Alignment, &TPanel::SetAlignment,
               std::optional<TAlignment>(taCenter));
        c.Enum("BevelInner", &TPanel::BevelInner, &TPanel::SetBevelInner,
               std::optional<TBevelCut>(bvNone));
        c.Enum("BevelOuter", &TPanel::BevelOuter, &TPanel::SetBevelOuter,
               std::optional<TBevelCut>(bvRaised));
        c.Integer("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth, 1);
        c.Enum("BorderStyle", &TPanel::BorderStyle, &TPanel::SetBorderStyle,
               std::optional<TBorderStyle>(TBorderStyle::bsNone));
        c.Boolean("Locked", &TPanel::Locked, &TPanel::SetLocked, false);
      });
  return info;
}

TCustomPanel::TCustomPanel(TComponent* owner) : TWinControl(owner) {}

void TCustomPanel::SetBevelInner(TBevelCut v) {
  if (bevel_inner_ == v) return;
  bevel_inner_ = v;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut v) {
  if (bevel_outer_ == v) return;
  bevel_outer_ = v;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelWidth(int v) {
  v = std::max(1, v);
  if (bevel_width_ == v) return;
  bevel_width_ = v;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle v) {
  if (border_style_ == v) return;
  border_style_ = v;
  Realign();
  Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment v) {
  if (alignment_ == v) return;
  alignment_ = v;
  Invalidate();
}

TRect TCustomPanel::AdjustClientRect(TRect rect) const {
  int inset = 0;
  if (border_style_ == TBorderStyle::bsSingle) inset += 1;
  if (bevel_outer_ != bvNone) inset += bevel_width_;
  if (bevel_inner_ != bvNone) inset += bevel_width_;
  rect = {rect.Left + inset, rect.Top + inset, rect.Right - inset, rect.Bottom - inset};
  return TWinControl::AdjustClientRect(rect);
}

TRect Frame3D(TCanvas& canvas, TRect r, TBevelCut cut, int width) {
  if (cut == bvNone) return r;
  for (int i = 0; i < width && !r.IsEmpty(); ++i) {
    if (cut != bvSpace) {
      const TColor top_left = cut == bvRaised ? clBtnHighlight : clBtnShadow;
      const TColor bottom_right = cut == bvRaised ? clBtnShadow : clBtnHighlight;
      canvas.PenColor = top_left;
      canvas.Line(r.Left, r.Top, r.Right, r.Top);
      canvas.Line(r.Left, r.Top, r.Left, r.Bottom);
      canvas.PenColor = bottom_right;
      canvas.Line(r.Left, r.Bottom - 1, r.Right, r.Bottom - 1);
      canvas.Line(r.Right - 1, r.Top, r.Right - 1, r.Bottom);
    }
    r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  return r;
}

namespace {

uint32_t AlignmentFlags(TAlignment a) {
  switch (a) {
    case taRightJustify: return dt::kRight;
    case taCenter: return dt::kCenter;
    default: return dt::kLeft;
  }
}

}  // namespace

void TCustomPanel::Paint(TCanvas& canvas) {
  TRect r = TControl::ClientRect();
  if (border_style_ == TBorderStyle::bsSingle) {
    canvas.PenColor = clWindowFrame;
    canvas.FrameRect(r);
    r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  r = Frame3D(canvas, r, bevel_outer_, bevel_width_);
  r = Frame3D(canvas, r, bevel_inner_, bevel_width_);
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  if (!Caption().empty()) {
    canvas.Font = Font().Data();
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.DrawText(Caption(), r,
                    AlignmentFlags(alignment_) | dt::kVCenter | dt::kSingleLine | dt::kNoPrefix);
    canvas.BrushStyle = TBrushStyle::bsSolid;
  }
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl, TLabel

const TClassInfo& TGraphicControl::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TGraphicControl, TControl>("TGraphicControl");
  return info;
}

const TClassInfo& TLabel::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TLabel, TGraphicControl>("TLabel", [](TClassBuilder<TLabel>& c) {
        c.Enum("Alignment", &TLabel::Alignment, &TLabel::SetAlignment,
               std::optional<TAlignment>(taLeftJustify));
        c.Boolean("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true);
        c.Reference("FocusControl", &TLabel::FocusControl, &TLabel::SetFocusControl);
        c.Integer("GLID", &TLabel::GLID, &TLabel::SetGLID, 0);
        c.Enum("Layout", &TLabel::Layout, &TLabel::SetLayout, std::optional<TTextLayout>(tlTop));
        c.Boolean("ParentColor", &TLabel::ParentColor, &TLabel::SetParentColor, true);
        c.Boolean("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar, true);
        c.Boolean("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false);
        c.Boolean("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false);
      });
  return info;
}

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}

void TLabel::SetFocusControl(TWinControl* control) { SetReference(focus_control_, control); }

void TLabel::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == focus_control_) focus_control_ = nullptr;
  TGraphicControl::Notification(component, operation);
}

void TLabel::SetAlignment(TAlignment v) {
  if (alignment_ == v) return;
  alignment_ = v;
  RecreateHandle();
  Invalidate();
}

void TLabel::SetLayout(TTextLayout v) {
  if (layout_ == v) return;
  layout_ = v;
  RecreateHandle();
  Invalidate();
}

void TLabel::SetTransparent(bool v) {
  if (transparent_ == v) return;
  transparent_ = v;
  RecreateHandle();
  Invalidate();
}

void TLabel::SetShowAccelChar(bool v) {
  if (show_accel_char_ == v) return;
  show_accel_char_ = v;
  RecreateHandle();
  Invalidate();
}

void TLabel::CreateParams(platform::ControlParams& params) const {
  TGraphicControl::CreateParams(params);
  params.kind = platform::ControlKind::kLabel;
  params.word_wrap = word_wrap_;
  params.alignment = static_cast<int>(alignment_ == taRightJustify ? 1
                                      : alignment_ == taCenter     ? 2
                                                                   : 0);
  params.vertical_center = layout_ == tlCenter;
  params.show_accel_char = show_accel_char_;
}

void TLabel::SetAutoSize(bool v) {
  if (auto_size_ == v) return;
  auto_size_ = v;
  if (!Loading()) AdjustSize();
}

void TLabel::SetWordWrap(bool v) {
  if (word_wrap_ == v) return;
  word_wrap_ = v;
  if (!Loading()) AdjustSize();
  RecreateHandle();
  Invalidate();
}

void TLabel::SetCaption(const std::string& caption) {
  if (caption == Caption()) return;
  TControl::SetCaption(caption);
  if (!Loading()) AdjustSize();
}

void TLabel::FontChanged() { TControl::FontChanged(); }

void TLabel::Loaded() { TGraphicControl::Loaded(); }

void TLabel::AdjustSize() {
  // An aligned label takes its size from the layout; a word-wrapped one keeps its width.
  if (!auto_size_ || Align() != alNone || word_wrap_) return;
  std::string shown = show_accel_char_ ? platform::StripAccelChars(Caption()) : Caption();
  // An empty label keeps the height of a line (a system measures no height for no text).
  if (shown.empty()) shown = " ";
  TSize size = SimpleTextExtent(shown, Font().Data());
  if (platform::IUi* ui = platform::CurrentUi()) size = ui->MeasureText(shown, Font().Data());
  if (Caption().empty()) size.cx = 0;
  // A label that reads from the right grows and shrinks to the left: its right edge stays.
  const int left = RightToLeft() ? Left() + Width() - size.cx : Left();
  SetBounds(left, Top(), size.cx, size.cy);
}

void TLabel::Paint(TCanvas& canvas) {
  const TRect r = TControl::ClientRect();
  if (!transparent_) {
    canvas.BrushColor = Color();
    canvas.BrushStyle = TBrushStyle::bsSolid;
    canvas.FillRect(r);
  }
  if (Caption().empty()) return;
  uint32_t flags = AlignmentFlags(alignment_) | (show_accel_char_ ? 0 : dt::kNoPrefix) |
                   (RightToLeft() ? dt::kRtlReading : 0);
  if (word_wrap_) {
    flags |= dt::kWordBreak;
  } else {
    flags |= dt::kSingleLine;
    if (layout_ == tlCenter) flags |= dt::kVCenter;
    if (layout_ == tlBottom) flags |= dt::kBottom;
  }
  canvas.Font = Font().Data();
  if (!Enabled()) canvas.Font.Color = clGrayText;
  canvas.BrushStyle = TBrushStyle::bsClear;
  canvas.DrawText(Caption(), r, flags);
  canvas.BrushStyle = TBrushStyle::bsSolid;
}

// ---------------------------------------------------------------------------------------------
// TPicture, TImage

void TPicture::SetData(const TBytes& bytes) {
  if (bytes.empty()) {
    data_.clear();
    bitmap_ = {};
    return;
  }
  TBitmapData decoded = DecodeBmp(bytes);
  data_ = bytes;
  bitmap_ = std::move(decoded);
}

const TClassInfo& TImage::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TImage, TGraphicControl>("TImage", [](TClassBuilder<TImage>& c) {
        c.Boolean("Center", &TImage::Center, &TImage::SetCenter, false);
        c.Picture("Picture", &TImage::PictureData, &TImage::SetPictureData);
        c.Boolean("Proportional", &TImage::Proportional, &TImage::SetProportional, false);
        c.Boolean("Smooth", &TImage::Smooth, &TImage::SetSmooth, false);
        c.Boolean("Stretch", &TImage::Stretch, &TImage::SetStretch, false);
        c.Boolean("Transparent", &TImage::Transparent, &TImage::SetTransparent, false);
      });
  return info;
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 105, 105); }

void TImage::SetPictureData(const TBytes& bytes) {
  picture_.SetData(bytes);
  Invalidate();
}

void TImage::SetStretch(bool v) {
  if (stretch_ == v) return;
  stretch_ = v;
  Invalidate();
}

void TImage::SetCenter(bool v) {
  if (center_ == v) return;
  center_ = v;
  Invalidate();
}

void TImage::SetProportional(bool v) {
  if (proportional_ == v) return;
  proportional_ = v;
  Invalidate();
}

void TImage::SetSmooth(bool v) {
  if (smooth_ == v) return;
  smooth_ = v;
  Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
  if (picture_.Empty()) return;
  int width = picture_.Width();
  int height = picture_.Height();
  if (stretch_ && !proportional_) {
    width = Width();
    height = Height();
  } else if (proportional_ && (stretch_ || width > Width() || height > Height())) {
    // The largest size of the picture's shape that fits (a larger one only when stretching).
    const int64_t across = static_cast<int64_t>(Width()) * height;
    const int64_t down = static_cast<int64_t>(Height()) * width;
    if (across <= down) {
      height = width > 0 ? static_cast<int>(across / width) : 0;
      width = Width();
    } else {
      width = height > 0 ? static_cast<int>(down / height) : 0;
      height = Height();
    }
  }
  TRect dest = Bounds(0, 0, width, height);
  if (center_) dest = dest.Offset((Width() - width) / 2, (Height() - height) / 2);
  const bool scaled = width != picture_.Width() || height != picture_.Height();
  canvas.StretchDraw(dest, picture_.Bitmap(), smooth_ && scaled);
}

// ---------------------------------------------------------------------------------------------
// TBevel

const TClassInfo& TBevel::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TBevel, TGraphicControl>("TBevel", [](TClassBuilder<TBevel>& c) {
        c.Enum("Shape", &TBevel::Shape, &TBevel::SetShape, std::optional<TBevelShape>(bsBox));
        c.Enum("Style", &TBevel::Style, &TBevel::SetStyle, std::optional<TBevelStyle>(bsLowered));
      });
  return info;
}

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::SetShape(TBevelShape v) {
  if (shape_ == v) return;
  shape_ = v;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle v) {
  if (style_ == v) return;
  style_ = v;
  Invalidate();
}

void TBevel::Paint(TCanvas& canvas) {
  // Lowered: shadow above and to the left, highlight below and to the right; raised the other way.
  const TColor first = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  const TColor second = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  const int w = Width();
  const int h = Height();
  auto line = [&](TColor color, int x1, int y1, int x2, int y2) {
    canvas.PenColor = color;
    canvas.Line(x1, y1, x2, y2);
  };
  auto box = [&](const TRect& r, TColor top_left, TColor bottom_right) {
    line(top_left, r.Left, r.Top, r.Right, r.Top);
    line(top_left, r.Left, r.Top, r.Left, r.Bottom);
    line(bottom_right, r.Left, r.Bottom - 1, r.Right, r.Bottom - 1);
    line(bottom_right, r.Right - 1, r.Top, r.Right - 1, r.Bottom);
  };
  switch (shape_) {
    case bsBox: box({0, 0, w, h}, first, second); break;
    case bsFrame:
      box({0, 0, w - 1, h - 1}, first, first);
      box({1, 1, w, h}, second, second);
      break;
    case bsTopLine:
      line(first, 0, 0, w, 0);
      line(second, 0, 1, w, 1);
      break;
    case bsBottomLine:
      line(first, 0, h - 2, w, h - 2);
      line(second, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      line(first, 0, 0, 0, h);
      line(second, 1, 0, 1, h);
      break;
    case bsRightLine:
      line(first, w - 2, 0, w - 2, h);
      line(second, w - 1, 0, w - 1, h);
      break;
    case bsSpacer: break;
  }
}

}  // namespace tmby::ui
