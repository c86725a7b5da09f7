#include "engine/command_line.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"

namespace tmby {
namespace {

const char kInvalid[] =
    "Invalid parameter <%s>. Valid command line parameters are: -b (Build), -d (Debug), -f "
    "(Transfer to floppies), -e (Called by self-extractor), -r (After reboot)";

std::string ErrorOf(const std::vector<std::string>& args) {
  try {
    ParseCommandLine(args);
  } catch (const IException& e) {
    return e.Message();
  }
  return "";
}

TEST(ParseCommandLine, SwitchesTakeTheRestOfTheArgumentAsValueInEitherCase) {
  const TCommandLine line = ParseCommandLine({"-sC:\\My Build", "-eSetup.exe", "-C", "*n", "-d"});
  EXPECT_TRUE(line.Has(csSource));
  EXPECT_EQ(line.Value(csSource), "C:\\My Build");
  EXPECT_EQ(line.Value(csSelfExtractor), "Setup.exe");
  EXPECT_TRUE(line.Has(csCleanup));
  EXPECT_TRUE(line.Has(csNewList));
  EXPECT_TRUE(line.Has(csDebug));
  EXPECT_FALSE(line.Has(csBuild));
  EXPECT_FALSE(line.Has(csReboot));
  EXPECT_EQ(line.Switches, (1u << csSource) | (1u << csSelfExtractor) | (1u << csCleanup) |
                               (1u << csNewList) | (1u << csDebug));
}

TEST(ParseCommandLine, ALaterOccurrenceOverwritesTheValue) {
  const TCommandLine line = ParseCommandLine({"-sA:\\", "-SB:\\dist"});
  EXPECT_EQ(line.Value(csSource), "B:\\dist");
}

TEST(ParseCommandLine, BadArgumentsGiveTheExactMessage) {
  for (const std::string bad : {"-", "x", "", "-z", "/b", "b"}) {
    EXPECT_EQ(ErrorOf({"-b", bad}), FormatText(kInvalid, {bad})) << "argument '" << bad << "'";
  }
}

TEST(ParseCommandLine, UnknownStarSwitchesAreIgnored) {
  const TCommandLine line = ParseCommandLine({"*TODISK", "*b"});
  EXPECT_TRUE(line.Has(csBuild));
  EXPECT_EQ(line.Switches, 1u << csBuild);
  EXPECT_EQ(ParseCommandLine({}).Switches, 0u);
}

}  // namespace
}  // namespace tmby
