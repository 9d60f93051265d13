#include "stack/CallSite.h"

namespace RevavaRez {

namespace {

// A call form through 0xFF: the opcode lies Length bytes before the value,
// followed by the byte tested by Accepts, and for the stack-pointer forms
// by the SIB byte 0x24.
struct TIndirectForm {
  int Length;
  bool (*Accepts)(uint8_t modrm);
  bool StackBased;
};

bool ByRegister(uint8_t m) { return m >= 0xD0 && m <= 0xD7; }
// 0x14 needs a SIB byte and 0x15 is an absolute (i686) or RIP-relative
// operand: both are forms of their own.
bool ByRegisterPointer(uint8_t m) { return (m >= 0x10 && m <= 0x13) || m == 0x16 || m == 0x17; }
// 0x54 and 0x94 need a SIB byte.
bool ByteDisplacement(uint8_t m) { return m >= 0x50 && m <= 0x57 && m != 0x54; }
bool WordDisplacement(uint8_t m) { return m >= 0x90 && m <= 0x97 && m != 0x94; }
bool StackPointer(uint8_t m) { return m == 0x14; }
bool StackByteDisplacement(uint8_t m) { return m == 0x54; }
bool StackWordDisplacement(uint8_t m) { return m == 0x94; }

// In the order they are tried.
const TIndirectForm kIndirectForms[] = {
    {2, ByRegister, false},       {2, ByRegisterPointer, false},      {3, ByteDisplacement, false},
    {6, WordDisplacement, false}, {3, StackPointer, true},            {4, StackByteDisplacement, true},
    {7, StackWordDisplacement, true},
};

uint32_t Word32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t Displaced(uint64_t value, uint32_t displacement, bool x86_64) {
  const uint64_t sum = value + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(displacement)));
  return x86_64 ? sum : (sum & 0xFFFFFFFFu);
}

}  // namespace

TCallSiteMatch MatchCallSite(const uint8_t* before, size_t count, uint64_t value, bool x86_64, TCallSiteRead read,
                             const void* context) {
  TCallSiteMatch match;
  if (before == nullptr) return match;
  // at(k) is the byte k bytes before the value; -1 where it is not given.
  auto at = [&](int k) -> int { return k >= 1 && static_cast<size_t>(k) <= count ? before[count - k] : -1; };
  auto found = [&](int offset) {
    // On x86_64 a REX prefix right before the opcode belongs to the call.
    const int prefix = at(offset + 1);
    if (x86_64 && prefix >= 0x40 && prefix <= 0x4F) ++offset;
    match.EntryOffset = offset;
    return match;
  };
  uint8_t probe[8];

  if (at(5) == 0xE8) {
    const uint64_t target = Displaced(value, Word32(&before[count - 4]), x86_64);
    if (read(context, target, 1, probe)) {
      match.Direct = true;
      match.Target = target;
      match.EntryOffset = 5;
      return match;
    }
  }
  for (const TIndirectForm& form : kIndirectForms) {
    if (at(form.Length) != 0xFF) continue;
    const int modrm = at(form.Length - 1);
    if (modrm < 0 || !form.Accepts(static_cast<uint8_t>(modrm))) continue;
    if (form.StackBased && at(form.Length - 2) != 0x24) continue;
    return found(form.Length);
  }
  if (at(6) == 0xFF && at(5) == 0x15) {
    const uint32_t operand = Word32(&before[count - 4]);
    // The pointer slot: absolute on i686, after the instruction on x86_64.
    const uint64_t slot = x86_64 ? Displaced(value, operand, true) : operand;
    if (read(context, slot, x86_64 ? 8 : 4, probe)) return found(6);
  }
  return match;
}

}  // namespace RevavaRez
