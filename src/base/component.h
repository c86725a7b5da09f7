// The component model of the kit: persistent objects with a table of published properties, and
// components that have an owner, a name and owned components, hear about each other's destruction
// (the component notification) and know whether they are being loaded from an install definition
// or edited in a design environment.
//
// Every class that takes part in an install definition describes itself with a TClassInfo: its
// name, its parent class, how to construct it with an owner, and its published properties. The
// definition reader and writer, and the translator, walk these tables; nothing else is reflected.
//
//   class TInstallGroup : public TCustomInstallGroup {
//     TMBY_CLASS(TInstallGroup, TCustomInstallGroup)
//    public:
//     explicit TInstallGroup(TComponent* owner);
//     ...
//   };
//
//   const TClassInfo& TInstallGroup::StaticClass() {
//     static const TClassInfo info = TClassInfo::Define<TInstallGroup, TCustomInstallGroup>(
//         "TInstallGroup", [](TClassBuilder<TInstallGroup>& c) {
//           c.Boolean("Include", &TInstallGroup::Include, &TInstallGroup::SetInclude, true);
//           c.Set("InstallTypes", &TInstallGroup::InstallTypes, &TInstallGroup::SetInstallTypes,
//                 TInstallTypeSet{itFull, itDefault, itCompact, itCustom});
//           c.Reference("DestDirType", &TInstallGroup::DestDirType,
//           &TInstallGroup::SetDestDirType); c.Event("OnStatus", &TInstallGroup::OnStatus);
//         });
//     return info;
//   }
//
// Getters are callables taking `const T&` (const member functions or data members); setters are
// member functions taking the value, data members (plain store), or nullptr (read-only property).
//
// Enumerations are stored by enumerator name; a published enumeration needs an `EnumInfoOf(E)`
// overload found by argument-dependent lookup, which TMBY_ENUM_NAMES declares:
//   enum TlzhCommand { lzcOverwrite, lzcOnlyAdd };
//   TMBY_ENUM_NAMES(TlzhCommand, lzcOverwrite, lzcOnlyAdd)
// Sets are any type with `Bits()` and a static `FromBits(bits)` over such an enumeration
// (EnumSet<E> of base/install_types.h).
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/exceptions.h"

namespace tmby {

class TPersistent;
class TComponent;
class TClassInfo;
class TEventHandlers;

using TStrings = std::vector<std::string>;  // a string list property's lines
using TBytes = std::vector<uint8_t>;        // a picture property's stored image

// Misuse of components: a bad or duplicate component name.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EComponentError"; }
};
// An object assigned from one of a class it cannot take its values from.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};
// Misuse of a published property: read-only, wrong kind, wrong class of value.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EPropertyError"; }
};

// ASCII case-insensitive comparison, as names of classes, properties, enumerators, components and
// event handlers are compared.
bool SameText(std::string_view a, std::string_view b);
// A valid name: a letter or underscore, then letters, digits and underscores.
bool IsValidIdent(std::string_view name);

// ---------------------------------------------------------------------------------------------
// Enumerations

// The names of an enumeration's values, by ordinal (0, 1, 2, ...).
class TEnumInfo {
 public:
  // `names` separated by commas and blanks, as stringized by TMBY_ENUM_NAMES.
  TEnumInfo(std::string typeName, std::string_view names);
  TEnumInfo(std::string typeName, std::vector<std::string> names);
  const std::string& TypeName() const { return typeName_; }
  int Count() const { return static_cast<int>(names_.size()); }
  // The name of an ordinal; empty when out of range.
  const std::string& Name(int ordinal) const;
  // The ordinal of a name (ignoring case); -1 when there is none.
  int Ordinal(std::string_view name) const;

 private:
  std::string typeName_;
  std::vector<std::string> names_;
};

