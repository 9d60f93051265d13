// The freeze watchdog in copies of the active windowed test module, whose
// main window stops answering: what is reported, when, and that nothing
// waits on the suspended main thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/Texts.h"

namespace {

const wchar_t kWindowed[] = L"brx_test_module_windowed.exe";
const wchar_t kDll[] = L"brx_test_module_dll.dll";

// A watch of 2 s; the block carries the built-in texts, as a built
// program's does. The verbs give the library's options the same watch
// themselves and record each report at the dialog seam.
brx_test::TOptionsImage FreezeOptions(uint8_t behaviourFlags = 0x30) {
  brx_test::TOptionsImage image;
  for (int i = 0; i < RevavaRez::kTextCount; ++i) image.Texts[static_cast<size_t>(i)] = RevavaRez::TextAt(i);
  image.FreezeWatch = 1;
  image.FreezeSeconds = 2;
  image.SaveLog = 1;
  image.BehaviourFlags = behaviourFlags;
  return image;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A number after "key=" in the answer, -1 when absent.
long long NumberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(" " + key + "=");
  return at == std::string::npos ? -1 : std::stoll(text.substr(at + key.size() + 2));
}

struct TCase {
  const char* What;
  const wchar_t* Which;
  const char* Expected;  // space-separated parts of the answer
};

TEST(FreezeWatch, WhatAFrozenMainWindowGives) {
  const TCase cases[] = {
      {"a window that ignores messages for 1 s is not reported", L"hang1", "reports=0 watched=1 watched-after=1"},
      {"one that ignores them for 3 s is reported once, where the main thread hangs; it runs on, watched again",
       L"hang3",
       "reports=1 watched=1 watched-after=1 text=1 class=1 hangs-in=1 title=1 thread=1 stopped=1"},
      {"a notify sink holding the main thread in a processing gives no freeze report and no deadlock", L"sink",
       "reports=0 watched=1 watched-after=1 stopped=1"},
      {"a destroyed main window is never reported", L"destroyed", "reports=0 watched=1 stopped=1"},
      {"FreezeSeconds 0 starts no watchdog; the switch's hooks start and stop it", L"off",
       "reports=0 zero-starts=0 switch-on-starts=1 switch-off-stops=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"freeze");
    const std::wstring exe = brx_test::ActiveCopy(folder, kWindowed, FreezeOptions());
    ASSERT_FALSE(exe.empty());
    // The library the main thread hangs in, active beside the program (its
    // main module watches).
    ASSERT_FALSE(brx_test::ActiveCopy(folder, kDll, FreezeOptions()).empty());
    const brx_test::TModuleRun run = brx_test::RunTestModule(exe, std::wstring(L"freeze ") + c.Which);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.ExitCode, 0u);
    std::string expected = c.Expected;
    for (size_t from = 0; from < expected.size();) {
      size_t end = expected.find(' ', from);
      if (end == std::string::npos) end = expected.size();
      const std::string part = expected.substr(from, end - from);
      EXPECT_TRUE(Has(" " + run.Report + " ", " " + part + " ")) << part << " in " << run.Report;
      from = end + 1;
    }
  }
}

TEST(FreezeWatch, SendsThatFailAtOnceAreCountedByTheClock) {
  brx_test::TTempFolder folder(L"freeze-send");
  const std::wstring exe = brx_test::ActiveCopy(folder, kWindowed, FreezeOptions());
  ASSERT_FALSE(exe.empty());
  const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"freeze failsend");
  ASSERT_TRUE(run.Ended);
  ASSERT_TRUE(Has(run.Report, "reports=1 reported=1")) << run.Report;
  EXPECT_GE(NumberAfter(run.Report, "after-ms"), 2000) << run.Report;
}

TEST(FreezeWatch, WithoutAWindowTheStopIsPrompt) {
  brx_test::TTempFolder folder(L"freeze-nowindow");
  const std::wstring exe = brx_test::ActiveCopy(folder, kWindowed, FreezeOptions());
  ASSERT_FALSE(exe.empty());
  const brx_test::TModuleRun run = brx_test::RunTestModule(exe, L"freeze nowindow");
  ASSERT_TRUE(run.Ended);
  ASSERT_TRUE(Has(run.Report, "reports=0 running=1")) << run.Report;
  // Far below the watch's own 2 s: the stop wakes the watchdog's rest.
  const long long stopMs = NumberAfter(run.Report, "stop-ms");
  EXPECT_GE(stopMs, 0) << run.Report;
  EXPECT_LT(stopMs, 1000) << run.Report;
}

// The library DLL in the active windowed program, its own watch's flags
// given: the program's answer.
brx_test::TModuleRun RunWithLibrary(const wchar_t* label, uint8_t behaviourFlags) {
  brx_test::TTempFolder folder(label);
  const std::wstring exe = brx_test::ActiveCopy(folder, kWindowed, FreezeOptions());
  const std::wstring dll = brx_test::ActiveCopy(folder, kDll, FreezeOptions(behaviourFlags));
  if (exe.empty() || dll.empty()) return brx_test::TModuleRun();
  return brx_test::RunTestModule(exe, L"freeze-dll \"" + dll + L"\"");
}

TEST(FreezeWatch, ALibraryWhoseMainModuleWatchesStartsNone) {
  const brx_test::TModuleRun run = RunWithLibrary(L"freeze-mainwatches", 0x30);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.Report, "reports=0 dll-running=0");
}

TEST(FreezeWatch, AStopDuringALibrarysReportReturnsOnceTheReportIsOver) {
  // Without bit 4 the library watches beside the active program.
  const brx_test::TModuleRun run = RunWithLibrary(L"freeze-dll", 0x20);
  ASSERT_TRUE(run.Ended);
  EXPECT_EQ(run.ExitCode, 0u);
  for (const char* part : {"dll-running=1", "watched=1", "pumps-after=1", "dll-reports=1", "stopper-joined=1",
                           "stop-early=0", "dll-stopped=1", "text=1", "thread=1"})
    EXPECT_TRUE(Has(run.Report, part)) << part << " in " << run.Report;
}

}  // namespace
