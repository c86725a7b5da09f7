#include "dialogs/base_forms.h"

#include <cmath>

#include "base/exceptions.h"
#include "dialogs/dialog_manager.h"
#include "model/install_model.h"
#include "net/net_location.h"
#include "platform/ui_port.h"
#include "translate/translator.h"

namespace tmby {

namespace {

// Half a difference, as the centre lines are computed: in floating point, then truncated toward
// zero or rounded to the nearest integer with halves to even.
int CentreLine(int screen, int window, bool round) {
  const double exact = screen / 2.0 - window / 2.0;
  return round ? static_cast<int>(std::nearbyint(exact)) : static_cast<int>(std::trunc(exact));
}

TTmbyLanguage TargetOf(bool useOwn, TTmbyLanguage own) {
  if (useOwn) return own;
  TTranslator* translator = CurrentTranslator();
  return translator != nullptr ? translator->TranslateIntoLanguage() : tlUser;
}

// The language steps shared by a form and a dialog component: the font, then the texts.
// Returns the language the texts are in afterwards.
TTmbyLanguage ApplyLanguageTo(ui::TCustomForm& form, bool applyFont, bool translate,
                              TTmbyLanguage textLanguage, bool useOwn, TTmbyLanguage own) {
  TTranslator* translator = CurrentTranslator();
  if (translator == nullptr) return textLanguage;
  const TTmbyLanguage target = TargetOf(useOwn, own);
  if (applyFont) translator->ApplyFont(form, false, target);
  if (translate) textLanguage = translator->TranslateComponent(textLanguage, form, target);
  // Texts that read from the right want the window mirrored; texts left in English (the target
  // language has none) keep the window as designed.
  TTmbyLanguage shown = textLanguage;
  if (shown == tlUser) {
    const TLanguage* user = translator->UserLanguage();
    shown = user != nullptr ? user->LanguageIdent() : tlEnglish;
  }
  form.MirrorLayout(LanguageRightToLeft(shown));
  if (ui::TApplication* app = ui::Application()) app->ProcessMessages();
  return textLanguage;
}

}  // namespace

ui::TPoint DialogPlacement(TTamberlyDialogPosition position, int leftOffset, int topOffset,
                           ui::TSize window, ui::TSize screen, int captionHeight,
                           bool roundCentre) {
  const int x0 = CentreLine(screen.cx, window.cx, roundCentre);
  const int y0 = CentreLine(screen.cy, window.cy, roundCentre);
  const int left = leftOffset;
  const int centre = x0 + leftOffset;
  const int right = screen.cx - window.cx - leftOffset;
  const int middle = y0 + topOffset;
  const int bottom = screen.cy - captionHeight - window.cy - topOffset;
  const int top = topOffset;
  switch (position) {
    case tdpCenterLeft: return {left, middle};
    case tdpCenter: return {centre, middle};
    case tdpCenterRight: return {right, middle};
    case tdpBottomLeft: return {left, bottom};
    case tdpBottomCenter: return {centre, bottom};
    case tdpBottomRight: return {right, bottom};
    case tdpTopLeft: return {left, top};
    case tdpTopCenter: return {centre, top};
    case tdpTopRight: return {right, top};
  }
  return {centre, middle};
}

void LoadThemeBitmap(ui::TPicture* picture) {
  IInstallRoot* root = InstallModel().CurrentInstall();
  if (picture == nullptr || root == nullptr) return;
  const TBytes theme = root->DialogThemePicture();
  if (!theme.empty()) picture->SetData(theme);
}

bool ConfirmUserAbort() {
  IInstallRoot* root = InstallModel().CurrentInstall();
  return root == nullptr || root->ConfirmUserAbort();
}

// ---------------------------------------------------------------------------------------------
// TBaseTamberlyForm

const TClassInfo& TBaseTamberlyForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TBaseTamberlyForm, ui::TForm>("TBaseTamberlyForm");
  return info;
}

TBaseTamberlyForm::TBaseTamberlyForm(TComponent* owner) : ui::TForm(owner) { Font().SetCharset(0); }

void TBaseTamberlyForm::ApplyLanguage() {
  TextLanguage = ApplyLanguageTo(*this, ApplyLanguageFont, TranslateTexts, TextLanguage,
                                 UseOwnLanguage, OwnLanguage);
}

void TBaseTamberlyForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == container_) container_ = nullptr;
  ui::TForm::Notification(component, operation);
}

// ---------------------------------------------------------------------------------------------
// TBaseInstallForm

