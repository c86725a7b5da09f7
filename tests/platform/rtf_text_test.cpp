#include "platform/rtf_text.h"

#include <gtest/gtest.h>

namespace tmby::platform {
namespace {

TEST(RtfText, ParagraphsAndTextWithoutTheTablesAndDestinations) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl ;\\red0\\green0"
      "\\blue0;}{\\*\\generator Riched20 5.50;}{\\info{\\title Licence}}\\viewkind4\\uc1\\pard\\b "
      "END-USER LICENCE\\b0\\par\n\\par\nYou may\\tab use {\\i one} copy.\\line Braces \\{ \\} and "
      "a backslash \\\\.\\par}";
  EXPECT_EQ(RtfToText(rtf),
            "END-USER LICENCE\r\n\r\nYou may\tuse one copy.\r\nBraces { } and a backslash \\.\r\n");
  EXPECT_TRUE(LooksLikeRtf(rtf));
  EXPECT_FALSE(LooksLikeRtf("Plain text {\\rtf1}"));
}

TEST(RtfText, CodePageBytesAndUnicodeEscapesBecomeUtf8) {
  // \'e9 and \'80 in Windows-1252; \u with one replacement character, then with none (\uc0),
  // and a surrogate pair. The blank after a control word only ends the word.
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi Caf\\'e9 \\'80 \\u26085?\\uc0\\u26412 \\u-10179\\u-8704 x}"),
            "Caf\xc3\xa9 \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80x");
  // Another code page's bytes are not guessed at.
  EXPECT_EQ(RtfToText("{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'c1}"), "??");
}

TEST(RtfText, MalformedInputKeepsWhatCanBeRead) {
  EXPECT_EQ(RtfToText("{\\rtf1 Text\\'4"), "Text");              // truncated escape
  EXPECT_EQ(RtfToText("{\\rtf1 a}}}b{{c"), "abc");               // unbalanced braces
  EXPECT_EQ(RtfToText("{\\rtf1 \\u"), "");                       // a word without its number
  EXPECT_EQ(RtfToText("{\\rtf1 x\\u-10179}"), "x\xef\xbf\xbd");  // a lone high surrogate
  EXPECT_EQ(RtfToText("\\"), "");
  std::string deep(100000, '{');
  EXPECT_EQ(RtfToText(deep + "deep"), "deep");
}

}  // namespace
}  // namespace tmby::platform
