// Readable-memory tests and import jumps.
#include <cstring>

#include "core/VArev.h"

namespace RevavaRez {

// Only a full answer describes the region.
#if defined(__x86_64__)
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 48, "region answer");
#else
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 28, "region answer");
#endif

bool IsPlainReadableRegion(DWORD state, DWORD protection) {
  if (state != MEM_COMMIT) return false;
  switch (protection) {
    case PAGE_READONLY:
    case PAGE_READWRITE:
    case PAGE_WRITECOPY:
    case PAGE_EXECUTE:
    case PAGE_EXECUTE_READ:
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY:
      return true;
    default:  // guard, no-cache and no-access included
      return false;
  }
}

size_t ReadableLength(const void* address, size_t wanted) {
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  size_t count = 0;
  for (;;) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) != sizeof info) return 0;
    if (!IsPlainReadableRegion(info.State, info.Protect)) return 0;
    uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    uintptr_t end = base + info.RegionSize;
    if (end < base || end == 0) return count + (UINTPTR_MAX - at) + 1;  // the top of the address space
    count += end - at;
    if (count >= wanted) return count;
    at = end;
  }
}

bool IsReadable(const void* address, size_t size) { return ReadableLength(address, size) >= size; }

size_t ReadablePrefix(const void* address, size_t wanted) {
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  size_t count = 0;
  while (count < wanted) {
    // One byte wanted: the answer runs to the end of the readable region.
    size_t region = ReadableLength(reinterpret_cast<const void*>(at), 1);
    if (region == 0) break;
    count += region;
    if (count < region || at + region < at) return wanted;  // the top of the address space
    at += region;
  }
  return count < wanted ? count : wanted;
}

uintptr_t ImportJumpSlot(const uint8_t bytes[6], uintptr_t address, bool x86_64) {
  if (bytes[0] != 0xFF || bytes[1] != 0x25) return 0;
  uint32_t operand = bytes[2] | bytes[3] << 8 | bytes[4] << 16 | static_cast<uint32_t>(bytes[5]) << 24;
  if (!x86_64) return operand;
  return address + 6 + static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(operand)));
}

uintptr_t ResolveImportJump(uintptr_t address) {
  const void* code = reinterpret_cast<const void*>(address);
  if (!IsReadable(code, 8)) return address;
  uint8_t bytes[6];
  std::memcpy(bytes, code, sizeof bytes);
#if defined(__x86_64__)
  uintptr_t slot = ImportJumpSlot(bytes, address, true);
#else
  uintptr_t slot = ImportJumpSlot(bytes, address, false);
#endif
  if (slot == 0 || !IsReadable(reinterpret_cast<const void*>(slot), sizeof(uintptr_t))) return address;
  uintptr_t target;
  std::memcpy(&target, reinterpret_cast<const void*>(slot), sizeof target);
  return target;
}

}  // namespace RevavaRez
