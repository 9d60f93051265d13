#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

#include "Tolvane.h"

TEST(Tolvane, IntToTimeGivesHoursMinutesSeconds) {
  struct Case {
    int Seconds;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {0, L"00:00:00"},
      {1, L"00:00:01"},
      {59, L"00:00:59"},
      {60, L"00:01:00"},
      {1800, L"00:30:00"},
      {3599, L"00:59:59"},
      {3600, L"01:00:00"},
      {86399, L"23:59:59"},
      {359999, L"99:59:59"},
      {360000, L"100:00:00"},
      {-1, L"-00:00:01"},
      {INT_MAX, L"596523:14:07"},
      {INT_MIN, L"-596523:14:08"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Seconds);
    EXPECT_EQ(std::wstring(IntToTime(c.Seconds)), c.Expected);
  }
}

TEST(Tolvane, EachThreadKeepsItsOwnAnswer) {
  const wchar_t* mine = IntToTime(61);
  std::wstring other;
  std::thread([&] { other = IntToTime(7200); }).join();
  EXPECT_EQ(std::wstring(mine), L"00:01:01");
  EXPECT_EQ(other, L"02:00:00");
}
