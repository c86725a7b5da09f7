// Every text the kit's code hands to the translator has its entry in the master language file
// (lang/tmbiEnglish.txt), so that it is shown in the user's language and not left in English.
//
// The check reads the sources (src/ and apps/) as they are, so that a text added anywhere, by
// anyone, is held to it at once: it finds the calls that translate a text (LocalizeMessage,
// TranslateText from English, the constructors of the IException family, whose messages pass
// through the translator, and every function that hands one of its parameters on to one of
// these) and takes the literal they are given, directly, joined from adjacent literals, or
// through a named constant. A text that is put together at run time is not seen here; the texts
// of the dialogs' controls are checked on the dialogs themselves (tests/dialogs/).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "translate/language.h"

namespace tmby {
namespace {

std::string Root() {
  std::string root = __FILE__;
  return root.substr(0, root.rfind("tests"));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Token {
  enum Kind { kText, kWord, kMark } kind;
  std::string text;
  int line;
};

// The tokens of a C++ source: string literals (their escapes resolved), words (identifiers and
// numbers, "::" kept inside them) and single punctuation marks; comments and character literals
// dropped.
std::vector<Token> Tokenize(const std::string& src) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0;
  const auto isWord = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ':';
  };
  while (i < src.size()) {
    const char c = src[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (src.compare(i, 2, "//") == 0) {
      i = src.find('\n', i);
      if (i == std::string::npos) i = src.size();
    } else if (src.compare(i, 2, "/*") == 0) {
      const size_t end = std::min(src.find("*/", i + 2), src.size());
      line += static_cast<int>(std::count(src.begin() + static_cast<std::ptrdiff_t>(i),
                                          src.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
      i = end + 2;
    } else if (c == '"' || c == '\'') {
      std::string text;
      size_t j = i + 1;
      for (; j < src.size() && src[j] != c && src[j] != '\n'; ++j) {
        if (src[j] != '\\' || j + 1 >= src.size()) {
          text += src[j];
          continue;
        }
        const char e = src[++j];
        text += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
      }
      if (c == '"') out.push_back({Token::kText, text, line});
      i = j + 1;
    } else if (isWord(c)) {
      size_t j = i;
      while (j < src.size() && isWord(src[j])) ++j;
      out.push_back({Token::kWord, src.substr(i, j - i), line});
      i = j;
    } else if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      ++i;
    } else {
      out.push_back({Token::kMark, std::string(1, c), line});
      ++i;
    }
  }
  return out;
}

bool Is(const std::vector<Token>& t, size_t at, const char* mark) {
  return at < t.size() && t[at].kind != Token::kText && t[at].text == mark;
}

// The index just after the bracket that closes the one at `open`.
size_t Closing(const std::vector<Token>& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (Is(t, i, "(") || Is(t, i, "{") || Is(t, i, "[")) ++depth;
    if (Is(t, i, ")") || Is(t, i, "}") || Is(t, i, "]")) {
      if (--depth == 0) return i + 1;
    }
  }
  return t.size();
}

// The arguments of the call whose "(" is at `open`: each the range of its tokens.
std::vector<std::pair<size_t, size_t>> Arguments(const std::vector<Token>& t, size_t open) {
  std::vector<std::pair<size_t, size_t>> out;
  const size_t end = Closing(t, open) - 1;
  size_t start = open + 1;
  for (size_t i = start; i < end; ++i) {
    if (Is(t, i, "(") || Is(t, i, "{") || Is(t, i, "[")) {
      i = Closing(t, i) - 1;
    } else if (Is(t, i, ",")) {
      out.emplace_back(start, i);
      start = i + 1;
    }
  }
  if (start < end) out.emplace_back(start, end);
  return out;
}

std::string LastName(const std::string& word) {
  const size_t colon = word.rfind(':');
  return colon == std::string::npos ? word : word.substr(colon + 1);
}

struct FoundText {
  std::string text;
  std::string where;  // file:line
};

// The translating calls and the texts given to them in a set of sources (path -> contents).
class TranslatedTexts {
 public:
  explicit TranslatedTexts(const std::map<std::string, std::string>& sources) {
    for (const auto& [path, src] : sources) files_[path] = Tokenize(src);
    for (const auto& [path, t] : files_) CollectConstants(path, t);
    // The translating calls, and the functions that pass a parameter on to one of them, and so on.
    for (size_t known = SIZE_MAX; known != wrappers_.size();) {
      known = wrappers_.size();
      for (const auto& [path, t] : files_) CollectWrappers(t);
    }
    for (const auto& [path, t] : files_) CollectTexts(path, t);
  }
  const std::vector<FoundText>& Texts() const { return texts_; }