#define TMBY_ENUM_NAMES(Type, ...)                                    \
  inline const ::tmby::TEnumInfo& EnumInfoOf(Type) {                  \
    static const ::tmby::TEnumInfo info_of_enum(#Type, #__VA_ARGS__); \
    return info_of_enum;                                              \
  }

// The name of an enumerator, for messages ("itFull").
template <class E>
std::string EnumName(E value) {
  return EnumInfoOf(E{}).Name(static_cast<int>(value));
}

// ---------------------------------------------------------------------------------------------
// Events: a handler bound by name to code that the program registered.

template <class... Args>
class TEvent {
 public:
  using Handler = std::function<void(Args...)>;

  bool Assigned() const { return static_cast<bool>(handler_); }
  explicit operator bool() const { return Assigned(); }
  // Calls the handler when one is bound; does nothing otherwise.
  void operator()(Args... args) const {
    if (handler_) handler_(std::forward<Args>(args)...);
  }
  // Binds code; `name` is what the definition writer records (may be empty for code-only
  // bindings, which are not written).
  void Set(Handler handler, std::string name = {}) {
    handler_ = std::move(handler);
    name_ = std::move(name);
  }
  // Records a handler name without code (design tools that read a definition without the
  // program's handlers).
  void SetName(std::string name) {
    handler_ = nullptr;
    name_ = std::move(name);
  }
  void Clear() {
    handler_ = nullptr;
    name_.clear();
  }
  const std::string& HandlerName() const { return name_; }
  const Handler& Code() const { return handler_; }

 private:
  Handler handler_;
  std::string name_;
};

// The handlers a program offers to definitions, by name (ignoring case). One process-wide
// instance (EventHandlers()); tests make their own or Clear() it.
class TEventHandlers {
 public:
  // Registers (or replaces) a handler usable by events of type E (a TEvent<...>).
  template <class E>
  void Register(const std::string& name, typename E::Handler code) {
    Put(name, std::any(std::move(code)));
  }
  // The registered handler (a std::any holding E::Handler of its event type), or null.
  const std::any* Find(std::string_view name) const;
  void Remove(std::string_view name);
  void Clear() { entries_.clear(); }
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  void Put(const std::string& name, std::any code);
  std::vector<std::pair<std::string, std::any>> entries_;
};
TEventHandlers& EventHandlers();

// ---------------------------------------------------------------------------------------------
// Published properties

enum class TPropKind {
  pkInteger,
  pkString,
  pkBoolean,
  pkEnum,
  pkSet,
  pkStringList,
  pkPicture,
  pkNested,     // a settings object owned by the object: its sub-properties are published
  pkComponent,  // a reference to another component, by name
  pkEvent
};
const char* PropKindName(TPropKind kind);

// Named integer constants an integer property also accepts and is written with (colours).
using TIdentMap = std::vector<std::pair<std::string, int64_t>>;

// One published property. Generic access for the reader, writer and translator; the typed
// accessors are installed by TClassBuilder. Calling an accessor of another kind, or a setter of
// a read-only property, raises EPropertyError.
class TPropInfo {
 public:
  const std::string& Name() const { return name_; }
  TPropKind Kind() const { return kind_; }
  // The enumeration of an enum or set property.
  const TEnumInfo* Enum() const { return enum_; }
  // The class of a nested object, or the class a referenced component must belong to.
  const TClassInfo* PropClass() const { return classOf_ != nullptr ? &classOf_() : nullptr; }
  // The class that declares the property.
  const TClassInfo* Declarer() const { return declarer_; }
  bool ReadOnly() const;
  int64_t MinValue() const { return min_; }
  int64_t MaxValue() const { return max_; }
  const TIdentMap* Idents() const { return idents_; }

  // Integer, Boolean (0/1), Enum (ordinal), Set (bit mask of ordinals).
  int64_t GetOrd(const TPersistent& obj) const;
  void SetOrd(TPersistent& obj, int64_t value) const;
  // String.
  std::string GetString(const TPersistent& obj) const;
  void SetString(TPersistent& obj, const std::string& value) const;
  // StringList.
  TStrings GetStrings(const TPersistent& obj) const;
  void SetStrings(TPersistent& obj, const TStrings& value) const;
  // Picture.
  TBytes GetBytes(const TPersistent& obj) const;
  void SetBytes(TPersistent& obj, const TBytes& value) const;
  // Nested: the owned settings object (may be null).
  TPersistent* GetObject(const TPersistent& obj) const;
  // Component: the referenced component or null. Setting a component that is not of PropClass()
  // raises EPropertyError.
  TComponent* GetComponent(const TPersistent& obj) const;
  void SetComponent(TPersistent& obj, TComponent* value) const;
  // Event: the bound handler's name (empty when unbound).
  std::string GetHandlerName(const TPersistent& obj) const;
  // Binds the handler registered under `name`; false when its parameters do not fit this event.
  bool BindHandler(TPersistent& obj, const std::string& name, const std::any& code) const;
  // Records the name without code.
  void SetHandlerName(TPersistent& obj, const std::string& name) const;
  void ClearHandler(TPersistent& obj) const;

  // The writer's test: the value differs from the stored default and the property is stored.
  // Nested objects answer false (their sub-properties are written one by one).
  bool IsStored(const TPersistent& obj) const;
  bool HasDefault() const { return hasDefault_; }

  // Builder modifiers.
  TPropInfo& NoDefault();
  TPropInfo& StoredIf(std::function<bool(const TPersistent&)> stored);
  TPropInfo& WithIdents(const TIdentMap* idents);

 private:
  friend class TClassInfo;
  template <class T>
  friend class TClassBuilder;
  void Check(const TPersistent& obj, TPropKind kind, bool writing) const;

  std::string name_;
  TPropKind kind_ = TPropKind::pkInteger;
  const TEnumInfo* enum_ = nullptr;
  // Looked up when asked: a class may publish a reference to its own kind.
  const TClassInfo& (*classOf_)() = nullptr;
  const TClassInfo* declarer_ = nullptr;
  int64_t min_ = std::numeric_limits<int64_t>::min();
  int64_t max_ = std::numeric_limits<int64_t>::max();
  const TIdentMap* idents_ = nullptr;
  bool hasDefault_ = true;
  int64_t ordDefault_ = 0;
  std::string strDefault_;
  std::function<bool(const TPersistent&)> stored_;
  std::function<bool(const TPersistent&)> isCast_;

  std::function<int64_t(const TPersistent&)> getOrd_;
  std::function<void(TPersistent&, int64_t)> setOrd_;
  std::function<std::string(const TPersistent&)> getStr_;
  std::function<void(TPersistent&, const std::string&)> setStr_;
  std::function<TStrings(const TPersistent&)> getList_;
  std::function<void(TPersistent&, const TStrings&)> setList_;
  std::function<TBytes(const TPersistent&)> getBytes_;
  std::function<void(TPersistent&, const TBytes&)> setBytes_;
  std::function<TPersistent*(const TPersistent&)> getObj_;
  std::function<TComponent*(const TPersistent&)> getComp_;
  std::function<void(TPersistent&, TComponent*)> setComp_;
  std::function<bool(TPersistent&, const std::string&, const std::any*)> bind_;
};

// ---------------------------------------------------------------------------------------------
// Classes

using TComponentFactory = std::function<TComponent*(TComponent* owner)>;

template <class T>
class TClassBuilder;

// A class's name, parent, factory and published properties. Immutable once defined.
class TClassInfo {
 public:
  // Defines class T derived from Parent (Parent::StaticClass() gives the inherited table). The
  // factory is present when T is a component that can be constructed from its owner.
  template <class T, class Parent>
  static TClassInfo Define(std::string name, void (*describe)(TClassBuilder<T>&) = nullptr);
  // The root of the tree (TPersistent itself).
  static TClassInfo DefineRoot(std::string name);

  const std::string& Name() const { return name_; }
  const TClassInfo* Parent() const { return parent_; }
  // This class or one of its ancestors is `other`.
  bool InheritsFrom(const TClassInfo& other) const;
  // A class name among this class and its ancestors, ignoring case.
  bool InheritsFrom(std::string_view className) const;
  bool IsComponent() const;
  bool CanCreate() const { return static_cast<bool>(factory_); }
  // Constructs an instance with `owner`; EComponentError when the class is abstract.
  TComponent* Create(TComponent* owner) const;

  // All published properties: the ancestors' first, each class's in declaration order.
  const std::vector<const TPropInfo*>& Properties() const { return all_; }
  // A property by name, ignoring case; null when there is none.
  const TPropInfo* FindProperty(std::string_view name) const;

  TClassInfo(TClassInfo&& other) noexcept;
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

 private:
  template <class T>
  friend class TClassBuilder;
  TClassInfo(std::string name, const TClassInfo* parent)
      : name_(std::move(name)), parent_(parent) {}
  void Finish();

  std::string name_;
  const TClassInfo* parent_ = nullptr;
  TComponentFactory factory_;
  std::vector<std::unique_ptr<TPropInfo>> own_;
  std::vector<const TPropInfo*> all_;
};

// Classes the definition reader may create, by name (ignoring case). One process-wide instance
// (ClassRegistry()); tests make their own or Clear() it.
class TClassRegistry {
 public:
  // Registers a class; registering the same class again does nothing, another class of the same
  // name raises EComponentError.
  void Register(const TClassInfo& info);
  void Register(std::initializer_list<const TClassInfo*> infos);
  const TClassInfo* Find(std::string_view name) const;
  void Remove(std::string_view name);
  void Clear() { classes_.clear(); }
  int Count() const { return static_cast<int>(classes_.size()); }

 private:
  std::vector<const TClassInfo*> classes_;
};
TClassRegistry& ClassRegistry();

// Declares the class-information members of a class; put it first in the class body.
#define TMBY_CLASS(Name, Parent)                                                 \
 public:                                                                         \
  using inherited = Parent;                                                      \
  static const ::tmby::TClassInfo& StaticClass();                                \
  const ::tmby::TClassInfo& ClassInfo() const override { return StaticClass(); } \
                                                                                 \
 private:

// ---------------------------------------------------------------------------------------------
// Persistent objects and components

// The base of everything with published properties.
class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassInfo() const { return StaticClass(); }
  const std::string& ClassName() const { return ClassInfo().Name(); }
  bool InheritsFrom(const TClassInfo& info) const { return ClassInfo().InheritsFrom(info); }

  // Copies the values of `source`. The base raises EConvertError "Cannot assign a %s to a %s".
  virtual void Assign(const TPersistent& source);
  // The object that owns this one: the owner of a component, the holder of a settings object
  // (which overrides this). Null by default.
  virtual TPersistent* GetOwner() const { return nullptr; }
};