const TClassInfo& TBaseInstallForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TBaseInstallForm, TBaseTamberlyForm>(
      "TBaseInstallForm", [](TClassBuilder<TBaseInstallForm>& c) {
        c.Reference("DC", &TBaseInstallForm::DC, &TBaseInstallForm::SetDC);
        c.Reference("DM", &TBaseInstallForm::DM, &TBaseInstallForm::SetDM);
        c.Integer("Order", &TBaseInstallForm::Order, &TBaseInstallForm::SetOrder, 0);
      });
  return info;
}

TBaseInstallForm::TBaseInstallForm(TComponent* owner) : TBaseTamberlyForm(owner) {
  if (auto* host = dynamic_cast<ui::TCustomForm*>(owner)) {
    // A page of a stage window: a frameless child window over the owner's client area.
    SetHostForm(host);
    SetBorderStyle(ui::bsNone);
    SetBorderIcons({});
    SetBounds(0, 0, host->ClientWidth(), host->Height());
  }
}

void TBaseInstallForm::SetDC(TCustomBaseInstallDlg* dc) { SetReference(dc_, dc); }

void TBaseInstallForm::SetDM(TDialogManager* dm) { SetReference(dm_, dm); }

TBaseFormContainer* TBaseInstallForm::Stage() const {
  return dynamic_cast<TBaseFormContainer*>(Owner());
}

bool TBaseInstallForm::IsFirstPage() {
  TBaseFormContainer* stage = Stage();
  if (stage == nullptr) return false;
  const int current = stage->CurrentIndex();
  for (int i = 0; i < current && i < stage->PageCount(); ++i) {
    if (!stage->Pages()[static_cast<size_t>(i)]->SkipPage()) return false;
  }
  return true;
}

bool TBaseInstallForm::IsLastPage() {
  TBaseFormContainer* stage = Stage();
  return stage != nullptr && stage->CurrentIndex() == stage->PageCount() - 1;
}

void TBaseInstallForm::AbortDialogs() {
  if (TBaseFormContainer* stage = Stage()) {
    stage->SetModalResult(ui::mrAbort);
  } else {
    SetModalResult(ui::mrAbort);
  }
}

void TBaseInstallForm::NextPage() {
  if (TBaseFormContainer* stage = Stage()) stage->NextPage();
}

void TBaseInstallForm::PreviousPage() {
  if (TBaseFormContainer* stage = Stage()) stage->PreviousPage();
}

void TBaseInstallForm::ActivatePage() {
  if (dynamic_cast<ui::TCustomForm*>(Owner()) == nullptr) return;
  PageEntered();
  if (HostForm() != nullptr) {
    // A page comes to the front of its stage window by being the one shown there.
    if (!Visible()) Show();
  } else {
    BringToFront();
  }
}

void TBaseInstallForm::CancelQuery() {
  if (ConfirmUserAbort()) AbortDialogs();
}

void TBaseInstallForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == dc_) dc_ = nullptr;
    if (component == dm_) dm_ = nullptr;
  }
  TBaseTamberlyForm::Notification(component, operation);
}

// ---------------------------------------------------------------------------------------------
// TBaseDuringCopyForm

const TClassInfo& TBaseDuringCopyForm::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TBaseDuringCopyForm, TBaseTamberlyForm>(
      "TBaseDuringCopyForm", [](TClassBuilder<TBaseDuringCopyForm>& c) {
        c.Reference("DM", &TBaseDuringCopyForm::DM, &TBaseDuringCopyForm::SetDM);
      });
  return info;
}

TBaseDuringCopyForm::TBaseDuringCopyForm(TComponent* owner) : TBaseTamberlyForm(owner) {}

void TBaseDuringCopyForm::SetDM(TDialogManager* dm) { SetReference(dm_, dm); }

void TBaseDuringCopyForm::CancelCopy() {
  if (ConfirmUserAbort()) {
    if (TTmbyCompress* archive = InstallModel().SharedArchive.get()) archive->Abort = true;
    // A download in progress stops at its next block.
    NetLocations().DownloadAbort = true;
  }
  SetModalResult(ui::mrAbort);
}

void TBaseDuringCopyForm::UpdateStatus(const TFileStatusParameter*,
                                       const TDownloadStatusParameter*) {}

void TBaseDuringCopyForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == dm_) dm_ = nullptr;
  TBaseTamberlyForm::Notification(component, operation);
}

// ---------------------------------------------------------------------------------------------
// TBaseFormContainer

