#include "hooking/InstructionDecoder.h"

#include <array>

namespace RevavaRez {

namespace {

using TClassTable = std::array<uint8_t, 256>;

constexpr uint8_t HexValue(char digit) {
  return static_cast<uint8_t>(digit <= '9' ? digit - '0' : digit - 'a' + 10);
}

// Sixteen rows of sixteen class digits, as the opcode maps print them.
constexpr TClassTable MakeTable(const char (&rows)[257]) {
  TClassTable table{};
  for (int i = 0; i < 256; ++i) table[i] = HexValue(rows[i]);
  return table;
}

constexpr TClassTable OneByteMap = MakeTable(
    "eeee1b00eeee1b0f"    // 0
    "eeee1b00eeee1b00"    // 1
    "eeee1bf0eeee1bf0"    // 2
    "eeee1bf0eeee1bf0"    // 3
    "0000000000000000"    // 4
    "0000000000000000"    // 5
    "00eeffffbe1e0000"    // 6
    "1111111111111111"    // 7
    "eeeeeeeeeeeeeeee"    // 8
    "0000000000d00000"    // 9
    "444400001b000000"    // A
    "11111111bbbbbbbb"    // B
    "ee20eeee30201000"    // C
    "eeee1100eeeeeeee"    // D
    "11111111bbd10000"    // E
    "f0ff00ee000000ee");  // F

constexpr TClassTable TwoByteMap = MakeTable(
    "eeeef00000fffe0f"    // 0
    "eeeeeeeeefffffff"    // 1
    "eeeeffffeeeeeeee"    // 2
    "000000ffffffffff"    // 3
    "eeeeeeeeeeeeeeee"    // 4
    "eeeeeeeeeeeeeeee"    // 5
    "eeeeeeeeeeeeffee"    // 6
    "eeeeeee0ffffffee"    // 7
    "bbbbbbbbbbbbbbbb"    // 8
    "eeeeeeeeeeeeeeee"    // 9
    "000eeeee000eeeee"    // A
    "eeeeeeeeffeeeeee"    // B
    "eeeeeeee00000000"    // C
    "feeeeefeeeeeeeee"    // D
    "eeeeeefeeeeeeeee"    // E
    "feeeeeeeeeeeeeef");  // F

// Opcodes that 64-bit mode dropped or gave to other encodings (VEX among them).
constexpr uint8_t Invalid64[] = {0x06, 0x07, 0x0E, 0x16, 0x17, 0x1E, 0x1F, 0x27, 0x2F, 0x37, 0x3F, 0x60,
                                 0x61, 0x62, 0x82, 0x9A, 0xC4, 0xC5, 0xCE, 0xD4, 0xD5, 0xD6, 0xEA};

constexpr bool InInvalid64(uint8_t opcode) {
  for (uint8_t invalid : Invalid64)
    if (invalid == opcode) return true;
  return false;
}

}  // namespace

uint8_t OneByteClass(uint8_t opcode, bool x86_64) {
  if (x86_64 && InInvalid64(opcode)) return icInvalid;
  return OneByteMap[opcode];
}

uint8_t TwoByteClass(uint8_t opcode, bool x86_64) {
  // The compiler pads 64-bit code with the multi-byte no-ops 0F 19 to 0F 1F.
  if (x86_64 && opcode >= 0x19 && opcode <= 0x1F) return icModRM;
  return TwoByteMap[opcode];
}

bool IsPrefixByte(uint8_t byte, bool x86_64) {
  switch (byte) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3:
      return true;
    default:
      return x86_64 && byte >= 0x40 && byte <= 0x4F;  // REX
  }
}

bool IsShortBranchOpcode(uint8_t opcode) {
  return (opcode >= 0x70 && opcode <= 0x7F) || (opcode >= 0xE0 && opcode <= 0xE3) || opcode == 0xEB;
}

bool IsNearBranchOpcode(uint8_t opcode, bool twoByte) {
  return twoByte ? opcode >= 0x80 && opcode <= 0x8F : opcode == 0xE8 || opcode == 0xE9;
}

bool IsReturnClassOpcode(uint8_t opcode) { return opcode >= 0xC2 && opcode <= 0xCB; }

namespace {

// LES and LDS in 32-bit code; the two VEX prefixes in 64-bit code.
bool IsVexPrefix64(uint8_t opcode) { return opcode == 0xC4 || opcode == 0xC5; }

}  // namespace

