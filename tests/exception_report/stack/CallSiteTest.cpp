// The call-site matcher on byte images of both architectures: every call
// form, its REX-prefixed forms on x86_64, pointer and target checks through
// the read callback, and bytes that are no call.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "stack/CallSite.h"

using namespace RevavaRez;

namespace {

// The return address every case is matched at, and the one readable range
// (pointer slots and call targets).
constexpr uint64_t kValue = 0x10000;
constexpr uint64_t kReadableFrom = 0x400000, kReadableTo = 0x401000;

bool ReadRange(const void*, uint64_t address, size_t size, void* out) {
  if (address < kReadableFrom || address >= kReadableTo || kReadableTo - address < size) return false;
  std::memset(out, 0xCC, size);
  return true;
}

// Little-endian displacement bytes.
std::vector<uint8_t> Le32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::vector<uint8_t> Bytes(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct TCase {
  const char* What;
  bool X86_64;
  std::vector<uint8_t> Before;  // ending right before kValue, padded in front with 0x90
  int Offset;  // -1: no call
  bool Direct;
};

}  // namespace

TEST(CallSite, EveryFormInBothArchitectures) {
  const uint32_t toReadable = static_cast<uint32_t>(kReadableFrom - kValue);  // value + this is readable
  const uint32_t toUnreadable = 0x00800000;
  const std::vector<uint8_t> none;
  const TCase cases[] = {
      {"direct call", false, Bytes({{0xE8}, Le32(toReadable)}), 5, true},
      {"direct call, unreadable target", false, Bytes({{0xE8}, Le32(toUnreadable)}), -1, false},
      {"call eax", false, {0xFF, 0xD0}, 2, false},
      {"call edi", false, {0xFF, 0xD7}, 2, false},
      {"FF D8 is no near call", false, {0xFF, 0xD8}, -1, false},
      {"call [eax]", false, {0xFF, 0x10}, 2, false},
      {"call [ebx]", false, {0xFF, 0x13}, 2, false},
      {"call [esi]", false, {0xFF, 0x16}, 2, false},
      {"call [edi]", false, {0xFF, 0x17}, 2, false},
      {"FF 14 needs its SIB byte", false, {0xFF, 0x14}, -1, false},
      {"call [ebp+8]", false, {0xFF, 0x55, 0x08}, 3, false},
      {"call [eax+8]", false, {0xFF, 0x50, 0x08}, 3, false},
      {"FF 54 without 24", false, {0xFF, 0x54, 0x08}, -1, false},
      {"call [ecx+disp32]", false, Bytes({{0xFF, 0x91}, Le32(0x100)}), 6, false},
      {"call [ebp+disp32]", false, Bytes({{0xFF, 0x95}, Le32(0x100)}), 6, false},
      {"call [esp]", false, {0xFF, 0x14, 0x24}, 3, false},
      {"call [esp+8]", false, {0xFF, 0x54, 0x24, 0x08}, 4, false},
      {"call [esp+disp32]", false, Bytes({{0xFF, 0x94, 0x24}, Le32(0x100)}), 7, false},
      {"call [abs32], readable pointer", false, Bytes({{0xFF, 0x15}, Le32(uint32_t(kReadableFrom))}), 6, false},
      {"call [abs32], unreadable pointer", false, Bytes({{0xFF, 0x15}, Le32(toReadable)}), -1, false},
      {"no REX prefix on i686", false, {0x41, 0xFF, 0xD0}, 2, false},
      {"plain bytes", false, {0x8B, 0x45, 0x08, 0x89, 0x04, 0x24}, -1, false},
      {"nothing given", false, none, -1, false},

      {"direct call", true, Bytes({{0xE8}, Le32(toReadable)}), 5, true},
      {"direct call after a 0x48 byte", true, Bytes({{0x48, 0xE8}, Le32(toReadable)}), 5, true},
      {"direct call, unreadable target", true, Bytes({{0xE8}, Le32(toUnreadable)}), -1, false},
      {"call rax", true, {0xFF, 0xD0}, 2, false},
      {"call r8", true, {0x41, 0xFF, 0xD0}, 3, false},
      {"call [rbx]", true, {0x48, 0xFF, 0x13}, 3, false},
      {"call [r8+8]", true, {0x41, 0xFF, 0x50, 0x08}, 4, false},
      {"call [rbp+disp32]", true, Bytes({{0xFF, 0x95}, Le32(0x100)}), 6, false},
      {"call [r13+disp32]", true, Bytes({{0x41, 0xFF, 0x95}, Le32(0x100)}), 7, false},
      {"call [rsp]", true, {0x48, 0xFF, 0x14, 0x24}, 4, false},
      {"call [rsp+8]", true, {0xFF, 0x54, 0x24, 0x08}, 4, false},
      {"call [rsp+8] with REX", true, {0x48, 0xFF, 0x54, 0x24, 0x08}, 5, false},
      {"call [rsp+disp32]", true, Bytes({{0xFF, 0x94, 0x24}, Le32(0x100)}), 7, false},
      {"call [rsp+disp32] with REX", true, Bytes({{0x48, 0xFF, 0x94, 0x24}, Le32(0x100)}), 8, false},
      {"call [rip+disp32], readable pointer", true, Bytes({{0xFF, 0x15}, Le32(toReadable)}), 6, false},
      {"call [rip+disp32] with REX", true, Bytes({{0x48, 0xFF, 0x15}, Le32(toReadable)}), 7, false},
      // The absolute operand that i686 would accept is no RIP-relative one.
      {"call [rip+disp32], unreadable pointer", true, Bytes({{0xFF, 0x15}, Le32(uint32_t(kReadableFrom))}), -1,
       false},
      {"RIP-relative pointer of 8 bytes, 4 readable", true,
       Bytes({{0xFF, 0x15}, Le32(uint32_t(kReadableTo - 4 - kValue))}), -1, false},
      {"plain bytes", true, {0x48, 0x89, 0x44, 0x24, 0x08, 0xC3}, -1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.What) + (c.X86_64 ? " (x86_64)" : " (i686)"));
    std::vector<uint8_t> before(kCallSiteLookBehind, 0x90);
    ASSERT_LE(c.Before.size(), before.size());
    std::copy(c.Before.begin(), c.Before.end(), before.end() - static_cast<std::ptrdiff_t>(c.Before.size()));
    const size_t count = c.Before.empty() ? 0 : before.size();
    const TCallSiteMatch match = MatchCallSite(before.data(), count, kValue, c.X86_64, ReadRange, nullptr);
    EXPECT_EQ(match.EntryOffset, c.Offset);
    EXPECT_EQ(match.Direct, c.Direct);
    if (c.Direct) {
      EXPECT_EQ(match.Target, kReadableFrom);
    }
  }
}

