#include "ui/std_controls.h"

#include <algorithm>

#include "platform/port.h"
#include "platform/rtf_text.h"
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

// A caption drawn as the native control shows it: '&' marks the accelerator.
void DrawCaption(TCanvas& canvas, const TControl& control, const TRect& r, uint32_t flags) {
  canvas.Font = control.Font().Data();
  if (!control.Enabled()) canvas.Font.Color = clGrayText;
  canvas.BrushStyle = TBrushStyle::bsClear;
  canvas.DrawText(control.Caption(), r, flags);
  canvas.BrushStyle = TBrushStyle::bsSolid;
}

// Lines of a text joined by CR LF, and back (a lone LF breaks a line too).
std::string JoinLines(const TStrings& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

TStrings SplitLines(const std::string& text) {
  TStrings lines;
  if (text.empty()) return lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  // A text ending with a line break has no empty last line.
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TButton, TBitBtn

const TClassInfo& TButton::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TButton, TWinControl>("TButton", [](TClassBuilder<TButton>& c) {
        c.Boolean("Cancel", &TButton::Cancel, &TButton::SetCancel, false);
        c.Boolean("Default", &TButton::Default, &TButton::SetDefault, false);
        c.Integer("GLID", &TButton::GLID, &TButton::SetGLID, 0);
        c.Integer("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, 0);
        c.Boolean("TabStop", &TButton::TabStop, &TButton::SetTabStop, true);
        c.Event("OnClick", &TButton::OnClick);
      });
  return info;
}

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
}

void TButton::SetDefault(bool v) {
  if (default_ == v) return;
  default_ = v;
  if (Handle() != nullptr) Handle()->SetDefault(v);
  Invalidate();
}

void TButton::Click() {
  if (modal_result_ != 0) {
    if (TCustomForm* form = ParentForm()) form->SetModalResult(modal_result_);
  }
  OnClick(this);
}

void TButton::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kButton;
  params.default_button = default_;
}

void TButton::NativeClick(bool) {
  CallHandler([&] { Click(); });
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
  DrawCaption(canvas, *this, r, dt::kCenter | dt::kVCenter | dt::kSingleLine);
}

const TClassInfo& TBitBtn::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TBitBtn, TButton>("TBitBtn");
  return info;
}

// ---------------------------------------------------------------------------------------------
// TCheckBox

const TClassInfo& TCheckBox::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCheckBox, TWinControl>("TCheckBox", [](TClassBuilder<TCheckBox>& c) {
        c.Boolean("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked, false);
        c.Integer("GLID", &TCheckBox::GLID, &TCheckBox::SetGLID, 0);
        c.Boolean("ParentColor", &TCheckBox::ParentColor, &TCheckBox::SetParentColor, true);
        c.Boolean("TabStop", &TCheckBox::TabStop, &TCheckBox::SetTabStop, true);
        c.Event("OnClick", &TCheckBox::OnClick);
      });
  return info;
}

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
  SetParentColor(true);
}

void TCheckBox::SetChecked(bool v) {
  if (checked_ == v) return;
  checked_ = v;
  if (Handle() != nullptr) Handle()->SetChecked(v);
  Invalidate();
  if (!Loading()) OnClick(this);
}

void TCheckBox::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kCheckBox;
  params.checked = checked_;
}

void TCheckBox::NativeClick(bool checked) {
  CallHandler([&] { SetChecked(checked); });
}

void TCheckBox::Paint(TCanvas& canvas) {
  const TRect r = TControl::ClientRect();
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  const int mark = 13;
  const int top = (r.Height() - mark) / 2;
  const TRect box{0, top, mark, top + mark};
  canvas.BrushColor = clWindow;
  canvas.FillRect(box);
  canvas.PenColor = clBtnShadow;
  canvas.FrameRect(box);
  if (checked_) {
    canvas.BrushColor = clWindowText;
    canvas.FillRect({box.Left + 3, box.Top + 3, box.Right - 3, box.Bottom - 3});
  }
  DrawCaption(canvas, *this, {mark + 4, 0, r.Right, r.Bottom},
              dt::kLeft | dt::kVCenter | dt::kSingleLine);
}

