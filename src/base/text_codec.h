// The kit's one text codec: UTF-8 (the kit's strings), UTF-16 (the Windows API, version
// resources) and Windows-1252 (the ANSI code page of Western Windows). Every conversion between
// them goes through here; the system's own code page conversion lives in the Windows adapter.
//
// Ill-formed input never disappears: each ill-formed part becomes U+FFFD, so a text that was not
// empty never converts to an empty one (an empty registry key name would be the root key).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tmby {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends one code point as UTF-8; a surrogate or a value beyond U+10FFFF is appended as U+FFFD.
void AppendUtf8(std::string& out, char32_t code);

// Decodes the sequence at `*at` and moves `*at` past it. An ill-formed sequence (an overlong
// form, a surrogate, a value beyond U+10FFFF, a stray or missing continuation byte) gives
// nullopt and moves past its longest ill-formed start, at least one byte.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t* at);

// The offset of the first byte that is not part of well-formed UTF-8, or npos.
size_t FindInvalidUtf8(std::string_view text);
inline bool IsValidUtf8(std::string_view text) {
  return FindInvalidUtf8(text) == std::string_view::npos;
}

// The number of characters of UTF-8 text; each ill-formed part counts as one.
size_t Utf8Length(std::string_view text);
// The longest beginning of UTF-8 text of at most `count` characters (counted as Utf8Length
// does), never cutting a character in two.
std::string_view Utf8Prefix(std::string_view text, size_t count);

std::u16string Utf8ToUtf16(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-16 as little-endian bytes, at most `units` code units, stopping at a NUL.
std::string Utf16LeToUtf8(const uint8_t* data, size_t units);

// Windows-1252 to UTF-8. Its five unassigned bytes map to the control characters of the same
// value, as the system's conversion does, so every byte has a character.
std::string Cp1252ToUtf8(std::string_view text);
char32_t Cp1252ToCodePoint(unsigned char byte);
// UTF-8 to Windows-1252; nullopt when a character has no byte there (or the text is ill-formed).
std::optional<std::string> Utf8ToCp1252(std::string_view text);

}  // namespace tmby
