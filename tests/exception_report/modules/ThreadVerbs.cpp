// Verbs that start threads through this module's hooked "CreateThread" and
// tell what the library's thread list made of them:
//   track CASE REPORT
//     flags       threads created with flags 0, suspended and a stack
//                 reservation: whether each runs, when, with its own entry
//     resume      "ResumeThread" keeps a copy of the resuming thread's stack
//     exit        "ExitThread" removes the thread's entry; a thread that
//                 returns keeps it until the list is purged
//     lost-entry  a thread whose entry is gone before it starts still runs
//                 its function
//     runtime     a thread function started through the run-time's wrapper
//     library     one of the library's own threads is not listed
//     framework   a framework thread object started through the run-time's
//                 wrapper: its Execute is wrapped, what leaves it reported
//                 and raised again, its exception event taken over
//   track CASE DLL REPORT
//     pair        the library DLL's threads reach this program's list
//     unload      the DLL has hooked this program's "CreateThread"; a thread
//                 started through it outlives the DLL's FreeLibrary
// Except for unload, the hooks are put into this module's own import table
// first.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestModuleDriver.h"
#include "base/Exception.h"
#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/NamedEvents.h"
#include "core/VArev.h"
#include "events/EventSinks.h"
#include "hooking/HookEngine.h"
#include "interception/InterceptionHooks.h"
#include "interception/InterceptionState.h"
#include "interception/LibraryThreads.h"
#include "interception/ThreadTracking.h"
#include "options/ActivationGate.h"
#include "stack/ThreadContext.h"
#include "stack/ThreadsList.h"

namespace brx_test_module {

namespace {

using namespace RevavaRez;

constexpr DWORD kBound = 10000;

std::string Bit(bool value) { return value ? "1" : "0"; }

TVezavuThreadsList& Threads() { return *LibraryState().Threads; }

// A copy of the entry of a thread, read under the list's lock.
bool EntryOf(DWORD threadID, ThreadRecord& entry) {
  Threads().ReadLock();
  const int index = Threads().FindByID(threadID);
  if (index >= 0) entry = *Threads().Items(index);
  Threads().ReadUnlock();
  return index >= 0;
}

struct TProbe {
  HANDLE Started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD Code = 7;
  bool CallExit = false;
  // What the thread saw of its own entry.
  bool Listed = false;
  bool Top = false;
  bool OwnHandle = false;
  uintptr_t Reserve = 0;
  ~TProbe() {
    CloseHandle(Started);
    CloseHandle(Release);
  }
};

DWORD WINAPI ProbeThread(void* parameter) {
  auto* probe = static_cast<TProbe*>(parameter);
  const uintptr_t base = CurrentThreadStackBase();
  ThreadRecord entry{};
  probe->Listed = EntryOf(GetCurrentThreadId(), entry);
  probe->Top = probe->Listed && entry.StackTop == base;
  probe->OwnHandle =
      probe->Listed && entry.Handle != nullptr && GetThreadId(entry.Handle) == GetCurrentThreadId();
  MEMORY_BASIC_INFORMATION region = {};
  VirtualQuery(&region, &region, sizeof region);
  probe->Reserve = base - reinterpret_cast<uintptr_t>(region.AllocationBase);
  SetEvent(probe->Started);
  WaitForSingleObject(probe->Release, kBound);
  if (probe->CallExit) ExitThread(probe->Code);
  return probe->Code;
}

// Ends the thread and answers its exit code, or "hung".
std::string Finish(HANDLE thread, TProbe& probe) {
  SetEvent(probe.Release);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(thread, kBound) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  return ended ? std::to_string(code) : "hung";
}

std::string Flags() {
  constexpr SIZE_T kReserve = 4 << 20;
  std::string answer;
  for (const DWORD flags : {DWORD(0), DWORD(CREATE_SUSPENDED), DWORD(STACK_SIZE_PARAM_IS_A_RESERVATION)}) {
    TProbe probe;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, flags == STACK_SIZE_PARAM_IS_A_RESERVATION ? kReserve : 0,
                                 ProbeThread, &probe, flags, &id);
    if (thread == nullptr) return "create failed";
    std::string row = "flags=" + std::to_string(flags);
    if (flags & CREATE_SUSPENDED) {
      // Still held by the caller's request alone: one suspension.
      row += " held=" + Bit(WaitForSingleObject(probe.Started, 0) == WAIT_TIMEOUT);
      row += " count=" + std::to_string(ResumeThread(thread));
    }
    const bool ran = WaitForSingleObject(probe.Started, kBound) == WAIT_OBJECT_0;
    ThreadRecord entry{};
    const bool listed = EntryOf(id, entry);
    row += " ran=" + Bit(ran) + " listed=" + Bit(probe.Listed) + " top=" + Bit(probe.Top) +
           " own-handle=" + Bit(probe.OwnHandle && listed && entry.Handle != thread);
    if (flags == STACK_SIZE_PARAM_IS_A_RESERVATION) row += " reserve=" + Bit(probe.Reserve >= kReserve);
    row += " code=" + Finish(thread, probe);
    answer += (answer.empty() ? "" : "; ") + row;
  }
  return answer;
}

std::string Resume() {
  TProbe probe;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ProbeThread, &probe, CREATE_SUSPENDED, &id);
  if (thread == nullptr) return "create failed";
  // A value on this thread's stack, below its top: the copy holds it.
  volatile uint64_t marker = 0x5AC3F00D12345678ull;
  ResumeThread(thread);
  const uintptr_t top = CurrentThreadStackBase();
  ThreadRecord entry{};
  bool copied = false, holds = false;
  Threads().ReadLock();
  const int index = Threads().FindByID(id);
  if (index >= 0) {
    entry = *Threads().Items(index);
    const uintptr_t at = reinterpret_cast<uintptr_t>(&marker);
    const uintptr_t from = top - entry.StackCopySize;
    copied = entry.StackCopy != nullptr && entry.StackCopySize > 0;
    uint64_t seen = 0;
    if (copied && at >= from && at + sizeof seen <= top) {
      std::memcpy(&seen, static_cast<const uint8_t*>(entry.StackCopy) + (at - from), sizeof seen);
      holds = seen == marker;
    }
  }
  Threads().ReadUnlock();
  WaitForSingleObject(probe.Started, kBound);
  return "copy=" + Bit(copied) + " holds=" + Bit(holds) +
         " resumer=" + Bit(index >= 0 && entry.ResumingThreadID == GetCurrentThreadId()) +
         " code=" + Finish(thread, probe);
}

