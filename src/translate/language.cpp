#include "translate/language.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "base/exceptions.h"
#include "base/text_codec.h"
#include "platform/port.h"
#include "translate/translator.h"

namespace tmby {

namespace {

struct TLanguageNames {
  TTmbyLanguage Ident;
  const char* Resource;
  const char* Stem;  // "German": lgGerman, tmbiGerman.txt
};

constexpr TLanguageNames kNames[] = {
    {tlChineseSimplified, "BM_LANG_SIMPCHINESE", "ChineseSimplified"},
    {tlChineseTraditional, "BM_LANG_CHINESE_TRADITIONAL", "ChineseTraditional"},
    {tlCzech, "BM_LANG_CZECH", "Czech"},
    {tlDanish, "BM_LANG_DANISH", "Danish"},
    {tlDutch, "BM_LANG_DUTCH", "Dutch"},
    {tlEnglish, "BM_LANG_ENGLISH", "English"},
    {tlFrench, "BM_LANG_FRENCH", "French"},
    {tlGerman, "BM_LANG_GERMAN", "German"},
    {tlGreek, "BM_LANG_GREEK", "Greek"},
    {tlHebrew, "BM_LANG_HEBREW", "Hebrew"},
    {tlItalian, "BM_LANG_ITALIAN", "Italian"},
    {tlJapanese, "BM_LANG_JAPANESE", "Japanese"},
    {tlKorean, "BM_LANG_KOREAN", "Korean"},
    {tlNorwegianBokmal, "BM_LANG_NORWEGIAN_BOKMAL", "NorwegianBokmal"},
    {tlNorwegianNynorsk, "BM_LANG_NORWEGIAN_NYNORSK", "NorwegianNynorsk"},
    {tlPolish, "BM_LANG_POLISH", "Polish"},
    {tlPortugese, "BM_LANG_PORTUGESE", "Portugese"},
    {tlRussian, "BM_LANG_RUSSIAN", "Russian"},
    {tlSpanish, "BM_LANG_SPANISH", "Spanish"},
    {tlSwedish, "BM_LANG_SWEDISH", "Swedish"},
    {tlVietnamese, "BM_LANG_VIETNAMESE", "Vietnamese"},
};

const TLanguageNames* NamesOf(TTmbyLanguage language) {
  for (const TLanguageNames& n : kNames) {
    if (n.Ident == language) return &n;
  }
  return nullptr;
}

[[noreturn]] void Unrecognized() { throw Exception("Unrecognized language"); }

bool IsBlank(unsigned char c) { return c <= ' '; }

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// An identifier as the language file writes it: optional leading blanks, an optional sign, then
// decimal digits or "$" / "0x" and hexadecimal digits, nothing after; it must fit 32 bits.
bool ParseGLID(std::string_view text, int32_t* out) {
  size_t i = 0;
  while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value * base + digit;
    // Stop before the value can leave what 64 bits hold; anything this large is out of range.
    if (value > int64_t{1} << 33) return false;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *out = static_cast<int32_t>(value);
  return true;
}

// The line as a failure message quotes it: a line of any length would make the message as long,
// so more than kMaxLanguageText characters are cut and marked with "...".
std::string QuotedLine(std::string_view line) {
  std::string text(line);
  std::string cut = CutToCharacters(text, kMaxLanguageText);
  if (cut.size() < text.size()) cut += "...";
  return cut;
}

[[noreturn]] void FormatFailure(const char* format, int index, std::string_view line) {
  throw Exception(format, {index, QuotedLine(line)});
}

constexpr char kNoGLID[] = "The %d'th string (%s) does not have the proper format of GLID;Text";
constexpr char kBadGLID[] =
    "The %d'th string (%s) does not have the proper format of GLID;Text or .GLID;";
constexpr char kShortMemo[] = "The %d'th string (%s) does not have the proper format of .GLID;";
constexpr char kStrayEnd[] = "Found the end of memo marker # at line %d. Was not in a memo however";
constexpr char kNotUtf8[] = "The %d'th string is not UTF-8 text";

}  // namespace

const std::vector<TTmbyLanguage>& PublishedLanguages() {
  static const std::vector<TTmbyLanguage> languages = [] {
    std::vector<TTmbyLanguage> out;
    for (const TLanguageNames& n : kNames) out.push_back(n.Ident);
    return out;
  }();
  return languages;
}

std::string LanguageResourceName(TTmbyLanguage language) {
  const TLanguageNames* n = NamesOf(language);
  return n != nullptr ? n->Resource : "";
}

std::string LanguageFileName(TTmbyLanguage language) {
  const TLanguageNames* n = NamesOf(language);
  return n != nullptr ? std::string("tmbi") + n->Stem + ".txt" : "";
}

std::string LanguagePropertyName(TTmbyLanguage language) {
  const TLanguageNames* n = NamesOf(language);
  return n != nullptr ? std::string("lg") + n->Stem : "";
}

TTmbyLanguage LanguageFromLangId(uint16_t langId) {
  const int primary = langId & 0x3FF;
  const int sub = langId >> 10;
  switch (primary) {
    case 0x04: return sub == 1 ? tlChineseTraditional : tlChineseSimplified;
    case 0x05: return tlCzech;
    case 0x06: return tlDanish;
    case 0x07: return tlGerman;
    case 0x08: return tlGreek;
    case 0x0A: return tlSpanish;
    case 0x0C: return tlFrench;
    case 0x0D: return tlHebrew;
    case 0x10: return tlItalian;
    case 0x11: return tlJapanese;
    case 0x12: return tlKorean;
    case 0x13: return tlDutch;
    case 0x14: return sub == 1 ? tlNorwegianBokmal : tlNorwegianNynorsk;
    case 0x15: return tlPolish;
    case 0x16: return tlPortugese;
    case 0x19: return tlRussian;
    case 0x1D: return tlSwedish;
    case 0x2A: return tlVietnamese;
    default: return tlEnglish;
  }
}

int LanguageCharset(TTmbyLanguage language) {
  if (language == tlUser || NamesOf(language) == nullptr) Unrecognized();
  switch (language) {
    case tlChineseSimplified: return 134;   // GB2312
    case tlChineseTraditional: return 136;  // Big5
    case tlCzech:
    case tlPolish:
      return 238;  // East European
    // Greek has a character set of its own; Portuguese is written in the Western one (an East
    // European font would draw "Não" as "Nău" on Windows 95, 98 and ME).
    case tlGreek: return 161;
    case tlHebrew: return 177;
    case tlJapanese: return 128;  // Shift-JIS
    case tlKorean: return 129;    // Hangeul
    case tlRussian: return 204;
    case tlVietnamese: return 163;
    default: return 0;  // ANSI
  }
}

bool LanguageRightToLeft(TTmbyLanguage language) { return language == tlHebrew; }

TLanguageFontChoice LanguageFont(TTmbyLanguage language) {
  if (language == tlUser || NamesOf(language) == nullptr) Unrecognized();
  switch (language) {
    case tlChineseSimplified:
    case tlChineseTraditional:
      // The Big5 bytes of the face name, seven of them as the name has always been given.
      return {"\xB7\x73\xB2\xD3\xA9\xFA\xC5", 9};
    case tlGerman: return {"MS Sans Serif", 8};
    case tlGreek: return {"SGreek", 8};
    case tlJapanese:
      // MS PGothic in Shift-JIS.
      return {"\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E", 9};
    case tlKorean:
      // Batang in code page 949.
      return {"\xB9\xD9\xC5\xC1", 9};
    default:
      // Hebrew too: Arial carries the Hebrew letters on every Windows that has a Hebrew
      // character set, and a Hebrew user's first dialog must not fail for want of a font.
      return {"Arial", 8};
  }
}

std::string CutToCharacters(const std::string& text, size_t count) {
  return std::string(Utf8Prefix(text, count));
}

std::string JoinLines(const TStrings& lines, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += separator;
    out += lines[i];
  }
  return out;
}

