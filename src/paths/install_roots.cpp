#include "paths/install_roots.h"

#include "base/path_text.h"
#include "paths/path_root_base.h"

namespace tmby {

namespace {

const char kMustBeA[] = "%s must be a %s to use the %s path specifier";

// The object as an install object with a container, or the exception of a misuse. `kind` names
// the specifier in the message about a missing container ("ddContainerDestDir").
IInstallPlace* ContainerOf(TPersistent* object, const std::string& specifierName,
                           const char* missingContainer) {
  auto* installObject = dynamic_cast<IInstallPlace*>(object);
  if (installObject == nullptr || !installObject->IsPlacedObject()) {
    throw IEPathSpecifier(kMustBeA, {SpecifierObjectName(object), "TInstallObject", specifierName});
  }
  IInstallPlace* container = installObject->PlaceContainer();
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

// How TpsContainerDestDir names the container of an object in the authoring tools.
IInstallPlace::TPlaceKind KindOf(const IInstallPlace* container, std::string& label) {
  if (container == CurrentInstallRoot().Root) return IInstallPlace::pkInstallRoot;
  label = container->PlaceLabel();
  return container->PlaceKind();
}

// The container of `object` when `specifier` can serve it, else null (the check's exception is
// absorbed: the authoring texts fall back to the plain description).
IInstallPlace* UsableContainer(TCustomPathSpecifier& specifier, TPersistent* object) {
  try {
    specifier.CheckUsableFor(object);
  } catch (const Exception&) {
    return nullptr;
  }
  return dynamic_cast<IInstallPlace*>(object)->PlaceContainer();
}

}  // namespace

TInstallRootView CurrentInstallRoot() {
  TInstallRootView view;
  IInstallPathSource* root = PathSpecifiers().InstallRoot;
  if (root == nullptr) return view;
  view.Exists = true;
  view.Root = root->RootPlace();
  view.Source = root;
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
  IInstallPlace* container = UsableContainer(*this, object);
  if (container == nullptr) return GetDescription();
  std::string label;
  switch (KindOf(container, label)) {
    case IInstallPlace::pkInstallRoot: return "Main installation directory";
    case IInstallPlace::pkDirectory: return FormatText("Path of the <%s> directory", {label});
    case IInstallPlace::pkGroup:
    case IInstallPlace::pkOther: break;
  }
  return FormatText("Path of the <%s> group", {label});
}

std::string TpsContainerDestDir::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  IInstallPlace* container = dynamic_cast<IInstallPlace*>(object)->PlaceContainer();
  return ExcludeTrailingBackslash(container->PlaceDestPath());
}

std::string TpsContainerDestDir::GetShortCaptionFor(TPersistent* object) {
  IInstallPlace* container = UsableContainer(*this, object);
  if (container == nullptr) return GetDescription();
  std::string label;
  if (KindOf(container, label) == IInstallPlace::pkInstallRoot) return "Main installation directory";
  return "<" + label + ">";
}

// ---------------------------------------------------------------------------------------------
// TpsContainerArchiveFile

TMBY_DEFINE_PATH_KIND_TEXTS(TpsContainerArchiveFile, "psContainerArchiveFile",
                            "Path to the archive file of the container", "Container archive file")

void TpsContainerArchiveFile::CheckUsableFor(TPersistent* object) {
  IInstallPlace* container =
      ContainerOf(object, SpecifierName,
                  "Cannot use ddContainerArchiveFile for %s unless you assign a Container");
  if (!container->PlaceCarriesArchive()) {
    throw IEPathSpecifier(
        "Cannot use the ddContainerArchiveFile path specifier for %s because the Container is "
        "not a TFileRelated descendant",
        {SpecifierObjectName(object)});
  }
}

std::string TpsContainerArchiveFile::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  IInstallPlace* container = dynamic_cast<IInstallPlace*>(object)->PlaceContainer();
  return ExcludeTrailingBackslash(container->PlaceArchivePath());
}

// ---------------------------------------------------------------------------------------------
// TpsMainInstall

TMBY_DEFINE_PATH_KIND_TEXTS(TpsMainInstall, "psMainInstall", "Main installation directory",
                            "Main install dir")

void TpsMainInstall::CheckUsableFor(TPersistent* object) {
  const TInstallRootView install = RequireInstall(object);
  if (object != nullptr && dynamic_cast<IInstallPlace*>(object) == install.Root) {
    throw IEPathSpecifier(
        "Cannot use the ddMainInstallDir path specifier for a TInstall component");
  }
}

std::string TpsMainInstall::GetPath(TPersistent* object) {
  CheckUsableFor(object);
  IInstallPlace* root = CurrentInstallRoot().Root;
  return root == nullptr ? std::string() : ExcludeTrailingBackslash(root->PlaceDestPath());
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
