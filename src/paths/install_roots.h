// The standard kinds bound to the install tree: the destination and the archive of the enclosing
// container, the main install directory, the directory setup was started from, and the main
// archive. They need the object they expand for, and (all but the container kinds) the install
// root of the process.
#pragma once

#include <string>

#include "paths/root_kind.h"

namespace tmby {

// A node of the install tree as the install-bound kinds see it. The install objects live on a
// higher floor and implement this; the kinds never see their classes.
class IInstallPlace {
 public:
  enum TPlaceKind { pkInstallRoot, pkGroup, pkDirectory, pkOther };
  virtual ~IInstallPlace() = default;
  // True for an install object, which sits in a container; false for a bare container.
  virtual bool IsPlacedObject() const = 0;
  // The container the object sits in; null when it has none.
  virtual IInstallPlace* PlaceContainer() const = 0;
  // The expanded destination directory.
  virtual std::string PlaceDestPath() = 0;
  // True when the node carries an archive (a file-related object).
  virtual bool PlaceCarriesArchive() const = 0;
  // The expanded archive location; empty for a node that carries none.
  virtual std::string PlaceArchivePath() = 0;
  virtual TPlaceKind PlaceKind() const = 0;
  // The author's label of a group or directory; the component name of any other node.
  virtual std::string PlaceLabel() const = 0;
};

// What the install-bound kinds ask of the install root: its place in the tree, and where setup
// was started from and how. The engine's install root implements it; a root that keeps the
// defaults counts as started from an unknown directory without -e.
class IInstallPathSource {
 public:
  virtual ~IInstallPathSource() = default;
  // The root as a node of the tree.
  virtual IInstallPlace* RootPlace() = 0;
  // The directory setup was started from (the -s value, else the program's own directory).
  virtual std::string SourceDirectory() const { return std::string(); }
  // Setup was started by the self-extractor (-e).
  virtual bool SelfExtracting() const { return false; }
  // The text given with -e: the name of the self-extracting executable.
  virtual std::string SelfExtractorName() const { return std::string(); }
};

// The install root as the specifiers see it: null pointers when there is none.
struct TInstallRootView {
  bool Exists = false;            // a TInstall exists in the program
  IInstallPlace* Root = nullptr;  // the install root as a node of the tree
  IInstallPathSource* Source = nullptr;
};
TInstallRootView CurrentInstallRoot();

// The name of an object for messages: a component's name, another object's class name, "nil".
std::string SpecifierObjectName(const TPersistent* object);

// The destination of the object's Container. The object must be a TInstallObject with a
// Container.
class TpsContainerDestDir : public TStandardPathSpecifier {
  TMBY_CLASS(TpsContainerDestDir, TStandardPathSpecifier)
 public:
  explicit TpsContainerDestDir(TComponent* owner);
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  // "Main installation directory", "Path of the <...> group" or "Path of the <...> directory"
  // after the container; the plain description when the check fails.
  std::string GetDescriptionFor(TPersistent* object) override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
  std::string GetShortCaptionFor(TPersistent* object) override;
};

// The archive location of the object's Container, which must be a TFileRelated.
class TpsContainerArchiveFile : public TStandardPathSpecifier {
  TMBY_CLASS(TpsContainerArchiveFile, TStandardPathSpecifier)
 public:
  explicit TpsContainerArchiveFile(TComponent* owner);
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
};

// The install root's destination; not for the root itself.
class TpsMainInstall : public TStandardPathSpecifier {
  TMBY_CLASS(TpsMainInstall, TStandardPathSpecifier)
 public:
  explicit TpsMainInstall(TComponent* owner);
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
};

// The directory setup was started from.
class TpsInstallSource : public TStandardPathSpecifier {
  TMBY_CLASS(TpsInstallSource, TStandardPathSpecifier)
 public:
  explicit TpsInstallSource(TComponent* owner);
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
};

// The main archive's file (not directory): the self-extracting executable under -e, else
// "files.1" in ArchiveDirectory or in the source directory.
class TpsMainArchiveFile : public TStandardPathSpecifier {
  TMBY_CLASS(TpsMainArchiveFile, TStandardPathSpecifier)
 public:
  explicit TpsMainArchiveFile(TComponent* owner);
  // Where the main archive is looked for; set when the user supplies a disk elsewhere.
  std::string ArchiveDirectory;
  void CheckUsableFor(TPersistent* object) override;
  std::string GetDescription() override;
  std::string GetPath(TPersistent* object) override;
  std::string GetShortCaption() override;
};

}  // namespace tmby
