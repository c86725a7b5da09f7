#include "translate/translator.h"

#include <utility>

#include "base/exceptions.h"
#include "platform/port.h"
#include "platform/ui_port.h"
#include "translate/translate_controls.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace tmby {

namespace {

TTranslator* g_current = nullptr;

bool IsBlankText(const std::string& s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

// Messages longer than a string element holds live in memos, one line or several joined by blanks.
constexpr char kMessageLineJoint[] = " ";

template <size_t I>
void PublishLanguage(TClassBuilder<TTranslator>& c) {
  c.Nested(LanguagePropertyName(PublishedLanguages()[I]),
           [](const TTranslator& t) -> const TLanguage& { return *t.Languages()[I]; });
}

template <size_t... I>
void PublishLanguages(TClassBuilder<TTranslator>& c, std::index_sequence<I...>) {
  (PublishLanguage<I>(c), ...);
}

}  // namespace

// Sets the target language for the time of one call; restores it without a change notification.
class TTranslator::TargetScope {
 public:
  TargetScope(TTranslator& translator, TTmbyLanguage target)
      : translator_(translator), saved_(translator.into_) {
    translator_.into_ = target;
  }
  ~TargetScope() { translator_.into_ = saved_; }
  TargetScope(const TargetScope&) = delete;
  TargetScope& operator=(const TargetScope&) = delete;

 private:
  TTranslator& translator_;
  TTmbyLanguage saved_;
};

const TClassInfo& TTranslator::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TTranslator, TComponent>("TTranslator", [](TClassBuilder<TTranslator>& c) {
        PublishLanguages(c, std::make_index_sequence<21>());
        c.Enum("TranslateIntoLanguage", &TTranslator::TranslateIntoLanguage,
               &TTranslator::SetTranslateIntoLanguage, std::optional<TTmbyLanguage>(tlUser));
      });
  return info;
}

TTranslator::TTranslator(TComponent* owner) : TComponent(owner) {
  for (const TTmbyLanguage language : PublishedLanguages()) {
    owned_.push_back(std::make_unique<TLanguage>(this, language));
    list_.push_back(owned_.back().get());
  }
  if (g_current == nullptr) {
    g_current = this;
    SetMessageTranslator([](const std::string& english) {
      return g_current != nullptr ? g_current->LocalizeMessage(english) : english;
    });
    platform::SetRightToLeftSource(
        [] { return g_current != nullptr && g_current->TextsReadFromRight(); });
  }
}

TTranslator::~TTranslator() {
  if (g_current == this) {
    g_current = nullptr;
    SetMessageTranslator(nullptr);
    platform::SetRightToLeftSource(nullptr);
  }
}

TLanguage* TTranslator::GetLanguage(TTmbyLanguage language) const {
  for (TLanguage* l : list_) {
    if (l->LanguageIdent() == language) return l;
  }
  return nullptr;
}

void TTranslator::SetTranslateIntoLanguage(TTmbyLanguage language) {
  into_ = language;
  if (OnChange) OnChange();
}

TLanguage* TTranslator::UserLanguage() const {
  uint16_t id = 0;
  try {
    id = platform::Port().System().UserDefaultLanguage();
  } catch (const std::exception&) {
    return nullptr;
  }
  return GetLanguage(LanguageFromLangId(id));
}

TLanguage* TTranslator::TargetLanguage() const {
  return into_ == tlUser ? UserLanguage() : GetLanguage(into_);
}

std::string TTranslator::TranslateText(TTmbyLanguage source, const std::string& text) const {
  const TLanguage* from = source == tlUser ? UserLanguage() : GetLanguage(source);
  if (from == nullptr) return text;
  const TLanguageString* found = from->FindStringByText(text);
  if (found == nullptr) return text;
  const TLanguage* to = TargetLanguage();
  const TLanguageString* translated = to != nullptr ? to->FindString(found->GLID) : nullptr;
  return translated != nullptr ? translated->Text : text;
}

std::string TTranslator::TranslateByGLID(int32_t glid, const std::string& defaultText) const {
  const TLanguage* to = TargetLanguage();
  const TLanguageString* found = to != nullptr ? to->FindString(glid) : nullptr;
  return found != nullptr ? found->Text : defaultText;
}

