// DOS date-times and day counts. A DOS date-time holds the date in its high word (year - 1980,
// month, day) and the time in its low word (hours, minutes, seconds / 2). A day count is the
// number of days since 30 December 1899 with the time of day as the fraction.
#pragma once

#include <cstdint>
#include <optional>

namespace tmby {

struct CivilTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Nullopt when the fields do not form a valid date and time.
std::optional<CivilTime> DecodeDosDateTime(uint32_t dos);
// Years outside 1980..2107 have no DOS form; seconds are cut to the even second below.
std::optional<uint32_t> EncodeDosDateTime(const CivilTime& t);

double EncodeDayCount(const CivilTime& t);
CivilTime DecodeDayCount(double days);

// The day count of a DOS date-time; nullopt when the DOS value is invalid.
std::optional<double> DosDateTimeToDayCount(uint32_t dos);
// The DOS date-time of a day count (rounded to the millisecond, then cut to two seconds).
std::optional<uint32_t> DayCountToDosDateTime(double days);

}  // namespace tmby
