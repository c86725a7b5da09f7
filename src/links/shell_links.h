// The product's entries in the Start menu: its one program folder (TMainLinkGroup, below the
// Programs folder) and the shortcuts inside it (TInstallMainLink), each pointing at an installed
// object of the definition, at any other place, or at a web or FTP address (an internet
// shortcut). Folders and links are install objects that the run installs after all files: first
// every link folder, then every link.
#pragma once

#include <cstdint>
#include <string>

#include "model/install_container.h"
#include "model/install_model.h"

namespace tmby {

class TCustomInstallShellLink;
class TInstallMainLink;
class TMainLinkGroup;

// How a link is written: the shell's link object on the systems that have one (mtAutoDetect), or
// always (mtShellLinkInterface).
enum TMethodType { mtAutoDetect, mtShellLinkInterface };
TMBY_ENUM_NAMES(TMethodType, mtAutoDetect, mtShellLinkInterface)

class TShellLinkList : public TPointerList<TCustomInstallShellLink> {
 public:
  // Raises IEInstallShellLinkList "Cannot add a blank entry to the shell link list".
  void Add(TCustomInstallShellLink* link);
};

// The process-wide state of the links: every link, every main link, the one program folder.
// Tests reset it between cases.
struct TShellLinkModel {
  TShellLinkList Links;
  TShellLinkList MainLinks;
  TMainLinkGroup* MainLinkGroup = nullptr;
  void Reset();
};
TShellLinkModel& ShellLinkModel();

// A folder of links. Not installed with its container.
class TCustomShellLinkGroup : public TInstallObject {
  TMBY_CLASS(TCustomShellLinkGroup, TInstallObject)
 public:
  explicit TCustomShellLinkGroup(TComponent* owner) : TInstallObject(owner) {}
  int ComponentType() const override { return ctShellLinkGroup; }
  // Creates the folder with every missing parent, then installs the helpers.
  void InstallHelpers() override;
  // A folder whose container goes, goes with it.
  void ContainerDestroyed(TInstallContainer* container) override;
};

// The product's one program folder, below the Programs folder of the Start menu.
class TMainLinkGroup : public TCustomShellLinkGroup {
  TMBY_CLASS(TMainLinkGroup, TCustomShellLinkGroup)
 public:
  // Raises IEShellLinkGroup "You can only have one TMainLinkGroup component in your project".
  // DestDir starts as "\" and the product name ("\MainFolderName" without an install root).
  explicit TMainLinkGroup(TComponent* owner);
  ~TMainLinkGroup() override;
  void BeforeDestruction() override;
  // Always the Programs folder of the Start menu: other values have no effect.
  void SetDestDirType(TCustomPathSpecifier* value) override;
  // Keeps DestDir, which names the folder, where an install object would start afresh.
  void SetContainer(TInstallContainer* value) override;
  // Placed under the install root, with its own destination.
  void DesignCreated() override;
};

class TCustomInstallShellLink : public TInstallObject {
  TMBY_CLASS(TCustomInstallShellLink, TInstallObject)
 public:
  // On a form, makes sure the form holds a psObjectLink specifier; joins the list of links.
  explicit TCustomInstallShellLink(TComponent* owner);
  ~TCustomInstallShellLink() override;
  void BeforeDestruction() override;
  void Notification(TComponent* component, TOperation operation) override;
  int ComponentType() const override { return ctShellLink; }

  uint16_t HotKey() const { return hotKey_; }
  void SetHotKey(uint16_t value) { hotKey_ = value; }
  TMethodType Method() const { return method_; }
  void SetMethod(TMethodType value) { method_ = value; }
  const std::string& Parameters() const { return parameters_; }
  void SetParameters(const std::string& value) { parameters_ = value; }

  const std::string& LinkName() const { return linkName_; }
  // Replaces the characters that no file name may hold by "_", then keeps the extension ".LNK"
  // or ".URL" (see the definition in the .cpp).
  void SetLinkName(const std::string& value);
  TInstallContainer* ObjectLink() const { return objectLink_; }
  // Points the link at an install object and names the link after it.
  void SetObjectLink(TInstallContainer* value);
  const std::string& ObjectLocation() const { return objectLocation_; }
  // A place or an address; names a nameless link after it.
  void SetObjectLocation(const std::string& value);
  TCustomPathSpecifier* ObjectLocationType() const { return objectLocationType_; }
  void SetObjectLocationType(TCustomPathSpecifier* value);

  // The place the link opens: ObjectLocationType's path for this link followed by
  // ObjectLocation; ObjectLocation alone without a specifier.
  std::string GetTargetPath();
  // The link file: the link's folder, a backslash and LinkName.
  std::string GetLinkPath();

  // Makes the link. A link to an object this run left out, or one this system cannot make, is
  // skipped quietly: the install goes on as for any link, without the link file.
  void InstallHelpers() override;
  void ContainerDestroyed(TInstallContainer* container) override;
  // Appends the link file to the "Files" list of the product's uninstall key (not for a link
  // that was skipped).
  void RegisterUninstall(const std::string& keyPath) override;

 private:
  void WriteInternetShortcut();
  void WriteShellLink();
  // Forgets the linked object and frees the link (when something owns it); nothing of the link
  // may be touched after it.
  void Orphan();

  uint16_t hotKey_ = 0;
  std::string linkName_;
  TMethodType method_ = mtAutoDetect;
  TInstallContainer* objectLink_ = nullptr;
  std::string objectLocation_;
  TCustomPathSpecifier* objectLocationType_ = nullptr;
  std::string parameters_;
  bool skipped_ = false;  // the last install made no link file
};

// A shortcut in the product's program folder.
class TInstallMainLink : public TCustomInstallShellLink {
  TMBY_CLASS(TInstallMainLink, TCustomInstallShellLink)
 public:
  // Raises IEInstallShellLink without a TMainLinkGroup; joins it and the list of main links.
  explicit TInstallMainLink(TComponent* owner);
  ~TInstallMainLink() override;
  void BeforeDestruction() override;
  // Only the program folder may hold it (IEInstallShellLink otherwise).
  void SetContainer(TInstallContainer* value) override;
  // Always its folder's destination: other values have no effect.
  void SetDestDirType(TCustomPathSpecifier* value) override;
  // Its place is fixed at construction.
  void DesignCreated() override {}
};

// Expands the meta variables of a link's text ("%i\readme.txt"). `link` may be null, in which
// case %a and %c fail.
std::string ExpandMetaVariables(const std::string& text, TCustomInstallShellLink* link);

// The debug listing of the links the install made: one line per link file there is,
// "path -> target arguments", or "path -> address" for an internet shortcut. The test flavour of
// the setup program writes it when TMBY_LINKS names a file.
std::string ListInstalledLinks();

// Registers the link classes for the definition reader.
void RegisterShellLinkClasses(TClassRegistry& registry);

}  // namespace tmby
