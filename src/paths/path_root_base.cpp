#include "paths/path_root_base.h"

#include <algorithm>

namespace tmby {

// ---------------------------------------------------------------------------------------------
// TCustomPathSpecifier

const TClassInfo& TCustomPathSpecifier::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TCustomPathSpecifier, TComponent>(
      "TCustomPathSpecifier", [](TClassBuilder<TCustomPathSpecifier>& c) {
        c.String("SpecifierName", &TCustomPathSpecifier::SpecifierName,
                 &TCustomPathSpecifier::SpecifierName);
      });
  return info;
}

TCustomPathSpecifier::TCustomPathSpecifier(TComponent* owner) : TComponent(owner) {
  PathSpecifiers().Specifiers.Add(this);
}

TCustomPathSpecifier::~TCustomPathSpecifier() { PathSpecifiers().Specifiers.Remove(this); }

void TCustomPathSpecifier::CheckUsableFor(TPersistent*) {}

std::string TCustomPathSpecifier::GetDescription() { return "Unspecified"; }

std::string TCustomPathSpecifier::GetDescriptionFor(TPersistent*) { return GetDescription(); }

std::string TCustomPathSpecifier::GetPath(TPersistent* object) {
  std::string path;
  if (OnGetPath) OnGetPath(object, path);
  return path;
}

std::string TCustomPathSpecifier::GetShortCaption() { return GetDescription(); }

std::string TCustomPathSpecifier::GetShortCaptionFor(TPersistent* object) {
  return GetDescriptionFor(object);
}

// ---------------------------------------------------------------------------------------------
// TStandardPathSpecifier

const TClassInfo& TStandardPathSpecifier::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TStandardPathSpecifier, TCustomPathSpecifier>("TStandardPathSpecifier");
  return info;
}

TStandardPathSpecifier::TStandardPathSpecifier(TComponent* owner) : TCustomPathSpecifier(owner) {
  PathSpecifiers().Standard.Add(this);
}

TStandardPathSpecifier::~TStandardPathSpecifier() { PathSpecifiers().Standard.Remove(this); }

// ---------------------------------------------------------------------------------------------
// TPathSpecifierList

void TPathSpecifierList::Add(TCustomPathSpecifier* specifier) {
  if (specifier == nullptr) {
    throw IEPathSpecifierList("Tried to add a nil object to the path specifier list");
  }
  items_.push_back(specifier);
}

void TPathSpecifierList::Remove(TCustomPathSpecifier* specifier) {
  // Specifiers go the last made first (an owner destroys its newest component first): searching
  // from the end keeps a large definition's teardown linear.
  auto it = std::find(items_.rbegin(), items_.rend(), specifier);
  if (it != items_.rend()) items_.erase(std::next(it).base());
}

TCustomPathSpecifier* TPathSpecifierList::Items(int index) const {
  if (index < 0 || index >= Count()) {
    throw IEPathSpecifierList("List index out of bounds (%d)", {index});
  }
  return items_[static_cast<size_t>(index)];
}

int TPathSpecifierList::IndexOf(const TCustomPathSpecifier* specifier) const {
  auto it = std::find(items_.begin(), items_.end(), specifier);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TCustomPathSpecifier* TPathSpecifierList::FindSpecifier(const TClassInfo& kind) const {
  if (TCustomPathSpecifier* s = Lookup(kind)) return s;
  throw IEPathSpecifier("Could not find the path specifier");
}

TCustomPathSpecifier* TPathSpecifierList::FindSpecifier(std::string_view kindName) const {
  if (TCustomPathSpecifier* s = Lookup(kindName)) return s;
  throw IEPathSpecifier("Could not find the path specifier");
}

TCustomPathSpecifier* TPathSpecifierList::Lookup(const TClassInfo& kind) const {
  for (TCustomPathSpecifier* s : items_) {
    if (s->InheritsFrom(kind)) return s;
  }
  return nullptr;
}

TCustomPathSpecifier* TPathSpecifierList::Lookup(std::string_view kindName) const {
  for (TCustomPathSpecifier* s : items_) {
    if (IsSpecifierKind(s, kindName)) return s;
  }
  return nullptr;
}

void TPathSpecifierList::CreateStandardSpecifiers(TComponent*, TComponent* owner,
                                                  bool onlyMissing) {
  if (owner == nullptr) return;
  // A copy: creating a specifier must not disturb the walk even if a kind's constructor were to
  // register further kinds.
  const TPathSpecifierClassList kinds = PathSpecifiers().Classes;
  for (int i = 0; i < kinds.Count(); ++i) {
    const TClassInfo* kind = kinds.Items(i);
    if (onlyMissing && Lookup(*kind) != nullptr) continue;
    TComponent* created = kind->Create(owner);
    auto* specifier = dynamic_cast<TCustomPathSpecifier*>(created);
    if (specifier == nullptr) {
      TComponent::Free(created);
      throw IEPathSpecifierClassList("%s is not a path specifier", {kind->Name()});
    }
    try {
      specifier->SetName(specifier->SpecifierName);
    } catch (...) {
      TComponent::Free(specifier);
      throw;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TPathSpecifierClassList

void TPathSpecifierClassList::Add(const TClassInfo* kind) {
  if (kind == nullptr) {
    throw IEPathSpecifierClassList("Tried to add a nil object to the path specifier list");
  }
  if (IndexOf(kind) < 0) items_.push_back(kind);
}

const TClassInfo* TPathSpecifierClassList::Items(int index) const {
  if (index < 0 || index >= Count()) {
    throw IEPathSpecifierClassList("List index out of bounds (%d)", {index});
  }
  return items_[static_cast<size_t>(index)];
}

int TPathSpecifierClassList::IndexOf(const TClassInfo* kind) const {
  auto it = std::find(items_.begin(), items_.end(), kind);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

// ---------------------------------------------------------------------------------------------

TPathSpecifierRegistry& PathSpecifiers() {
  static TPathSpecifierRegistry registry;
  return registry;
}

bool IsSpecifierKind(const TCustomPathSpecifier* specifier, std::string_view kindName) {
  return specifier != nullptr && specifier->ClassInfo().InheritsFrom(kindName);
}

}  // namespace tmby
