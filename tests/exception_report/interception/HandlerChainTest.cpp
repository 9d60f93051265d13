// Whether the program will catch an exception decides whether it is
// reported: a wrong answer shows a report for an exception the program
// handles, or keeps quiet about one that ends it. The walks run over chains
// built in a block of memory below 2 GB in both frame layouts (4-byte and
// 8-byte slots), whatever the build; handler code there is only read.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "core/RecentRaises.h"
#include "interception/HandlerChain.h"
#include "interception/InterceptionState.h"
#include "options/ActivationGate.h"

namespace {

using namespace RevavaRez;

struct EChainBase : std::exception {};
struct EChainDerived : EChainBase {};
struct EChainOther : std::exception {};

// What a real handler frame's code leads to when the test's frame is linked
// into the thread's own list: should anything raise meanwhile, the frame
// passes the exception on.
extern "C" EXCEPTION_DISPOSITION __cdecl ContinueSearchHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*) {
  return ExceptionContinueSearch;
}

// The block: code, tables and class copies from the start, the frames in
// a stack region above them, and a last page that cannot be read.
constexpr size_t kBlockSize = 0x10000;
constexpr size_t kStackRegion = 0x8000;
constexpr size_t kUnreadablePage = 0xF000;

uint8_t* LowBlock() {
  static uint8_t* block = [] {
    // Below 2 GB, so that every slot of the 4-byte layout and a jump to
    // address 0 can be written.
    for (uintptr_t at = 0x10000000; at < 0x70000000; at += 0x01000000) {
      void* got = VirtualAlloc(reinterpret_cast<void*>(at), kBlockSize, MEM_RESERVE | MEM_COMMIT,
                               PAGE_EXECUTE_READWRITE);
      if (got) {
        DWORD old;
        VirtualProtect(static_cast<uint8_t*>(got) + kUnreadablePage, kBlockSize - kUnreadablePage, PAGE_NOACCESS,
                       &old);
        return static_cast<uint8_t*>(got);
      }
    }
    return static_cast<uint8_t*>(nullptr);
  }();
  return block;
}

// Builds handler code and chains in the block, in one layout.
class TChainBuilder {
 public:
  explicit TChainBuilder(size_t width) : Width(width), Base(reinterpret_cast<uintptr_t>(LowBlock())) {
    std::memset(LowBlock(), 0xCC, kUnreadablePage);
    CodeAt = Base + 0x10;
    FrameAt = Base + kStackRegion + 0x100;
    Limit = Base + kStackRegion;
    Top = Base + kUnreadablePage;
    CatchAll = Code(16);
    ClassFilter = Code(16);
    SafeCall = Code(16);
  }

  // Room for code or data, 16-byte aligned.
  uintptr_t Code(size_t size) {
    uintptr_t at = CodeAt;
    CodeAt += (size + 15) & ~static_cast<size_t>(15);
    return at;
  }

  // Handler code: a jump (or another 5-byte instruction) to target.
  uintptr_t Jump(uintptr_t target, uint8_t opcode = 0xE9) { return JumpAt(Code(5), target, opcode); }
  uintptr_t JumpAt(uintptr_t at, uintptr_t target, uint8_t opcode = 0xE9) {
    Bytes(at)[0] = opcode;
    int32_t displacement = static_cast<int32_t>(static_cast<intptr_t>(target - (at + 5)));
    std::memcpy(Bytes(at + 1), &displacement, 4);
    return at;
  }

  // An import jump to destination through a pointer slot beside it.
  uintptr_t ImportStub(uintptr_t destination) {
    uintptr_t at = Code(16);
    uintptr_t slot = at + 8;
    Bytes(at)[0] = 0xFF;
    Bytes(at)[1] = 0x25;
#if defined(__x86_64__)
    uint32_t operand = static_cast<uint32_t>(slot - (at + 6));
#else
    uint32_t operand = static_cast<uint32_t>(slot);
#endif
    std::memcpy(Bytes(at + 2), &operand, 4);
    std::memcpy(Bytes(slot), &destination, sizeof destination);
    return at;
  }

  // A class-filter handler with its table; count defaults to the clauses.
  uintptr_t Filter(const std::vector<uint64_t>& classes, int64_t count = -1) {
    return FilterAt(Code(9 + classes.size() * 2 * Width), classes, count);
  }
  uintptr_t FilterAt(uintptr_t at, const std::vector<uint64_t>& classes, int64_t count = -1) {
    JumpAt(at, ClassFilter);
    uint32_t stored = count < 0 ? static_cast<uint32_t>(classes.size()) : static_cast<uint32_t>(count);
    std::memcpy(Bytes(at + 5), &stored, 4);
    for (size_t i = 0; i < classes.size(); ++i) {
      Slot(at + 9 + i * 2 * Width, classes[i]);
      Slot(at + 9 + i * 2 * Width + Width, at);
    }
    return at;
  }

