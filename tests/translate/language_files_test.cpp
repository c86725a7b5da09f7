// The kit's 21 language files (lang/): each parses, carries every identifier of the English file
// with the same placeholders in the same order, and no text the kit would cut. A text added to
// the English file fails this test until every sibling has it too.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "translate/language.h"
#include "translate/language_check.h"

namespace tmby {
namespace {

TStrings LanguageFile(TTmbyLanguage language) {
  std::string root = __FILE__;
  root = root.substr(0, root.rfind("tests"));
  std::ifstream in(root + "lang/" + LanguageFileName(language), std::ios::binary);
  EXPECT_TRUE(in.good()) << LanguageFileName(language) << " is missing";
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return SplitLanguageText(bytes);
}

std::string Lines(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems) out += "\n  " + p;
  return out;
}

TEST(LanguageFiles, TheEnglishMasterParsesAndEveryTextCanBeFound) {
  const TStrings english = LanguageFile(tlEnglish);
  EXPECT_EQ(CheckLanguageFile(english, english), std::vector<std::string>())
      << Lines(CheckLanguageFile(english, english));
  // The identifiers the standard dialogs carry.
  const TParsedLanguage parsed = ParseLanguageLines(english);
  for (const int glid : {2, 3, 4, 5, 6, 14, 15, 16, 26, 38, 41, 42, 43, 52, 60, 72, 85, 86, 87}) {
    bool found = false;
    for (const TLanguageString& s : parsed.Strings) found = found || s.GLID == glid;
    EXPECT_TRUE(found) << glid;
  }
}

TEST(LanguageFiles, EverySiblingCarriesTheEnglishIdentifiersAndPlaceholders) {
  const TStrings english = LanguageFile(tlEnglish);
  const TParsedLanguage master = ParseLanguageLines(english);
  for (const TTmbyLanguage language : PublishedLanguages()) {
    if (language == tlEnglish) continue;
    const TStrings lines = LanguageFile(language);
    if (lines.empty()) continue;
    const std::vector<std::string> problems = CheckLanguageFile(english, lines);
    EXPECT_TRUE(problems.empty()) << LanguageFileName(language) << Lines(problems);
    if (!problems.empty()) continue;
    // Translated, not copied: the sentences of the dialogs differ from the English ones.
    const TParsedLanguage parsed = ParseLanguageLines(lines);
    for (const int glid : {2, 3, 38, 52, 60, 85, 86, 87}) {
      for (const TLanguageString& s : parsed.Strings) {
        if (s.GLID != glid) continue;
        for (const TLanguageString& m : master.Strings) {
          if (m.GLID == glid) {
            EXPECT_NE(s.Text, m.Text) << LanguageFileName(language) << " " << glid;
          }
        }
      }
    }
  }
}

TEST(LanguageCheck, ReportsWhatATranslationLostOrBroke) {
  const TStrings master = {
      "1;Cannot copy from %s to %s", "2;Cancel", "3;Expand %a for %s", "#9", "Long %d", "#"};
  EXPECT_TRUE(CheckLanguageFile(master, {"1;Von %s nach %s", "2;Abbrechen", "3;%a für %s", "#9",
                                         "Lang", "%d", "#"})
                  .empty());
  const auto problems =
      CheckLanguageFile(master, {"1;Nach %s von %d", "2;" + std::string(256, 'x'), "2;Nochmal",
                                 "3;%s für %a;?", "#9", "ohne", "#"});
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "line 2: string 2 is longer than 255 characters",
                          "line 3: string 2 appears a second time",
                          "line 4: string 3 holds a second \";\": the text after it is lost",
                          "line 1: string 1 has the placeholders %s%d, English has %s%s",
                          "line 4: string 3 has the placeholders %s%a, English has %a%s",
                          "line 5: memo 9 has the placeholders none, English has %d",
                      }));
  EXPECT_EQ(CheckLanguageFile(master, {"2;Abbrechen"}),
            (std::vector<std::string>{"string 1 is missing (English: Cannot copy from %s to %s)",
                                      "string 3 is missing (English: Expand %a for %s)",
                                      "memo 9 is missing"}));
  EXPECT_EQ(CheckLanguageFile(master, {"2;a", "#"}),
            (std::vector<std::string>{
                "Found the end of memo marker # at line 1. Was not in a memo however"}));
  // A question ended with ";" (the Greek question mark typed as a semicolon) loses it.
  EXPECT_EQ(CheckLanguageFile({"1;Remove %s?"}, {"1;Να καταργηθεί το %s; "}),
            (std::vector<std::string>{"line 1: string 1 ends with \";\", which ends the text and "
                                      "is not shown (a Greek question mark is U+037E)"}));
  EXPECT_TRUE(CheckLanguageFile({"1;Remove %s?"}, {"1;Να καταργηθεί το %s\u037E"}).empty());
  const TStrings twice = {"1;Cancel", "2;CANCEL"};
  EXPECT_EQ(CheckLanguageFile(twice, twice),
            (std::vector<std::string>{"line 2: string 2 repeats the text of string 1"}));
}

}  // namespace
}  // namespace tmby
