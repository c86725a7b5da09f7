#include "model/install_container.h"

#include <algorithm>

#include "base/path_text.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "model/install_parameters.h"
#include "paths/path_root_base.h"
#include "system/os_version.h"

namespace tmby {

namespace {

// Component types are asked of every helper when a container inserts or broadcasts; a class
// without its own rank cannot take part in a tree.
[[noreturn]] void NoRegisteredType() {
  throw IEInstallContainer("Class must declare a registered type");
}

// Guards the expansion of destinations against specifier chains that lead back to themselves.
class ExpansionDepth {
 public:
  ExpansionDepth() {
    if (++depth_ > kLimit) {
      --depth_;
      throw IEInstallContainer("Circular reference");
    }
  }
  ~ExpansionDepth() { --depth_; }
  ExpansionDepth(const ExpansionDepth&) = delete;
  ExpansionDepth& operator=(const ExpansionDepth&) = delete;

 private:
  static constexpr int kLimit = 512;
  static inline thread_local int depth_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TInstallContainer

const TClassInfo& TInstallContainer::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TInstallContainer, TComponent>("TInstallContainer");
  return info;
}

namespace {

// The first container placed on a form brings the standard path specifiers with it. They are
// made before the container joins its owner, so that they precede it in the owner's list and in
// a definition written from it.
TComponent* WithStandardSpecifiers(TComponent* owner) {
  if (owner != nullptr && owner->ClassInfo().InheritsFrom("TCustomForm")) {
    PathSpecifiers().Standard.CreateStandardSpecifiers(nullptr, owner, true);
  }
  return owner;
}

}  // namespace

TInstallContainer::TInstallContainer(TComponent* owner)
    : TComponent(WithStandardSpecifiers(owner)) {
  InstallModel().Containers.Add(this);
}

TInstallContainer::~TInstallContainer() { Detach(); }

void TInstallContainer::BeforeDestruction() {
  TComponent::BeforeDestruction();
  Detach();
}

void TInstallContainer::Detach() {
  if (detached_) return;
  detached_ = true;
  TInstallContainerList& list = InstallModel().Containers;
  // Only the container that holds this one and the containers it holds have something to forget.
  // When there are several they hear it in the list's order, the last registered first, as every
  // other container would; a single one is told directly, so that destroying a large tree does
  // not walk the whole list for each of its containers. Errors of the objects that move elsewhere
  // cannot stop a destruction.
  std::vector<TInstallContainer*> concerned;
  if (auto* self = dynamic_cast<TInstallObject*>(this); self != nullptr && self->Container()) {
    concerned.push_back(self->Container());
  }
  for (TInstallObject* helper : helpers_) {
    if (helper->Container() == this) concerned.push_back(helper);
  }
  const auto tell = [this](TInstallContainer* other) {
    if (other == nullptr || other == this) return;
    try {
      other->ContainerDestroyed(this);
    } catch (const Exception&) {
    }
  };
  if (concerned.size() == 1) {
    tell(concerned.front());
  } else if (concerned.size() > 1) {
    for (int i = list.Count() - 1; i >= 0; --i) tell(list.Items(i));
  }
  // Helpers that are not registered (a reset list) are told directly.
  const std::vector<TInstallObject*> remaining = helpers_;
  for (TInstallObject* helper : remaining) {
    if (helper->Container() != this) continue;
    try {
      helper->ContainerDestroyed(this);
    } catch (const Exception&) {
    }
  }
  helpers_.clear();
  list.Remove(this);
}

void TInstallContainer::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr && component == destDirType_) {
    destDirType_ = nullptr;
  }
  TComponent::Notification(component, operation);
}

void TInstallContainer::SetSelectedInstallType(TInstallType type) {
  for (size_t i = 0; i < helpers_.size(); ++i) helpers_[i]->SetSelectedInstallType(type);
  selectedInstallType_ = type;
}

void TInstallContainer::SetInstallTypes(TInstallTypeSet value) {
  installTypes_ = value.Empty() ? TInstallTypeSet{itFull} : value;
}

int TInstallContainer::FileContainerCount() const {
  int count = 0;
  for (TInstallObject* h : helpers_) {
    if (dynamic_cast<TFileContainer*>(h) != nullptr) ++count;
  }
  return count;
}

TFileContainer* TInstallContainer::FileContainers(int index) const {
  int seen = 0;
  for (TInstallObject* h : helpers_) {
    if (auto* fc = dynamic_cast<TFileContainer*>(h)) {
      if (seen++ == index) return fc;
    }
  }
  throw IEInstallContainer(
      "Tried to reference a helper component in the following component: %s. The following "
      "index was used: %d",
      {Name(), index});
}

void TInstallContainer::SetDestDir(const std::string& value) { destDir_ = value; }

