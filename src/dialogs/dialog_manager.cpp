#include "dialogs/dialog_manager.h"

#include <algorithm>

#include "base/exceptions.h"
#include "dialogs/std_dialogs.h"
#include "model/custom_install_file.h"
#include "model/file_container.h"
#include "model/install_model.h"
#include "model/install_parameters.h"

namespace tmby {

namespace {

TDialogRegistry g_registry;

// A form of `cls` owned by `owner`, fully constructed; null when the class makes no form of the
// kind asked for (the instance is freed).
template <class Form>
Form* CreateForm(const TClassInfo& cls, TComponent* owner) {
  TComponent* made = cls.Create(owner);
  auto* form = dynamic_cast<Form*>(made);
  if (form == nullptr) {
    TComponent::Free(made);
    return nullptr;
  }
  try {
    form->AfterConstruction();
  } catch (...) {
    TComponent::Free(form);
    throw;
  }
  return form;
}

// Clears CurrentDialogManager and frees the window, however the stage ends.
class StageScope {
 public:
  StageScope(TDialogManager* manager, ui::TCustomForm* window) : window_(window) {
    DialogRegistry().CurrentDialogManager = manager;
  }
  ~StageScope() {
    DialogRegistry().CurrentDialogManager = nullptr;
    TComponent::Free(window_);
  }
  StageScope(const StageScope&) = delete;
  StageScope& operator=(const StageScope&) = delete;

