// The languages of the kit and their string tables.
//
// A language file holds the texts of one language, one per line (each line trimmed of surrounding
// blanks before it is read):
//
//   * a comment                     ignored everywhere, also inside a memo
//   5;Next >                        a string: identifier (GLID), ";", text (up to a next ";")
//   #12;Licence text                starts a memo with identifier 12 (the rest is ignored)
//   First line                      inside a memo: one line of it
//   #                               ends the memo
//
// Empty lines are ignored everywhere. A memo that is not closed before the end is dropped. A
// string's text cannot hold ";" and keeps at most kMaxLanguageText characters (longer ones are
// cut). The file is UTF-8 text; a UTF-8 byte-order mark at its start is skipped.
//
// A `TLanguage` holds the raw lines (`Strings`, a `TLangFormatStrings`) and the elements parsed
// from them, re-parsed whenever the lines change. A line that breaks the format makes the change
// fail with a message naming the line by its 0-based index; the language then holds no elements.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/component.h"
#include "ui/controls.h"

namespace tmby {

// The languages, in this order (the ordinal is stored in the install's state key before a
// reboot). `tlUser` means the user's own language.
enum TTmbyLanguage {
  tlChineseSimplified,
  tlChineseTraditional,
  tlCzech,
  tlDanish,
  tlDutch,
  tlEnglish,
  tlFrench,
  tlGerman,
  tlGreek,
  tlHebrew,
  tlItalian,
  tlJapanese,
  tlKorean,
  tlNorwegianBokmal,
  tlNorwegianNynorsk,
  tlPolish,
  tlPortugese,
  tlRussian,
  tlSpanish,
  tlSwedish,
  tlUser,
  tlVietnamese
};
TMBY_ENUM_NAMES(TTmbyLanguage, tlChineseSimplified, tlChineseTraditional, tlCzech, tlDanish,
                tlDutch, tlEnglish, tlFrench, tlGerman, tlGreek, tlHebrew, tlItalian, tlJapanese,
                tlKorean, tlNorwegianBokmal, tlNorwegianNynorsk, tlPolish, tlPortugese, tlRussian,
                tlSpanish, tlSwedish, tlUser, tlVietnamese)

inline constexpr int kLanguageCount = 22;  // with tlUser
// The 21 real languages (every one but tlUser), in enumeration order.
const std::vector<TTmbyLanguage>& PublishedLanguages();

// The two names each language carries: "BM_LANG_GERMAN" and "tmbiGerman.txt". Empty for tlUser.
std::string LanguageResourceName(TTmbyLanguage language);
std::string LanguageFileName(TTmbyLanguage language);
// "lgGerman": the name under which a translator publishes the language.
std::string LanguagePropertyName(TTmbyLanguage language);

// The language of a Windows language identifier (LANGID): primary language in the low 10 bits,
// sublanguage in the next 6. Unlisted languages give tlEnglish.
TTmbyLanguage LanguageFromLangId(uint16_t langId);

// The Windows character set of a language's texts (GB2312 134, Big5 136, East European 238 for
// Czech and Polish, Greek 161, Hebrew 177, Shift-JIS 128, Hangeul 129, Russian 204, Vietnamese
// 163, else ANSI 0).
// Exception "Unrecognized language" for tlUser or a value beyond the enumeration.
int LanguageCharset(TTmbyLanguage language);

// The language's texts read from the right (Hebrew): its windows are laid out mirrored.
bool LanguageRightToLeft(TTmbyLanguage language);

// The font a language's texts are shown in when the language does not override it: the face
// name, in the bytes the ANSI font API of a system of that language takes (the Chinese, Japanese
// and Korean names are in their code pages, not UTF-8), and the smallest size in points.
struct TLanguageFontChoice {
  std::string Name;
  int MinSize = 8;
};
// Exception "Unrecognized language" for tlUser or a value beyond the enumeration.
TLanguageFontChoice LanguageFont(TTmbyLanguage language);

inline constexpr size_t kMaxLanguageText = 255;  // characters of one string element
// Bytes of a language file. The kit's are some 30 KB; the cap keeps what a file can cost bounded
// (each line and each element is an object of its own: a file of tiny lines takes some 40 times
// its size in memory).
inline constexpr size_t kMaxLanguageFile = 4u << 20;

class TLanguage;
class TTranslator;

// A parsed element: its identifier, its language and the index of its line in `Strings`.
struct TLanguageElement {
  int32_t GLID = 0;
  TLanguage* Language = nullptr;
  int LineIndex = 0;
};
struct TLanguageString : TLanguageElement {
  std::string Text;  // at most kMaxLanguageText characters
};
struct TLanguageMemo : TLanguageElement {
  TStrings Lines;  // trimmed
};

// The elements of a language file's lines; raises Exception with the format failures (and the
// lines that are not UTF-8). `owner` is stored in each element.
struct TParsedLanguage {
  std::vector<TLanguageString> Strings;
  std::vector<TLanguageMemo> Memos;
};
TParsedLanguage ParseLanguageLines(const TStrings& lines, TLanguage* owner = nullptr);

// The lines of a language file's bytes: a leading UTF-8 byte-order mark is skipped, lines end at
// CR LF, LF or CR, and a last line break adds no empty line.
TStrings SplitLanguageText(std::string_view bytes);

// The lines joined with `separator` between them.
std::string JoinLines(const TStrings& lines, std::string_view separator);

// `text` cut to at most `count` characters of UTF-8 (never inside a character).
std::string CutToCharacters(const std::string& text, size_t count);

// The raw lines of a language file, bound to their language: every change re-parses the
// language while its auto-parse flag is on. Assign and the loads switch it off for the bulk
// change and parse once at the end (the flag is back on also when the parse fails). Delete does
// not re-parse: it moves the line index of every later string element up by one.
class TLangFormatStrings {
 public:
  explicit TLangFormatStrings(TLanguage& language) : language_(language) {}
  TLangFormatStrings(const TLangFormatStrings&) = delete;
  TLangFormatStrings& operator=(const TLangFormatStrings&) = delete;

