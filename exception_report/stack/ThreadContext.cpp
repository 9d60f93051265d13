// Register contexts and the copy of a suspended thread's stack.
#include "stack/ThreadContext.h"

#include <cstring>

#include "core/VArev.h"
#include "interception/ThreadTracking.h"
#include "stack/StackList.h"

namespace RevavaRez {

// GCC takes the segment read inside NtCurrentTeb for an access to an array
// of no elements.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
uintptr_t CurrentThreadStackBase() {
  return reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
}
#pragma GCC diagnostic pop

uintptr_t ContextInstructionPointer(const CONTEXT& context) {
#if defined(_M_IX86) || defined(__i386__)
  return context.Eip;
#else
  return context.Rip;
#endif
}

uintptr_t ContextStackPointer(const CONTEXT& context) {
#if defined(_M_IX86) || defined(__i386__)
  return context.Esp;
#else
  return context.Rsp;
#endif
}

uintptr_t ContextFramePointer(const CONTEXT& context) {
#if defined(_M_IX86) || defined(__i386__)
  return context.Ebp;
#else
  return context.Rbp;
#endif
}

namespace {

// The basic information class (0) of NtQueryInformationThread.
struct TThreadBasicInformation {
  LONG ExitStatus;
  void* TebBaseAddress;
  void* UniqueProcess;
  void* UniqueThread;
  ULONG_PTR AffinityMask;
  LONG Priority;
  LONG BasePriority;
};
using TNtQueryInformationThread = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

TNtQueryInformationThread QueryInformationThread() {
  static const TNtQueryInformationThread query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<TNtQueryInformationThread>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationThread")))
                 : nullptr;
  }();
  return query;
}

// The thread's stack base and limit from its information block; false when
// the block cannot be read.
bool StackBounds(HANDLE thread, uintptr_t& base, uintptr_t& limit) {
  TNtQueryInformationThread query = QueryInformationThread();
  if (query == nullptr) return false;
  TThreadBasicInformation info{};
  ULONG length = 0;
  if (query(thread, 0, &info, sizeof info, &length) < 0 || info.TebBaseAddress == nullptr) return false;
  NT_TIB tib;
  if (!IsReadable(info.TebBaseAddress, sizeof tib)) return false;
  std::memcpy(&tib, info.TebBaseAddress, sizeof tib);
  base = reinterpret_cast<uintptr_t>(tib.StackBase);
  limit = reinterpret_cast<uintptr_t>(tib.StackLimit);
  return base > limit;
}

}  // namespace

TCapturedStack CaptureThreadStack(HANDLE thread) {
  TCapturedStack captured;
  try {
    // A thread cannot be suspended by itself and then resume.
    if (thread == nullptr || GetThreadId(thread) == GetCurrentThreadId()) return captured;
    uintptr_t base = 0, limit = 0;
    if (!StackBounds(thread, base, limit)) return captured;
    // The stack may grow below the limit read here before the thread is
    // stopped, so the buffer takes the whole of what a walk reads.
    const size_t room = kStackWalkLimit;
    captured.Copy.resize(room);
    uint8_t* const buffer = captured.Copy.data();
    captured.Context.Context.ContextFlags = kContextFlags;

    // From here to the resume nothing may allocate, lock or log: the thread
    // may hold the heap's lock or any other.
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
      captured.Copy.clear();
      return captured;
    }
    const bool haveContext = GetThreadContext(thread, &captured.Context.Context) != FALSE;
    size_t copied = 0;
    uintptr_t stackPointer = 0;
    if (haveContext) {
      stackPointer = ContextStackPointer(captured.Context.Context);
      if (stackPointer != 0 && stackPointer < base) {
        size_t wanted = base - stackPointer;
        if (wanted > room) wanted = room;
        copied = ReadablePrefix(reinterpret_cast<const void*>(stackPointer), wanted);
        std::memcpy(buffer, reinterpret_cast<const void*>(stackPointer), copied);
      }
    }
    ResumeThreadUntracked(thread);

    captured.Copy.resize(copied);
    captured.StackPointer = stackPointer;
    captured.Ok = haveContext;
  } catch (...) {
    captured = TCapturedStack();
  }
  return captured;
}

}  // namespace RevavaRez
