// The window model: controls as components with published properties.
//
//   TControl           position and size, alignment, visibility, colour, font, caption, enabling
//   TWinControl        a control that holds other controls and lays out the aligned ones
//   TCustomPanel       a filled, bevelled area with a centred caption; TPanel publishes it
//   TGraphicControl    a control that only paints: TLabel, TImage, TBevel
// The standard controls (buttons, edits, lists, ...) are in ui/std_controls.h.
//
// Native controls: once the form a control sits on has its window, every windowed control (and a
// label that is not transparent) gets a native control from the UI port (platform/ui_port.h) on
// its parent's native control or on the form's window: a real BUTTON, EDIT, ... on Windows, a line
// of the transcript in the script adapter. The model stays the owner of every value; its setters
// pass changes on, and the native control reports what the user did (a click, typed text, a
// selection) back through the control's IUiControlEvents. Controls without a native control
// (graphic controls, transparent labels) are painted by the nearest parent that has one, in order,
// through a TCanvas (each in its own coordinates, clipped to its bounds and its parent's client
// area); panels paint themselves the same way in their own native window.
//
// A control's parent is the component whose block holds it in a definition
// (SetParentComponent), or whatever SetParent gives it in code. Alignment follows the usual rule:
// the parent's client rectangle is handed out to the alTop controls (top to bottom), then alBottom
// (bottom up), alLeft, alRight, and the rest to the alClient controls; controls of one alignment
// are taken in the order of their position, then of their insertion.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "base/install_types.h"
#include "platform/canvas.h"
#include "platform/graphics.h"
#include "platform/ui_port.h"

namespace tmby::ui {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
TMBY_ENUM_NAMES(TAlign, alNone, alTop, alBottom, alLeft, alRight, alClient)

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
TMBY_ENUM_NAMES(TAlignment, taLeftJustify, taRightJustify, taCenter)

enum TTextLayout { tlTop, tlCenter, tlBottom };
TMBY_ENUM_NAMES(TTextLayout, tlTop, tlCenter, tlBottom)

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
TMBY_ENUM_NAMES(TBevelCut, bvNone, bvLowered, bvRaised, bvSpace)

// The border of a panel (a form's border is TFormBorderStyle).
enum class TBorderStyle { bsNone, bsSingle };
TMBY_ENUM_NAMES(TBorderStyle, bsNone, bsSingle)

TMBY_ENUM_NAMES(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)

enum TAnchorKind { akLeft, akTop, akRight, akBottom };
TMBY_ENUM_NAMES(TAnchorKind, akLeft, akTop, akRight, akBottom)
using TAnchors = EnumSet<TAnchorKind>;

enum TDragMode { dmManual, dmAutomatic };
TMBY_ENUM_NAMES(TDragMode, dmManual, dmAutomatic)

// The cursor names cursor properties accept (crDefault, crArrow, ...).
const TIdentMap& CursorIdents();
using TFontStyles = EnumSet<TFontStyle>;

// The colour names integer colour properties accept and are written with.
const TIdentMap& ColorIdents();

// The screen's pixels per inch, for font sizes in points.
inline constexpr int kPixelsPerInch = 96;

// A control's font. Changing it tells the owner control (OnChange).
class TFont : public TPersistent {
  TMBY_CLASS(TFont, TPersistent)
 public:
  TFont() = default;
  explicit TFont(TPersistent* owner) : owner_(owner) {}

  const std::string& Name() const { return spec_.Name; }
  void SetName(const std::string& name);
  // Pixel height: negative for the character height (the usual form), positive for the cell.
  int Height() const { return spec_.Height; }
  void SetHeight(int height);
  // Size in points (from and to Height at kPixelsPerInch).
  int Size() const;
  void SetSize(int points);
  TFontStyles Style() const { return TFontStyles::FromBits(spec_.Style); }
  void SetStyle(TFontStyles style);
  TColor Color() const { return spec_.Color; }
  void SetColor(TColor color);
  int Charset() const { return spec_.Charset; }
  void SetCharset(int charset);

