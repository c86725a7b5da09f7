// Path specifiers: named roots on the target machine (the program files directory, the directory
// of the enclosing group, ...) that install objects pair with a relative path. This file holds the
// base classes every kind derives from, the process-wide lists in which specifiers register
// themselves, and the list of kinds every install definition holds one instance of. The catalogue
// of standard kinds builds on it (standard_roots.h, install_roots.h, shell_roots.h,
// office_roots.h).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/component.h"

namespace tmby {

class TCustomPathSpecifier : public TComponent {
  TMBY_CLASS(TCustomPathSpecifier, TComponent)
 public:
  // Registers the new specifier in the specifier list.
  explicit TCustomPathSpecifier(TComponent* owner);
  ~TCustomPathSpecifier() override;

  // Resolution hook of the base GetPath: receives the object being expanded and delivers the
  // path. Not published; no standard kind sets it.
  std::function<void(TPersistent* object, std::string& path)> OnGetPath;
  // The kind's fixed name ("psProgramFiles"), set by each kind's constructor. Names the instance
  // that CreateStandardSpecifiers makes, and the specifier in the messages of a misuse.
  std::string SpecifierName;

  // Raises when this specifier cannot serve `object` (the object whose destination or archive
  // is expanded, or that is being given the specifier). The base accepts everything.
  virtual void CheckUsableFor(TPersistent* object);
  virtual std::string GetDescription();
  virtual std::string GetDescriptionFor(TPersistent* object);
  // The root path for `object`, as a rule without a trailing backslash.
  virtual std::string GetPath(TPersistent* object);
  virtual std::string GetShortCaption();
  virtual std::string GetShortCaptionFor(TPersistent* object);
};

// The base of the standard kinds: registered in the standard list as well.
class TStandardPathSpecifier : public TCustomPathSpecifier {
  TMBY_CLASS(TStandardPathSpecifier, TCustomPathSpecifier)
 public:
  explicit TStandardPathSpecifier(TComponent* owner);
  ~TStandardPathSpecifier() override;
};

// A non-owning list of specifiers in registration order.
class TPathSpecifierList {
 public:
  virtual ~TPathSpecifierList() = default;
  // Raises IEPathSpecifierList "Tried to add a nil object to the path specifier list" for null.
  void Add(TCustomPathSpecifier* specifier);
  // Removes the entry (the newest of equal ones); absent entries are ignored.
  void Remove(TCustomPathSpecifier* specifier);
  // Raises IEPathSpecifierList for an index outside the list.
  TCustomPathSpecifier* Items(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }
  int IndexOf(const TCustomPathSpecifier* specifier) const;
  void Clear() { items_.clear(); }

  // The first entry that is an instance of `kind` (or of a class derived from it). Raises
  // IEPathSpecifier "Could not find the path specifier" when there is none.
  virtual TCustomPathSpecifier* FindSpecifier(const TClassInfo& kind) const;
  // The same by class name (ignoring case), for kinds named by code that cannot see their class.
  TCustomPathSpecifier* FindSpecifier(std::string_view kindName) const;
  // As FindSpecifier, but null instead of the exception.
  TCustomPathSpecifier* Lookup(const TClassInfo& kind) const;
  TCustomPathSpecifier* Lookup(std::string_view kindName) const;

  // Creates one instance of every kind of the class list, in its order, owned by `owner` and
  // named by its SpecifierName. With `onlyMissing`, kinds of which this list already holds an
  // instance are skipped. Nothing happens without owner. `container` is the object asking (an
  // install container that is being placed on a form). When an instance cannot take its name
  // (another component of the owner holds it), that instance is freed again and the error is
  // passed on; the instances made before it stay.
  void CreateStandardSpecifiers(TComponent* container, TComponent* owner, bool onlyMissing);

 private:
  std::vector<TCustomPathSpecifier*> items_;
};

class TStandardPathSpecList : public TPathSpecifierList {};

// The kinds that every install definition holds one instance of, in registration order.
class TPathSpecifierClassList {
 public:
  // Raises IEPathSpecifierClassList "Tried to add a nil object to the path specifier list" for
  // null. A kind already present is not added twice.
  void Add(const TClassInfo* kind);
  // Raises IEPathSpecifierClassList for an index outside the list.
  const TClassInfo* Items(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }
  int IndexOf(const TClassInfo* kind) const;
  void Clear() { items_.clear(); }

 private:
  std::vector<const TClassInfo*> items_;
};

class IInstallPathSource;

// The process-wide specifier registries.
struct TPathSpecifierRegistry {
  TPathSpecifierList Specifiers;    // every specifier in existence
  TStandardPathSpecList Standard;   // every standard specifier in existence
  TPathSpecifierClassList Classes;  // the kinds of every definition, filled by the start-up
  // The install root of the process, null when there is none; the install model sets it.
  IInstallPathSource* InstallRoot = nullptr;
  int StartupCount = 0;  // start-ups not yet matched by a shut-down; kept by Reset
  void Reset() {
    Specifiers.Clear();
    Standard.Clear();
    Classes.Clear();
    InstallRoot = nullptr;
  }
};
TPathSpecifierRegistry& PathSpecifiers();

// Start-up and shut-down of the framework, reference counted: the first start-up registers the
// standard kinds in the class list; the last shut-down empties the three registries. The specifier
// lists take registrations at any time, so specifiers made outside a start-up are listed as well.
void PathSpecifierStartup();
void PathSpecifierShutdown();

// Registers every specifier class (the 35 standard kinds, TpsObjectLink and the two base
// classes) with a definition reader's class registry.
void RegisterPathSpecifierClasses(TClassRegistry& registry);

// True when `specifier` is an instance of the kind named `kindName` (or of a class derived from
// it); false for null.
bool IsSpecifierKind(const TCustomPathSpecifier* specifier, std::string_view kindName);

}  // namespace tmby
