#pragma once
// What the interception of exceptions reads of the library's global state:
// whether reporting is on, which threads are left out, where the module's
// initialisation stands, the copy of the faulting thread's stack and the
// run-time routines the handler search and thread tracking recognise. The
// start-up sets it when the module loads; tests set it directly.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace RevavaRez {

constexpr size_t kStackBufferSize = 102400;

struct TInterceptionState {
  // Exceptions are reported only while set.
  std::atomic<uint8_t> HandlingEnabled{1};
  // From start-up until the module's last static initialiser has run, and
  // from the first static destructor on.
  std::atomic<uint8_t> InInitialization{0};
  std::atomic<uint8_t> InFinalization{0};

  // Entry points of the run-time's handlers for catch-all blocks, for
  // class-filtered blocks and for exceptions leaving a safecall method. A
  // C++ run-time has none of them: 0 matches no handler.
  uintptr_t CatchAllHandler = 0;
  uintptr_t ClassFilterHandler = 0;
  uintptr_t SafeCallHandler = 0;
  // The run-time's thread wrapper (start routine of the threads it starts),
  // the framework's thread procedure and that procedure's outer handler;
  // none exists in C++, so every thread starts raw.
  uintptr_t ThreadWrapper = 0;
  uintptr_t FrameworkThreadProc = 0;
  uintptr_t FrameworkOuterHandler = 0;
  // A filter clause's class is reached through one more pointer when the
  // run-time lives in another module.
  bool RuntimeInOtherModule = false;
  // Whether the framework's own thread-exception routine was hooked.
  bool IndyHookInstalled = false;

  // The run-time's debugger-hook flag; nothing in this toolchain reads it.
  std::atomic<uint8_t> DebugHookFlag{0};
  // The once-per-module adjustment of that flag has been made.
  std::atomic<bool> DebugHookAdjusted{false};
};

// Constant-initialised: hooks may run before any other static is built.
extern TInterceptionState Interception;

// The threads whose exceptions are not reported, under their own lock.
void ExcludeThread(DWORD threadID);
void IncludeThread(DWORD threadID);
bool IsThreadExcluded(DWORD threadID);

// The copy of the faulting thread's stack, guarded by its lock.
struct TStackCopy {
  uint8_t Bytes[kStackBufferSize];
  uint32_t Size;
  DWORD ThreadID;
  uintptr_t Address;
};
// Made on first use, never freed: an exception at shut-down still finds it.
TStackCopy& StackCopy();
CRITICAL_SECTION& StackCopyLock();

}  // namespace RevavaRez
