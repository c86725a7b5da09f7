#include "translate/language_carrier.h"

#include "base/definition_writer.h"
#include "base/exceptions.h"
#include "translate/language_check.h"

namespace tmby {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Skips blanks from `i`; the next word (letters, digits, underscores) is returned.
std::string_view Word(std::string_view line, size_t& i) {
  while (i < line.size() && IsBlank(line[i])) ++i;
  const size_t start = i;
  while (i < line.size() && IsIdentChar(line[i])) ++i;
  return line.substr(start, i - start);
}

// A line "object Name: TTranslator" (any case, a trailing comment allowed). Lines of a definition
// that belong to a value (strings, lists, pictures) never start with the word object: a quoted
// piece cannot span lines, and list and picture lines start with a quote or hex digits.
bool IsTranslatorHeader(std::string_view line, size_t* indent) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  *indent = i;
  if (!SameText(Word(line, i), "object")) return false;
  const std::string_view name = Word(line, i);
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (name.empty() || i >= line.size() || line[i] != ':') return false;
  ++i;
  if (!SameText(Word(line, i), "TTranslator")) return false;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i == line.size() || line.substr(i, 2) == "//";
}

}  // namespace

TCarriedLanguages CarryLanguages(
    std::string_view definition,
    const std::function<std::optional<std::string>(const std::string& fileName)>& readFile) {
  TCarriedLanguages out;
  out.Definition = std::string(definition);
  size_t at = 0;
  size_t indent = 0;
  for (;;) {
    const size_t end = definition.find('\n', at);
    const std::string_view line =
        definition.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (IsTranslatorHeader(line, &indent)) {
      out.HasTranslator = true;
      at = end == std::string_view::npos ? definition.size() : end + 1;
      break;
    }
    if (end == std::string_view::npos) return out;
    at = end + 1;
  }

  TStrings english;
  if (std::optional<std::string> bytes = readFile(LanguageFileName(tlEnglish))) {
    english = SplitLanguageText(*bytes);
  }
  const std::string pad(indent + 2, ' ');
  std::string block;
  for (const TTmbyLanguage language : PublishedLanguages()) {
    const std::string name = LanguageFileName(language);
    const std::optional<std::string> bytes = readFile(name);
    if (!bytes) continue;
    if (bytes->size() > kMaxLanguageFile) {
      throw Exception("The language file %s is larger than 4 MB", {name});
    }
    const TStrings lines = SplitLanguageText(*bytes);
    try {
      ParseLanguageLines(lines);
    } catch (const Exception& e) {
      throw Exception(name + ": " + e.what());
    }
    if (!english.empty()) {
      for (const std::string& problem : CheckLanguageFile(english, lines)) {
        out.Warnings.push_back(name + ": " + problem);
      }
    }
    block += pad + LanguagePropertyName(language) + ".Strings = (\n";
    for (const std::string& line : lines) {
      block += pad + "  " + QuoteDefinitionString(line) + "\n";
    }
    block += pad + ")\n";
    out.Carried.push_back(language);
  }
  if (at > 0 && definition[at - 1] != '\n') block = "\n" + block;
  out.Definition.insert(at, block);
  return out;
}

}  // namespace tmby