std::string Exit() {
  TProbe exiting, returning;
  exiting.CallExit = true;
  exiting.Code = returning.Code = 9;
  DWORD exitingID = 0, returningID = 0;
  HANDLE first = CreateThread(nullptr, 0, ProbeThread, &exiting, 0, &exitingID);
  HANDLE second = CreateThread(nullptr, 0, ProbeThread, &returning, 0, &returningID);
  if (first == nullptr || second == nullptr) return "create failed";
  WaitForSingleObject(exiting.Started, kBound);
  WaitForSingleObject(returning.Started, kBound);
  const std::string codes = Finish(first, exiting) + "," + Finish(second, returning);
  ThreadRecord entry{};
  const bool exitedListed = EntryOf(exitingID, entry), returnedListed = EntryOf(returningID, entry);
  Threads().Purge();
  return "listed=" + Bit(exiting.Listed && returning.Listed) + " exited-kept=" + Bit(exitedListed) +
         " returned-kept=" + Bit(returnedListed) + " purged=" + Bit(!EntryOf(returningID, entry)) +
         " codes=" + codes;
}

std::string LostEntry() {
  TProbe probe;
  probe.Code = 42;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ProbeThread, &probe, CREATE_SUSPENDED, &id);
  if (thread == nullptr) return "create failed";
  Threads().WriteLock();
  Threads().Delete(Threads().FindByID(id));
  Threads().WriteUnlock();
  ResumeThread(thread);
  const bool ran = WaitForSingleObject(probe.Started, kBound) == WAIT_OBJECT_0;
  return "ran=" + Bit(ran) + " code=" + Finish(thread, probe);
}

}  // namespace

// The framework's thread classes are outside the anonymous namespace, so
// that the compiler cannot know every Execute and call one directly.
namespace framework {

using namespace RevavaRez;

// The framework's thread classes as the library sees them: Execute in
// slot 1, and an exception event that can be rebound by name.
class TTestThreadBase {
 public:
  virtual void Terminate() {}
  virtual void Execute() = 0;

 protected:
  ~TTestThreadBase() = default;
};

class TIdThread : public TTestThreadBase, public INamedEvents {
 public:
  bool GetEventCode(const std::string& name, void*& code) const override {
    if (name != "OnException") return false;
    code = FOnException;
    return true;
  }
  void SetEventCode(const std::string& name, void* code) override {
    if (name == "OnException") FOnException = code;
  }
  void* FOnException = nullptr;
};

class ETestThreadError : public Exception {
 public:
  using Exception::Exception;
};

struct TFrameworkSeen {
  std::string Reported;
  int Reports = 0;
  bool Top = false;
  bool OldCalled = false;
  std::string Rethrown;
};
TFrameworkSeen FrameworkSeen;

class TTestIndyThread : public TIdThread {
 public:
  void Execute() override {
    RevavaRez::ThreadRecord entry{};
    FrameworkSeen.Top = EntryOf(GetCurrentThreadId(), entry) && entry.ThreadObject == this &&
                        entry.StackTop == CurrentThreadStackBase();
    throw ETestThreadError("Raised in Execute");
  }
};

}  // namespace framework

