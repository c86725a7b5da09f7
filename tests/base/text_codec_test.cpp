#include "base/text_codec.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

constexpr char16_t kFffd = 0xFFFD;

TEST(TextCodec, RoundTripsEveryLengthOfUtf8) {
  // "A", "é", "€", U+1F600 (four bytes, a surrogate pair in UTF-16) and the largest code point.
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToUtf8(u""), "");
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(TextCodec, RefusesOverlongFormsSurrogatesAndValuesBeyondUnicode) {
  for (const std::string bad : {
           "\xC0\xAF",          // "/" in two bytes
           "\xC1\xBF",          // overlong two-byte form
           "\xE0\x80\xAF",      // "/" in three bytes
           "\xF0\x80\x80\xAF",  // "/" in four bytes
           "\xED\xA0\x80",      // U+D800, a surrogate
           "\xED\xBF\xBF",      // U+DFFF
           "\xF4\x90\x80\x80",  // U+110000
           "\xF5\x80\x80\x80",  // no lead byte at all
           "\xFF",              // never in UTF-8
           "\x80",              // a continuation byte alone
           "\xE2\x82",          // cut short at the end
       }) {
    EXPECT_EQ(FindInvalidUtf8("ok" + bad), 2u) << testing::PrintToString(bad);
    // Never empty, never the bytes themselves: the ill-formed part reads as U+FFFD.
    const std::u16string wide = Utf8ToUtf16(bad);
    ASSERT_FALSE(wide.empty());
    for (const char16_t unit : wide) EXPECT_EQ(unit, kFffd) << testing::PrintToString(bad);
  }
  // The first and last well-formed values of each length stay well-formed.
  EXPECT_TRUE(IsValidUtf8("\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80"));
}

TEST(TextCodec, EachIllFormedPartBecomesOneReplacementCharacter) {
  // Unicode's own example of replacing maximal ill-formed subparts.
  const std::string mixed =
      "a\xF1\x80\x80\xE1\x80\xC2"
      "b\x80"
      "c\x80\xBF"
      "d";
  EXPECT_EQ(Utf8ToUtf16(mixed),
            (std::u16string{u'a', kFffd, kFffd, kFffd, u'b', kFffd, u'c', kFffd, kFffd, u'd'}));
  EXPECT_EQ(FindInvalidUtf8(mixed), 1u);
}

TEST(TextCodec, CountsAndCutsByCharactersNeverInsideOne) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, é, €, U+1F600
  EXPECT_EQ(Utf8Length(text), 4u);
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 2), "a\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 3), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf8Prefix(text, 99), text);
  // An ill-formed part is one character, as it shows as one U+FFFD.
  EXPECT_EQ(Utf8Length("x\xE2\x82y\xFF"), 4u);
  EXPECT_EQ(Utf8Prefix("x\xE2\x82y", 2), "x\xE2\x82");
}

TEST(TextCodec, UnpairedSurrogatesOfUtf16BecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', 0xDC00}), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD");

  const uint8_t le[] = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0, 'B', 0};
  EXPECT_EQ(Utf16LeToUtf8(le, 5), "A\xF0\x9F\x98\x80");  // stops at the NUL
  const uint8_t lone[] = {0x3D, 0xD8, 'A', 0};
  EXPECT_EQ(Utf16LeToUtf8(lone, 2),
            "\xEF\xBF\xBD"
            "A");
  EXPECT_EQ(Utf16LeToUtf8(lone, 1), "\xEF\xBF\xBD");  // the pair cut by the unit count
}

TEST(TextCodec, Windows1252HoldsItsOwnCharactersOnly) {
  const std::string ansi = "a\x80\x9F\xE9\x81";
  const std::string utf8 = Cp1252ToUtf8(ansi);
  EXPECT_EQ(utf8, "a\xE2\x82\xAC\xC5\xB8\xC3\xA9\xC2\x81");  // a € Ÿ é and the hole U+0081
  EXPECT_EQ(Utf8ToCp1252(utf8), ansi);
  EXPECT_EQ(Utf8ToCp1252(""), "");
  EXPECT_FALSE(Utf8ToCp1252("\xD0\x96"));    // Cyrillic Zhe
  EXPECT_FALSE(Utf8ToCp1252("\xC2\x80"));    // U+0080: 0x80 is the euro sign there
  EXPECT_FALSE(Utf8ToCp1252("ok\xC0\xAF"));  // ill-formed
  EXPECT_EQ(Cp1252ToUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
  // One byte at a time (the rich-text reader's \'hh), the same table.
  EXPECT_EQ(Cp1252ToCodePoint(0x80), U'\u20AC');
  EXPECT_EQ(Cp1252ToCodePoint(0x9F), U'\u0178');
  EXPECT_EQ(Cp1252ToCodePoint(0x81), U'\u0081');
  EXPECT_EQ(Cp1252ToCodePoint(0xE9), U'\u00E9');
}

}  // namespace
}  // namespace tmby
