#include "interception/ThreadTracking.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <typeinfo>
#include <utility>
#include <vector>

#include "core/ExceptionObjects.h"
#include "core/ExternalExceptions.h"
#include "core/Hooks.h"
#include "core/NamedEvents.h"
#include "core/VArev.h"
#include "events/ExceptionManager.h"
#include "hooking/HookEngine.h"
#include "interception/InterceptionState.h"
#include "interception/LibraryThreads.h"
#include "interception/ModuleRoutines.h"
#include "interception/RuntimeProcedures.h"
#include "interception/ThreadExceptionState.h"
#include "moduleinfo/PEImage.h"
#include "options/ActivationGate.h"
#include "stack/ThreadContext.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {

TCreateThread OriginalCreateThread = nullptr;
TResumeThread OriginalResumeThread = nullptr;
TExitThread OriginalExitThread = nullptr;

namespace {

// A start address this close after a run-time routine's entry is that
// routine.
constexpr uintptr_t kNearRoutine = 64;

// What RawThreadStart gets in place of the caller's parameter. The hook's
// own block: the caller's function then runs whatever became of its entry.
struct TRawStart {
  LPTHREAD_START_ROUTINE Start;
  void* Parameter;
  // The reference on this library the thread holds while it runs, or null
  // (in the main program).
  HMODULE Reference;
};

// The reference a RawThreadStart thread of a library holds, for the
// "ExitThread" hook to give back.
thread_local HMODULE HeldReference = nullptr;

TCreateThread CreateThreadOriginal() { return KernelRoutine(OriginalCreateThread, "CreateThread"); }
TResumeThread ResumeThreadOriginal() { return KernelRoutine(OriginalResumeThread, "ResumeThread"); }
TExitThread ExitThreadOriginal() { return KernelRoutine(OriginalExitThread, "ExitThread"); }

using TCallCreateThread = void(WINAPI*)(const ThreadRecord*);
using TCallResumeThread = void(WINAPI*)(HANDLE, const ThreadRecord*);
using TCallExitThread = void(WINAPI*)();

TVezavuThreadsList* ActiveThreads() {
  TLibraryState& state = LibraryState();
  return state.Active ? state.Threads.get() : nullptr;
}

bool Near(uintptr_t address, uintptr_t routine) {
  return routine != 0 && address >= routine && address - routine <= kNearRoutine;
}

// The library's own thread classes are not tracked.
bool IsOwnThreadClass(const void* object) {
  const std::type_info* classRef = ClassOf(object);
  if (classRef == nullptr || ModuleOfAddress(classRef) != ThisModule()) return false;
  const std::string name = ClassNameOf(classRef);
  return name == "TExceptionThread" || name == "TFreezeThread" || name == "TSendDialogThread" ||
         name == "TSendThread";
}

void* ExecuteSlotTable(const void* object) {
  if (!IsReadable(object, sizeof(void*))) return nullptr;
  return *static_cast<void* const*>(object);
}

// Sets up the record of a thread the run-time's wrapper starts; false when
// the record is to be discarded. A thread function replaced by
// RtlThreadStart is put back with Restore while the thread has not run.
struct TReplacedFunction {
  TRuntimeThreadStart* Start = nullptr;
  LPTHREAD_START_ROUTINE Function = nullptr;
  void Restore() {
    if (Start) Start->Function = Function;
  }
};

bool RuntimeThreadRecord(ThreadRecord& record, void* parameter, TReplacedFunction& replaced) {
  if (!IsReadable(parameter, sizeof(TRuntimeThreadStart))) return true;
  auto* start = static_cast<TRuntimeThreadStart*>(parameter);
  const uintptr_t function = reinterpret_cast<uintptr_t>(start->Function);
  if (Near(function, Interception.FrameworkThreadProc)) {
    void* object = start->Parameter;
    record.ThreadFunction = reinterpret_cast<void*>(function);
    record.ThreadObject = object;
    record.Parameter = object;
    if (IsOwnThreadClass(object)) return false;
    if (void* table = ExecuteSlotTable(object))
      record.OriginalExecute =
          HookVirtualMethod(table, kExecuteSlot, reinterpret_cast<void*>(&ThreadStartWrapper));
    return true;
  }
  record.ThreadFunction = reinterpret_cast<void*>(function);
  record.Parameter = start->Parameter;
  replaced.Start = start;
  replaced.Function = start->Function;
  start->Function = RtlThreadStart;
  return true;
}

// Adds a copy of the record to the list; its handle becomes the list's.
void AddCopy(TVezavuThreadsList& threads, const ThreadRecord& record) {
  threads.WriteLock();
  try {
    *threads.NewRecord(true) = record;
  } catch (...) {
    threads.WriteUnlock();
    throw;
  }
  threads.WriteUnlock();
}

// The calling thread's entry: stack top stored, then what it asks for read.
template <typename TRead>
bool UpdateCurrentEntry(TRead read) {
  TVezavuThreadsList* threads = ActiveThreads();
  if (threads == nullptr) return false;
  const uintptr_t top = CurrentThreadStackBase();
  threads->WriteLock();
  const int index = threads->FindByID(GetCurrentThreadId());
  if (index >= 0) {
    ThreadRecord* entry = threads->Items(index);
    entry->StackTop = top;
    read(*entry);
  }
  threads->WriteUnlock();
  return index >= 0;
}

HANDLE TrackedCreateThread(TVezavuThreadsList& threads, LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags, DWORD* threadID) {
  const TCreateThread original = CreateThreadOriginal();
  threads.Purge();
  std::unique_ptr<ThreadRecord> record(threads.NewRecord(false));
  bool keep = true;
  std::unique_ptr<TRawStart> raw;
  TReplacedFunction replaced;
  LPTHREAD_START_ROUTINE startAt = start;
  void* startWith = parameter;
  if (Near(reinterpret_cast<uintptr_t>(start), Interception.ThreadWrapper)) {
    keep = RuntimeThreadRecord(*record, parameter, replaced);
  } else {
    record->StartAddress = reinterpret_cast<void*>(start);
    record->Parameter = parameter;
    raw.reset(new TRawStart{start, parameter, ReferenceThisLibrary()});
    startAt = RawThreadStart;
    startWith = raw.get();
  }
  // Suspended until listed, whatever else the caller asked for.
  DWORD id = 0;
  HANDLE thread = original(security, stackSize, startAt, startWith, flags | CREATE_SUSPENDED, &id);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    replaced.Restore();
    if (raw && raw->Reference) FreeLibrary(raw->Reference);
    SetLastError(error);
    return nullptr;
  }
  // The thread owns its block from here on.
  raw.release();
  if (threadID) *threadID = id;
  // Nothing from here on raises: the thread exists, and the hook's caller
  // must not get a second one.
  if (keep) {
    record->ThreadID = id;
    record->Handle = DuplicateThreadHandle(thread);
    try {
      AddCopy(threads, *record);
    } catch (...) {
      // Unlisted, RtlThreadStart would find no function to run.
      if (record->Handle) CloseHandle(record->Handle);
      replaced.Restore();
      keep = false;
    }
    // The export catches what it raises.
    if (keep && LibraryState().MainModuleActive)
      if (auto forward = MainModuleExport<TCallCreateThread>(kCallCreateThreadExport)) forward(record.get());
  }
  if ((flags & CREATE_SUSPENDED) == 0) ResumeThreadOriginal()(thread);
  return thread;
}