  const TFontSpec& Data() const { return spec_; }
  void SetData(const TFontSpec& data);
  void Assign(const TPersistent& source) override;
  TPersistent* GetOwner() const override { return owner_; }

  std::function<void()> OnChange;

 private:
  void Changed();
  TPersistent* owner_ = nullptr;
  TFontSpec spec_;
};

class TWinControl;
class TCustomForm;

using TNotifyEvent = TEvent<TComponent*>;

class TControl : public TComponent, protected platform::IUiControlEvents {
  TMBY_CLASS(TControl, TComponent)
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  // Moves and sizes the control; the parent lays out its aligned controls again.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  // The area children and contents use, in the control's coordinates.
  virtual TRect ClientRect() const { return {0, 0, width_, height_}; }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TColor Color() const { return color_; }
  // Setting a colour ends ParentColor.
  void SetColor(TColor color);
  // True: the control takes its parent's colour, until its own colour is set.
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool value);
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& caption);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  // True: the control takes its parent's font, until its own font is changed.
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool value);

  // Carried with the definition; the installer's windows take no input through them.
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& v) { hint_ = v; }
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v) { show_hint_ = v; }
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool v) { parent_show_hint_ = v; }
  int32_t HelpContext() const { return help_context_; }
  void SetHelpContext(int32_t v) { help_context_ = v; }
  int16_t Cursor() const { return cursor_; }
  void SetCursor(int16_t v) { cursor_ = v; }
  int16_t DragCursor() const { return drag_cursor_; }
  void SetDragCursor(int16_t v) { drag_cursor_ = v; }
  TDragMode DragMode() const { return drag_mode_; }
  void SetDragMode(TDragMode v) { drag_mode_ = v; }
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors v) { anchors_ = v; }
  // The control's text reads from the right (a language such as Hebrew); its native control is
  // made again to read so. TWinControl::MirrorLayout sets it for a whole form.
  bool RightToLeft() const { return right_to_left_; }
  virtual void SetRightToLeft(bool value);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  void SetParentComponent(TComponent* parent) override;
  // The form the control sits on (itself for a form), or null.
  TCustomForm* ParentForm() const;
  // The control's top-left corner in its form's client coordinates.
  TPoint FormOrigin() const;

  // Paints the control in its own coordinates.
  virtual void Paint(TCanvas& canvas);
  // Asks the native control that paints this one (its own, or its nearest parent's) to repaint.
  void Invalidate();

  // Native controls. HasNativeControl: whether the control gets one (windowed controls, labels
  // that are not transparent). The native control exists while the form's window exists and the
  // control sits on it; CreateHandle makes it (and its children's) when the host exists,
  // DestroyHandle ends it (children first).
  virtual bool HasNativeControl() const { return false; }
  platform::IUiControl* Handle() const { return handle_.get(); }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void CreateHandle();
  void DestroyHandle();
  // The native control or window that hosts this control's native control: the parent's own, or
  // the form's window when the parent is a form; null when none exists yet.
  platform::IUiHost* ParentHost() const;
  // The parent changed its colour (ParentColor).
  void ParentColorChanged(TColor color);
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  void BeforeDestruction() override;

  // The parent copied its font to this control (ParentFont).
  void ParentFontChanged(const TFont& font);
  // Stores the bounds without asking the parent to lay out (the layout itself uses it).
  void StoreBounds(const TRect& r);

 protected:
  virtual void FontChanged();
  // Size the control would take by itself (labels), when it sizes itself.
  virtual void AdjustSize() {}
  // What the native control is: its kind and the values it starts with. The base fills the
  // common part (name, class, caption, bounds, visibility, font, colour).
  virtual void CreateParams(platform::ControlParams& params) const;
  // The native control was just made / is about to go.
  virtual void HandleCreated() {}
  // Ends the native control and makes it again (a change only a new one can show).
  void RecreateHandle();
  // platform::IUiControlEvents: the base paints the control (and the controls it paints) and
  // ignores the user's actions; the standard controls take theirs.
  void NativePaint(TCanvas& canvas) override;
  void NativeClick(bool) override {}
  void NativeTextChanged(const std::string&) override {}
  void NativeSelect(int) override {}
  void NativeFocused() override;
  void NativeKeyUp(int) override {}
  friend class TWinControl;

 private:
  void BoundsChanged();
  std::unique_ptr<platform::IUiControl> handle_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clBtnFace;
  bool parent_color_ = false;
  std::string caption_;
  TFont font_{this};
  bool parent_font_ = true;
  bool applying_parent_font_ = false;
  TWinControl* parent_ = nullptr;
  std::string hint_;
  bool show_hint_ = false;
  bool parent_show_hint_ = true;
  int32_t help_context_ = 0;
  int16_t cursor_ = 0;
  int16_t drag_cursor_ = -12;  // crDrag
  TDragMode drag_mode_ = dmManual;
  TAnchors anchors_{akLeft, akTop};
  bool right_to_left_ = false;
};

