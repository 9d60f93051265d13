// The thread tracking in copies of the active test program and library:
// the hooks of "CreateThread", "ResumeThread" and "ExitThread" in their
// import tables, and what the threads lists make of the threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DataBlockBuilder.h"
#include "TestModules.h"

namespace {

struct TCase {
  const char* What;
  const wchar_t* Which;
  bool WithLibrary;
  const char* Expected;
};

TEST(ThreadTracking, HookedThreadsAreListedAndRunAsAsked) {
  const TCase cases[] = {
      {"each thread finds its entry with its stack top and a handle of the list's own; a suspended one waits "
       "for the caller's resume alone, a reserved stack keeps its size",
       L"flags", false,
       "flags=0 ran=1 listed=1 top=1 own-handle=1 code=7; "
       "flags=4 held=1 count=1 ran=1 listed=1 top=1 own-handle=1 code=7; "
       "flags=65536 ran=1 listed=1 top=1 own-handle=1 reserve=1 code=7"},
      {"the resume keeps a copy of the resuming thread's stack", L"resume", false,
       "copy=1 holds=1 resumer=1 code=7"},
      {"ExitThread removes the entry; a thread that returns stays until purged", L"exit", false,
       "listed=1 exited-kept=0 returned-kept=1 purged=1 codes=9,9"},
      {"a thread whose entry is gone still runs its own function", L"lost-entry", false, "ran=1 code=42"},
      {"a thread function the run-time's wrapper starts runs from RtlThreadStart, with its stack top",
       L"runtime", false, "replaced=1 recorded=1 ran=1 top=1 code=7"},
      {"the library's own threads are not listed", L"library", false, "ran=1 listed=0 code=7"},
      {"a framework thread's Execute is wrapped: what leaves it is reported once and raised again; its event "
       "leads to the library, then to the old handler",
       L"framework", false,
       "code=3 wrapped=1 top=1 reports=1 reported=ETestThreadError rethrown=Raised in Execute "
       "event=1 old=1 reports-after-event=2"},
      {"the library's threads reach the program's list, their resume and exit too", L"pair", true,
       "dll-hooked=1 listed=1 own-handle=1 copy-elsewhere=1 code=5 removed=1"},
      {"a thread started through the library's hook keeps it loaded past its FreeLibrary", L"unload", true,
       "exe-hooked=1 loaded-after-free=1 detached-early=0 code=77 detached=1 unloaded=1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TTempFolder folder(L"threads");
    const std::wstring exe = brx_test::ActiveCopy(folder, L"brx_test_module_console.exe");
    const std::wstring dll =
        c.WithLibrary ? brx_test::ActiveCopy(folder, L"brx_test_module_threads.dll") : std::wstring();
    ASSERT_FALSE(exe.empty() || (c.WithLibrary && dll.empty()));
    const std::wstring arguments =
        std::wstring(L"track ") + c.Which + (c.WithLibrary ? L" \"" + dll + L"\"" : std::wstring());
    const brx_test::TModuleRun run = brx_test::RunTestModule(exe, arguments);
    ASSERT_TRUE(run.Ended) << run.StartError << " " << run.Report;
    EXPECT_EQ(run.ExitCode, 0u) << run.Report;
    EXPECT_EQ(run.Report, c.Expected);
  }
}

}  // namespace
