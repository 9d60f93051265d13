#pragma once
// Dates as the library stores and prints them: days since 1899-12-30 with
// the time of day as the fraction.
#include <cstdint>

namespace RevavaRez {

using TDateTime = double;

struct TDateParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int DayOfWeek = 6;  // 0 Sunday to 6 Saturday
};

// Valid for the Gregorian years 1 to 9999; the parts are not checked.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateParts DecodeDateTime(TDateTime value);

// Local time, and UTC, now.
TDateTime Now();
TDateTime NowUTC();

}  // namespace RevavaRez
