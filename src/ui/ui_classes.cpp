#include "ui/ui_classes.h"

#include "ui/backdrop.h"
#include "ui/main_form.h"
#include "ui/std_controls.h"

namespace tmby::ui {

void RegisterUiClasses(TClassRegistry& registry) {
  registry.Register({&TForm::StaticClass(), &TmainForm::StaticClass(), &TPanel::StaticClass(),
                     &TLabel::StaticClass(), &TImage::StaticClass(), &TBevel::StaticClass(),
                     &TBackdrop::StaticClass()});
  RegisterStdControlClasses(registry);
}

}  // namespace tmby::ui