const TClassInfo& TBaseFormContainer::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TBaseFormContainer, ui::TForm>("TBaseFormContainer");
  return info;
}

TBaseFormContainer::TBaseFormContainer(TComponent* owner) : ui::TForm(owner) {
  SetName("BaseFormContainer");
  SetBorderStyle(ui::bsDialog);
  SetBorderIcons({});
  SetCaption("BaseFormContainer");
  SetColor(ui::clWindow);
  Font().SetName("Arial");
  Font().SetHeight(-11);
  Font().SetCharset(0);
  tabs_ = new ui::TTabControl(this);
  tabs_->SetName("Tabs");
  tabs_->SetParent(this);
  tabs_->SetAlign(ui::alTop);
  tabs_->SetHeight(0);
  tabs_->SetVisible(false);
  displayPanel_ = new ui::TPanel(this);
  displayPanel_->SetName("DisplayPanel");
  displayPanel_->SetParent(this);
  displayPanel_->SetAlign(ui::alClient);
  displayPanel_->SetColor(ui::clYellow);
  displayPanel_->SetBevelOuter(ui::bvNone);
  SetBounds(0, 0, 478, 395);
  tabs_->OnChanging.Set([this](TComponent* sender, bool& allow) { TabsChanging(sender, allow); });
  OnClose.Set([this](TComponent* sender, ui::TCloseAction& action) { FormClose(sender, action); });
  OnShow.Set([this](TComponent* sender) { FormShow(sender); });
  OnResize.Set([this](TComponent* sender) { FormResize(sender); });
  creating_ = false;
}

void TBaseFormContainer::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    for (size_t i = 0; i < pages_.size(); ++i) {
      if (pages_[i] == component) {
        pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    if (component == tabs_) tabs_ = nullptr;
    if (component == displayPanel_) displayPanel_ = nullptr;
  }
  ui::TForm::Notification(component, operation);
}

void TBaseFormContainer::AddPage(TBaseInstallForm* page) {
  TStrings tabs = tabs_->Tabs();
  tabs.push_back(page->Name());
  tabs_->SetTabs(tabs);
  const ui::TRect r = displayPanel_->BoundsRect();
  page->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  pages_.push_back(page);
}

void TBaseFormContainer::SortPages() {
  for (size_t i = 0; i < pages_.size(); ++i) {
    for (size_t j = i + 1; j < pages_.size(); ++j) {
      if (pages_[j]->Order() < pages_[i]->Order()) std::swap(pages_[i], pages_[j]);
    }
  }
}

TBaseInstallForm* TBaseFormContainer::CurrentPage() const {
  const int index = CurrentIndex();
  return index >= 0 && index < PageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

bool TBaseFormContainer::GoToPage(int index, bool forward) {
  while (index >= 0 && index < PageCount()) {
    TBaseInstallForm* page = pages_[static_cast<size_t>(index)];
    if (page->SkipPage()) {
      index += forward ? 1 : -1;
      continue;
    }
    if (TBaseInstallForm* leaving = CurrentPage(); leaving != nullptr && leaving != page) {
      leaving->PageLeaving();
    }
    tabs_->SetTabIndex(index);
    SetCaption(page->Caption());
    // The caption is the page's, and reads as the page does.
    SetRightToLeft(page->RightToLeft());
    // Only the current page is shown on the display panel.
    for (TBaseInstallForm* other : pages_) {
      if (other != page && other->Visible()) other->Hide();
    }
    page->ActivatePage();
    return true;
  }
  return false;
}

void TBaseFormContainer::NextPage() {
  const int current = CurrentIndex();
  if (!GoToPage(current + 1, true)) GoToPage(current + 1, false);
  if (CurrentIndex() == current) {
    // The last page was current: its Next (Finish) ends the stage.
    closePermitted_ = true;
    SetModalResult(ui::mrOk);
  }
}

void TBaseFormContainer::PreviousPage() {
  const int current = CurrentIndex();
  if (!GoToPage(current - 1, false)) GoToPage(current - 1, true);
}

void TBaseFormContainer::PositionDialog(TTamberlyDialogPosition position, int leftOffset,
                                        int topOffset) {
  // Without a screen (a run without any user interface) there is nothing to place on.
  platform::IUi* ui = platform::CurrentUi();
  if (ui == nullptr) return;
  const ui::TPoint at = DialogPlacement(position, leftOffset, topOffset, {Width(), Height()},
                                        ui->ScreenSize(), ui->CaptionHeight(), false);
  SetBounds(at.X, at.Y, Width(), Height());
}

void TBaseFormContainer::FormClose(TComponent*, ui::TCloseAction& action) {
  // Only the pages end a stage: Finish on the last page, or a confirmed Cancel.
  if (!closePermitted_ && ModalResult() != ui::mrAbort) action = ui::caNone;
}

void TBaseFormContainer::FormShow(TComponent*) {
  PlacePages();
  if (!GoToPage(0, false)) GoToPage(0, true);
  BringToFront();
}

void TBaseFormContainer::FormResize(TComponent*) {
  if (creating_) return;
  PlacePages();
}

void TBaseFormContainer::PlacePages() {
  if (displayPanel_ == nullptr) return;
  const ui::TRect r = displayPanel_->BoundsRect();
  for (TBaseInstallForm* page : pages_) {
    page->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  }
}

void TBaseFormContainer::TabsChanging(TComponent*, bool&) {
  if (TBaseInstallForm* page = CurrentPage()) page->PageLeaving();
}

// ---------------------------------------------------------------------------------------------
// TCustomBaseInstallDlg

const TClassInfo& TCustomBaseInstallDlg::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TCustomBaseInstallDlg, TInstallObject>("TCustomBaseInstallDlg");
  return info;
}

