#pragma once
// What the interception keeps per thread between the raise of an exception
// and its processing. Zero-initialised; each thread has its own.
#include <windows.h>

#include <cstdint>

#include "stack/ThreadContext.h"

namespace RevavaRez {

// A language raise carries the raise address, the object and the raise
// point's registers (EBX, ESI, EDI, EBP, ESP; RBX ... RSP on x86_64).
constexpr DWORD kLanguageRaiseCode = 0x0EEDFADE;
constexpr DWORD kLanguageRaiseArguments = 7;
// What the C++ run-time raises for a throw on x86_64.
constexpr DWORD kCxxThrowCode = 0x20474343;

struct TThreadExceptionState {
  // Re-entry marks of ReportRaisedException and DispatchException.
  uint8_t InReport;
  uint8_t InDispatch;
  // Set by the freeze watchdog on its own thread while it holds the main
  // thread suspended: its resumption is not tracked, and what it dispatches
  // belongs to the main thread.
  uint8_t WatchdogHolds;
  uint8_t OnWatchdogThread;
  // The stack pointer at the last raise or unwind, and the frame of the last
  // raise, from which the call stack is walked.
  uintptr_t StackPointer;
  uintptr_t Frame;
  // The last language raise.
  void* LanguageObject;
  uintptr_t LanguageAddress;
  uintptr_t LanguageArguments[kLanguageRaiseArguments];
  // The last raise as ExceptionManager reads it.
  bool HasLastRaise;
  void* LastRaiseObject;
  uintptr_t LastRaiseAddress;
  bool LastRaiseLanguage;
  // The thread's registers at the raise, in the reports' form.
  bool HasContext;
  TThreadContext Context;
};

// The calling thread's state.
TThreadExceptionState& ThreadExceptionState();
// Forgets the raise: kept are the re-entry marks and the watchdog bytes.
void ClearThreadExceptionState();

// The calling thread's last raise address when that raise names the
// object, else 0 (LibraryHooks.RaiseAddressOf).
uintptr_t LastRaiseAddressOf(const void* object);

}  // namespace RevavaRez
