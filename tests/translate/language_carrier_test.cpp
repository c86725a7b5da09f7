// How a definition comes to carry its languages: tmbystamp's step, read back as the setup program
// reads it.
#include "translate/language_carrier.h"

#include <gtest/gtest.h>

#include <map>

#include "base/definition_reader.h"
#include "base/exceptions.h"
#include "translate/translate_controls.h"
#include "translate/translator.h"
#include "ui/forms.h"

namespace tmby {
namespace {

class LanguageCarrierTest : public ::testing::Test {
 protected:
  LanguageCarrierTest() {
    classes_.Register({&ui::TForm::StaticClass()});
    RegisterTranslateClasses(classes_);
    options_.Classes = &classes_;
  }

  TCarriedLanguages Carry(const std::string& definition) {
    return CarryLanguages(definition, [&](const std::string& name) -> std::optional<std::string> {
      const auto found = files_.find(name);
      if (found == files_.end()) return std::nullopt;
      return found->second;
    });
  }
  TOwned<TComponent> Read(const std::string& text) {
    return ReadDefinition(text, "product.tmby", options_);
  }

  std::map<std::string, std::string> files_ = {
      {"tmbiEnglish.txt", "* master\n5;Next >\n6;Cancel\n"},
      {"tmbiGerman.txt", "\xEF\xBB\xBF* Deutsch\r\n5;Weiter >\r\n6;Abbrechen\r\n"},
      {"tmbiFrench.txt", "5;Suivant >\n6;Annuler %s\n"},
  };
  TClassRegistry classes_;
  TDefinitionOptions options_;
};

TEST_F(LanguageCarrierTest, TheLanguagesGoIntoTheTranslatorAheadOfWhatTheDefinitionSays) {
  const TCarriedLanguages carried = Carry(
      "object Form1: TForm\n"
      "  Caption = 'It''s'\n"
      "  object MainTranslator: TTranslator // the product's translator\n"
      "    lgFrench.Strings = (\n"
      "      '5;Continuer >')\n"
      "  end\n"
      "end\n");
  EXPECT_TRUE(carried.HasTranslator);
  EXPECT_EQ(carried.Carried, (std::vector<TTmbyLanguage>{tlEnglish, tlFrench, tlGerman}));
  EXPECT_EQ(carried.Warnings,
            (std::vector<std::string>{
                "tmbiFrench.txt: line 2: string 6 has the placeholders %s, English has none"}));
  TOwned<TComponent> form = Read(carried.Definition);
  auto* translator = static_cast<TTranslator*>(form->FindComponent("MainTranslator"));
  ASSERT_NE(translator, nullptr);
  EXPECT_EQ(translator->GetLanguage(tlGerman)->Strings().Lines(),
            (TStrings{"* Deutsch", "5;Weiter >", "6;Abbrechen"}));
  EXPECT_EQ(translator->GetLanguage(tlGerman)->FindString(6)->LineIndex, 2);
  // The definition's own French table came later and replaced the file's.
  EXPECT_EQ(translator->GetLanguage(tlFrench)->Strings().Lines(), (TStrings{"5;Continuer >"}));
  EXPECT_EQ(translator->GetLanguage(tlSpanish)->Strings().Count(), 0);
}

TEST_F(LanguageCarrierTest, ABrokenFileIsRefusedAndADefinitionWithoutTranslatorStaysAsItIs) {
  files_["tmbiGerman.txt"] = "5;Weiter >\n#\n";
  try {
    Carry("object Form1: TForm\n  object T: TTranslator\n  end\nend\n");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(),
                 "tmbiGerman.txt: Found the end of memo marker # at line 1. Was not in a memo "
                 "however");
  }
  files_["tmbiGerman.txt"] = std::string(kMaxLanguageFile + 1, '*');
  EXPECT_THROW(Carry("object T: TTranslator\nend\n"), Exception);
  const std::string plain = "object Form1: TForm\n  Caption = 'object X: TTranslator'\nend";
  const TCarriedLanguages carried = Carry(plain);
  EXPECT_FALSE(carried.HasTranslator);
  EXPECT_EQ(carried.Definition, plain);
  // A translator on the last line, without a line break after it.
  files_.erase("tmbiGerman.txt");
  const TCarriedLanguages last = Carry("object T: TTranslator");
  EXPECT_EQ(last.Definition.substr(0, 23), "object T: TTranslator\n ");
  EXPECT_EQ(last.Carried, (std::vector<TTmbyLanguage>{tlEnglish, tlFrench}));
}

}  // namespace
}  // namespace tmby
