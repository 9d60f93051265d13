// The stack walker over stacks the tests build: executable memory holding a
// call site of every form of this build's architecture, and slots holding
// the return address behind each.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "CallSiteCode.h"
#include "stack/StackWalk.h"

using namespace RevavaRez;

namespace {

constexpr size_t kSlot = brx_test::kStackSlot;
constexpr size_t kPage = 4096;
constexpr size_t kCell = 16;

// Three pages: an unreadable one, the call sites, and the import jump with
// the routine behind it and a pointer slot.
class TCodePages {
 public:
  TCodePages() {
    FBase = static_cast<uint8_t*>(VirtualAlloc(nullptr, 3 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (FBase == nullptr) return;
    std::memset(FBase, 0x90, 3 * kPage);
    DWORD old = 0;
    VirtualProtect(FBase, kPage, PAGE_NOACCESS, &old);
    // The routine a direct call reaches through the import jump.
    uint8_t* routine = Data() + 0x300;
    std::memcpy(routine, "\x55\x89\xE5\x90\x90\xC3", 6);
    brx_test::PutImportJump(Jump(), Slot(), routine);
  }
  ~TCodePages() {
    if (FBase) VirtualFree(FBase, 0, MEM_RELEASE);
  }
  bool Ok() const { return FBase != nullptr; }
  uint8_t* Unreadable() const { return FBase; }
  uint8_t* Code() const { return FBase + kPage; }
  uint8_t* Data() const { return FBase + 2 * kPage; }
  uint8_t* Jump() const { return Data() + 0x100; }
  uint8_t* Slot() const { return Data() + 0x200; }
  uintptr_t Routine() const { return reinterpret_cast<uintptr_t>(Data() + 0x300); }

  // Writes a call site ending at the end of cell index.
  struct TSite {
    uintptr_t Call, Return;
  };
  TSite Put(int index, std::vector<uint8_t> bytes) {
    uint8_t* end = Code() + kCell * (static_cast<size_t>(index) + 1);
    const uintptr_t call = brx_test::PutCallSite(end, std::move(bytes), Jump(), Slot());
    return {call, reinterpret_cast<uintptr_t>(end)};
  }

 private:
  uint8_t* FBase = nullptr;
};

TWalkOptions Plain() {
  TWalkOptions options;
  options.DebugInfo = false;
  return options;
}

std::vector<uintptr_t> Walk(const void* start, size_t size, const TWalkOptions& options, uintptr_t first = 0) {
  TVezavuStackList list;
  const auto from = reinterpret_cast<uintptr_t>(start);
  WalkStack(list, first, from, from + size - 1, options);
  std::vector<uintptr_t> addresses;
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Items(i)->Kind, dkModule);
    addresses.push_back(list.Items(i)->Address);
  }
  return addresses;
}

// Every form of this architecture, one per cell; the direct call first.
struct TAllForms {
  std::vector<TCodePages::TSite> Sites;
  std::vector<uintptr_t> Stack;
};

TAllForms PutAllForms(TCodePages& pages) {
  TAllForms all;
  int cell = 0;
  for (auto& form : brx_test::CallForms()) all.Sites.push_back(pages.Put(cell++, std::move(form)));
  // Values that are no return addresses between them: none, small, into
  // the unreadable page, and a call whose bytes begin on that page.
  uint8_t* straddling = pages.Code();
  straddling[1] = 0xFF;
  straddling[2] = 0xD0;
  const uintptr_t junk[] = {0, 5, reinterpret_cast<uintptr_t>(pages.Unreadable()) + 0x40,
                            reinterpret_cast<uintptr_t>(straddling + 3)};
  size_t j = 0;
  for (const auto& site : all.Sites) {
    all.Stack.push_back(junk[j++ % 4]);
    all.Stack.push_back(site.Return);
  }
  return all;
}

}  // namespace

TEST(StackWalk, EveryCallFormGivesAnEntryAtItsCall) {
  TCodePages pages;
  ASSERT_TRUE(pages.Ok());
  TAllForms all = PutAllForms(pages);
  std::vector<uintptr_t> expected = {pages.Routine()};  // the direct call's target, through the jump
  for (const auto& site : all.Sites) expected.push_back(site.Call);
  EXPECT_EQ(Walk(all.Stack.data(), all.Stack.size() * kSlot, Plain()), expected);

  TWalkOptions notFollowing = Plain();
  notFollowing.FollowDirectCalls = false;
  expected.erase(expected.begin());
  EXPECT_EQ(Walk(all.Stack.data(), all.Stack.size() * kSlot, notFollowing), expected);
}

