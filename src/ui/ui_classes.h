// Registration of the window model's classes with a class registry, so that a definition can hold
// `object Backdrop1: TBackdrop` ... `end`.
#pragma once

#include "base/component.h"

namespace tmby::ui {

// Registers TForm, TmainForm, TPanel, TLabel, TImage, TBackdrop and the standard controls
// (TButton, TBitBtn, TListBox, TGroupBox, TRadioGroup).
void RegisterUiClasses(TClassRegistry& registry);

}  // namespace tmby::ui
