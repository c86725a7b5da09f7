#include "links/shell_links.h"

#include "archive/archive_format.h"
#include "base/exceptions.h"
#include "base/path_text.h"
#include "model/custom_install_file.h"
#include "model/install_group.h"
#include "model/uninstall_exe.h"
#include "paths/object_link_root.h"
#include "paths/path_root_base.h"
#include "platform/port.h"
#include "system/os_version.h"
#include "system/system_dirs.h"

namespace tmby {

namespace {

const char kNotInstalled[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was "
    "reported %s";
const char kNotInstalledCode[] =
    "The TCustomInstallShellLink %s name could not be installed. The following error was "
    "reported %s. Error code %d";

// The extension of a file name, with its dot; empty when the name has none.
std::string Extension(const std::string& name) {
  const std::string file = PathFileNamePart(name);
  const size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

// The characters that a link name set by the author may not hold.
bool Refused(char c) {
  return c == '"' || c == '*' || c == '/' || c == '<' || c == '>' || c == '?' || c == '|';
}

// A link file's name as it can be written: a name derived from a web address keeps its slashes
// (and an author's name may hold a backslash, a colon or a control character), none of which a
// file name may hold: a slash or backslash would put the link into some other folder (".."
// even outside the program folder), a colon would make it a stream of another file. Subfolders
// are what DestDir is for.
std::string FileNameOf(std::string name) {
  for (char& c : name) {
    if (Refused(c) || c == '\\' || c == ':' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
  }
  return name;
}

// The translated text of a COM result of the link object.
std::string ComResultText(int32_t code) {
  namespace hr = platform::hresult;
  switch (code) {
    case 0: return std::string();
    case hr::kUnexpected: return LocalizeMessage("Indicates an unexpected error occurred");
    case hr::kNoAggregation:
      return LocalizeMessage("Indicates this class cannot be created as part of an aggregate");
    case hr::kClassNotRegistered:
      return LocalizeMessage(
          "Indicates that a specified class is not registered in the registration database");
    case hr::kOutOfMemory: return LocalizeMessage("Out of memory");
    case hr::kInvalidArg: return LocalizeMessage("Indicates one or more arguments are invalid");
    default: return platform::Port().System().ErrorText(static_cast<uint32_t>(code));
  }
}

// The systems on which the shell has a link object.
bool HasShellLinkObject() {
  const TOSVerType os = GetOSVersion();
  return OSSet{oswin95, oswinNT, oswin98, oswinME, oswin2K, oswinXP}.Contains(os);
}

TComponent* OnlyMainLinkGroup(TComponent* owner) {
  if (ShellLinkModel().MainLinkGroup != nullptr) {
    throw IEShellLinkGroup("You can only have one TMainLinkGroup component in your project");
  }
  return owner;
}

TComponent* NeedsMainLinkGroup(TComponent* owner) {
  if (ShellLinkModel().MainLinkGroup == nullptr) {
    throw IEInstallShellLink(
        "To create a TInstallMainLink you must first have a TMainLinkGroup component in your "
        "project");
  }
  return owner;
}

// A link on a form finds the form's psObjectLink specifier, which the first link brings.
void EnsureObjectLinkSpecifier(TComponent* owner) {
  if (owner == nullptr || !owner->ClassInfo().InheritsFrom("TCustomForm")) return;
  if (PathSpecifiers().Standard.Lookup("TpsObjectLink") != nullptr) return;
  auto* specifier = new TpsObjectLink(owner);
  try {
    specifier->SetName(specifier->SpecifierName);
  } catch (...) {
    TComponent::Free(specifier);
    throw;
  }
}

// Creates a folder with every missing parent, or raises the link's plain failure.
void CreateFolder(const std::string& folder, const std::string& linkName) {
  platform::IFileSystem& files = platform::Port().Files();
  if (folder.empty() || files.CreateDirectories(folder)) return;
  const uint32_t error = files.LastError();
  throw IEInstallShellLink(kNotInstalled,
                           {linkName, folder + ": " + platform::Port().System().ErrorText(error)});
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lists

void TShellLinkList::Add(TCustomInstallShellLink* link) {
  if (link == nullptr)
    throw IEInstallShellLinkList("Cannot add a blank entry to the shell link list");
  Append(link);
}

void TShellLinkModel::Reset() {
  Links.Clear();
  MainLinks.Clear();
  MainLinkGroup = nullptr;
}

TShellLinkModel& ShellLinkModel() {
  static TShellLinkModel model;
  return model;
}

// ---------------------------------------------------------------------------------------------
// TCustomShellLinkGroup, TMainLinkGroup

const TClassInfo& TCustomShellLinkGroup::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomShellLinkGroup, TInstallObject>("TCustomShellLinkGroup");
  return info;
}

void TCustomShellLinkGroup::InstallHelpers() {
  Broadcast(this, -991, nullptr);
  CreateFolder(GetDestPath(), Name());
  TInstallObject::InstallHelpers();
}

void TCustomShellLinkGroup::ContainerDestroyed(TInstallContainer* container) {
  const bool mine = container != nullptr && container == Container();
  TInstallObject::ContainerDestroyed(container);
  // Only an owner can free the folder; one that nothing owns belongs to whoever made it.
  if (mine && Owner() != nullptr && !Destroying()) TComponent::Free(this);
}

const TClassInfo& TMainLinkGroup::StaticClass() {
  using G = TMainLinkGroup;
  static const TClassInfo info =
      TClassInfo::Define<G, TCustomShellLinkGroup>("TMainLinkGroup", [](TClassBuilder<G>& c) {
        c.Reference("Container", &G::Container, &G::SetContainer);
        c.String("DestDir", &G::DestDir, &G::SetDestDir);
        c.Boolean("Include", &G::Include, &G::SetInclude, true);
        c.template Event<TInstallContainerNotifyEvent>("OnAfterProcess", &G::OnAfterProcess);
        c.template Event<TInstallContainerNotifyEvent>("OnBeforeProcess", &G::OnBeforeProcess);
      });
  return info;
}

TMainLinkGroup::TMainLinkGroup(TComponent* owner)
    : TCustomShellLinkGroup(OnlyMainLinkGroup(owner)) {
  ShellLinkModel().MainLinkGroup = this;
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsProgramMenu"));
  IInstallRoot* root = InstallModel().CurrentInstall();
  TInstallContainer::SetDestDir(
      "\\" + (root != nullptr ? root->UninstallProductName() : "MainFolderName"));
}

TMainLinkGroup::~TMainLinkGroup() {
  if (ShellLinkModel().MainLinkGroup == this) ShellLinkModel().MainLinkGroup = nullptr;
}

void TMainLinkGroup::BeforeDestruction() {
  if (ShellLinkModel().MainLinkGroup == this) ShellLinkModel().MainLinkGroup = nullptr;
  TCustomShellLinkGroup::BeforeDestruction();
}

void TMainLinkGroup::SetDestDirType(TCustomPathSpecifier*) {
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsProgramMenu"));
}

void TMainLinkGroup::SetContainer(TInstallContainer* value) {
  // The folder keeps its place below the Programs folder whatever holds it.
  const std::string destDir = DestDir();
  TCustomShellLinkGroup::SetContainer(value);
  TInstallContainer::SetDestDir(destDir);
}

void TMainLinkGroup::DesignCreated() {
  if (!DesignMode()) return;
  if (TInstallContainer* root = LiveRoot(); root != nullptr) LinkContainer(root);
}

// ---------------------------------------------------------------------------------------------
// TCustomInstallShellLink

const TClassInfo& TCustomInstallShellLink::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomInstallShellLink, TInstallObject>("TCustomInstallShellLink");
  return info;
}

TCustomInstallShellLink::TCustomInstallShellLink(TComponent* owner) : TInstallObject(owner) {
  EnsureObjectLinkSpecifier(owner);
  ShellLinkModel().Links.Add(this);
}

TCustomInstallShellLink::~TCustomInstallShellLink() { ShellLinkModel().Links.Remove(this); }

void TCustomInstallShellLink::BeforeDestruction() {
  ShellLinkModel().Links.Remove(this);
  TInstallObject::BeforeDestruction();
}

void TCustomInstallShellLink::Notification(TComponent* component, TOperation operation) {
  // Only the object's destruction orphans the link, not a move to another owner. The tree tells
  // a destroyed object's own container and helpers, not the links that point at it, so this is
  // where a link hears it.
  const bool objectGone = operation == opRemove && component != nullptr &&
                          component == objectLink_ && component->Destroying();
  if (operation == opRemove && component != nullptr) {
    if (component == objectLocationType_) objectLocationType_ = nullptr;
    if (component == objectLink_) objectLink_ = nullptr;
  }
  TInstallObject::Notification(component, operation);
  if (objectGone) Orphan();  // the last step: the link may be gone after it
}

void TCustomInstallShellLink::SetLinkName(const std::string& value) {
  if (IsLoading(*this)) {
    linkName_ = value;
    return;
  }
  const std::string oldExtension = UpperText(Extension(linkName_));
  std::string cleaned = value;
  for (char& c : cleaned) {
    if (Refused(c)) c = '_';
  }
  linkName_ = cleaned;
  if (TrimText(cleaned).empty()) return;
  const std::string extension = UpperText(Extension(cleaned));
  if (extension == ".URL") {
    // An internet shortcut opens an address, never an object of the install.
    SetObjectLink(nullptr);
  } else if (extension != ".LNK") {
    linkName_ = ReplaceExtension(cleaned, oldExtension.empty() ? ".LNK" : oldExtension);
  }
}

void TCustomInstallShellLink::SetObjectLink(TInstallContainer* value) {
  if (IsLoading(*this)) {
    SetReference(objectLink_, value);
    return;
  }
  if (value == nullptr) {
    objectLink_ = nullptr;
    objectLocationType_ = nullptr;
    return;
  }
  SetReference(objectLink_, value);
  SetReference(objectLocationType_, PathSpecifiers().Standard.FindSpecifier("TpsObjectLink"));
  objectLocation_.clear();
  if (auto* file = dynamic_cast<TCustomInstallFile*>(value)) {
    linkName_ = ReplaceExtension(file->DestName(), ".lnk");
  } else if (auto* directory = dynamic_cast<TInstallDirectory*>(value)) {
    linkName_ = directory->Description + ".lnk";
  } else {
    linkName_ = value->Name() + ".lnk";
  }
  if (Container() == nullptr) SetContainer(value);
}

void TCustomInstallShellLink::SetObjectLocation(const std::string& value) {
  if (IsLoading(*this)) {
    objectLocation_ = value;
    return;
  }
  objectLocation_ = IsSpecifierKind(objectLocationType_, "TpsObjectLink") ? std::string() : value;
  const std::string name = UpperText(TrimText(linkName_));
  if (!name.empty() && name != ".LNK") return;
  const std::string upper = UpperText(value);
  if (const size_t web = upper.find("HTTP://"); web != std::string::npos) {
    linkName_ = value.substr(web + 7) + ".URL";
  } else if (const size_t ftp = upper.find("FTP://"); ftp != std::string::npos) {
    linkName_ = value.substr(ftp + 6) + ".URL";
  } else {
    SetLinkName(ReplaceExtension(PathFileNamePart(value), ""));
  }
}

void TCustomInstallShellLink::SetObjectLocationType(TCustomPathSpecifier* value) {
  const bool loading = IsLoading(*this);
  if (!loading && value != nullptr) value->CheckUsableFor(this);
  SetReference(objectLocationType_, value);
  if (!loading && IsSpecifierKind(value, "TpsObjectLink")) objectLocation_.clear();
}

std::string TCustomInstallShellLink::GetTargetPath() {
  if (objectLocationType_ == nullptr) return ExcludeTrailingBackslash(objectLocation_);
  return objectLocationType_->GetPath(this) + objectLocation_;
}

std::string TCustomInstallShellLink::GetLinkPath() {
  return IncludeTrailingBackslash(GetDestPath()) + FileNameOf(linkName_);
}

void TCustomInstallShellLink::InstallHelpers() {
  skipped_ = false;
  if (TrimText(linkName_).empty()) {
    throw IEInstallShellLink("The LinkName is blank for %s and therefore could not be installed",
                             {Name()});
  }
  if (objectLink_ != nullptr) {
    // A link to an object that this run left out (another install type, another system) is
    // not made, and not recorded for uninstall either.
    if (!objectLink_->Processed) {
      skipped_ = true;
      return;
    }
    if (dynamic_cast<TUninstallEXE*>(objectLink_) != nullptr) {
      IInstallRoot* root = InstallModel().CurrentInstall();
      if (root == nullptr) {
        throw IEInstallShellLink(
            "%s cannot perform operation because there is no TInstall component", {Name()});
      }
      parameters_ = root->UninstallProductName();
    } else if (auto* group = dynamic_cast<TCustomShellLinkGroup*>(objectLink_)) {
      CreateFolder(group->GetDestPath(), Name());
    }
  }
  if (UpperText(Extension(linkName_)) == ".URL") {
    WriteInternetShortcut();
  } else if (method_ == mtShellLinkInterface || HasShellLinkObject()) {
    WriteShellLink();
  } else {
    // A system without the shell's link object gets no link, and the uninstaller none to remove.
    skipped_ = true;
    return;
  }
  TInstallObject::InstallHelpers();
}

void TCustomInstallShellLink::WriteInternetShortcut() {
  const std::string path = GetLinkPath();
  CreateFolder(PathDirectoryPart(path), Name());
  platform::IIniFiles& ini = platform::Port().IniFiles();
  if (!ini.WriteString(path, "InternetShortcut", "URL", objectLocation_)) {
    const uint32_t error = ini.LastError();
    throw IEInstallShellLink(kNotInstalled,
                             {Name(), path + ": " + platform::Port().System().ErrorText(error)});
  }
}

void TCustomInstallShellLink::WriteShellLink() {
  const std::string path = GetLinkPath();
  CreateFolder(PathDirectoryPart(path), Name());
  platform::ShellLink link;
  // The uninstaller finds the product by its name: a "%" in the name is no meta variable.
  const bool uninstaller =
      objectLink_ != nullptr && dynamic_cast<TUninstallEXE*>(objectLink_) != nullptr;
  link.arguments = uninstaller ? parameters_ : ExpandMetaVariables(parameters_, this);
  link.target = GetTargetPath();
  link.working_directory = ExcludeTrailingBackslash(PathDirectoryPart(link.target));
  link.hot_key = hotKey_;
  const int32_t result = platform::Port().ShellLinks().Save(path, link);
  if (result < 0)
    throw IEInstallShellLink(kNotInstalledCode, {Name(), ComResultText(result), result});
}

void TCustomInstallShellLink::ContainerDestroyed(TInstallContainer* container) {
  const bool mine = container != nullptr && (container == Container() || container == objectLink_);
  if (container != nullptr && container == objectLink_) objectLink_ = nullptr;
  TInstallObject::ContainerDestroyed(container);
  if (mine) Orphan();
}

void TCustomInstallShellLink::Orphan() {
  objectLink_ = nullptr;
  // A link whose object or folder is gone points nowhere. Only an owner can free it; one that
  // nothing owns belongs to whoever made it.
  if (Owner() != nullptr && !Destroying()) TComponent::Free(this);
}

void TCustomInstallShellLink::RegisterUninstall(const std::string& keyPath) {
  if (skipped_) return;
  AppendToUninstallFiles(keyPath, GetLinkPath());
}

// ---------------------------------------------------------------------------------------------
// TInstallMainLink

const TClassInfo& TInstallMainLink::StaticClass() {
  using L = TInstallMainLink;
  static const TClassInfo info =
      TClassInfo::Define<L, TCustomInstallShellLink>("TInstallMainLink", [](TClassBuilder<L>& c) {
        c.String("DestDir", &L::DestDir, &L::SetDestDir);
        c.Integer("HotKey", &L::HotKey, &L::SetHotKey);
        c.Boolean("Include", &L::Include, &L::SetInclude, true);
        c.String("LinkName", &L::LinkName, &L::SetLinkName);
        c.Enum("Method", &L::Method, &L::SetMethod, std::optional<TMethodType>(mtAutoDetect));
        c.Reference("ObjectLink", &L::ObjectLink, &L::SetObjectLink);
        c.String("ObjectLocation", &L::ObjectLocation, &L::SetObjectLocation);
        c.Reference("ObjectLocationType", &L::ObjectLocationType, &L::SetObjectLocationType);
        c.String("Parameters", &L::Parameters, &L::SetParameters);
        c.Boolean("Uninstall", &L::Uninstall, &L::Uninstall, true);
        c.template Event<TInstallContainerNotifyEvent>("OnAfterProcess", &L::OnAfterProcess);
        c.template Event<TInstallContainerNotifyEvent>("OnBeforeProcess", &L::OnBeforeProcess);
      });
  return info;
}

TInstallMainLink::TInstallMainLink(TComponent* owner)
    : TCustomInstallShellLink(NeedsMainLinkGroup(owner)) {
  LinkContainer(ShellLinkModel().MainLinkGroup);
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsContainerDestDir"));
  ShellLinkModel().MainLinks.Add(this);
}

TInstallMainLink::~TInstallMainLink() { ShellLinkModel().MainLinks.Remove(this); }

void TInstallMainLink::BeforeDestruction() {
  ShellLinkModel().MainLinks.Remove(this);
  TCustomInstallShellLink::BeforeDestruction();
}

void TInstallMainLink::SetContainer(TInstallContainer* value) {
  TMainLinkGroup* group = ShellLinkModel().MainLinkGroup;
  if (value == nullptr || value != group) {
    throw IEInstallShellLink(
        "The TMainLinkGroup component must be the Container for TInstallMainLink and "
        "TSubLinkGroup components");
  }
  TCustomInstallShellLink::SetContainer(value);
}

void TInstallMainLink::SetDestDirType(TCustomPathSpecifier*) {
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsContainerDestDir"));
}

// ---------------------------------------------------------------------------------------------
// Meta variables

std::string ExpandMetaVariables(const std::string& text, TCustomInstallShellLink* link) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    // A "%" that ends the text selects nothing and is dropped, like an unknown variable.
    if (++i == text.size()) break;
    const char selector =
        static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] + 32 : text[i]);
    std::string value;
    switch (selector) {
      case '%': out += '%'; continue;
      case 'a':
        if (link == nullptr) {
          throw EAICannotExpandContainerDirMV(
              LocalizeMessage("Cannot expand the %a meta variable because the component is Nil"));
        }
        value = link->GetDestPath();
        break;
      case 'b': value = GetProgramsDir(); break;
      case 'c':
        if (link == nullptr) {
          throw EAICannotExpandContainerDirMV(
              LocalizeMessage("Cannot expand the %c meta variable because the component is Nil"));
        }
        if (link->Container() == nullptr) {
          throw EAICannotExpandContainerDirMV(LocalizeMessage(
              "Cannot expand the %c meta variable because the Container property is Nil"));
        }
        value = link->Container()->GetDestPath();
        break;
      case 'd': value = GetDesktopDir(); break;
      case 'f': value = GetCommonFilesDir(); break;
      case 'i': {
        TFileContainer* root = InstallModel().Root();
        if (root == nullptr) {
          throw EAICannotExpandInstallDirMV(LocalizeMessage(
              "Cannot expand the %i meta variable because there is no TInstall component"));
        }
        value = root->GetDestPath();
        break;
      }
      case 'm': value = GetStartMenuDir(); break;
      case 'p': value = GetProgramFilesDir(); break;
      case 's': value = GetSystemDir(); break;
      case 'w': value = GetWindowsDir(); break;
      default: continue;
    }
    out += ExcludeTrailingBackslash(value);
  }
  return out;
}

std::string ListInstalledLinks() {
  std::string out;
  const TShellLinkList& links = ShellLinkModel().Links;
  for (int i = 0; i < links.Count(); ++i) {
    TCustomInstallShellLink* link = links.Items(i);
    std::string path;
    try {
      path = link->GetLinkPath();
    } catch (const Exception&) {
      continue;  // a link that cannot name its file made none
    }
    if (UpperText(Extension(path)) == ".URL") {
      if (auto url = platform::Port().IniFiles().ReadString(path, "InternetShortcut", "URL")) {
        out += path + " -> " + *url + "\r\n";
      }
    } else if (auto read = platform::Port().ShellLinks().Load(path)) {
      out += path + " -> " + read->target;
      if (!read->arguments.empty()) out += " " + read->arguments;
      out += "\r\n";
    }
  }
  return out;
}

void RegisterShellLinkClasses(TClassRegistry& registry) {
  registry.Register({&TMainLinkGroup::StaticClass(), &TInstallMainLink::StaticClass()});
}

}  // namespace tmby
