#include "interception/RaiseInterception.h"

#include <cstring>
#include <memory>

#include "core/ExceptionObjects.h"
#include "core/SectionScope.h"
#include "core/ExternalExceptions.h"
#include "core/Hooks.h"
#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "interception/Dispatch.h"
#include "interception/HandlerChain.h"
#include "interception/InterceptionState.h"
#include "interception/ModuleRoutines.h"
#include "interception/RuntimeProcedures.h"
#include "interception/ThreadExceptionState.h"
#include "options/ActivationGate.h"
#include "stack/ThreadContext.h"
#include "web/IntraWeb.h"

namespace RevavaRez {

TRaiseException OriginalRaiseException = nullptr;
TRtlUnwind OriginalRtlUnwind = nullptr;

namespace {

// Unwinds of these operating-system exceptions are the ones a handler of
// the program caught.
constexpr DWORD kFirstCaughtCode = 0xC0000004;
constexpr DWORD kLastCaughtCode = 0xC000013A;
constexpr DWORD kUnwinding = 2;

uintptr_t CurrentStackPointer() { return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)); }

// The lowest address of the calling thread's stack region.
uintptr_t CurrentStackLimit() {
  MEMORY_BASIC_INFORMATION region{};
  const uintptr_t here = CurrentStackPointer();
  if (VirtualQuery(reinterpret_cast<void*>(here), &region, sizeof region) == 0) return here;
  return reinterpret_cast<uintptr_t>(region.AllocationBase);
}

bool IsLanguageRaise(DWORD code, DWORD flags, DWORD count) {
  return code == kLanguageRaiseCode && flags == 1 && count == kLanguageRaiseArguments;
}

// The registers of a language raise as a context: the object and address
// where the raise left them, the call that raised as the instruction.
void FillLanguageContext(TThreadExceptionState& state, const uintptr_t* arguments) {
  CONTEXT& context = state.Context.Context;
  std::memset(&context, 0, sizeof context);
  const uintptr_t address = arguments[0];
#if defined(__x86_64__)
  context.Rax = arguments[1];
  context.Rdx = address;
  context.Rbx = arguments[2];
  context.Rsi = arguments[3];
  context.Rdi = arguments[4];
  context.Rbp = arguments[5];
  context.Rsp = state.StackPointer;
  context.Rip = address - 5;
#else
  context.Eax = static_cast<DWORD>(arguments[1]);
  context.Edx = static_cast<DWORD>(address);
  context.Ebx = static_cast<DWORD>(arguments[2]);
  context.Esi = static_cast<DWORD>(arguments[3]);
  context.Edi = static_cast<DWORD>(arguments[4]);
  context.Ebp = static_cast<DWORD>(arguments[5]);
  context.Esp = static_cast<DWORD>(state.StackPointer);
  context.Eip = static_cast<DWORD>(address - 5);
#endif
  context.ContextFlags = kContextFlags;
  state.HasContext = true;
}

void RememberLastRaise(TThreadExceptionState& state, void* object, uintptr_t address, bool languageRaise) {
  state.HasLastRaise = true;
  state.LastRaiseObject = object;
  state.LastRaiseAddress = address;
  state.LastRaiseLanguage = languageRaise;
}

}  // namespace

void CopyFaultingStack(uintptr_t address, bool languageRaise) {
  TSectionScope lock(StackCopyLock());
  TStackCopy& copy = StackCopy();
  const TThreadExceptionState& state = ThreadExceptionState();
  const uintptr_t top = CurrentThreadStackBase();
  uintptr_t start = state.StackPointer;
  if (start < CurrentStackLimit() || start >= top) start = CurrentStackPointer();
  size_t size = top > start ? top - start : 0;
  if (size > kStackBufferSize) size = kStackBufferSize;
  // A range with a hole in it is refused whole.
  if (size != 0 && ReadableLength(reinterpret_cast<const void*>(start), size) < size) size = 0;
  if (size != 0) std::memcpy(copy.Bytes, reinterpret_cast<const void*>(start), size);
  copy.Size = static_cast<uint32_t>(size);
  copy.ThreadID = GetCurrentThreadId();
  copy.Address = languageRaise && address != 0 ? address - 5 : address;
}