TEST(StackWalk, LimitsAndKindSet) {
  TCodePages pages;
  ASSERT_TRUE(pages.Ok());
  TAllForms all = PutAllForms(pages);
  const uintptr_t first = 0x1234;
  std::vector<uintptr_t> candidates = {first, pages.Routine()};
  for (const auto& site : all.Sites) candidates.push_back(site.Call);
  const size_t size = all.Stack.size() * kSlot;

  EXPECT_EQ(Walk(all.Stack.data(), size, Plain(), first), candidates);
  struct TCase {
    int CountLimit, FirstCounted;
    size_t From, Count;  // the slice of the candidates kept
  } cases[] = {{2, 1, 1, 2}, {3, 0, 0, 3}, {100, 4, 4, candidates.size() - 4}, {0, 0, 0, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.CountLimit << " from " << c.FirstCounted);
    TWalkOptions options = Plain();
    options.CountLimit = c.CountLimit;
    options.FirstCounted = c.FirstCounted;
    const std::vector<uintptr_t> kept(candidates.begin() + static_cast<std::ptrdiff_t>(c.From),
                                      candidates.begin() + static_cast<std::ptrdiff_t>(c.From + c.Count));
    EXPECT_EQ(Walk(all.Stack.data(), size, options, first), kept);
  }
  TWalkOptions noModules = Plain();
  noModules.KindSet = 31u & ~(1u << dkModule);
  EXPECT_TRUE(Walk(all.Stack.data(), size, noModules, first).empty());
}

TEST(StackWalk, OnlySlotsWhollyInsideTheRangeAndTheCap) {
  TCodePages pages;
  ASSERT_TRUE(pages.Ok());
  const auto inside = pages.Put(0, {0xFF, 0xD0});
  const auto outside = pages.Put(1, {0xFF, 0x13});

  // The last slot inside the cap is read, the first past it is not, though
  // the range goes on.
  const size_t capSlots = kStackWalkLimit / kSlot;
  std::vector<uintptr_t> big(capSlots + 4, 0);
  big[capSlots - 1] = inside.Return;
  big[capSlots] = outside.Return;
  EXPECT_EQ(Walk(big.data(), big.size() * kSlot, Plain()), std::vector<uintptr_t>{inside.Call});

  // A copy whose size is no multiple of the slot: its cut last slot is not
  // read, the same slot whole is.
  std::vector<uintptr_t> copy = {0, 0, inside.Return};
  EXPECT_TRUE(Walk(copy.data(), 3 * kSlot - 1, Plain()).empty());
  EXPECT_EQ(Walk(copy.data(), 3 * kSlot, Plain()), std::vector<uintptr_t>{inside.Call});

  // An unaligned start goes on at the next whole slot.
  std::vector<uintptr_t> shifted = {inside.Return, outside.Return};
  EXPECT_EQ(Walk(reinterpret_cast<uint8_t*>(shifted.data()) + 1, 2 * kSlot - 1, Plain()),
            std::vector<uintptr_t>{outside.Call});
}

TEST(StackWalk, UnreadableSlotsAreSkipped) {
  TCodePages pages;
  ASSERT_TRUE(pages.Ok());
  const auto site = pages.Put(0, {0xFF, 0xD0});
  // Slots on the unreadable page, then one readable slot on the next.
  uint8_t* data = pages.Data();
  std::memcpy(data, &site.Return, sizeof site.Return);
  const auto start = reinterpret_cast<uintptr_t>(pages.Unreadable());
  TVezavuStackList list;
  WalkStack(list, 0, start, reinterpret_cast<uintptr_t>(data) + kSlot - 1, Plain());
  // The code page's own bytes follow no call; only the slot on the data page.
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->Address, site.Call);
}

TEST(StackWalk, EntriesWithoutDebugInformationOwnTheirModuleRecord) {
  TVezavuStackList list;
  TWalkCounts counts;
  TWalkOptions options = Plain();
  options.ThreadID = 42;
  options.ThreadFlag = true;
  const auto inThisProgram = reinterpret_cast<uintptr_t>(&Plain);
  AddStackEntry(list, inThisProgram, options, counts);
  ASSERT_EQ(list.Count(), 1);
  const TVezavuStackEntry& entry = *list.Items(0);
  EXPECT_EQ(entry.Kind, dkModule);
  ASSERT_NE(entry.Module, nullptr);
  EXPECT_EQ(entry.Module, entry.OwnedModule.get());
  EXPECT_EQ(entry.Module->Handle, GetModuleHandleW(nullptr));
  EXPECT_FALSE(entry.Module->FileName.empty());
  EXPECT_EQ(entry.ThreadID, 42u);
  EXPECT_TRUE(entry.ThreadFlag);
  EXPECT_EQ(counts.Seen, 1);
  EXPECT_EQ(counts.Kept, 1);
}

