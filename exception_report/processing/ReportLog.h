#pragma once
// Saving the report into the log, with the events around it, and the crash
// rule that closes a program which keeps failing.
#include <cstdint>
#include <string>

#include "core/DateTime.h"

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
// failure. A retry starts again from the file: what the failed attempt
// added is dropped, and the retry writes even though the failure cleared
// the dialog-result flag. The log is closed afterwards. Failures of the log
// become the eeLogError warning; an event handler's failure is its own.
void SaveReportToLog(const TVezavuModuleOptions& options);

// With LogFlags bit 2: when the last report of the log names a program
// version and it is not the running program's, the log is closed and its
// file deleted, so that the new report starts a fresh log. Closing first
// matters: the open log object would otherwise write the old reports back,
// and the open file could not be deleted. A log that cannot be read stays.
// Answers whether it deleted.
bool DeleteLogOfOtherVersion(const TVezavuModuleOptions& options);

// The values the duplicate test compares (the general section's exception
// address, module, type and message, as the report renders them). The
// processing sets them once the report is built and clears them when it is
// done; DuplicateFound is computed again from them after every procedure
// run on the faulting thread, as a handler there may have changed the log
// or the options.
struct TDuplicateKeys {
  std::string Address, Module, Type, Message;
};
void SetDuplicateKeys(const TDuplicateKeys& keys);
void ClearDuplicateKeys();
// DuplicateFound from the log (CheckDuplicate) with the working options;
// false without keys or options. A log that cannot be read counts as
// holding no duplicate: the report is then logged and sent as any other.
void RecomputeDuplicateFound();

// The fixed form of the crash times, "yyyy-mm-dd hh:nn:ss", and its reading
// back; false for a text of another form or an impossible date.
std::string CrashTimeText(TDateTime time);
bool ParseCrashTime(const std::string& text, TDateTime& time);

// With BehaviourFlags bit 0 (the crash rule's switch, which the rule below
// tests too): appends "now" (ProcessingNow) to CrashTimes, then drops the oldest
// entries until at most CrashCount remain (none for a count below 1): the
// count follows the options that apply, which may change between reports.
void AddCrashTime(const TVezavuModuleOptions& options);
// The crash rule, also for the sending's check: when CrashCount is at least
// 1 and the last CrashCount entries of CrashTimes lie within CrashMinutes
// from the first of them to the last, asks for the close (CloseRequested)
// with the options' CloseAction set to their CrashAction. Answers whether
// it asked.
bool ApplyCrashRule(TVezavuModuleOptions& options);
// Closes (RestartOrTerminate, restarting for CloseAction 1) when a close
// was asked for and the library is active; returns otherwise.
void CloseIfRequested(const TVezavuModuleOptions& options);

}  // namespace RevavaRez