// The stack from here up to the thread's top, in a heap block of its own;
// null (size 0) when the range cannot be read.
void* CopyOwnStack(uint32_t& size) {
  size = 0;
  volatile uintptr_t here = 0;
  const uintptr_t from = reinterpret_cast<uintptr_t>(&here) & ~uintptr_t(sizeof(void*) - 1);
  const uintptr_t top = CurrentThreadStackBase();
  if (top <= from || top - from > UINT32_MAX) return nullptr;
  const size_t wanted = top - from;
  if (ReadableLength(reinterpret_cast<const void*>(from), wanted) < wanted) return nullptr;
  void* block = std::malloc(wanted);
  if (block == nullptr) return nullptr;
  std::memcpy(block, reinterpret_cast<const void*>(from), wanted);
  size = static_cast<uint32_t>(wanted);
  return block;
}

void TrackResume(TVezavuThreadsList& threads, HANDLE thread) {
  uint32_t size = 0;
  void* block = CopyOwnStack(size);
  ThreadRecord copy{};
  threads.WriteLock();
  const int index = threads.FindByHandle(thread);
  if (index >= 0) {
    ThreadRecord* entry = threads.Items(index);
    entry->ResumingThreadID = GetCurrentThreadId();
    if (entry->StackCopy != nullptr && !entry->OwnedElsewhere) std::free(entry->StackCopy);
    entry->StackCopy = block;
    entry->StackCopySize = size;
    entry->OwnedElsewhere = 0;
    copy = *entry;
  }
  threads.WriteUnlock();
  if (index < 0) {
    std::free(block);
    return;
  }
  if (LibraryState().MainModuleActive)
    if (auto forward = MainModuleExport<TCallResumeThread>(kCallResumeThreadExport)) forward(thread, &copy);
}