TStrings SplitLanguageText(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  TStrings lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return lines;
}

TParsedLanguage ParseLanguageLines(const TStrings& lines, TLanguage* owner) {
  TParsedLanguage out;
  bool inMemo = false;
  TLanguageMemo memo;
  for (size_t n = 0; n < lines.size(); ++n) {
    const int index = static_cast<int>(n);
    const std::string_view line = Trim(lines[n]);
    // A comment is no text of the kit's, whatever its bytes: a translator's note in another
    // encoding does not cost the file.
    if (line.empty() || line[0] == '*') continue;
    // A NUL byte is no text either: a file holding them is UTF-16 (a "Unicode" file of Notepad),
    // and a NUL would end the text wherever it is shown.
    if (!IsValidUtf8(line) || line.find('\0') != std::string_view::npos) {
      throw Exception(kNotUtf8, {index});
    }
    if (line == "#") {
      if (!inMemo) throw Exception(kStrayEnd, {index});
      out.Memos.push_back(std::move(memo));
      memo = {};
      inMemo = false;
      continue;
    }
    if (inMemo) {
      memo.Lines.emplace_back(line);
      continue;
    }
    const std::string_view first = line.substr(0, line.find(';'));
    if (line[0] == '#') {
      if (line.size() < 2) FormatFailure(kShortMemo, index, line);
      const std::string_view id = first.substr(1);
      int32_t glid = 0;
      if (id.empty()) FormatFailure(kNoGLID, index, line);
      if (!ParseGLID(id, &glid)) FormatFailure(kBadGLID, index, line);
      memo.GLID = glid;
      memo.Language = owner;
      memo.LineIndex = index;
      inMemo = true;
      continue;
    }
    int32_t glid = 0;
    if (first.empty()) FormatFailure(kNoGLID, index, line);
    if (!ParseGLID(first, &glid)) FormatFailure(kBadGLID, index, line);
    std::string_view text;
    if (first.size() < line.size()) {
      text = line.substr(first.size() + 1);
      text = text.substr(0, text.find(';'));
    }
    if (Trim(text).empty()) FormatFailure(kNoGLID, index, line);
    TLanguageString element;
    element.GLID = glid;
    element.Language = owner;
    element.LineIndex = index;
    element.Text = CutToCharacters(std::string(text), kMaxLanguageText);
    out.Strings.push_back(std::move(element));
  }
  // A memo still open at the end was never closed: it is dropped.
  return out;
}

