// Exceptions raised, thrown and faulted in copies of the active test
// programs with the interception in place: what reaches the processing, on
// which thread, and how the faulting thread and the program end.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/Texts.h"

namespace {

const wchar_t kWindowed[] = L"brx_test_module_windowed.exe";
const wchar_t kDll[] = L"brx_test_module_dll.dll";

// The block carries the built-in texts, as a built program's does.
brx_test::TOptionsImage WithTexts() {
  brx_test::TOptionsImage image;
  for (int i = 0; i < RevavaRez::kTextCount; ++i) image.Texts[static_cast<size_t>(i)] = RevavaRez::TextAt(i);
  return image;
}

bool ActiveCopy(const brx_test::TTempFolder& folder, const wchar_t* module) {
  return !brx_test::ActiveCopy(folder, module, WithTexts()).empty();
}

struct TCase {
  const char* What;
  const wchar_t* Module;
  const wchar_t* Which;
  DWORD ExitCode;
  const char* Expected;
};

TEST(Interception, WhatReachesTheProcessingAndHowTheThreadEnds) {
  const TCase cases[] = {
      {"an uncaught throw on the main thread, from a library: reported with its export and the window's title, the "
       "program ends",
       kWindowed, L"main-throw", 1, "dialog=1 export=1 form=1"},
      {"an uncaught throw on a worker ends the worker only", kWindowed, L"worker-throw", 0, "dialog=1 worker=1"},
      {"a write to 0x10 is reported with the access violation's message", kWindowed, L"violation", 0,
       "dialog=1 message=1 worker=1"},
      {"a language raise is reported once, the call that raised as its instruction", kWindowed, L"language-raise", 0,
       "dialog=1 ip=1 worker=1"},
      {"a caught throw is not reported", kWindowed, L"caught", 0, "dialog=0 caught=1"},
      {"the notify sink runs on the faulting thread, the processing on another", kWindowed, L"sink-thread", 0,
       "dialog=1 sink-here=1 processing-elsewhere=1"},
      {"the waiting thread answers what is sent to its window", kWindowed, L"sent-message", 0,
       "dialog=1 answered=1"},
      {"while a library window is up the main thread pumps: input dropped, the quit kept for its loop", kWindowed,
       L"pump", 7, "dialog=1 pumped=1 input=0"},
      {"a stack overflow's wait does not pump, but still answers", kWindowed, L"overflow-pump", 0,
       "dialog=1 answered=1 pumped=0"},
      {"an exception handed in from a sink is not processed again", kWindowed, L"sink-twice", 0, "dialog=1 inner=0"},
      {"a safecall exception is tagged once and not processed again", kWindowed, L"safecall", 0,
       "dialog=1 first=0 second=0 message=[SafeCall Exception]: Left a safecall method"},
      {"a throw 150 KB deep copies 102,400 bytes from the throw", kWindowed, L"deep-throw", 0,
       "dialog=1 copied=102400 own-thread=1 from-throw=1 worker=1"},
      {"a focused password edit's text is stars", kWindowed, L"password", 0, "dialog=1 stars=1 secret=0"},
      {"an exception on the processing thread passes on at once", kWindowed, L"nested", 0,
       "dialog=1 nested=1 result=0"},
      {"a processing thread that ends in the middle ends the wait", kWindowed, L"processing-dies", 0,
       "dialog=1 result=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"intercept");
    ASSERT_TRUE(ActiveCopy(folder, c.Module));
    ASSERT_TRUE(ActiveCopy(folder, kDll));
    const brx_test::TModuleRun run =
        brx_test::RunTestModule(folder.Path() + L"\\" + c.Module, std::wstring(L"intercept ") + c.Which);
    ASSERT_TRUE(run.Ended) << run.StartError << " " << run.Report;
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Report;
    EXPECT_EQ(run.Report, c.Expected) << brx_test::ReadFileText(folder.Path() + L"\\report.txt.report");
  }
}

TEST(Interception, ALibraryHoldingTheLoaderLockProcessesOnTheFaultingThread) {
  brx_test::TTempFolder folder(L"intercept attach");
  ASSERT_TRUE(ActiveCopy(folder, kWindowed));
  ASSERT_TRUE(ActiveCopy(folder, kDll));
  const brx_test::TModuleRun run =
      brx_test::RunTestModule(folder.Path() + L"\\" + kWindowed, L"intercept thread-attach");
  ASSERT_TRUE(run.Ended) << "the processing waited for a thread that cannot start";
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_EQ(run.Report, "dialog=1 on-attaching-thread=1 worker=5");
}

}  // namespace
