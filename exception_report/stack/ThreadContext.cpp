#include "stack/ThreadContext.h"

namespace RevavaRez {

uintptr_t ContextInstructionPointer(const CONTEXT&) { return 0; }
uintptr_t ContextStackPointer(const CONTEXT&) { return 0; }
uintptr_t ContextFramePointer(const CONTEXT&) { return 0; }
TCapturedStack CaptureThreadStack(HANDLE) { return TCapturedStack(); }

}  // namespace RevavaRez