  // A clause's class reference in this layout: the class record itself when
  // its address fits the slot, else a copy of it in the block (clauses are
  // matched by name).
  uint64_t Class(const std::type_info& type) {
    uintptr_t address = reinterpret_cast<uintptr_t>(&type);
    if (Width == 8 || address <= 0xFFFFFFFFu) return address;
    uintptr_t copy = Code(4 * sizeof(void*));
    std::memcpy(Bytes(copy), &type, 2 * sizeof(void*));
    return copy;
  }
  // The reference of a run-time in another module: one more pointer.
  uint64_t ImportedClass(const std::type_info& type) {
    uintptr_t slot = Code(8);
    Slot(slot, Class(type));
    return slot;
  }

  // A frame above the last one, linked from it; the chain ends after it.
  uintptr_t Frame(uint64_t handler) {
    uintptr_t frame = Frames.empty() ? FrameAt : Frames.back() + 0x20;
    Slot(frame, Width == 4 ? 0xFFFFFFFFu : ~static_cast<uint64_t>(0));
    Slot(frame + Width, handler);
    if (!Frames.empty()) Link(Frames.back(), frame);
    Frames.push_back(frame);
    return frame;
  }
  void Link(uintptr_t frame, uint64_t next) { Slot(frame, next); }
  void SetHandler(uintptr_t frame, uint64_t handler) { Slot(frame + Width, handler); }

  uintptr_t Unreadable() const { return Base + kUnreadablePage; }

  THandlerChain Chain() const {
    THandlerChain chain;
    chain.Head = Frames.empty() ? kChainEnd : Frames.front();
    chain.SlotWidth = Width;
    chain.StackLimit = Limit;
    chain.StackTop = Top;
    return chain;
  }

  void Slot(uintptr_t at, uint64_t value) {
    if (Width == 4) {
      uint32_t narrow = static_cast<uint32_t>(value);
      std::memcpy(Bytes(at), &narrow, 4);
    } else {
      std::memcpy(Bytes(at), &value, 8);
    }
  }
  static uint8_t* Bytes(uintptr_t at) { return reinterpret_cast<uint8_t*>(at); }

  const size_t Width;
  const uintptr_t Base;
  // The run-time's three handlers, as the test points the state at them.
  uintptr_t CatchAll, ClassFilter, SafeCall;
  // The stack the frames must lie in; rows may narrow it.
  uintptr_t Limit, Top;
  std::vector<uintptr_t> Frames;

 private:
  uintptr_t CodeAt, FrameAt;
};

// Every test sets the module state it needs; the fixture puts it back.
class HandlerChainFixture {
 protected:
  void Save() {
    ASSERT_NE(LowBlock(), nullptr) << "no free block below 2 GB";
    Keep(Interception.CatchAllHandler);
    Keep(Interception.ClassFilterHandler);
    Keep(Interception.SafeCallHandler);
    Keep(Interception.FrameworkOuterHandler);
    Keep(Interception.RuntimeInOtherModule);
    Keep(Interception.InInitialization);
    Keep(Interception.InFinalization);
    Keep(Interception.DebugHookFlag);
    Keep(Interception.DebugHookAdjusted);
    Keep(LibraryState().MainModuleActive);
    RecentRaiseClear();
  }
  void Restore() {
    for (auto undo = Undo.rbegin(); undo != Undo.rend(); ++undo) (*undo)();
    Undo.clear();
    RecentRaiseClear();
  }
  static void PointAt(const TChainBuilder& b) {
    Interception.CatchAllHandler = b.CatchAll;
    Interception.ClassFilterHandler = b.ClassFilter;
    Interception.SafeCallHandler = b.SafeCall;
    Interception.FrameworkOuterHandler = 0;
    Interception.RuntimeInOtherModule = false;
  }

 private:
  template <typename T>
  void Keep(T& place) {
    T saved = place;
    Undo.push_back([&place, saved] { place = saved; });
  }
  template <typename T>
  void Keep(std::atomic<T>& place) {
    T saved = place.load();
    Undo.push_back([&place, saved] { place.store(saved); });
  }
  std::vector<std::function<void()>> Undo;
};