uint32_t ModRMOperandSize(uint8_t modRM, uint8_t sib, uint8_t opcode, bool twoByte,
                          const TOperandPrefixes& prefixes) {
  const uint8_t mod = modRM >> 6, reg = (modRM >> 3) & 7, rm = modRM & 7;
  uint32_t size = 0;
  // 0x67 means 16-bit addressing only in 32-bit code; in 64-bit code it
  // selects 32-bit addressing, which is encoded like 64-bit addressing.
  if (prefixes.AddressSize && !prefixes.x86_64) {
    switch (mod) {
      case 0:
        size = rm == 6 ? 2 : 0;
        break;
      case 1:
        size = 1;
        break;
      case 2:
        size = 2;
        break;
      default:
        size = 0;
        break;
    }
  } else {
    switch (mod) {
      case 0:
        if (rm == 5)
          size = 4;
        else if (rm == 4)
          size = (sib & 7) == 5 ? 5 : 1;
        break;
      case 1:
        size = rm == 4 ? 2 : 1;
        break;
      case 2:
        size = rm == 4 ? 5 : 4;
        break;
      default:
        size = 0;
        break;
    }
  }
  // REX.W overrides 0x66 for the immediates it would shorten.
  const uint32_t wordOrLong = prefixes.OperandSize && !prefixes.RexW ? 2 : 4;
  if (!twoByte) {
    switch (opcode) {
      case 0x6B:
      case 0x80:
      case 0x82:
      case 0x83:
      case 0xC0:
      case 0xC1:
      case 0xC6:
        size += 1;
        break;
      case 0x69:
      case 0x81:
      case 0xC7:
        size += wordOrLong;
        break;
      case 0xF6:
        if (reg == 0) size += 1;
        break;
      case 0xF7:
        if (reg == 0) size += wordOrLong;
        break;
      default:
        break;
    }
  } else {
    switch (opcode) {
      case 0x70:
      case 0x71:
      case 0x72:
      case 0x73:
      case 0xA4:
      case 0xAC:
      case 0xBA:
      case 0xC2:
      case 0xC4:
      case 0xC5:
      case 0xC6:
        size += 1;
        break;
      default:
        break;
    }
  }
  return size;
}

TInstruction DecodeInstruction(const uint8_t* code, size_t available, bool x86_64) {
  TInstruction result;
  TOperandPrefixes prefixes;
  prefixes.x86_64 = x86_64;
  size_t at = 0;
  // Fifteen bytes is the longest instruction; more prefixes than that is
  // not an instruction at all.
  while (at < available && at < 15 && IsPrefixByte(code[at], x86_64)) {
    uint8_t prefix = code[at++];
    if (prefix == 0x66) prefixes.OperandSize = true;
    if (prefix == 0x67) prefixes.AddressSize = true;
    if (prefix >= 0x40 && prefix <= 0x4F) prefixes.RexW = (prefix & 8) != 0;
  }
  if (at >= 15) return result;
  if (at >= available) {
    result.Truncated = true;
    return result;
  }
  result.PrefixLength = static_cast<uint32_t>(at);
  uint8_t opcode = code[at++];
  uint8_t cls;
  if (opcode == 0x0F) {
    if (at >= available) {
      result.Truncated = true;
      return result;
    }
    result.TwoByte = true;
    opcode = code[at++];
    cls = TwoByteClass(opcode, x86_64);
  } else {
    cls = OneByteClass(opcode, x86_64);
  }
  result.Opcode = opcode;
  const uint32_t opcodeEnd = static_cast<uint32_t>(at);
  uint32_t length;
  switch (cls) {
    case icInvalid:
      return result;
    case icModRM: {
      if (at >= available) {
        result.Truncated = true;
        return result;
      }
      uint8_t modRM = code[at];
      uint8_t sib = 0;
      bool needsSib = (modRM >> 6) != 3 && (modRM & 7) == 4 && !(prefixes.AddressSize && !x86_64);
      if (needsSib) {
        if (at + 1 >= available) {
          result.Truncated = true;
          return result;
        }
        sib = code[at + 1];
      }
      length = opcodeEnd + 1 + ModRMOperandSize(modRM, sib, opcode, result.TwoByte, prefixes);
      if (x86_64 && (modRM >> 6) == 0 && (modRM & 7) == 5)
        result.RipDisplacementOffset = int32_t(opcodeEnd + 1);
      break;
    }
    case icImm4Or2:
      if (x86_64 && prefixes.RexW && !result.TwoByte && opcode >= 0xB8 && opcode <= 0xBF)
        length = opcodeEnd + 8;  // mov r64, imm64
      else
        length = opcodeEnd + (prefixes.OperandSize && !(x86_64 && prefixes.RexW) ? 2 : 4);
      break;
    case icFarPointer:
      length = opcodeEnd + (prefixes.OperandSize ? 4 : 6);
      break;
    default:
      // The moffs forms take a full address in 64-bit code.
      if (x86_64 && !result.TwoByte && opcode >= 0xA0 && opcode <= 0xA3)
        length = opcodeEnd + (prefixes.AddressSize ? 4 : 8);
      else
        length = opcodeEnd + cls;
      break;
  }
  if (length > 15) return result;
  if (length > available) {
    result.Truncated = true;
    return result;
  }
  result.Decodable = true;
  result.Length = length;
  return result;
}

size_t CodeSizeToReturn(const uint8_t* code, size_t available, size_t limit, bool x86_64) {
  if (limit == 0) return 0;
  size_t position = 0;
  while (position < limit) {
    if (position >= available) return 0;
    TInstruction instruction = DecodeInstruction(code + position, available - position, x86_64);
    if (instruction.Truncated) return 0;
    if (!instruction.Decodable) {
      // The opcode after the prefixes still tells a return. In 64-bit code
      // C4 and C5 begin VEX-coded instructions (AVX), which the maps do not
      // describe: such a byte counts as one like any undecodable byte, or the
      // export sizes of AVX code would end at their first vector instruction.
      size_t at = position;
      while (at < available && IsPrefixByte(code[at], x86_64)) ++at;
      if (at < available && IsReturnClassOpcode(code[at]) && !(x86_64 && IsVexPrefix64(code[at])))
        return at + 1;
      ++position;
      continue;
    }
    position += instruction.Length;
    if (!instruction.TwoByte && IsReturnClassOpcode(instruction.Opcode)) return position;
  }
  return 1;
}

}  // namespace RevavaRez
