// The instruction decoder and the trampoline bytes, in both modes, on byte
// images at arbitrary addresses: nothing here executes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hooking/InstructionDecoder.h"
#include "hooking/TrampolineCode.h"

using namespace RevavaRez;

namespace {

using TBytes = std::vector<uint8_t>;

std::string Hex(const TBytes& bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += Digits[byte >> 4];
    text += Digits[byte & 15];
  }
  return text;
}

TBytes Concat(std::initializer_list<TBytes> parts) {
  TBytes all;
  for (const TBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TBytes Le32(int64_t value) {
  TBytes bytes(4);
  uint32_t word = static_cast<uint32_t>(value);
  std::memcpy(bytes.data(), &word, 4);
  return bytes;
}

TBytes Le64(uint64_t value) {
  TBytes bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

TBytes Jump(uint64_t from, uint64_t to) { return Concat({{0xE9}, Le32(int64_t(to - from - 5))}); }
TBytes Relay(uint64_t destination) { return Concat({{0xFF, 0x25, 0, 0, 0, 0}, Le64(destination)}); }

enum TModes { i686Only = 1, x64Only = 2, BothModes = 3 };

}  // namespace

TEST(Decoder, InstructionLengthsInBothModes) {
  const TBytes imm32 = {0x78, 0x56, 0x34, 0x12};
  const struct {
    const char* what;
    int modes;
    TBytes code;
    uint32_t length;  // 0: not decodable
    int32_t rip = -1;
  } cases[] = {
      {"66 B8 imm16", BothModes, {0x66, 0xB8, 0x34, 0x12}, 4},
      {"B8 imm32", BothModes, Concat({{0xB8}, imm32}), 5},
      {"8B 44 24 08", BothModes, {0x8B, 0x44, 0x24, 0x08}, 4},
      {"0F 84 rel32", BothModes, Concat({{0x0F, 0x84}, imm32}), 6},
      {"SIB without base", BothModes, Concat({{0x8B, 0x04, 0x25}, imm32}), 7},
      {"SIB", BothModes, {0x8B, 0x04, 0x24}, 3},
      {"SIB with disp32", BothModes, Concat({{0x8B, 0x84, 0x24}, imm32}), 7},
      {"16-bit mod 0 r/m 6", i686Only, {0x67, 0x8B, 0x06, 0x34, 0x12}, 5},
      {"16-bit mod 1", i686Only, {0x67, 0x8B, 0x47, 0x10}, 4},
      {"16-bit mod 2", i686Only, {0x67, 0x8B, 0x87, 0x34, 0x12}, 5},
      {"67 is 32-bit addressing in 64-bit code", x64Only, {0x67, 0x8B, 0x06}, 3},
      {"F6 reg 0 takes imm8", BothModes, {0xF6, 0xC0, 0x05}, 3},
      {"F6 reg 2 takes none", BothModes, {0xF6, 0xD0}, 2},
      {"F7 reg 0 takes imm32", BothModes, Concat({{0xF7, 0xC0}, imm32}), 6},
      {"66 F7 reg 0 takes imm16", BothModes, {0x66, 0xF7, 0xC0, 0x34, 0x12}, 5},
      {"F7 reg 3 takes none", BothModes, {0xF7, 0xD8}, 2},
      {"prefixes counted", BothModes, {0x2E, 0x3E, 0x66, 0xB8, 0x34, 0x12}, 6},
      {"lock cmpxchg", BothModes, {0xF0, 0x0F, 0xB1, 0x0A}, 4},
      {"enter", BothModes, {0xC8, 0x10, 0x00, 0x00}, 4},
      {"ud2", BothModes, {0x0F, 0x0B}, 0},
      {"three-byte map", BothModes, {0x0F, 0x38, 0x00, 0xC1}, 0},
      {"daa", i686Only, {0x27}, 1},
      {"daa", x64Only, {0x27}, 0},
      {"push es", x64Only, {0x06}, 0},
      {"48 is dec eax", i686Only, {0x48, 0x8B, 0x44, 0x24, 0x08}, 1},
      {"REX.W mov", x64Only, {0x48, 0x8B, 0x44, 0x24, 0x08}, 5},
      {"mov r64, imm64", x64Only, Concat({{0x48, 0xB8}, imm32, imm32}), 10},
      {"REX without W", x64Only, Concat({{0x41, 0xB8}, imm32}), 6},
      {"REX.W mov r/m, imm32", x64Only, Concat({{0x48, 0xC7, 0xC0}, imm32}), 7},
      {"REX.W beats 66", x64Only, Concat({{0x66, 0x48, 0xC7, 0xC0}, imm32}), 8},
      {"REX.W beats 66 on class 11", x64Only, Concat({{0x66, 0x48, 0x05}, imm32}), 7},
      {"lea rax, [rip+disp]", x64Only, Concat({{0x48, 0x8D, 0x05}, imm32}), 7, 3},
      {"cmp byte [rip+disp], imm8", x64Only, Concat({{0x80, 0x3D}, imm32, {0x00}}), 7, 2},
      {"mov eax, [disp32]", i686Only, Concat({{0x8B, 0x05}, imm32}), 6},
      {"A1 moffs", i686Only, Concat({{0xA1}, imm32}), 5},
      {"A1 moffs64", x64Only, Concat({{0xA1}, imm32, imm32}), 9},
      {"67 A1 moffs32", x64Only, Concat({{0x67, 0xA1}, imm32}), 6},
      {"multi-byte no-op", x64Only, {0x0F, 0x1F, 0x44, 0x00, 0x00}, 5},
      {"multi-byte no-op", i686Only, {0x0F, 0x1F, 0x44, 0x00, 0x00}, 0},
      {"66 multi-byte no-op", x64Only, {0x66, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00}, 9},
  };
  for (const auto& c : cases) {
    for (bool x86_64 : {false, true}) {
      if (!(c.modes & (x86_64 ? x64Only : i686Only))) continue;
      TInstruction instruction = DecodeInstruction(c.code.data(), c.code.size(), x86_64);
      SCOPED_TRACE(std::string(c.what) + (x86_64 ? " (x86_64)" : " (i686)"));
      EXPECT_EQ(instruction.Decodable, c.length != 0);
      EXPECT_FALSE(instruction.Truncated);
      EXPECT_EQ(instruction.Length, c.length);
      EXPECT_EQ(instruction.RipDisplacementOffset, c.rip);
    }
  }
}

TEST(Decoder, BytesThatRunOutAreTruncatedNotMisread) {
  const TBytes code = {0x66, 0x8B, 0x84, 0x24, 0x10, 0x00, 0x00, 0x00};
  for (bool x86_64 : {false, true}) {
    for (size_t available = 0; available < code.size(); ++available) {
      TInstruction instruction = DecodeInstruction(code.data(), available, x86_64);
      EXPECT_FALSE(instruction.Decodable) << available;
      EXPECT_TRUE(instruction.Truncated) << available;
    }
    EXPECT_EQ(DecodeInstruction(code.data(), code.size(), x86_64).Length, 8u);
  }
}

TEST(Decoder, CodeSizeToReturn) {
  const TBytes frame32 = {0x55, 0x8B, 0xEC, 0x5D, 0xC3, 0xCC};
  const TBytes frame64 = {0x55, 0x48, 0x89, 0xE5, 0x5D, 0xC2, 0x08, 0x00, 0xCC};
  const TBytes noReturn = {0x90, 0x90, 0x90, 0x90, 0x90};
  EXPECT_EQ(CodeSizeToReturn(frame32.data(), frame32.size(), 100, false), 5u);
  EXPECT_EQ(CodeSizeToReturn(frame64.data(), frame64.size(), 100, true), 8u);
  EXPECT_EQ(CodeSizeToReturn(frame32.data(), frame32.size(), 0, false), 0u);
  EXPECT_EQ(CodeSizeToReturn(noReturn.data(), noReturn.size(), 4, true), 1u);
  // The return must start within the limit; it may end beyond it.
  EXPECT_EQ(CodeSizeToReturn(frame32.data(), frame32.size(), 5, false), 5u);
  EXPECT_EQ(CodeSizeToReturn(frame32.data(), frame32.size(), 4, false), 1u);
  // The readable bytes end before a return: a fault.
  EXPECT_EQ(CodeSizeToReturn(noReturn.data(), noReturn.size(), 100, false), 0u);
  // An undecodable byte counts as one.
  const TBytes withInvalid = {0x06, 0x1E, 0xC3};
  EXPECT_EQ(CodeSizeToReturn(withInvalid.data(), withInvalid.size(), 10, true), 3u);
  // In 64-bit code C4 and C5 begin AVX instructions, not returns: each counts
  // as one byte and the walk goes on (vmovaps ymm0, ymm1; ret and
  // vbroadcastss ymm0, xmm0; ret).
  const TBytes vex2 = {0xC5, 0xFC, 0x28, 0xC1, 0xC3, 0xCC};
  const TBytes vex3 = {0xC4, 0xE2, 0x7D, 0x18, 0xC0, 0xC3, 0xCC};
  EXPECT_EQ(CodeSizeToReturn(vex2.data(), vex2.size(), 100, true), 5u);
  EXPECT_EQ(CodeSizeToReturn(vex3.data(), vex3.size(), 100, true), 6u);
  const TBytes rexVex = {0x40, 0xC5, 0xC3};  // a prefix before it changes nothing
  EXPECT_EQ(CodeSizeToReturn(rexVex.data(), rexVex.size(), 100, true), 3u);
}

namespace {

struct TTrampolineCase {
  const char* what;
  int modes;
  TBytes code;
  uint64_t target, trampoline;
  uint32_t moved;
  TBytes expected;  // the trampoline and its jump back, without the relay
};

}  // namespace

TEST(Trampoline, BytesInBothModes) {
  const uint64_t replacement = 0x00507000;
  auto cases = [](bool x86_64) {
    const uint64_t t = x86_64 ? 0x00007FF612340000ull : 0x00401000,
                   p = x86_64 ? 0x00007FF612300000ull : 0x10000000;
    const uint64_t far = x86_64 ? 0x00007FF600000000ull : 0x00400000;  // a call's destination
    std::vector<TTrampolineCase> list = {
        {"plain 32-bit prologue",
         i686Only,
         {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0xCC},
         t,
         p,
         6,
         Concat({{0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10}, Jump(p + 6, t + 6)})},
        {"plain 64-bit prologue",
         x64Only,
         {0x55, 0x48, 0x89, 0xE5, 0x48, 0x83, 0xEC, 0x20, 0xCC},
         t,
         p,
         8,
         Concat({{0x55, 0x48, 0x89, 0xE5, 0x48, 0x83, 0xEC, 0x20}, Jump(p + 8, t + 8)})},
        // test eax, eax; jz +16; nop: the branch leaves the 5 bytes, so its
        // displacement reaches a stub after the jump back.
        {"short branch out",
         BothModes,
         {0x85, 0xC0, 0x74, 0x10, 0x90, 0xCC},
         t,
         p,
         5,
         Concat({{0x85, 0xC0, 0x74, 0x06, 0x90}, Jump(p + 5, t + 5), Jump(p + 10, t + 4 + 0x10)})},
        {"short branch back",
         BothModes,
         {0x90, 0x90, 0x90, 0x75, 0xF0, 0xCC},
         t,
         p,
         5,
         Concat({{0x90, 0x90, 0x90, 0x75, 0x05}, Jump(p + 5, t + 5), Jump(p + 10, t + 5 - 16)})},
        {"short branch within",
         BothModes,
         {0x74, 0x01, 0x90, 0x90, 0x90, 0xCC},
         t,
         p,
         5,
         Concat({{0x74, 0x01, 0x90, 0x90, 0x90}, Jump(p + 5, t + 5)})},
        // mov ecx, [esp + 4]; jecxz +6: the branch ends the moved bytes.
        {"jecxz out after a load",
         BothModes,
         {0x8B, 0x4C, 0x24, 0x04, 0xE3, 0x06, 0xCC},
         t,
         p,
         6,
         Concat({{0x8B, 0x4C, 0x24, 0x04, 0xE3, 0x05}, Jump(p + 6, t + 6), Jump(p + 11, t + 6 + 6)})},
        {"near call", BothModes, Concat({{0xE8}, Le32(int64_t(far - (t + 5))), {0xCC}}), t, p, 5,
         Concat({{0xE8}, Le32(int64_t(far - (p + 5))), Jump(p + 5, t + 5)})},
        {"near conditional jump", BothModes, Concat({{0x0F, 0x85}, Le32(0x100), {0xCC}}), t, p, 6,
         Concat({{0x0F, 0x85}, Le32(int64_t(t + 6 + 0x100 - (p + 6))), Jump(p + 6, t + 6)})},
        {"RIP-relative load", x64Only, Concat({{0x48, 0x8B, 0x05}, Le32(0x2000), {0xCC}}), t, p, 7,
         Concat({{0x48, 0x8B, 0x05}, Le32(int64_t(t + 7 + 0x2000 - (p + 7))), Jump(p + 7, t + 7)})},
        // In 32-bit code the same bytes address an absolute location.
        {"absolute load", i686Only, Concat({{0x8B, 0x05}, Le32(0x2000), {0xCC}}), t, p, 6,
         Concat({{0x8B, 0x05}, Le32(0x2000), Jump(p + 6, t + 6)})},
    };
    return list;
  };
  for (bool x86_64 : {false, true}) {
    for (const TTrampolineCase& c : cases(x86_64)) {
      if (!(c.modes & (x86_64 ? x64Only : i686Only))) continue;
      SCOPED_TRACE(std::string(c.what) + (x86_64 ? " (x86_64)" : " (i686)"));
      uint32_t n = MovedCodeLength(c.code.data(), c.code.size(), x86_64);
      ASSERT_EQ(n, c.moved);
      TBytes block;
      ASSERT_TRUE(BuildTrampolineBytes(c.code.data(), n, c.target, c.trampoline, replacement, x86_64, block));
      uint32_t size = TrampolineSize(c.code.data(), n, c.target, x86_64);
      EXPECT_EQ(size + JumpSize, c.expected.size());
      TBytes relay;
      if (x86_64) {
        ASSERT_EQ(block.size(), c.expected.size() + RelaySize);
        relay.assign(block.end() - RelaySize, block.end());
        block.resize(block.size() - RelaySize);
        EXPECT_EQ(Hex(relay), Hex(Relay(replacement)));
      }
      EXPECT_EQ(Hex(block), Hex(c.expected));
    }
  }
}

TEST(Trampoline, RefusesCodeThatCannotBeMoved) {
  const TBytes refused[] = {
      {0x0F, 0x0B, 0x90, 0x90, 0x90, 0x90},  // undecodable within the first 5 bytes
      {0xC3, 0x90, 0x90, 0x90, 0x90, 0x90},  // a routine shorter than the jump
      {0x33, 0xC0, 0xC3, 0xCC, 0xCC, 0xCC},
      {0x90, 0xC2, 0x04, 0x00, 0xCC, 0xCC},  // ret 4 ends before the fifth byte
      {0x90, 0x90, 0x90},                    // the bytes end first
      // Unconditional jumps that end before the fifth byte: what follows
      // them may be the next routine.
      {0xEB, 0x10, 0xCC, 0xCC, 0xCC, 0xCC},        // jmp short
      {0x33, 0xC0, 0xEB, 0xF0, 0xCC, 0xCC},        // xor eax, eax; jmp short back
      {0xFF, 0xE0, 0xCC, 0xCC, 0xCC, 0xCC},        // jmp eax (FF /4)
      {0xFF, 0x64, 0x24, 0x04, 0xCC, 0xCC},        // jmp [esp + 4] (FF /4)
      {0x90, 0xFF, 0x28, 0xCC, 0xCC, 0xCC},        // jmp far [eax] (FF /5)
      {0x66, 0xE9, 0x10, 0x00, 0xCC, 0xCC, 0xCC},  // jmp rel16
  };
  for (bool x86_64 : {false, true})
    for (const TBytes& code : refused)
      EXPECT_EQ(MovedCodeLength(code.data(), code.size(), x86_64), 0u) << Hex(code);
  // A return or jump whose last byte is the fifth is a routine of 5 bytes;
  // other FF forms (call, push) are no jumps; a jump beyond the fifth byte is
  // moved like any instruction.
  const struct {
    TBytes code;
    uint32_t moved;
  } accepted[] = {
      {{0x90, 0x90, 0x90, 0x90, 0xC3}, 5},
      {{0x90, 0x90, 0x90, 0xEB, 0x10}, 5},
      {{0xFF, 0xD0, 0x90, 0x90, 0x90}, 5},              // call eax (FF /2)
      {{0xFF, 0x30, 0x90, 0x90, 0x90}, 5},              // push [eax] (FF /6)
      {{0xFF, 0x25, 0x00, 0x10, 0x00, 0x00, 0xCC}, 6},  // jmp [disp32]
  };
  for (bool x86_64 : {false, true})
    for (const auto& c : accepted)
      EXPECT_EQ(MovedCodeLength(c.code.data(), c.code.size(), x86_64), c.moved) << Hex(c.code);

  // x86_64: displacements that no longer fit from a trampoline 3 GB away.
  const uint64_t t = 0x00007FF612340000ull, p = t + 0xC0000000ull;
  const TBytes load = {0x48, 0x8B, 0x05, 0x00, 0x20, 0x00, 0x00, 0xCC};
  const TBytes call = {0xE8, 0x00, 0x10, 0x00, 0x00, 0xCC};
  const TBytes plain = {0x55, 0x48, 0x89, 0xE5, 0x48, 0x83, 0xEC, 0x20};
  TBytes block;
  EXPECT_FALSE(BuildTrampolineBytes(load.data(), 7, t, p, 0, true, block));
  EXPECT_FALSE(BuildTrampolineBytes(call.data(), 5, t, p, 0, true, block));
  EXPECT_FALSE(BuildTrampolineBytes(plain.data(), 8, t, p, 0, true, block));  // the jump back
  // The same distance is no distance in 32-bit code, where addresses wrap.
  EXPECT_TRUE(BuildTrampolineBytes(call.data(), 5, 0x00401000, 0xF0401000u, 0, false, block));
}

TEST(Trampoline, JumpBytes) {
  uint8_t jump[5];
  ASSERT_TRUE(JumpBytes(jump, 0x1000, 0x2000, true));
  EXPECT_EQ(Hex(TBytes(jump, jump + 5)), "E9 FB 0F 00 00");
  ASSERT_TRUE(JumpBytes(jump, 0x00401000, 0x00400000, false));
  EXPECT_EQ(Hex(TBytes(jump, jump + 5)), "E9 FB EF FF FF");
  // Wrapping at 4 GB in 32-bit code.
  ASSERT_TRUE(JumpBytes(jump, 0xFFFFFFF0u, 0x10, false));
  EXPECT_EQ(Hex(TBytes(jump, jump + 5)), "E9 1B 00 00 00");
  EXPECT_FALSE(JumpBytes(jump, 0x1000, 0x1000 + 0x80000005ull, true));
  EXPECT_TRUE(JumpBytes(jump, 0x1000, 0x1000 + 0x80000004ull, true));
}
