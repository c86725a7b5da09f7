#include "base/component.h"

#include <algorithm>

namespace tmby {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

// Removes the last occurrence: components leave their owner mostly the last first.
void EraseOne(std::vector<TComponent*>& list, TComponent* c) {
  auto it = std::find(list.rbegin(), list.rend(), c);
  if (it != list.rend()) list.erase(std::next(it).base());
}

std::string LowerName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = Lower(c);
  return lower;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsValidIdent(std::string_view name) {
  if (name.empty() || !IsIdentStart(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), IsIdentChar);
}

// ---------------------------------------------------------------------------------------------

TEnumInfo::TEnumInfo(std::string typeName, std::string_view names)
    : typeName_(std::move(typeName)) {
  std::string current;
  for (char c : names) {
    if (c == ',') {
      names_.push_back(current);
      current.clear();
    } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      current += c;
    }
  }
  if (!current.empty() || !names_.empty()) names_.push_back(current);
}

TEnumInfo::TEnumInfo(std::string typeName, std::vector<std::string> names)
    : typeName_(std::move(typeName)), names_(std::move(names)) {}

const std::string& TEnumInfo::Name(int ordinal) const {
  static const std::string kEmpty;
  if (ordinal < 0 || ordinal >= Count()) return kEmpty;
  return names_[static_cast<size_t>(ordinal)];
}

