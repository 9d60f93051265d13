// Every C++ throw of a module that carries the library passes here first
// (the linker's --wrap of __cxa_throw): the thrown object, the throw's
// address and the registers at the throw become the thread's last language
// raise, which the report of an uncaught exception reads. Nothing is
// reported here; whether anything catches the throw is not known yet.
#include <windows.h>

#include <cstdint>
#include <typeinfo>

#include "interception/RaiseInterception.h"
#include "interception/ThreadExceptionState.h"
#include "options/ActivationGate.h"

extern "C" [[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));

namespace {

using namespace RevavaRez;

// arguments: the throw's return address, the object, then the throw
// point's EBX, ESI, EDI, EBP and ESP (RBX ... RSP).
void TrackThrow(const uintptr_t* arguments) noexcept {
  try {
    if (!LibraryState().Active) return;
    TThreadExceptionState& state = ThreadExceptionState();
    state.StackPointer = arguments[6];
    state.Frame = arguments[6];
    RaiseHookBody(kLanguageRaiseCode, 1, kLanguageRaiseArguments, reinterpret_cast<const ULONG_PTR*>(arguments),
                  false);
  } catch (...) {
    // The throw goes on untracked.
  }
}

}  // namespace

#if defined(__x86_64__)

extern "C" [[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void* object, std::type_info* type,
                                                                         void (*destructor)(void*)) {
  // One unwind step from this routine gives the throwing function's
  // registers as they stand at its call.
  CONTEXT context{};
  RtlCaptureContext(&context);
  DWORD64 imageBase = 0;
  if (PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr)) {
    void* handlerData = nullptr;
    DWORD64 establisher = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData, &establisher,
                     nullptr);
    const uintptr_t arguments[kLanguageRaiseArguments] = {
        static_cast<uintptr_t>(context.Rip), reinterpret_cast<uintptr_t>(object), context.Rbx, context.Rsi,
        context.Rdi, context.Rbp, context.Rsp};
    TrackThrow(arguments);
  }
  __real___cxa_throw(object, type, destructor);
}

#else

// The registers are taken before any C++ code may change them: the entry
// pushes the seven values in their order, calls the tracking with their
// address, and jumps on to the run-time's throw with its arguments as they
// came.
extern "C" __attribute__((force_align_arg_pointer, used)) void BrxTrackThrow(const uintptr_t* arguments) {
  TrackThrow(arguments);
}

__asm__(
    ".text\n"
    ".globl ___wrap___cxa_throw\n"
    "___wrap___cxa_throw:\n"
    "  leal 4(%esp), %eax\n"   // the throw point's ESP, once the call has returned
    "  pushl %eax\n"
    "  pushl %ebp\n"
    "  pushl %edi\n"
    "  pushl %esi\n"
    "  pushl %ebx\n"
    "  pushl 24(%esp)\n"       // the object
    "  pushl 24(%esp)\n"       // the return address
    "  movl %esp, %eax\n"
    "  pushl %eax\n"
    "  call _BrxTrackThrow\n"
    "  addl $32, %esp\n"
    "  jmp ___real___cxa_throw\n");

#endif