// The old "OnException" handlers of the framework threads whose event the
// library took over, by thread object.
SRWLOCK OldEventsLock = SRWLOCK_INIT;
std::vector<std::pair<void*, void*>>& OldEvents() {
  static std::vector<std::pair<void*, void*>>* events = new std::vector<std::pair<void*, void*>>;
  return *events;
}

void* OldEventOf(void* thread) {
  AcquireSRWLockShared(&OldEventsLock);
  void* old = nullptr;
  for (const auto& event : OldEvents())
    if (event.first == thread) old = event.second;
  ReleaseSRWLockShared(&OldEventsLock);
  return old;
}

void KeepOldEvent(void* thread, void* old) {
  AcquireSRWLockExclusive(&OldEventsLock);
  try {
    bool found = false;
    for (auto& event : OldEvents())
      if (event.first == thread) {
        event.second = old;
        found = true;
      }
    if (!found) OldEvents().emplace_back(thread, old);
  } catch (...) {
  }
  ReleaseSRWLockExclusive(&OldEventsLock);
}

// The thread object's rebindable events, when its class has them: the
// run-time's own upcast, as a catch clause for INamedEvents would make it.
INamedEvents* NamedEventsOf(void* object, const std::type_info* classRef) {
  const auto* target = dynamic_cast<const abi::__class_type_info*>(&typeid(INamedEvents));
  void* adjusted = object;
  if (target == nullptr || !classRef->__do_upcast(target, &adjusted)) return nullptr;
  return static_cast<INamedEvents*>(adjusted);
}

// Unless the framework's own thread-exception routine is hooked, the
// exception event of a "TIdThread" goes to the library first.
void TakeOverThreadEvent(void* object) {
  if (Interception.IndyHookInstalled) return;
  const std::type_info* classRef = ClassOf(object);
  if (classRef == nullptr || !InheritsFromName(classRef, "TIdThread")) return;
  INamedEvents* events = NamedEventsOf(object, classRef);
  if (events == nullptr) return;
  void* code = reinterpret_cast<void*>(&ThreadExceptionEvent);
  void* current = nullptr;
  if (!events->GetEventCode("OnException", current) || current == code) return;
  KeepOldEvent(object, ReplaceEventHandler(events, "OnException", code));
}

// What the exception manager does for a caller here; the export itself
// lives with the module's start-up, which not every program links. Never
// raises.
__attribute__((noinline)) uint8_t Report(const void* object) {
  void* address = reinterpret_cast<void*>(LibraryHooks.RaiseAddressOf(object));
  return ManageException(const_cast<void*>(object), address, 0, ThisModule(),
                         reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa()));
}

}  // namespace

HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                               void* parameter, DWORD flags, DWORD* threadID) {
  const TCreateThread original = CreateThreadOriginal();
  TVezavuThreadsList* threads = ActiveThreads();
  // The library's own threads are neither listed nor reported.
  if (threads != nullptr && start != LibraryThreadProcedure()) {
    try {
      return TrackedCreateThread(*threads, security, stackSize, start, parameter, flags, threadID);
    } catch (...) {
      // Nothing was started: the caller still gets its thread, untracked.
    }
  }
  return original(security, stackSize, start, parameter, flags, threadID);
}

DWORD WINAPI ResumeThreadHook(HANDLE thread) {
  const TResumeThread original = ResumeThreadOriginal();
  const DWORD error = GetLastError();
  // The freeze watchdog's own resumption of the main thread is not tracked.
  TVezavuThreadsList* threads = ActiveThreads();
  if (threads != nullptr && !ThreadExceptionState().WatchdogHolds) {
    try {
      TrackResume(*threads, thread);
    } catch (...) {
    }
  }
  SetLastError(error);
  return original(thread);
}

HMODULE ReferenceThisLibrary() {
  if (!IsDLLModule(ThisModule())) return nullptr;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RawThreadStart),
                          &module))
    return nullptr;
  return module;
}

DWORD ResumeThreadUntracked(HANDLE thread) { return ResumeThreadOriginal()(thread); }

