#include "processing/ReportLog.h"

#include <windows.h>

#include <cmath>
#include <memory>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "core/VArevText.h"
#include "events/EventChain.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "report/LogFile.h"
#include "report/ReportFiles.h"
#include "report/ReportTables.h"

namespace RevavaRez {

namespace {

constexpr uint8_t kLogDeleteOtherVersion = 0x04;
constexpr uint16_t kSendWholeLog = 0x04;
constexpr uint8_t kCloseActionRestart = 1;
constexpr uint8_t kBehaviourCrashRule = 0x01;

// Only the processing thread writes these, under the processing lock.
std::unique_ptr<TDuplicateKeys> DuplicateKeys;

std::string RunningProgramVersion() {
  TModulesLock lock;
  const TVezavuModuleInfo* main = Modules().FindByHandle(GetModuleHandleA(nullptr));
  return main ? main->Version : std::string();
}

// Digits at text[at, at + count), as a number; false for anything else.
bool Digits(const std::string& text, size_t at, size_t count, int& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

void SaveReportToLog(const TVezavuModuleOptions& options) {
  TProcessingState& state = ProcessingState();
  state.DialogResult = true;
  ClearWarning();
  if (options.SaveLog()) RaiseActionNotify(acBeforeLog, state.DialogResult);
  bool retry = false;
  do {
    ClearWarning();
    try {
      OpenLog(options);
      if (!DuplicateFound) LogObject->AddEntry(state.ReportText, options.LogCapacity());
      if (options.SendFlags() & kSendWholeLog) state.TextToSend = LogObject->GetText();
      if (state.DialogResult && options.SaveLog()) LogObject->Save();
    } catch (...) {
      WarnFromException(eeLogError, "Log");
      state.DialogResult = false;
      // What this attempt added stays out of the next one.
      CloseLog();
    }
    retry = false;
    if (options.SaveLog() && !state.DialogResult) {
      RaiseErrorNotify(acAfterLog, retry);
      // The flag a failure cleared would keep the retry from writing.
      if (retry) state.DialogResult = true;
    }
  } while (retry);
  CloseLog();
  if (options.SaveLog()) RaiseActionNotify(acAfterLog, state.DialogResult);
}

bool DeleteLogOfOtherVersion(const TVezavuModuleOptions& options) {
  if ((options.LogFlags() & kLogDeleteOtherVersion) == 0) return false;
  std::string stored, path;
  try {
    OpenLog(options);
    if (LogObject->Count() > 0) stored = Trim(LogObject->ReadItemValue("1.3", LogObject->Count() - 1));
    path = LogObject->FileName();
  } catch (...) {
    // A log that cannot be read is left as it is: the save that follows
    // meets the same failure and reports it as the log's warning.
    CloseLog();
    return false;
  }
  CloseLog();
  if (stored.empty() || stored == RunningProgramVersion()) return false;
  return DeleteFileA(path.c_str()) != FALSE;
}

void SetDuplicateKeys(const TDuplicateKeys& keys) { DuplicateKeys = std::make_unique<TDuplicateKeys>(keys); }

void ClearDuplicateKeys() { DuplicateKeys.reset(); }

void RecomputeDuplicateFound() {
  if (!DuplicateKeys) return;
  const TVezavuModuleOptions* options = LibraryState().Options.get();
  if (options == nullptr) {
    DuplicateFound = false;
    return;
  }
  try {
    CheckDuplicate(*options, DuplicateKeys->Address, DuplicateKeys->Module, DuplicateKeys->Type,
                   DuplicateKeys->Message);
  } catch (...) {
    DuplicateFound = false;
  }
}

std::string CrashTimeText(TDateTime time) { return ModuleDateText(time); }

bool ParseCrashTime(const std::string& text, TDateTime& time) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':')
    return false;
  int year, month, day, hour, minute, second;
  if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day) ||
      !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second))
    return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return false;
  const int days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  if (day < 1 || day > days) return false;
  time = EncodeDateTime(year, month, day, hour, minute, second);
  return true;
}

void AddCrashTime(const TVezavuModuleOptions& options) {
  if ((options.BehaviourFlags() & kBehaviourCrashRule) == 0) return;
  TStringList& times = ProcessingState().CrashTimes;
  times.Add(CrashTimeText(ProcessingNow()));
  const int keep = options.CrashCount() < 1 ? 0 : options.CrashCount();
  while (times.Count() > keep) times.Delete(0);
}

bool ApplyCrashRule(TVezavuModuleOptions& options) {
  // A count below 1 names no window of exceptions at all.
  const int count = options.CrashCount();
  const TStringList& times = ProcessingState().CrashTimes;
  if ((options.BehaviourFlags() & kBehaviourCrashRule) == 0 || count < 1 || times.Count() < count) return false;
  TDateTime first = 0, last = 0;
  if (!ParseCrashTime(times[times.Count() - count], first) || !ParseCrashTime(times[times.Count() - 1], last))
    return false;
  // Whole seconds: both times come from texts of whole seconds, and a
  // fraction of a day compared as it is would put 60 seconds past a minute.
  const long long seconds = std::llround((last - first) * 86400.0);
  if (seconds > static_cast<long long>(options.CrashMinutes()) * 60) return false;
  ProcessingState().CloseRequested = true;
  options.SetCloseAction(options.CrashAction());
  return true;
}

void CloseIfRequested(const TVezavuModuleOptions& options) {
  if (!ProcessingState().CloseRequested || !LibraryState().Active) return;
  RestartOrTerminate(options.CloseAction() == kCloseActionRestart);
}

}  // namespace RevavaRez