namespace {

using namespace framework;

void OldThreadEvent(void*, void*) { FrameworkSeen.OldCalled = true; }

// The run-time's thread wrapper and the framework's thread procedure with
// its outer handler, for the hook to recognise.
__attribute__((noinline)) DWORD WINAPI TestRuntimeThreadWrapper(void* parameter) {
  auto* start = static_cast<TRuntimeThreadStart*>(parameter);
  return start->Function(start->Parameter);
}

__attribute__((noinline)) DWORD WINAPI TestFrameworkThreadProc(void* parameter) {
  try {
    static_cast<TTestThreadBase*>(static_cast<TIdThread*>(parameter))->Execute();
  } catch (const std::exception& raised) {
    FrameworkSeen.Rethrown = raised.what();
    return 3;
  }
  return 0;
}

std::string Framework() {
  Interception.ThreadWrapper = reinterpret_cast<uintptr_t>(&TestRuntimeThreadWrapper);
  Interception.FrameworkThreadProc = reinterpret_cast<uintptr_t>(&TestFrameworkThreadProc);
  TRevavaRezEvents sink;
  sink.ExceptionNotify = [](void*, TVezavuExceptionRecord* record, bool& handled) {
    ++FrameworkSeen.Reports;
    if (record) FrameworkSeen.Reported = ObjectClassName(record->ExceptionObject);
    // Passed on: no dialog, log or send.
    handled = false;
  };
  RevavaRezList().Register(&sink);
  auto* thread = new TTestIndyThread;
  thread->FOnException = reinterpret_cast<void*>(&OldThreadEvent);
  TRuntimeThreadStart start = {TestFrameworkThreadProc, static_cast<TIdThread*>(thread)};
  HANDLE handle = CreateThread(nullptr, 0, TestRuntimeThreadWrapper, &start, 0, nullptr);
  if (handle == nullptr) return "create failed";
  DWORD code = 0;
  const bool ended = WaitForSingleObject(handle, kBound) == WAIT_OBJECT_0 && GetExitCodeThread(handle, &code);
  CloseHandle(handle);
  const void* const* table =
      *reinterpret_cast<const void* const* const*>(static_cast<TTestThreadBase*>(thread));
  std::string answer =
      "code=" + (ended ? std::to_string(code) : std::string("hung")) +
      " wrapped=" + Bit(table[kExecuteSlot] == reinterpret_cast<void*>(&ThreadStartWrapper)) +
      " top=" + Bit(FrameworkSeen.Top) + " reports=" + std::to_string(FrameworkSeen.Reports) +
      " reported=" + FrameworkSeen.Reported + " rethrown=" + FrameworkSeen.Rethrown;
  // The event now leads to the library, which passes on to the old handler.
  const bool taken = thread->FOnException == reinterpret_cast<void*>(&ThreadExceptionEvent);
  try {
    throw ETestThreadError("Raised in the event");
  } catch (const std::exception& raised) {
    if (taken)
      reinterpret_cast<TThreadExceptionEvent>(thread->FOnException)(static_cast<TIdThread*>(thread),
                                                                    const_cast<std::exception*>(&raised));
  }
  answer += " event=" + Bit(taken) + " old=" + Bit(FrameworkSeen.OldCalled) +
            " reports-after-event=" + std::to_string(FrameworkSeen.Reports);
  RevavaRezList().Unregister(&sink);
  return answer;
}

std::string Runtime() {
  Interception.ThreadWrapper = reinterpret_cast<uintptr_t>(&TestRuntimeThreadWrapper);
  TProbe probe;
  TRuntimeThreadStart start = {ProbeThread, &probe};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, TestRuntimeThreadWrapper, &start, 0, &id);
  if (thread == nullptr) return "create failed";
  const bool ran = WaitForSingleObject(probe.Started, kBound) == WAIT_OBJECT_0;
  ThreadRecord entry{};
  const bool recorded = EntryOf(id, entry) && entry.ThreadFunction == reinterpret_cast<void*>(&ProbeThread) &&
                        entry.Parameter == &probe && entry.StartAddress == nullptr;
  return "replaced=" + Bit(start.Function == RtlThreadStart) + " recorded=" + Bit(recorded) +
         " ran=" + Bit(ran) + " top=" + Bit(probe.Top) + " code=" + Finish(thread, probe);
}

std::string LibraryThread() {
  TProbe probe;
  DWORD id = 0;
  HANDLE thread =
      StartLibraryThread([](void* parameter) { return ProbeThread(parameter); }, &probe, false, &id);
  if (thread == nullptr) return "create failed";
  const bool ran = WaitForSingleObject(probe.Started, kBound) == WAIT_OBJECT_0;
  return "ran=" + Bit(ran) + " listed=" + Bit(probe.Listed) + " code=" + Finish(thread, probe);
}

