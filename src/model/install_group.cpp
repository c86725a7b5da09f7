#include "model/install_group.h"

#include "model/install_model.h"
#include "model/uninstall_exe.h"
#include "net/net_location.h"
#include "platform/port.h"

namespace tmby {

namespace {

// The published properties of groups and directories, alphabetically; directories have no
// DialogOptions.
template <class T>
void PublishFileContainer(TClassBuilder<T>& c) {
  c.Enum("AddToArchive", &T::AddToArchive, &T::AddToArchive,
         std::optional<TlzhCommand>(lzcOverwrite));
  c.String("ArchiveFile", &T::ArchiveFile, &T::SetArchiveFile);
  c.Reference("ArchiveFileType", &T::ArchiveFileType, &T::SetArchiveFileType);
  c.Reference("Container", &T::Container, &T::SetContainer);
  c.String("Description", &T::Description, &T::Description);
  c.String("DestDir", &T::DestDir, &T::SetDestDir);
  c.Reference("DestDirType", &T::DestDirType, &T::SetDestDirType);
  if constexpr (std::is_base_of_v<TCustomInstallGroup, T>) {
    c.Nested("DialogOptions", &T::DialogOptions);
  }
  c.Boolean("Include", &T::Include, &T::SetInclude, true);
  // The stored default holds all four types, so the value is always written.
  c.Set("InstallTypes", &T::InstallTypes, &T::SetInstallTypes,
        std::optional<TInstallTypeSet>(TInstallTypeSet{itFull, itDefault, itCompact, itCustom}));
  c.Reference("NetLocation", &T::NetLocation, &T::SetNetLocation);
  c.Set("OS", &T::OS, &T::SetOS, std::optional<OSSet>());
  c.template Event<TAfterInstallObjectsEvent>("OnAfterInstallObjects", &T::OnAfterInstallObjects);
  c.template Event<TInstallContainerNotifyEvent>("OnAfterProcess", &T::OnAfterProcess);
  c.template Event<TInstallContainerNotifyEvent>("OnBeforeInstallObjects",
                                                 &T::OnBeforeInstallObjects);
  c.template Event<TInstallContainerNotifyEvent>("OnBeforeProcess", &T::OnBeforeProcess);
  c.template Event<TDataReceivedEvent>("OnDataReceived", &T::OnDataReceived);
  c.template Event<TInstallFileNewDiskEvent>("OnNewDisk", &T::OnNewDisk);
  c.template Event<TInstallFileNotifyEvent>("OnReplacing", &T::OnReplacing);
  c.template Event<TInstallFileStatusEvent>("OnStatus", &T::OnStatus);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TInstallGroupDialogOptions

const TClassInfo& TInstallGroupDialogOptions::StaticClass() {
  using O = TInstallGroupDialogOptions;
  static const TClassInfo info =
      TClassInfo::Define<O, TPersistent>("TInstallGroupDialogOptions", [](TClassBuilder<O>& c) {
        c.Boolean("AllowChangeDir", &O::AllowChangeDir, &O::AllowChangeDir, true);
        c.Boolean("AllowExcludeInclude", &O::AllowExcludeInclude, &O::AllowExcludeInclude, true);
        c.StringList("Description", &O::Description, &O::Description);
        c.Boolean("DisplayDirectory", &O::DisplayDirectory, &O::DisplayDirectory, true);
        c.Picture("SmallIcon", &O::SmallIcon, &O::SmallIcon);
        c.Boolean("HasPassword", &O::HasPassword, &O::HasPassword, false);
        c.String("Password", &O::Password, &O::SetPassword);
        c.Boolean("ShowRegardlessOfInclude", &O::ShowRegardlessOfInclude,
                  &O::ShowRegardlessOfInclude, true);
      });
  return info;
}

void TInstallGroupDialogOptions::SetPassword(const std::string& value) {
  password_ = value;
  if (!value.empty() && !IsLoading(*this)) HasPassword = true;
}

// ---------------------------------------------------------------------------------------------
// TCustomInstallGroup

const TClassInfo& TCustomInstallGroup::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomInstallGroup, TFileContainer>("TCustomInstallGroup");
  return info;
}

TCustomInstallGroup::TCustomInstallGroup(TComponent* owner)
    : TFileContainer(owner), dialogOptions_(std::make_unique<TInstallGroupDialogOptions>(this)) {}

TCustomInstallGroup::~TCustomInstallGroup() = default;

void TCustomInstallGroup::SetContainer(TInstallContainer* value) {
  TFileContainer* root = InstallModel().Root();
  if (value == nullptr) value = LiveRoot();
  // Refused before anything moves, so that a failed assignment leaves both trees as they were.
  if (value != nullptr && value != root && dynamic_cast<TCustomInstallGroup*>(value) == nullptr) {
    value->CheckHelper(this);  // a cycle is named as such
    throw IEInstallGroup(
        "A TInstallGroup component can only be contained by a TInstall, or another TInstallGroup "
        "component");
  }
  TFileContainer::SetContainer(value);
}

void TCustomInstallGroup::Loaded() {
  TFileContainer::Loaded();
  if (Container() != nullptr) return;
  TInstallContainer* root = LiveRoot();
  if (root == nullptr || root == this) return;
  LinkContainer(root);
  // The root chose the install type for its tree before this group joined it.
  SetSelectedInstallType(root->SelectedInstallType());
}

// ---------------------------------------------------------------------------------------------
// TInstallGroup, TInstallDirectory

const TClassInfo& TInstallGroup::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TInstallGroup, TCustomInstallGroup>(
      "TInstallGroup", [](TClassBuilder<TInstallGroup>& c) { PublishFileContainer(c); });
  return info;
}

const TClassInfo& TInstallDirectory::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TInstallDirectory, TFileContainer>(
      "TInstallDirectory", [](TClassBuilder<TInstallDirectory>& c) { PublishFileContainer(c); });
  return info;
}

void TInstallDirectory::DesignCreated() {
  TFileContainer::DesignCreated();
  if (!DesignMode()) return;
  int count = 0;
  const TInstallContainerList& list = InstallModel().Containers;
  for (int i = 0; i < list.Count(); ++i) {
    if (dynamic_cast<TFileContainer*>(list.Items(i)) != nullptr) ++count;
  }
  Description = "Install Directory " + std::to_string(count);
}

void TInstallDirectory::RemoveMissingFiles() {
  for (int i = HelperCount() - 1; i >= 0; --i) {
    if (i >= HelperCount()) continue;
    auto* file = dynamic_cast<TCustomInstallFile*>(Helpers(i));
    if (file != nullptr && !platform::Port().Files().FileExists(file->SourcePath())) {
      TComponent::Free(file);
    }
  }
}

void RegisterInstallObjectClasses(TClassRegistry& registry) {
  registry.Register({&TInstallGroup::StaticClass(), &TInstallDirectory::StaticClass(),
                     &TpsFileContainer::StaticClass(), &TInstallFile::StaticClass(),
                     &TUninstallEXE::StaticClass()});
}

}  // namespace tmby
