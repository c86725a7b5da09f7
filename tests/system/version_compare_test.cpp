#include "system/version_compare.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

TEST(CompareVersionStringsTest, FieldsCompareAsNumbersWhenBothAreIntegers) {
  EXPECT_EQ(CompareVersionStrings("1.2.10", "1.2.9"), 1);
  EXPECT_EQ(CompareVersionStrings("1.2.9", "1.2.10"), 2);
  EXPECT_EQ(CompareVersionStrings("5.1.2600.0", "5.1.2600.0"), 0);
  EXPECT_EQ(CompareVersionStrings("01.2", "1.02"), 0);
  EXPECT_EQ(CompareVersionStrings("4.0.0.0", "10.0.0.0"), 2);
  // Beyond any machine integer the value still decides, not the first digit.
  EXPECT_EQ(CompareVersionStrings("1.99999999999999999999", "1.100000000000000000000"), 2);
  EXPECT_EQ(CompareVersionStrings("1.-2", "1.-10"), 1);
  EXPECT_EQ(CompareVersionStrings("1.-0", "1.0"), 0);
}

TEST(CompareVersionStringsTest, OtherFieldsCompareAsByteStrings) {
  EXPECT_EQ(CompareVersionStrings("1.2a", "1.2b"), 2);
  EXPECT_EQ(CompareVersionStrings("1.2b", "1.2a"), 1);
  EXPECT_EQ(CompareVersionStrings("1.beta", "1.beta"), 0);
  EXPECT_EQ(CompareVersionStrings("1.B", "1.a"), 2);     // case-sensitive: 'B' < 'a'
  EXPECT_EQ(CompareVersionStrings("1.ab", "1.abc"), 2);  // a shorter prefix sorts first
  EXPECT_EQ(CompareVersionStrings("1.9", "1.10a"), 1);   // one side not numeric: bytes decide
  EXPECT_EQ(CompareVersionStrings("1.\xE9", "1.z"), 1);  // bytes compare unsigned
}

TEST(CompareVersionStringsTest, TheFirstEmptyFieldEndsTheComparison) {
  EXPECT_EQ(CompareVersionStrings("2.0", "2.0.0"), 2);
  EXPECT_EQ(CompareVersionStrings("2.0.0", "2.0"), 1);
  EXPECT_EQ(CompareVersionStrings("2.0", "2.0"), 0);
  EXPECT_EQ(CompareVersionStrings("", ""), 0);
  EXPECT_EQ(CompareVersionStrings("", "0"), 2);
  EXPECT_EQ(CompareVersionStrings("0", ""), 1);
  EXPECT_EQ(CompareVersionStrings("1.", "1"), 0);
  EXPECT_EQ(CompareVersionStrings("1..5", "1..3"), 0);
  EXPECT_EQ(CompareVersionStrings("1..5", "1.0.3"), 2);
}

}  // namespace
}  // namespace tmby
