#include "interception/HandlerChain.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/RecentRaises.h"
#include "core/VArev.h"
#include "interception/InterceptionState.h"
#include "options/ActivationGate.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

const uint8_t kRelativeJump = 0xE9;
const size_t kJumpSize = 5;

// A slot of the chain's layout, read only when readable. The value is kept
// whole, so that an 8-byte slot read by a 32-bit build can still be told
// from an address of this process.
bool ReadSlot(uintptr_t at, size_t width, uint64_t& value) {
  const void* place = reinterpret_cast<const void*>(at);
  if (ReadableLength(place, width) < width) return false;
  if (width == 4) {
    uint32_t narrow;
    std::memcpy(&narrow, place, sizeof narrow);
    value = narrow;
  } else {
    std::memcpy(&value, place, sizeof value);
  }
  return true;
}

bool IsEndValue(uint64_t value, size_t width) {
  return width == 4 ? value == 0xFFFFFFFFu : value == ~static_cast<uint64_t>(0);
}

// A slot's value as an address of this process; false for one beyond it.
bool AsAddress(uint64_t value, uintptr_t& address) {
  if (value > static_cast<uint64_t>(UINTPTR_MAX)) return false;
  address = static_cast<uintptr_t>(value);
  return true;
}

bool IsNear(uintptr_t a, uintptr_t b, uintptr_t reach) { return (a > b ? a - b : b - a) <= reach; }

// Whether a frame of two slots at frame lies in the chain's stack.
bool InsideStack(const THandlerChain& chain, uintptr_t frame) {
  if (chain.StackLimit == 0 && chain.StackTop == 0) return true;
  uintptr_t size = 2 * chain.SlotWidth;
  return frame >= chain.StackLimit && frame < chain.StackTop && chain.StackTop - frame >= size;
}

// A clause's class against the exception's: none is a clause for every
// class; otherwise the exception's class or one of its ancestors must bear
// the clause class's name (each module has its own copy of a class record,
// so records are not compared by address).
bool ClauseCatches(uint64_t classSlot, size_t width, const std::type_info* objectClass) {
  if (classSlot == 0) return true;
  uintptr_t classRef;
  if (!AsAddress(classSlot, classRef)) return false;
  if (Interception.RuntimeInOtherModule) {
    uint64_t imported;
    if (!ReadSlot(classRef, width, imported)) return false;
    if (imported == 0) return true;
    if (!AsAddress(imported, classRef)) return false;
  }
  if (!objectClass) return false;
  try {
    std::string name = ClassNameOf(reinterpret_cast<const std::type_info*>(classRef));
    return !name.empty() && InheritsFromName(objectClass, name);
  } catch (...) {
    // Only running out of memory gets here: the clause is not known to
    // catch.
    return false;
  }
}

enum TFilterAnswer { faCatches, faPasses, faGarbage };

// The filter table follows the handler's jump: a 32-bit count, then per
// clause a class reference and a handler address, each a slot wide.
TFilterAnswer FilterCatches(uintptr_t handler, size_t width, const std::type_info* objectClass) {
  uintptr_t table = handler + kJumpSize;
  const void* countPlace = reinterpret_cast<const void*>(table);
  if (ReadableLength(countPlace, sizeof(uint32_t)) < sizeof(uint32_t)) return faGarbage;
  uint32_t count;
  std::memcpy(&count, countPlace, sizeof count);
  if (count > kMaxFilterClauses) return faGarbage;
  uintptr_t clauses = table + sizeof(uint32_t);
  size_t bytes = static_cast<size_t>(count) * 2 * width;
  if (bytes > 0 && ReadableLength(reinterpret_cast<const void*>(clauses), bytes) < bytes) return faGarbage;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t classSlot;
    if (!ReadSlot(clauses + i * 2 * width, width, classSlot)) return faGarbage;
    if (ClauseCatches(classSlot, width, objectClass)) return faCatches;
  }
  return faPasses;
}

}  // namespace

// GCC takes the segment read inside NtCurrentTeb for an access to an array
// of no elements.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
THandlerChain CurrentHandlerChain() noexcept {
  THandlerChain chain;
#if defined(__i386__)
  const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
  chain.Head = reinterpret_cast<uintptr_t>(tib->ExceptionList);
  chain.SlotWidth = 4;
  chain.StackLimit = reinterpret_cast<uintptr_t>(tib->StackLimit);
  chain.StackTop = reinterpret_cast<uintptr_t>(tib->StackBase);
#else
  // Handlers are found through the unwind tables here, not through a list:
  // only unhandled exceptions reach the library.
  chain.Head = kChainEnd;
  chain.SlotWidth = 8;
#endif
  return chain;
}
#pragma GCC diagnostic pop

