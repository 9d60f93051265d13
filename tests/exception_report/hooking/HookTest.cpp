// The hooking engine for real in the test process, in either build: code
// hooks on laid-down routines (cdecl and stdcall ones in 32-bit code) and on a
// compiled one, allocation failures while hooking, import-table hooks of the
// test program and of laid-down PE32 and PE32+ images, and virtual-method
// hooks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/ExceptionLog.h"
#include "hooking/HookEngine.h"
#include "hooking/HookedMethodsList.h"
#include "hooking/TrampolineCode.h"
#include "hooking/TrampolinePool.h"
#include "core/VArevText.h"

using namespace RevavaRez;

// ------------------------------------------------------- failing allocation

namespace {

// When 0 or more: that many allocations on this thread succeed, the next one
// fails with std::bad_alloc, and the count is disarmed (-1) again.
thread_local long AllocationsBeforeFault = -1;

}  // namespace

// The replacements pair malloc with free, as the run-time's own do; the
// compiler only sees free after new where it inlines them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
  if (AllocationsBeforeFault >= 0 && AllocationsBeforeFault-- == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

using TBytes = std::vector<uint8_t>;

// The engine is set up for each test and shut down after it.
class Hooks : public ::testing::Test {
 protected:
  void SetUp() override { EHookInit(); }
  void TearDown() override { EHookDone(); }
};

// Executable memory in which a test lays down routines.
class TCodePage {
 public:
  TCodePage() {
    FBase =
        static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  }
  ~TCodePage() {
    if (FBase) VirtualFree(FBase, 0, MEM_RELEASE);
  }
  uint8_t* Put(size_t offset, const TBytes& code) {
    std::memcpy(FBase + offset, code.data(), code.size());
    FlushInstructionCache(GetCurrentProcess(), FBase + offset, code.size());
    return FBase + offset;
  }
  void Release() {
    VirtualFree(FBase, 0, MEM_RELEASE);
    FBase = nullptr;
  }
  uint8_t* Base() const { return FBase; }

 private:
  uint8_t* FBase;
};

TBytes Le32(int64_t value) {
  uint32_t word = static_cast<uint32_t>(value);
  return TBytes(reinterpret_cast<uint8_t*>(&word), reinterpret_cast<uint8_t*>(&word) + 4);
}

TBytes Concat(std::initializer_list<TBytes> parts) {
  TBytes all;
  for (const TBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// cdecl and stdcall in 32-bit code; one convention in 64-bit code.
using TIntRoutine = int (*)(int);
using TStdIntRoutine = int(WINAPI*)(int);

int ReturnSeven(int) { return 7; }
int ReturnEight(int) { return 8; }
int WINAPI ReturnSevenStd(int) { return 7; }

// Through a volatile pointer, so that the compiler cannot assume the code.
int Call(const void* code, bool stdcall, int argument) {
  if (stdcall) {
    TStdIntRoutine volatile routine = reinterpret_cast<TStdIntRoutine>(const_cast<void*>(code));
    return routine(argument);
  }
  TIntRoutine volatile routine = reinterpret_cast<TIntRoutine>(const_cast<void*>(code));
  return routine(argument);
}

TBytes Bytes(const void* at, size_t count) {
  const uint8_t* bytes = static_cast<const uint8_t*>(at);
  return TBytes(bytes, bytes + count);
}

}  // namespace

// A compiled routine with more than 5 bytes before its first return; called
// only through a volatile pointer, so that no call site inlines it.
extern "C" __attribute__((noinline)) int HookTestCompiledTarget(int value) {
  volatile int scratch = value;
  scratch = scratch * 3 + 1;
  return scratch;
}

TEST_F(Hooks, LaidDownRoutinesReachTheReplacementAndTheOriginalStillRuns) {
  TCodePage page;
  ASSERT_NE(page.Base(), nullptr);
  // mov eax, 42; ret
  uint8_t* plain = page.Put(0, {0xB8, 0x2A, 0, 0, 0, 0xC3});
#if defined(__x86_64__)
  // test ecx, ecx; jz +6; mov eax, 1; ret; mov eax, 2; ret
  uint8_t* branch = page.Put(64, {0x85, 0xC9, 0x74, 0x06, 0xB8, 1, 0, 0, 0, 0xC3, 0xB8, 2, 0, 0, 0, 0xC3});
#else
  // mov ecx, [esp + 4]; jecxz +6; mov eax, 1; ret; mov eax, 2; ret
  uint8_t* branch =
      page.Put(64, {0x8B, 0x4C, 0x24, 0x04, 0xE3, 0x06, 0xB8, 1, 0, 0, 0, 0xC3, 0xB8, 2, 0, 0, 0, 0xC3});
#endif
  // call helper; add eax, 1; ret, and the helper: mov eax, 5; ret
  page.Put(256, {0xB8, 5, 0, 0, 0, 0xC3});
  uint8_t* call = page.Put(128, Concat({{0xE8}, Le32(256 - 128 - 5), {0x83, 0xC0, 0x01, 0xC3}}));
  page.Put(512, Le32(0x1234));
#if defined(__x86_64__)
  // mov eax, [rip + disp]; ret, reading 0x1234 from offset 512
  uint8_t* load = page.Put(192, Concat({{0x8B, 0x05}, Le32(512 - 192 - 6), {0xC3}}));
#else
  // mov eax, [address]; ret, the same absolute address from anywhere
  uint8_t* load = page.Put(192, Concat({{0xA1}, Le32(int64_t(uintptr_t(page.Base() + 512))), {0xC3}}));
  // stdcall: mov eax, [esp + 4]; inc eax; ret 4
  uint8_t* stdcall = page.Put(320, {0x8B, 0x44, 0x24, 0x04, 0x40, 0xC2, 0x04, 0x00});
#endif

  const struct {
    const char* what;
    uint8_t* code;
    int argument, original;
    bool stdcall;
  } cases[] = {
      {"plain", plain, 0, 42, false},
      {"branch taken", branch, 0, 2, false},
      {"branch not taken", branch, 1, 1, false},
      {"near call", call, 0, 6, false},
#if defined(__x86_64__)
      {"RIP-relative load", load, 0, 0x1234, false},
#else
      {"absolute load", load, 0, 0x1234, false},
      {"stdcall", stdcall, 5, 6, true},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TBytes before = Bytes(c.code, 16);
    void* replacement = c.stdcall ? reinterpret_cast<void*>(&ReturnSevenStd) : reinterpret_cast<void*>(&ReturnSeven);
    void* trampoline = HookProcedure(c.code, replacement, c.what);
    ASSERT_NE(trampoline, nullptr);
    EXPECT_EQ(Call(c.code, c.stdcall, c.argument), 7);
    EXPECT_EQ(Call(trampoline, c.stdcall, c.argument), c.original);
    // The trampoline lies within reach of the routine, in executable memory.
    MEMORY_BASIC_INFORMATION info;
    ASSERT_EQ(VirtualQuery(trampoline, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.Protect, DWORD(PAGE_EXECUTE_READ));
    EXPECT_TRUE(UnhookProcedure(c.code));
    EXPECT_EQ(Bytes(c.code, 16), before);
    EXPECT_EQ(Call(c.code, c.stdcall, c.argument), c.original);
  }
  EXPECT_FALSE(UnhookProcedure(plain));
  EXPECT_TRUE(CodeHooks->empty());
}

TEST_F(Hooks, CompiledRoutineHookedTwiceKeepsTheFirstTrampoline) {
  TIntRoutine volatile routine = &HookTestCompiledTarget;
  ASSERT_EQ(routine(4), 13);
  ASSERT_GE(CodeSizeToReturn(reinterpret_cast<void*>(routine), 64), 6u);
  const TBytes before = Bytes(reinterpret_cast<void*>(routine), 16);

  void* first =
      HookProcedure(reinterpret_cast<void*>(routine), reinterpret_cast<void*>(&ReturnSeven), "compiled");
  const TBytes hooked = Bytes(reinterpret_cast<void*>(routine), 16);
  void* second =
      HookProcedure(reinterpret_cast<void*>(routine), reinterpret_cast<void*>(&ReturnEight), "compiled");
  EXPECT_EQ(second, first);
  EXPECT_EQ(Bytes(reinterpret_cast<void*>(routine), 16), hooked);
  EXPECT_EQ(CodeHooks->size(), 1u);
  EXPECT_EQ(routine(4), 7);
  EXPECT_EQ(reinterpret_cast<TIntRoutine>(first)(4), 13);

  // The shut-down undoes it.
  EHookDone();
  EXPECT_EQ(CodeHooks, nullptr);
  EXPECT_EQ(Bytes(reinterpret_cast<void*>(routine), 16), before);
  EXPECT_EQ(routine(4), 13);
  EHookInit();
}

TEST_F(Hooks, RefusedHooksRaiseWithTheirTexts) {
  TCodePage page;
  uint8_t* tooShort = page.Put(0, {0x33, 0xC0, 0xC3, 0xCC, 0xCC, 0xCC});  // xor eax, eax; ret
  uint8_t* undecodable = page.Put(16, {0x0F, 0x0B, 0x90, 0x90, 0x90, 0x90});
  uint8_t* shortJump = page.Put(32, {0x33, 0xC0, 0xEB, 0x10, 0xCC, 0xCC});  // xor eax, eax; jmp +16
  for (uint8_t* code : {tooShort, undecodable, shortJump}) {
    const TBytes before = Bytes(code, 6);
    try {
      HookProcedure(code, reinterpret_cast<void*>(&ReturnSeven), "Short");
      ADD_FAILURE() << "no error";
    } catch (const EHookingError& error) {
      EXPECT_STREQ(error.what(), "Cannot hook the procedure \"Short\".");
    }
    EXPECT_EQ(Bytes(code, 6), before);
  }
  try {
    HookProcedure(nullptr, reinterpret_cast<void*>(&ReturnSeven), "Nothing");
    ADD_FAILURE() << "no error";
  } catch (const EProcNull& error) {
    EXPECT_STREQ(error.what(), "Cannot hook a null procedure (\"Nothing\").");
  }
  // Outside the NT family the upper half of the address space is shared.
#if defined(__x86_64__)
  void* high = reinterpret_cast<void*>(&HookTestCompiledTarget);
  const std::string moduleName = ModuleFileNameOf(nullptr);
#else
  // A 32-bit test program has nothing there: an address that no module holds.
  void* high = reinterpret_cast<void*>(uintptr_t(0x90000000u));
  const std::string moduleName;
#endif
  ASSERT_GE(reinterpret_cast<uintptr_t>(high), 0x80000000u);
  try {
    HookProcedure(high, reinterpret_cast<void*>(&ReturnSeven), "Shared", VER_PLATFORM_WIN32_WINDOWS);
    ADD_FAILURE() << "no error";
  } catch (const ESharedArea& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot hook the module \"" + moduleName + "\" located into the shared-area.");
  }
  EXPECT_TRUE(CodeHooks->empty());
}

TEST_F(Hooks, AFailedAllocationWhileHookingLeavesNothingBehind) {
  TCodePage page;
  uint8_t* code = page.Put(0, {0xB8, 0x2A, 0, 0, 0, 0xC3});
  const TBytes before = Bytes(code, 6);
  const size_t slots = TrampolineSlotsInUse();
  // Each allocation of the hook fails in turn, until the hook needs no more.
  long faults = 0;
  void* trampoline = nullptr;
  for (; !trampoline && faults < 100; ++faults) {
    SCOPED_TRACE(faults);
    AllocationsBeforeFault = faults;
    try {
      trampoline = HookProcedure(code, reinterpret_cast<void*>(&ReturnSeven), "alloc");
    } catch (const EHookingError&) {
    }
    AllocationsBeforeFault = -1;
    if (trampoline) break;
    EXPECT_EQ(Bytes(code, 6), before);
    EXPECT_EQ(TrampolineSlotsInUse(), slots);
    EXPECT_TRUE(CodeHooks->empty());
  }
  ASSERT_NE(trampoline, nullptr);
  EXPECT_GE(faults, 3);  // the saved bytes, the trampoline's bytes, the record
  EXPECT_EQ(Call(code, false, 0), 7);
  EXPECT_EQ(Call(trampoline, false, 0), 42);
  EXPECT_EQ(TrampolineSlotsInUse(), slots + 1);
  EXPECT_TRUE(UnhookProcedure(code));
  EXPECT_EQ(TrampolineSlotsInUse(), slots);
}

TEST_F(Hooks, UnhookRestoresOnlyCodeThatIsStillOurs) {
  TCodePage page;
  uint8_t* overwritten = page.Put(0, {0xB8, 0x2A, 0, 0, 0, 0xC3});
  HookProcedure(overwritten, reinterpret_cast<void*>(&ReturnSeven), "overwritten");
  const TBytes other = {0xB8, 0x63, 0, 0, 0, 0xC3};  // someone else's patch
  page.Put(0, other);
  EXPECT_TRUE(UnhookProcedure(overwritten));
  EXPECT_EQ(Bytes(overwritten, 6), other);

  uint8_t* unloaded = page.Put(64, {0xB8, 0x2A, 0, 0, 0, 0xC3});
  HookProcedure(unloaded, reinterpret_cast<void*>(&ReturnSeven), "unloaded");
  page.Release();
  EXPECT_TRUE(UnhookProcedure(unloaded));
  EXPECT_TRUE(CodeHooks->empty());
}

TEST(HookDecoder, LiveCodeIsReadOnlyWhereReadable) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  uint8_t* pages = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 2 * info.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages + info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &old));
  EXPECT_EQ(CodeSizeToReturn(pages + info.dwPageSize, 16), 0u);
  // Code running into the unreadable page: a fault, not a read.
  uint8_t* edge = pages + info.dwPageSize - 3;
  std::memset(edge, 0x90, 3);
  EXPECT_EQ(CodeSizeToReturn(edge, 16), 0u);
  edge[2] = 0xC3;
  EXPECT_EQ(CodeSizeToReturn(edge, 16), 3u);
  edge[2] = 0xB8;  // mov eax, imm32 cut by the page end
  TInstruction cut = DecodeInstructionAt(edge + 2);
  EXPECT_FALSE(cut.Decodable);
  EXPECT_TRUE(cut.Truncated);
  EXPECT_EQ(CodeSizeToReturn(edge, 0), 0u);
  VirtualFree(pages, 0, MEM_RELEASE);
}

