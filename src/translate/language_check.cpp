#include "translate/language_check.h"

#include <map>

#include "base/exceptions.h"
#include "base/text_codec.h"
#include "translate/language.h"

namespace tmby {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Where(int line) { return "line " + std::to_string(line + 1) + ": "; }

std::string Joined(const std::vector<std::string>& seq) {
  std::string out;
  for (const std::string& s : seq) out += s;
  return out.empty() ? "none" : out;
}

}  // namespace

std::vector<std::string> PercentSequences(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (text[i + 1] == '%') {
      ++i;
    } else if (IsLetter(text[i + 1])) {
      out.push_back(text.substr(i, 2));
      ++i;
    }
  }
  return out;
}

std::vector<std::string> CheckLanguageFile(const TStrings& master, const TStrings& candidate) {
  std::vector<std::string> problems;
  TParsedLanguage want;
  TParsedLanguage have;
  try {
    want = ParseLanguageLines(master);
  } catch (const Exception& e) {
    return {std::string("the master language does not parse: ") + e.what()};
  }
  try {
    have = ParseLanguageLines(candidate);
  } catch (const Exception& e) {
    return {e.what()};
  }
  std::map<int32_t, const TLanguageString*> strings;
  std::map<int32_t, const TLanguageMemo*> memos;
  for (const TLanguageString& s : have.Strings) {
    if (!strings.emplace(s.GLID, &s).second) {
      problems.push_back(Where(s.LineIndex) + "string " + std::to_string(s.GLID) +
                         " appears a second time");
    }
    // The parsed text is cut already; the line tells what the file holds.
    const std::string& line = candidate[static_cast<size_t>(s.LineIndex)];
    const size_t start = line.find(';') + 1;
    const size_t end = line.find(';', start);
    const std::string full = line.substr(start, end == std::string::npos ? end : end - start);
    if (Utf8Length(full) > kMaxLanguageText) {
      problems.push_back(Where(s.LineIndex) + "string " + std::to_string(s.GLID) +
                         " is longer than " + std::to_string(kMaxLanguageText) + " characters");
    }
    if (end != std::string::npos && line.find_last_not_of(" \t\r") > end) {
      problems.push_back(Where(s.LineIndex) + "string " + std::to_string(s.GLID) +
                         " holds a second \";\": the text after it is lost");
    } else if (end != std::string::npos) {
      // A ";" at the end is cut off as silently: a question in Greek would lose its question
      // mark, which Greek writes with the same glyph as U+037E.
      problems.push_back(Where(s.LineIndex) + "string " + std::to_string(s.GLID) +
                         " ends with \";\", which ends the text and is not shown (a Greek "
                         "question mark is U+037E)");
    }
  }
  for (const TLanguageMemo& m : have.Memos) {
    if (!memos.emplace(m.GLID, &m).second) {
      problems.push_back(Where(m.LineIndex) + "memo " + std::to_string(m.GLID) +
                         " appears a second time");
    }
  }
  for (const TLanguageString& s : want.Strings) {
    const auto found = strings.find(s.GLID);
    if (found == strings.end()) {
      problems.push_back("string " + std::to_string(s.GLID) + " is missing (English: " + s.Text +
                         ")");
      continue;
    }
    const auto expected = PercentSequences(s.Text);
    const auto actual = PercentSequences(found->second->Text);
    if (expected != actual) {
      problems.push_back(Where(found->second->LineIndex) + "string " + std::to_string(s.GLID) +
                         " has the placeholders " + Joined(actual) + ", English has " +
                         Joined(expected));
    }
  }
  for (const TLanguageMemo& m : want.Memos) {
    const auto found = memos.find(m.GLID);
    if (found == memos.end()) {
      problems.push_back("memo " + std::to_string(m.GLID) + " is missing");
      continue;
    }
    const auto expected = PercentSequences(JoinLines(m.Lines, " "));
    const auto actual = PercentSequences(JoinLines(found->second->Lines, " "));
    if (expected != actual) {
      problems.push_back(Where(found->second->LineIndex) + "memo " + std::to_string(m.GLID) +
                         " has the placeholders " + Joined(actual) + ", English has " +
                         Joined(expected));
    }
  }
  if (&master == &candidate) {
    std::map<std::string, int32_t> seen;
    for (const TLanguageString& s : want.Strings) {
      std::string key = s.Text;
      for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      }
      const auto [it, fresh] = seen.emplace(key, s.GLID);
      if (!fresh) {
        problems.push_back(Where(s.LineIndex) + "string " + std::to_string(s.GLID) +
                           " repeats the text of string " + std::to_string(it->second));
      }
    }
  }
  return problems;
}

}  // namespace tmby
