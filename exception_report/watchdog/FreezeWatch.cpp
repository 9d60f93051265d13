#include "watchdog/FreezeWatch.h"

#include <atomic>
#include <new>
#include <cstdint>
#include <string>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "events/ExceptionManager.h"
#include "interception/Dispatch.h"
#include "interception/LibraryThreads.h"
#include "interception/ThreadExceptionState.h"
#include "interception/ThreadTracking.h"
#include "moduleinfo/PEImage.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "stack/ThreadContext.h"

namespace RevavaRez {

namespace {

constexpr DWORD kRoundMs = 50;
constexpr int kAnsweredRests = 5;
// The main module watches for every module of the process.
constexpr uint8_t kMainModuleWatches = 0x10;
// Suspend, resume, get context, query information.
constexpr DWORD kMainThreadAccess = 0x4A;

}  // namespace

class TFreezeThread {
 public:
  TFreezeThread(uint64_t thresholdMs, std::string text) : FThresholdMs(thresholdMs), FText(std::move(text)) {}
  ~TFreezeThread() {
    if (Thread) CloseHandle(Thread);
    if (Wake) CloseHandle(Wake);
    if (LeftLoop) CloseHandle(LeftLoop);
  }
  TFreezeThread(const TFreezeThread&) = delete;
  TFreezeThread& operator=(const TFreezeThread&) = delete;

  // Set by a stop; the watchdog's rests wait on Wake, so the stop is seen at
  // once. LeftLoop is set when the watchdog touches the main thread no more.
  std::atomic<bool> Terminated{false};
  HANDLE Wake = nullptr;
  HANDLE LeftLoop = nullptr;
  HANDLE Thread = nullptr;
  DWORD ThreadID = 0;

  static DWORD Body(void* self) {
    auto* watchdog = static_cast<TFreezeThread*>(self);
    ThreadExceptionState().OnWatchdogThread = 1;
    try {
      watchdog->Execute();
    } catch (...) {
    }
    ThreadExceptionState().OnWatchdogThread = 0;
    // A library ends this thread from outside: it waits here, where it
    // holds no lock, rather than in its own exit, which takes the loader's
    // and the heap's locks that an ending from outside would leave held.
    const bool library = IsDLLModule(ThisModule());
    // The last touch of the object: a stop may free it from here on.
    SetEvent(watchdog->LeftLoop);
    if (library) Sleep(INFINITE);
    return 0;
  }

 private:
  uint64_t FThresholdMs;
  std::string FText;

  // False when woken by a stop.
  bool Rest(DWORD ms) { return WaitForSingleObject(Wake, ms) == WAIT_TIMEOUT && !Terminated; }

  void Execute() {
    HWND window = nullptr;
    while (!Terminated) {
      window = FindProcessWindow(GetCurrentProcessId());
      if (window != nullptr) break;
      Rest(kRoundMs);
    }
    // The counter is the time since the first unanswered send, by the
    // clock: a send to a window the system counts as hung fails at once.
    uint64_t firstUnanswered = 0;
    bool unanswered = false;
    while (!Terminated) {
      const uint64_t sent = GetTickCount64();
      if (!FreezeSend(window) && IsWindow(window)) {
        if (!unanswered) firstUnanswered = sent;
        unanswered = true;
        const uint64_t took = GetTickCount64() - sent;
        if (took < kRoundMs) Rest(static_cast<DWORD>(kRoundMs - took));
        if (Terminated || GetTickCount64() - firstUnanswered < FThresholdMs) continue;
        // A busy processing lock counts as an answer: a main thread that
        // waits for the library is not frozen.
        if (!Report()) RestAnswered();
        unanswered = false;
        continue;
      }
      unanswered = false;
      RestAnswered();
    }
  }

  void RestAnswered() {
    for (int i = 0; i < kAnsweredRests; ++i)
      if (!Rest(kRoundMs)) break;
  }