void WINAPI ExitThreadHook(DWORD exitCode) {
  const TExitThread original = ExitThreadOriginal();
  if (TVezavuThreadsList* threads = ActiveThreads()) {
    try {
      threads->RemoveCurrent();
      if (LibraryState().MainModuleActive)
        if (auto forward = MainModuleExport<TCallExitThread>(kCallExitThreadExport)) forward();
    } catch (...) {
    }
  }
  // A thread this library started gives back its reference on the way out,
  // from kernel32's code rather than this module's.
  if (HMODULE reference = HeldReference) {
    HeldReference = nullptr;
    FreeLibraryAndExitThread(reference, exitCode);
  }
  original(exitCode);
}

DWORD WINAPI RawThreadStart(void* block) {
  const TRawStart start = *static_cast<TRawStart*>(block);
  delete static_cast<TRawStart*>(block);
  HeldReference = start.Reference;
  try {
    UpdateCurrentEntry([](ThreadRecord&) {});
  } catch (...) {
  }
  // What the caller's function raises is not caught here: an uncaught
  // exception must reach the terminate handler on this thread with its
  // stack as it was.
  const DWORD result = start.Start(start.Parameter);
  if (HMODULE reference = HeldReference) {
    HeldReference = nullptr;
    FreeLibraryAndExitThread(reference, result);
  }
  return result;
}

DWORD WINAPI RtlThreadStart(void* parameter) {
  (void)parameter;
  LPTHREAD_START_ROUTINE function = nullptr;
  void* with = nullptr;
  try {
    UpdateCurrentEntry([&](ThreadRecord& entry) {
      function = reinterpret_cast<LPTHREAD_START_ROUTINE>(entry.ThreadFunction);
      with = entry.Parameter;
    });
  } catch (...) {
  }
  if (function == nullptr) return static_cast<DWORD>(-1);
  return function(with);
}

void BRX_METHOD_CALL ThreadStartWrapper(void* threadObject) {
  void* original = nullptr;
  try {
    TakeOverThreadEvent(threadObject);
    if (TVezavuThreadsList* threads = ActiveThreads()) {
      const uintptr_t top = CurrentThreadStackBase();
      threads->WriteLock();
      const int index = threads->FindByObject(threadObject);
      if (index >= 0) {
        ThreadRecord* entry = threads->Items(index);
        entry->StackTop = top;
        original = entry->OriginalExecute;
      }
      threads->WriteUnlock();
    }
    // Without its entry the slot's record still knows the original.
    if (original == nullptr)
      if (void* table = ExecuteSlotTable(threadObject))
        original = HookVirtualMethod(table, kExecuteSlot, reinterpret_cast<void*>(&ThreadStartWrapper));
  } catch (...) {
  }
  if (original == nullptr || original == reinterpret_cast<void*>(&ThreadStartWrapper)) return;
  using TExecute = void(BRX_METHOD_CALL*)(void*);
  try {
    reinterpret_cast<TExecute>(original)(threadObject);
  } catch (const EExternal& external) {
    if (external.SystemRecord().ExceptionCode != kThreadNamingCode) Report(&external);
    throw;
  } catch (...) {
    Report(CurrentException().Object);
    throw;
  }
}

void ThreadExceptionEvent(void* thread, void* exception) {
  try {
    if (Report(exception) == 0) return;
    if (auto old = reinterpret_cast<TThreadExceptionEvent>(OldEventOf(thread))) old(thread, exception);
  } catch (...) {
  }
}

void CallCreateThread(const ThreadRecord* record) {
  TVezavuThreadsList* threads = ActiveThreads();
  if (threads == nullptr || record == nullptr) return;
  threads->Purge();
  ThreadRecord copy = *record;
  copy.Handle = DuplicateThreadHandle(record->Handle);
  // A stack copy stays its module's.
  copy.OwnedElsewhere = copy.StackCopy != nullptr ? 1 : 0;
  try {
    AddCopy(*threads, copy);
  } catch (...) {
    if (copy.Handle) CloseHandle(copy.Handle);
  }
}

void CallResumeThread(HANDLE thread, const ThreadRecord* record) {
  TVezavuThreadsList* threads = ActiveThreads();
  if (threads == nullptr || record == nullptr || ThreadExceptionState().WatchdogHolds) return;
  threads->WriteLock();
  const int index = threads->FindByHandle(thread);
  if (index >= 0) {
    ThreadRecord* entry = threads->Items(index);
    const HANDLE own = entry->Handle;
    if (entry->StackCopy != nullptr && !entry->OwnedElsewhere) std::free(entry->StackCopy);
    *entry = *record;
    entry->Handle = own;
    entry->OwnedElsewhere = 1;
  }
  threads->WriteUnlock();
}

void CallExitThread() {
  if (TVezavuThreadsList* threads = ActiveThreads()) threads->RemoveCurrent();
}

}  // namespace RevavaRez
