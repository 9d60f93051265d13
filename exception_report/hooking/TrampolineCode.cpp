#include "hooking/TrampolineCode.h"

#include <cstring>

#include "hooking/InstructionDecoder.h"

namespace RevavaRez {

namespace {

// Addresses of 32-bit code wrap at 4 GB.
uint64_t Address(uint64_t value, bool x86_64) { return x86_64 ? value : value & 0xFFFFFFFFu; }

bool IsRealReturn(const TInstruction& instruction) {
  if (instruction.TwoByte) return false;
  uint8_t opcode = instruction.Opcode;
  return opcode == 0xC2 || opcode == 0xC3 || opcode == 0xCA || opcode == 0xCB;
}

// A jump that always leaves: EB rel8, E9 rel32 (rel16 with 0x66), and the
// indirect near and far jumps FF /4 and FF /5. Code after it need not belong
// to the routine. bytes is where the instruction starts.
bool IsUnconditionalJump(const TInstruction& instruction, const uint8_t* bytes) {
  if (instruction.TwoByte) return false;
  switch (instruction.Opcode) {
    case 0xEB:
    case 0xE9:
      return true;
    case 0xFF: {
      const uint8_t reg = (bytes[instruction.PrefixLength + 1] >> 3) & 7;
      return reg == 4 || reg == 5;
    }
    default:
      return false;
  }
}

// The displacement from next to destination, when it fits in 32 bits.
bool Displacement32(uint64_t destination, uint64_t next, bool x86_64, int32_t& displacement) {
  if (!x86_64) {
    displacement = static_cast<int32_t>(static_cast<uint32_t>(destination - next));
    return true;
  }
  int64_t difference = static_cast<int64_t>(destination - next);
  if (difference < INT32_MIN || difference > INT32_MAX) return false;
  displacement = static_cast<int32_t>(difference);
  return true;
}

int32_t ReadInt32(const uint8_t* bytes) {
  int32_t value;
  std::memcpy(&value, bytes, 4);
  return value;
}

void WriteInt32(uint8_t* bytes, int32_t value) { std::memcpy(bytes, &value, 4); }

bool LeavesMovedCode(uint64_t destination, uint64_t target, uint32_t n) {
  return destination < target || destination >= target + n;
}

}  // namespace

uint32_t MovedCodeLength(const uint8_t* code, size_t available, bool x86_64) {
  uint32_t n = 0;
  while (n < JumpSize) {
    TInstruction instruction = DecodeInstruction(code + n, available > n ? available - n : 0, x86_64);
    if (!instruction.Decodable) return 0;
    const uint8_t* bytes = code + n;
    n += instruction.Length;
    // The routine ends before the jump would: its 5 bytes would overwrite
    // whatever follows, often the next routine.
    if (n < JumpSize && (IsRealReturn(instruction) || IsUnconditionalJump(instruction, bytes))) return 0;
  }
  return n;
}

uint32_t TrampolineSize(const uint8_t* code, uint32_t n, uint64_t target, bool x86_64) {
  uint32_t size = n;
  for (uint32_t at = 0; at < n;) {
    TInstruction instruction = DecodeInstruction(code + at, n - at, x86_64);
    if (!instruction.Decodable) break;
    if (!instruction.TwoByte && IsShortBranchOpcode(instruction.Opcode)) {
      uint64_t next = Address(uint64_t(target) + at + instruction.Length, x86_64);
      uint64_t destination = Address(next + int8_t(code[at + instruction.Length - 1]), x86_64);
      if (LeavesMovedCode(destination, Address(target, x86_64), n)) size += JumpSize;
    }
    at += instruction.Length;
  }
  return size;
}

size_t TrampolineBlockSize(uint32_t trampolineSize, bool x86_64) {
  return trampolineSize + JumpSize + (x86_64 ? RelaySize : 0);
}

bool JumpBytes(uint8_t out[JumpSize], uint64_t from, uint64_t to, bool x86_64) {
  int32_t displacement;
  if (!Displacement32(Address(to, x86_64), Address(uint64_t(from) + JumpSize, x86_64), x86_64, displacement))
    return false;
  out[0] = 0xE9;
  WriteInt32(out + 1, displacement);
  return true;
}

void RelayBytes(uint8_t out[RelaySize], uint64_t destination) {
  static const uint8_t IndirectJump[6] = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(out, IndirectJump, sizeof IndirectJump);
  std::memcpy(out + 6, &destination, 8);
}

bool RelocateCode(uint8_t* trampoline, uint64_t trampolineAddress, uint64_t target, uint32_t n, bool x86_64) {
  const uint64_t from = Address(target, x86_64), to = Address(trampolineAddress, x86_64);
  size_t nextStub = n + JumpSize;
  for (uint32_t at = 0; at < n;) {
    TInstruction instruction = DecodeInstruction(trampoline + at, n - at, x86_64);
    if (!instruction.Decodable) return false;
    uint8_t* bytes = trampoline + at;
    const uint32_t length = instruction.Length;
    const uint64_t oldNext = Address(from + at + length, x86_64), newNext = Address(to + at + length, x86_64);
    if (!instruction.TwoByte && IsShortBranchOpcode(instruction.Opcode)) {
      uint64_t destination = Address(oldNext + int8_t(bytes[length - 1]), x86_64);
      if (LeavesMovedCode(destination, from, n)) {
        uint64_t stub = Address(to + nextStub, x86_64);
        int64_t reach = static_cast<int64_t>(stub - newNext);
        if (!x86_64) reach = static_cast<int32_t>(static_cast<uint32_t>(stub - newNext));
        if (reach < INT8_MIN || reach > INT8_MAX) return false;
        bytes[length - 1] = static_cast<uint8_t>(static_cast<int8_t>(reach));
        if (!JumpBytes(trampoline + nextStub, static_cast<uint64_t>(stub), static_cast<uint64_t>(destination),
                       x86_64))
          return false;
        nextStub += JumpSize;
      }
    } else if (IsNearBranchOpcode(instruction.Opcode, instruction.TwoByte)) {
      // Only the rel32 forms: a 16-bit displacement (0x66) cannot be kept.
      if (length != instruction.PrefixLength + (instruction.TwoByte ? 2u : 1u) + 4u) return false;
      uint64_t destination = Address(oldNext + ReadInt32(bytes + length - 4), x86_64);
      if (LeavesMovedCode(destination, from, n)) {
        int32_t displacement;
        if (!Displacement32(destination, newNext, x86_64, displacement)) return false;
        WriteInt32(bytes + length - 4, displacement);
      }
    } else if (instruction.RipDisplacementOffset >= 0) {
      uint8_t* field = bytes + instruction.RipDisplacementOffset;
      uint64_t destination = oldNext + ReadInt32(field);
      if (LeavesMovedCode(destination, from, n)) {
        int32_t displacement;
        if (!Displacement32(destination, newNext, x86_64, displacement)) return false;
        WriteInt32(field, displacement);
      }
    }
    at += length;
  }
  return true;
}

bool BuildTrampolineBytes(const uint8_t* code, uint32_t n, uint64_t target, uint64_t trampolineAddress,
                          uint64_t replacement, bool x86_64, std::vector<uint8_t>& block) {
  const uint32_t size = TrampolineSize(code, n, target, x86_64);
  block.assign(TrampolineBlockSize(size, x86_64), 0xCC);
  std::memcpy(block.data(), code, n);
  if (!RelocateCode(block.data(), trampolineAddress, target, n, x86_64)) return false;
  if (!JumpBytes(block.data() + n, static_cast<uint64_t>(Address(uint64_t(trampolineAddress) + n, x86_64)),
                 Address(uint64_t(target) + n, x86_64), x86_64))
    return false;
  if (x86_64) RelayBytes(block.data() + RelayOffset(size), replacement);
  return true;
}

}  // namespace RevavaRez
