// The standard controls of the dialogs: buttons, check boxes, edits, memos, the rich-text viewer,
// list boxes, group boxes, radio groups, progress bars and tab strips.
//
// Each is a windowed control (controls.h): on a shown form it has a native control of its kind
// (a real BUTTON, EDIT, LISTBOX, ... on Windows). What they hold (captions, texts, items, the
// selected item, the check mark) lives in the model; the setters pass it on, and what the user
// does comes back through the native control's events:
//   a click             TButton::Click (OnClick, the form's ModalResult), TCheckBox::SetChecked
//   typing              TCustomEdit text and OnChange (every change), OnKeyUp
//   selecting an item   TListBox ItemIndex and OnClick, TRadioGroup ItemIndex and OnClick,
//                       TTabControl OnChanging (may refuse) and OnChange
// Setting a value in code fires the same events as the user's change does where the usual
// controls do: an edit's text (OnChange), a check box's Checked and a radio group's ItemIndex
// (OnClick); a list box's or tab strip's index set in code fires nothing.
//
// Labels, buttons, group boxes, radio groups and check boxes carry a language string identifier
// (GLID) by which the translator looks their caption up; 0 means "by its text".
#pragma once

#include <string>

#include "base/component.h"
#include "ui/controls.h"

namespace tmby::ui {

// A push button.
class TButton : public TWinControl {
  TMBY_CLASS(TButton, TWinControl)
 public:
  explicit TButton(TComponent* owner);

  // The button Enter presses / the button Esc presses.
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  // The result a modal form ends with when the button is pressed (0: none).
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int v) { modal_result_ = v; }
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }

  // Presses the button: sets the form's modal result (when it has one) and fires OnClick.
  virtual void Click();
  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeClick(bool checked) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  int modal_result_ = 0;
  int32_t glid_ = 0;
};

// A button that may show a picture beside its caption.
class TBitBtn : public TButton {
  TMBY_CLASS(TBitBtn, TButton)
 public:
  explicit TBitBtn(TComponent* owner) : TButton(owner) {}
};

// A check box with its caption to the right.
class TCheckBox : public TWinControl {
  TMBY_CLASS(TCheckBox, TWinControl)
 public:
  explicit TCheckBox(TComponent* owner);

  bool Checked() const { return checked_; }
  // Fires OnClick when the state changes (not while a definition is read).
  void SetChecked(bool v);
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }

  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeClick(bool checked) override;

 private:
  bool checked_ = false;
  int32_t glid_ = 0;
};

using TKeyEvent = TEvent<TComponent*, int&>;

// The text of an edit, a memo or the rich-text viewer.
class TCustomEdit : public TWinControl {
  TMBY_CLASS(TCustomEdit, TWinControl)
 public:
  explicit TCustomEdit(TComponent* owner);

  const std::string& Text() const { return text_; }
  // Replaces the text; fires OnChange when it differs (not while a definition is read).
  void SetText(const std::string& text);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v);

  // After every change of the text, the user's and the program's.
  TNotifyEvent OnChange;
  // A key was released in the control (the key's virtual-key code).
  TKeyEvent OnKeyUp;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeTextChanged(const std::string& text) override;
  void NativeKeyUp(int key) override;
  // Paints the sunken white field and the text's first lines.
  void PaintField(TCanvas& canvas, bool multi_line);

 private:
  std::string text_;
  bool read_only_ = false;
};

// A one-line edit.
class TEdit : public TCustomEdit {
  TMBY_CLASS(TEdit, TCustomEdit)
 public:
  explicit TEdit(TComponent* owner);
  void Paint(TCanvas& canvas) override;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
TMBY_ENUM_NAMES(TScrollStyle, ssNone, ssHorizontal, ssVertical, ssBoth)

// Several lines of text; Lines and Text are the same text (lines joined by CR LF).
class TCustomMemo : public TCustomEdit {
  TMBY_CLASS(TCustomMemo, TCustomEdit)
 public:
  explicit TCustomMemo(TComponent* owner);

  TStrings Lines() const;
  void SetLines(const TStrings& lines);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle v);
  // Enter breaks the line instead of pressing the form's default button.
  bool WantReturns() const { return want_returns_; }
  void SetWantReturns(bool v) { want_returns_ = v; }

  void Paint(TCanvas& canvas) override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;

 private:
  bool word_wrap_ = true;
  TScrollStyle scroll_bars_ = ssNone;
  bool want_returns_ = true;
};

class TMemo : public TCustomMemo {
  TMBY_CLASS(TMemo, TCustomMemo)
 public:
  explicit TMemo(TComponent* owner) : TCustomMemo(owner) {}
};