// ---------------------------------------------------------------- imports

namespace {

LCID WINAPI FakeDefaultLCID() { return 0x12345; }

// The compiler takes an import slot for constant within one routine, so each
// call reads it afresh in a routine of its own.
__attribute__((noinline)) LCID DefaultLCID() { return GetSystemDefaultLCID(); }

std::string OwnModuleName() { return ExtractFileName(ModuleFileNameOf(nullptr)); }

}  // namespace

TEST_F(Hooks, ImportOfTheTestProgramIsRedirectedAndRestored) {
  const LCID real = DefaultLCID();
  ASSERT_NE(real, LCID(0x12345));
  void* original = nullptr;
  ASSERT_TRUE(HookImportedProcedure({OwnModuleName()}, "kernel32.dll", false, original,
                                    reinterpret_cast<void*>(&FakeDefaultLCID), "GetSystemDefaultLCID"));
  EXPECT_EQ(original, reinterpret_cast<void*>(
                          GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemDefaultLCID")));
  EXPECT_EQ(DefaultLCID(), LCID(0x12345));
  ASSERT_EQ(ImportHooks->size(), 1u);
  EXPECT_EQ((*ImportHooks)[0].Module, GetModuleHandleA(nullptr));
  EXPECT_EQ((*ImportHooks)[0].Original, reinterpret_cast<uintptr_t>(original));

  // A routine that the program does not import.
  void* beep = nullptr;
  const size_t records = ImportHooks->size();
  EXPECT_FALSE(HookImportedProcedure({OwnModuleName(), "no such module.dll"}, "kernel32.dll", true, beep,
                                     reinterpret_cast<void*>(&FakeDefaultLCID), "Beep"));
  EXPECT_NE(beep, nullptr);  // the original is given all the same
  EXPECT_EQ(ImportHooks->size(), records);
  try {
    HookImportedProcedure({OwnModuleName()}, "kernel32.dll", false, beep,
                          reinterpret_cast<void*>(&FakeDefaultLCID), "Beep");
    ADD_FAILURE() << "no error";
  } catch (const EHookingError& error) {
    EXPECT_STREQ(error.what(), "Cannot hook the procedure \"kernel32.dll.Beep\".");
  }

  EHookDone();
  EXPECT_EQ(DefaultLCID(), real);
  EHookInit();
}

namespace {

// A PE32 (or PE32+) image laid out in memory: headers, one import
// descriptor for "FAKE.dll" and its address table.
class TImage {
 public:
  enum : uint32_t { DescriptorRva = 0x200, TableRva = 0x280, NameRva = 0x300, OtherRva = 0x340 };

  TImage(bool plus, std::vector<uint64_t> entries) : FPlus(plus) {
    // Below 2 GB, where the platforms outside the NT family kept modules.
    for (uintptr_t at = 0x20000000; !FBase && at < 0x7FFF0000; at += 0x10000)
      FBase = static_cast<uint8_t*>(
          VirtualAlloc(reinterpret_cast<void*>(at), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    std::memcpy(FBase, "MZ", 2);
    Put32(60, 0x80);
    std::memcpy(FBase + 0x80, "PE\0\0", 4);
    Put16(0x80 + 24, plus ? 0x20B : 0x10B);
    const uint32_t directory = 0x80 + (plus ? 144 : 128);
    Put32(directory, DescriptorRva);
    Put32(directory + 4, 2 * 20);  // the descriptor and its terminator
    Put32(DescriptorRva + 12, NameRva);
    Put32(DescriptorRva + 16, TableRva);
    std::memcpy(FBase + NameRva, "FAKE.dll", 9);
    for (size_t i = 0; i < entries.size(); ++i)
      std::memcpy(FBase + TableRva + i * EntrySize(), &entries[i], EntrySize());
  }
  ~TImage() { VirtualFree(FBase, 0, MEM_RELEASE); }
  HMODULE Module() const { return reinterpret_cast<HMODULE>(FBase); }
  uint64_t Entry(size_t index) const {
    uint64_t value = 0;
    std::memcpy(&value, FBase + TableRva + index * EntrySize(), EntrySize());
    return value;
  }
  void Put16(uint32_t at, uint16_t value) { std::memcpy(FBase + at, &value, 2); }
  void Put32(uint32_t at, uint32_t value) { std::memcpy(FBase + at, &value, 4); }
  uint8_t* Base() const { return FBase; }

 private:
  size_t EntrySize() const { return FPlus ? 8 : 4; }
  bool FPlus;
  uint8_t* FBase = nullptr;
};

void* Fake(uintptr_t value) { return reinterpret_cast<void*>(value); }

}  // namespace

TEST_F(Hooks, LaidDownPE32ImageIsPatchedAndRestored) {
  TImage image(false, {0x11111111, 0x22222222, 0x11111111, 0, 0x11111111});
  EXPECT_EQ(PatchImportTable(image.Module(), "fake.DLL", Fake(0x11111111), false, false, "FAKE.dll.Routine",
                             Fake(0x33333333)),
            Fake(0x11111111));
  // Both entries before the table's end, none after it.
  EXPECT_EQ(image.Entry(0), 0x33333333u);
  EXPECT_EQ(image.Entry(1), 0x22222222u);
  EXPECT_EQ(image.Entry(2), 0x33333333u);
  EXPECT_EQ(image.Entry(4), 0x11111111u);
  ASSERT_EQ(ImportHooks->size(), 1u);
  EXPECT_EQ((*ImportHooks)[0].Replacement, 0x33333333u);

  EHookDone();  // restores from the record
  EXPECT_EQ(image.Entry(0), 0x11111111u);
  EXPECT_EQ(image.Entry(2), 0x11111111u);
  EHookInit();

  // A null replacement is never written, and nothing is recorded for it.
  EXPECT_EQ(PatchImportTable(image.Module(), "FAKE.dll", Fake(0x11111111), false, true, "x", nullptr), nullptr);
  EXPECT_THROW(PatchImportTable(image.Module(), "FAKE.dll", Fake(0x11111111), false, false, "x", nullptr),
               EHookingError);
  EXPECT_EQ(image.Entry(0), 0x11111111u);
  EXPECT_EQ(image.Entry(2), 0x11111111u);
  EXPECT_TRUE(ImportHooks->empty());

#if defined(__x86_64__)
  // A replacement that a PE32 entry cannot hold.
  EXPECT_EQ(
      PatchImportTable(image.Module(), "FAKE.dll", Fake(0x11111111), false, true, "x", Fake(0x123456789ull)),
      nullptr);
  EXPECT_EQ(image.Entry(0), 0x11111111u);
#endif
}

TEST_F(Hooks, ImportWalksStopAtEveryBound) {
  const struct {
    const char* what;
    void (*spoil)(TImage&);
  } cases[] = {
      {"no MZ", [](TImage& image) { image.Put16(0, 0); }},
      {"header offset 0", [](TImage& image) { image.Put32(60, 0); }},
      {"headers past the readable memory",
       [](TImage& image) {
         image.Put32(60, 4096 - 100);
         std::memcpy(image.Base() + 4096 - 100, "PE\0\0", 4);
         image.Put16(4096 - 100 + 24, 0x10B);
       }},
      {"no PE signature", [](TImage& image) { image.Put16(0x80, 0); }},
      {"unknown magic", [](TImage& image) { image.Put16(0x80 + 24, 0x107); }},
      {"no import directory", [](TImage& image) { image.Put32(0x80 + 128, 0); }},
      {"directory shorter than a descriptor", [](TImage& image) { image.Put32(0x80 + 132, 19); }},
      {"descriptors past the readable memory", [](TImage& image) { image.Put32(0x80 + 128, 4096 - 8); }},
      {"name past the readable memory",
       [](TImage& image) { image.Put32(TImage::DescriptorRva + 12, 0x7FFFFFF0); }},
      {"name without its end",
       [](TImage& image) {
         image.Put32(TImage::DescriptorRva + 12, 4096 - 4);
         std::memcpy(image.Base() + 4096 - 4, "FAKE", 4);
       }},
      {"other DLL", [](TImage& image) { std::memcpy(image.Base() + TImage::NameRva, "REAL.dll", 9); }},
      {"table past the readable memory",
       [](TImage& image) { image.Put32(TImage::DescriptorRva + 16, 0x7FFFFFF0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TImage image(false, {0x11111111, 0});
    c.spoil(image);
    EXPECT_EQ(
        PatchImportTable(image.Module(), "FAKE.dll", Fake(0x11111111), false, true, "x", Fake(0x33333333)),
        nullptr);
    EXPECT_THROW(
        PatchImportTable(image.Module(), "FAKE.dll", Fake(0x11111111), false, false, "x", Fake(0x33333333)),
        EHookingError);
    EXPECT_TRUE(ImportHooks->empty());
  }
  EXPECT_THROW(
      PatchImportTable(GetModuleHandleA(nullptr), "kernel32.dll", nullptr, false, true, "null", Fake(1)),
      EProcNull);
}

TEST_F(Hooks, DebugThunksAreComparedByTheirPushedValueOutsideTheNTFamily) {
  // Two stubs that push the same value, and one that pushes another.
  TCodePage page;
  uint8_t* current = page.Put(0, Concat({{0x68}, Le32(0xBFF71234), {0xE9, 0, 0, 0, 0}}));
  uint8_t* same = page.Put(16, Concat({{0x68}, Le32(0xBFF71234), {0xE9, 1, 0, 0, 0}}));
  uint8_t* other = page.Put(32, Concat({{0x68}, Le32(0xBFF79999), {0xE9, 0, 0, 0, 0}}));
  EXPECT_TRUE(IsWin9xDebugThunk(current));
  EXPECT_FALSE(IsWin9xDebugThunk(reinterpret_cast<void*>(&ReturnSeven)));
  EXPECT_FALSE(IsWin9xDebugThunk(nullptr));

  const uint64_t entries[] = {uintptr_t(same), uintptr_t(other), uintptr_t(current)};
  for (DWORD platform : {DWORD(VER_PLATFORM_WIN32_WINDOWS), DWORD(VER_PLATFORM_WIN32_NT)}) {
    TImage image(true, {entries[0], entries[1], entries[2]});
    ASSERT_LT(reinterpret_cast<uintptr_t>(image.Base()), 0x80000000u);
    EXPECT_EQ(PatchImportTable(image.Module(), "FAKE.dll", current, false, true, "x", Fake(0x4242), platform),
              current);
    const bool byThunk = platform != VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(image.Entry(0), byThunk ? 0x4242u : entries[0]);
    EXPECT_EQ(image.Entry(1), entries[1]);
    EXPECT_EQ(image.Entry(2), 0x4242u);
  }
  // A module in the upper half is in what those platforms share; a 32-bit
  // test program has none there, so a handle that names no module stands in.
#if defined(__x86_64__)
  HMODULE high = GetModuleHandleA(nullptr);
#else
  HMODULE high = reinterpret_cast<HMODULE>(uintptr_t(0x90000000u));
#endif
  ASSERT_GE(reinterpret_cast<uintptr_t>(high), 0x80000000u);
  try {
    PatchImportTable(high, "kernel32.dll", current, false, true, "x", Fake(0x4242), VER_PLATFORM_WIN32_WINDOWS);
    ADD_FAILURE() << "no error";
  } catch (const ESharedArea& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot hook the module \"" + ModuleFileNameOf(high) + "\" located into the shared-area.");
  }
}

// ---------------------------------------------------------- virtual methods

// Outside an unnamed namespace, so that the compiler cannot know every class
// that derives from it and call the method directly.
namespace hook_test {

class TShape {
 public:
  virtual int Sides() const;
  virtual int Corners() const;

 protected:
  ~TShape() = default;
};

int TShape::Sides() const { return 3; }
int TShape::Corners() const { return 4; }

class TTriangle : public TShape {};

// Member functions take their object in ecx in 32-bit code.
#if defined(__i386__)
#define BRX_THISCALL __attribute__((thiscall))
#else
#define BRX_THISCALL
#endif

int BRX_THISCALL ReplacementSides(const TShape*) { return 99; }
int BRX_THISCALL OtherReplacementSides(const TShape*) { return 98; }

}  // namespace hook_test

using namespace hook_test;

TEST_F(Hooks, VirtualMethodSlotIsReplacedAndRestored) {
  TTriangle triangle;
  TShape* volatile shape = &triangle;
  void** table = *reinterpret_cast<void***>(&triangle);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_EQ(VirtualQuery(table, &info, sizeof info), sizeof info);
  ASSERT_EQ(info.Protect, DWORD(PAGE_READONLY));  // the table lies in read-only data
  void* original = table[0];

  EXPECT_EQ(HookVirtualMethod(table, 0, reinterpret_cast<void*>(&ReplacementSides)), original);
  EXPECT_EQ(shape->Sides(), 99);
  EXPECT_EQ(shape->Corners(), 4);
  // Asking again answers the recorded original and records nothing more.
  EXPECT_EQ(HookVirtualMethod(table, 0, reinterpret_cast<void*>(&ReplacementSides)), original);
  EXPECT_EQ(HookedMethods->Count(), 1u);

  // A second hook of the slot is undone first: the first replacement comes
  // back, then the original.
  EXPECT_EQ(HookVirtualMethod(table, 0, reinterpret_cast<void*>(&OtherReplacementSides)),
            reinterpret_cast<void*>(&ReplacementSides));
  EXPECT_EQ(shape->Sides(), 98);
  EXPECT_TRUE(RestoreVirtualMethod(table, 0));
  EXPECT_EQ(shape->Sides(), 99);
  EXPECT_TRUE(RestoreVirtualMethod(table, 0));
  EXPECT_FALSE(RestoreVirtualMethod(table, 0));
  EXPECT_EQ(shape->Sides(), 3);

  // The shut-down restores what is still hooked, newest first; afterwards a
  // request does nothing.
  void* corners = table[1];
  EXPECT_EQ(HookVirtualMethod(table, 1, reinterpret_cast<void*>(&ReplacementSides)), corners);
  EXPECT_EQ(HookVirtualMethod(table, 1, reinterpret_cast<void*>(&OtherReplacementSides)),
            reinterpret_cast<void*>(&ReplacementSides));
  EXPECT_EQ(shape->Corners(), 98);
  EHookDone();
  EXPECT_EQ(shape->Corners(), 4);
  EXPECT_EQ(HookVirtualMethod(table, 0, reinterpret_cast<void*>(&ReplacementSides)), nullptr);
  EXPECT_EQ(shape->Sides(), 3);
  EHookInit();

  // A table outside any module is no class's table.
  void* fakeTable[1] = {original};
  EXPECT_EQ(HookVirtualMethod(fakeTable, 0, reinterpret_cast<void*>(&ReplacementSides)), nullptr);
  EXPECT_EQ(fakeTable[0], original);
  // A null replacement is never written.
  EXPECT_EQ(HookVirtualMethod(table, 0, nullptr), nullptr);
  EXPECT_EQ(table[0], original);
  EXPECT_EQ(HookedMethods->Count(), 0u);
}