int TEnumInfo::Ordinal(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (SameText(names_[i], name)) return static_cast<int>(i);
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------

const std::any* TEventHandlers::Find(std::string_view name) const {
  for (const auto& [n, code] : entries_) {
    if (SameText(n, name)) return &code;
  }
  return nullptr;
}

void TEventHandlers::Remove(std::string_view name) {
  std::erase_if(entries_, [&](const auto& e) { return SameText(e.first, name); });
}

void TEventHandlers::Put(const std::string& name, std::any code) {
  if (!IsValidIdent(name)) {
    throw EComponentError("'%s' is not a valid event handler name", {name});
  }
  for (auto& [n, c] : entries_) {
    if (SameText(n, name)) {
      c = std::move(code);
      return;
    }
  }
  entries_.emplace_back(name, std::move(code));
}

TEventHandlers& EventHandlers() {
  static TEventHandlers handlers;
  return handlers;
}

// ---------------------------------------------------------------------------------------------

const char* PropKindName(TPropKind kind) {
  switch (kind) {
    case TPropKind::pkInteger: return "integer";
    case TPropKind::pkString: return "string";
    case TPropKind::pkBoolean: return "Boolean";
    case TPropKind::pkEnum: return "enumeration";
    case TPropKind::pkSet: return "set";
    case TPropKind::pkStringList: return "string list";
    case TPropKind::pkPicture: return "picture";
    case TPropKind::pkNested: return "settings object";
    case TPropKind::pkComponent: return "component reference";
    case TPropKind::pkEvent: return "event";
  }
  return "property";
}

namespace {
bool IsOrdinal(TPropKind k) {
  return k == TPropKind::pkInteger || k == TPropKind::pkBoolean || k == TPropKind::pkEnum ||
         k == TPropKind::pkSet;
}
}  // namespace

bool TPropInfo::ReadOnly() const {
  switch (kind_) {
    case TPropKind::pkInteger:
    case TPropKind::pkBoolean:
    case TPropKind::pkEnum:
    case TPropKind::pkSet: return !setOrd_;
    case TPropKind::pkString: return !setStr_;
    case TPropKind::pkStringList: return !setList_;
    case TPropKind::pkPicture: return !setBytes_;
    case TPropKind::pkComponent: return !setComp_;
    case TPropKind::pkNested:
    case TPropKind::pkEvent: return false;
  }
  return true;
}

void TPropInfo::Check(const TPersistent& obj, TPropKind kind, bool writing) const {
  const bool kindOk = kind == kind_ || (IsOrdinal(kind) && IsOrdinal(kind_));
  if (!kindOk) {
    throw EPropertyError("Property %s is a %s property, not a %s property",
                         {name_, PropKindName(kind_), PropKindName(kind)});
  }
  if (!isCast_ || !isCast_(obj)) {
    throw EPropertyError("Property %s does not belong to a %s", {name_, obj.ClassName()});
  }
  if (writing && ReadOnly()) throw EPropertyError("Property %s is read-only", {name_});
}

int64_t TPropInfo::GetOrd(const TPersistent& obj) const {
  Check(obj, TPropKind::pkInteger, false);
  return getOrd_(obj);
}

void TPropInfo::SetOrd(TPersistent& obj, int64_t value) const {
  Check(obj, TPropKind::pkInteger, true);
  if (value < min_ || value > max_) {
    throw EPropertyError("Value %s is out of range for property %s",
                         {std::to_string(value), name_});
  }
  setOrd_(obj, value);
}

std::string TPropInfo::GetString(const TPersistent& obj) const {
  Check(obj, TPropKind::pkString, false);
  return getStr_(obj);
}

void TPropInfo::SetString(TPersistent& obj, const std::string& value) const {
  Check(obj, TPropKind::pkString, true);
  setStr_(obj, value);
}

TStrings TPropInfo::GetStrings(const TPersistent& obj) const {
  Check(obj, TPropKind::pkStringList, false);
  return getList_(obj);
}

void TPropInfo::SetStrings(TPersistent& obj, const TStrings& value) const {
  Check(obj, TPropKind::pkStringList, true);
  setList_(obj, value);
}

TBytes TPropInfo::GetBytes(const TPersistent& obj) const {
  Check(obj, TPropKind::pkPicture, false);
  return getBytes_(obj);
}

void TPropInfo::SetBytes(TPersistent& obj, const TBytes& value) const {
  Check(obj, TPropKind::pkPicture, true);
  setBytes_(obj, value);
}

TPersistent* TPropInfo::GetObject(const TPersistent& obj) const {
  Check(obj, TPropKind::pkNested, false);
  return getObj_(obj);
}

TComponent* TPropInfo::GetComponent(const TPersistent& obj) const {
  Check(obj, TPropKind::pkComponent, false);
  return getComp_(obj);
}

void TPropInfo::SetComponent(TPersistent& obj, TComponent* value) const {
  Check(obj, TPropKind::pkComponent, true);
  const TClassInfo* needed = PropClass();
  if (value != nullptr && needed != nullptr && !value->InheritsFrom(*needed)) {
    throw EPropertyError("Property %s needs a %s, not a %s",
                         {name_, needed->Name(), value->ClassName()});
  }
  setComp_(obj, value);
}

std::string TPropInfo::GetHandlerName(const TPersistent& obj) const {
  Check(obj, TPropKind::pkEvent, false);
  return getStr_(obj);
}

bool TPropInfo::BindHandler(TPersistent& obj, const std::string& name, const std::any& code) const {
  Check(obj, TPropKind::pkEvent, true);
  return bind_(obj, name, &code);
}

void TPropInfo::SetHandlerName(TPersistent& obj, const std::string& name) const {
  Check(obj, TPropKind::pkEvent, true);
  bind_(obj, name, nullptr);
}

void TPropInfo::ClearHandler(TPersistent& obj) const { SetHandlerName(obj, std::string()); }

bool TPropInfo::IsStored(const TPersistent& obj) const {
  if (kind_ == TPropKind::pkNested || ReadOnly()) return false;
  if (stored_ && !stored_(obj)) return false;
  switch (kind_) {
    case TPropKind::pkInteger:
    case TPropKind::pkBoolean:
    case TPropKind::pkEnum:
    case TPropKind::pkSet: return !hasDefault_ || GetOrd(obj) != ordDefault_;
    case TPropKind::pkString: return !hasDefault_ || GetString(obj) != strDefault_;
    case TPropKind::pkStringList: return !GetStrings(obj).empty();
    case TPropKind::pkPicture: return !GetBytes(obj).empty();
    case TPropKind::pkComponent: return GetComponent(obj) != nullptr;
    case TPropKind::pkEvent: return !GetHandlerName(obj).empty();
    case TPropKind::pkNested: return false;
  }
  return false;
}

TPropInfo& TPropInfo::NoDefault() {
  hasDefault_ = false;
  return *this;
}

TPropInfo& TPropInfo::StoredIf(std::function<bool(const TPersistent&)> stored) {
  stored_ = std::move(stored);
  return *this;
}

TPropInfo& TPropInfo::WithIdents(const TIdentMap* idents) {
  idents_ = idents;
  return *this;
}

// ---------------------------------------------------------------------------------------------

TClassInfo::TClassInfo(TClassInfo&& other) noexcept
    : name_(std::move(other.name_)),
      parent_(other.parent_),
      factory_(std::move(other.factory_)),
      own_(std::move(other.own_)),
      all_(std::move(other.all_)) {
  for (auto& p : own_) p->declarer_ = this;
}

TClassInfo TClassInfo::DefineRoot(std::string name) {
  TClassInfo info(std::move(name), nullptr);
  info.Finish();
  return info;
}

void TClassInfo::Finish() {
  all_.clear();
  if (parent_ != nullptr) all_ = parent_->all_;
  for (const auto& p : own_) {
    // A class that publishes a property of its parent again (another default) replaces it in
    // place.
    auto same = std::find_if(all_.begin(), all_.end(),
                             [&](const TPropInfo* q) { return SameText(q->Name(), p->Name()); });
    if (same != all_.end()) {
      *same = p.get();
    } else {
      all_.push_back(p.get());
    }
  }
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    if (c == &other) return true;
  }
  return false;
}

