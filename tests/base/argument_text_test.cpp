#include "base/argument_text.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLine("setup.exe -b  -sC:\\dist\t-n"),
            (Words{"setup.exe", "-b", "-sC:\\dist", "-n"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\setup.exe\" \"-sC:\\My Dist\\\" -c"),
            (Words{"C:\\Program Files\\setup.exe", "-sC:\\My Dist\" -c"}));
  EXPECT_EQ(SplitCommandLine("a \"\" b\"c d\"e"), (Words{"a", "", "bc de"}));
  EXPECT_EQ(SplitCommandLine(""), Words{});
  EXPECT_EQ(SplitCommandLine("   "), Words{});
}

TEST(SplitCommandLine, BackslashesEscapeOnlyBeforeAQuote) {
  // 2n backslashes and a quote: n backslashes, the quote groups; 2n+1: n and a quote.
  EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\" d\\\"e f\\\\g \\\\\\\\"),
            (Words{"p", "a\\b c", "d\"e", "f\\\\g", "\\\\\\\\"}));
  // The program's name takes its backslashes as they are.
  EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x y\" z"), (Words{"C:\\dir\\x y", "z"}));
  // Text beyond ASCII passes through unchanged.
  EXPECT_EQ(SplitCommandLine("p \"Gr\xC3\xBC\xC3\x9F"
                             "e Mir\""),
            (Words{"p",
                   "Gr\xC3\xBC\xC3\x9F"
                   "e Mir"}));
}

}  // namespace
}  // namespace tmby
