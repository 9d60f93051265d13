#pragma once
// A thread's register context in the form the reports use, and the copy of a
// suspended thread's stack.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace RevavaRez {

#if defined(_M_IX86) || defined(__i386__)
// The prefix of CONTEXT up to ExtendedRegisters goes into 204-byte slots.
constexpr size_t kContextSize = 204;
constexpr DWORD kContextFlags = 0x10007;
static_assert(offsetof(CONTEXT, ExtendedRegisters) == kContextSize, "the context slot is CONTEXT's prefix");
#else
constexpr size_t kContextSize = sizeof(CONTEXT);
constexpr DWORD kContextFlags = 0x100007;
#endif

// GetThreadContext fails on x86_64 for a CONTEXT that is not 16-byte aligned.
struct alignas(16) TThreadContext {
  CONTEXT Context;
};

uintptr_t ContextInstructionPointer(const CONTEXT& context);
uintptr_t ContextStackPointer(const CONTEXT& context);
uintptr_t ContextFramePointer(const CONTEXT& context);

// The base (highest address) of the calling thread's stack.
uintptr_t CurrentThreadStackBase();

struct TCapturedStack {
  bool Ok = false;
  TThreadContext Context{};
  uintptr_t StackPointer = 0;  // where Copy starts in the thread's stack
  std::vector<uint8_t> Copy;  // up to the stack's base, at most 102,400 bytes
};

// Reads the stack base, allocates the copy, then suspends the thread, reads
// its context, copies its stack with a checked read and resumes it; nothing
// allocates, locks or logs while it is suspended.
TCapturedStack CaptureThreadStack(HANDLE thread);

}  // namespace RevavaRez
