#include "base/dostime.h"

#include <cmath>

namespace tmby {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 0001-01-01 (proleptic Gregorian) to the given date.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

const int64_t kEpoch1899 = DaysFromCivil(1899, 12, 30);

bool Valid(const CivilTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
         t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 &&
         t.second < 60 && t.millisecond >= 0 && t.millisecond < 1000;
}

}  // namespace

std::optional<CivilTime> DecodeDosDateTime(uint32_t dos) {
  CivilTime t;
  const uint32_t date = dos >> 16;
  const uint32_t time = dos & 0xFFFF;
  t.year = static_cast<int>((date >> 9) + 1980);
  t.month = static_cast<int>((date >> 5) & 0xF);
  t.day = static_cast<int>(date & 0x1F);
  t.hour = static_cast<int>(time >> 11);
  t.minute = static_cast<int>((time >> 5) & 0x3F);
  t.second = static_cast<int>((time & 0x1F) * 2);
  if (!Valid(t)) return std::nullopt;
  return t;
}

std::optional<uint32_t> EncodeDosDateTime(const CivilTime& t) {
  if (!Valid(t) || t.year < 1980 || t.year > 2107) return std::nullopt;
  const uint32_t date = static_cast<uint32_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  const uint32_t time = static_cast<uint32_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return (date << 16) | time;
}

double EncodeDayCount(const CivilTime& t) {
  const double days = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) - kEpoch1899);
  const double fraction =
      (((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond) / 86400000.0;
  // Before 1899-12-30 the fraction counts away from zero, as the day count format has it.
  return days >= 0 ? days + fraction : days - fraction;
}

CivilTime DecodeDayCount(double days) {
  CivilTime t;
  if (!std::isfinite(days) || days > 2958465.0 || days < -693593.0) days = 0;
  const double whole = std::trunc(days);
  int64_t ms = std::llround(std::fabs(days - whole) * 86400000.0);
  int64_t day = static_cast<int64_t>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    day += days >= 0 ? 1 : -1;
  }
  CivilFromDays(day + kEpoch1899, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::optional<double> DosDateTimeToDayCount(uint32_t dos) {
  auto t = DecodeDosDateTime(dos);
  if (!t) return std::nullopt;
  return EncodeDayCount(*t);
}

std::optional<uint32_t> DayCountToDosDateTime(double days) {
  return EncodeDosDateTime(DecodeDayCount(days));
}

}  // namespace tmby