// ---------------------------------------------------------------------------------------------
// TCustomEdit, TEdit

const TClassInfo& TCustomEdit::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomEdit, TWinControl>("TCustomEdit");
  return info;
}

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  SetColor(clWindow);
  SetTabStop(true);
}

void TCustomEdit::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  if (Handle() != nullptr) Handle()->SetText(text);
  Invalidate();
  if (!Loading()) OnChange(this);
}

void TCustomEdit::SetReadOnly(bool v) {
  if (read_only_ == v) return;
  read_only_ = v;
  if (Handle() != nullptr) Handle()->SetReadOnly(v);
}

void TCustomEdit::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kEdit;
  params.text = text_;
  params.read_only = read_only_;
}

void TCustomEdit::NativeTextChanged(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
  CallHandler([&] { OnChange(this); });
}

void TCustomEdit::NativeKeyUp(int key) {
  CallHandler([&] { OnKeyUp(this, key); });
}

void TCustomEdit::PaintField(TCanvas& canvas, bool multi_line) {
  const TRect field = Frame3D(canvas, TControl::ClientRect(), bvLowered, 2);
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(field);
  canvas.Font = Font().Data();
  if (!Enabled()) canvas.Font.Color = clGrayText;
  canvas.BrushStyle = TBrushStyle::bsClear;
  const TRect inner{field.Left + 2, field.Top + 1, field.Right - 2, field.Bottom - 1};
  if (multi_line) {
    const int line = FontPixelHeight(Font().Data()) + 2;
    int top = inner.Top;
    for (const std::string& text : SplitLines(text_)) {
      if (top >= inner.Bottom) break;
      canvas.DrawText(text, {inner.Left, top, inner.Right, top + line},
                      dt::kLeft | dt::kSingleLine | dt::kNoPrefix);
      top += line;
    }
  } else {
    canvas.DrawText(text_, inner, dt::kLeft | dt::kVCenter | dt::kSingleLine | dt::kNoPrefix);
  }
  canvas.BrushStyle = TBrushStyle::bsSolid;
}

const TClassInfo& TEdit::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TEdit, TCustomEdit>("TEdit", [](TClassBuilder<TEdit>& c) {
        c.Integer("Color", &TEdit::Color, &TEdit::SetColor, int64_t{clWindow})
            .WithIdents(&ColorIdents())
            .StoredIf([](const TPersistent& o) {
              return !static_cast<const TControl&>(o).ParentColor();
            });
        c.Boolean("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly, false);
        c.Boolean("TabStop", &TEdit::TabStop, &TEdit::SetTabStop, true);
        c.String("Text", &TEdit::Text, &TEdit::SetText);
        c.Event<TNotifyEvent>("OnChange", &TEdit::OnChange);
        c.Event<TKeyEvent>("OnKeyUp", &TEdit::OnKeyUp);
      });
  return info;
}

TEdit::TEdit(TComponent* owner) : TCustomEdit(owner) { SetBounds(0, 0, 121, 21); }

void TEdit::Paint(TCanvas& canvas) { PaintField(canvas, false); }

// ---------------------------------------------------------------------------------------------
// TCustomMemo, TMemo, TRichEdit

