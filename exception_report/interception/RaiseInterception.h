#pragma once
// The first stage of every intercepted exception, and the hooked routines
// through which raises and unwinds pass.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

// Remembers the raise and, unless the program will catch it, dispatches it.
// Keeps the thread's last error. Never raises.
void ReportRaisedException(void* object, uintptr_t address, bool languageRaise, bool caught);

// The calling thread's stack from its stored stack pointer (the current one
// when that lies outside the stack) up to its top, at most 102,400 bytes,
// into the stack copy.
void CopyFaultingStack(uintptr_t address, bool languageRaise);

// Stores a language raise in the thread's state (and its context) and, when
// asked, reports it; forwards every raise to the main module's library.
void RaiseHookBody(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments, bool report);

// The hooks' bodies, with their routines' signatures. Each calls the
// routine it was put in place of.
void WINAPI RaiseExceptionHook(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments);
void WINAPI RtlUnwindHook(void* targetFrame, void* returnAddress, EXCEPTION_RECORD* record, void* returnValue);

using TRaiseException = void(WINAPI*)(DWORD, DWORD, DWORD, const ULONG_PTR*);
using TRtlUnwind = void(WINAPI*)(void*, void*, EXCEPTION_RECORD*, void*);
// Fetched from kernel32.dll by name when null.
extern TRaiseException OriginalRaiseException;
extern TRtlUnwind OriginalRtlUnwind;

}  // namespace RevavaRez

namespace RevavaRez {

// The body of the export through which another module's library hands a
// raise to this one: stores the stack pointer, then the raise without
// reporting.
void CallGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t stackPointer, const ULONG_PTR* arguments);

}  // namespace RevavaRez