void TInstallContainer::SetDestDirType(TCustomPathSpecifier* value) {
  destDirTypeAssigned_ = true;
  if (value != nullptr && !IsLoading(*this)) value->CheckUsableFor(this);
  StoreDestDirType(value);
}

void TInstallContainer::StoreDestDirType(TCustomPathSpecifier* value) {
  SetReference(destDirType_, value);
}

void TInstallContainer::ContainerDestroyed(TInstallContainer* container) {
  if (auto* object = dynamic_cast<TInstallObject*>(container)) RemoveHelper(object);
}

void TInstallContainer::ShowStatusText(const std::string& text) {
  TMessageParameter parameter;
  parameter.Text = text;
  Broadcast(this, hnShowStatusText, &parameter);
}

void TInstallContainer::ClearStatusText() { Broadcast(this, hnClearStatusText, nullptr); }

void TInstallContainer::DoInformationEventControl(TPersistent*, int, TPersistent*) {}

void TInstallContainer::HelperEvent(TPersistent*, int, TPersistent*) {}

std::string TInstallContainer::ExpandPath(TCustomPathSpecifier* specifier, TPersistent* object,
                                          const std::string& relative) {
  if (specifier == nullptr) return ExcludeTrailingBackslash(relative);
  ExpansionDepth guard;
  return ExcludeTrailingBackslash(specifier->GetPath(object) + relative);
}

std::string TInstallContainer::GetDestPath() { return ExpandPath(destDirType_, this, destDir_); }

int TInstallContainer::ComponentType() const { NoRegisteredType(); }

void TInstallContainer::CheckHelper(const TInstallObject* object) const {
  if (object == nullptr) {
    throw IEInstallContainer("Cannot add a blank base helper component to %s", {Name()});
  }
  if (object == this) throw IEInstallContainer("Circular reference");
  // A node cannot contain one of its own ancestors. The walk is bounded by the number of
  // containers, so that even a damaged chain ends.
  const int limit = InstallModel().Containers.Count() + 1;
  const TInstallContainer* walk = this;
  for (int steps = 0; steps <= limit; ++steps) {
    const auto* node = dynamic_cast<const TInstallObject*>(walk);
    if (node == nullptr) break;
    walk = node->Container();
    if (walk == nullptr) break;
    if (walk == object) throw IEInstallContainer("Circular reference");
  }
}

void TInstallContainer::AddHelper(TInstallObject* object) {
  CheckHelper(object);
  if (std::find(helpers_.begin(), helpers_.end(), object) != helpers_.end()) return;

  const int type = object->ComponentType();
  size_t position = helpers_.size();
  for (size_t i = 0; i < helpers_.size(); ++i) {
    if (helpers_[i]->ComponentType() >= type) {
      position = i;
      break;
    }
  }
  if (SameText(object->ClassName(), "TINSTALLBDE")) position = 0;
  helpers_.insert(helpers_.begin() + static_cast<std::ptrdiff_t>(position), object);
}

void TInstallContainer::RemoveHelper(TInstallObject* object) {
  if (object == nullptr) return;
  auto it = std::find(helpers_.begin(), helpers_.end(), object);
  if (it != helpers_.end()) helpers_.erase(it);
}

bool TInstallContainer::IsIncluded() const {
  return include_ &&
         (selectedInstallType_ == itCustom || installTypes_.Contains(selectedInstallType_));
}

void TInstallContainer::Install() {
  if (!os_.Contains(GetOSVersion())) include_ = false;
  try {
    OnBeforeProcess(this);
    Broadcast(this, hnBeforeProcessFired, nullptr);
    if (!include_) return;
    OnProcess(this);
    Broadcast(this, hnAboutToInstall, nullptr);
    if (selectedInstallType_ != itCustom && !installTypes_.Contains(selectedInstallType_)) return;
    InstallHelpers();
    Processed = true;
    if (IInstallRoot* root = InstallModel().CurrentInstall(); root != nullptr && Uninstall) {
      RegisterUninstall(kUninstallKeyRoot + root->UninstallProductName());
    }
    OnAfterProcess(this);
    Broadcast(this, hnAfterProcessFired, nullptr);
  } catch (const EAbort&) {
    // A handler skipped this object.
  }
}

void TInstallContainer::InstallHelpers() {
  Processed = true;
  // By index at each step: an install may change the list.
  for (size_t i = 0; i < helpers_.size(); ++i) {
    TInstallObject* helper = helpers_[i];
    if (helper->InstallWithTree) helper->Install();
  }
}

void TInstallContainer::AfterReboot() {}

void TInstallContainer::RegisterUninstall(const std::string&) {}

