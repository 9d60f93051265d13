#pragma once
// Saving the report into the log, with the events around it, and the crash
// rule that closes a program which keeps failing.
#include <cstdint>
#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;

// Action codes of the action-notify event.
enum : uint8_t {
  acBeforeDialog = 0,
  acAfterDialog = 1,
  acBeforeLog = 2,
  acAfterLog = 3,
  acBeforeMail = 4,
  acAfterMail = 5,
  acBeforeWeb = 6,
  acAfterWeb = 7,
  acTerminate = 8,
};

// Adds the report to the log (unless a duplicate), writes the file when
// SaveLog is on, and asks the error-notify event whether to retry on
// failure.
void SaveReportToLog(const TVezavuModuleOptions& options);

// Appends "now" to CrashTimes, keeping at most CrashCount entries.
void AddCrashTime(const TVezavuModuleOptions& options);
// When CrashTimes holds CrashCount entries within CrashMinutes, asks for the
// close with the options' CrashAction. Answers whether it did.
bool ApplyCrashRule(const TVezavuModuleOptions& options);
// Closes (RestartOrTerminate) when a close was asked for and the library is
// active; returns otherwise.
void CloseIfRequested(const TVezavuModuleOptions& options);

}  // namespace RevavaRez
