#pragma once
// The length decoder of x86 instructions, used to move whole instructions
// into trampolines and to measure routines. Pure byte work: the mode
// (i686 or x86_64) is an argument, so both forms run on byte images.
#include <cstddef>
#include <cstdint>

namespace RevavaRez {

// The instruction classes of the opcode maps: 0 to 4 immediate bytes follow;
// a 4-byte immediate (2 with 0x66); a 6-byte far pointer (4 with 0x66); a
// ModRM byte follows; not decodable.
enum : uint8_t { icImm4Or2 = 11, icFarPointer = 13, icModRM = 14, icInvalid = 15 };

// The class of an opcode of the one-byte map, or of the two-byte map (after
// 0x0F), in the given mode.
uint8_t OneByteClass(uint8_t opcode, bool x86_64);
uint8_t TwoByteClass(uint8_t opcode, bool x86_64);

bool IsPrefixByte(uint8_t byte, bool x86_64);
bool IsShortBranchOpcode(uint8_t opcode);  // one-byte map
bool IsNearBranchOpcode(uint8_t opcode, bool twoByte);
bool IsReturnClassOpcode(uint8_t opcode);  // one-byte map, 0xC2 to 0xCB

struct TInstruction {
  bool Decodable = false;
  // The bytes ran out before the instruction did (a fault for live code).
  bool Truncated = false;
  uint32_t Length = 0;
  uint32_t PrefixLength = 0;
  bool TwoByte = false;
  uint8_t Opcode = 0;
  // x86_64 only: where a RIP-relative 32-bit displacement sits in the
  // instruction, or -1.
  int32_t RipDisplacementOffset = -1;
};

struct TOperandPrefixes {
  bool OperandSize = false;  // 0x66
  bool AddressSize = false;  // 0x67
  bool RexW = false;
  bool x86_64 = false;
};

// The bytes after the ModRM byte: SIB, displacement and the immediates that
// the opcode adds.
uint32_t ModRMOperandSize(uint8_t modRM, uint8_t sib, uint8_t opcode, bool twoByte,
                          const TOperandPrefixes& prefixes);

// Decodes the instruction at code, reading at most available bytes.
TInstruction DecodeInstruction(const uint8_t* code, size_t available, bool x86_64);

// The length from code up to and including the first instruction of the
// return class that starts within limit bytes (an undecodable byte counts
// as one); 1 when there is none, 0 for a limit of 0 or when the readable
// bytes end first.
size_t CodeSizeToReturn(const uint8_t* code, size_t available, size_t limit, bool x86_64);

}  // namespace RevavaRez
