#include "base/dostime.h"

#include <gtest/gtest.h>

namespace tmby {
namespace {

TEST(DosTime, EncodesFieldsAndCutsOddSeconds) {
  CivilTime t{2002, 7, 15, 13, 45, 31, 0};
  auto dos = EncodeDosDateTime(t);
  ASSERT_TRUE(dos.has_value());
  EXPECT_EQ(*dos >> 16, static_cast<uint32_t>(((2002 - 1980) << 9) | (7 << 5) | 15));
  EXPECT_EQ(*dos & 0xFFFF, static_cast<uint32_t>((13 << 11) | (45 << 5) | 15));
  auto back = DecodeDosDateTime(*dos);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->second, 30);
  EXPECT_EQ(back->minute, 45);
}

TEST(DosTime, RefusesDatesOutsideTheDosRangeAndInvalidFields) {
  EXPECT_FALSE(EncodeDosDateTime(CivilTime{1979, 12, 31, 0, 0, 0, 0}).has_value());
  EXPECT_FALSE(EncodeDosDateTime(CivilTime{2108, 1, 1, 0, 0, 0, 0}).has_value());
  EXPECT_FALSE(EncodeDosDateTime(CivilTime{2001, 2, 29, 0, 0, 0, 0}).has_value());
  EXPECT_TRUE(EncodeDosDateTime(CivilTime{2000, 2, 29, 0, 0, 0, 0}).has_value());
  EXPECT_FALSE(DecodeDosDateTime(0).has_value());  // month 0, day 0
  EXPECT_FALSE(DecodeDosDateTime(0xFFFFFFFF).has_value());
}

TEST(DayCount, CountsDaysSinceTheEndOf1899) {
  EXPECT_DOUBLE_EQ(EncodeDayCount(CivilTime{1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDayCount(CivilTime{1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDayCount(CivilTime{2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  const CivilTime t = DecodeDayCount(36526.75);
  EXPECT_EQ(t.year, 2000);
  EXPECT_EQ(t.hour, 18);
  EXPECT_EQ(t.minute, 0);
}

TEST(DayCount, RoundTripsThroughDosDateTime) {
  for (uint32_t dos : {0x2C8F6E2Fu, 0x00210000u, 0xFF9FBF7Du}) {
    auto days = DosDateTimeToDayCount(dos);
    ASSERT_TRUE(days.has_value()) << dos;
    auto again = DayCountToDosDateTime(*days);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, dos);
  }
  EXPECT_FALSE(DayCountToDosDateTime(std::numeric_limits<double>::quiet_NaN()).has_value());
}

}  // namespace
}  // namespace tmby
