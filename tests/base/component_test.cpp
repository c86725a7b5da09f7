#include "base/component.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/component_fixtures.h"

namespace tmby {
namespace {

using fixtures::Journal;
using fixtures::TTestForm;
using fixtures::TTestItem;
using fixtures::TTestSpecialItem;

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { Journal().clear(); }
  TOwned<TTestForm> form_{new TTestForm(nullptr)};
  TTestItem* Item(const std::string& name, TComponent* owner = nullptr) {
    auto* item = new TTestItem(owner != nullptr ? owner : form_.get());
    item->SetName(name);
    return item;
  }
};

TEST_F(ComponentTest, OwnerKeepsItsComponentsInCreationOrderAndDestroysTheLastFirst) {
  TTestItem* a = Item("A");
  TTestItem* b = Item("B");
  TTestItem* c = Item("C");
  EXPECT_EQ(form_->ComponentCount(), 3);
  EXPECT_EQ(form_->Components(0), a);
  EXPECT_EQ(c->ComponentIndex(), 2);
  EXPECT_EQ(b->Owner(), form_.get());
  EXPECT_EQ(form_->FindComponent("b"), b);
  EXPECT_EQ(form_->FindComponent(""), nullptr);
  EXPECT_THROW(form_->Components(3), EComponentError);
  form_.reset();
  EXPECT_EQ(Journal(), (std::vector<std::string>{"Destroy C", "Destroy B", "Destroy A"}));
}

TEST_F(ComponentTest, NamesAreIdentifiersUniqueAmongTheOwnersComponentsIgnoringCase) {
  TTestItem* a = Item("Alpha");
  TTestItem* b = Item("Beta");
  EXPECT_THROW(b->SetName("ALPHA"), EComponentError);
  EXPECT_EQ(b->Name(), "Beta");
  try {
    b->SetName("1abc");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "'1abc' is not a valid component name");
  }
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  a->SetName("ALPHA");  // its own name in another case
  EXPECT_EQ(a->Name(), "ALPHA");
  a->SetName("");
  b->SetName("");  // several unnamed components may coexist
  EXPECT_EQ(form_->FindComponent("Alpha"), nullptr);
  Item("Gamma");
  TOwned<TTestItem> loose(new TTestItem(nullptr));
  loose->SetName("gamma");  // no owner: nothing to clash with
  EXPECT_THROW(form_->InsertComponent(loose.get()), EComponentError);
  EXPECT_EQ(loose->Owner(), nullptr);
}

// The owner finds its components by name however they got, changed or lost it.
TEST_F(ComponentTest, FindComponentFollowsRenamesMovesAndDestruction) {
  TOwned<TTestForm> other(new TTestForm(nullptr));
  TTestItem* a = Item("Alpha");
  a->SetName("Omega");
  EXPECT_EQ(form_->FindComponent("alpha"), nullptr);
  EXPECT_EQ(form_->FindComponent("OMEGA"), a);
  other->InsertComponent(a);
  EXPECT_EQ(form_->FindComponent("Omega"), nullptr);
  EXPECT_EQ(other->FindComponent("omega"), a);
  TTestItem* b = Item("Omega");  // the name is free here again
  TComponent::Free(a);
  EXPECT_EQ(other->FindComponent("Omega"), nullptr);
  EXPECT_EQ(form_->FindComponent("omega"), b);
}

TEST_F(ComponentTest, FirstFreeNameTakesTheLowestNumberNotInUse) {
  EXPECT_EQ(form_->FirstFreeName("Item"), "Item");
  std::vector<TTestItem*> items;
  for (int i = 0; i < 4; ++i) items.push_back(Item(form_->FirstFreeName("Item")));
  EXPECT_EQ(items[3]->Name(), "Item3");
  TComponent::Free(items[1]);  // "Item1" comes free
  EXPECT_EQ(form_->FirstFreeName("item"), "item1");
  items[2]->SetName("Other");  // and "Item2" by a rename
  Item("Item1");
  EXPECT_EQ(form_->FirstFreeName("Item"), "Item2");
}

// Telling every sibling of every insert would make reading a definition quadratic: an insert is
// told to the new owner only, a removal to every sibling.
TEST_F(ComponentTest, InsertsAreToldToTheOwnerAndRemovalsToEverySibling) {
  struct TWatcher : public TComponent {
    using TComponent::TComponent;
    void Notification(TComponent* component, TOperation operation) override {
      (operation == opInsert ? inserts : removals).push_back(component);
      TComponent::Notification(component, operation);
    }
    std::vector<TComponent*> inserts;
    std::vector<TComponent*> removals;
  };
  auto* owner = new TWatcher(form_.get());
  auto* sibling = new TWatcher(owner);
  auto* late = new TTestItem(owner);
  EXPECT_EQ(owner->inserts, (std::vector<TComponent*>{sibling, late}));
  EXPECT_TRUE(sibling->inserts.empty());
  TComponent::Free(late);
  EXPECT_EQ(sibling->removals, std::vector<TComponent*>{late});
}