namespace {

// The published part of memos and rich-text viewers.
template <class T>
void DescribeMemo(TClassBuilder<T>& c) {
  c.Integer("Color", &T::Color, &T::SetColor, int64_t{clWindow})
      .WithIdents(&ColorIdents())
      .StoredIf(
          [](const TPersistent& o) { return !static_cast<const TControl&>(o).ParentColor(); });
  c.StringList("Lines", &T::Lines, &T::SetLines);
  c.Boolean("ReadOnly", &T::ReadOnly, &T::SetReadOnly, false);
  c.Enum("ScrollBars", &T::ScrollBars, &T::SetScrollBars, std::optional<TScrollStyle>(ssNone));
  c.Boolean("TabStop", &T::TabStop, &T::SetTabStop, true);
  c.Boolean("WantReturns", &T::WantReturns, &T::SetWantReturns, true);
  c.Boolean("WordWrap", &T::WordWrap, &T::SetWordWrap, true);
  c.template Event<TNotifyEvent>("OnChange", &T::OnChange);
  c.template Event<TKeyEvent>("OnKeyUp", &T::OnKeyUp);
}

}  // namespace

const TClassInfo& TCustomMemo::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomMemo, TCustomEdit>("TCustomMemo");
  return info;
}

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner) { SetBounds(0, 0, 185, 89); }

TStrings TCustomMemo::Lines() const { return SplitLines(Text()); }

void TCustomMemo::SetLines(const TStrings& lines) { SetText(JoinLines(lines)); }

void TCustomMemo::SetWordWrap(bool v) {
  if (word_wrap_ == v) return;
  word_wrap_ = v;
  RecreateHandle();
}

void TCustomMemo::SetScrollBars(TScrollStyle v) {
  if (scroll_bars_ == v) return;
  scroll_bars_ = v;
  RecreateHandle();
}

void TCustomMemo::CreateParams(platform::ControlParams& params) const {
  TCustomEdit::CreateParams(params);
  params.kind = platform::ControlKind::kMemo;
  params.word_wrap = word_wrap_;
  params.vertical_scroll = scroll_bars_ == ssVertical || scroll_bars_ == ssBoth;
}

void TCustomMemo::Paint(TCanvas& canvas) { PaintField(canvas, true); }

const TClassInfo& TMemo::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TMemo, TCustomMemo>(
      "TMemo", [](TClassBuilder<TMemo>& c) { DescribeMemo(c); });
  return info;
}

const TClassInfo& TRichEdit::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TRichEdit, TCustomMemo>(
      "TRichEdit", [](TClassBuilder<TRichEdit>& c) { DescribeMemo(c); });
  return info;
}

void TRichEdit::LoadFromFile(const std::string& path) {
  platform::IFileSystem& files = platform::Port().Files();
  std::unique_ptr<platform::IFile> file =
      files.Open(path, platform::FileAccess::Read, platform::kShareRead | platform::kShareWrite,
                 platform::FileDisposition::OpenExisting);
  if (file == nullptr) throw EFOpenError("Cannot open file \"%s\"", {path});
  std::string bytes;
  char buffer[16384];
  while (true) {
    size_t done = 0;
    if (!file->Read(buffer, sizeof buffer, &done)) {
      throw EFOpenError("Cannot open file \"%s\"", {path});
    }
    if (done == 0) break;
    bytes.append(buffer, done);
  }
  if (platform::LooksLikeRtf(bytes)) {
    SetRichText(bytes);
  } else {
    rtf_.clear();
    SetText(bytes);
    // The same text again leaves the native control as it was; a document shown before is gone.
    if (Handle() != nullptr) Handle()->SetText(bytes);
  }
}

void TRichEdit::SetRichText(const std::string& rtf) {
  rtf_ = rtf;
  SetText(platform::RtfToText(rtf));
  if (Handle() != nullptr) Handle()->SetRichText(rtf);
}

void TRichEdit::CreateParams(platform::ControlParams& params) const {
  TCustomMemo::CreateParams(params);
  params.kind = platform::ControlKind::kRichEdit;
}

void TRichEdit::HandleCreated() {
  if (!rtf_.empty()) Handle()->SetRichText(rtf_);
}

void TRichEdit::NativeTextChanged(const std::string& text) {
  // Typed into (when not read-only): the document is plain text from now on.
  rtf_.clear();
  TCustomMemo::NativeTextChanged(text);
}

