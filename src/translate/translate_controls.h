// The controls the translator translates by identifier: a label and a button that carry a
// language string identifier (GLID). 0 means "translate by text like any other control"; a
// negative identifier keeps the text as it is.
#pragma once

#include <cstdint>

#include "base/component.h"
#include "ui/controls.h"
#include "ui/std_controls.h"

namespace tmby {

class TTranslateLabel : public ui::TLabel {
  TMBY_CLASS(TTranslateLabel, ui::TLabel)
 public:
  explicit TTranslateLabel(TComponent* owner) : ui::TLabel(owner) {}
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }

 private:
  int32_t glid_ = 0;
};

class TTranslateBitBtn : public ui::TBitBtn {
  TMBY_CLASS(TTranslateBitBtn, ui::TBitBtn)
 public:
  explicit TTranslateBitBtn(TComponent* owner) : ui::TBitBtn(owner) {}
  int32_t GLID() const { return glid_; }
  void SetGLID(int32_t glid) { glid_ = glid; }

 private:
  int32_t glid_ = 0;
};

// Registers TTranslator, TTranslateLabel and TTranslateBitBtn, so that a definition can hold them.
void RegisterTranslateClasses(TClassRegistry& registry);

}  // namespace tmby
