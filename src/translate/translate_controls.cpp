#include "translate/translate_controls.h"

#include "translate/translator.h"

namespace tmby {

const TClassInfo& TTranslateLabel::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTranslateLabel, ui::TLabel>(
      "TTranslateLabel", [](TClassBuilder<TTranslateLabel>& c) {
        c.Integer("GLID", &TTranslateLabel::GLID, &TTranslateLabel::SetGLID, 0);
      });
  return info;
}

const TClassInfo& TTranslateBitBtn::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTranslateBitBtn, ui::TBitBtn>(
      "TTranslateBitBtn", [](TClassBuilder<TTranslateBitBtn>& c) {
        c.Integer("GLID", &TTranslateBitBtn::GLID, &TTranslateBitBtn::SetGLID, 0);
      });
  return info;
}

void RegisterTranslateClasses(TClassRegistry& registry) {
  registry.Register({&TTranslator::StaticClass(), &TTranslateLabel::StaticClass(),
                     &TTranslateBitBtn::StaticClass()});
}

}  // namespace tmby
