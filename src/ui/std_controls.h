// The standard controls of the dialog pages: buttons, list boxes, group boxes and radio groups.
//
// Like every control of the window model they have no native window: the form paints them. What
// they hold (captions, items, the selected item) is what the translator and the dialogs work on.
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
  void SetDefault(bool v) { default_ = v; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  // The result a modal form ends with when the button is pressed (0: none).
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int v) { modal_result_ = v; }

  // Presses the button: sets the form's modal result (when it has one) and fires OnClick.
  virtual void Click();
  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  int modal_result_ = 0;
};

// A button that may show a picture beside its caption.
class TBitBtn : public TButton {
  TMBY_CLASS(TBitBtn, TButton)
 public:
  explicit TBitBtn(TComponent* owner) : TButton(owner) {}
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

  TNotifyEvent OnClick;

  void Paint(TCanvas& canvas) override;

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
  void Paint(TCanvas& canvas) override;

 protected:
  TRect AdjustClientRect(TRect rect) const override;
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
  explicit TRadioGroup(TComponent* owner) : TCustomGroupBox(owner) {}

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

 private:
  TStrings items_;
  int item_index_ = -1;
  int columns_ = 1;
};

// Registers TButton, TBitBtn, TListBox, TGroupBox and TRadioGroup.
void RegisterStdControlClasses(TClassRegistry& registry);

}  // namespace tmby::ui
