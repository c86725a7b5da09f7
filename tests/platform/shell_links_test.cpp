// The lengths the shell keeps, counted in the units of the wide API.
#include <gtest/gtest.h>

#include <string>

#include "platform/port.h"

namespace tmby::platform {
namespace {

TEST(ShellLinkLengths, CountUtf16UnitsAsTheConversionMakesThem) {
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(Utf16Length("a\xC3\xA9\xE2\x82\xAC"), 3u);  // a, e acute, euro sign
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);       // beyond the basic plane: a pair
  // A cut four-byte sequence is one replacement character, not a pair; a stray continuation
  // byte and a byte that starts nothing are one each.
  EXPECT_EQ(Utf16Length("\xF0\x9F\x98"), 1u);
  EXPECT_EQ(Utf16Length("\x80\xFFx"), 3u);

  ShellLink link;
  link.target = "C:\\" + std::string(kMaxLinkPath - 3, 'a');
  EXPECT_EQ(CheckShellLinkLengths("C:\\x.lnk", link), 0);
  // One character beyond the basic plane at the end: the units, not the characters, count.
  link.target = "C:\\" + std::string(kMaxLinkPath - 4, 'a') + "\xF0\x9F\x98\x80";
  EXPECT_EQ(CheckShellLinkLengths("C:\\x.lnk", link), hresult::kInvalidArg);
  link.target = "C:\\x";
  link.description = std::string(kMaxLinkText - 1, 'd') + "\xF0\x9F\x98";  // cut: one unit
  EXPECT_EQ(CheckShellLinkLengths("C:\\x.lnk", link), 0);
}

}  // namespace
}  // namespace tmby::platform