class TWinControl : public TControl {
  TMBY_CLASS(TWinControl, TControl)
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
  const std::vector<TControl*>& ControlList() const { return controls_; }

  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width);
  // The keyboard order among the parent's controls (Tab moves to the next of its form; equal
  // orders go by insertion) and whether Tab stops at the control at all.
  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int v) { tab_order_ = v; }
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool v) { tab_stop_ = v; }
  TRect ClientRect() const override;
  bool HasNativeControl() const override { return true; }

  // Keyboard focus: the control and all its parents are visible and enabled, and it takes focus.
  bool CanFocus() const;
  // Gives the control the focus (the form remembers it as its active control).
  virtual void SetFocus();
  bool Focused() const;

  // Lays out the aligned children (and theirs); does nothing while loading. `moving` is the child
  // whose position or alignment just changed: it goes first among children at the same place.
  // Children anchored to the right (bottom) edge follow it when the client area changed; anchored
  // to both edges they stretch.
  void Realign(TControl* moving = nullptr);
  void SetBounds(int left, int top, int width, int height) override;
  // Paints the children in order over this control's painting, with theirs (the whole picture
  // of what lies on the control).
  void PaintControls(TCanvas& canvas);
  // Paints only the children without a native control (what the control's own native control
  // shows of them).
  void PaintGraphicControls(TCanvas& canvas);
  void Loaded() override;

  // Lays the children out for text that reads from the right, as its readers expect a window
  // (or back): each child's position mirrored in the client area (so the buttons' order turns
  // round), left and right alignments and anchors exchanged, a label's left and right
  // justification exchanged, and every control at every level marked RightToLeft. Nothing when
  // the control is laid out so already.
  void MirrorLayout(bool right_to_left);

 protected:
  // The client rectangle inside borders and bevels.
  virtual TRect AdjustClientRect(TRect rect) const;
  void FontChanged() override;
  void CreateParams(platform::ControlParams& params) const override;
  void NativePaint(TCanvas& canvas) override;

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  std::vector<TControl*> controls_;
  // The client area the children were last laid out in: a control anchored to the right or the
  // bottom keeps its distance to that edge when the area changes.
  TRect laid_out_client_;
  bool laid_out_ = false;
  int border_width_ = 0;
  int tab_order_ = -1;
  bool tab_stop_ = false;
};

class TCustomPanel : public TWinControl {
  TMBY_CLASS(TCustomPanel, TWinControl)
 public:
  explicit TCustomPanel(TComponent* owner);

  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut v);
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int v);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  // Carried with the definition (a design-time lock on the panel's contents).
  bool Locked() const { return locked_; }
  void SetLocked(bool v) { locked_ = v; }

  void Paint(TCanvas& canvas) override;

 protected:
  TRect AdjustClientRect(TRect rect) const override;

 private:
  TBevelCut bevel_inner_ = bvNone;
  TBevelCut bevel_outer_ = bvRaised;
  int bevel_width_ = 1;
  TBorderStyle border_style_ = TBorderStyle::bsNone;
  TAlignment alignment_ = taCenter;
  bool locked_ = false;
};