TEST_F(ComponentTest, InsertComponentMovesBetweenOwnersAndPassesOnDesignMode) {
  TOwned<TTestForm> other(new TTestForm(nullptr));
  other->SetDesigning(true);
  TTestItem* a = Item("A");
  EXPECT_FALSE(a->DesignMode());
  other->InsertComponent(a);
  EXPECT_EQ(a->Owner(), other.get());
  EXPECT_EQ(form_->ComponentCount(), 0);
  EXPECT_TRUE(a->DesignMode());
  auto* b = new TTestItem(other.get());
  EXPECT_TRUE(b->DesignMode()) << "a component created in a designing owner designs";
  other->SetDesigning(false);
  EXPECT_FALSE(a->DesignMode());
  EXPECT_FALSE(b->DesignMode());
}

TEST_F(ComponentTest, DestroyedComponentIsClearedFromSiblingsReferences) {
  TTestItem* a = Item("A");
  TTestItem* b = Item("B");
  TTestItem* c = Item("C");
  a->SetLink(b);
  c->Settings.Target = b;  // a reference inside a settings object, cleared by its holder
  TComponent::Free(b);
  EXPECT_EQ(a->Link(), nullptr);
  EXPECT_EQ(c->Settings.Target, nullptr);
  EXPECT_EQ(form_->ComponentCount(), 2);
}

TEST_F(ComponentTest, FreeNotificationReachesHoldersUnderAnotherOwner) {
  TOwned<TTestForm> other(new TTestForm(nullptr));
  TTestItem* a = Item("A");
  TTestItem* far = Item("Far", other.get());
  a->SetOther(far);
  far->SetOther(a);
  other.reset();  // destroys Far, which A references and which references A
  EXPECT_EQ(a->Other(), nullptr);
  TTestItem* b = Item("B");
  {
    TTestItem standalone(nullptr);
    standalone.SetOther(b);
    b->SetOther(&standalone);
  }  // a plain destructor notifies as well
  EXPECT_EQ(b->Other(), nullptr);
  TComponent::Free(b);  // the standalone item forgot B: nothing dangling is touched
  EXPECT_EQ(form_->ComponentCount(), 1);
}

TEST_F(ComponentTest, TeardownLetsLaterComponentsForgetEarlierOnesBeforeTheyAreDestroyed) {
  // B is destroyed first (created last) while A, which links to it, still exists.
  TTestItem* a = Item("A");
  TTestItem* b = Item("B");
  a->SetLink(b);
  b->SetLink(a);
  form_.reset();
  EXPECT_EQ(Journal().back(), "Destroy A");
}

// An item that counts the notifications it is given and, when it is destroyed, notes whether it
// had forgotten the component it referenced.
class TCountingItem : public TTestItem {
 public:
  TCountingItem(TComponent* owner, int* calls, std::vector<bool>* forgot)
      : TTestItem(owner), calls_(calls), forgot_(forgot) {}
  ~TCountingItem() override {
    if (Watching) forgot_->push_back(Other() == nullptr);
  }
  void Notification(TComponent* component, TOperation operation) override {
    ++*calls_;
    TTestItem::Notification(component, operation);
  }
  bool Watching = false;

 private:
  int* calls_;
  std::vector<bool>* forgot_;
};

TEST_F(ComponentTest, DestroyingAnOwnerTellsEachRemovalToItsHoldersNotToEverySibling) {
  constexpr int kItems = 1000;
  int calls = 0;
  std::vector<bool> forgot;
  std::vector<TCountingItem*> items;
  for (int i = 0; i < kItems; ++i) {
    items.push_back(new TCountingItem(form_.get(), &calls, &forgot));
  }
  // The first items hold the last ones, which are destroyed before them.
  for (int i = 0; i < 10; ++i) {
    items[static_cast<size_t>(i)]->SetOther(items[static_cast<size_t>(kItems - 1 - i)]);
    items[static_cast<size_t>(i)]->Watching = true;
  }
  calls = 0;
  form_.reset();
  EXPECT_EQ(forgot, std::vector<bool>(10, true));
  // Each removal told to every remaining sibling would be about kItems * kItems / 2 calls.
  EXPECT_LT(calls, 2 * kItems);
}

