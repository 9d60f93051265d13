#pragma once
// Call sites of this build's architecture written into executable memory,
// for the walker's tests and its benchmark.
#include <cstdint>
#include <cstring>
#include <vector>

namespace brx_test {

#if defined(__x86_64__)
constexpr bool kCodeX86_64 = true;
#else
constexpr bool kCodeX86_64 = false;
#endif
constexpr size_t kStackSlot = sizeof(uintptr_t);

inline void Put32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }

// Every call form of this architecture with zero operands where
// PutCallSite fills them in; the direct call first.
inline std::vector<std::vector<uint8_t>> CallForms() {
  std::vector<std::vector<uint8_t>> forms = {
      {0xE8, 0, 0, 0, 0},
      {0xFF, 0xD0},
      {0xFF, 0x13},
      {0xFF, 0x55, 0x08},
      {0xFF, 0x96, 0x00, 0x01, 0x00, 0x00},
      {0xFF, 0x14, 0x24},
      {0xFF, 0x54, 0x24, 0x08},
      {0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00},
      {0xFF, 0x15, 0, 0, 0, 0},
  };
  if (kCodeX86_64) {
    forms.push_back({0x41, 0xFF, 0xD0});
    forms.push_back({0x48, 0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00});
    forms.push_back({0x48, 0xFF, 0x15, 0, 0, 0, 0});
  }
  return forms;
}

// An "FF 25" import jump at jump through the pointer slot to routine.
inline void PutImportJump(uint8_t* jump, uint8_t* slot, const uint8_t* routine) {
  const auto routineAddress = reinterpret_cast<uintptr_t>(routine);
  std::memcpy(slot, &routineAddress, sizeof routineAddress);
  jump[0] = 0xFF;
  jump[1] = 0x25;
  const auto slotAddress = reinterpret_cast<uintptr_t>(slot);
  Put32(jump + 2, kCodeX86_64 ? uint32_t(slotAddress - reinterpret_cast<uintptr_t>(jump + 6)) : uint32_t(slotAddress));
}

// Writes the form so that it ends at end (the return address): a direct
// call goes to jump, an "FF 15" call reads slot. Answers the call's address.
inline uintptr_t PutCallSite(uint8_t* end, std::vector<uint8_t> bytes, const uint8_t* jump, const uint8_t* slot) {
  const auto ret = reinterpret_cast<uintptr_t>(end);
  const size_t n = bytes.size();
  if (n == 5 && bytes[0] == 0xE8) Put32(bytes.data() + 1, uint32_t(reinterpret_cast<uintptr_t>(jump) - ret));
  if (n >= 6 && bytes[n - 6] == 0xFF && bytes[n - 5] == 0x15) {
    const auto slotAddress = reinterpret_cast<uintptr_t>(slot);
    Put32(bytes.data() + n - 4, kCodeX86_64 ? uint32_t(slotAddress - ret) : uint32_t(slotAddress));
  }
  std::memcpy(end - n, bytes.data(), n);
  return ret - n;
}

}  // namespace brx_test
