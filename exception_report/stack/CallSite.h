#pragma once
// Whether a value on a stack is the return address of a call: the bytes
// just before it must hold one of the call forms a compiler emits. Pure byte
// work for both architectures, so either form can be checked on any machine.
#include <cstddef>
#include <cstdint>

namespace RevavaRez {

// The most bytes before the value any form needs (a REX-prefixed
// "FF 94 24 disp32" on x86_64).
constexpr size_t kCallSiteLookBehind = 8;

// Copies size bytes at address into out when all of them can be read.
using TCallSiteRead = bool (*)(const void* context, uint64_t address, size_t size, void* out);

struct TCallSiteMatch {
  int EntryOffset = -1;  // the call's first byte lies this many bytes before the value; -1: no call
  bool Direct = false;  // an "E8 disp32" call, whose target is Target
  uint64_t Target = 0;
};

// before holds the count bytes ending right before value (before[count - 1]
// is the byte at value - 1); fewer than kCallSiteLookBehind bytes leave the
// longer forms unmatched. Addresses wrap at 32 bits on i686.
TCallSiteMatch MatchCallSite(const uint8_t* before, size_t count, uint64_t value, bool x86_64, TCallSiteRead read,
                             const void* context);

}  // namespace RevavaRez