// True when the nearest component among `obj` and its owners is being loaded. Settings objects
// use it to apply their coupling rules only outside the reading of a definition.
bool IsLoading(const TPersistent& obj);
bool IsDesigning(const TPersistent& obj);

enum TOperation { opInsert, opRemove };

// A named object with an owner. The owner keeps a list of the components it owns, in creation
// order, and destroys them with itself, the last created first. Destroying a component tells
// every component that asked for it (FreeNotification) and every component of its owner
// (through the owner's Notification), so that holders of references clear them.
//
// Destroy components with TComponent::Free (or TOwned<T>): it runs BeforeDestruction while the
// whole object still exists. A plain delete works as well, but then BeforeDestruction runs from
// the base destructor, where overrides of the destroyed classes no longer apply.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  // Destroys `component` (null does nothing).
  static void Free(TComponent* component);

  // Name: empty, or a valid identifier unique among the owner's components (ignoring case).
  const std::string& Name() const { return name_; }
  // Raises EComponentError "''%s'' is not a valid component name" or "A component named %s
  // already exists".
  virtual void SetName(const std::string& name);
  int32_t Tag() const { return tag_; }
  virtual void SetTag(int32_t tag) { tag_ = tag; }

  TComponent* Owner() const { return owner_; }
  TPersistent* GetOwner() const override;
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  const std::vector<TComponent*>& ComponentList() const { return components_; }
  // Position in the owner's list; -1 without owner.
  int ComponentIndex() const;
  // An owned component by name, ignoring case; null for an empty name or none.
  TComponent* FindComponent(std::string_view name) const;
  // The first of `base`, `base`1, `base`2, ... that no owned component has (ignoring case).
  std::string FirstFreeName(const std::string& base);
  // Takes `component` from its current owner (its name must be free here).
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Destroys every owned component, the last created first.
  void DestroyComponents();

  // Asks for Notification(component, opRemove) when `component` is destroyed (and tells it the
  // same about this one).
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);
  // Told that `component` was inserted into this one (opInsert), or is being removed from this
  // one's owner or destroyed (opRemove). The base forwards a removal to every owned component;
  // an insertion is told to the new owner alone: telling every sibling of every insert would make
  // reading a definition take time in the square of its size. Overrides clear their references
  // to a removed component and then call the inherited step. The component in an opRemove call
  // may already be partly destroyed: compare the pointer only.
  virtual void Notification(TComponent* component, TOperation operation);

  // Loading: set while the component's properties are being read from a definition; setters
  // then only store their value. The base Loaded() clears it; overrides run their post-load
  // step and call the inherited one.
  bool Loading() const { return loading_; }
  void SetLoading(bool value) { loading_ = value; }
  virtual void Loaded();

  // Design mode: false at run time. Set for a component and, by default, everything it owns; a
  // component inserted into a designing owner designs too.
  bool DesignMode() const { return designing_; }
  void SetDesigning(bool value, bool withOwned = true);

  // True from the start of the destruction.
  bool Destroying() const { return destroying_; }
  // Runs first when the component is destroyed: marks it as destroying. Overrides that need the
  // whole object (its class, its virtual operations) do their work here and call the inherited
  // step.
  virtual void BeforeDestruction();

  // The component whose block holds this one in a definition (a visual parent: a label on a
  // band). Independent of ownership: every component of a definition is owned by its root. The
  // base stores it and forgets it when the parent is destroyed; a parent chain never loops
  // (EComponentError "Circular parent reference").
  TComponent* ParentComponent() const { return parent_; }
  virtual void SetParentComponent(TComponent* parent);

 protected:
  // Stores the name without checks.
  void ChangeName(const std::string& name);
  // Raises the errors of SetName for `name` among the owner's components (other than this).
  void ValidateRename(const std::string& name) const;
  // Stores a reference in `field` and asks for the notification of its destruction; overrides
  // of Notification clear the field when its component is removed. The notification of an
  // earlier value stays (another field may still hold it; a surplus notification is harmless).
  template <class T>
  void SetReference(T*& field, T* value) {
    field = value;
    if (value != nullptr) FreeNotification(value);
  }

 private:
  // The components to tell about this one's destruction, in the order they asked. A component
  // that many others reference (a path specifier of every directory) has a long list: adding,
  // finding and removing take constant time however long it is.
  class TNotifyList {
   public:
    bool Empty() const { return order_.empty(); }
    TComponent* Last() const { return order_.back(); }
    bool Contains(TComponent* c) const { return at_.count(c) != 0; }
    void Add(TComponent* c);  // at the end; nothing when present
    void Remove(TComponent* c);

   private:
    std::list<TComponent*> order_;
    std::unordered_map<TComponent*, std::list<TComponent*>::iterator> at_;
  };

  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void Teardown();
  // The owned components by name (ASCII lower case), kept with every insert, removal and rename.
  void IndexName(TComponent* component);
  void UnindexName(TComponent* component);

  std::string name_;
  int32_t tag_ = 0;
  TComponent* owner_ = nullptr;
  TComponent* parent_ = nullptr;
  std::vector<TComponent*> components_;
  std::unordered_multimap<std::string, TComponent*> names_;
  // FirstFreeName's memory: every numbered name of a base below its figure is taken. Forgotten
  // when a name of that base comes free.
  std::unordered_map<std::string, int> takenBelow_;
  TNotifyList freeNotifies_;
  bool loading_ = false;
  bool designing_ = false;
  bool destroying_ = false;
  bool tornDown_ = false;
};

