// What whole reports in a copy of the active test console program leave in
// the log, the events and the send, and the crash rule's restart.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"

namespace {

const wchar_t kModule[] = L"brx_test_module_console.exe";

struct TLogCase {
  const char* What;
  uint8_t LogFlags;
  uint8_t MailMode;
  int Reports;
  const wchar_t* Setup;
  const char* Expected;
};

TEST(ReportLog, WhatReachesTheLogTheEventsAndTheSend) {
  const TLogCase cases[] = {
      {"the action codes around the output and the log", 0x30, 0, 1, L"plain",
       "actions=0,1,2,3 errors= sent=0 log=1"},
      {"the same error again is logged and sent again without the duplicate test", 0x30, 1, 2, L"plain",
       "actions=0,1,2,3,0,1,2,3 errors= sent=2 log=2"},
      {"a duplicate is neither logged nor sent", 0x31, 1, 2, L"plain",
       "actions=0,1,2,3,0,1,2,3 errors= sent=1 log=1"},
      {"a log that cannot be written raises the error event", 0x30, 0, 1, L"fail-save",
       "actions=0,1,2,3 errors=3 sent=0 log=0"},
      {"a retry asked by the error event writes the log once", 0x30, 0, 1, L"fail-save-retry",
       "actions=0,1,2,3 errors=3 sent=0 log=1"},
      {"a log of another program version is started afresh", 0x34, 0, 1, L"old-log:9.9.9.9",
       "actions=0,1,2,3 errors= sent=0 log=1"},
      {"a log whose last report names no version is kept", 0x34, 0, 1, L"old-log:",
       "actions=0,1,2,3 errors= sent=0 log=2"},
      {"the version is not looked at without its flag", 0x30, 0, 1, L"old-log:9.9.9.9",
       "actions=0,1,2,3 errors= sent=0 log=2"},
  };
  for (const TLogCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"report log");
    const std::wstring exe = brx_test::ActiveCopy(folder, kModule);
    ASSERT_FALSE(exe.empty());
    const brx_test::TModuleRun run =
        brx_test::RunTestModule(exe, L"log-process " + std::to_wstring(c.Reports) + L" " + c.Setup + L" " +
                                         std::to_wstring(c.LogFlags) + L" " + std::to_wstring(c.MailMode));
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, 0u) << run.Report;
    EXPECT_EQ(run.Report, c.Expected);
  }
}

struct TCrashCase {
  const char* What;
  const wchar_t* Seconds;
  bool Restarts;
  const char* Survived;
};

TEST(ReportLog, TheTenthExceptionWithinAMinuteRestartsTheProgram) {
  const TCrashCase cases[] = {
      {"ten within a minute", L"0,6,12,18,24,30,36,42,48,54", true, "survived=9"},
      {"the tenth 61 seconds after the first", L"0,1,2,3,4,5,6,7,8,61", false, "survived=10"},
  };
  for (const TCrashCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"crash rule");
    // The default crash options: 10 exceptions within 1 minute restart.
    const std::wstring exe = brx_test::ActiveCopy(folder, kModule);
    ASSERT_FALSE(exe.empty());
    const std::wstring eventName = L"BrxCrashRestart" + std::to_wstring(GetCurrentProcessId());
    HANDLE restarted = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(restarted, nullptr);
    const brx_test::TModuleRun run = brx_test::RunTestModule(
        exe, L"log-crash \"" + folder.Path() + L"\" " + eventName + L" " + c.Seconds);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Report, c.Survived);
    EXPECT_EQ(run.ExitCode, c.Restarts ? 1u : 0u);
    if (c.Restarts) {
      EXPECT_EQ(WaitForSingleObject(restarted, 30000), WAIT_OBJECT_0) << "the program did not start again";
      // The second run leaves its process ID; it ends before the folder goes.
      HANDLE second = CreateFileW((folder.Path() + L"\\second").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(second, INVALID_HANDLE_VALUE);
      char text[32] = {};
      DWORD read = 0;
      ReadFile(second, text, sizeof text - 1, &read, nullptr);
      CloseHandle(second);
      if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(text))) {
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
      }
    }
    CloseHandle(restarted);
  }
}

}  // namespace