// ---------------------------------------------------------------------------------------------
// TCustomListBox, TListBox

const TClassInfo& TCustomListBox::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomListBox, TWinControl>(
      "TCustomListBox", [](TClassBuilder<TCustomListBox>& c) {
        c.Integer("Color", &TCustomListBox::Color, &TCustomListBox::SetColor, int64_t{clWindow})
            .WithIdents(&ColorIdents())
            .StoredIf([](const TPersistent& o) {
              return !static_cast<const TControl&>(o).ParentColor();
            });
        c.StringList("Items", &TCustomListBox::Items, &TCustomListBox::SetItems);
        c.Integer("ItemIndex", &TCustomListBox::ItemIndex, &TCustomListBox::SetItemIndex, -1);
        c.Boolean("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted, false);
        c.Boolean("TabStop", &TCustomListBox::TabStop, &TCustomListBox::SetTabStop, true);
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
  // While a definition is read the items may come after the selection: keep it for now.
  if (!Loading()) item_index_ = KeptIndex(item_index_, items_.size());
  if (Handle() != nullptr) {
    Handle()->SetItems(items_);
    Handle()->SetItemIndex(item_index_);
  }
  Invalidate();
}

void TCustomListBox::SetItemIndex(int index) {
  item_index_ = Loading() ? index : KeptIndex(index, items_.size());
  if (Handle() != nullptr) Handle()->SetItemIndex(item_index_);
  Invalidate();
}

void TCustomListBox::SetSorted(bool v) {
  if (sorted_ == v) return;
  sorted_ = v;
  if (sorted_) SetItems(TStrings(items_));
}

void TCustomListBox::Loaded() {
  TWinControl::Loaded();
  item_index_ = KeptIndex(item_index_, items_.size());
}

void TCustomListBox::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kListBox;
  params.items = items_;
  params.item_index = KeptIndex(item_index_, items_.size());
}

void TCustomListBox::NativeSelect(int index) {
  item_index_ = KeptIndex(index, items_.size());
  Invalidate();
  CallHandler([&] { OnClick(this); });
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
  static const TClassInfo info = TClassInfo::Define<TCustomGroupBox, TWinControl>(
      "TCustomGroupBox", [](TClassBuilder<TCustomGroupBox>& c) {
        c.Integer("GLID", &TCustomGroupBox::GLID, &TCustomGroupBox::SetGLID, 0);
        c.Boolean("ParentColor", &TCustomGroupBox::ParentColor, &TCustomGroupBox::SetParentColor,
                  true);
      });
  return info;
}

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
  SetParentColor(true);
}

TRect TCustomGroupBox::AdjustClientRect(TRect rect) const {
  const int caption = FontPixelHeight(Font().Data());
  rect = {rect.Left + 2, rect.Top + caption + 2, rect.Right - 2, rect.Bottom - 2};
  return TWinControl::AdjustClientRect(rect);
}

void TCustomGroupBox::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kGroupBox;
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
  const TSize extent = canvas.TextExtent(platform::StripAccelChars(Caption()));
  canvas.FillRect({r.Left + 6, r.Top, r.Left + 10 + extent.cx, r.Top + caption});
  DrawCaption(canvas, *this, {r.Left + 8, r.Top, r.Right - 8, r.Top + caption},
              dt::kLeft | dt::kSingleLine);
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
        c.Boolean("TabStop", &TRadioGroup::TabStop, &TRadioGroup::SetTabStop, true);
        c.Event("OnClick", &TRadioGroup::OnClick);
      });
  return info;
}

TRadioGroup::TRadioGroup(TComponent* owner) : TCustomGroupBox(owner) { SetTabStop(true); }