class HandlerChain : public ::testing::Test, protected HandlerChainFixture {
 protected:
  void SetUp() override { Save(); }
  void TearDown() override { Restore(); }
};

class HandlerChainLayout : public ::testing::TestWithParam<size_t>, protected HandlerChainFixture {
 protected:
  void SetUp() override { Save(); }
  void TearDown() override { Restore(); }
};

TEST_F(HandlerChain, KindIsTheJumpsDestinationWithAnImportJumpFollowed) {
  TChainBuilder b(sizeof(void*));
  struct TCase {
    const char* Name;
    std::function<uintptr_t(TChainBuilder&)> Handler;
    uint8_t Kind;
  };
  const TCase cases[] = {
      {"catch-all", [](TChainBuilder& b) { return b.Jump(b.CatchAll); }, hkCatchAll},
      {"class filter", [](TChainBuilder& b) { return b.Jump(b.ClassFilter); }, hkClassFilter},
      {"safecall", [](TChainBuilder& b) { return b.Jump(b.SafeCall); }, hkSafeCall},
      {"through an import jump",
       [](TChainBuilder& b) {
         Interception.SafeCallHandler = reinterpret_cast<uintptr_t>(&ContinueSearchHandler);
         return b.Jump(b.ImportStub(Interception.SafeCallHandler));
       },
       hkSafeCall},
      {"elsewhere", [](TChainBuilder& b) { return b.Jump(b.CatchAll + 1); }, hkNone},
      {"a call, not a jump", [](TChainBuilder& b) { return b.Jump(b.CatchAll, 0xE8); }, hkNone},
      {"jump to 0 while no handler is known",
       [](TChainBuilder& b) {
         Interception.CatchAllHandler = Interception.ClassFilterHandler = Interception.SafeCallHandler = 0;
         return b.Jump(0);
       },
       hkNone},
      {"handler address 0", [](TChainBuilder&) { return uintptr_t(0); }, hkNone},
      {"unreadable code", [](TChainBuilder& b) { return b.Unreadable(); }, hkNone},
      {"jump's last byte unreadable",
       [](TChainBuilder& b) {
         uintptr_t at = b.Unreadable() - 4;
         TChainBuilder::Bytes(at)[0] = 0xE9;
         return at;
       },
       hkNone},
  };
  for (const TCase& c : cases) {
    PointAt(b);
    EXPECT_EQ(HandlerKind(c.Handler(b)), c.Kind) << c.Name;
  }
}

struct TWalkCase {
  const char* Name;
  std::function<void(TChainBuilder&)> Build;
  const void* Object;
  TChainWalk Expected;
  // Only in this layout, when not 0.
  size_t OnlyWidth = 0;
};

EChainBase BaseError;
EChainDerived DerivedError;

// The frame most rows are made of.
void CatchAllFrame(TChainBuilder& b) { b.Frame(b.Jump(b.CatchAll)); }