// ---------------------------------------------------------------------------------------------
// TLangFormatStrings

const std::string& TLangFormatStrings::Get(int index) const {
  CheckIndex(index, Count());
  return lines_[static_cast<size_t>(index)];
}

std::string TLangFormatStrings::Text() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void TLangFormatStrings::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) throw Exception("List index out of bounds (%d)", {index});
}

void TLangFormatStrings::Changed() {
  if (language_.AutoParse()) language_.Parse();
}

void TLangFormatStrings::Add(const std::string& line) {
  lines_.push_back(line);
  Changed();
}

void TLangFormatStrings::AddStrings(const TStrings& lines) {
  lines_.insert(lines_.end(), lines.begin(), lines.end());
  Changed();
}

void TLangFormatStrings::Insert(int index, const std::string& line) {
  CheckIndex(index, Count() + 1);
  lines_.insert(lines_.begin() + index, line);
  Changed();
}

void TLangFormatStrings::Move(int from, int to) {
  CheckIndex(from, Count());
  CheckIndex(to, Count());
  if (from == to) return;
  std::string line = std::move(lines_[static_cast<size_t>(from)]);
  lines_.erase(lines_.begin() + from);
  lines_.insert(lines_.begin() + to, std::move(line));
  Changed();
}

void TLangFormatStrings::Delete(int index) {
  CheckIndex(index, Count());
  lines_.erase(lines_.begin() + index);
  for (TLanguageString& s : language_.parsed_.Strings) {
    if (s.LineIndex > index) --s.LineIndex;
  }
}

