#pragma once
// The run-time's two procedures the library takes over: what an uncaught
// exception reaches (a terminate handler for C++ throws) and what turns an
// operating-system exception into an object (an unhandled-exception filter).
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

// Installs both, keeping what they replace; Remove puts that back.
void InstallRuntimeProcedures();
void RemoveRuntimeProcedures();

// The exception object for an operating-system exception: the context's
// stack pointer and a copy of the context go into the thread's state; with
// report, the object is reported as not caught. Forwards to the main
// module's library with report off.
void* CallExceptObject(EXCEPTION_RECORD* record, CONTEXT* context, bool report);

// Reports the uncaught exception (unless the last processing handled it
// already) and ends the program (main thread) or the thread, with code 1.
[[noreturn]] void UnhandledExceptionProcedure(void* object, uintptr_t address);

}  // namespace RevavaRez

// The names of the exports, for the forwarding modules.
namespace RevavaRez {
constexpr char kCallGeneralRaiseExport[] = "RevavaRez_CallGeneralRaise";
constexpr char kCallExceptObjectExport[] = "RevavaRez_CallExceptObject";
constexpr char kCallCreateThreadExport[] = "RevavaRez_CallCreateThread";
constexpr char kCallResumeThreadExport[] = "RevavaRez_CallResumeThread";
constexpr char kCallExitThreadExport[] = "RevavaRez_CallExitThread";
}  // namespace RevavaRez