TEST_P(HandlerChainLayout, WalkCountsTheFramesThatCatch) {
  const TWalkCase cases[] = {
      {"no frame", [](TChainBuilder&) {}, &DerivedError, {hkNone, hkNone, 0, false}},
      {"frames of no run-time handler",
       [](TChainBuilder& b) {
         b.Frame(b.Jump(b.CatchAll + 3));
         b.Frame(b.Jump(b.CatchAll, 0xE8));
         b.Frame(0);
       },
       &DerivedError, {hkNone, hkNone, 0, false}},
      {"catch-all behind an unknown frame",
       [](TChainBuilder& b) {
         b.Frame(b.Jump(b.CatchAll + 3));
         CatchAllFrame(b);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"safecall first, then catch-all",
       [](TChainBuilder& b) {
         b.Frame(b.Jump(b.SafeCall));
         CatchAllFrame(b);
       },
       &DerivedError, {hkSafeCall, hkNone, 2, true}},
      {"clause for every class", [](TChainBuilder& b) { b.Frame(b.Filter({0})); }, &DerivedError,
       {hkClassFilter, hkNone, 1, true}},
      {"clause for every class, no object", [](TChainBuilder& b) { b.Frame(b.Filter({0})); }, nullptr,
       {hkClassFilter, hkNone, 1, true}},
      {"clause for the class",
       [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainDerived))})); }, &DerivedError,
       {hkClassFilter, hkNone, 1, true}},
      {"clause for an ancestor", [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainBase))})); },
       &DerivedError, {hkClassFilter, hkNone, 1, true}},
      {"clause for a descendant",
       [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainDerived))})); }, &BaseError,
       {hkNone, hkNone, 0, false}},
      {"clause for another class", [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainOther))})); },
       &DerivedError, {hkNone, hkNone, 0, false}},
      {"second clause catches",
       [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainOther)), b.Class(typeid(EChainBase))})); },
       &DerivedError, {hkClassFilter, hkNone, 1, true}},
      {"a class clause, no object", [](TChainBuilder& b) { b.Frame(b.Filter({b.Class(typeid(EChainBase))})); },
       nullptr, {hkNone, hkNone, 0, false}},
      {"empty table, then catch-all",
       [](TChainBuilder& b) {
         b.Frame(b.Filter({}));
         CatchAllFrame(b);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"run-time in another module: through one more pointer",
       [](TChainBuilder& b) {
         Interception.RuntimeInOtherModule = true;
         b.Frame(b.Filter({b.ImportedClass(typeid(EChainBase))}));
       },
       &DerivedError, {hkClassFilter, hkNone, 1, true}},
      {"one more pointer, but the run-time is this module's",
       [](TChainBuilder& b) { b.Frame(b.Filter({b.ImportedClass(typeid(EChainBase))})); }, &DerivedError,
       {hkNone, hkNone, 0, false}},
      {"1,024 clauses are read",
       [](TChainBuilder& b) {
         std::vector<uint64_t> classes(1023, b.Class(typeid(EChainOther)));
         classes.push_back(b.Class(typeid(EChainBase)));
         b.Frame(b.Filter(classes));
       },
       &DerivedError, {hkClassFilter, hkNone, 1, true}},

      // The framework thread procedure's outer handler.
      {"outer handler only: catch-all",
       [](TChainBuilder& b) {
         uintptr_t handler = b.Jump(b.CatchAll);
         Interception.FrameworkOuterHandler = handler;
         b.Frame(handler);
       },
       &DerivedError, {hkNone, hkClassFilter, 0, false}},
      {"outer handler only: safecall, 64 bytes off",
       [](TChainBuilder& b) {
         uintptr_t handler = b.Jump(b.SafeCall);
         Interception.FrameworkOuterHandler = handler - 64;
         b.Frame(handler);
         CatchAllFrame(b);
       },
       &DerivedError, {hkNone, hkClassFilter, 0, false}},
      {"65 bytes off is not the outer handler",
       [](TChainBuilder& b) {
         uintptr_t handler = b.Jump(b.CatchAll);
         Interception.FrameworkOuterHandler = handler + 65;
         b.Frame(handler);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"outer handler after a catching frame",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         b.Code(256);  // the first frame's handler far from the outer one
         uintptr_t handler = b.Jump(b.CatchAll);
         Interception.FrameworkOuterHandler = handler;
         b.Frame(handler);
       },
       &DerivedError, {hkCatchAll, hkNone, 2, true}},
      {"outer handler after a filter that passes",
       [](TChainBuilder& b) {
         b.Frame(b.Filter({b.Class(typeid(EChainOther))}));
         uintptr_t handler = b.Jump(b.CatchAll);
         Interception.FrameworkOuterHandler = handler;
         b.Frame(handler);
       },
       &DerivedError, {hkNone, hkClassFilter, 0, false}},

      // Chains that lie: each ends the walk, with what was found before.
      {"a loop back to the head",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         CatchAllFrame(b);
         b.Link(b.Frames[1], b.Frames[0]);
       },
       &DerivedError, {hkCatchAll, hkNone, 2, true}},
      {"a frame linked to itself",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         b.Link(b.Frames[0], b.Frames[0]);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"a frame overlapping the one before",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         b.Link(b.Frames[0], b.Frames[0] + b.Width);
         b.Slot(b.Frames[0] + 2 * b.Width, b.Jump(b.CatchAll));
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"a frame above the stack",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         CatchAllFrame(b);
         b.Top = b.Frames[1];
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"a head below the stack",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         b.Limit = b.Frames[0] + 1;
       },
       &DerivedError, {hkNone, hkNone, 0, false}},
      {"a link into unreadable memory",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         b.Link(b.Frames[0], b.Unreadable());
         b.Top = b.Unreadable() + 0x100;
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
      {"a link beyond 4 GB",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         CatchAllFrame(b);
         b.Link(b.Frames[0], 0x100000000ull + b.Frames[1]);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}, 8},
      {"a table claiming 1,025 clauses",
       [](TChainBuilder& b) {
         std::vector<uint64_t> classes(1025, 0);
         b.Frame(b.Filter(classes));
         CatchAllFrame(b);
       },
       &DerivedError, {hkNone, hkNone, 0, false}},
      {"a table claiming 2^31 clauses",
       [](TChainBuilder& b) {
         b.Frame(b.Filter({b.Class(typeid(EChainOther))}, 0x80000000ll));
         CatchAllFrame(b);
       },
       &DerivedError, {hkNone, hkNone, 0, false}},
      {"a table running into unreadable memory",
       [](TChainBuilder& b) {
         CatchAllFrame(b);
         uintptr_t at = b.Unreadable() - (9 + 2 * b.Width);
         b.Frame(b.FilterAt(at, {b.Class(typeid(EChainOther))}, 1000));
         CatchAllFrame(b);
       },
       &DerivedError, {hkCatchAll, hkNone, 1, true}},
  };
  for (const TWalkCase& c : cases) {
    if (c.OnlyWidth != 0 && c.OnlyWidth != GetParam()) continue;
    TChainBuilder b(GetParam());
    PointAt(b);
    c.Build(b);
    TChainWalk walk = WalkHandlerChain(b.Chain(), c.Object);
    EXPECT_EQ(walk.Handled, c.Expected.Handled) << c.Name;
    EXPECT_EQ(walk.Count, c.Expected.Count) << c.Name;
    EXPECT_EQ(walk.FirstKind, c.Expected.FirstKind) << c.Name;
    EXPECT_EQ(walk.HandlerKind, c.Expected.HandlerKind) << c.Name;
  }
}

