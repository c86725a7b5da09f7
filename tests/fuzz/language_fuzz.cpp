// Fuzzes the language file format and the translator's use of a language: a file either parses
// into elements that keep the format's promises or is refused with one of the format's messages;
// a message translated through it never reaches the formatting call with other placeholders than
// the English text has.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/exceptions.h"
#include "translate/language.h"
#include "translate/language_check.h"
#include "translate/translator.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool KnownFailure(const std::string& m) {
  for (const char* end : {"does not have the proper format of GLID;Text",
                          "does not have the proper format of GLID;Text or .GLID;",
                          "does not have the proper format of .GLID;", "is not UTF-8 text",
                          "Was not in a memo however"}) {
    const std::string e = end;
    if (m.size() >= e.size() && m.compare(m.size() - e.size(), e.size(), e) == 0) return true;
  }
  return false;
}

// The target language is named, so the translator never asks the port for the user's language.
struct Setup {
  tmby::TTranslator translator{nullptr};
  Setup() {
    translator.SetTranslateIntoLanguage(tmby::tlGerman);
    translator.GetLanguage(tmby::tlEnglish)
        ->SetStrings({"1;Cannot copy %s to %s", "2;Disk %d of %s", "3;Plain", "4;Expand %a for %s",
                      "#5", std::string(300, 'x') + " %s %d", "#"});
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const tmby::TStrings lines = tmby::SplitLanguageText(bytes);
  tmby::TParsedLanguage parsed;
  try {
    parsed = tmby::ParseLanguageLines(lines);
  } catch (const tmby::Exception& e) {
    if (!KnownFailure(e.what())) Fail("unexpected failure", e.what());
    return 0;
  }
  for (const tmby::TLanguageString& s : parsed.Strings) {
    if (s.LineIndex < 0 || static_cast<size_t>(s.LineIndex) >= lines.size()) {
      Fail("line index outside the lines", std::to_string(s.LineIndex));
    }
    if (s.Text.find(';') != std::string::npos) Fail("text holds a ;", s.Text);
    if (tmby::CutToCharacters(s.Text, tmby::kMaxLanguageText) != s.Text)
      Fail("text too long", s.Text);
  }
  tmby::CheckLanguageFile(setup.translator.GetLanguage(tmby::tlEnglish)->Strings().Lines(), lines);

  // The same lines as the target language: every kit message stays formattable.
  tmby::TLanguage& german = *setup.translator.GetLanguage(tmby::tlGerman);
  german.SetStrings(lines);
  for (const std::string& english :
       {std::string("Cannot copy %s to %s"), std::string("Disk %d of %s"), std::string("Plain"),
        std::string("Expand %a for %s"), std::string(300, 'x') + " %s %d"}) {
    const std::string translated = tmby::LocalizeMessage(english);
    if (tmby::PlaceholderSequence(translated) != tmby::PlaceholderSequence(english)) {
      Fail("placeholders changed", translated);
    }
    tmby::FormatText(translated, {"a", 1});
  }
  return 0;
}
