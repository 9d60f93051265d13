#pragma once
// Executable memory for trampolines: slots carved from blocks that
// VirtualAlloc gives, never heap memory made executable. In 64-bit code a
// block lies within reach of a 32-bit displacement from the hooked routine.
#include <cstddef>
#include <cstdint>

namespace RevavaRez {

constexpr size_t TrampolineSlotSize = 64;

// A slot of at least size bytes (at most TrampolineSlotSize) that a rel32
// reaches from the address around and that reaches it; null when none can be had. The
// slot is executable and read-only: write it with WriteCode.
void* AllocateTrampoline(uintptr_t around, size_t size);
void FreeTrampoline(void* slot);
// The slots handed out and not freed, over every block.
size_t TrampolineSlotsInUse();

}  // namespace RevavaRez