  // False when the processing lock was busy.
  bool Report() {
    CRITICAL_SECTION& lock = ExceptionLock();
    if (!TryEnterCriticalSection(&lock)) return false;
    // Made before the main thread stops: it may hold the heap's lock.
    EFrozenApplication* frozen = nullptr;
    try {
      frozen = new EFrozenApplication(FText);
    } catch (...) {
    }
    TLibraryState& state = LibraryState();
    HANDLE main = static_cast<HANDLE>(state.MainThreadHandle);
    if (frozen != nullptr && !Terminated && main != nullptr && SuspendThread(main) != static_cast<DWORD>(-1)) {
      ThreadExceptionState().WatchdogHolds = 1;
      TThreadContext context{};
      context.Context.ContextFlags = kContextFlags;
      if (GetThreadContext(main, &context.Context)) {
        const uintptr_t ip = ContextInstructionPointer(context.Context);
        const uintptr_t sp = ContextStackPointer(context.Context);
        if (ip != 0 && sp != 0) {
          try {
            DispatchException(frozen, ip, false, 0, ThisModule(), 0, &context.Context, sp, state.MainThreadStackTop);
          } catch (...) {
          }
        }
      }
      ResumeThreadUntracked(main);
      ThreadExceptionState().WatchdogHolds = 0;
    }
    delete frozen;
    LeaveCriticalSection(&lock);
    return true;
  }
};

namespace {

SRWLOCK WatchdogLock = SRWLOCK_INIT;
TFreezeThread* Watchdog = nullptr;

void Free(TFreezeThread* watchdog) {
  delete watchdog;
}

// Sets the stop and waits until the watchdog has let go of the main thread;
// only then may a library end the thread (its own end would wait for the
// loader lock the unload holds).
void StopAndFree(TFreezeThread* watchdog) {
  watchdog->Terminated = true;
  SetEvent(watchdog->Wake);
  // A thread already gone (ended with the process) never signals.
  const HANDLE ends[] = {watchdog->LeftLoop, watchdog->Thread};
  WaitForMultipleObjects(2, ends, FALSE, INFINITE);
  if (IsDLLModule(ThisModule()))
    TerminateThread(watchdog->Thread, 1);
  else
    WaitForSingleObject(watchdog->Thread, INFINITE);
  Free(watchdog);
}

}  // namespace

TFreezeSend FreezeSend = SendNullMessage;

bool SendNullMessage(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kRoundMs, &result) != 0;
}

void StartFreezeWatch() {
  try {
    TLibraryState& state = LibraryState();
    if (!state.Active || !state.Options) return;
    const TVezavuModuleOptionsEx& options = *state.Options;
    if (state.MainModuleActive && (options.BehaviourFlags() & kMainModuleWatches) != 0) return;
    // Below one second the threshold would report an answering window.
    if (IsIDEHost() || !options.FreezeWatch() || options.FreezeSeconds() < 1) return;
    if (state.MainThreadHandle == nullptr && state.MainThreadID != 0)
      state.MainThreadHandle = OpenThread(kMainThreadAccess, FALSE, state.MainThreadID);
    if (state.MainThreadHandle == nullptr) return;
    AcquireSRWLockExclusive(&WatchdogLock);
    // A watchdog asked to stop on its own thread counts as none once it has
    // left its loop.
    if (Watchdog != nullptr && Watchdog->Terminated && WaitForSingleObject(Watchdog->LeftLoop, 0) == WAIT_OBJECT_0) {
      TFreezeThread* ended = Watchdog;
      Watchdog = nullptr;
      ReleaseSRWLockExclusive(&WatchdogLock);
      StopAndFree(ended);
      AcquireSRWLockExclusive(&WatchdogLock);
    }
    if (Watchdog == nullptr) {
      auto* watchdog = new (std::nothrow)
          TFreezeThread(static_cast<uint64_t>(options.FreezeSeconds()) * 1000, options.FreezeText());
      if (watchdog != nullptr) {
        watchdog->Wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watchdog->LeftLoop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (watchdog->Wake && watchdog->LeftLoop)
          watchdog->Thread = StartLibraryThread(TFreezeThread::Body, watchdog, true, &watchdog->ThreadID);
        if (watchdog->Thread == nullptr) {
          Free(watchdog);
        } else {
          SetThreadPriority(watchdog->Thread, THREAD_PRIORITY_NORMAL);
          Watchdog = watchdog;
          ResumeThreadUntracked(watchdog->Thread);
        }
      }
    }
    ReleaseSRWLockExclusive(&WatchdogLock);
  } catch (...) {
  }
}

void StopFreezeWatch() {
  try {
    if (IsIDEHost()) return;
    AcquireSRWLockExclusive(&WatchdogLock);
    TFreezeThread* watchdog = Watchdog;
    if (watchdog != nullptr && watchdog->ThreadID == GetCurrentThreadId()) {
      // A sink inside the watchdog's own report: it ends after the report.
      watchdog->Terminated = true;
      SetEvent(watchdog->Wake);
      ReleaseSRWLockExclusive(&WatchdogLock);
      return;
    }
    Watchdog = nullptr;
    ReleaseSRWLockExclusive(&WatchdogLock);
    if (watchdog != nullptr) StopAndFree(watchdog);
  } catch (...) {
  }
}

bool FreezeWatchRunning() {
  AcquireSRWLockShared(&WatchdogLock);
  const bool running = Watchdog != nullptr && !Watchdog->Terminated;
  ReleaseSRWLockShared(&WatchdogLock);
  return running;
}

}  // namespace RevavaRez