// The library DLL's exports these verbs use.
struct TThreadsDll {
  HMODULE Module = nullptr;
  int(__stdcall* Hook)(const char* moduleName) = nullptr;
  HANDLE(__stdcall* StartPaired)(HANDLE release, DWORD* threadID) = nullptr;

  explicit TThreadsDll(const std::wstring& path) {
    Module = LoadLibraryW(path.c_str());
    if (Module == nullptr) return;
    Hook =
        reinterpret_cast<decltype(Hook)>(reinterpret_cast<void*>(GetProcAddress(Module, "TestThreadsHook")));
    StartPaired = reinterpret_cast<decltype(StartPaired)>(
        reinterpret_cast<void*>(GetProcAddress(Module, "TestThreadsStart")));
  }
  bool Ok() const { return Hook != nullptr && StartPaired != nullptr; }
};

std::string Pair(const std::wstring& dll) {
  TThreadsDll library(dll);
  if (!library.Ok()) return "dll missing";
  std::string answer = "dll-hooked=" + std::to_string(library.Hook(ModuleFileNameOf(library.Module).c_str()));
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  // Started suspended and resumed inside the DLL, through its own hooks.
  HANDLE thread = library.StartPaired(release, &id);
  if (thread == nullptr) return answer + " start failed";
  ThreadRecord entry{};
  const bool listed = EntryOf(id, entry);
  answer +=
      " listed=" + Bit(listed) + " own-handle=" +
      Bit(listed && entry.Handle != nullptr && entry.Handle != thread && GetThreadId(entry.Handle) == id) +
      " copy-elsewhere=" + Bit(listed && entry.StackCopy != nullptr && entry.OwnedElsewhere != 0);
  SetEvent(release);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(thread, kBound) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  CloseHandle(release);
  answer += " code=" + (ended ? std::to_string(code) : std::string("hung")) +
            " removed=" + Bit(!EntryOf(id, entry));
  return answer;
}

struct TUnloadProbe {
  HANDLE Started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI OutlivingThread(void* parameter) {
  auto* probe = static_cast<TUnloadProbe*>(parameter);
  SetEvent(probe->Started);
  WaitForSingleObject(probe->Release, kBound);
  return 77;
}

std::string Unload(const std::wstring& dll) {
  // The DLL tells of its detach through an event named after this process.
  const std::wstring detachName = L"BrxThreadsDllDetach-" + std::to_wstring(GetCurrentProcessId());
  HANDLE detached = CreateEventW(nullptr, TRUE, FALSE, detachName.c_str());
  TThreadsDll library(dll);
  if (!library.Ok()) return "dll missing";
  std::string answer = "exe-hooked=" + std::to_string(library.Hook(ModuleFileNameOf(nullptr).c_str()));
  TUnloadProbe probe;
  HANDLE thread = CreateThread(nullptr, 0, OutlivingThread, &probe, 0, nullptr);
  if (thread == nullptr) return answer + " create failed";
  WaitForSingleObject(probe.Started, kBound);
  FreeLibrary(library.Module);
  answer += " loaded-after-free=" + Bit(GetModuleHandleW(dll.c_str()) != nullptr) +
            " detached-early=" + Bit(WaitForSingleObject(detached, 0) == WAIT_OBJECT_0);
  SetEvent(probe.Release);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(thread, kBound) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  answer += " code=" + (ended ? std::to_string(code) : std::string("hung")) +
            " detached=" + Bit(WaitForSingleObject(detached, kBound) == WAIT_OBJECT_0) +
            " unloaded=" + Bit(GetModuleHandleW(dll.c_str()) == nullptr);
  CloseHandle(detached);
  return answer;
}

std::string Track(const std::wstring& which, const std::wstring& dll) {
  if (!LibraryState().Active || !LibraryState().Threads) return "inactive";
  // Here the DLL's hooks take this program's import table.
  if (which == L"unload") return Unload(dll);
  EHookInit();
  InstallInterceptionHooks({ModuleFileNameOf(ThisModule())});
  if (which == L"flags") return Flags();
  if (which == L"resume") return Resume();
  if (which == L"exit") return Exit();
  if (which == L"lost-entry") return LostEntry();
  if (which == L"runtime") return Runtime();
  if (which == L"library") return LibraryThread();
  if (which == L"framework") return Framework();
  if (which == L"pair") return Pair(dll);
  return "unknown case";
}

}  // namespace

int RunThreadVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 3 && arguments[0] == L"track")
    return WriteReport(arguments[2], Track(arguments[1], std::wstring())) ? 0 : 3;
  if (arguments.size() == 4 && arguments[0] == L"track")
    return WriteReport(arguments[3], Track(arguments[1], arguments[2])) ? 0 : 3;
  return kNotMyVerb;
}

}  // namespace brx_test_module
