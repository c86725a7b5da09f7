// The installer's main window class and the handlers a definition binds to it.
//
// `TmainForm` is the root of an install definition: a borderless black form holding the title
// band (`Backdrop1`, a TBackdrop with `Label1`) and the splash picture (`Image321`). Its create and
// activation handlers are registered by name, so that a definition writes
//   OnCreate = FormCreate
//   OnActivate = FormActivate
// and they take what they check from the form's own published properties:
//   PrerequisiteLibrary   a library the product cannot do without ('' : no check)
//   PrerequisiteMessage   the warning shown when it cannot be loaded ('' : a generic text)
//   RedistLibrary         a library a redistributable file provides ('' : no check)
//   RedistComponent       the file component to include when RedistLibrary cannot be loaded
//
// FormCreate computes the dialogs' background colour (DialogColor) and includes RedistComponent
// when RedistLibrary cannot be loaded. FormActivate shows a warning box with OK and closes the
// main window (ending the program with kPrerequisiteMissingExitCode) when PrerequisiteLibrary
// cannot be loaded. Library probing
// goes through platform::Port().Libraries().CanLoad.
#pragma once

#include <functional>
#include <string>

#include "ui/forms.h"

namespace tmby::ui {

class TmainForm : public TForm {
  TMBY_CLASS(TmainForm, TForm)
 public:
  explicit TmainForm(TComponent* owner);

  const std::string& PrerequisiteLibrary() const { return prerequisite_library_; }
  void SetPrerequisiteLibrary(const std::string& v) { prerequisite_library_ = v; }
  const std::string& PrerequisiteMessage() const { return prerequisite_message_; }
  void SetPrerequisiteMessage(const std::string& v) { prerequisite_message_ = v; }
  const std::string& RedistLibrary() const { return redist_library_; }
  void SetRedistLibrary(const std::string& v) { redist_library_ = v; }
  TComponent* RedistComponent() const { return redist_component_; }
  void SetRedistComponent(TComponent* component);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::string prerequisite_library_;
  std::string prerequisite_message_;
  std::string redist_library_;
  TComponent* redist_component_ = nullptr;
};

// The exit code of a program ended by a missing prerequisite library.
inline constexpr int kPrerequisiteMissingExitCode = 1;

// The background colour of the standard dialogs, computed by FormCreate (clBtnFace until then).
TColor DialogColor();
void SetDialogColor(TColor color);

// The dialog colour for a screen of `bits_per_pixel` (bits per pixel times planes): clWindow moved
// 45 % toward clBtnFace above 8 bits, else clBtnFace.
TColor ComputeDialogColor(int bits_per_pixel);

// How FormCreate includes a component. The default sets its published Boolean property "Include"
// to true; the engine may install another way. Tests reset it with nullptr.
using TIncludeComponentHook = std::function<void(TComponent& component)>;
void SetIncludeComponentHook(TIncludeComponentHook hook);

// True when the library cannot be loaded (asked through the port).
bool LibraryMissing(const std::string& name);

// The warning FormActivate shows for a missing prerequisite library.
std::string PrerequisiteWarning(const TmainForm& form);

// The handlers (sender: the main form).
void FormCreate(TComponent* sender);
void FormActivate(TComponent* sender);
// Registers FormCreate and FormActivate under those names.
void RegisterMainFormHandlers(TEventHandlers& handlers);

}  // namespace tmby::ui
