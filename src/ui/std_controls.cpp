#include "ui/std_controls.h"

#include <algorithm>

#include "ui/forms.h"

namespace tmby::ui {

namespace {

// `index` when it addresses one of `count` items, else -1 (nothing selected).
int KeptIndex(int index, size_t count) {
  return index >= 0 && static_cast<size_t>(index) < count ? index : -1;
}

// The etched frame of a group box around `r`.
void EtchedFrame(TCanvas& canvas, const TRect& r) {
  canvas.PenColor = clBtnShadow;
  canvas.FrameRect({r.Left, r.Top, r.Right - 1, r.Bottom - 1});
  canvas.PenColor = clBtnHighlight;
  canvas.FrameRect({r.Left + 1, r.Top + 1, r.Right, r.Bottom});
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TButton, TBitBtn

const TClassInfo& TButton::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TButton, TWinControl>("TButton", [](TClassBuilder<TButton>& c) {
        c.Boolean("Cancel", &TButton::Cancel, &TButton::SetCancel, false);
        c.Boolean("Default", &TButton::Default, &TButton::SetDefault, false);
        c.Integer("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, 0);
        c.Event("OnClick", &TButton::OnClick);
      });
  return info;
}

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
}

void TButton::Click() {
  if (modal_result_ != 0) {
    if (TCustomForm* form = ParentForm()) form->SetModalResult(modal_result_);
  }
  OnClick(this);
}

void TButton::Paint(TCanvas& canvas) {
  TRect r = TControl::ClientRect();
  if (default_) {
    canvas.PenColor = clWindowFrame;
    canvas.FrameRect(r);
    r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  r = Frame3D(canvas, r, bvRaised, 2);
  canvas.BrushColor = clBtnFace;
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  canvas.Font = Font().Data();
  if (!Enabled()) canvas.Font.Color = clGrayText;
  canvas.BrushStyle = TBrushStyle::bsClear;
  canvas.DrawText(Caption(), r, dt::kCenter | dt::kVCenter | dt::kSingleLine);
  canvas.BrushStyle = TBrushStyle::bsSolid;
}

const TClassInfo& TBitBtn::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TBitBtn, TButton>("TBitBtn");
  return info;
}

// ---------------------------------------------------------------------------------------------
// TCustomListBox, TListBox

const TClassInfo& TCustomListBox::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomListBox, TWinControl>(
      "TCustomListBox", [](TClassBuilder<TCustomListBox>& c) {
        c.StringList("Items", &TCustomListBox::Items, &TCustomListBox::SetItems);
        c.Boolean("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted, false);
        c.Event("OnClick", &TCustomListBox::OnClick);
      });
  return info;
}

TCustomListBox::TCustomListBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 121, 97);
  SetColor(clWindow);
  SetTabStop(true);
}

void TCustomListBox::SetItems(const TStrings& items) {
  items_ = items;
  if (sorted_) {
    std::stable_sort(items_.begin(), items_.end(), [](const std::string& a, const std::string& b) {
      return std::lexicographical_compare(
          a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
            return (x >= 'A' && x <= 'Z' ? x + 32 : x) < (y >= 'A' && y <= 'Z' ? y + 32 : y);
          });
    });
  }
  item_index_ = KeptIndex(item_index_, items_.size());
  Invalidate();
}

void TCustomListBox::SetItemIndex(int index) {
  item_index_ = KeptIndex(index, items_.size());
  Invalidate();
}

void TCustomListBox::SetSorted(bool v) {
  if (sorted_ == v) return;
  sorted_ = v;
  if (sorted_) SetItems(TStrings(items_));
}

void TCustomListBox::Paint(TCanvas& canvas) {
  TRect r = Frame3D(canvas, TControl::ClientRect(), bvLowered, 2);
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  canvas.SaveState();
  canvas.IntersectClip(r);
  const int line = FontPixelHeight(Font().Data()) + 2;
  for (size_t i = 0; i < items_.size(); ++i) {
    const TRect row{r.Left, r.Top + static_cast<int>(i) * line, r.Right,
                    r.Top + static_cast<int>(i + 1) * line};
    if (row.Top >= r.Bottom) break;
    canvas.Font = Font().Data();
    if (static_cast<int>(i) == item_index_) {
      canvas.BrushColor = clHighlight;
      canvas.FillRect(row);
      canvas.Font.Color = clHighlightText;
    }
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.DrawText(items_[i], {row.Left + 2, row.Top, row.Right, row.Bottom},
                    dt::kLeft | dt::kVCenter | dt::kSingleLine | dt::kNoPrefix);
    canvas.BrushStyle = TBrushStyle::bsSolid;
  }
  canvas.RestoreState();
}