 private:
  // The argument of a call that holds the text to translate (-1: the call translates nothing).
  int TextArgument(const std::vector<Token>& t, size_t name, size_t open) const {
    const std::string called = LastName(t[name].text);
    if (called == "LocalizeMessage") return 0;
    if (called == "IException" || (called.size() > 2 && called.compare(0, 2, "IE") == 0 &&
                                   std::isupper(static_cast<unsigned char>(called[2])) != 0)) {
      return 0;
    }
    if (called == "TranslateText") {
      const auto args = Arguments(t, open);
      const bool fromEnglish = !args.empty() && args[0].second == args[0].first + 1 &&
                               LastName(t[args[0].first].text) == "tlEnglish";
      return fromEnglish ? 1 : -1;
    }
    const auto found = wrappers_.find(called);
    return found != wrappers_.end() ? found->second : -1;
  }

  void CollectConstants(const std::string& path, const std::vector<Token>& t) {
    // NAME = "..." or NAME[] = "...", the literal possibly joined from several.
    for (size_t i = 0; i + 2 < t.size(); ++i) {
      if (t[i].kind != Token::kWord) continue;
      size_t at = i + 1;
      if (Is(t, at, "[") && Is(t, at + 1, "]")) at += 2;
      if (!Is(t, at, "=") || at + 1 >= t.size() || t[at + 1].kind != Token::kText) continue;
      std::string text;
      size_t j = at + 1;
      for (; j < t.size() && t[j].kind == Token::kText; ++j) text += t[j].text;
      // Only a whole literal: not the start of an expression.
      if (!Is(t, j, ";") && !Is(t, j, ",") && !Is(t, j, "}")) continue;
      constants_[path][t[i].text] = text;
      global_[t[i].text].insert(text);
    }
  }

  void CollectWrappers(const std::vector<Token>& t) {
    // NAME(params) [const|override|noexcept] { body }, whose body translates a parameter.
    for (size_t i = 0; i + 1 < t.size(); ++i) {
      if (t[i].kind != Token::kWord || !Is(t, i + 1, "(")) continue;
      if (t[i].text == "if" || t[i].text == "for" || t[i].text == "while" ||
          t[i].text == "switch" || t[i].text == "catch") {
        continue;
      }
      size_t body = Closing(t, i + 1);
      while (
          body < t.size() && t[body].kind == Token::kWord &&
          (t[body].text == "const" || t[body].text == "override" || t[body].text == "noexcept")) {
        ++body;
      }
      if (!Is(t, body, "{")) continue;
      std::vector<std::string> params;
      for (const auto& [from, to] : Arguments(t, i + 1)) {
        std::string name;
        for (size_t j = from; j < to && !Is(t, j, "="); ++j) {
          if (t[j].kind == Token::kWord) name = t[j].text;
        }
        params.push_back(name);
      }
      const size_t end = Closing(t, body);
      for (size_t j = body; j + 1 < end; ++j) {
        if (t[j].kind != Token::kWord || !Is(t, j + 1, "(")) continue;
        const int index = TextArgument(t, j, j + 1);
        if (index < 0) continue;
        const auto args = Arguments(t, j + 1);
        if (static_cast<size_t>(index) >= args.size()) continue;
        const auto [from, to] = args[static_cast<size_t>(index)];
        if (to != from + 1 || t[from].kind != Token::kWord) continue;
        const auto param = std::find(params.begin(), params.end(), t[from].text);
        if (param != params.end() && LastName(t[i].text) != LastName(t[j].text)) {
          wrappers_.emplace(LastName(t[i].text), static_cast<int>(param - params.begin()));
        }
      }
    }
  }

  void CollectTexts(const std::string& path, const std::vector<Token>& t) {
    for (size_t i = 0; i + 1 < t.size(); ++i) {
      if (t[i].kind != Token::kWord) continue;
      const bool call = Is(t, i + 1, "(");
      if (!call && !Is(t, i + 1, "{")) continue;
      const int index = TextArgument(t, i, i + 1);
      if (index < 0) continue;
      const auto args = Arguments(t, i + 1);
      if (static_cast<size_t>(index) >= args.size()) continue;
      const auto [from, to] = args[static_cast<size_t>(index)];
      const std::string where = path + ":" + std::to_string(t[i].line);
      if (t[from].kind == Token::kText) {
        std::string text;
        size_t j = from;
        for (; j < to && t[j].kind == Token::kText; ++j) text += t[j].text;
        if (j == to) texts_.push_back({text, where});
      } else if (to == from + 1 && t[from].kind == Token::kWord) {
        // A named constant: this file's, else the one constant of that name anywhere.
        const auto own = constants_[path].find(t[from].text);
        if (own != constants_[path].end()) {
          texts_.push_back({own->second, where});
        } else if (const auto any = global_.find(t[from].text);
                   any != global_.end() && any->second.size() == 1) {
          texts_.push_back({*any->second.begin(), where});
        }
      }
    }
  }