TInstallObject* TInstallContainer::Helpers(int index) const {
  if (index < 0 || index >= HelperCount()) {
    throw IEInstallContainer(
        "Tried to reference a helper component in the following component: %s. The following "
        "index was used: %d",
        {Name(), index});
  }
  return helpers_[static_cast<size_t>(index)];
}

int TInstallContainer::HelperCountOf(const TClassInfo& cls) const {
  return static_cast<int>(std::count_if(helpers_.begin(), helpers_.end(),
                                        [&](TInstallObject* h) { return h->InheritsFrom(cls); }));
}

TInstallObject* TInstallContainer::Comp(int index, const TClassInfo& cls) const {
  int seen = 0;
  TInstallObject* first = nullptr;
  for (TInstallObject* h : helpers_) {
    if (!h->InheritsFrom(cls)) continue;
    if (first == nullptr) first = h;
    if (seen++ == index) return h;
  }
  // The component type shown is that of the class's helpers here, or -1 when there are none.
  throw IEInstallContainer(
      "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer "
      "component. The parameters are probably reversed. Index: %d, ComponentType: %d",
      {index, first != nullptr ? first->ComponentType() : -1});
}

void TInstallContainer::FreeHelpersOf(const TClassInfo& cls) {
  for (size_t i = helpers_.size(); i > 0;) {
    --i;
    if (i >= helpers_.size()) {
      if (helpers_.empty()) break;
      i = helpers_.size() - 1;
    }
    TInstallObject* helper = helpers_[i];
    if (!helper->InheritsFrom(cls)) continue;
    TComponent::Free(helper);
    RemoveHelper(helper);  // in case the helper did not leave by itself
  }
}

void TInstallContainer::Broadcast(TPersistent* sender, int code, TPersistent* object) {
  for (size_t i = 0; i < helpers_.size(); ++i) {
    TInstallObject* helper = helpers_[i];
    if (helper->ComponentType() >= ctFile) helper->HelperEvent(sender, code, object);
  }
}

// ---------------------------------------------------------------------------------------------
// TInstallObject

const TClassInfo& TInstallObject::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TInstallObject, TInstallContainer>("TInstallObject");
  return info;
}

TInstallObject::TInstallObject(TComponent* owner) : TInstallContainer(owner) {}

void TInstallObject::BeforeDestruction() {
  if (container_ != nullptr) container_->RemoveHelper(this);
  TInstallContainer::BeforeDestruction();
}

TInstallContainer* TInstallObject::LiveRoot() {
  TFileContainer* root = InstallModel().Root();
  return root != nullptr && !root->Destroying() ? root : nullptr;
}

void TInstallObject::LinkContainer(TInstallContainer* value) {
  if (value == container_) return;
  if (value != nullptr) value->AddHelper(this);
  if (container_ != nullptr) container_->RemoveHelper(this);
  container_ = value;
}

void TInstallObject::SetContainer(TInstallContainer* value) {
  containerAssigned_ = true;
  if (value == container_) return;
  LinkContainer(value);
  if (IsLoading(*this)) return;
  if (value != nullptr) {
    SetDestDirType(PathSpecifiers().Standard.FindSpecifier("TpsContainerDestDir"));
    SetDestDir("");
  } else if (IsSpecifierKind(DestDirType(), "TpsContainerDestDir")) {
    SetDestDirType(nullptr);
  }
}

void TInstallObject::ContainerDestroyed(TInstallContainer* container) {
  TInstallContainer::ContainerDestroyed(container);
  if (container == nullptr || container != container_) return;
  try {
    SetContainer(nullptr);
  } catch (const Exception&) {
    // The object leaves the destroyed container even when its move elsewhere fails.
  }
  if (container_ == container) {
    container_->RemoveHelper(this);
    container_ = nullptr;
  }
}

void TInstallObject::Install() {
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (root == nullptr || !root->InstallRunning() || container_ == nullptr ||
      container_->Processed) {
    TInstallContainer::Install();
  }
}

void TInstallObject::Loaded() {
  if (containerDefaultPending_ && !containerAssigned_) LinkContainer(nullptr);
  if (destDirTypeDefaultPending_ && !destDirTypeAssigned_) StoreDestDirType(nullptr);
  containerDefaultPending_ = false;
  destDirTypeDefaultPending_ = false;
  TInstallContainer::Loaded();
}

void TInstallObject::DesignCreated() {
  if (!DesignMode()) return;
  TInstallContainer* root = LiveRoot();
  if (root == nullptr || root == this) return;
  LinkContainer(root);
  containerDefaultPending_ = true;
  StoreDestDirType(PathSpecifiers().Standard.Lookup("TpsContainerDestDir"));
  SetDestDir("");
  destDirTypeDefaultPending_ = true;
}

}  // namespace tmby