bool TClassInfo::InheritsFrom(std::string_view className) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    if (SameText(c->name_, className)) return true;
  }
  return false;
}

bool TClassInfo::IsComponent() const { return InheritsFrom(TComponent::StaticClass()); }

TComponent* TClassInfo::Create(TComponent* owner) const {
  if (!factory_) throw EComponentError("Class %s cannot be created", {name_});
  return factory_(owner);
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
  for (const TPropInfo* p : all_) {
    if (SameText(p->Name(), name)) return p;
  }
  return nullptr;
}

void TClassRegistry::Register(const TClassInfo& info) {
  for (const TClassInfo* c : classes_) {
    if (c == &info) return;
    if (SameText(c->Name(), info.Name())) {
      throw EComponentError("A class named %s is already registered", {info.Name()});
    }
  }
  classes_.push_back(&info);
}

void TClassRegistry::Register(std::initializer_list<const TClassInfo*> infos) {
  for (const TClassInfo* info : infos) Register(*info);
}

const TClassInfo* TClassRegistry::Find(std::string_view name) const {
  for (const TClassInfo* c : classes_) {
    if (SameText(c->Name(), name)) return c;
  }
  return nullptr;
}

void TClassRegistry::Remove(std::string_view name) {
  std::erase_if(classes_, [&](const TClassInfo* c) { return SameText(c->Name(), name); });
}

TClassRegistry& ClassRegistry() {
  static TClassRegistry registry;
  return registry;
}

// ---------------------------------------------------------------------------------------------

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info = TClassInfo::DefineRoot("TPersistent");
  return info;
}

void TPersistent::Assign(const TPersistent& source) {
  throw EConvertError("Cannot assign a %s to a %s", {source.ClassName(), ClassName()});
}

namespace {
const TComponent* NearestComponent(const TPersistent& obj) {
  const TPersistent* p = &obj;
  for (int depth = 0; p != nullptr && depth < 64; ++depth) {
    if (const auto* c = dynamic_cast<const TComponent*>(p)) return c;
    p = p->GetOwner();
  }
  return nullptr;
}
}  // namespace

bool IsLoading(const TPersistent& obj) {
  const TComponent* c = NearestComponent(obj);
  return c != nullptr && c->Loading();
}

bool IsDesigning(const TPersistent& obj) {
  const TComponent* c = NearestComponent(obj);
  return c != nullptr && c->DesignMode();
}

// ---------------------------------------------------------------------------------------------

const TClassInfo& TComponent::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TComponent, TPersistent>("TComponent", [](TClassBuilder<TComponent>& c) {
        // The name heads the object's block in a definition; it is not a property line.
        c.String("Name", &TComponent::Name, &TComponent::SetName).StoredIf([](const TPersistent&) {
          return false;
        });
        c.Integer("Tag", &TComponent::Tag, &TComponent::SetTag, 0);
      });
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  Teardown();
}

void TComponent::Free(TComponent* component) {
  if (component == nullptr) return;
  if (!component->destroying_) component->BeforeDestruction();
  delete component;
}

void TComponent::BeforeDestruction() { destroying_ = true; }