void TTranslator::TranslateStrings(TTmbyLanguage source, const TStrings& lines,
                                   TStrings& result) const {
  result = lines;
  const TLanguage* from = source == tlUser ? UserLanguage() : GetLanguage(source);
  if (from == nullptr) return;
  const TLanguageMemo* found = from->FindMemoByText(JoinLines(lines, "\r\n"), "\r\n");
  if (found == nullptr) return;
  const TLanguage* to = TargetLanguage();
  if (const TLanguageMemo* translated = to != nullptr ? to->FindMemo(found->GLID) : nullptr) {
    result = translated->Lines;
  }
}

void TTranslator::TranslateTexts(TTmbyLanguage source, TComponent& component) {
  // A control that carries an identifier is translated by it alone; a negative one not at all.
  int32_t glid = 0;
  if (const auto* label = dynamic_cast<const TTranslateLabel*>(&component)) glid = label->GLID();
  if (const auto* button = dynamic_cast<const TTranslateBitBtn*>(&component)) {
    glid = button->GLID();
  }
  if (glid != 0) {
    auto& control = static_cast<ui::TControl&>(component);
    if (glid > 0) control.SetCaption(TranslateByGLID(glid, control.Caption()));
    return;
  }
  for (const TPropInfo* p : component.ClassInfo().Properties()) {
    if (p->Kind() != TPropKind::pkString || p->ReadOnly() || SameText(p->Name(), "NAME")) {
      continue;
    }
    const std::string value = p->GetString(component);
    if (IsBlankText(value)) continue;
    // Only a changed text is stored: a setter may have coupling rules of its own.
    std::string translated = TranslateText(source, value);
    if (translated != value) p->SetString(component, translated);
  }
  auto translateItems = [&](const TStrings& items) {
    TStrings out = items;
    for (std::string& item : out) item = TranslateText(source, item);
    return out;
  };
  if (auto* list = dynamic_cast<ui::TCustomListBox*>(&component)) {
    list->SetItems(translateItems(list->Items()));
  }
  if (auto* group = dynamic_cast<ui::TRadioGroup*>(&component)) {
    group->SetItems(translateItems(group->Items()));
  }
}

TTmbyLanguage TTranslator::TranslateComponent(TTmbyLanguage source, TComponent& component) {
  auto* control = dynamic_cast<ui::TControl*>(&component);
  auto* label = dynamic_cast<ui::TLabel*>(&component);
  const bool wasVisible = control != nullptr && control->Visible();
  const bool wasAutoSize = label != nullptr && label->AutoSize();
  if (control != nullptr) {
    // Hidden while its texts change, so that it is not painted half translated; a form or a
    // picture has nothing to hide.
    const bool staysShown = dynamic_cast<ui::TCustomForm*>(control) != nullptr ||
                            dynamic_cast<ui::TImage*>(control) != nullptr;
    if (!staysShown) control->SetVisible(false);
    if (label != nullptr) label->SetAutoSize(false);
  }
  auto restore = [&] {
    if (control == nullptr) return;
    if (label != nullptr) label->SetAutoSize(wasAutoSize);
    control->SetVisible(wasVisible);
    if (auto* windowed = dynamic_cast<ui::TWinControl*>(control)) windowed->Realign();
  };
  try {
    TranslateTexts(source, component);
    const std::vector<TComponent*> owned = component.ComponentList();
    for (TComponent* c : owned) {
      if (dynamic_cast<ui::TCustomForm*>(c) == nullptr) TranslateComponent(source, *c);
    }
  } catch (...) {
    restore();
    throw;
  }
  const TLanguage* target = TargetLanguage();
  const TTmbyLanguage result = target == nullptr || target->Strings().Count() == 0 ? source : into_;
  restore();
  return result;
}

TTmbyLanguage TTranslator::TranslateComponent(TTmbyLanguage source, TComponent& component,
                                              TTmbyLanguage target) {
  TargetScope scope(*this, target);
  return TranslateComponent(source, component);
}