struct TComponentFree {
  void operator()(TComponent* c) const { TComponent::Free(c); }
};
// An owning pointer to a component that destroys it with TComponent::Free.
template <class T>
using TOwned = std::unique_ptr<T, TComponentFree>;

// ---------------------------------------------------------------------------------------------
// Builder (implementation of the typed accessors)

namespace detail {

template <class S>
struct SetElement;
template <template <class> class S, class E>
struct SetElement<S<E>> {
  using type = E;
};

template <class T, class G>
decltype(auto) InvokeGet(const G& get, const T& obj) {
  return std::invoke(get, obj);
}

template <class T, class V, class S>
void InvokeSet(const S& set, T& obj, V&& value) {
  if constexpr (std::is_member_object_pointer_v<S>) {
    obj.*set = std::forward<V>(value);
  } else {
    std::invoke(set, obj, std::forward<V>(value));
  }
}

template <class T>
T& Cast(TPersistent& obj) {
  return static_cast<T&>(obj);
}
template <class T>
const T& Cast(const TPersistent& obj) {
  return static_cast<const T&>(obj);
}

template <class S>
constexpr bool kHasSetter = !std::is_same_v<std::decay_t<S>, std::nullptr_t>;

}  // namespace detail

template <class T>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassInfo& info) : info_(info) {}

  // A 32-bit (or narrower) integer; values outside the getter type's range are refused.
  template <class G, class S>
  TPropInfo& Integer(const std::string& name, G get, S set, std::optional<int64_t> def = 0) {
    using V = std::decay_t<decltype(detail::InvokeGet<T>(get, std::declval<const T&>()))>;
    static_assert(std::is_integral_v<V>, "integer property needs an integral getter");
    TPropInfo& p = Add(name, TPropKind::pkInteger);
    p.min_ = static_cast<int64_t>(std::numeric_limits<V>::min());
    p.max_ = std::numeric_limits<V>::max() > static_cast<uint64_t>(INT64_MAX)
                 ? INT64_MAX
                 : static_cast<int64_t>(std::numeric_limits<V>::max());
    p.getOrd_ = [get](const TPersistent& o) {
      return static_cast<int64_t>(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setOrd_ = [set](TPersistent& o, int64_t v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), static_cast<V>(v));
      };
    }
    SetOrdDefault(p, def);
    return p;
  }

  template <class G, class S>
  TPropInfo& Boolean(const std::string& name, G get, S set, std::optional<bool> def = false) {
    TPropInfo& p = Add(name, TPropKind::pkBoolean);
    p.min_ = 0;
    p.max_ = 1;
    p.getOrd_ = [get](const TPersistent& o) -> int64_t {
      return detail::InvokeGet<T>(get, detail::Cast<T>(o)) ? 1 : 0;
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setOrd_ = [set](TPersistent& o, int64_t v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), v != 0);
      };
    }
    SetOrdDefault(p, def ? std::optional<int64_t>(*def ? 1 : 0) : std::nullopt);
    return p;
  }

  template <class G, class S,
            class E = std::decay_t<decltype(detail::InvokeGet<T>(std::declval<G>(),
                                                                 std::declval<const T&>()))>>
  TPropInfo& Enum(const std::string& name, G get, S set,
                  std::type_identity_t<std::optional<E>> def) {
    static_assert(std::is_enum_v<E>, "enumeration property needs an enumeration getter");
    TPropInfo& p = Add(name, TPropKind::pkEnum);
    p.enum_ = &EnumInfoOf(E{});
    p.min_ = 0;
    p.max_ = p.enum_->Count() - 1;
    p.getOrd_ = [get](const TPersistent& o) {
      return static_cast<int64_t>(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setOrd_ = [set](TPersistent& o, int64_t v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), static_cast<E>(v));
      };
    }
    SetOrdDefault(p, def ? std::optional<int64_t>(static_cast<int64_t>(*def)) : std::nullopt);
    return p;
  }

  template <class G, class S,
            class V = std::decay_t<decltype(detail::InvokeGet<T>(std::declval<G>(),
                                                                 std::declval<const T&>()))>>
  TPropInfo& Set(const std::string& name, G get, S set,
                 std::type_identity_t<std::optional<V>> def) {
    using E = typename detail::SetElement<V>::type;
    TPropInfo& p = Add(name, TPropKind::pkSet);
    p.enum_ = &EnumInfoOf(E{});
    p.min_ = 0;
    p.max_ = p.enum_->Count() >= 63 ? INT64_MAX : (int64_t{1} << p.enum_->Count()) - 1;
    p.getOrd_ = [get](const TPersistent& o) {
      return static_cast<int64_t>(detail::InvokeGet<T>(get, detail::Cast<T>(o)).Bits());
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setOrd_ = [set](TPersistent& o, int64_t v) {
        using B = decltype(std::declval<V>().Bits());
        detail::InvokeSet<T>(set, detail::Cast<T>(o), V::FromBits(static_cast<B>(v)));
      };
    }
    SetOrdDefault(p,
                  def ? std::optional<int64_t>(static_cast<int64_t>(def->Bits())) : std::nullopt);
    return p;
  }

  template <class G, class S>
  TPropInfo& String(const std::string& name, G get, S set, std::string def = {}) {
    TPropInfo& p = Add(name, TPropKind::pkString);
    p.getStr_ = [get](const TPersistent& o) {
      return std::string(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setStr_ = [set](TPersistent& o, const std::string& v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), v);
      };
    }
    p.strDefault_ = std::move(def);
    return p;
  }

  // Getter yields a TStrings (or anything convertible); default: empty.
  template <class G, class S>
  TPropInfo& StringList(const std::string& name, G get, S set) {
    TPropInfo& p = Add(name, TPropKind::pkStringList);
    p.getList_ = [get](const TPersistent& o) {
      return TStrings(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setList_ = [set](TPersistent& o, const TStrings& v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), v);
      };
    }
    return p;
  }

  // Getter yields the stored image bytes (TBytes); default: empty.
  template <class G, class S>
  TPropInfo& Picture(const std::string& name, G get, S set) {
    TPropInfo& p = Add(name, TPropKind::pkPicture);
    p.getBytes_ = [get](const TPersistent& o) {
      return TBytes(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setBytes_ = [set](TPersistent& o, const TBytes& v) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), v);
      };
    }
    return p;
  }

  // A settings object owned by T; the getter yields a pointer or reference to it (class N).
  template <class G>
  TPropInfo& Nested(const std::string& name, G get) {
    using R = decltype(detail::InvokeGet<T>(get, std::declval<const T&>()));
    using N = std::remove_cv_t<std::remove_pointer_t<std::remove_reference_t<R>>>;
    TPropInfo& p = Add(name, TPropKind::pkNested);
    p.classOf_ = &N::StaticClass;
    p.getObj_ = [get](const TPersistent& o) -> TPersistent* {
      decltype(auto) r = detail::InvokeGet<T>(get, detail::Cast<T>(o));
      if constexpr (std::is_pointer_v<std::remove_reference_t<R>>) {
        return const_cast<N*>(static_cast<const N*>(r));
      } else {
        return const_cast<N*>(&r);
      }
    };
    return p;
  }

  // A reference to a component of class R (deduced from the getter, which yields R*).
  template <class G, class S>
  TPropInfo& Reference(const std::string& name, G get, S set) {
    using R = std::remove_cv_t<std::remove_pointer_t<
        std::decay_t<decltype(detail::InvokeGet<T>(get, std::declval<const T&>()))>>>;
    TPropInfo& p = Add(name, TPropKind::pkComponent);
    p.classOf_ = &R::StaticClass;
    p.getComp_ = [get](const TPersistent& o) -> TComponent* {
      return const_cast<R*>(detail::InvokeGet<T>(get, detail::Cast<T>(o)));
    };
    if constexpr (detail::kHasSetter<S>) {
      p.setComp_ = [set](TPersistent& o, TComponent* c) {
        detail::InvokeSet<T>(set, detail::Cast<T>(o), static_cast<R*>(c));
      };
    }
    return p;
  }

  // An event held in a data member of type TEvent<...>.
  template <class E>
  TPropInfo& Event(const std::string& name, E T::*member) {
    TPropInfo& p = Add(name, TPropKind::pkEvent);
    p.getStr_ = [member](const TPersistent& o) {
      return (detail::Cast<T>(o).*member).HandlerName();
    };
    p.bind_ = [member](TPersistent& o, const std::string& handler, const std::any* code) -> bool {
      E& event = detail::Cast<T>(o).*member;
      if (code == nullptr) {
        if (handler.empty()) {
          event.Clear();
        } else {
          event.SetName(handler);
        }
        return true;
      }
      const auto* fn = std::any_cast<typename E::Handler>(code);
      if (fn == nullptr) return false;
      event.Set(*fn, handler);
      return true;
    };
    return p;
  }

 private:
  TPropInfo& Add(const std::string& name, TPropKind kind) {
    auto p = std::make_unique<TPropInfo>();
    p->name_ = name;
    p->kind_ = kind;
    p->declarer_ = &info_;
    p->isCast_ = [](const TPersistent& o) { return dynamic_cast<const T*>(&o) != nullptr; };
    info_.own_.push_back(std::move(p));
    return *info_.own_.back();
  }
  static void SetOrdDefault(TPropInfo& p, std::optional<int64_t> def) {
    p.hasDefault_ = def.has_value();
    p.ordDefault_ = def.value_or(0);
  }

  TClassInfo& info_;
};

template <class T, class Parent>
TClassInfo TClassInfo::Define(std::string name, void (*describe)(TClassBuilder<T>&)) {
  static_assert(std::is_base_of_v<TPersistent, T> && std::is_base_of_v<Parent, T>,
                "a class derives from its parent");
  TClassInfo info(std::move(name), &Parent::StaticClass());
  if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                std::is_constructible_v<T, TComponent*>) {
    info.factory_ = [](TComponent* owner) -> TComponent* { return new T(owner); };
  }
  if (describe != nullptr) {
    TClassBuilder<T> builder(info);
    describe(builder);
  }
  info.Finish();
  return info;
}

}  // namespace tmby