void TLangFormatStrings::Clear() {
  lines_.clear();
  Changed();
}

void TLangFormatStrings::Replace(TStrings lines) {
  // One parse for the whole change; auto-parse is back on whatever the parse says.
  language_.SetAutoParse(false);
  lines_ = std::move(lines);
  language_.SetAutoParse(true);
  language_.Parse();
}

void TLangFormatStrings::Assign(const TStrings& lines) { Replace(lines); }

void TLangFormatStrings::LoadFromStream(std::string_view bytes) {
  Replace(SplitLanguageText(bytes));
}

void TLangFormatStrings::LoadFromFile(const std::string& path) {
  platform::IFileSystem& files = platform::Port().Files();
  std::unique_ptr<platform::IFile> file =
      files.Open(path, platform::FileAccess::Read, platform::kShareRead,
                 platform::FileDisposition::OpenExisting);
  if (!file) throw Exception("Cannot open the language file %s", {path});
  const std::optional<int64_t> size = file->Size();
  if (!size) throw Exception("Cannot open the language file %s", {path});
  if (*size > static_cast<int64_t>(kMaxLanguageFile)) {
    throw Exception("The language file %s is larger than 4 MB", {path});
  }
  std::string bytes(static_cast<size_t>(*size), '\0');
  size_t total = 0;
  while (total < bytes.size()) {
    size_t done = 0;
    if (!file->Read(bytes.data() + total, bytes.size() - total, &done)) {
      throw Exception("Cannot read the language file %s", {path});
    }
    if (done == 0) break;
    total += done;
  }
  bytes.resize(total);
  LoadFromStream(bytes);
}

// ---------------------------------------------------------------------------------------------
// TLanguage

const TClassInfo& TLanguage::StaticClass() {
  static const TClassInfo info =
      TClassInfo::Define<TLanguage, TPersistent>("TLanguage", [](TClassBuilder<TLanguage>& c) {
        c.Nested("Font", [](const TLanguage& l) -> const ui::TFont& { return l.Font(); });
        c.Boolean("FontOverride", &TLanguage::FontOverride, &TLanguage::SetFontOverride, false);
        c.Enum("LanguageIdent", &TLanguage::LanguageIdent, nullptr, std::nullopt)
            .StoredIf([](const TPersistent&) { return false; });
        c.StringList(
            "Strings", [](const TLanguage& l) { return l.Strings().Lines(); },
            &TLanguage::SetStrings);
      });
  return info;
}

TLanguage::TLanguage(TTranslator* translator, TTmbyLanguage ident)
    : translator_(translator), ident_(ident) {}

TLanguage::~TLanguage() = default;

void TLanguage::Parse() {
  parsed_ = {};
  parsed_ = ParseLanguageLines(strings_.Lines(), this);
}

const TLanguageString* TLanguage::FindString(int32_t glid) const {
  for (const TLanguageString& s : parsed_.Strings) {
    if (s.GLID == glid) return &s;
  }
  return nullptr;
}

const TLanguageMemo* TLanguage::FindMemo(int32_t glid) const {
  for (const TLanguageMemo& m : parsed_.Memos) {
    if (m.GLID == glid) return &m;
  }
  return nullptr;
}

const TLanguageString* TLanguage::FindStringByText(std::string_view text) const {
  for (const TLanguageString& s : parsed_.Strings) {
    if (SameText(s.Text, text)) return &s;
  }
  return nullptr;
}

const TLanguageMemo* TLanguage::FindMemoByText(std::string_view text,
                                               std::string_view separator) const {
  for (const TLanguageMemo& m : parsed_.Memos) {
    if (JoinLines(m.Lines, separator) == text) return &m;
  }
  return nullptr;
}

TPersistent* TLanguage::GetOwner() const { return translator_; }

void TLanguage::Assign(const TPersistent& source) {
  if (const auto* other = dynamic_cast<const TLanguage*>(&source)) {
    font_.Assign(other->font_);
    font_override_ = other->font_override_;
    strings_.Assign(other->strings_.Lines());
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace tmby
