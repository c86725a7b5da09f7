#include "base/text_codec.h"

namespace tmby {

namespace {

bool IsSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

// The characters 0x80..0x9F of Windows-1252; the five holes map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacementCharacter;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t* at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*at);
  if (lead < 0x80) {
    ++*at;
    return lead;
  }
  // The length of the sequence and the range of its second byte, which is narrower after the
  // leads that could otherwise spell an overlong form (E0, F0), a surrogate (ED) or a value
  // beyond U+10FFFF (F4). C0, C1 and F5..FF lead only overlong or too large forms.
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++*at;
    return std::nullopt;
  }
  for (size_t i = 1; i < length; ++i) {
    const size_t pos = *at + i;
    const bool fits = pos < text.size() && byte(pos) >= (i == 1 ? low : 0x80) &&
                      byte(pos) <= (i == 1 ? high : 0xBF);
    if (!fits) {
      *at = pos;  // the well-formed start counts as one ill-formed part
      return std::nullopt;
    }
    code = (code << 6) | (byte(pos) & 0x3F);
  }
  *at += length;
  return code;
}

size_t FindInvalidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    if (!DecodeUtf8(text, &at)) return start;
  }
  return std::string_view::npos;
}

size_t Utf8Length(std::string_view text) {
  size_t count = 0;
  for (size_t at = 0; at < text.size(); ++count) DecodeUtf8(text, &at);
  return count;
}

std::string_view Utf8Prefix(std::string_view text, size_t count) {
  size_t at = 0;
  for (size_t n = 0; n < count && at < text.size(); ++n) DecodeUtf8(text, &at);
  return text.substr(0, at);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    AppendUtf16(out, DecodeUtf8(text, &at).value_or(kReplacementCharacter));
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, code);  // a lone surrogate becomes U+FFFD there
  }
  return out;
}

std::string Utf16LeToUtf8(const uint8_t* data, size_t units) {
  std::u16string text;
  for (size_t i = 0; i < units; ++i) {
    const auto unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (unit == 0) break;
    text += unit;
  }
  return Utf16ToUtf8(text);
}

char32_t Cp1252ToCodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const std::optional<char32_t> code = DecodeUtf8(text, &at);
    if (!code) return std::nullopt;
    if (*code < 0x80 || (*code >= 0xA0 && *code <= 0xFF)) {
      out += static_cast<char>(*code);
      continue;
    }
    size_t found = 0;
    while (found < 32 && kCp1252High[found] != *code) ++found;
    if (found == 32) return std::nullopt;
    out += static_cast<char>(0x80 + found);
  }
  return out;
}

}  // namespace tmby