void TComponent::Teardown() {
  if (tornDown_) return;
  tornDown_ = true;
  // Tell everyone who asked; each partner forgets this one first, so that an override which
  // does not call the inherited Notification cannot make this loop run for ever.
  while (!freeNotifies_.Empty()) {
    TComponent* other = freeNotifies_.Last();
    freeNotifies_.Remove(other);
    other->freeNotifies_.Remove(this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

TPersistent* TComponent::GetOwner() const { return owner_; }

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw EComponentError("List index out of bounds (%d)", {index});
  }
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  const auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  const auto [first, last] = names_.equal_range(LowerName(name));
  if (first == last) return nullptr;
  TComponent* found = first->second;
  // Names are unique among the owned components, unless ChangeName made them twins: then the
  // first in the list, as a search of the list would find it.
  for (auto it = std::next(first); it != last; ++it) {
    if (it->second->ComponentIndex() < found->ComponentIndex()) found = it->second;
  }
  return found;
}

void TComponent::IndexName(TComponent* component) {
  if (!component->name_.empty()) names_.emplace(LowerName(component->name_), component);
}

std::string TComponent::FirstFreeName(const std::string& base) {
  if (FindComponent(base) == nullptr) return base;
  // Without the memory, naming the n-th of many components would try n names.
  int& next = takenBelow_[LowerName(base)];
  next = std::max(next, 1);
  while (FindComponent(base + std::to_string(next)) != nullptr) ++next;
  return base + std::to_string(next);
}

void TComponent::UnindexName(TComponent* component) {
  if (component->name_.empty()) return;
  const std::string lower = LowerName(component->name_);
  for (auto it = takenBelow_.begin(); it != takenBelow_.end();) {
    it = lower.starts_with(it->first) ? takenBelow_.erase(it) : std::next(it);
  }
  const auto [first, last] = names_.equal_range(lower);
  for (auto it = first; it != last; ++it) {
    if (it->second == component) {
      names_.erase(it);
      return;
    }
  }
}

void TComponent::ChangeName(const std::string& name) {
  if (owner_ != nullptr) owner_->UnindexName(this);
  name_ = name;
  if (owner_ != nullptr) owner_->IndexName(this);
}

void TComponent::ValidateRename(const std::string& name) const {
  if (!name.empty() && !IsValidIdent(name)) {
    throw EComponentError("'%s' is not a valid component name", {name});
  }
  if (owner_ != nullptr && !name.empty() && !SameText(name, name_)) {
    const TComponent* other = owner_->FindComponent(name);
    if (other != nullptr && other != this) {
      throw EComponentError("A component named %s already exists", {name});
    }
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  ValidateRename(name);
  ChangeName(name);
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->owner_ == this) return;
  if (!component->name_.empty() && FindComponent(component->name_) != nullptr) {
    throw EComponentError("A component named %s already exists", {component->name_});
  }
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  Insert(component);
  if (designing_) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  Notification(component, opRemove);
  Remove(component);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  IndexName(component);
  component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
  UnindexName(component);
  EraseOne(components_, component);
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // The last created first. Each stays in the list while it is destroyed, so that this one's
  // Notification sees it as its own.
  while (!components_.empty()) {
    TComponent* last = components_.back();
    Free(last);
    // A destructor that failed to leave the list would make this loop spin.
    if (!components_.empty() && components_.back() == last) Remove(last);
  }
}

void TComponent::TNotifyList::Add(TComponent* c) {
  if (Contains(c)) return;
  order_.push_back(c);
  at_.emplace(c, std::prev(order_.end()));
}

void TComponent::TNotifyList::Remove(TComponent* c) {
  // Every sibling of a removed component is asked, and most have no list at all.
  if (at_.empty()) return;
  const auto it = at_.find(c);
  if (it == at_.end()) return;
  order_.erase(it->second);
  at_.erase(it);
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  freeNotifies_.Add(component);
  component->freeNotifies_.Add(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  // The lists hold their pairs both ways: when this one does not know the partner, neither does
  // the partner know this one (a removal reaches every sibling, and most of them know no one).
  if (component == nullptr || freeNotifies_.Empty() || !freeNotifies_.Contains(component)) return;
  freeNotifies_.Remove(component);
  component->freeNotifies_.Remove(this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) {
    RemoveFreeNotification(component);
    if (component == parent_) parent_ = nullptr;
  }
  // An insertion goes no further than the new owner (see the declaration).
  if (operation == opInsert) return;
  // An owner on its way out destroys all its components one after the other: the removal of one
  // of them goes to those that asked to hear of it (FreeNotification, told before) and no further.
  // Telling every remaining sibling as well made destroying n components take n * n calls.
  if ((destroying_ || tornDown_) && component != nullptr && component->owner_ == this) return;
  // Forward to the owned components, the last first; the list may change under the calls.
  for (size_t i = components_.size(); i > 0;) {
    --i;
    if (i >= components_.size()) {
      if (components_.empty()) break;
      i = components_.size() - 1;
    }
    components_[i]->Notification(component, operation);
  }
}

void TComponent::Loaded() { loading_ = false; }

void TComponent::SetDesigning(bool value, bool withOwned) {
  designing_ = value;
  if (withOwned) {
    for (TComponent* c : components_) c->SetDesigning(value, true);
  }
}

void TComponent::SetParentComponent(TComponent* parent) {
  for (const TComponent* p = parent; p != nullptr; p = p->parent_) {
    if (p == this) throw EComponentError("Circular parent reference");
  }
  parent_ = parent;
  if (parent != nullptr) FreeNotification(parent);
}

}  // namespace tmby
