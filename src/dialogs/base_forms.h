// The base forms of the installer's dialogs.
//
//   TBaseTamberlyForm      language handling of every kit window (font and texts of the target
//                          language, translated once from the language they are in)
//   TBaseInstallForm       a page of a stage window: first / last page answers, Back, Next,
//                          Cancel (through the install's ConfirmUserAbort)
//   TBaseDuringCopyForm    a progress window while files are copied; its Cancel stops the
//                          archive engine and the downloads
//   TBaseFormContainer     the stage window: a hidden tab strip whose index is the current page,
//                          the display panel the pages cover, the page navigation and the
//                          nine-way placement on the screen; it refuses to be closed other than
//                          by its pages
//   TCustomBaseInstallDlg  an install-definition component that carries the settings of one
//                          registered dialog and can show it on its own
//
// A page owned by a form is hosted in that form's window (a child window without frame, placed
// at 0, 0 over the owner's client area); the stage window moves it onto its display panel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/component.h"
#include "model/install_container.h"
#include "model/install_parameters.h"
#include "translate/language.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace tmby {

class TDialogManager;
class TCustomBaseInstallDlg;

// Where a dialog goes on the screen: three rows (centre, bottom, top) of three (left, centre,
// right).
enum TTamberlyDialogPosition {
  tdpCenterLeft,
  tdpCenter,
  tdpCenterRight,
  tdpBottomLeft,
  tdpBottomCenter,
  tdpBottomRight,
  tdpTopLeft,
  tdpTopCenter,
  tdpTopRight
};
TMBY_ENUM_NAMES(TTamberlyDialogPosition, tdpCenterLeft, tdpCenter, tdpCenterRight, tdpBottomLeft,
                tdpBottomCenter, tdpBottomRight, tdpTopLeft, tdpTopCenter, tdpTopRight)

// The top-left corner of a window of `window` size placed by `position` with the offsets on a
// screen of `screen` size. The centre lines are SW/2 - W/2 and SH/2 - H/2, truncated toward
// zero for the stage window and rounded (halves to even) for a dialog component's form; the
// bottom row keeps a caption's height (`captionHeight`) free.
ui::TPoint DialogPlacement(TTamberlyDialogPosition position, int leftOffset, int topOffset,
                           ui::TSize window, ui::TSize screen, int captionHeight, bool roundCentre);

// Fills `picture` with the running install's dialog theme picture (nothing without either).
void LoadThemeBitmap(ui::TPicture* picture);

class TBaseTamberlyForm : public ui::TForm {
  TMBY_CLASS(TBaseTamberlyForm, ui::TForm)
 public:
  explicit TBaseTamberlyForm(TComponent* owner);

  bool ApplyLanguageFont = true;
  bool TranslateTexts = true;
  // The install object the dialog works on, when a dialog component supplies one.
  TInstallContainer* DialogContainer() const { return container_; }
  void SetDialogContainer(TInstallContainer* container) { SetReference(container_, container); }
  // The language the form's texts are in now.
  TTmbyLanguage TextLanguage = tlEnglish;
  bool UseOwnLanguage = false;
  TTmbyLanguage OwnLanguage = tlUser;

  virtual void RefreshLanguage() { ApplyLanguage(); }
  // Refreshes the controls when the form becomes current or is about to be shown.
  virtual void PageEntered() {}
  // The target language's font (when ApplyLanguageFont), the texts translated into it from
  // TextLanguage (when TranslateTexts), then pending messages. Nothing without a translator.
  virtual void ApplyLanguage();

  void Notification(TComponent* component, TOperation operation) override;

 private:
  TInstallContainer* container_ = nullptr;
};

class TBaseFormContainer;

class TBaseInstallForm : public TBaseTamberlyForm {
  TMBY_CLASS(TBaseInstallForm, TBaseTamberlyForm)
 public:
  explicit TBaseInstallForm(TComponent* owner);

  TCustomBaseInstallDlg* DC() const { return dc_; }
  void SetDC(TCustomBaseInstallDlg* dc);
  TDialogManager* DM() const { return dm_; }
  void SetDM(TDialogManager* dm);
  int32_t Order() const { return order_; }
  void SetOrder(int32_t order) { order_ = order; }

  // Every page before the stage window's current one skips itself (false when not hosted).
  virtual bool IsFirstPage();
  // The stage window's current page is its last (false when not hosted).
  virtual bool IsLastPage();
  virtual void PageLeaving() {}
  // Ends the stage (or the form itself when not hosted) with the abort result, without asking.
  virtual void AbortDialogs();
  virtual void NextPage();
  virtual void PreviousPage();
  // PageEntered, then the page comes to the front (only when owned by a form).
  virtual void ActivatePage();
  virtual bool SkipPage() { return false; }
  // The install's ConfirmUserAbort (yes without an install); on yes, AbortDialogs.
  virtual void CancelQuery();

  // The stage window that owns the page, or null.
  TBaseFormContainer* Stage() const;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TCustomBaseInstallDlg* dc_ = nullptr;
  TDialogManager* dm_ = nullptr;
  int32_t order_ = 0;
};

