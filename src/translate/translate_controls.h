// The controls the translator translates by identifier: a label and a button whose language string
// identifier (the GLID they publish, from TLabel and TButton) it looks their caption up by. 0 means
// "translate by text like any other control"; a negative identifier keeps the text as it is.
#pragma once

#include "base/component.h"
#include "ui/controls.h"
#include "ui/std_controls.h"

namespace tmby {

class TTranslateLabel : public ui::TLabel {
  TMBY_CLASS(TTranslateLabel, ui::TLabel)
 public:
  explicit TTranslateLabel(TComponent* owner) : ui::TLabel(owner) {}
};

class TTranslateBitBtn : public ui::TBitBtn {
  TMBY_CLASS(TTranslateBitBtn, ui::TBitBtn)
 public:
  explicit TTranslateBitBtn(TComponent* owner) : ui::TBitBtn(owner) {}
};

// Registers TTranslator, TTranslateLabel and TTranslateBitBtn, so that a definition can hold them.
void RegisterTranslateClasses(TClassRegistry& registry);

}  // namespace tmby