void TRadioGroup::SetItems(const TStrings& items) {
  items_ = items;
  // While a definition is read the items may come after the selection: keep it for now.
  if (!Loading()) item_index_ = KeptIndex(item_index_, items_.size());
  if (Handle() != nullptr) {
    Handle()->SetItems(items_);
    Handle()->SetItemIndex(item_index_);
  }
  Invalidate();
}

void TRadioGroup::SetItemIndex(int index) {
  if (!Loading()) index = KeptIndex(index, items_.size());
  if (index == item_index_) return;
  item_index_ = index;
  if (Handle() != nullptr) Handle()->SetItemIndex(item_index_);
  Invalidate();
  if (!Loading()) OnClick(this);
}

void TRadioGroup::Loaded() {
  TCustomGroupBox::Loaded();
  item_index_ = KeptIndex(item_index_, items_.size());
}

void TRadioGroup::SetColumns(int v) {
  columns_ = std::clamp(v, 1, 16);
  if (Handle() != nullptr) RecreateHandle();
  Invalidate();
}

void TRadioGroup::CreateParams(platform::ControlParams& params) const {
  TCustomGroupBox::CreateParams(params);
  params.kind = platform::ControlKind::kRadioGroup;
  params.items = items_;
  params.item_index = item_index_;
  params.columns = columns_;
}

void TRadioGroup::NativeSelect(int index) {
  CallHandler([&] { SetItemIndex(index); });
}

void TRadioGroup::Paint(TCanvas& canvas) {
  TCustomGroupBox::Paint(canvas);
  if (items_.empty()) return;
  const TRect area = ClientRect();
  const int rows = (static_cast<int>(items_.size()) + columns_ - 1) / columns_;
  const int column_width = area.Width() / columns_;
  const int row_height = std::max(1, area.Height() / rows);
  const int mark = std::max(8, FontPixelHeight(Font().Data()) - 1);
  for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
    const int left = area.Left + (i / rows) * column_width + 4;
    const int top = area.Top + (i % rows) * row_height;
    const int mark_top = top + (row_height - mark) / 2;
    const TRect box{left, mark_top, left + mark, mark_top + mark};
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
                    {left + mark + 4, top, left + column_width - 4, top + row_height},
                    dt::kLeft | dt::kVCenter | dt::kSingleLine);
    canvas.BrushStyle = TBrushStyle::bsSolid;
  }
}

// ---------------------------------------------------------------------------------------------
// TProgressBar

const TClassInfo& TProgressBar::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TProgressBar, TWinControl>(
      "TProgressBar", [](TClassBuilder<TProgressBar>& c) {
        c.Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax, 100);
        c.Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin, 0);
        c.Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition, 0);
      });
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 150, 16); }

void TProgressBar::SetMin(int v) {
  if (min_ == v) return;
  min_ = v;
  if (max_ < min_) max_ = min_;
  RecreateHandle();
  SetPosition(position_);
}

void TProgressBar::SetMax(int v) {
  if (max_ == v) return;
  max_ = v;
  if (min_ > max_) min_ = max_;
  RecreateHandle();
  SetPosition(position_);
}

void TProgressBar::SetPosition(int v) {
  // While a definition is read Min and Max may come after the position.
  if (!Loading()) v = std::clamp(v, min_, max_);
  if (position_ == v) return;
  position_ = v;
  if (Handle() != nullptr) Handle()->SetPosition(v);
  Invalidate();
}

void TProgressBar::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kProgressBar;
  params.min = min_;
  params.max = max_;
  params.position = std::clamp(position_, min_, max_);
}

void TProgressBar::Paint(TCanvas& canvas) {
  const TRect r = Frame3D(canvas, TControl::ClientRect(), bvLowered, 1);
  canvas.BrushColor = clBtnFace;
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  const int range = max_ - min_;
  if (range <= 0) return;
  const int filled = static_cast<int>(static_cast<int64_t>(r.Width()) *
                                      (std::clamp(position_, min_, max_) - min_) / range);
  canvas.BrushColor = clHighlight;
  canvas.FillRect({r.Left, r.Top, r.Left + filled, r.Bottom});
}

