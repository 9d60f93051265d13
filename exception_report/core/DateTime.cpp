#include "core/DateTime.h"

#include <windows.h>

#include <cmath>

namespace RevavaRez {

namespace {

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);
constexpr int64_t kMsPerDay = 86400000;

TDateTime FromSystemTime(const SYSTEMTIME& t) {
  return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
  double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  // Before the epoch the fraction still counts forward from midnight.
  return days >= 0 ? days + time / kMsPerDay : days - time / kMsPerDay;
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts parts;
  if (!std::isfinite(value) || std::fabs(value) > 3e6) return parts;
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  int64_t days = static_cast<int64_t>(whole);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += value >= 0 ? 1 : -1;
  }
  CivilFromDays(days + kEpochOffset, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  // 1899-12-30 was a Saturday.
  parts.DayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
  return parts;
}

TDateTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return FromSystemTime(t);
}

TDateTime NowUTC() {
  SYSTEMTIME t;
  GetSystemTime(&t);
  return FromSystemTime(t);
}

}  // namespace RevavaRez