const TClassInfo& TListBox::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TListBox, TCustomListBox>("TListBox");
  return info;
}

// ---------------------------------------------------------------------------------------------
// TCustomGroupBox, TGroupBox, TRadioGroup

const TClassInfo& TCustomGroupBox::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomGroupBox, TWinControl>("TCustomGroupBox");
  return info;
}

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
}

TRect TCustomGroupBox::AdjustClientRect(TRect rect) const {
  const int caption = FontPixelHeight(Font().Data());
  rect = {rect.Left + 2, rect.Top + caption + 2, rect.Right - 2, rect.Bottom - 2};
  return TWinControl::AdjustClientRect(rect);
}

void TCustomGroupBox::Paint(TCanvas& canvas) {
  const TRect r = TControl::ClientRect();
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  const int caption = FontPixelHeight(Font().Data());
  EtchedFrame(canvas, {r.Left, r.Top + caption / 2, r.Right, r.Bottom});
  if (Caption().empty()) return;
  canvas.Font = Font().Data();
  if (!Enabled()) canvas.Font.Color = clGrayText;
  const TSize extent = canvas.TextExtent(Caption());
  canvas.FillRect({r.Left + 6, r.Top, r.Left + 10 + extent.cx, r.Top + caption});
  canvas.BrushStyle = TBrushStyle::bsClear;
  canvas.DrawText(Caption(), {r.Left + 8, r.Top, r.Right - 8, r.Top + caption},
                  dt::kLeft | dt::kSingleLine);
  canvas.BrushStyle = TBrushStyle::bsSolid;
}

const TClassInfo& TGroupBox::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TGroupBox, TCustomGroupBox>("TGroupBox");
  return info;
}

const TClassInfo& TRadioGroup::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TRadioGroup, TCustomGroupBox>(
      "TRadioGroup", [](TClassBuilder<TRadioGroup>& c) {
        c.Integer("Columns", &TRadioGroup::Columns, &TRadioGroup::SetColumns, 1);
        c.Integer("ItemIndex", &TRadioGroup::ItemIndex, &TRadioGroup::SetItemIndex, -1);
        c.StringList("Items", &TRadioGroup::Items, &TRadioGroup::SetItems);
        c.Event("OnClick", &TRadioGroup::OnClick);
      });
  return info;
}

void TRadioGroup::SetItems(const TStrings& items) {
  items_ = items;
  // While a definition is read the items may come after the selection: keep it for now.
  if (!Loading()) item_index_ = KeptIndex(item_index_, items_.size());
  Invalidate();
}

void TRadioGroup::SetItemIndex(int index) {
  if (!Loading()) index = KeptIndex(index, items_.size());
  if (index == item_index_) return;
  item_index_ = index;
  Invalidate();
  if (!Loading()) OnClick(this);
}

void TRadioGroup::SetColumns(int v) {
  columns_ = std::clamp(v, 1, 16);
  Invalidate();
}

void TRadioGroup::Paint(TCanvas& canvas) {
  TCustomGroupBox::Paint(canvas);
  if (items_.empty()) return;
  const TRect area = ClientRect();
  const int rows = (static_cast<int>(items_.size()) + columns_ - 1) / columns_;
  const int columnWidth = area.Width() / columns_;
  const int rowHeight = std::max(1, area.Height() / rows);
  const int mark = std::max(8, FontPixelHeight(Font().Data()) - 1);
  for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
    const int left = area.Left + (i / rows) * columnWidth + 4;
    const int top = area.Top + (i % rows) * rowHeight;
    const int markTop = top + (rowHeight - mark) / 2;
    const TRect box{left, markTop, left + mark, markTop + mark};
    canvas.BrushColor = clWindow;
    canvas.FillRect(box);
    canvas.PenColor = clBtnShadow;
    canvas.FrameRect(box);
    if (i == item_index_) {
      canvas.BrushColor = clWindowText;
      canvas.FillRect({box.Left + 3, box.Top + 3, box.Right - 3, box.Bottom - 3});
    }
    canvas.Font = Font().Data();
    if (!Enabled()) canvas.Font.Color = clGrayText;
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.DrawText(items_[static_cast<size_t>(i)],
                    {left + mark + 4, top, left + columnWidth - 4, top + rowHeight},
                    dt::kLeft | dt::kVCenter | dt::kSingleLine);
    canvas.BrushStyle = TBrushStyle::bsSolid;
  }
}

void RegisterStdControlClasses(TClassRegistry& registry) {
  registry.Register({&TButton::StaticClass(), &TBitBtn::StaticClass(), &TListBox::StaticClass(),
                     &TGroupBox::StaticClass(), &TRadioGroup::StaticClass()});
}

}  // namespace tmby::ui