// ---------------------------------------------------------------------------------------------
// TTabControl

const TClassInfo& TTabControl::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTabControl, TWinControl>(
      "TTabControl", [](TClassBuilder<TTabControl>& c) {
        c.Integer("TabIndex", &TTabControl::TabIndex, &TTabControl::SetTabIndex, -1);
        c.StringList("Tabs", &TTabControl::Tabs, &TTabControl::SetTabs);
        c.Boolean("TabStop", &TTabControl::TabStop, &TTabControl::SetTabStop, true);
        c.Event("OnChange", &TTabControl::OnChange);
        c.Event("OnChanging", &TTabControl::OnChanging);
      });
  return info;
}

TTabControl::TTabControl(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
}

void TTabControl::SetTabs(const TStrings& tabs) {
  tabs_ = tabs;
  if (!Loading()) {
    tab_index_ = KeptIndex(tab_index_, tabs_.size());
    // A strip that gains its first tab shows it.
    if (tab_index_ < 0 && !tabs_.empty()) tab_index_ = 0;
  }
  if (Handle() != nullptr) {
    Handle()->SetItems(tabs_);
    Handle()->SetItemIndex(tab_index_);
  }
  Invalidate();
}

void TTabControl::SetTabIndex(int index) {
  if (!Loading()) index = KeptIndex(index, tabs_.size());
  if (tab_index_ == index) return;
  tab_index_ = index;
  if (Handle() != nullptr) Handle()->SetItemIndex(index);
  Invalidate();
}

void TTabControl::CreateParams(platform::ControlParams& params) const {
  TWinControl::CreateParams(params);
  params.kind = platform::ControlKind::kTabControl;
  params.items = tabs_;
  params.item_index = KeptIndex(tab_index_, tabs_.size());
}

void TTabControl::NativeSelect(int index) {
  const int previous = tab_index_;
  CallHandler([&] {
    bool allow = true;
    OnChanging(this, allow);
    if (!allow) {
      if (Handle() != nullptr) Handle()->SetItemIndex(previous);
      return;
    }
    tab_index_ = KeptIndex(index, tabs_.size());
    Invalidate();
    OnChange(this);
  });
}

void TTabControl::Paint(TCanvas& canvas) {
  const TRect r = TControl::ClientRect();
  canvas.BrushColor = Color();
  canvas.BrushStyle = TBrushStyle::bsSolid;
  canvas.FillRect(r);
  const int strip = FontPixelHeight(Font().Data()) + 8;
  Frame3D(canvas, {r.Left, r.Top + strip, r.Right, r.Bottom}, bvRaised, 1);
  canvas.Font = Font().Data();
  int left = r.Left + 2;
  for (size_t i = 0; i < tabs_.size(); ++i) {
    const int width = canvas.TextExtent(tabs_[i]).cx + 12;
    const TRect tab{left, r.Top + (static_cast<int>(i) == tab_index_ ? 0 : 2), left + width,
                    r.Top + strip};
    Frame3D(canvas, tab, bvRaised, 1);
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.DrawText(tabs_[i], tab, dt::kCenter | dt::kVCenter | dt::kSingleLine);
    canvas.BrushStyle = TBrushStyle::bsSolid;
    left += width;
  }
}

void RegisterStdControlClasses(TClassRegistry& registry) {
  registry.Register({&TButton::StaticClass(), &TBitBtn::StaticClass(), &TCheckBox::StaticClass(),
                     &TEdit::StaticClass(), &TMemo::StaticClass(), &TRichEdit::StaticClass(),
                     &TListBox::StaticClass(), &TGroupBox::StaticClass(),
                     &TRadioGroup::StaticClass(), &TProgressBar::StaticClass(),
                     &TTabControl::StaticClass()});
}

}  // namespace tmby::ui
