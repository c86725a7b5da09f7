#include "paths/install_roots.h"

#include "base/path_text.h"
#include "model/file_container.h"
#include "model/install_group.h"
#include "model/install_model.h"

namespace tmby {

namespace {

const char kMustBeA[] = "%s must be a %s to use the %s path specifier";

// The object as an install object with a container, or the exception of a misuse. `kind` names
// the specifier in the message about a missing container ("ddContainerDestDir").
TInstallContainer* ContainerOf(TPersistent* object, const std::string& specifierName,
                               const char* missingContainer) {
  auto* installObject = dynamic_cast<TInstallObject*>(object);
  if (installObject == nullptr) {
    throw IEPathSpecifier(kMustBeA, {SpecifierObjectName(object), "TInstallObject", specifierName});
  }
  TInstallContainer* container = installObject->Container();
  if (container == nullptr) {
    throw IEPathSpecifier(missingContainer, {SpecifierObjectName(object)});
  }
  return container;
}

TInstallRootView RequireInstall(TPersistent* object) {
  TInstallRootView install = CurrentInstallRoot();
  if (!install.Exists) {
    throw IEPathSpecifier(
        "There is no TInstall component so the path specifier could not be expanded for %s",
        {SpecifierObjectName(object)});
  }
  return install;
}

// The directory setup was started from, without a trailing backslash.
std::string SourceDirectoryOf(const TInstallRootView& install) {
  if (install.Source == nullptr) return std::string();
  return ExcludeTrailingBackslash(install.Source->SourceDirectory());
}

bool IsInstallRoot(const TInstallContainer* container) {
  if (container == nullptr) return false;
  const TInstallRootView install = CurrentInstallRoot();
  return container == install.Root || container->ClassInfo().InheritsFrom("TCustomInstall");
}

// How TpsContainerDestDir names the container of an object in the authoring tools.
enum class ContainerKind { Install, Group, Directory, Other };

ContainerKind KindOf(const TInstallContainer* container, std::string& label) {
  if (IsInstallRoot(container)) return ContainerKind::Install;
  if (const auto* group = dynamic_cast<const TCustomInstallGroup*>(container)) {
    label = group->Description;
    return ContainerKind::Group;
  }
  if (const auto* files = dynamic_cast<const TFileContainer*>(container)) {
    label = files->Description;
    return ContainerKind::Directory;
  }
  label = container->Name();
  return ContainerKind::Other;
}

// The container of `object` when `specifier` can serve it, else null (the check's exception is
// absorbed: the authoring texts fall back to the plain description).
TInstallContainer* UsableContainer(TCustomPathSpecifier& specifier, TPersistent* object) {
  try {
    specifier.CheckUsableFor(object);
  } catch (const Exception&) {
    return nullptr;
  }
  return dynamic_cast<TInstallObject*>(object)->Container();
}

}  // namespace

TInstallRootView CurrentInstallRoot() {
  TInstallRootView view;
  IInstallRoot* root = InstallModel().CurrentInstall;
  if (root == nullptr) return view;
  view.Exists = true;
  view.Root = root->RootContainer();
  view.Source = dynamic_cast<IInstallPathSource*>(root);
  return view;
}

std::string SpecifierObjectName(const TPersistent* object) {
  if (object == nullptr) return "nil";
  if (const auto* component = dynamic_cast<const TComponent*>(object)) return component->Name();
  return object->ClassName();
}

// ---------------------------------------------------------------------------------------------
// TpsContainerDestDir

TMBY_DEFINE_PATH_KIND_TEXTS(TpsContainerDestDir, "psContainerDestDir",
                            "Path of the group (container)", "Path of the group (container)")

void TpsContainerDestDir::CheckUsableFor(TPersistent* object) {
  ContainerOf(object, SpecifierName,
              "Cannot use ddContainerDestDir for %s unless you assign a Container");
}

std::string TpsContainerDestDir::GetDescriptionFor(TPersistent* object) {
  TInstallContainer* container = UsableContainer(*this, object);
  if (container == nullptr) return GetDescription();
  std::string label;
  switch (KindOf(container, label)) {
    case ContainerKind::Install: return "Main installation directory";
    case ContainerKind::Directory: return FormatText("Path of the <%s> directory", {label});
    case ContainerKind::Group:
    case ContainerKind::Other: break;
  }
  return FormatText("Path of the <%s> group", {label});
}

std::string TpsContainerDestDir::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  TInstallContainer* container = dynamic_cast<TInstallObject*>(object)->Container();
  return ExcludeTrailingBackslash(container->GetDestPath());
}

