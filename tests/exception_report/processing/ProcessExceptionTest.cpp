// Whole processings in copies of the active test programs, the seams
// recording: the filter, the output by host, the events that stop a report,
// the background send, the outer handler's call stack, the custom data and
// the threads the report walks or holds still.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/Texts.h"

namespace {

const wchar_t kConsole[] = L"brx_test_module_console.exe";
const wchar_t kWindowed[] = L"brx_test_module_windowed.exe";

brx_test::TModuleRun Process(const wchar_t* module, brx_test::TOptionsImage image, const wchar_t* which,
                             brx_test::TTempFolder& folder) {
  // The block carries the built-in texts, as a built program's does.
  for (int i = 0; i < RevavaRez::kTextCount; ++i)
    if (image.Texts[static_cast<size_t>(i)].empty()) image.Texts[static_cast<size_t>(i)] = RevavaRez::TextAt(i);
  const std::wstring exe = brx_test::ActiveCopy(folder, module, image);
  if (exe.empty()) return {};
  return brx_test::RunTestModule(exe, std::wstring(L"process ") + which);
}

int NumberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key + "=");
  return at == std::string::npos ? -1 : std::stoi(text.substr(at + key.size() + 1));
}

struct TCase {
  const char* What;
  const wchar_t* Module;
  const wchar_t* Which;
  void (*Setup)(brx_test::TOptionsImage&);
  const char* Expected;
};

TEST(ProcessException, WhatOneReportDoes) {
  const TCase cases[] = {
      {"a filtered class with no message: no report, no box", kConsole, L"filtered",
       [](brx_test::TOptionsImage& o) { o.Filters = {{"ETestBase", ""}}; }, "result=0 dialog=0 log=0 sent=0"},
      {"a filtered class with a message: its box and no report", kConsole, L"filtered",
       [](brx_test::TOptionsImage& o) { o.Filters = {{"ETestBase", "Filtered away"}}; },
       "result=0 dialog=0 log=0 sent=0 box=Information.: Filtered away"},
      {"a windowed program shows the dialog, its minimised main window restored first", kWindowed, L"dialog",
       [](brx_test::TOptionsImage&) {}, "result=0 dialog=1 log=1 sent=0 restored=1"},
      {"a sink that clears Handled: passed on, no log, dialog or send", kConsole, L"unhandled",
       [](brx_test::TOptionsImage& o) { o.MailMode = 1; }, "result=1 dialog=0 log=0 sent=0"},
      {"a background send leaves the call stack for the send and does not close", kConsole, L"background",
       [](brx_test::TOptionsImage& o) {
         o.MailMode = 1;
         o.SendFlags = 0x0051 | 0x80;
         // The crash rule would close after one report.
         o.BehaviourFlags = 0x31;
         o.CrashCount = 1;
       },
       "result=0 dialog=0 log=1 sent=1 background=1 stored=1"},
      {"the outer handler's kind records the stack only; the re-raise reuses it", kWindowed, L"outer",
       [](brx_test::TOptionsImage&) {},
       "result=0 dialog=1 log=1 sent=0 stored=1 log-after-outer=0 dialog-after-outer=0 reused=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"process");
    brx_test::TOptionsImage image;
    c.Setup(image);
    const brx_test::TModuleRun run = Process(c.Module, image, c.Which, folder);
    ASSERT_TRUE(run.Ended) << run.StartError;
    EXPECT_EQ(run.ExitCode, 0u) << run.Report;
    EXPECT_EQ(run.Report, c.Expected);
  }
}

TEST(ProcessException, AConsoleProgramWritesTheReportToStandardOutput) {
  brx_test::TTempFolder folder(L"process console");
  const brx_test::TModuleRun run = Process(kConsole, brx_test::TOptionsImage(), L"console", folder);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.Report, "result=0 dialog=0 log=1 sent=0");
  // RunTestModule names the report file "report.txt" in the program's folder.
  const std::string out = brx_test::ReadFileText(folder.Path() + L"\\report.txt.out");
  ASSERT_EQ(out.rfind("ETestDerived: RevavaRez 5.1.10\r\n", 0), 0u) << out.substr(0, 200);
  EXPECT_NE(out.find("A processed error"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
}

TEST(ProcessException, CustomDataIsTheSectionRightAfterTheGeneralOne) {
  brx_test::TTempFolder folder(L"process custom");
  const brx_test::TModuleRun run = Process(kConsole, brx_test::TOptionsImage(), L"custom", folder);
  ASSERT_TRUE(run.Ended);
  const std::string& text = run.Report;
  const size_t custom = text.find("\r\n\r\nOther Information:\r\n");
  ASSERT_NE(custom, std::string::npos) << text.substr(0, 400);
  EXPECT_NE(text.find("6.1", custom), std::string::npos);
  EXPECT_NE(text.find("Custom line", custom), std::string::npos);
  // After the general items, before the call stack.
  EXPECT_LT(text.find("2.5"), custom);
  EXPECT_LT(custom, text.find("Call Stack Information"));
}

TEST(ProcessException, OtherThreadsAreWalkedFromCopiesAndLeftRunning) {
  brx_test::TTempFolder folder(L"process threads");
  const brx_test::TModuleRun run = Process(kWindowed, brx_test::TOptionsImage(), L"threads", folder);
  ASSERT_TRUE(run.Ended) << "twenty reports with two busy workers did not end";
  EXPECT_EQ(run.Report.rfind("result=0 dialog=20 log=20", 0), 0u) << run.Report;
  EXPECT_NE(run.Report.find("suspended=0,0"), std::string::npos) << run.Report;
  EXPECT_GE(NumberAfter(run.Report, "running"), 2) << run.Report;
  EXPECT_LT(NumberAfter(run.Report, "ms"), 20000) << run.Report;
}

TEST(ProcessException, APausedWorkerStandsStillDuringTheDialogOnly) {
  brx_test::TTempFolder folder(L"process pause");
  brx_test::TOptionsImage image;
  image.BehaviourFlags = 0x38;
  const brx_test::TModuleRun run = Process(kWindowed, image, L"pause", folder);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.Report, "result=0 dialog=1 log=1 sent=0 still=1 moved=1");
}

TEST(ProcessException, AWorkersReportDoesNotWaitForASleepingMainThread) {
  brx_test::TTempFolder folder(L"process sleeping");
  const brx_test::TModuleRun run = Process(kWindowed, brx_test::TOptionsImage(), L"sleeping", folder);
  ASSERT_TRUE(run.Ended) << "the report waited for the main thread";
  EXPECT_EQ(run.Report.rfind("result=0 dialog=1 log=1", 0), 0u) << run.Report;
  EXPECT_LT(NumberAfter(run.Report, "ms"), 10000) << run.Report;
}

}  // namespace
