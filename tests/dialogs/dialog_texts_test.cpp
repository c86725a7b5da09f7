// Every text the dialogs show is in the master language file, so that no dialog is left partly
// in English. Each registered dialog (the standard set, the disk prompt and any dialog registered
// beside them) is made and translated into a language whose every text is a marker of its
// identifier; a caption, text or item that still shows anything else has no entry to translate
// it by.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "base/path_text.h"
#include "dialogs/dialog_manager.h"
#include "dialogs/std_dialogs.h"
#include "platform/script/script_ui.h"
#include "support/registered_dialogs.h"
#include "translate/translate_controls.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {
namespace {

TStrings MasterLanguage() {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "lang/tmbiEnglish.txt", std::ios::binary);
  return SplitLanguageText(
      std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

// The master with every text replaced by "<GLID>": what is shown of it after a translation names
// the entry it came from; whatever else is shown was not translated.
TStrings MarkerLanguage(const TStrings& master) {
  TStrings out;
  const TParsedLanguage parsed = ParseLanguageLines(master);
  for (const TLanguageString& s : parsed.Strings) out.push_back(std::to_string(s.GLID) + ";<>");
  for (const TLanguageMemo& m : parsed.Memos) {
    out.push_back("#" + std::to_string(m.GLID));
    out.push_back("<>");
    out.push_back("#");
  }
  return out;
}

// The texts of `component` and of everything it owns that are still shown untranslated.
void Untranslated(TComponent& component, const std::string& form, std::vector<std::string>& out) {
  int32_t glid = 0;
  if (const auto* label = dynamic_cast<const TTranslateLabel*>(&component)) glid = label->GLID();
  if (const auto* button = dynamic_cast<const TTranslateBitBtn*>(&component)) {
    glid = button->GLID();
  }
  // A negative identifier: a text the program fills in at run time.
  if (glid >= 0) {
    const std::string where = form + (component.Name() == form ? "" : "." + component.Name());
    const auto check = [&](const std::string& what, const std::string& text) {
      if (!TrimText(text).empty() && text != "<>")
        out.push_back(where + what + " \"" + text + "\"");
    };
    for (const TPropInfo* p : component.ClassInfo().Properties()) {
      if (p->Kind() != TPropKind::pkString || p->ReadOnly() || SameText(p->Name(), "NAME")) {
        continue;
      }
      check("." + p->Name(), p->GetString(component));
    }
    if (auto* list = dynamic_cast<ui::TCustomListBox*>(&component)) {
      for (const std::string& item : list->Items()) check(".Items", item);
    }
    if (auto* group = dynamic_cast<ui::TRadioGroup*>(&component)) {
      for (const std::string& item : group->Items()) check(".Items", item);
    }
  }
  for (TComponent* owned : component.ComponentList()) Untranslated(*owned, form, out);
}

TEST(DialogTexts, EveryTextOfEveryRegisteredDialogHasAnEntryInTheMasterLanguage) {
  std::ostringstream transcript;
  platform::script::ScriptUi ui(&transcript, {});
  platform::ScopedUi scoped(&ui);
  ui::TApplication app;
  TTranslator translator(nullptr);
  const TStrings master = MasterLanguage();
  translator.GetLanguage(tlEnglish)->SetStrings(master);
  translator.GetLanguage(tlGerman)->SetStrings(MarkerLanguage(master));
  translator.SetTranslateIntoLanguage(tlGerman);
  DialogRegistry().Reset();
  RegisterStandardDialogs();
  RegisterChangeDiskDialog();
  const std::vector<const TClassInfo*> classes = fixtures::RegisteredDialogClasses();
  EXPECT_GE(classes.size(), 8u);
  std::vector<std::string> untranslated;
  for (const TClassInfo* cls : classes) {
    auto* form = dynamic_cast<TBaseTamberlyForm*>(cls->Create(&app));
    ASSERT_NE(form, nullptr) << cls->Name();
    form->AfterConstruction();
    form->ApplyLanguage();
    Untranslated(*form, form->Name(), untranslated);
    TComponent::Free(form);
  }
  DialogRegistry().Reset();
  std::string lines;
  for (const std::string& u : untranslated) lines += "\n  " + u;
  EXPECT_TRUE(untranslated.empty())
      << "shown in English whatever the language (lang/tmbiEnglish.txt has no entry):" << lines;
}

}  // namespace
}  // namespace tmby
