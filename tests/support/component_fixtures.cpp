#include "support/component_fixtures.h"

namespace tmby::fixtures {

namespace {
std::string LoadingMark(const TPersistent& obj) { return IsLoading(obj) ? " loading" : ""; }
const TIdentMap kColorIdents = {{"clBlack", 0}, {"clWhite", 0xFFFFFF}, {"clRed", 0x0000FF}};
}  // namespace

std::vector<std::string>& Journal() {
  static std::vector<std::string> journal;
  return journal;
}

const TClassInfo& TTestInner::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTestInner, TPersistent>("TTestInner", [](TClassBuilder<TTestInner>& c) {
        c.Boolean("Flag", &TTestInner::Flag, &TTestInner::Flag, false);
        c.Integer("Level", &TTestInner::Level, &TTestInner::Level, 1);
      });
  return info;
}

const TClassInfo& TTestSettings::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTestSettings, TPersistent>(
      "TTestSettings", [](TClassBuilder<TTestSettings>& c) {
        c.String("Caption", &TTestSettings::Caption, &TTestSettings::SetCaption);
        c.Integer("Count", &TTestSettings::Count, &TTestSettings::Count, 3);
        c.StringList("Lines", &TTestSettings::Lines, &TTestSettings::Lines);
        c.Nested("Inner", &TTestSettings::Inner);
        c.Reference("Target", &TTestSettings::Target, &TTestSettings::Target);
      });
  return info;
}

void TTestSettings::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TTestSettings*>(&source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  caption_ = other->caption_;
  Count = other->Count;
  Lines = other->Lines;
}

void TTestSettings::SetCaption(const std::string& value) {
  caption_ = value;
  if (!IsLoading(*this)) ++Changes;
}

const TClassInfo& TTestItem::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTestItem, TComponent>("TTestItem", [](TClassBuilder<TTestItem>& c) {
        c.Integer("Number", &TTestItem::Number, &TTestItem::Number, 0);
        c.String("Text", &TTestItem::Text, &TTestItem::SetText);
        c.Integer("Small", &TTestItem::Small, &TTestItem::Small, 0);
        c.Boolean("Enabled", &TTestItem::Enabled, &TTestItem::Enabled, true);
        c.Enum("Colour", &TTestItem::Colour, &TTestItem::Colour, tcRed);
        c.Set("Colours", &TTestItem::Colours, &TTestItem::Colours, TTestColours{tcRed, tcGreen});
        c.StringList("Lines", &TTestItem::Lines, &TTestItem::Lines);
        c.Picture("Image", &TTestItem::Image, &TTestItem::Image);
        c.Nested("Settings", &TTestItem::Settings);
        c.Integer("Color", &TTestItem::Color, &TTestItem::Color, 0).WithIdents(&kColorIdents);
        c.Reference("Link", &TTestItem::Link, &TTestItem::SetLink);
        c.Reference("Other", &TTestItem::Other, &TTestItem::SetOther);
        c.Event("OnChange", &TTestItem::OnChange);
        c.Event("OnCount", &TTestItem::OnCount);
      });
  return info;
}

TTestItem::TTestItem(TComponent* owner) : TComponent(owner) {}

TTestItem::~TTestItem() { Journal().push_back("Destroy " + Name()); }

void TTestItem::SetLink(TTestItem* value) {
  Journal().push_back("SetLink " + Name() + LoadingMark(*this));
  SetReference(link_, value);
  if (!Loading() && value != nullptr) Number = value->Number;
}

void TTestItem::SetText(const std::string& value) {
  if (value == "fail") throw IEInstall("The text %s is refused", {value});
  Text = value;
}

void TTestItem::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == link_) link_ = nullptr;
    if (component == other_) other_ = nullptr;
    if (component == Settings.Target) Settings.Target = nullptr;
  }
  TComponent::Notification(component, operation);
}

void TTestItem::Loaded() {
  TComponent::Loaded();
  Journal().push_back("Loaded " + Name());
  if (Number == 666) throw IEInstall("Item %s cannot be loaded", {Name()});
}

const TClassInfo& TTestSpecialItem::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTestSpecialItem, TTestItem>(
      "TTestSpecialItem", [](TClassBuilder<TTestSpecialItem>& c) {
        c.Boolean("Enabled", &TTestSpecialItem::Enabled, &TTestSpecialItem::Enabled, false);
        c.Integer("Kids", &TTestSpecialItem::Kids, nullptr, 0);
      });
  return info;
}

TTestSpecialItem::TTestSpecialItem(TComponent* owner) : TTestItem(owner) { Enabled = false; }

const TClassInfo& TTestAbstract::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTestAbstract, TComponent>("TTestAbstract");
  return info;
}

const TClassInfo& TTestForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTestForm, TComponent>("TTestForm", [](TClassBuilder<TTestForm>& c) {
        c.String("Caption", &TTestForm::Caption, &TTestForm::Caption);
        c.Integer("Width", &TTestForm::Width, &TTestForm::Width, 640);
        c.Event("OnActivate", &TTestForm::OnActivate);
      });
  return info;
}

void TTestForm::Loaded() {
  TComponent::Loaded();
  Journal().push_back("Loaded " + Name());
}

void RegisterFixtureClasses(TClassRegistry& classes) {
  classes.Register({&TTestItem::StaticClass(), &TTestSpecialItem::StaticClass(),
                    &TTestAbstract::StaticClass(), &TTestForm::StaticClass(),
                    &TComponent::StaticClass()});
}

}  // namespace tmby::fixtures