TEST_P(HandlerChainLayout, AnswerIsAdjustedByModuleStateAndSafecall) {
  enum TChainForm { cfNone, cfOneCatchAll, cfTwoCatchAll, cfSafeCallFirst, cfOuterOnly };
  struct TCase {
    const char* Name;
    TChainForm Form;
    bool Init, Fin, MainActive, Caught;
    bool Handled;
    uint8_t Kind;
  };
  const TCase cases[] = {
      {"nothing catches", cfNone, false, false, false, false, false, hkNone},
      {"a catch-all catches", cfOneCatchAll, false, false, false, false, true, hkNone},
      {"initialising, one catching frame", cfOneCatchAll, true, false, false, false, false, hkNone},
      {"initialising, two catching frames", cfTwoCatchAll, true, false, false, false, true, hkNone},
      {"finalising, one catching frame", cfOneCatchAll, false, true, false, false, false, hkNone},
      {"main module active", cfNone, false, false, true, false, true, hkNone},
      {"caught", cfNone, false, false, false, true, true, hkNone},
      {"initialising and caught", cfOneCatchAll, true, false, false, true, true, hkNone},
      {"safecall frame first", cfSafeCallFirst, false, false, false, false, false, hkCatchAll},
      {"safecall frame first, even caught", cfSafeCallFirst, false, false, true, true, false, hkCatchAll},
      {"outer handler only", cfOuterOnly, false, false, false, false, false, hkClassFilter},
  };
  for (const TCase& c : cases) {
    RecentRaiseClear();
    TChainBuilder b(GetParam());
    PointAt(b);
    switch (c.Form) {
      case cfNone:
        break;
      case cfTwoCatchAll:
        CatchAllFrame(b);
        [[fallthrough]];
      case cfOneCatchAll:
        CatchAllFrame(b);
        break;
      case cfSafeCallFirst:
        b.Frame(b.Jump(b.SafeCall));
        CatchAllFrame(b);
        break;
      case cfOuterOnly: {
        uintptr_t handler = b.Jump(b.CatchAll);
        Interception.FrameworkOuterHandler = handler;
        b.Frame(handler);
        break;
      }
    }
    Interception.InInitialization = c.Init;
    Interception.InFinalization = c.Fin;
    LibraryState().MainModuleActive = c.MainActive;
    uint8_t kind = 0xAA;
    EXPECT_EQ(IsExceptionHandledOn(b.Chain(), &DerivedError, 0x401000, c.Caught, kind), c.Handled) << c.Name;
    EXPECT_EQ(kind, c.Kind) << c.Name;
  }
}

