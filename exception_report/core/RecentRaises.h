#pragma once
// The last ten raises and what their handler search found, so that a raise
// seen again from the same place skips the search. Guarded by its own lock.
#include <cstdint>
#include <typeinfo>

namespace RevavaRez {

struct TRecentRaiseValues {
  uint8_t FirstKind = 0;
  int32_t Count = 0;
  uint8_t HandlerKind = 0;
  uint8_t Answer = 0;
};

struct TRecentRaise {
  const std::type_info* ClassRef;
  uintptr_t Address;
  uintptr_t ChainHead;
  uint8_t FirstKind;
  int32_t Count;
  uint8_t HandlerKind;
  uint8_t Answer;
};
#if defined(__i386__)
static_assert(sizeof(TRecentRaise) == 24, "recent-raise entry");
#endif

const int kRecentRaiseCapacity = 10;

// Keyed by the object's class (none for no object; an object whose class
// cannot be read is not stored), the raise address and the handler chain's
// head. The eleventh entry drops the oldest.
void RecentRaiseStore(const void* object, uintptr_t address, uintptr_t chainHead,
                      const TRecentRaiseValues& values);
bool RecentRaiseLookup(const void* object, uintptr_t address, uintptr_t chainHead,
                       TRecentRaiseValues& values);
void RecentRaiseClear();
// The entries, oldest first; answers how many.
int RecentRaiseEntries(TRecentRaise* entries, int capacity);

}  // namespace RevavaRez
