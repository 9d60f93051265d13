#pragma once
// The bytes of a code hook's trampoline: the instructions moved from the
// target with their branches and RIP-relative operands adjusted, the jump
// back, the stubs of short branches and (x86_64) the relay to the
// replacement. Pure functions of the bytes, their addresses and the mode.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace RevavaRez {

constexpr size_t JumpSize = 5;    // E9 rel32
constexpr size_t RelaySize = 14;  // FF 25 00000000, then the 8-byte address

// The bytes of whole instructions that cover the first 5 bytes of code; 0 when
// they cannot be moved: an undecodable opcode, a return or an unconditional
// jump that ends before the fifth byte (the routine is shorter than the
// jump), or bytes that ran out.
uint32_t MovedCodeLength(const uint8_t* code, size_t available, bool x86_64);

// n plus 5 for every short branch among the moved instructions whose
// destination lies outside them.
uint32_t TrampolineSize(const uint8_t* code, uint32_t n, uint64_t target, bool x86_64);

// The whole block: the trampoline, its jump back and, on x86_64, the relay.
size_t TrampolineBlockSize(uint32_t trampolineSize, bool x86_64);
// Where the relay sits in the block (x86_64).
inline size_t RelayOffset(uint32_t trampolineSize) { return trampolineSize + JumpSize; }

// E9 and the displacement from from + 5 to to; false when it does not fit in
// 32 bits (only possible in 64-bit code).
bool JumpBytes(uint8_t out[JumpSize], uint64_t from, uint64_t to, bool x86_64);
void RelayBytes(uint8_t out[RelaySize], uint64_t destination);

// Adjusts the n moved bytes at the start of trampoline (to run at
// trampolineAddress, moved from target): short branches leaving them get a
// stub after the jump back, near branches and RIP-relative operands keep
// their absolute destinations. False when a displacement no longer fits.
bool RelocateCode(uint8_t* trampoline, uint64_t trampolineAddress, uint64_t target, uint32_t n, bool x86_64);

// The block for a hook of target, to lie at trampolineAddress; false when a
// displacement does not fit.
bool BuildTrampolineBytes(const uint8_t* code, uint32_t n, uint64_t target, uint64_t trampolineAddress,
                          uint64_t replacement, bool x86_64, std::vector<uint8_t>& block);

}  // namespace RevavaRez
