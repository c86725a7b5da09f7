// The process-wide state of the install model: the registries of containers and files, the
// install state key, the name clash counter and the link to the install's root. One instance
// (InstallModel()); tests reset it between cases.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "archive/tmby_compress.h"
#include "base/exceptions.h"
#include "base/install_types.h"
#include "paths/install_roots.h"

namespace tmby {

class TInstallContainer;
class TFileContainer;
class TCustomInstallFile;

// A non-owning list in creation order. Adding null raises Ex with `blankMessage`.
template <class T>
class TPointerList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Null for an index outside the list.
  T* Items(int index) const {
    return index < 0 || index >= Count() ? nullptr : items_[static_cast<size_t>(index)];
  }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i] == item) return static_cast<int>(i);
    }
    return -1;
  }
  // Removes the entry; absent entries are ignored. An object enters its list once, when it is
  // made, and objects go the last made first: the search starts at the end, so that tearing down
  // a large tree does not walk and shift the whole list for each object.
  void Remove(const T* item) {
    for (size_t i = items_.size(); i-- > 0;) {
      if (items_[i] == item) {
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
    }
  }
  void Clear() { items_.clear(); }

 protected:
  void Append(T* item) { items_.push_back(item); }

 private:
  std::vector<T*> items_;
};

class TInstallContainerList : public TPointerList<TInstallContainer> {
 public:
  // Raises IEContainerList "Cannot add a blank entry to the TInstallContainerList object".
  void Add(TInstallContainer* container);
};

class TCustomInstallFileList : public TPointerList<TCustomInstallFile> {
 public:
  // Raises IECustomInstallFileList "Cannot add a blank entry to the TCustomInstallFileList
  // object".
  void Add(TCustomInstallFile* file);
};

// The values of the product's Add/Remove Programs entry, as the install root's settings hold
// them (its Information, win2KExtendedInformation and registration information).
struct TUninstallEntry {
  std::string ProductName;
  std::string Version;
  std::string CompanyName;
  std::string Comments;
  std::string Contact;
  std::string HelpLink;
  std::string HelpTelephone;
  std::string ProductID;
  std::string URLInfoAbout;
  std::string URLUpdateInfo;
  TCustomInstallFile* DisplayIcon = nullptr;
  TCustomInstallFile* ReadMe = nullptr;
  std::string RegCompany;
  std::string RegOwner;
};

// What the install objects need of the one install root of the process (the engine's
// TCustomInstall implements it and registers itself with InstallModel().SetCurrentInstall).
class IInstallRoot : public IInstallPathSource {
 public:
  // The root as a file container.
  virtual TFileContainer* RootContainer() = 0;
  IInstallPlace* RootPlace() override;
  // An install run is in progress.
  virtual bool InstallRunning() const = 0;
  // The product name that names the uninstall entry.
  virtual std::string UninstallProductName() const = 0;
  // Where the product files come from.
  virtual TDistributeType DistributeType() const = 0;
  // A file waits for the restart: the install ends with a reboot.
  virtual void RequestReboot() = 0;
  // Records an item the continuation after the restart must finish, under the install's state
  // key: code 0 a component whose AfterReboot must run, code 1 a file to delete.
  virtual void AddUnfinished(const std::string& item, int code) = 0;
  // The user pressed Cancel: true when the install is to end (the root may ask first).
  virtual bool ConfirmUserAbort() { return true; }
  // A restart ends the install; the reboot page shows and changes it.
  virtual bool RebootPending() const { return false; }
  virtual void SetRebootPending(bool) {}
  // The picture of the dialogs' left band (a stored bitmap), empty when there is none.
  virtual TBytes DialogThemePicture() const { return {}; }
  // The values of the product's Add/Remove Programs entry.
  virtual TUninstallEntry UninstallEntry() const = 0;
  // The uninstaller component of the definition goes: a build adds no uninstaller of its own.
  virtual void UninstallerRemoved() = 0;
};

// Takes install objects for another purpose (a reflecting tool); the kit registers none.
class ITmbyReflector {
 public:
  virtual ~ITmbyReflector() = default;
  virtual void Reflect(TPersistent* reflectee) = 0;
};

struct TInstallModel {
  TInstallContainerList Containers;  // every install container in existence
  TCustomInstallFileList Files;      // every file in existence
  TCustomInstallFileList Deferred;   // files whose server registration is to be retried
  // The install run turns it on: a file whose server registration fails goes on Deferred instead
  // of failing. Off outside a run, where a failed registration is fatal.
  bool DeferRegistrations = false;
  // The identifier table: the UniqueIDs taken, and whether a loaded definition settled it.
  std::array<bool, 2000> UsedIds{};
  bool IdsLoaded = false;
  std::string InstallStateKey;  // the install's state key, empty until known
  int NameClashCounter = 0;
  ITmbyReflector* Reflector = nullptr;
  // Where the kit itself is installed, as a design environment knows it; empty at run time.
  std::string KitDirectory;
  // The one install root of the process, or null. The path kinds see it too.
  IInstallRoot* CurrentInstall() const;
  void SetCurrentInstall(IInstallRoot* root);
  // The archive component shared by every member of the main archive; created by the
  // start-up.
  std::unique_ptr<TTmbyCompress> SharedArchive;

  int StartupCount = 0;  // start-ups not yet matched by a shut-down; kept by Reset

  // The root container, or null when no install root exists.
  TFileContainer* Root() const;
  // Forgets everything (tests, and the last shut-down).
  void Reset();
};
TInstallModel& InstallModel();

// Start-up and shut-down of the model's process-wide state, reference counted: only the
// outermost pair acts (the first start-up resets the state and creates the shared archive
// component, the last shut-down resets it again).
void InstallModelStartup();
void InstallModelShutdown();

// The registry key below InstallStateKey that holds the records of one component.
std::string ComponentStateKey(const std::string& componentName);

}  // namespace tmby