 private:
  ui::TCustomForm* window_;
};

}  // namespace

TDialogRegistry& DialogRegistry() { return g_registry; }

void TDialogRegistry::Reset() {
  InstallForms.reset();
  DuringCopyForms.clear();
  ChangeDiskForms.clear();
  CurrentDialogManager = nullptr;
}

TBIFEntry& RegisterInstallForm(const TClassInfo& formClass, TCustomBaseInstallDlg* dialog) {
  auto& list = g_registry.InstallForms;
  if (list == nullptr) list = std::make_unique<std::vector<TBIFEntry>>();
  list->push_back({&formClass, dialog});
  return list->back();
}

TDCFEntry& RegisterDuringCopyForm(const TClassInfo& formClass, TCustomBaseInstallDlg* dialog) {
  g_registry.DuringCopyForms.push_back({&formClass, dialog});
  return g_registry.DuringCopyForms.back();
}

void RegisterChangeDiskForm(const TClassInfo& formClass) {
  g_registry.ChangeDiskForms.push_back(&formClass);
}

int InstallFormCount() {
  return g_registry.InstallForms == nullptr ? 0 : static_cast<int>(g_registry.InstallForms->size());
}

const TBIFEntry& InstallFormEntry(int index) {
  if (g_registry.InstallForms == nullptr) throw IException("The BIFList is NIL");
  if (index < 0 || index >= InstallFormCount()) {
    throw IException("%d is an invalid index in the BIFList", {index});
  }
  const TBIFEntry& entry = (*g_registry.InstallForms)[static_cast<size_t>(index)];
  if (entry.FormClass == nullptr)
    throw IException("The %d 'th entry in the BIFList is NIL", {index});
  return entry;
}

TDialogManager* FindDialogManager(TManagerType stage) {
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (root == nullptr) return nullptr;
  const TInstallContainer* install = root->RootContainer();
  const TInstallContainerList& containers = InstallModel().Containers;
  for (int i = 0; i < containers.Count(); ++i) {
    auto* manager = dynamic_cast<TDialogManager*>(containers.Items(i));
    if (manager != nullptr && manager->ManagerType == stage && manager->Container() != nullptr &&
        manager->Container() == install) {
      return manager;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TDialogManager

const TClassInfo& TDialogManager::StaticClass() {
  using T = TDialogManager;
  static const TClassInfo info =
      TClassInfo::Define<T, TInstallObject>("TDialogManager", [](TClassBuilder<T>& c) {
        c.Reference("Container", &T::Container, &T::SetContainer);
        c.Integer("Height", &T::Height, &T::Height, 395);
        c.Enum("ManagerType", &T::ManagerType, &T::ManagerType,
               std::optional<TManagerType>(dmBeforeInstall));
        c.Enum("Position", &T::Position, &T::Position,
               std::optional<TTamberlyDialogPosition>(tdpCenter));
        c.Integer("RelativeLeftOffset", &T::RelativeLeftOffset, &T::RelativeLeftOffset, 0);
        c.Integer("RelativeTopOffset", &T::RelativeTopOffset, &T::RelativeTopOffset, 0);
        c.Integer("Width", &T::Width, &T::Width, 478);
      });
  return info;
}

TDialogManager::TDialogManager(TComponent* owner) : TInstallObject(owner) {}

TDialogManager::~TDialogManager() = default;

void TDialogManager::BeforeDestruction() {
  CloseDuringCopyForms();
  if (g_registry.CurrentDialogManager == this) g_registry.CurrentDialogManager = nullptr;
  TInstallObject::BeforeDestruction();
}

void TDialogManager::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    std::erase(dialogs_, component);
    std::erase(copyForms_, component);
  }
  TInstallObject::Notification(component, operation);
}

void TDialogManager::HelperEvent(TPersistent* sender, int code, TPersistent* object) {
  TInstallObject::HelperEvent(sender, code, object);
  const auto stageIs = [this](TManagerType type) { return ManagerType == type; };
  // The end pages never share the screen with a copy window, whatever ended the copy.
  if (stageIs(dmDuringCopyFiles) &&
      (code == hnBeforeGoodInstall || code == hnBeforeBadInstall || code == hnRebootPending)) {
    CloseDuringCopyForms();
  }
  switch (code) {
    case hnBeforeInstall:
      if (stageIs(dmBeforeInstall)) ShowStage();
      break;
    case hnGoodInstall:
      if (stageIs(dmAfterGoodInstall)) ShowStage();
      break;
    case hnBadInstall:
      if (stageIs(dmAfterBadInstall)) ShowStage();
      break;
    case hnRebootPending:
      if (stageIs(dmReboot)) ShowStage();
      break;
    case hnRegistration:
      if (stageIs(dmRegistration)) ShowStage();
      break;
    case hnFileStatus:
    case hnDataReceived:
      if (stageIs(dmDuringCopyFiles)) ReportStatus(code, object);
      break;
    case hnOperationOver:
      // Each file and each folder of files ends its own operation too; the copy window stays up
      // through them and goes once the install's own operation is over, so that a product of
      // many files shows one window rather than one window after another.
      if (stageIs(dmDuringCopyFiles) && CopyIsOver(sender)) CloseDuringCopyForms();
      break;
    case hnNewDisk:
      if (stageIs(dmChangeDisk)) ShowChangeDisk(object);
      break;
    default: break;
  }
}

int TDialogManager::BuildPages(TBaseFormContainer& stage) {
  TDialogManager* current = g_registry.CurrentDialogManager;
  if (current == nullptr) throw IException("The current dialog manager is not defined");
  std::vector<TBaseInstallForm*> retained;
  for (int i = 0; i < InstallFormCount(); ++i) {
    // A copy: a page's constructor may register more dialogs.
    const TBIFEntry entry = InstallFormEntry(i);
    if (entry.Dialog != nullptr &&
        (entry.Dialog->DialogManager() != current || !entry.Dialog->DialogEnabled())) {
      continue;
    }
    TBaseInstallForm* page = CreateForm<TBaseInstallForm>(*entry.FormClass, &stage);
    if (page == nullptr) continue;
    if (entry.Dialog == nullptr && page->DM() != current) {
      TComponent::Free(page);
      continue;
    }
    if (TCustomBaseInstallDlg* dialog = entry.Dialog) {
      page->SetDC(dialog);
      page->SetDialogContainer(dialog->Container());
      page->SetOrder(dialog->DialogOrder);
      dialog->SetDialog(page);
      dialog->AssignDialogProperties();
    }
    retained.push_back(page);
  }
  for (TBaseInstallForm* page : retained) {
    stage.AddPage(page);
    page->ApplyLanguage();
    page->Show();
  }
  stage.SortPages();
  return stage.PageCount();
}

void TDialogManager::ShowStage() {
  auto* stage = new TBaseFormContainer(ui::Application());
  StageScope scope(this, stage);
  stage->SetPosition(ui::poDesigned);
  stage->SetHeight(Height);
  stage->SetWidth(Width);
  stage->PositionDialog(Position, RelativeLeftOffset, RelativeTopOffset);
  stage->AfterConstruction();
  if (BuildPages(*stage) == 0) return;
  if (stage->ShowModal() == ui::mrAbort) throw EAIUserAbort();
  if (ui::TApplication* app = ui::Application()) {
    if (ui::TCustomForm* main = app->MainForm()) main->Repaint();
    app->ProcessMessages();
  }
}

bool TDialogManager::CopyIsOver(TPersistent* sender) const {
  IInstallRoot* root = InstallModel().CurrentInstall();
  const TInstallContainer* install = root != nullptr ? root->RootContainer() : nullptr;
  return install == nullptr || sender == install || sender == Container();
}

void TDialogManager::ReportStatus(int code, TPersistent* object) {
  const TFileStatusParameter* file = nullptr;
  const TDownloadStatusParameter* download = nullptr;
  if (object == nullptr) throw IException("%s got a nil PO parameter", {Name()});
  if (code == hnFileStatus) {
    file = dynamic_cast<const TFileStatusParameter*>(object);
    if (file == nullptr) {
      throw IException("The PO object passed to %s is not a TFileStatusParameter object", {Name()});
    }
  } else {
    download = dynamic_cast<const TDownloadStatusParameter*>(object);
    if (download == nullptr) {
      throw IException("The PO object passed to %s is not a TDownloadStatusParameter object",
                       {Name()});
    }
  }
  if (copyForms_.empty()) OpenDuringCopyForms();
  const std::vector<TBaseDuringCopyForm*> forms = copyForms_;
  for (TBaseDuringCopyForm* form : forms) form->UpdateStatus(file, download);
}

void TDialogManager::OpenDuringCopyForms() {
  const std::vector<TDCFEntry> entries = g_registry.DuringCopyForms;
  for (const TDCFEntry& entry : entries) {
    TBaseDuringCopyForm* form =
        CreateForm<TBaseDuringCopyForm>(*entry.FormClass, ui::Application());
    if (form == nullptr) continue;
    if (form->DM() != this) {
      TComponent::Free(form);
      continue;
    }
    if (TCustomBaseInstallDlg* dialog = entry.Dialog) {
      dialog->SetDialog(form);
      dialog->PlaceForm(*form);
    }
    form->PageEntered();
    form->ApplyLanguage();
    form->Show();
    FreeNotification(form);
    copyForms_.push_back(form);
  }
}

void TDialogManager::CloseDuringCopyForms() {
  std::vector<TBaseDuringCopyForm*> forms;
  forms.swap(copyForms_);
  for (TBaseDuringCopyForm* form : forms) TComponent::Free(form);
}

void TDialogManager::ShowChangeDisk(TPersistent* object) {
  if (g_registry.ChangeDiskForms.empty()) return;
  TComponent* made = g_registry.ChangeDiskForms.front()->Create(ui::Application());
  auto* form = dynamic_cast<TBaseInstallForm*>(made);
  StageScope scope(this, form);
  if (form == nullptr) {
    TComponent::Free(made);
    return;
  }
  form->AfterConstruction();
  if (form->DM() != this) return;
  if (object == nullptr) {
    throw Exception(LocalizeMessage(
        "The ParameterObject is Nil in the TDialogManager. Cannot show the change disk form"));
  }
  auto* list = dynamic_cast<TList*>(object);
  if (list == nullptr) throw Exception(LocalizeMessage("TChangeDiskDlg--PO is not a TList object"));
  if (list->Count() < 2) {
    throw Exception(LocalizeMessage("TChangeDiskDlg--Not engouh parameters for status event"));
  }
  auto* file = dynamic_cast<TCustomInstallFile*>(list->Items(0));
  if (file == nullptr) throw Exception("TChangeDiskDlg says bad first parameter");
  auto* disk = dynamic_cast<TDiskParameter*>(list->Items(1));
  if (disk == nullptr) throw Exception("TChangeDiskDlg says bad second parameter");
  // The file object leaves the prompt to this dialog.
  file->SetTag(1);
  if (auto* diskForm = dynamic_cast<IDiskParameterForm*>(form)) diskForm->SetDiskParameter(disk);
  form->PageEntered();
  form->ApplyLanguage();
  if (form->ShowModal() == ui::mrAbort) throw EAIUserAbort();
}

void TDialogManager::AddDialog(TCustomBaseInstallDlg* dialog) {
  if (dialog == nullptr) {
    throw IException("Cannot add a NIL Dialog to the Dialog Manager %s", {Name()});
  }
  if (std::find(dialogs_.begin(), dialogs_.end(), dialog) != dialogs_.end()) return;
  dialogs_.push_back(dialog);
  FreeNotification(dialog);
}

void TDialogManager::RemoveDialog(TCustomBaseInstallDlg* dialog) { std::erase(dialogs_, dialog); }

void TDialogManager::RemoveHelper(TInstallObject* object) {
  if (auto* dialog = dynamic_cast<TCustomBaseInstallDlg*>(object)) RemoveDialog(dialog);
  TInstallObject::RemoveHelper(object);
}

void RegisterDialogClasses(TClassRegistry& registry) {
  registry.Register(TDialogManager::StaticClass());
  RegisterStandardDialogClasses(registry);
}

}  // namespace tmby
