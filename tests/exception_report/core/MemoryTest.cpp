// The library reads foreign memory (class records, code bytes, stacks) only
// after ReadableLength said it may: a wrong answer is a fault inside the
// fault handler.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "core/ExceptionLog.h"
#include "core/VArev.h"

using namespace RevavaRez;

namespace {

// Three committed pages at a fixed place, each with its own protection.
class Pages : public ::testing::Test {
 protected:
  void SetUp() override {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    page = info.dwPageSize;
    base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 3 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
  }
  void TearDown() override { VirtualFree(base, 0, MEM_RELEASE); }
  void Protect(int index, DWORD protection) {
    DWORD old;
    ASSERT_TRUE(VirtualProtect(base + index * page, page, protection, &old));
  }
  size_t page = 0;
  uint8_t* base = nullptr;
};

TEST_F(Pages, ReadableLengthCountsOnlyPlainReadableCommittedRegions) {
  // One read-write region: counted from the address to its end.
  EXPECT_EQ(ReadableLength(base + 10, 1), 3 * page - 10);
  EXPECT_TRUE(IsReadable(base, 3 * page));
  EXPECT_FALSE(IsReadable(base, 3 * page + 1));

  // Two regions: the count goes on into the next while more is wanted.
  Protect(1, PAGE_READONLY);
  Protect(2, PAGE_NOACCESS);
  EXPECT_EQ(ReadableLength(base, 1), page);
  EXPECT_EQ(ReadableLength(base, page + 1), 2 * page);
  // An unreadable next region makes the whole answer 0.
  EXPECT_EQ(ReadableLength(base, 2 * page + 1), 0u);
  EXPECT_EQ(ReadableLength(base + 2 * page, 1), 0u);

  // A guard page is unreadable.
  Protect(0, PAGE_READWRITE | PAGE_GUARD);
  EXPECT_EQ(ReadableLength(base, 1), 0u);

  // Reserved but not committed.
  ASSERT_TRUE(VirtualFree(base + page, page, MEM_DECOMMIT));
  EXPECT_EQ(ReadableLength(base + page, 1), 0u);
  EXPECT_EQ(ReadableLength(nullptr, 1), 0u);
}

TEST(ReadableRegions, OnlyCommittedWithExactlyOnePlainProtection) {
  // Wine keeps no no-cache or write-combine bit, so these are told by value.
  struct Case {
    DWORD state, protection;
    bool readable;
  } cases[] = {
      {MEM_COMMIT, PAGE_READONLY, true},
      {MEM_COMMIT, PAGE_READWRITE, true},
      {MEM_COMMIT, PAGE_WRITECOPY, true},
      {MEM_COMMIT, PAGE_EXECUTE, true},
      {MEM_COMMIT, PAGE_EXECUTE_READ, true},
      {MEM_COMMIT, PAGE_EXECUTE_READWRITE, true},
      {MEM_COMMIT, PAGE_EXECUTE_WRITECOPY, true},
      {MEM_COMMIT, PAGE_NOACCESS, false},
      {MEM_COMMIT, PAGE_READONLY | PAGE_GUARD, false},
      {MEM_COMMIT, PAGE_READWRITE | PAGE_NOCACHE, false},
      {MEM_COMMIT, PAGE_READWRITE | PAGE_WRITECOMBINE, false},
      {MEM_COMMIT, PAGE_READONLY | PAGE_READWRITE, false},
      {MEM_RESERVE, PAGE_READWRITE, false},
      {MEM_FREE, PAGE_READONLY, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsPlainReadableRegion(c.state, c.protection), c.readable) << c.state << " " << c.protection;
}

TEST(ImportJumps, SlotOfBothInstructionForms) {
  const uint8_t jump[6] = {0xFF, 0x25, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(ImportJumpSlot(jump, 0x1000, false), 0x40302010u);
  EXPECT_EQ(ImportJumpSlot(jump, 0x1000, true), uintptr_t(0x1000 + 6 + 0x40302010));
  const uint8_t back[6] = {0xFF, 0x25, 0xF0, 0xFF, 0xFF, 0xFF};  // displacement -16
  EXPECT_EQ(ImportJumpSlot(back, 0x1000, true), uintptr_t(0x1000 + 6 - 16));
  EXPECT_EQ(ImportJumpSlot(back, 0x1000, false), uintptr_t(0xFFFFFFF0u));
  const uint8_t call[6] = {0xE8, 0x25, 0, 0, 0, 0};
  EXPECT_EQ(ImportJumpSlot(call, 0x1000, false), 0u);
  EXPECT_EQ(ImportJumpSlot(call, 0x1000, true), 0u);
}

TEST_F(Pages, ResolveImportJumpAndCallTargetOnLaidDownBytes) {
  // page 0: a call at 0 to a jump at 0x40, whose slot at 0x80 holds the target.
  uintptr_t at = reinterpret_cast<uintptr_t>(base);
  uintptr_t target = at + 0x200;
  std::memcpy(base + 0x80, &target, sizeof target);
  base[0x40] = 0xFF;
  base[0x41] = 0x25;
#if defined(__x86_64__)
  int32_t operand = 0x80 - (0x40 + 6);
#else
  uint32_t operand = static_cast<uint32_t>(at + 0x80);
#endif
  std::memcpy(base + 0x42, &operand, 4);
  base[0] = 0xE8;
  int32_t displacement = 0x40 - 5;
  std::memcpy(base + 1, &displacement, 4);

  EXPECT_EQ(ResolveImportJump(at + 0x40), target);
  EXPECT_EQ(CallTargetOf(at), target);
  // A call to plain code is its own target.
  displacement = 0x100 - 5;
  std::memcpy(base + 1, &displacement, 4);
  EXPECT_EQ(CallTargetOf(at), at + 0x100);
  // A jump whose slot is not readable is left as it is.
  Protect(2, PAGE_NOACCESS);
#if defined(__x86_64__)
  operand = static_cast<int32_t>(2 * page - (0x40 + 6));
#else
  operand = static_cast<uint32_t>(at + 2 * page);
#endif
  std::memcpy(base + 0x42, &operand, 4);
  EXPECT_EQ(ResolveImportJump(at + 0x40), at + 0x40);
  // Code at the end of the readable memory.
  base[page - 2] = 0xFF;
  base[page - 1] = 0x25;
  Protect(1, PAGE_NOACCESS);
  EXPECT_EQ(ResolveImportJump(at + page - 2), at + page - 2);
  EXPECT_EQ(CallTargetOf(at + page - 2), 0u);
}

}  // namespace
