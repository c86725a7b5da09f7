// The nodes of the install definition tree. Every TInstallContainer holds an ordered list of
// helper components (the objects that name it as their Container), kept sorted by ComponentType;
// every TInstallObject also sits inside a container. The install walks the tree from the root:
// each object is filtered by the running Windows, Include and the selected install type, tells its
// helper components (the dialog managers) what it is doing, and installs its helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/component.h"
#include "base/install_types.h"
#include "model/install_codes.h"
#include "paths/install_roots.h"

namespace tmby {

class TCustomPathSpecifier;
class TInstallContainer;
class TInstallObject;
class TFileContainer;

using TInstallContainerNotifyEvent = TEvent<TInstallContainer*>;
using TAfterInstallObjectsEvent = TEvent<TInstallContainer*, bool>;

// The component types of the helper classes: they order every container's helpers and select
// the engine's install phases.
enum TComponentTypeRank : int {
  ctGroup = 500,
  ctFileContainer = 1000,
  ctFile = 2000,
  ctShellLinkGroup = 7000,
  ctShellLink = 8000,
  ctDialog = 9000,
};

// The registry key below which every product's uninstall entry lies.
inline constexpr const char* kUninstallKeyRoot =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The list below a product's uninstall key that names the shared files whose SharedDLLs count
// the install added one to (kept or written, once per count), in the form of the "Files" list.
inline constexpr const char* kCountedList = "SharedDLLs";

class TInstallContainer : public TComponent, public IInstallPlace {
  TMBY_CLASS(TInstallContainer, TComponent)
 public:
  // Registers the container in the process-wide container list.
  explicit TInstallContainer(TComponent* owner);
  ~TInstallContainer() override;
  // Tells every other container that this one goes, then leaves the container list.
  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;

  // Installed by its container's InstallHelpers (true for every TFileRelated).
  bool InstallWithTree = false;
  // The install of this object has reached its helpers in this run.
  bool Processed = false;
  // To be registered for uninstall.
  bool Uninstall = true;
  // Stored only; no effect on ordering.
  int32_t Order = -1;
  TInstallContainerNotifyEvent OnAfterProcess;
  TInstallContainerNotifyEvent OnBeforeProcess;
  // Fired after OnBeforeProcess when the object is included.
  TInstallContainerNotifyEvent OnProcess;

  bool Include() const { return include_; }
  void SetInclude(bool value) { include_ = value; }
  TInstallType SelectedInstallType() const { return selectedInstallType_; }
  // Applies the type to every helper, in list order, then to this object.
  void SetSelectedInstallType(TInstallType type);
  OSSet OS() const { return os_; }
  void SetOS(OSSet value) { os_ = value; }
  TInstallTypeSet InstallTypes() const { return installTypes_; }
  // The empty set stores [itFull].
  void SetInstallTypes(TInstallTypeSet value);
  const std::string& DestDir() const { return destDir_; }
  TCustomPathSpecifier* DestDirType() const { return destDirType_; }

  // --- Virtual operations, in slot order.
  // The number of helpers that are file containers, and the index-th of them.
  virtual int FileContainerCount() const;
  virtual TFileContainer* FileContainers(int index) const;
  virtual void SetDestDir(const std::string& value);
  // Outside loading, a specifier first checks that it can serve this object.
  virtual void SetDestDirType(TCustomPathSpecifier* value);
  // `container` is being destroyed: forget it.
  virtual void ContainerDestroyed(TInstallContainer* container);
  // Broadcasts hnShowStatusText with a TMessageParameter holding the text.
  virtual void ShowStatusText(const std::string& text);
  // An upward information event; the base does nothing.
  virtual void DoInformationEventControl(TPersistent* sender, int code, TPersistent* object);
  // A helper notification from this object's container; the base does nothing.
  virtual void HelperEvent(TPersistent* sender, int code, TPersistent* object);
  // DestDir expanded from DestDirType, without trailing backslash.
  virtual std::string GetDestPath();
  // The rank of the class; IEInstallContainer "Class must declare a registered type" for the
  // abstract classes.
  virtual int ComponentType() const;
  // Inserts a helper before the first one of the same or a higher type. Raises
  // IEInstallContainer for null and for an object that would close a cycle.
  virtual void AddHelper(TInstallObject* object);
  // Installs this object: OS test, events, inclusion and install-type test, helpers, uninstall
  // registration. An EAbort from a handler ends it quietly.
  virtual void Install();
  virtual void InstallHelpers();
  virtual bool IsIncluded() const;
  // Completes the object's install after a restart; the base does nothing.
  virtual void AfterReboot();
  virtual void RemoveHelper(TInstallObject* object);
  // Given the product's uninstall registry key; the base does nothing.
  virtual void RegisterUninstall(const std::string& keyPath);