  std::map<std::string, std::vector<Token>> files_;
  std::map<std::string, std::map<std::string, std::string>> constants_;
  std::map<std::string, std::set<std::string>> global_;
  std::map<std::string, int> wrappers_;
  std::vector<FoundText> texts_;
};

// The texts of `found` that the master has no string or memo for, one line each.
std::vector<std::string> Missing(const std::vector<FoundText>& found, const TStrings& master) {
  const TParsedLanguage parsed = ParseLanguageLines(master);
  std::vector<std::string> out;
  for (const FoundText& f : found) {
    bool known = false;
    for (const TLanguageString& s : parsed.Strings) known = known || SameText(s.Text, f.text);
    for (const TLanguageMemo& m : parsed.Memos) known = known || JoinLines(m.Lines, " ") == f.text;
    if (!known) {
      out.push_back(f.where + ": \"" + f.text +
                    "\" is shown through the translator, but lang/tmbiEnglish.txt has no entry "
                    "for it: add it there (and to the 20 other language files)");
    }
  }
  return out;
}

TEST(TranslatedTexts, TheScanFindsEveryWayOfHandingATextToTheTranslator) {
  const std::map<std::string, std::string> sources = {
      {"a.cpp",
       "const char kAsk[] = \"Ask \\\"me\\\"\";\n"
       "std::string Say(int n, const char* english) { return LocalizeMessage(english); }\n"
       "std::string SayTwice(const std::string& text) { return Say(2, text); }\n"
       "void F() {\n"
       "  // LocalizeMessage(\"a comment\")\n"
       "  x = LocalizeMessage(\"First \"\n  \"and second\");\n"
       "  throw IEInstall(\"Cannot %s\", {name});\n"
       "  Say(1, kAsk); SayTwice(\"Twice\"); Say(1, runtime + \"x\");\n"
       "  y = TranslateText(tlEnglish, \"From English\") + TranslateText(tlGerman, \"Nein\");\n"
       "  z = tmby::LocalizeMessage(kShared); Other(\"Not translated\");\n"
       "}\n"},
      {"b.h", "constexpr const char* kShared = \"Shared\";\n"},
  };
  const TranslatedTexts scan(sources);
  std::vector<std::string> texts;
  for (const FoundText& f : scan.Texts()) texts.push_back(f.where + " " + f.text);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"a.cpp:10 From English", "a.cpp:11 Shared",
                                             "a.cpp:6 First and second", "a.cpp:8 Cannot %s",
                                             "a.cpp:9 Ask \"me\"", "a.cpp:9 Twice"}));
  // Matched as the translator matches (ignoring case), memos by their lines joined.
  const TStrings master = {"1;cannot %s", "#2", "First and", "second", "#"};
  EXPECT_EQ(Missing(scan.Texts(), master).size(), 4u);
  EXPECT_EQ(Missing({{"Twice", "a.cpp:9"}}, master),
            (std::vector<std::string>{
                "a.cpp:9: \"Twice\" is shown through the translator, but lang/tmbiEnglish.txt "
                "has no entry for it: add it there (and to the 20 other language files)"}));
}

TEST(TranslatedTexts, EveryTextTheKitTranslatesIsInTheMasterLanguage) {
#ifdef TMBY_WIN32_TESTS
  GTEST_SKIP() << "the sources are read by the native run";
#endif
  std::map<std::string, std::string> sources;
  const std::string root = Root();
  for (const char* folder : {"src", "apps"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root + folder)) {
      const std::string path = entry.path().generic_string();
      if (!entry.is_regular_file()) continue;
      if (!path.ends_with(".cpp") && !path.ends_with(".h")) continue;
      sources[path.substr(root.size())] = ReadFile(path);
    }
  }
  ASSERT_GT(sources.size(), 50u) << "the sources were not found below " << root;
  const TranslatedTexts scan(sources);
  // The scan sees the texts it should: a handful of those the kit is known to translate.
  std::set<std::string> seen;
  for (const FoundText& f : scan.Texts()) seen.insert(f.text);
  for (const char* text : {"Are you sure you want to cancel the installation?",
                           "Do you want to completely remove %s and all of its components?",
                           "The archive %s that %s downloaded is incomplete or damaged"}) {
    EXPECT_TRUE(seen.count(text)) << text;
  }
  const std::vector<std::string> missing =
      Missing(scan.Texts(), SplitLanguageText(ReadFile(root + "lang/tmbiEnglish.txt")));
  std::string lines;
  for (const std::string& m : missing) lines += "\n  " + m;
  EXPECT_TRUE(missing.empty()) << missing.size() << " texts are not translated:" << lines;
}

}  // namespace
}  // namespace tmby
