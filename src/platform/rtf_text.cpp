#include "platform/rtf_text.h"

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/text_codec.h"

namespace tmby::platform {

namespace {

// Groups whose contents are no part of the text.
bool SkippedDestination(std::string_view word) {
  static constexpr std::string_view kSkipped[] = {
      "fonttbl",   "colortbl",     "stylesheet", "info",
      "pict",      "object",       "header",     "footer",
      "headerl",   "headerr",      "headerf",    "footerl",
      "footerr",   "footerf",      "listtable",  "listoverridetable",
      "rsidtbl",   "generator",    "themedata",  "colorschememapping",
      "datastore", "latentstyles", "filetbl",    "revtbl",
      "xmlnstbl",  "pgdsctbl",     "fldinst",    "bkmkstart",
      "bkmkend"};
  for (std::string_view s : kSkipped) {
    if (word == s) return true;
  }
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class RtfReader {
 public:
  explicit RtfReader(const std::string& rtf) : in_(rtf) {}

  std::string Read() {
    while (at_ < in_.size()) {
      const char c = in_[at_++];
      switch (c) {
        case '{': groups_.push_back(groups_.empty() ? Group{} : groups_.back()); break;
        case '}':
          if (!groups_.empty()) groups_.pop_back();
          break;
        case '\\': Control(); break;
        case '\r':
        case '\n': break;
        default: Byte(static_cast<uint8_t>(c)); break;
      }
    }
    FlushSurrogate();
    return out_;
  }

 private:
  struct Group {
    bool skip = false;
    int uc = 1;  // replacement characters that follow a \u
  };

  bool Skipping() const { return !groups_.empty() && groups_.back().skip; }
  void Skip() {
    if (!groups_.empty()) groups_.back().skip = true;
  }

  void Text(char32_t code) {
    if (Skipping()) return;
    if (pending_high_ != 0) {
      if (code >= 0xDC00 && code <= 0xDFFF) {
        code = 0x10000 + ((pending_high_ - 0xD800) << 10) + (code - 0xDC00);
        pending_high_ = 0;
      } else {
        FlushSurrogate();
      }
    }
    if (code >= 0xD800 && code <= 0xDBFF) {
      pending_high_ = code;
      return;
    }
    AppendUtf8(out_, code);
  }
  void FlushSurrogate() {
    if (pending_high_ == 0) return;
    pending_high_ = 0;
    AppendUtf8(out_, kReplacementCharacter);
  }

  // A byte of the document's ANSI code page.
  void Byte(uint8_t b) {
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    if (b < 0x80) {
      Text(b);
    } else if (code_page_ != 1252) {
      Text('?');  // only Western documents are read byte by byte; others use \u
    } else {
      Text(Cp1252ToCodePoint(b));
    }
  }

  void Control() {
    if (at_ >= in_.size()) return;
    const char c = in_[at_];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++at_;
      switch (c) {
        case '\'': {
          const int hi = at_ < in_.size() ? HexValue(in_[at_]) : -1;
          if (hi >= 0) ++at_;
          const int lo = hi >= 0 && at_ < in_.size() ? HexValue(in_[at_]) : -1;
          if (lo < 0) return;  // a truncated escape is dropped with its one digit
          ++at_;
          Byte(static_cast<uint8_t>(hi * 16 + lo));
          return;
        }
        case '*': Skip(); return;
        case '~': Symbol(0x00A0); return;
        case '_': Symbol('-'); return;
        case '-': return;  // optional hyphen
        case '\r':
        case '\n':
          Symbol('\r');
          Symbol('\n');
          return;
        default: Symbol(static_cast<unsigned char>(c)); return;
      }
    }
    std::string word;
    while (at_ < in_.size() && std::isalpha(static_cast<unsigned char>(in_[at_]))) {
      word += in_[at_++];
    }
    bool has_param = false;
    bool negative = false;
    int64_t param = 0;
    if (at_ < in_.size() && in_[at_] == '-') {
      negative = true;
      ++at_;
    }
    while (at_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[at_]))) {
      has_param = true;
      // A parameter is at most a 32-bit number; longer digit runs are read but not grown.
      if (param < 0x7FFFFFFF) param = param * 10 + (in_[at_] - '0');
      ++at_;
    }
    if (negative) param = -param;
    if (at_ < in_.size() && in_[at_] == ' ') ++at_;
    Word(word, has_param, param);
  }

  // A character written by a control symbol or word: it replaces nothing after a \u.
  void Symbol(char32_t code) {
    if (skip_chars_ > 0) {
      --skip_chars_;
      return;
    }
    Text(code);
  }

  void Word(const std::string& word, bool has_param, int64_t param) {
    if (word == "par" || word == "line" || word == "sect" || word == "page") {
      Symbol('\r');
      Symbol('\n');
    } else if (word == "tab") {
      Symbol('\t');
    } else if (word == "u" && has_param) {
      skip_chars_ = 0;
      Text(static_cast<char32_t>(param < 0 ? param + 65536 : param) & 0xFFFF);
      skip_chars_ = groups_.empty() ? 1 : groups_.back().uc;
    } else if (word == "uc" && has_param) {
      if (!groups_.empty()) groups_.back().uc = static_cast<int>(param < 0 ? 0 : param);
    } else if (word == "ansicpg" && has_param) {
      code_page_ = static_cast<int>(param);
    } else if (word == "emdash") {
      Symbol(0x2014);
    } else if (word == "endash") {
      Symbol(0x2013);
    } else if (word == "lquote") {
      Symbol(0x2018);
    } else if (word == "rquote") {
      Symbol(0x2019);
    } else if (word == "ldblquote") {
      Symbol(0x201C);
    } else if (word == "rdblquote") {
      Symbol(0x201D);
    } else if (word == "bullet") {
      Symbol(0x2022);
    } else if (SkippedDestination(word)) {
      Skip();
    }
  }

  const std::string& in_;
  size_t at_ = 0;
  std::vector<Group> groups_;
  std::string out_;
  int code_page_ = 1252;
  int skip_chars_ = 0;
  char32_t pending_high_ = 0;
};

}  // namespace

bool LooksLikeRtf(const std::string& bytes) { return bytes.rfind("{\\rtf", 0) == 0; }

std::string RtfToText(const std::string& rtf) { return RtfReader(rtf).Read(); }

}  // namespace tmby::platform
