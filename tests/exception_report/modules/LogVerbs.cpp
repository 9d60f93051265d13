// Verbs that process exceptions in this module and tell what reached the
// log, the events and the send, or whether the crash rule closed it:
//   log-process COUNT SETUP LOGFLAGS MAILMODE REPORT
//       COUNT reports of one exception. SETUP: "plain"; "fail-save" (the
//       first save of the log fails), "fail-save-retry" (and the error
//       event asks for a retry); "old-log:VERSION" (the log holds a report
//       of that program version first). Writes
//       "actions=0,1,... errors=3,... sent=N log=N".
//   log-crash FOLDER EVENT SECONDS,... REPORT (BehaviourFlags 0x31)
//       A report at each time (seconds after a fixed start); after each
//       the report file says "survived=N". A run that finds FOLDER\first
//       is the restarted one: it writes its process ID to FOLDER\second
//       and sets the named event.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TestModuleDriver.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "events/EventSinks.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessException.h"
#include "processing/ProcessingSeams.h"
#include "report/LogFile.h"
#include "report/LogFilePlace.h"
#include "report/LogItem.h"
#include "moduleinfo/ModulesList.h"

namespace brx_test_module {

namespace {

using namespace RevavaRez;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct TRecorded {
  std::string Actions, Errors;
  bool RetryOnError = false;
  int Sent = 0;
  int FailingSaves = 0;
};
TRecorded Recorded;

void Append(std::string& list, int value) { list += (list.empty() ? "" : ",") + std::to_string(value); }

void RecordAction(void*, TVezavuExceptionRecord*, uint8_t action, bool&) { Append(Recorded.Actions, action); }

void RecordError(void*, TVezavuExceptionRecord*, uint8_t action, bool& retry) {
  Append(Recorded.Errors, action);
  if (Recorded.RetryOnError) retry = true;
}

// Stands for a disk that refuses the log: the save's temporary file never
// takes the log's place.
void FailingSave(const std::string&) {
  if (Recorded.FailingSaves > 0) {
    --Recorded.FailingSaves;
    throw EWriteError("The disk refused the log");
  }
}

TDateTime Clock = 0;
TDateTime TestClock() { return Clock; }

// The dialog and the send return at once; the send is counted.
void QuietSeams() {
  ProcessingSeams.ShowExceptionDialog = [] { return true; };
  ProcessingSeams.SendReport = [](const TSendRequest&) { ++Recorded.Sent; };
}

// The log of this program as the processing finds it: its options name the
// program's file.
std::string LogPath() {
  TVezavuModuleOptionsEx options(false, "");
  options.Assign(LibraryState().Options.get());
  options.SetModuleFileName(ModuleFileNameOf(nullptr));
  return LogFilePath(options);
}

// The options of this program's record, which the processing copies: set
// here rather than through the data block, which gives the test its
// default options.
void SetRecordOptions(uint8_t logFlags, uint8_t mailMode, uint8_t behaviourFlags) {
  TModulesLock lock;
  TVezavuModuleInfo* record = Modules().FindByHandle(GetModuleHandleW(nullptr));
  if (record == nullptr || !record->Options) return;
  record->Options->SetLogFlags(logFlags);
  record->Options->SetMailMode(mailMode);
  record->Options->SetBehaviourFlags(behaviourFlags);
  record->HasOwnOptions = true;
}

// A report of another program version: what item 1.3 says is all that
// matters to the test of the version.
void WriteOldLog(const std::string& version) {
  TLogItem item(0);
  item.AddSection("Application");
  item.AddItem("Start Date", "Thu, 1 Jan 2004 10:00:00 +0000");
  item.AddItem("Name/Description", "An older program");
  item.AddItem("Version Number", version);
  TLogFile log(LogPath(), false);
  // The log's reader takes a text for a report only with a table in it.
  const std::string table = "Call Stack Information:\r\n-----\r\n|Address|\r\n-----\r\n";
  log.AddEntry("RevavaRez 5.1.10\r\n\r\n" + item.GetText() + "\r\n" + table, 32);
  log.Save();
}

int LogEntries() {
  if (!LogFileExists(LogPath())) return 0;
  TLogFile log(LogPath(), true);
  return log.Count();
}

// One report of the same exception each time: a language exception at one
// address in this program.
void ProcessOne() {
  try {
    throw std::runtime_error("A report for the log");
  } catch (const std::exception& e) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(&ProcessOne) + 16;
    ProcessException(const_cast<std::exception*>(&e), address, false, hkFull, GetModuleHandleW(nullptr), rtDecide,
                     TExceptNotifyParams());
  }
}

int LogProcess(const std::vector<std::wstring>& arguments) {
  if (!LibraryState().Active) return WriteReport(arguments.back(), "inactive") ? 0 : 3;
  const int count = std::stoi(arguments[1]);
  const std::wstring setup = arguments[2];
  SetRecordOptions(static_cast<uint8_t>(std::stoi(arguments[3], nullptr, 0)),
                   static_cast<uint8_t>(std::stoi(arguments[4])), 0x30);
  QuietSeams();
  TRevavaRezEvents sink;
  sink.ActionNotify = RecordAction;
  sink.ErrorNotify = RecordError;
  RevavaRezList().Register(&sink);
  if (setup.rfind(L"fail-save", 0) == 0) {
    Recorded.FailingSaves = 1;
    Recorded.RetryOnError = setup == L"fail-save-retry";
    LogSaveHook = FailingSave;
  }
  if (setup.rfind(L"old-log:", 0) == 0) WriteOldLog(Narrow(setup.substr(8)));
  for (int i = 0; i < count; ++i) ProcessOne();
  LogSaveHook = nullptr;
  RevavaRezList().Unregister(&sink);
  const std::string text = "actions=" + Recorded.Actions + " errors=" + Recorded.Errors +
                           " sent=" + std::to_string(Recorded.Sent) + " log=" + std::to_string(LogEntries());
  return WriteReport(arguments.back(), text) ? 0 : 3;
}

int LogCrash(const std::vector<std::wstring>& arguments) {
  const std::wstring folder = arguments[1];
  const std::wstring first = folder + L"\\first";
  if (GetFileAttributesW(first.c_str()) != INVALID_FILE_ATTRIBUTES) {
    WriteReport(folder + L"\\second", std::to_string(GetCurrentProcessId()));
    HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments[2].c_str());
    if (done) {
      SetEvent(done);
      CloseHandle(done);
    }
    return 0;
  }
  if (!LibraryState().Active) return WriteReport(arguments.back(), "inactive") ? 0 : 3;
  WriteReport(first, "");
  SetRecordOptions(0x30, 0, 0x31);
  QuietSeams();
  ProcessingSeams.Now = TestClock;
  const TDateTime start = EncodeDateTime(2026, 12, 11, 10, 0, 0);
  std::vector<int> seconds;
  const std::string list = Narrow(arguments[3]);
  for (size_t at = 0; at < list.size();) {
    const size_t comma = list.find(',', at);
    seconds.push_back(std::stoi(list.substr(at, comma - at)));
    at = comma == std::string::npos ? list.size() : comma + 1;
  }
  int survived = 0;
  for (int second : seconds) {
    Clock = start + second / 86400.0;
    ProcessOne();
    if (!WriteReport(arguments.back(), "survived=" + std::to_string(++survived))) return 3;
  }
  return 0;
}

}  // namespace

int RunLogVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 6 && arguments[0] == L"log-process") return LogProcess(arguments);
  if (arguments.size() == 5 && arguments[0] == L"log-crash") return LogCrash(arguments);
  return kNotMyVerb;
}

}  // namespace brx_test_module