// A viewer of rich text (the licence agreement): RICHED20.DLL's control on Windows, the plain
// text in the script adapter's transcript. Lines hold the plain text.
class TRichEdit : public TCustomMemo {
  TMBY_CLASS(TRichEdit, TCustomMemo)
 public:
  explicit TRichEdit(TComponent* owner) : TCustomMemo(owner) {}

  // Loads a document: RTF when the file starts with "{\rtf", else plain text. Read through the
  // port's file system; a file that cannot be opened or read raises EFOpenError "Cannot open
  // file "<path>"" and leaves the shown text as it was.
  void LoadFromFile(const std::string& path);
  // The RTF document shown, or empty when the text is plain.
  const std::string& RichText() const { return rtf_; }
  // Shows an RTF document (LoadFromFile without the file).
  void SetRichText(const std::string& rtf);

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void HandleCreated() override;
  void NativeTextChanged(const std::string& text) override;

 private:
  std::string rtf_;
};

// A list of text items with at most one selected.
class TCustomListBox : public TWinControl {
  TMBY_CLASS(TCustomListBox, TWinControl)
 public:
  explicit TCustomListBox(TComponent* owner);

  const TStrings& Items() const { return items_; }
  // Replaces the items (sorted when Sorted); the selection stays when its index still exists.
  void SetItems(const TStrings& items);
  // -1: nothing selected. An index outside the items selects nothing.
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int index);
  // Items are kept in alphabetical order, ignoring case.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);

  // The user selected an item.
  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;
  void Loaded() override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeSelect(int index) override;

 private:
  TStrings items_;
  int item_index_ = -1;
  bool sorted_ = false;
};

class TListBox : public TCustomListBox {
  TMBY_CLASS(TListBox, TCustomListBox)
 public:
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};

// A frame with a caption around other controls.
class TCustomGroupBox : public TWinControl {
  TMBY_CLASS(TCustomGroupBox, TWinControl)
 public:
  explicit TCustomGroupBox(TComponent* owner);
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }
  void Paint(TCanvas& canvas) override;

 protected:
  TRect AdjustClientRect(TRect rect) const override;
  void CreateParams(platform::ControlParams& params) const override;

 private:
  int32_t glid_ = 0;
};

class TGroupBox : public TCustomGroupBox {
  TMBY_CLASS(TGroupBox, TCustomGroupBox)
 public:
  explicit TGroupBox(TComponent* owner) : TCustomGroupBox(owner) {}
};

// A group box whose items are radio buttons, one of them selected.
class TRadioGroup : public TCustomGroupBox {
  TMBY_CLASS(TRadioGroup, TCustomGroupBox)
 public:
  explicit TRadioGroup(TComponent* owner);

  const TStrings& Items() const { return items_; }
  // Replaces the items; the selection stays when its index still exists.
  void SetItems(const TStrings& items);
  int ItemIndex() const { return item_index_; }
  // Selects an item (-1: none) and fires OnClick when the selection changed.
  void SetItemIndex(int index);
  int Columns() const { return columns_; }
  void SetColumns(int v);

  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;
  void Loaded() override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeSelect(int index) override;

 private:
  TStrings items_;
  int item_index_ = -1;
  int columns_ = 1;
};

// A bar that fills from Min to Max as Position grows.
class TProgressBar : public TWinControl {
  TMBY_CLASS(TProgressBar, TWinControl)
 public:
  explicit TProgressBar(TComponent* owner);

  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  // Kept between Min and Max.
  int Position() const { return position_; }
  void SetPosition(int v);

  void Paint(TCanvas& canvas) override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;

 private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

using TTabChangingEvent = TEvent<TComponent*, bool&>;

// A strip of tabs (the stage window keeps one, hidden, whose index is the current page).
class TTabControl : public TWinControl {
  TMBY_CLASS(TTabControl, TWinControl)
 public:
  explicit TTabControl(TComponent* owner);

  const TStrings& Tabs() const { return tabs_; }
  void SetTabs(const TStrings& tabs);
  // -1: no tab. Setting it in code fires no event.
  int TabIndex() const { return tab_index_; }
  void SetTabIndex(int index);

  // Before the user's change of tab (AllowChange false keeps the tab) and after it.
  TTabChangingEvent OnChanging;
  TNotifyEvent OnChange;

  void Paint(TCanvas& canvas) override;

 protected:
  void CreateParams(platform::ControlParams& params) const override;
  void NativeSelect(int index) override;

 private:
  TStrings tabs_;
  int tab_index_ = -1;
};

// Registers the standard controls (TButton, TBitBtn, TCheckBox, TEdit, TMemo, TRichEdit,
// TListBox, TGroupBox, TRadioGroup, TProgressBar, TTabControl).
void RegisterStdControlClasses(TClassRegistry& registry);

}  // namespace tmby::ui
