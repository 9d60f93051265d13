// A refresh that runs out of memory part way: every allocation of this
// program goes through the operator new below, which can be told to fail
// the n-th one on the testing thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "moduleinfo/ModulesList.h"

using namespace RevavaRez;

namespace {

std::atomic<DWORD> FaultThread{0};
// Allocations left before the failing one; counts on while negative.
std::atomic<long> AllocationsLeft{0};

class TAllocationFault {
 public:
  // Fails the allocation after the given number, or none when negative
  // (then only counts).
  explicit TAllocationFault(long after) {
    AllocationsLeft = after < 0 ? -1 : after;
    FaultThread = GetCurrentThreadId();
  }
  ~TAllocationFault() { FaultThread = 0; }
  TAllocationFault(const TAllocationFault&) = delete;
  TAllocationFault& operator=(const TAllocationFault&) = delete;
  long Counted() const { return -1 - AllocationsLeft.load(); }
};

}  // namespace

void* operator new(size_t size) {
  if (FaultThread.load() == GetCurrentThreadId()) {
    const long left = AllocationsLeft.load();
    if (left < 0)
      AllocationsLeft = left - 1;
    else if (left == 0) {
      FaultThread = 0;
      throw std::bad_alloc();
    } else
      AllocationsLeft = left - 1;
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

namespace {

bool PsapiLoaded() { return GetModuleHandleW(L"psapi.dll") != nullptr; }

DWORD OpenHandles() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

// The PSAPI library, the process handle and the snapshot are let go
// however the enumeration ends, and the list stays in order.
TEST(ModulesListFaults, ARefreshThatRunsOutOfMemoryLeavesNothingOpen) {
  ASSERT_FALSE(PsapiLoaded()) << "the test program itself loaded PSAPI";
  const DWORD platforms[] = {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS};
  for (DWORD platform : platforms) {
    SCOPED_TRACE(platform);
    FreeModules();
    long allocations = 0;
    {
      TAllocationFault counting(-1);
      Modules().Refresh(platform);
      allocations = counting.Counted();
    }
    ASSERT_GT(allocations, 16);
    const DWORD handles = OpenHandles();
    for (int step = 0; step < 16; ++step) {
      const long failing = allocations * step / 16;
      SCOPED_TRACE(failing);
      FreeModules();
      bool raised = false;
      try {
        TAllocationFault fault(failing);
        Modules().Refresh(platform);
      } catch (const std::bad_alloc&) {
        raised = true;
      }
      EXPECT_TRUE(raised);
      EXPECT_FALSE(PsapiLoaded());
      EXPECT_EQ(OpenHandles(), handles);
      EXPECT_FALSE(ModulesEnumerating);
      const std::vector<TVezavuModuleInfo*>& list = Modules().List();
      EXPECT_TRUE(std::is_sorted(
          list.begin(), list.end(), [](const TVezavuModuleInfo* a, const TVezavuModuleInfo* b) {
            return reinterpret_cast<uintptr_t>(a->Handle) < reinterpret_cast<uintptr_t>(b->Handle);
          }));
    }
    // A refresh with memory enough finds every module again.
    FreeModules();
    Modules().Refresh(platform);
    EXPECT_GE(Modules().IndexOfHandle(GetModuleHandleW(L"kernel32.dll")), 0);
  }
  FreeModules();
}

}  // namespace
