// Small component classes with one published property of every kind, for the tests of the
// component model and of the install definition reader and writer.
#pragma once

#include <string>
#include <vector>

#include "base/component.h"
#include "base/install_types.h"

namespace tmby::fixtures {

// A fixed underlying type: tests may hold values without a name.
enum TTestColour : int { tcRed, tcGreen, tcBlue, tcBlack };
TMBY_ENUM_NAMES(TTestColour, tcRed, tcGreen, tcBlue, tcBlack)
using TTestColours = EnumSet<TTestColour>;

// What happened, in order, across all fixture objects ("Loaded Item1", "SetLink Item2 loading").
std::vector<std::string>& Journal();

class TTestItem;

class TTestInner : public TPersistent {
  TMBY_CLASS(TTestInner, TPersistent)
 public:
  bool Flag = false;
  int32_t Level = 1;
};

// A settings object owned by a TTestItem.
class TTestSettings : public TPersistent {
  TMBY_CLASS(TTestSettings, TPersistent)
 public:
  explicit TTestSettings(TPersistent* owner) : owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }
  void Assign(const TPersistent& source) override;

  const std::string& Caption() const { return caption_; }
  // Outside loading, a caption also counts as a change.
  void SetCaption(const std::string& value);
  int32_t Count = 3;
  TStrings Lines;
  TTestInner Inner;
  TTestItem* Target = nullptr;
  int Changes = 0;

 private:
  TPersistent* owner_;
  std::string caption_;
};

using TTestNotifyEvent = TEvent<TComponent*>;
using TTestCountEvent = TEvent<TComponent*, int, int&>;

class TTestItem : public TComponent {
  TMBY_CLASS(TTestItem, TComponent)
 public:
  explicit TTestItem(TComponent* owner);
  ~TTestItem() override;

  int32_t Number = 0;
  std::string Text;
  uint8_t Small = 0;
  bool Enabled = true;
  TTestColour Colour = tcRed;
  TTestColours Colours{tcRed, tcGreen};
  TStrings Lines;
  TBytes Image;
  TTestSettings Settings{this};
  int32_t Color = 0;
  TTestNotifyEvent OnChange;
  TTestCountEvent OnCount;

  TTestItem* Link() const { return link_; }
  // Outside loading, linking an item also copies its Number (a coupling rule).
  void SetLink(TTestItem* value);
  TComponent* Other() const { return other_; }
  void SetOther(TComponent* value) { SetReference(other_, value); }

  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;

  // Failures on demand: a Text of "fail" raises IEInstall from the setter; Number 666 raises
  // IEInstall from Loaded.
  void SetText(const std::string& value);

 private:
  TTestItem* link_ = nullptr;
  TComponent* other_ = nullptr;
};

// An item that publishes Enabled again with the default false and adds a read-only count.
class TTestSpecialItem : public TTestItem {
  TMBY_CLASS(TTestSpecialItem, TTestItem)
 public:
  explicit TTestSpecialItem(TComponent* owner);
  int32_t Kids() const { return ComponentCount(); }
};

// Abstract: registered, but not creatable.
class TTestAbstract : public TComponent {
  TMBY_CLASS(TTestAbstract, TComponent)
 public:
  explicit TTestAbstract(TComponent* owner) : TComponent(owner) {}
  virtual int Rank() const = 0;
};

// A root in the manner of the main window.
class TTestForm : public TComponent {
  TMBY_CLASS(TTestForm, TComponent)
 public:
  explicit TTestForm(TComponent* owner) : TComponent(owner) {}
  std::string Caption;
  int32_t Width = 640;
  TTestNotifyEvent OnActivate;
  void Loaded() override;
};

// Registers the fixture classes in `classes`.
void RegisterFixtureClasses(TClassRegistry& classes);

}  // namespace tmby::fixtures
