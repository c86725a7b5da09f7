#include "paths/object_link_root.h"

#include "base/path_text.h"
#include "paths/install_roots.h"

namespace tmby {

namespace {

const char kShellLinkClass[] = "TCustomInstallShellLink";

// A published string property of an object, empty when the class has none.
std::string StringProperty(const TPersistent& object, std::string_view name) {
  const TPropInfo* prop = object.ClassInfo().FindProperty(name);
  if (prop == nullptr || prop->Kind() != TPropKind::pkString) return std::string();
  return prop->GetString(object);
}

}  // namespace

TComponent* ObjectLinkOf(const TPersistent* link) {
  if (link == nullptr) return nullptr;
  const TPropInfo* prop = link->ClassInfo().FindProperty("ObjectLink");
  if (prop == nullptr || prop->Kind() != TPropKind::pkComponent) return nullptr;
  return prop->GetComponent(*link);
}

TMBY_DEFINE_PATH_KIND_TEXTS(TpsObjectLink, "psObjectLink",
                            "Path of the file or file group in the ObjectLink property",
                            "Path of the file or file group in the ObjectLink property")

void TpsObjectLink::CheckUsableFor(TPersistent* object) {
  if (object == nullptr || !object->ClassInfo().InheritsFrom(kShellLinkClass)) {
    throw IEPathSpecifier("%s must be a %s to use the %s path specifier",
                          {SpecifierObjectName(object), kShellLinkClass, "psObjectLink"});
  }
  if (ObjectLinkOf(object) == nullptr) {
    throw IEPathSpecifier("Cannot use ddObjectLink for %s unless you assign a value to ObjectLink",
                          {SpecifierObjectName(object)});
  }
}

std::string TpsObjectLink::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  TComponent* linked = ObjectLinkOf(object);
  auto* container = dynamic_cast<IInstallPlace*>(linked);
  if (container == nullptr) return std::string();
  if (linked->ClassInfo().InheritsFrom("TCustomInstallFile")) {
    // The file's installed path: its target directory and its name on the target machine.
    return ExcludeTrailingBackslash(IncludeTrailingBackslash(container->PlaceDestPath()) +
                                    StringProperty(*linked, "DestName"));
  }
  return ExcludeTrailingBackslash(container->PlaceDestPath());
}

}  // namespace tmby
