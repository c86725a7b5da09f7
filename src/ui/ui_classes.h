// Registration of the window model's classes with a class registry, so that a definition can hold
// `object Backdrop1: TBackdrop` ... `end`.
#pragma once

#include "base/component.h"

namespace tmby::ui {

// Registers TForm, TmainForm, TPanel, TLabel, TImage, TBevel, TBackdrop and the standard controls
// (RegisterStdControlClasses).
void RegisterUiClasses(TClassRegistry& registry);

}  // namespace tmby::ui
