#include "ui/main_form.h"

#include "base/exceptions.h"
#include "platform/port.h"

namespace tmby::ui {

namespace {

TColor g_dialog_color = clBtnFace;
TIncludeComponentHook g_include_hook;

void IncludeByProperty(TComponent& component) {
  const TPropInfo* include = component.ClassInfo().FindProperty("Include");
  if (include == nullptr || include->Kind() != TPropKind::pkBoolean) {
    throw Exception(
        FormatText("%s cannot be included: it has no Include property", {component.Name()}));
  }
  include->SetOrd(component, 1);
}

}  // namespace

const TClassInfo& TmainForm::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TmainForm, TForm>("TmainForm", [](TClassBuilder<TmainForm>& c) {
        c.String("PrerequisiteLibrary", &TmainForm::PrerequisiteLibrary,
                 &TmainForm::SetPrerequisiteLibrary);
        c.String("PrerequisiteMessage", &TmainForm::PrerequisiteMessage,
                 &TmainForm::SetPrerequisiteMessage);
        c.String("RedistLibrary", &TmainForm::RedistLibrary, &TmainForm::SetRedistLibrary);
        c.Reference("RedistComponent", &TmainForm::RedistComponent, &TmainForm::SetRedistComponent);
      });
  return info;
}

TmainForm::TmainForm(TComponent* owner) : TForm(owner) {}

void TmainForm::SetRedistComponent(TComponent* component) {
  SetReference(redist_component_, component);
}

void TmainForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == redist_component_) redist_component_ = nullptr;
  TForm::Notification(component, operation);
}

TColor DialogColor() { return g_dialog_color; }

void SetDialogColor(TColor color) { g_dialog_color = color; }

TColor ComputeDialogColor(int bits_per_pixel) {
  if (bits_per_pixel > 8) return Blend(clWindow, clBtnFace, 45, bits_per_pixel);
  return clBtnFace;
}

void SetIncludeComponentHook(TIncludeComponentHook hook) { g_include_hook = std::move(hook); }

bool LibraryMissing(const std::string& name) { return !platform::Port().Libraries().CanLoad(name); }

std::string PrerequisiteWarning(const TmainForm& form) {
  if (!form.PrerequisiteMessage().empty()) return form.PrerequisiteMessage();
  return FormatText(
      "This product needs %s, which is not installed on this computer. Please install it and "
      "run the setup again.",
      {form.PrerequisiteLibrary()});
}

void FormCreate(TComponent* sender) {
  int bits = 32;
  if (platform::IUi* ui = platform::CurrentUi()) bits = ui->BitsPerPixel();
  SetDialogColor(ComputeDialogColor(bits));
  auto* form = dynamic_cast<TmainForm*>(sender);
  if (form == nullptr || form->RedistLibrary().empty() || form->RedistComponent() == nullptr) {
    return;
  }
  if (!LibraryMissing(form->RedistLibrary())) return;
  if (g_include_hook) {
    g_include_hook(*form->RedistComponent());
  } else {
    IncludeByProperty(*form->RedistComponent());
  }
}

void FormActivate(TComponent* sender) {
  auto* form = dynamic_cast<TmainForm*>(sender);
  if (form == nullptr || form->PrerequisiteLibrary().empty()) return;
  if (!LibraryMissing(form->PrerequisiteLibrary())) return;
  const std::string caption = Application() != nullptr ? Application()->Title() : form->Caption();
  const std::string text = PrerequisiteWarning(*form);
  if (TApplication* app = Application()) {
    app->MessageBox(text, caption, platform::mb::kOk | platform::mb::kIconWarning);
    if (app->MainForm() == form) app->SetExitCode(kPrerequisiteMissingExitCode);
  } else {
    platform::Ui().MessageBox(text, caption, platform::mb::kOk | platform::mb::kIconWarning);
  }
  form->Close();
}

void RegisterMainFormHandlers(TEventHandlers& handlers) {
  handlers.Register<TNotifyEvent>("FormCreate", &FormCreate);
  handlers.Register<TNotifyEvent>("FormActivate", &FormActivate);
}

}  // namespace tmby::ui
