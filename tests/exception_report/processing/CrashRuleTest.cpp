// The crash rule over the crash times, read from the processing's clock.
#include <gtest/gtest.h>

#include <vector>

#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "processing/ReportLog.h"

using namespace RevavaRez;

namespace {

TDateTime Clock = 0;
TDateTime TestNow() { return Clock; }

const TDateTime kStart = EncodeDateTime(2026, 12, 11, 10, 0, 0);

struct TReport {
  int Seconds;         // after kStart
  int CrashCount = 10;  // the options' count at this report
};

struct TCase {
  const char* What;
  std::vector<TReport> Reports;
  uint8_t BehaviourFlags;
  int FiresAt;  // index of the report that asks for the close, -1 for none
};

std::vector<TReport> Evenly(int count, int step, int crashCount = 10) {
  std::vector<TReport> reports;
  for (int i = 0; i < count; ++i) reports.push_back({i * step, crashCount});
  return reports;
}

std::vector<TReport> NineThen(int lastSeconds) {
  std::vector<TReport> reports = Evenly(9, 1);
  reports.push_back({lastSeconds});
  return reports;
}

class CrashRule : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedNow = ProcessingSeams.Now;
    ProcessingSeams.Now = TestNow;
    Reset();
  }
  void TearDown() override {
    ProcessingSeams.Now = FSavedNow;
    Reset();
  }
  static void Reset() {
    ProcessingState().CrashTimes.Clear();
    ProcessingState().CloseRequested = false;
  }

 private:
  TDateTime (*FSavedNow)() = nullptr;
};

TEST_F(CrashRule, AsksForTheCloseWhenCrashCountReportsFallWithinCrashMinutes) {
  std::vector<TReport> lowered = Evenly(11, 1, 12);
  lowered.push_back({11, 10});
  const TCase cases[] = {
      {"the tenth within a minute", Evenly(12, 6), 0x31, 9},
      {"the tenth exactly a minute after the first", NineThen(60), 0x31, 9},
      {"the tenth 61 seconds after the first", NineThen(61), 0x31, -1},
      {"a count of 0", Evenly(12, 1, 0), 0x31, -1},
      {"a count lowered between reports", lowered, 0x31, 11},
      {"without the crash rule's switch", Evenly(12, 1), 0x30, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Reset();
    TVezavuModuleOptionsEx options(false, "");
    options.SetBehaviourFlags(c.BehaviourFlags);
    options.SetCrashMinutes(1);
    options.SetCrashAction(1);
    options.SetCloseAction(0);
    int firedAt = -1;
    for (size_t i = 0; i < c.Reports.size() && firedAt < 0; ++i) {
      options.SetCrashCount(c.Reports[i].CrashCount);
      Clock = kStart + c.Reports[i].Seconds / 86400.0;
      AddCrashTime(options);
      EXPECT_LE(ProcessingState().CrashTimes.Count(), c.Reports[i].CrashCount < 0 ? 0 : c.Reports[i].CrashCount);
      const bool fired = ApplyCrashRule(options);
      EXPECT_EQ(fired, ProcessingState().CloseRequested);
      if (fired) firedAt = static_cast<int>(i);
    }
    EXPECT_EQ(firedAt, c.FiresAt);
    // The close follows the crash action.
    if (firedAt >= 0) {
      EXPECT_EQ(options.CloseAction(), 1);
    }
  }
}

TEST_F(CrashRule, CrashTimesAreKeptInTheFixedFormAndReadBack) {
  TVezavuModuleOptionsEx options(false, "");
  options.SetBehaviourFlags(0x01);
  options.SetCrashCount(3);
  Clock = EncodeDateTime(2024, 2, 29, 23, 59, 58, 900);
  AddCrashTime(options);
  ASSERT_EQ(ProcessingState().CrashTimes.Count(), 1);
  EXPECT_EQ(ProcessingState().CrashTimes[0], "2024-02-29 23:59:58");
  TDateTime read = 0;
  ASSERT_TRUE(ParseCrashTime(ProcessingState().CrashTimes[0], read));
  EXPECT_EQ(CrashTimeText(read), "2024-02-29 23:59:58");
  for (const char* text : {"2023-02-29 10:00:00", "2024-13-01 10:00:00", "2024-01-01 24:00:00",
                           "2024-1-01 10:00:00", "2024-01-01 10:00:00 ", "2024-01-01T10:00:00", ""}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseCrashTime(text, read));
  }
}

TEST_F(CrashRule, AnInactiveLibraryDoesNotClose) {
  TVezavuModuleOptionsEx options(false, "");
  options.SetCloseAction(0);
  ProcessingState().CloseRequested = true;
  // Would end this test program with exit code 1.
  CloseIfRequested(options);
  SUCCEED();
}

}  // namespace