TEST_P(HandlerChainLayout, SecondSearchOfTheSameRaiseTakesTheStoredAnswer) {
  TChainBuilder b(GetParam());
  PointAt(b);
  CatchAllFrame(b);
  uint8_t kind;
  ASSERT_TRUE(IsExceptionHandledOn(b.Chain(), &DerivedError, 0x401000, false, kind));
  TRecentRaise entries[kRecentRaiseCapacity];
  ASSERT_EQ(RecentRaiseEntries(entries, kRecentRaiseCapacity), 1);
  EXPECT_EQ(entries[0].ChainHead, b.Frames[0]);
  EXPECT_EQ(entries[0].Count, 1);
  EXPECT_EQ(entries[0].FirstKind, hkCatchAll);

  // The frame no longer catches, but the raise (class, address, head) is
  // the one searched before.
  b.SetHandler(b.Frames[0], b.Jump(b.CatchAll + 1));
  EXPECT_TRUE(IsExceptionHandledOn(b.Chain(), &DerivedError, 0x401000, false, kind));
  // The stored search still goes through the adjustments.
  Interception.InInitialization = 1;
  EXPECT_FALSE(IsExceptionHandledOn(b.Chain(), &DerivedError, 0x401000, false, kind));
  Interception.InInitialization = 0;
  // Another address, another class: searched afresh.
  EXPECT_FALSE(IsExceptionHandledOn(b.Chain(), &DerivedError, 0x401001, false, kind));
  EXPECT_FALSE(IsExceptionHandledOn(b.Chain(), &BaseError, 0x401000, false, kind));
}

INSTANTIATE_TEST_SUITE_P(Layouts, HandlerChainLayout, ::testing::Values(size_t(4), size_t(8)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return info.param == 4 ? std::string("Slots4") : std::string("Slots8");
                         });

// The run-time's debugger-hook flag is cleared once per module, in a
// console program that is no web host and runs without a debugger.
TEST_F(HandlerChain, DebugHookFlagIsClearedOnceInAConsoleProgram) {
  ASSERT_FALSE(IsDebuggerPresent());
  struct TCase {
    const char* Name;
    bool CGI;
    uint8_t Flag;
  } const cases[] = {
      {"console program", false, 0},
      {"CGI host", true, 1},
  };
  for (const TCase& c : cases) {
    if (c.CGI) SetEnvironmentVariableA("REQUEST_METHOD", "GET");
    Interception.DebugHookAdjusted = false;
    Interception.DebugHookFlag = 1;
    uint8_t kind;
    IsExceptionHandledOn(THandlerChain(), nullptr, 0x1000, false, kind);
    EXPECT_EQ(Interception.DebugHookFlag.load(), c.Flag) << c.Name;
    // Only the first search of the module adjusts it.
    Interception.DebugHookFlag = 1;
    IsExceptionHandledOn(THandlerChain(), nullptr, 0x1000, false, kind);
    EXPECT_EQ(Interception.DebugHookFlag.load(), 1) << c.Name;
    SetEnvironmentVariableA("REQUEST_METHOD", nullptr);
  }
}

// A frame linked into the calling thread's own list: found on i686, where
// the list is the thread's handler chain; on x86_64 handlers live in the
// unwind tables and the search finds nothing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
TEST_F(HandlerChain, FrameLinkedIntoTheThreadsOwnChain) {
  TChainBuilder b(sizeof(void*));
  PointAt(b);
  // The handler code leads, through an import jump, to a real handler that
  // passes on whatever might be raised while the frame is linked.
  Interception.CatchAllHandler = reinterpret_cast<uintptr_t>(&ContinueSearchHandler);
  uintptr_t handler = b.Jump(b.ImportStub(Interception.CatchAllHandler));

  NT_TIB* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  EXCEPTION_REGISTRATION_RECORD frame;
  frame.Next = tib->ExceptionList;
  frame.Handler = reinterpret_cast<decltype(frame.Handler)>(handler);
  uint8_t kind = 0xAA;
  tib->ExceptionList = &frame;
  const THandlerChain chain = CurrentHandlerChain();
  const bool handled = IsExceptionHandled(&DerivedError, 0x402000, false, kind);
  tib->ExceptionList = frame.Next;

#if defined(__i386__)
  EXPECT_EQ(chain.Head, reinterpret_cast<uintptr_t>(&frame));
  EXPECT_EQ(chain.SlotWidth, 4u);
  EXPECT_TRUE(chain.StackLimit <= chain.Head && chain.Head < chain.StackTop);
  EXPECT_TRUE(handled);
#else
  EXPECT_EQ(chain.Head, kChainEnd);
  EXPECT_FALSE(handled);
#endif
  EXPECT_EQ(kind, hkNone);
}
#pragma GCC diagnostic pop

}  // namespace