TCustomBaseInstallDlg::TCustomBaseInstallDlg(TComponent* owner) : TInstallObject(owner) {}

void TCustomBaseInstallDlg::SetDialogManager(TDialogManager* manager) {
  if (manager == manager_) return;
  if (manager != nullptr) manager->AddDialog(this);
  if (manager_ != nullptr) manager_->RemoveDialog(this);
  SetReference(manager_, manager);
}

void TCustomBaseInstallDlg::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove) {
    if (component == manager_) manager_ = nullptr;
    if (component == dialog_) dialog_ = nullptr;
  }
  TInstallObject::Notification(component, operation);
}

void TCustomBaseInstallDlg::ApplyLanguage() {
  if (dialog_ == nullptr) return;
  TextLanguage = ApplyLanguageTo(*dialog_, ApplyLanguageFont, TranslateTexts, TextLanguage,
                                 UseOwnLanguage, OwnLanguage);
}

void TCustomBaseInstallDlg::AssignDialogProperties() {
  if (dialog_ == nullptr) {
    throw Exception(FormatText(
        LocalizeMessage("Cannot AssignDialogProperties for %s because the Dialog is Nil"),
        {Name()}));
  }
  dialog_->ApplyLanguageFont = ApplyLanguageFont;
  dialog_->TranslateTexts = TranslateTexts;
  dialog_->SetDialogContainer(Container());
  dialog_->UseOwnLanguage = UseOwnLanguage;
  dialog_->OwnLanguage = OwnLanguage;
  if (auto* page = dynamic_cast<TBaseInstallForm*>(dialog_)) page->SetDC(this);
  ApplyLanguage();
}

bool TCustomBaseInstallDlg::Execute() {
  try {
    OnBeforeShowDialog(this);
    const bool result = ShowDialog();
    if (ui::TApplication* app = ui::Application()) app->ProcessMessages();
    OnAfterShowDialog(this);
    return result;
  } catch (const EAbort&) {
    return false;
  }
}

bool TCustomBaseInstallDlg::ShowDialog() {
  if (!DialogEnabled()) return true;
  TComponent* owner = ui::Application();
  auto* form = dynamic_cast<TBaseTamberlyForm*>(FormClass().Create(owner));
  if (form == nullptr) throw Exception("The dialog class " + FormClass().Name() + " is no form");
  ui::TModalResult result = ui::mrNone;
  try {
    SetDialog(form);
    form->AfterConstruction();
    AssignDialogProperties();
    PlaceForm(*form);
    form->PageEntered();
    result = form->ShowModal();
  } catch (...) {
    SetDialog(nullptr);
    TComponent::Free(form);
    throw;
  }
  SetDialog(nullptr);
  TComponent::Free(form);
  if (result != ui::mrOk) throw EAIUserAbort();
  return true;
}

void TCustomBaseInstallDlg::PlaceForm(ui::TCustomForm& form) const {
  const int width = Width > 0 ? Width : form.Width();
  const int height = Height > 0 ? Height : form.Height();
  platform::IUi& ui = platform::Ui();
  const ui::TPoint at = DialogPlacement(Position, RelativeLeftOffset, RelativeTopOffset,
                                        {width, height}, ui.ScreenSize(), ui.CaptionHeight(), true);
  form.SetBounds(at.X, at.Y, width, height);
}

}  // namespace tmby