std::string TpsContainerDestDir::GetShortCaptionFor(TPersistent* object) {
  TInstallContainer* container = UsableContainer(*this, object);
  if (container == nullptr) return GetDescription();
  std::string label;
  if (KindOf(container, label) == ContainerKind::Install) return "Main installation directory";
  return "<" + label + ">";
}

// ---------------------------------------------------------------------------------------------
// TpsContainerArchiveFile

TMBY_DEFINE_PATH_KIND_TEXTS(TpsContainerArchiveFile, "psContainerArchiveFile",
                            "Path to the archive file of the container", "Container archive file")

void TpsContainerArchiveFile::CheckUsableFor(TPersistent* object) {
  TInstallContainer* container =
      ContainerOf(object, SpecifierName,
                  "Cannot use ddContainerArchiveFile for %s unless you assign a Container");
  if (dynamic_cast<TFileRelated*>(container) == nullptr) {
    throw IEPathSpecifier(
        "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is "
        "not a TFileRelated descendant",
        {SpecifierObjectName(object)});
  }
}

std::string TpsContainerArchiveFile::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  auto* container = dynamic_cast<TFileRelated*>(dynamic_cast<TInstallObject*>(object)->Container());
  return ExcludeTrailingBackslash(container->GetArchivePath());
}

// ---------------------------------------------------------------------------------------------
// TpsMainInstall

TMBY_DEFINE_PATH_KIND_TEXTS(TpsMainInstall, "psMainInstall", "Main installation directory",
                            "Main install dir")

void TpsMainInstall::CheckUsableFor(TPersistent* object) {
  const TInstallRootView install = RequireInstall(object);
  if (object != nullptr && object == static_cast<TPersistent*>(install.Root)) {
    throw IEPathSpecifier(
        "Cannot use the ddMainInstallDir path specifier for a TInstall component");
  }
}

std::string TpsMainInstall::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  TFileContainer* root = CurrentInstallRoot().Root;
  return root == nullptr ? std::string() : ExcludeTrailingBackslash(root->GetDestPath());
}

// ---------------------------------------------------------------------------------------------
// TpsInstallSource

TMBY_DEFINE_PATH_KIND_TEXTS(TpsInstallSource, "psInstallSource",
                            "Path from which the user ran the install", "Install source")

void TpsInstallSource::CheckUsableFor(TPersistent* object) { RequireInstall(object); }

std::string TpsInstallSource::GetPath(TPersistent* object) {
  return SourceDirectoryOf(RequireInstall(object));
}

// ---------------------------------------------------------------------------------------------
// TpsMainArchiveFile

TMBY_DEFINE_PATH_KIND_TEXTS(TpsMainArchiveFile, "psMainArchiveFile",
                            "Archive containing most or all non-internet installation files",
                            "Main archive")

void TpsMainArchiveFile::CheckUsableFor(TPersistent* object) { RequireInstall(object); }

std::string TpsMainArchiveFile::GetPath(TPersistent* object) {
  const TInstallRootView install = RequireInstall(object);
  if (install.Source != nullptr && install.Source->SelfExtracting()) {
    // The archive data lies inside the self-extracting executable.
    const std::string name = install.Source->SelfExtractorName();
    if (TrimText(name).empty()) {
      throw IEInstall(
          "You forgot to pass in the name of the self-extracting executable. Usage example: "
          "\"-eSetup.exe\"");
    }
    return SourceDirectoryOf(install) + "\\" + name;
  }
  if (TrimText(ArchiveDirectory).empty()) return SourceDirectoryOf(install) + "\\files.1";
  return IncludeTrailingBackslash(ArchiveDirectory) + "files.1";
}

}  // namespace tmby