void TTranslator::ApplyFontTo(ui::TControl& control, const TLanguage& language) {
  ui::TFont& font = control.Font();
  if (language.FontOverride()) {
    font.Assign(language.Font());
  } else {
    const int charset = LanguageCharset(language.LanguageIdent());
    const TLanguageFontChoice choice = LanguageFont(language.LanguageIdent());
    font.SetCharset(charset);
    font.SetName(choice.Name);
    if (font.Size() < choice.MinSize) font.SetSize(choice.MinSize);
  }
  if (auto* windowed = dynamic_cast<ui::TWinControl*>(&control)) {
    const std::vector<ui::TControl*> children = windowed->ControlList();
    for (ui::TControl* child : children) ApplyFontTo(*child, language);
  }
}

void TTranslator::ApplyFont(ui::TControl& control, bool keepTarget) {
  const TLanguage* language = TargetLanguage();
  if (language == nullptr) return;
  if (language->Strings().Count() == 0 && !keepTarget) language = GetLanguage(tlEnglish);
  ApplyFontTo(control, *language);
}

void TTranslator::ApplyFont(ui::TControl& control, bool keepTarget, TTmbyLanguage target) {
  TargetScope scope(*this, target);
  ApplyFont(control, keepTarget);
}

bool TTranslator::TextsReadFromRight() const {
  // A target without texts leaves them in English.
  const TLanguage* target = TargetLanguage();
  return target != nullptr && target->Strings().Count() > 0 &&
         LanguageRightToLeft(target->LanguageIdent());
}

std::string TTranslator::LocalizeMessage(const std::string& english) const {
  std::string translated = TranslateText(tlEnglish, english);
  if (translated == english && CutToCharacters(english, kMaxLanguageText).size() < english.size()) {
    const TLanguage* from = GetLanguage(tlEnglish);
    const TLanguage* to = TargetLanguage();
    const TLanguageMemo* found = from->FindMemoByText(english, kMessageLineJoint);
    const TLanguageMemo* memo =
        found != nullptr && to != nullptr ? to->FindMemo(found->GLID) : nullptr;
    if (memo != nullptr) translated = JoinLines(memo->Lines, kMessageLineJoint);
  }
  if (PlaceholderSequence(translated) != PlaceholderSequence(english)) return english;
  return translated;
}

// ---------------------------------------------------------------------------------------------

TTranslator* CurrentTranslator() { return g_current; }

TLanguage* GetLanguage(TTmbyLanguage language) {
  return g_current != nullptr ? g_current->GetLanguage(language) : nullptr;
}

TLanguage* UserLanguage() { return g_current != nullptr ? g_current->UserLanguage() : nullptr; }

TLanguage* TargetLanguage() { return g_current != nullptr ? g_current->TargetLanguage() : nullptr; }

std::string TranslateText(TTmbyLanguage source, const std::string& text) {
  return g_current != nullptr ? g_current->TranslateText(source, text) : text;
}

std::string TranslateByGLID(int32_t glid, const std::string& defaultText) {
  return g_current != nullptr ? g_current->TranslateByGLID(glid, defaultText) : defaultText;
}

void TranslateStrings(TTmbyLanguage source, const TStrings& lines, TStrings& result) {
  if (g_current != nullptr) {
    g_current->TranslateStrings(source, lines, result);
  } else {
    result = lines;
  }
}

TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component) {
  return g_current != nullptr ? g_current->TranslateComponent(source, component) : source;
}

TTmbyLanguage TranslateComponent(TTmbyLanguage source, TComponent& component,
                                 TTmbyLanguage target) {
  return g_current != nullptr ? g_current->TranslateComponent(source, component, target) : source;
}

void ApplyFont(ui::TControl& control, bool keepTarget) {
  if (g_current != nullptr) g_current->ApplyFont(control, keepTarget);
}

void ApplyFont(ui::TControl& control, bool keepTarget, TTmbyLanguage target) {
  if (g_current != nullptr) g_current->ApplyFont(control, keepTarget, target);
}

std::string PlaceholderSequence(const std::string& format) {
  // The same reading as FormatText: "%%" is a percent sign, "%s" and "%d" take an argument.
  std::string out;
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '%') continue;
    const char c = format[i + 1];
    if (c == 's' || c == 'd') out += c;
    if (c == '%' || c == 's' || c == 'd') ++i;
  }
  return out;
}

}  // namespace tmby