namespace {

struct TEntrySpec {
  uint8_t Kind;
  int Module;  // 0 or 1
  uintptr_t Address;
  const char* Procedure;
};

struct THideCase {
  const char* What;
  std::vector<TEntrySpec> Entries;
  int Start;
  bool DebugInfo, IDEHost;
  std::vector<uint8_t> Kinds;  // of the entries left, in order
};

}  // namespace

TEST(StackWalk, HideDuplicateEntries) {
  TVezavuModuleInfo modules[2];
  modules[0].Handle = reinterpret_cast<HMODULE>(0x10000);
  modules[1].Handle = reinterpret_cast<HMODULE>(0x20000);
  const THideCase cases[] = {
      {"A, A in one module", {{4, 0, 0xA, "P"}, {4, 0, 0xA, "P"}}, 0, true, false, {0, 4}},
      {"A, B, A in one module", {{2, 0, 0xA, "P"}, {3, 0, 0xB, "Q"}, {4, 0, 0xA, "P"}}, 0, true, false, {0, 3, 4}},
      {"A, B, C, A: too far apart", {{4, 0, 0xA, ""}, {4, 0, 0xB, ""}, {4, 0, 0xC, ""}, {4, 0, 0xA, ""}}, 0, true,
       false, {4, 4, 4, 4}},
      {"A, A in two modules", {{4, 0, 0xA, "P"}, {4, 1, 0xA, "P"}}, 0, true, false, {4, 4}},
      {"A, other module, A", {{4, 0, 0xA, ""}, {4, 1, 0xB, ""}, {4, 0, 0xA, ""}}, 0, true, false, {0, 4, 4}},
      {"kind 1 entries are no duplicates", {{1, 0, 0xA, ""}, {1, 0, 0xA, ""}}, 0, true, false, {1, 1}},
      {"before the start nothing changes", {{4, 0, 0xA, ""}, {4, 0, 0xA, ""}}, 1, true, false, {4, 4}},
      {"the host drops other kinds and the handler",
       {{1, 0, 0x1, ""}, {4, 0, 0x2, "HandleException"}, {2, 0, 0x3, "Run"}, {0, 0, 0x4, ""},
        {4, 1, 0x5, "TApplication.HandleExceptionNow"}},
       0, true, true, {2}},
      {"outside the host nothing is dropped", {{1, 0, 0x1, ""}, {4, 0, 0x2, "HandleException"}}, 0, true, false,
       {1, 4}},
      {"without debug information nothing is dropped", {{1, 0, 0x1, ""}, {4, 0, 0x2, "HandleException"}}, 0, false,
       true, {1, 4}},
      {"the host keeps what lies before the start", {{1, 0, 0x1, ""}, {1, 0, 0x2, ""}}, 1, true, true, {1}},
  };
  for (const THideCase& c : cases) {
    SCOPED_TRACE(c.What);
    TVezavuStackList list;
    for (const TEntrySpec& spec : c.Entries) {
      auto* entry = new TVezavuStackEntry;
      entry->Kind = spec.Kind;
      entry->Module = &modules[spec.Module];
      entry->Address = spec.Address;
      entry->ProcedureName = spec.Procedure;
      list.Add(entry);
    }
    HideDuplicateEntries(list, c.Start, c.DebugInfo, c.IDEHost);
    std::vector<uint8_t> kinds;
    for (int i = 0; i < list.Count(); ++i) kinds.push_back(list.Items(i)->Kind);
    EXPECT_EQ(kinds, c.Kinds);
  }
}

TEST(StackWalk, TheCallingThreadsOwnWalkFindsItsCaller) {
  std::vector<TStackEntryText> entries = CurrentThreadStackEntries();
  // This test runs in the test program; its frames lie in that module.
  const auto program = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
  bool inProgram = false;
  for (const TStackEntryText& e : entries) inProgram = inProgram || e.ModuleHandle == program;
  EXPECT_TRUE(inProgram);
}