  int Count() const { return static_cast<int>(lines_.size()); }
  // Exception "List index out of bounds (%d)" outside 0 .. Count() - 1.
  const std::string& Get(int index) const;
  const TStrings& Lines() const { return lines_; }
  // The lines joined, each followed by CR LF.
  std::string Text() const;

  void Add(const std::string& line);
  void AddStrings(const TStrings& lines);
  void Insert(int index, const std::string& line);
  void Move(int from, int to);
  void Delete(int index);
  void Clear();
  void Assign(const TStrings& lines);
  // The bytes of a language file (see SplitLanguageText).
  void LoadFromStream(std::string_view bytes);
  // A language file, read through the port. Exception "Cannot open the language file %s" or
  // "The language file %s is larger than 4 MB".
  void LoadFromFile(const std::string& path);

 private:
  void CheckIndex(int index, int limit) const;
  void Changed();
  void Replace(TStrings lines);

  TLanguage& language_;
  TStrings lines_;
};

// One language of a translator: its font settings and its string table.
class TLanguage : public TPersistent {
  TMBY_CLASS(TLanguage, TPersistent)
 public:
  TLanguage(TTranslator* translator, TTmbyLanguage ident);
  ~TLanguage() override;

  // The font of this language's texts when FontOverride is set.
  ui::TFont& Font() { return font_; }
  const ui::TFont& Font() const { return font_; }
  void SetFont(const ui::TFont& font) { font_.Assign(font); }
  bool FontOverride() const { return font_override_; }
  void SetFontOverride(bool value) { font_override_ = value; }
  TTmbyLanguage LanguageIdent() const { return ident_; }
  TLangFormatStrings& Strings() { return strings_; }
  const TLangFormatStrings& Strings() const { return strings_; }
  void SetStrings(const TStrings& lines) { strings_.Assign(lines); }

  TTranslator* Translator() const { return translator_; }
  std::string ResourceName() const { return LanguageResourceName(ident_); }
  std::string FileName() const { return LanguageFileName(ident_); }

  const std::vector<TLanguageString>& StringElements() const { return parsed_.Strings; }
  const std::vector<TLanguageMemo>& MemoElements() const { return parsed_.Memos; }
  bool AutoParse() const { return auto_parse_; }
  void SetAutoParse(bool value) { auto_parse_ = value; }
  // Parses `Strings` again (on failure the language holds no elements and the failure passes on).
  void Parse();

  // The first string / memo element of an identifier, or null.
  const TLanguageString* FindString(int32_t glid) const;
  const TLanguageMemo* FindMemo(int32_t glid) const;
  // The first string element whose text equals `text` ignoring case (ASCII letters only, the
  // same in every locale), or null.
  const TLanguageString* FindStringByText(std::string_view text) const;
  // The first memo whose lines joined by `separator` equal `text` exactly, or null.
  const TLanguageMemo* FindMemoByText(std::string_view text, std::string_view separator) const;

  TPersistent* GetOwner() const override;
  void Assign(const TPersistent& source) override;

 private:
  friend class TLangFormatStrings;
  TTranslator* translator_;
  TTmbyLanguage ident_;
  ui::TFont font_{this};
  bool font_override_ = false;
  TLangFormatStrings strings_{*this};
  TParsedLanguage parsed_;
  bool auto_parse_ = true;
};

}  // namespace tmby
