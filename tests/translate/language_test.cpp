// Language files: the line format, its failures, and the re-parse rules of a language's lines.
#include "translate/language.h"

#include <gtest/gtest.h>

#include <random>

#include "base/exceptions.h"
#include "support/memory_machine.h"
#include "translate/translator.h"

namespace tmby {
namespace {

std::string ParseFailure(const TStrings& lines) {
  try {
    ParseLanguageLines(lines);
  } catch (const Exception& e) {
    return e.what();
  }
  return "(parsed)";
}

TEST(LanguageFormat, StringsMemosCommentsAndBlankLines) {
  const TParsedLanguage parsed =
      ParseLanguageLines({"5;Next >", "", "* a comment", "#12", "First line", "  * another comment",
                          "  Second line  ", "#", "7;Yes;No", "  9; padded"});
  ASSERT_EQ(parsed.Strings.size(), 3u);
  EXPECT_EQ(parsed.Strings[0].GLID, 5);
  EXPECT_EQ(parsed.Strings[0].Text, "Next >");
  EXPECT_EQ(parsed.Strings[0].LineIndex, 0);
  // Only the second field is the text, and it is kept as it stands between the separators.
  EXPECT_EQ(parsed.Strings[1].Text, "Yes");
  EXPECT_EQ(parsed.Strings[2].GLID, 9);
  EXPECT_EQ(parsed.Strings[2].Text, " padded");
  ASSERT_EQ(parsed.Memos.size(), 1u);
  EXPECT_EQ(parsed.Memos[0].GLID, 12);
  EXPECT_EQ(parsed.Memos[0].LineIndex, 3);
  EXPECT_EQ(parsed.Memos[0].Lines, (TStrings{"First line", "Second line"}));
}

TEST(LanguageFormat, MemoLinesAreTakenLiterallyAndAnUnclosedMemoIsDropped) {
  const TParsedLanguage parsed =
      ParseLanguageLines({"#3;comment after the identifier", "4;not a string here", "#8", "#",
                          "#20", "never closed", "21;inside the open memo"});
  ASSERT_EQ(parsed.Memos.size(), 1u);
  EXPECT_EQ(parsed.Memos[0].GLID, 3);
  EXPECT_EQ(parsed.Memos[0].Lines, (TStrings{"4;not a string here", "#8"}));
  EXPECT_TRUE(parsed.Strings.empty());
}

TEST(LanguageFormat, FailuresNameTheZeroBasedLineAndTheTrimmedText) {
  EXPECT_EQ(ParseFailure({"#"}),
            "Found the end of memo marker # at line 0. Was not in a memo however");
  EXPECT_EQ(ParseFailure({"1;a", "", "  x;Text  "}),
            "The 2'th string (x;Text) does not have the proper format of GLID;Text or .GLID;");
  EXPECT_EQ(ParseFailure({";Text"}),
            "The 0'th string (;Text) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseFailure({"12"}),
            "The 0'th string (12) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseFailure({"12;   "}),
            "The 0'th string (12;) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseFailure({"#;x"}),
            "The 0'th string (#;x) does not have the proper format of GLID;Text");
  EXPECT_EQ(ParseFailure({"#1x"}),
            "The 0'th string (#1x) does not have the proper format of GLID;Text or .GLID;");
  // Beyond 32 bits is not a number either.
  EXPECT_EQ(ParseFailure({"4294967296;big"}),
            "The 0'th string (4294967296;big) does not have the proper format of GLID;Text or "
            ".GLID;");
}

TEST(LanguageFormat, IdentifiersInEveryWrittenForm) {
  const TParsedLanguage parsed =
      ParseLanguageLines({"-3;minus", "+4;plus", "$1F;hex", "0x20;hex", "2147483647;max"});
  ASSERT_EQ(parsed.Strings.size(), 5u);
  EXPECT_EQ(parsed.Strings[0].GLID, -3);
  EXPECT_EQ(parsed.Strings[1].GLID, 4);
  EXPECT_EQ(parsed.Strings[2].GLID, 31);
  EXPECT_EQ(parsed.Strings[3].GLID, 32);
  EXPECT_EQ(parsed.Strings[4].GLID, 2147483647);
}

TEST(LanguageFormat, TextsAreCutAt255CharactersNeverInsideOne) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "\xC3\xA9";  // é, two bytes each
  const TParsedLanguage parsed = ParseLanguageLines({"1;" + text});
  EXPECT_EQ(parsed.Strings[0].Text, text.substr(0, 510));
  // A failure quotes a long line cut the same way, so a huge line never makes a huge message.
  const std::string failure = ParseFailure({"x" + std::string(100000, 'a')});
  EXPECT_LT(failure.size(), 400u);
  EXPECT_NE(failure.find("aaa...) does not have"), std::string::npos);
}

TEST(LanguageFormat, TextThatIsNotUtf8IsRefusedWithItsLine) {
  EXPECT_EQ(ParseFailure({"1;ok", "2;Gr\xFC\xDF"}), "The 1'th string is not UTF-8 text");
  EXPECT_EQ(ParseFailure({"#5", "\xC3"}), "The 1'th string is not UTF-8 text");
  // Overlong forms and UTF-16 halves are not UTF-8 either.
  EXPECT_EQ(ParseFailure({"1;\xC0\xAF"}), "The 0'th string is not UTF-8 text");
  EXPECT_EQ(ParseFailure({"1;\xED\xA0\x80"}), "The 0'th string is not UTF-8 text");
  // A file saved as UTF-16 (with or without its byte-order mark).
  const std::string utf16(
      "\xFF\xFE"
      "5\0;\0N\0\n\0",
      10);
  EXPECT_EQ(ParseFailure(SplitLanguageText(utf16)), "The 0'th string is not UTF-8 text");
  EXPECT_EQ(ParseFailure(SplitLanguageText(utf16.substr(2))), "The 0'th string is not UTF-8 text");
  // A comment is no text: a translator's note in another encoding costs the file nothing, in a
  // memo or outside one.
  const TParsedLanguage parsed =
      ParseLanguageLines({"* Gr\xFC\xDF"
                          "e aus M\xFC"
                          "nchen",
                          "1;ok", "#5", "*\xC3", "line", "#"});
  ASSERT_EQ(parsed.Strings.size(), 1u);
  EXPECT_EQ(parsed.Strings[0].Text, "ok");
  ASSERT_EQ(parsed.Memos.size(), 1u);
  EXPECT_EQ(parsed.Memos[0].Lines, (TStrings{"line"}));
}

TEST(LanguageFormat, FileBytesSplitIntoLines) {
  EXPECT_EQ(SplitLanguageText("\xEF\xBB\xBF"
                              "1;a\r\n2;b\n3;c\r4;d\r\n"),
            (TStrings{"1;a", "2;b", "3;c", "4;d"}));
  EXPECT_EQ(SplitLanguageText("1;a\n\n2;b"), (TStrings{"1;a", "", "2;b"}));
  EXPECT_TRUE(SplitLanguageText("").empty());
}

class LanguageStringsTest : public testing::MemoryMachineTest {
 protected:
  TTranslator translator_{nullptr};
  TLanguage& German() { return *translator_.GetLanguage(tlGerman); }
};

TEST_F(LanguageStringsTest, EveryChangeReparsesWhileAutoParseIsOn) {
  TLangFormatStrings& lines = German().Strings();
  lines.Add("1;eins");
  lines.AddStrings({"2;zwei", "3;drei"});
  lines.Insert(0, "0;null");
  ASSERT_EQ(German().StringElements().size(), 4u);
  EXPECT_EQ(German().FindString(3)->LineIndex, 3);
  lines.Move(3, 0);
  EXPECT_EQ(German().FindString(3)->LineIndex, 0);
  German().SetAutoParse(false);
  lines.Add("4;vier");
  EXPECT_EQ(German().FindString(4), nullptr);
  German().SetAutoParse(true);
  lines.Clear();
  EXPECT_TRUE(German().StringElements().empty());
}

TEST_F(LanguageStringsTest, DeleteMovesTheLaterLineIndexesWithoutParsing) {
  German().SetStrings({"1;eins", "* Kommentar", "2;zwei", "3;drei"});
  German().Strings().Delete(1);
  EXPECT_EQ(German().FindString(1)->LineIndex, 0);
  EXPECT_EQ(German().FindString(2)->LineIndex, 1);
  EXPECT_EQ(German().FindString(3)->LineIndex, 2);
  EXPECT_EQ(German().Strings().Count(), 3);
}

TEST_F(LanguageStringsTest, AFailedChangeKeepsTheLinesDropsTheElementsAndAutoParseStaysOn) {
  German().SetStrings({"1;eins"});
  EXPECT_THROW(German().SetStrings({"1;eins", "#"}), Exception);
  EXPECT_EQ(German().Strings().Count(), 2);
  EXPECT_TRUE(German().StringElements().empty());
  EXPECT_TRUE(German().AutoParse());
  German().Strings().Delete(1);
  German().Strings().Add("2;zwei");
  EXPECT_EQ(German().StringElements().size(), 2u);
}

TEST_F(LanguageStringsTest, LoadFromFileParsesOnceAndRefusesWhatItCannotRead) {
  MakeFile("C:\\lang\\tmbiGerman.txt",
           "\xEF\xBB\xBF* Deutsch\r\n5;Weiter >\r\n#7\r\nZeile\r\n#\r\n");
  German().Strings().LoadFromFile("C:\\lang\\tmbiGerman.txt");
  EXPECT_EQ(German().FindString(5)->Text, "Weiter >");
  EXPECT_EQ(German().FindMemo(7)->Lines, (TStrings{"Zeile"}));
  try {
    German().Strings().LoadFromFile("C:\\lang\\missing.txt");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot open the language file C:\\lang\\missing.txt");
  }
  // The loaded language is still there.
  EXPECT_EQ(German().FindString(5)->Text, "Weiter >");
}

TEST_F(LanguageStringsTest, AMillionLinesParseInOnePassAndAFileOfThemIsRefusedBeforeItIsRead) {
  TStrings lines;
  lines.reserve(1000002);
  for (int i = 0; i < 1000000; ++i) lines.push_back(std::to_string(i % 5000) + ";Text");
  lines.push_back("#77");
  lines.push_back("never closed");
  German().SetStrings(lines);
  EXPECT_EQ(German().StringElements().size(), 1000000u);
  EXPECT_EQ(German().FindString(4999)->LineIndex, 4999);
  EXPECT_TRUE(German().MemoElements().empty());
  // As a file the same lines are beyond what a language file may hold.
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  MakeFile("C:\\big.txt", text);
  try {
    German().Strings().LoadFromFile("C:\\big.txt");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The language file C:\\big.txt is larger than 4 MB");
  }
  EXPECT_EQ(German().StringElements().size(), 1000000u);
}

// A short fuzz run: lines built from the format's own pieces either parse into elements that keep
// the format's promises or fail with one of its messages (scripts/fuzz-language.sh runs longer).
TEST(LanguageFormat, RandomFilesParseSoundlyOrFailWithAFormatMessage) {
  const std::vector<std::string> pieces = {
      ";", "#",    "*",  " ",        "12",   "-3",   "$1F",
      "x", "Text", "%s", "\xC3\xA9", "\xC3", "\xFF", std::string(130, 'a')};
  std::mt19937 random(20261207);
  int parsed = 0;
  for (int file = 0; file < 3000; ++file) {
    TStrings lines(random() % 8);
    for (std::string& line : lines) {
      for (int n = random() % 6; n > 0; --n) line += pieces[random() % pieces.size()];
    }
    try {
      const TParsedLanguage result = ParseLanguageLines(lines);
      ++parsed;
      for (const TLanguageString& s : result.Strings) {
        ASSERT_LT(static_cast<size_t>(s.LineIndex), lines.size());
        EXPECT_EQ(s.Text.find(';'), std::string::npos);
        EXPECT_EQ(CutToCharacters(s.Text, kMaxLanguageText), s.Text);
      }
    } catch (const Exception& e) {
      const std::string m = e.what();
      EXPECT_TRUE(m.find("does not have the proper format of") != std::string::npos ||
                  m.find("is not UTF-8 text") != std::string::npos ||
                  m.find("Was not in a memo however") != std::string::npos)
          << m;
    }
  }
  EXPECT_GT(parsed, 300);
}

TEST(LanguageTables, UserLanguageMapping) {
  EXPECT_EQ(LanguageFromLangId(0x0416), tlPortugese);  // Brazilian Portuguese
  EXPECT_EQ(LanguageFromLangId(0x0404), tlChineseTraditional);
  EXPECT_EQ(LanguageFromLangId(0x0804), tlChineseSimplified);
  EXPECT_EQ(LanguageFromLangId(0x0414), tlNorwegianBokmal);
  EXPECT_EQ(LanguageFromLangId(0x0814), tlNorwegianNynorsk);
  EXPECT_EQ(LanguageFromLangId(0x040D), tlHebrew);
  EXPECT_EQ(LanguageFromLangId(0x0C07), tlGerman);   // Austrian German
  EXPECT_EQ(LanguageFromLangId(0x0418), tlEnglish);  // Romanian: not carried
}

TEST(LanguageTables, HebrewHasACharacterSetAndAFontTlUserHasNeither) {
  EXPECT_EQ(LanguageCharset(tlHebrew), 177);
  EXPECT_EQ(LanguageFont(tlHebrew).Name, "Arial");
  for (const TTmbyLanguage l : PublishedLanguages()) EXPECT_NO_THROW(LanguageFont(l));
  try {
    LanguageCharset(tlUser);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unrecognized language");
  }
  EXPECT_THROW(LanguageFont(static_cast<TTmbyLanguage>(22)), Exception);
  EXPECT_EQ(LanguageFileName(tlNorwegianNynorsk), "tmbiNorwegianNynorsk.txt");
  EXPECT_EQ(LanguageResourceName(tlChineseSimplified), "BM_LANG_SIMPCHINESE");
}

}  // namespace
}  // namespace tmby
