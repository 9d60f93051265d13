#pragma once
// Whether the program will catch an exception: a walk of the thread's chain
// of exception-handler frames, recognising the run-time's handlers by the
// jump each frame's handler code begins with.
#include <cstddef>
#include <cstdint>

namespace RevavaRez {

// Handler kinds of a frame: none of the run-time's, its catch-all handler,
// its class-filter handler, its safecall handler.
constexpr uint8_t hkNone = 0;
constexpr uint8_t hkCatchAll = 1;
constexpr uint8_t hkClassFilter = 2;
constexpr uint8_t hkSafeCall = 3;

// The end value of a chain.
constexpr uintptr_t kChainEnd = static_cast<uintptr_t>(-1);

// A class-filter table with more clauses than this is taken for garbage.
constexpr uint32_t kMaxFilterClauses = 1024;
// A catch-all or safecall frame whose handler lies this close to the
// framework thread procedure's outer handler is that procedure's own frame.
constexpr uintptr_t kOuterHandlerReach = 64;

// A frame is a link to the next frame, then the handler's address, each
// slotWidth bytes wide: 4 for the i686 layout, 8 for the x86_64 one.
struct THandlerChain {
  uintptr_t Head = kChainEnd;
  size_t SlotWidth = sizeof(void*);
  // The stack the frames must lie in, ascending: [Limit, Top). Both 0: any
  // readable frame is taken, ascending still.
  uintptr_t StackLimit = 0;
  uintptr_t StackTop = 0;
};

// The calling thread's chain: on i686 the thread information block's list,
// on x86_64 an empty one.
THandlerChain CurrentHandlerChain() noexcept;

// The kind of a handler: a 5-byte jump (an import jump at its destination
// followed) to one of the run-time's three handlers, else hkNone.
uint8_t HandlerKind(uintptr_t handler) noexcept;

struct TChainWalk {
  // The kind of the first frame that catches.
  uint8_t FirstKind = hkNone;
  // The kind the processing is to use: hkClassFilter when only the
  // framework thread procedure's outer handler would catch.
  uint8_t HandlerKind = hkNone;
  // How many frames catch.
  int32_t Count = 0;
  bool Handled = false;
};

// The walk alone (no recent-raise table, no adjustments): frames from the
// head until the end value, an unreadable frame or one that does not
// ascend inside the stack; a filter table of more than kMaxFilterClauses
// clauses ends it too.
TChainWalk WalkHandlerChain(const THandlerChain& chain, const void* object) noexcept;

// True when the program will catch the exception; handlerKind is the kind
// the processing is to use (2: only the thread's outer handler catches it,
// 1: it leaves a safecall method). Looks the raise up in the recent-raise
// table first and stores what a walk found there. A failure inside answers
// "handled", so that the library keeps out of the program's way.
bool IsExceptionHandled(const void* object, uintptr_t address, bool caught, uint8_t& handlerKind) noexcept;
// The same over a given chain.
bool IsExceptionHandledOn(const THandlerChain& chain, const void* object, uintptr_t address, bool caught,
                          uint8_t& handlerKind) noexcept;

}  // namespace RevavaRez