class TPanel : public TCustomPanel {
  TMBY_CLASS(TPanel, TCustomPanel)
 public:
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
};

class TGraphicControl : public TControl {
  TMBY_CLASS(TGraphicControl, TControl)
 public:
  explicit TGraphicControl(TComponent* owner) : TControl(owner) {}
};

class TLabel : public TGraphicControl {
  TMBY_CLASS(TLabel, TGraphicControl)
 public:
  explicit TLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  // '&' in the caption underlines the next character ("&&" shows one '&'), and Alt with that
  // character focuses FocusControl (null: the next control the Tab key stops at after the label).
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TWinControl* control);
  void Notification(TComponent* component, TOperation operation) override;
  // The language string identifier the translator looks the caption up by (0: by its text).
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }
  void SetCaption(const std::string& caption) override;

  // A label that is not transparent is a native static text; a transparent one is painted by its
  // parent over whatever lies below it.
  bool HasNativeControl() const override { return !transparent_; }
  void Paint(TCanvas& canvas) override;
  void Loaded() override;

 protected:
  void AdjustSize() override;
  void FontChanged() override;
  void CreateParams(platform::ControlParams& params) const override;

 private:
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool transparent_ = false;
  bool auto_size_ = true;
  bool word_wrap_ = false;
  bool show_accel_char_ = true;
  int32_t glid_ = 0;
  TWinControl* focus_control_ = nullptr;
};

// A picture: the stored BMP image and its decoded pixels.
class TPicture {
 public:
  // Decodes `bytes` (EInvalidGraphic when they are not a readable bitmap); empty clears.
  void SetData(const TBytes& bytes);
  const TBytes& Data() const { return data_; }
  const TBitmapData& Bitmap() const { return bitmap_; }
  bool Empty() const { return bitmap_.Empty(); }
  int Width() const { return bitmap_.Width; }
  int Height() const { return bitmap_.Height; }

 private:
  TBytes data_;
  TBitmapData bitmap_;
};

class TImage : public TGraphicControl {
  TMBY_CLASS(TImage, TGraphicControl)
 public:
  explicit TImage(TComponent* owner);

  TPicture& Picture() { return picture_; }
  const TPicture& Picture() const { return picture_; }
  const TBytes& PictureData() const { return picture_.Data(); }
  void SetPictureData(const TBytes& bytes);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  // The picture keeps its shape: scaled down to fit the control when it is larger, and with
  // Stretch also up to the largest size that fits.
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  // Linear filtering when the picture is stretched.
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; }

  void Paint(TCanvas& canvas) override;

 private:
  TPicture picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool proportional_ = false;
  bool smooth_ = false;
  bool transparent_ = false;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
TMBY_ENUM_NAMES(TBevelShape, bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine,
                bsSpacer)
enum TBevelStyle { bsLowered, bsRaised };
TMBY_ENUM_NAMES(TBevelStyle, bsLowered, bsRaised)

// A painted line or frame (the line above a dialog's buttons).
class TBevel : public TGraphicControl {
  TMBY_CLASS(TBevel, TGraphicControl)
 public:
  explicit TBevel(TComponent* owner);

  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape v);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle v);

  void Paint(TCanvas& canvas) override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// A raised or lowered frame `width` pixels wide just inside `r`; returns the rectangle inside it.
TRect Frame3D(TCanvas& canvas, TRect r, TBevelCut cut, int width);

// Lays out `controls` (children of one parent) in `client` by their alignment. Exposed for tests.
void AlignControls(const std::vector<TControl*>& controls, TRect client,
                   TControl* moving = nullptr);

}  // namespace tmby::ui