TEST_F(ComponentTest, LoadingFlagReachesSettingsObjectsAndEndsInLoaded) {
  TTestItem* a = Item("A");
  EXPECT_FALSE(IsLoading(a->Settings));
  a->SetLoading(true);
  EXPECT_TRUE(IsLoading(a->Settings));
  a->Settings.SetCaption("stored only");
  EXPECT_EQ(a->Settings.Changes, 0);
  a->Loaded();
  EXPECT_FALSE(a->Loading());
  a->Settings.SetCaption("now counted");
  EXPECT_EQ(a->Settings.Changes, 1);
  form_->SetDesigning(true);
  EXPECT_TRUE(IsDesigning(a->Settings));
}

TEST_F(ComponentTest, ParentComponentIsForgottenWithTheParentAndNeverLoops) {
  TTestItem* band = Item("Band");
  TTestItem* label = Item("Label");
  TTestItem* inner = Item("Inner");
  label->SetParentComponent(band);
  inner->SetParentComponent(label);
  EXPECT_THROW(band->SetParentComponent(inner), EComponentError);
  EXPECT_THROW(band->SetParentComponent(band), EComponentError);
  EXPECT_EQ(band->ParentComponent(), nullptr);
  TComponent::Free(band);
  EXPECT_EQ(label->ParentComponent(), nullptr);
  EXPECT_EQ(inner->ParentComponent(), label);
}

TEST(PropertyTable, ListsInheritedPropertiesFirstAndReplacesRepublishedOnesInPlace) {
  const TClassInfo& item = TTestItem::StaticClass();
  const TClassInfo& special = TTestSpecialItem::StaticClass();
  ASSERT_GE(item.Properties().size(), 3u);
  EXPECT_EQ(item.Properties()[0]->Name(), "Name");
  EXPECT_EQ(item.Properties()[1]->Name(), "Tag");
  EXPECT_EQ(item.Properties()[2]->Name(), "Number");
  EXPECT_EQ(special.Properties().size(), item.Properties().size() + 1);
  const TPropInfo* enabled = special.FindProperty("ENABLED");
  ASSERT_NE(enabled, nullptr);
  EXPECT_EQ(enabled->Declarer(), &special);
  EXPECT_EQ(special.Properties()[5], enabled) << "same position as in the parent";
  EXPECT_EQ(special.FindProperty("Nope"), nullptr);
  EXPECT_TRUE(special.InheritsFrom(item));
  EXPECT_TRUE(special.InheritsFrom("tcomponent"));
  EXPECT_FALSE(item.InheritsFrom(special));
  EXPECT_TRUE(item.IsComponent());
  EXPECT_FALSE(fixtures::TTestSettings::StaticClass().IsComponent());
}

TEST(PropertyTable, DefaultsDecideWhatIsStored) {
  TTestItem item(nullptr);
  const TClassInfo& info = item.ClassInfo();
  auto stored = [&](const char* name) { return info.FindProperty(name)->IsStored(item); };
  item.SetName("Item");
  EXPECT_FALSE(stored("Name")) << "the name heads the block";
  for (const char* name : {"Tag", "Number", "Text", "Enabled", "Colour", "Colours", "Lines",
                           "Image", "Settings", "Link", "OnChange"}) {
    EXPECT_FALSE(stored(name)) << name;
  }
  item.Number = 5;
  item.Enabled = false;
  item.Colours = {};
  item.Text = "x";
  item.Lines = {""};
  item.Image = {0};
  item.OnChange.SetName("Handler");
  for (const char* name : {"Number", "Text", "Enabled", "Colours", "Lines", "Image", "OnChange"}) {
    EXPECT_TRUE(stored(name)) << name;
  }
  TTestSpecialItem special(nullptr);
  EXPECT_FALSE(special.ClassInfo().FindProperty("Kids")->IsStored(special)) << "read-only";
  EXPECT_FALSE(special.ClassInfo().FindProperty("Enabled")->IsStored(special));
}

TEST(PropertyTable, GenericAccessChecksKindRangeAndClass) {
  TTestForm form(nullptr);
  auto* item = new TTestItem(&form);
  const TClassInfo& info = item->ClassInfo();
  info.FindProperty("Colour")->SetOrd(*item, fixtures::tcBlue);
  EXPECT_EQ(item->Colour, fixtures::tcBlue);
  EXPECT_THROW(info.FindProperty("Colour")->SetOrd(*item, 4), EPropertyError);
  EXPECT_THROW(info.FindProperty("Small")->SetOrd(*item, 256), EPropertyError);
  info.FindProperty("Small")->SetOrd(*item, 255);
  EXPECT_EQ(item->Small, 255);
  EXPECT_THROW(info.FindProperty("Number")->SetOrd(*item, int64_t{1} << 31), EPropertyError);
  EXPECT_THROW(info.FindProperty("Number")->SetString(*item, "1"), EPropertyError);
  info.FindProperty("Colours")->SetOrd(*item, 0b1010);
  EXPECT_EQ(item->Colours, (fixtures::TTestColours{fixtures::tcGreen, fixtures::tcBlack}));
  EXPECT_THROW(info.FindProperty("Colours")->SetOrd(*item, 0b10000), EPropertyError);

  const TPropInfo* link = info.FindProperty("Link");
  EXPECT_EQ(link->PropClass(), &TTestItem::StaticClass());
  EXPECT_THROW(link->SetComponent(*item, &form), EPropertyError) << "a form is no item";
  info.FindProperty("Other")->SetComponent(*item, &form);
  EXPECT_EQ(item->Other(), &form);

  TTestSpecialItem special(nullptr);
  EXPECT_THROW(special.ClassInfo().FindProperty("Kids")->SetOrd(special, 1), EPropertyError);
  EXPECT_THROW(special.ClassInfo().FindProperty("Number")->GetOrd(form), EPropertyError)
      << "the property does not belong to a form";

  TPersistent* settings = info.FindProperty("Settings")->GetObject(*item);
  ASSERT_EQ(settings, &item->Settings);
  settings->ClassInfo().FindProperty("Caption")->SetString(*settings, "Hello");
  EXPECT_EQ(item->Settings.Caption(), "Hello");
}