class TBaseDuringCopyForm : public TBaseTamberlyForm {
  TMBY_CLASS(TBaseDuringCopyForm, TBaseTamberlyForm)
 public:
  explicit TBaseDuringCopyForm(TComponent* owner);

  TDialogManager* DM() const { return dm_; }
  void SetDM(TDialogManager* dm);

  // Asks the install's ConfirmUserAbort (yes without an install); on yes the archive engine's
  // Abort and the downloads' abort flag are set. The window's result becomes the abort result
  // in any case.
  virtual void CancelCopy();
  // One progress report: a file's or a download's (the other is null).
  virtual void UpdateStatus(const TFileStatusParameter* file,
                            const TDownloadStatusParameter* download);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  TDialogManager* dm_ = nullptr;
};

// The stage window.
class TBaseFormContainer : public ui::TForm {
  TMBY_CLASS(TBaseFormContainer, ui::TForm)
 public:
  explicit TBaseFormContainer(TComponent* owner);

  ui::TPanel* DisplayPanel() const { return displayPanel_; }
  ui::TTabControl* Tabs() const { return tabs_; }
  // The pages in page order (not owned: they are components of the window).
  const std::vector<TBaseInstallForm*>& Pages() const { return pages_; }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  // A tab for the page, the display panel's bounds, appended to the page list.
  void AddPage(TBaseInstallForm* page);
  // Orders the pages by Order (the exchange sort of the page list: equal orders keep theirs).
  void SortPages();
  int CurrentIndex() const { return tabs_->TabIndex(); }
  TBaseInstallForm* CurrentPage() const;
  bool ClosePermitted() const { return closePermitted_; }

  // Makes the page at `index` current, passing over pages that skip themselves in the
  // direction given; false when the walk leaves the page list.
  bool GoToPage(int index, bool forward);
  // Next or Finish: the following page, or on the last page the end with the OK result.
  void NextPage();
  void PreviousPage();
  // Places the window on the screen (the centre lines truncated).
  void PositionDialog(TTamberlyDialogPosition position, int leftOffset, int topOffset);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  void FormClose(TComponent* sender, ui::TCloseAction& action);
  void FormShow(TComponent* sender);
  void FormResize(TComponent* sender);
  void TabsChanging(TComponent* sender, bool& allowChange);
  void PlacePages();

  ui::TPanel* displayPanel_ = nullptr;
  ui::TTabControl* tabs_ = nullptr;
  std::vector<TBaseInstallForm*> pages_;
  bool closePermitted_ = false;
  bool creating_ = true;
};

using TDialogShowEvent = TEvent<TComponent*>;

// The settings of one registered dialog in the install definition. A concrete component names
// the form class it shows (FormClass).
class TCustomBaseInstallDlg : public TInstallObject {
  TMBY_CLASS(TCustomBaseInstallDlg, TInstallObject)
 public:
  explicit TCustomBaseInstallDlg(TComponent* owner);
  int ComponentType() const override { return ctDialog; }

  TBaseTamberlyForm* Dialog() const { return dialog_; }
  void SetDialog(TBaseTamberlyForm* dialog) { SetReference(dialog_, dialog); }
  TDialogManager* DialogManager() const { return manager_; }
  virtual void SetDialogManager(TDialogManager* manager);

  bool ApplyLanguageFont = true;
  bool TranslateTexts = true;
  TTmbyLanguage TextLanguage = tlEnglish;
  bool UseOwnLanguage = false;
  TTmbyLanguage OwnLanguage = tlUser;
  int32_t DialogOrder = 0;
  TTamberlyDialogPosition Position = tdpCenter;
  int32_t RelativeLeftOffset = 0;
  int32_t RelativeTopOffset = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  TInstallTypeSet DialogInstallTypes{itFull, itDefault, itCompact, itCustom};
  ui::TPicture ThemePicture;
  TDialogShowEvent OnBeforeShowDialog;
  TDialogShowEvent OnAfterShowDialog;

  virtual void AssignThemePicture(const ui::TPicture& picture) { ThemePicture = picture; }
  // The language steps of the form's ApplyLanguage on the dialog, with this component's
  // settings; TextLanguage is kept here.
  virtual void ApplyLanguage();
  // Copies the language settings and the container to the dialog form, then ApplyLanguage.
  virtual void AssignDialogProperties();
  // Before-show event, ShowDialog, pending messages, after-show event; false on a silent abort.
  virtual bool Execute();
  // Shows FormClass modally (true at once when DialogEnabled is false): true on OK; any other
  // result raises EAIUserAbort.
  virtual bool ShowDialog();
  // The class of the form the component shows.
  virtual const TClassInfo& FormClass() const = 0;
  virtual bool DialogEnabled() { return true; }
  // Places `form` by Position, the offsets and the size (the centre lines rounded).
  void PlaceForm(ui::TCustomForm& form) const;

  void Notification(TComponent* component, TOperation operation) override;

 private:
  TBaseTamberlyForm* dialog_ = nullptr;
  TDialogManager* manager_ = nullptr;
};

// The running install's answer to a Cancel (true when no install is running).
bool ConfirmUserAbort();

}  // namespace tmby
