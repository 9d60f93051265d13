#pragma once
// The entry through which a program (or another module's copy of the
// library) hands one exception to the library.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

// The exception lock: held by the exception manager for its whole run and by
// the dispatch. A critical section in every module, active or not, made on
// first use and never deleted, so that a late exception at shut-down still
// finds it.
CRITICAL_SECTION& ExceptionLock();

// The body of the export: callerFrame is the caller's stack pointer before
// the call, the report's frame when nothing better was saved. Never raises.
uint8_t ManageException(void* object, void* address, uint8_t outputKind, HMODULE module, uintptr_t callerFrame);

}  // namespace RevavaRez

// Non-zero: pass the exception on to the default handling.
extern "C" uint8_t __stdcall ExceptionManager(void* object, void* address, uint8_t outputKind, HMODULE module);