TEST(PropertyTable, EventsBindOnlyHandlersOfTheirOwnParameters) {
  TEventHandlers handlers;
  int calls = 0;
  handlers.Register<fixtures::TTestNotifyEvent>("ItemChanged", [&](TComponent*) { ++calls; });
  handlers.Register<fixtures::TTestCountEvent>("Counted",
                                               [](TComponent*, int n, int& out) { out = n * 2; });
  EXPECT_THROW(handlers.Register<fixtures::TTestNotifyEvent>("not valid", nullptr),
               EComponentError);
  TTestItem item(nullptr);
  const TPropInfo* onChange = item.ClassInfo().FindProperty("OnChange");
  ASSERT_NE(handlers.Find("itemchanged"), nullptr);
  EXPECT_FALSE(onChange->BindHandler(item, "Counted", *handlers.Find("Counted")));
  EXPECT_FALSE(item.OnChange.Assigned());
  EXPECT_TRUE(onChange->BindHandler(item, "ItemChanged", *handlers.Find("ItemChanged")));
  item.OnChange(&item);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(onChange->GetHandlerName(item), "ItemChanged");
  ASSERT_TRUE(item.ClassInfo().FindProperty("OnCount")->BindHandler(item, "Counted",
                                                                    *handlers.Find("Counted")));
  int out = 0;
  item.OnCount(&item, 21, out);
  EXPECT_EQ(out, 42);
  onChange->ClearHandler(item);
  EXPECT_FALSE(item.OnChange.Assigned());
  item.OnChange(&item);  // unbound: nothing happens
  EXPECT_EQ(calls, 1);
}

TEST(ClassRegistry, FindsClassesIgnoringCaseAndRefusesAnotherClassOfTheSameName) {
  TClassRegistry classes;
  fixtures::RegisterFixtureClasses(classes);
  fixtures::RegisterFixtureClasses(classes);  // again: no change
  EXPECT_EQ(classes.Count(), 5);
  EXPECT_EQ(classes.Find("ttestitem"), &TTestItem::StaticClass());
  static const TClassInfo impostor = TClassInfo::Define<TTestItem, TComponent>("TTestItem");
  EXPECT_THROW(classes.Register(impostor), EComponentError);
  classes.Remove("TTestItem");
  EXPECT_EQ(classes.Find("TTestItem"), nullptr);
  TTestForm form(nullptr);
  EXPECT_THROW(fixtures::TTestAbstract::StaticClass().Create(&form), EComponentError);
  TComponent* made = TTestSpecialItem::StaticClass().Create(&form);
  EXPECT_EQ(made->ClassName(), "TTestSpecialItem");
  EXPECT_EQ(made->Owner(), &form);
}

TEST(EnumInfo, NamesOrdinalsAndRefusesUnknownNames) {
  const TEnumInfo& info = EnumInfoOf(fixtures::tcRed);
  EXPECT_EQ(info.TypeName(), "TTestColour");
  EXPECT_EQ(info.Count(), 4);
  EXPECT_EQ(info.Ordinal("TCBLUE"), 2);
  EXPECT_EQ(info.Ordinal("tcPurple"), -1);
  EXPECT_EQ(info.Name(9), "");
  EXPECT_EQ(EnumName(fixtures::tcBlack), "tcBlack");
}

TEST(Persistent, AssignFromAnotherClassIsAConvertError) {
  TTestItem item(nullptr);
  fixtures::TTestSettings settings(nullptr);
  item.Settings.SetCaption("c");
  settings.Assign(item.Settings);
  EXPECT_EQ(settings.Caption(), "c");
  try {
    settings.Assign(item);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TTestItem to a TTestSettings");
  }
}

}  // namespace
}  // namespace tmby