  // --- Helpers.
  int HelperCount() const { return static_cast<int>(helpers_.size()); }
  // IEInstallContainer for an index outside the list.
  TInstallObject* Helpers(int index) const;
  int HelperCountOf(const TClassInfo& cls) const;
  // The index-th helper that is an instance of `cls`.
  TInstallObject* Comp(int index, const TClassInfo& cls) const;
  // Frees every helper of the class, the last first.
  void FreeHelpersOf(const TClassInfo& cls);
  // The refusals of AddHelper: IEInstallContainer for null, for this container itself and for
  // any of its ancestors.
  void CheckHelper(const TInstallObject* object) const;
  // Calls HelperEvent on every helper of type ctFile or higher, in list order.
  void Broadcast(TPersistent* sender, int code, TPersistent* object);
  void ClearStatusText();

  // Called by a design environment right after it created the object interactively (C++ runs no
  // overrides inside constructors, so the designer calls this step itself). The base does
  // nothing.
  virtual void DesignCreated() {}

  // IInstallPlace: how the path kinds see this node.
  bool IsPlacedObject() const override { return false; }
  IInstallPlace* PlaceContainer() const override { return nullptr; }
  std::string PlaceDestPath() override { return GetDestPath(); }
  bool PlaceCarriesArchive() const override { return false; }
  std::string PlaceArchivePath() override { return std::string(); }
  TPlaceKind PlaceKind() const override { return pkOther; }
  std::string PlaceLabel() const override { return Name(); }

 protected:
  // The expansion of a specifier and a relative path for `object`: the specifier's path with
  // the relative part appended, one trailing backslash removed; the relative part alone without
  // specifier.
  static std::string ExpandPath(TCustomPathSpecifier* specifier, TPersistent* object,
                                const std::string& relative);
  // Stores DestDirType without checks or flags.
  void StoreDestDirType(TCustomPathSpecifier* value);

  bool destDirTypeAssigned_ = false;
  bool destDirTypeDefaultPending_ = false;

 private:
  void Detach();

  std::vector<TInstallObject*> helpers_;
  bool include_ = true;
  TInstallType selectedInstallType_ = itFull;
  OSSet os_{oswin95, oswinNT, oswin2K, oswin98, oswinME, oswinXP};
  TInstallTypeSet installTypes_{itFull, itDefault, itCompact};
  std::string destDir_;
  TCustomPathSpecifier* destDirType_ = nullptr;
  bool detached_ = false;
};

class TInstallObject : public TInstallContainer {
  TMBY_CLASS(TInstallObject, TInstallContainer)
 public:
  explicit TInstallObject(TComponent* owner);
  void BeforeDestruction() override;

  TInstallContainer* Container() const { return container_; }
  // Links the object into `value`'s helpers (unchanged when AddHelper refuses) and leaves the
  // old container. Outside loading the destination defaults follow.
  virtual void SetContainer(TInstallContainer* value);

  void ContainerDestroyed(TInstallContainer* container) override;
  // Proceeds only when no install run is under way, or the object has no container, or its
  // container has been processed.
  void Install() override;
  // Undoes the design defaults that were not confirmed.
  void Loaded() override;
  // Places the object under the install root with the container defaults, awaiting
  // confirmation.
  void DesignCreated() override;

  bool IsPlacedObject() const override { return true; }
  IInstallPlace* PlaceContainer() const override { return container_; }

 protected:
  // The linking step of SetContainer, without flags or defaults.
  void LinkContainer(TInstallContainer* value);
  // The install root, unless it is being destroyed.
  static TInstallContainer* LiveRoot();

  bool containerAssigned_ = false;
  bool containerDefaultPending_ = false;

 private:
  TInstallContainer* container_ = nullptr;
};

}  // namespace tmby