TEST(CallSite, FewerBytesLeaveTheLongerFormsUnmatched) {
  // "FF 94 24 disp32" needs seven bytes; six are given.
  const std::vector<uint8_t> bytes = Bytes({{0xFF, 0x94, 0x24}, Le32(0x100)});
  EXPECT_EQ(MatchCallSite(bytes.data() + 1, 6, kValue, false, ReadRange, nullptr).EntryOffset, -1);
  EXPECT_EQ(MatchCallSite(bytes.data(), 7, kValue, false, ReadRange, nullptr).EntryOffset, 7);
}

TEST(CallSite, DirectTargetsWrapAt32BitsOnI686) {
  // Forwards from a high value: the sum wraps into the readable range only
  // where addresses have 32 bits.
  const uint64_t value = 0xFFFFF000;
  const std::vector<uint8_t> bytes = Bytes({{0x90, 0x90, 0xE8}, Le32(uint32_t(kReadableFrom + 0x1000))});
  const TCallSiteMatch i686 = MatchCallSite(bytes.data(), bytes.size(), value, false, ReadRange, nullptr);
  EXPECT_EQ(i686.EntryOffset, 5);
  EXPECT_EQ(i686.Target, kReadableFrom);
  EXPECT_EQ(MatchCallSite(bytes.data(), bytes.size(), value, true, ReadRange, nullptr).EntryOffset, -1);
}