void ReportRaisedException(void* object, uintptr_t address, bool languageRaise, bool caught) {
  TThreadExceptionState& state = ThreadExceptionState();
  if (state.InReport) return;
  state.InReport = 1;
  const DWORD lastError = GetLastError();
  try {
    if (!caught || !state.HasLastRaise) RememberLastRaise(state, object, address, languageRaise);
    if (Interception.HandlingEnabled.load() && !IsThreadExcluded(GetCurrentThreadId()) && IsReportable(object)) {
      CopyFaultingStack(address, languageRaise);
      LibraryHooks.RebindWebExceptionEvent();
      uint8_t handlerKind = 0;
      if (!IsExceptionHandled(object, address, caught, handlerKind)) {
        if (state.Frame == 0) state.Frame = state.StackPointer;
        DispatchException(object, address, languageRaise, handlerKind, ThisModule(), 0, nullptr, 0, 0);
      }
    }
  } catch (...) {
    // The program's own handling goes on whatever the report did.
  }
  SetLastError(lastError);
  state.InReport = 0;
}

void RaiseHookBody(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments, bool report) {
  TThreadExceptionState& state = ThreadExceptionState();
  const size_t argumentBytes = kLanguageRaiseArguments * sizeof(ULONG_PTR);
  if (IsLanguageRaise(code, flags, count) && arguments != nullptr && IsReadable(arguments, argumentBytes)) {
    uintptr_t values[kLanguageRaiseArguments];
    std::memcpy(values, arguments, argumentBytes);
    state.Frame = state.StackPointer;
    state.LanguageAddress = values[0];
    state.LanguageObject = reinterpret_cast<void*>(values[1]);
    std::memcpy(state.LanguageArguments, values, argumentBytes);
    RememberLastRaise(state, state.LanguageObject, state.LanguageAddress, true);
    FillLanguageContext(state, values);
    if (report) ReportRaisedException(state.LanguageObject, state.LanguageAddress, true, false);
  }
  if (LibraryState().MainModuleActive) {
    using TGeneralRaise = void(__stdcall*)(DWORD, DWORD, DWORD, uintptr_t, const ULONG_PTR*);
    if (auto forward = MainModuleExport<TGeneralRaise>(kCallGeneralRaiseExport))
      forward(code, flags, count, state.StackPointer, arguments);
  }
}

void CallGeneralRaise(DWORD code, DWORD flags, DWORD count, uintptr_t stackPointer, const ULONG_PTR* arguments) {
  ThreadExceptionState().StackPointer = stackPointer;
  RaiseHookBody(code, flags, count, arguments, false);
}

void WINAPI RaiseExceptionHook(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments) {
  TThreadExceptionState& state = ThreadExceptionState();
  // On x86_64 every throw passes here from inside the unwinder: the throw's
  // own stack pointer, stored by the throw tracking, is where a walk starts.
  if (!(NativeX64 && code == kCxxThrowCode)) {
    state.StackPointer = reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa());
    state.Frame = state.StackPointer;
  }
  TRaiseException original = KernelRoutine(OriginalRaiseException, "RaiseException");
  if (LibraryState().Active) {
    try {
      RaiseHookBody(code, flags, count, arguments, true);
    } catch (...) {
    }
  }
  if (original != nullptr) original(code, flags, count, arguments);
}

void WINAPI RtlUnwindHook(void* targetFrame, void* returnAddress, EXCEPTION_RECORD* record, void* returnValue) {
  TThreadExceptionState& state = ThreadExceptionState();
  state.StackPointer = reinterpret_cast<uintptr_t>(__builtin_dwarf_cfa());
  TRtlUnwind original = KernelRoutine(OriginalRtlUnwind, "RtlUnwind");
  try {
    const bool readable = record != nullptr && IsReadable(record, sizeof *record);
    const TIntraWebHost& web = IntraWebHost();
    if (readable && web.ServerController != nullptr && web.ReplyCompression && web.Application == nullptr &&
        record->ExceptionCode == kLanguageRaiseCode && record->ExceptionFlags == 3 &&
        record->NumberParameters == kLanguageRaiseArguments && !IsDebuggerPresent())
      Interception.DebugHookFlag.store(1);
    if (readable && LibraryState().Active && record->ExceptionCode > kFirstCaughtCode &&
        record->ExceptionCode <= kLastCaughtCode && record->ExceptionFlags == kUnwinding &&
        record->NumberParameters == 2) {
      std::unique_ptr<EExternal> object = ExternalExceptionFor(*record);
      ReportRaisedException(object.get(), reinterpret_cast<uintptr_t>(record->ExceptionAddress), false, true);
      // The object is freed here: no later read may find it as the last
      // raise.
      if (state.LastRaiseObject == object.get()) {
        state.HasLastRaise = false;
        state.LastRaiseObject = nullptr;
      }
    }
  } catch (...) {
  }
  if (original != nullptr) original(targetFrame, returnAddress, record, returnValue);
}

}  // namespace RevavaRez
