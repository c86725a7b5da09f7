#include "translate/translate_controls.h"

#include "translate/translator.h"

namespace tmby {

const TClassInfo& TTranslateLabel::StaticClass() {
  static const TClassInfo info = TClassInfo::Define<TTranslateLabel, ui::TLabel>("TTranslateLabel");
  return info;
}

const TClassInfo& TTranslateBitBtn::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTranslateBitBtn, ui::TBitBtn>("TTranslateBitBtn");
  return info;
}

void RegisterTranslateClasses(TClassRegistry& registry) {
  registry.Register({&TTranslator::StaticClass(), &TTranslateLabel::StaticClass(),
                     &TTranslateBitBtn::StaticClass()});
}

}  // namespace tmby
