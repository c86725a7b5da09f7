// The dialog manager: one per dialog stage of the install definition. It hears the stage codes
// the install root broadcasts to its helpers and shows that stage's dialogs: the registered page
// classes of its stage, built into one stage window (TBaseFormContainer), ordered by Order and
// walked with Back / Next / Cancel. While files are copied it keeps the registered during-copy
// windows open and hands them every progress report.
//
// Which dialogs exist is not part of the definition: each dialog class registers itself once at
// program start (RegisterInstallForm, RegisterDuringCopyForm); a page decides its stage by asking
// FindDialogManager in its constructor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "dialogs/base_forms.h"
#include "model/install_container.h"

namespace tmby {

enum TManagerType {
  dmBeforeInstall,
  dmAfterGoodInstall,
  dmAfterBadInstall,
  dmDuringCopyFiles,
  dmChangeDisk,
  dmReboot,
  dmRegistration,
  dmUninstall
};
TMBY_ENUM_NAMES(TManagerType, dmBeforeInstall, dmAfterGoodInstall, dmAfterBadInstall,
                dmDuringCopyFiles, dmChangeDisk, dmReboot, dmRegistration, dmUninstall)

// A registered dialog: its form class and, optionally, the component with its settings.
struct TDialogEntry {
  const TClassInfo* FormClass = nullptr;
  TCustomBaseInstallDlg* Dialog = nullptr;
};
using TBIFEntry = TDialogEntry;
using TDCFEntry = TDialogEntry;

// A change-disk form takes the disk asked for before it is shown.
class IDiskParameterForm {
 public:
  virtual ~IDiskParameterForm() = default;
  virtual void SetDiskParameter(TDiskParameter* disk) = 0;
};

class TDialogManager : public TInstallObject {
  TMBY_CLASS(TDialogManager, TInstallObject)
 public:
  explicit TDialogManager(TComponent* owner);
  ~TDialogManager() override;
  int ComponentType() const override { return ctDialog; }

  TManagerType ManagerType = dmBeforeInstall;
  TTamberlyDialogPosition Position = tdpCenter;
  int32_t RelativeLeftOffset = 0;
  int32_t RelativeTopOffset = 0;
  int32_t Width = 478;
  int32_t Height = 395;

  // The stage codes of this manager's stage; every other code only reaches the inherited step.
  void HelperEvent(TPersistent* sender, int code, TPersistent* object) override;
  // Builds the stage window with this stage's pages and shows it modally; nothing when no page
  // belongs here. A Cancel confirmed by the user raises EAIUserAbort.
  virtual void ShowStage();
  // The first registered change-disk form, given the file and its disk parameter (`object`: a
  // TList of the two).
  virtual void ShowChangeDisk(TPersistent* object);
  virtual void AddDialog(TCustomBaseInstallDlg* dialog);
  virtual void RemoveDialog(TCustomBaseInstallDlg* dialog);
  void RemoveHelper(TInstallObject* object) override;

  const std::vector<TCustomBaseInstallDlg*>& Dialogs() const { return dialogs_; }
  // The during-copy windows open now.
  const std::vector<TBaseDuringCopyForm*>& DuringCopyForms() const { return copyForms_; }

  void Notification(TComponent* component, TOperation operation) override;
  void BeforeDestruction() override;

 private:
  // The pages of the stage into `stage`; their number.
  int BuildPages(TBaseFormContainer& stage);
  void ReportStatus(int code, TPersistent* object);
  void OpenDuringCopyForms();
  void CloseDuringCopyForms();
  // A -996 from `sender` ends the copy as a whole: the install's own operation (or the
  // manager's container's) is over, not that of one file or folder below it.
  bool CopyIsOver(TPersistent* sender) const;

  std::vector<TCustomBaseInstallDlg*> dialogs_;
  std::vector<TBaseDuringCopyForm*> copyForms_;
};

// The process-wide registries of the dialogs (DialogRegistry()); tests reset them.
struct TDialogRegistry {
  // The page dialogs of every stage but during-copy, in registration order (TBIFList); null
  // until the first registration.
  std::unique_ptr<std::vector<TBIFEntry>> InstallForms;
  // The during-copy windows (TDCFList).
  std::vector<TDCFEntry> DuringCopyForms;
  // The change-disk dialogs.
  std::vector<const TClassInfo*> ChangeDiskForms;
  // The manager whose stage window or change-disk dialog is being built or shown.
  TDialogManager* CurrentDialogManager = nullptr;

  void Reset();
};
TDialogRegistry& DialogRegistry();

TBIFEntry& RegisterInstallForm(const TClassInfo& formClass,
                               TCustomBaseInstallDlg* dialog = nullptr);
TDCFEntry& RegisterDuringCopyForm(const TClassInfo& formClass,
                                  TCustomBaseInstallDlg* dialog = nullptr);
void RegisterChangeDiskForm(const TClassInfo& formClass);
int InstallFormCount();
// IException "The BIFList is NIL" before any registration, "%d is an invalid index in the
// BIFList" outside 0 .. count - 1.
const TBIFEntry& InstallFormEntry(int index);

// The first manager (in creation order) of `stage` whose Container is the running install root;
// null when none.
TDialogManager* FindDialogManager(TManagerType stage);

// Registers TDialogManager and the standard dialogs with the definition reader.
void RegisterDialogClasses(TClassRegistry& registry);

}  // namespace tmby