uint8_t HandlerKind(uintptr_t handler) noexcept {
  const void* code = reinterpret_cast<const void*>(handler);
  if (handler == 0 || ReadableLength(code, kJumpSize) < kJumpSize) return hkNone;
  if (*static_cast<const uint8_t*>(code) != kRelativeJump) return hkNone;
  uintptr_t target = CallTargetOf(handler);
  if (target == 0) return hkNone;
  if (Interception.CatchAllHandler != 0 && target == Interception.CatchAllHandler) return hkCatchAll;
  if (Interception.ClassFilterHandler != 0 && target == Interception.ClassFilterHandler) return hkClassFilter;
  if (Interception.SafeCallHandler != 0 && target == Interception.SafeCallHandler) return hkSafeCall;
  return hkNone;
}

TChainWalk WalkHandlerChain(const THandlerChain& chain, const void* object) noexcept {
  TChainWalk walk;
  const size_t width = chain.SlotWidth;
  if (width != 4 && width != 8) return walk;
  const std::type_info* objectClass = ClassOf(object);
  uint64_t link = chain.Head;
  uintptr_t previous = 0;
  bool first = true;
  // Each frame must lie above the one before it: the walk cannot loop, and
  // inside the stack it ends after a bounded number of frames.
  while (link != kChainEnd && !IsEndValue(link, width)) {
    uintptr_t frame;
    if (!AsAddress(link, frame) || !InsideStack(chain, frame)) break;
    if (!first && (frame <= previous || frame - previous < 2 * width)) break;
    uint64_t next, handlerSlot;
    if (!ReadSlot(frame, width, next) || !ReadSlot(frame + width, width, handlerSlot)) break;
    uintptr_t handler;
    if (!AsAddress(handlerSlot, handler)) handler = 0;
    const uint8_t kind = HandlerKind(handler);
    bool catches = false;
    switch (kind) {
      case hkCatchAll:
      case hkSafeCall:
        if (walk.Count == 0 && Interception.FrameworkOuterHandler != 0 &&
            IsNear(handler, Interception.FrameworkOuterHandler, kOuterHandlerReach)) {
          // Only the framework thread procedure's outer handler would catch
          // it, and that handler ends the thread: reported, with the kind
          // that says so.
          walk.HandlerKind = hkClassFilter;
          walk.Handled = false;
          return walk;
        }
        catches = true;
        break;
      case hkClassFilter: {
        TFilterAnswer answer = FilterCatches(handler, width, objectClass);
        if (answer == faGarbage) {
          walk.Handled = walk.Count > 0;
          return walk;
        }
        catches = answer == faCatches;
        break;
      }
      default:
        break;
    }
    if (catches) {
      if (walk.Count == 0) walk.FirstKind = kind;
      ++walk.Count;
    }
    previous = frame;
    first = false;
    link = next;
  }
  walk.Handled = walk.Count > 0;
  return walk;
}

bool IsExceptionHandledOn(const THandlerChain& chain, const void* object, uintptr_t address, bool caught,
                          uint8_t& handlerKind) noexcept {
  handlerKind = hkNone;
  try {
    TRecentRaiseValues found;
    if (!RecentRaiseLookup(object, address, chain.Head, found)) {
      TChainWalk walk = WalkHandlerChain(chain, object);
      found.FirstKind = walk.FirstKind;
      found.Count = walk.Count;
      found.HandlerKind = walk.HandlerKind;
      found.Answer = walk.Handled ? 1 : 0;
      RecentRaiseStore(object, address, chain.Head, found);
    }
    handlerKind = found.HandlerKind;
    bool handled = found.Answer != 0;
    // While the module's static objects are built or destroyed, a single
    // catching frame is the start-up's or shut-down's own guard, which ends
    // the program instead of handling the exception.
    if ((Interception.InInitialization || Interception.InFinalization) && found.Count == 1) handled = false;
    // The main module's library reports what this module sees.
    if (LibraryState().MainModuleActive) handled = true;
    if (caught) handled = true;
    // The safecall wrapper turns the exception into an error code: the
    // program never sees it, so it is reported here.
    if (found.FirstKind == hkSafeCall) {
      handled = false;
      handlerKind = hkCatchAll;
    }
    if (!Interception.DebugHookAdjusted.exchange(true)) {
      if (IsConsoleProgram() && !IsWebHost() && !IsDebuggerAttached()) Interception.DebugHookFlag = 0;
    }
    return handled;
  } catch (...) {
    // Only running out of memory gets here; a report the program would not
    // have wanted is the worse outcome.
    return true;
  }
}

bool IsExceptionHandled(const void* object, uintptr_t address, bool caught, uint8_t& handlerKind) noexcept {
  return IsExceptionHandledOn(CurrentHandlerChain(), object, address, caught, handlerKind);
}

}  // namespace RevavaRez
