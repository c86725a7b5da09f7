// The boilerplate of a path specifier kind: its class with the three texts and the resolution,
// and the definitions of its class information, constructor and texts. Only the catalogue's own
// files include this.
#pragma once

#include <string>

#include "paths/path_root_base.h"

// Declares a standard kind whose check accepts every object.
#define TMBY_DECLARE_PATH_KIND(Name)                           \
  class Name : public ::tmby::TStandardPathSpecifier {         \
    TMBY_CLASS(Name, ::tmby::TStandardPathSpecifier)           \
   public:                                                     \
    explicit Name(::tmby::TComponent* owner);                  \
    std::string GetDescription() override;                     \
    std::string GetShortCaption() override;                    \
    std::string GetPath(::tmby::TPersistent* object) override; \
  };

// Defines the class information, the constructor (which sets SpecifierName) and the two texts of
// a kind declared in namespace tmby.
#define TMBY_DEFINE_PATH_KIND_TEXTS(Name, specifierName, description, shortCaption) \
  const ::tmby::TClassInfo& Name::StaticClass() {                                   \
    static const ::tmby::TClassInfo info =                                          \
        ::tmby::TClassInfo::Define<Name, ::tmby::TStandardPathSpecifier>(#Name);    \
    return info;                                                                    \
  }                                                                                 \
  Name::Name(::tmby::TComponent* owner) : ::tmby::TStandardPathSpecifier(owner) {   \
    SpecifierName = specifierName;                                                  \
  }                                                                                 \
  std::string Name::GetDescription() { return description; }                        \
  std::string Name::GetShortCaption() { return shortCaption; }
