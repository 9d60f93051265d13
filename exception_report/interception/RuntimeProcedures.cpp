#include "interception/RuntimeProcedures.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/ExceptionObjects.h"
#include "core/ExternalExceptions.h"
#include "core/VArev.h"
#include "events/ExceptionManager.h"
#include "hooking/HookEngine.h"
#include "interception/Dispatch.h"
#include "interception/ModuleRoutines.h"
#include "interception/RaiseInterception.h"
#include "interception/ThreadExceptionState.h"
#include "options/ActivationGate.h"
#include "stack/ThreadContext.h"

namespace RevavaRez {

namespace {

std::terminate_handler PreviousTerminate = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER PreviousFilter = nullptr;
bool Installed = false;

// The run-time's exception pointer holds the thrown object's address and
// nothing else.
static_assert(sizeof(std::exception_ptr) == sizeof(void*), "the exception pointer is the object's address");
void* ObjectOf(const std::exception_ptr& current) {
  void* object = nullptr;
  std::memcpy(&object, &current, sizeof object);
  return object;
}

bool IsExternal(const void* object) { return IsReportable(object) && InheritsFromName(ClassOf(object), "EExternal"); }

[[noreturn]] void EndFaultingThread() {
  if (GetCurrentThreadId() == LibraryState().MainThreadID) ExitProcess(1);
  ExitThread(1);
}

// An uncaught throw reaches here on its own thread, nothing unwound yet.
// Another cause of terminate is not this library's to report.
void TerminateHandler() {
  if (LibraryState().Active) {
    const std::exception_ptr current = std::current_exception();
    if (current) {
      void* object = ObjectOf(current);
      UnhandledExceptionProcedure(object, LastRaiseAddressOf(object));
    }
  }
  if (PreviousTerminate != nullptr) PreviousTerminate();
  std::abort();
}

LONG WINAPI ExceptionObjectFilter(EXCEPTION_POINTERS* pointers) {
  EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
  if (!LibraryState().Active || record == nullptr || !IsReadable(record, sizeof *record))
    return PreviousFilter != nullptr ? PreviousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
  // A throw nothing catches: continuing lets the run-time call terminate,
  // which reports it with its object.
  if (record->ExceptionCode == kCxxThrowCode && (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0)
    return EXCEPTION_CONTINUE_EXECUTION;
  if (record->ExceptionCode == kLanguageRaiseCode && record->NumberParameters == kLanguageRaiseArguments)
    UnhandledExceptionProcedure(reinterpret_cast<void*>(record->ExceptionInformation[1]),
                                static_cast<uintptr_t>(record->ExceptionInformation[0]));
  void* object = CallExceptObject(record, pointers->ContextRecord, true);
  UnhandledExceptionProcedure(object, reinterpret_cast<uintptr_t>(record->ExceptionAddress));
}

}  // namespace

void InstallRuntimeProcedures() {
  if (Installed) return;
  PreviousTerminate = std::set_terminate(TerminateHandler);
  PreviousFilter = SetUnhandledExceptionFilter(ExceptionObjectFilter);
  Installed = true;
}

void RemoveRuntimeProcedures() {
  if (!Installed) return;
  std::set_terminate(PreviousTerminate);
  SetUnhandledExceptionFilter(PreviousFilter);
  Installed = false;
}

void* CallExceptObject(EXCEPTION_RECORD* record, CONTEXT* context, bool report) {
  if (record == nullptr || !IsReadable(record, sizeof *record)) return nullptr;
  void* object = ExternalExceptionFor(*record).release();
  TThreadExceptionState& state = ThreadExceptionState();
  if (context != nullptr && IsReadable(context, kContextSize)) {
    state.Frame = ContextStackPointer(*context);
    std::memcpy(&state.Context.Context, context, kContextSize);
    state.Context.Context.ContextFlags = kContextFlags;
    state.HasContext = true;
  }
  if (report) ReportRaisedException(object, reinterpret_cast<uintptr_t>(record->ExceptionAddress), false, false);
  if (LibraryState().MainModuleActive) {
    using TExceptObject = void*(__stdcall*)(EXCEPTION_RECORD*, CONTEXT*, uint8_t);
    if (auto forward = MainModuleExport<TExceptObject>(kCallExceptObjectExport)) {
      // The main module's object is its own; its virtual destructor frees
      // it with that module's allocator.
      if (void* theirs = forward(record, context, 0)) delete static_cast<std::exception*>(theirs);
    }
  }
  return object;
}

void UnhandledExceptionProcedure(void* object, uintptr_t address) {
  if (address == 0 || address != LastDispatchedAddress())
    ReportRaisedException(object, address, !IsExternal(object), false);
  // A library's run-time reaches only its own handlers: the main module's
  // library is told before the thread ends.
  if (LibraryState().MainModuleActive)
    ManageException(object, reinterpret_cast<void*>(address), 0, ThisModule(),
                    reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  EndFaultingThread();
}

}  // namespace RevavaRez
