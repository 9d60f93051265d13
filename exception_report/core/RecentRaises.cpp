#include "core/RecentRaises.h"

#include <windows.h>

#include <cstring>

#include "core/ExceptionObjects.h"

namespace RevavaRez {

namespace {

// Constant-initialised: raises may be tracked before any other static of
// the module is built.
SRWLOCK TableLock = SRWLOCK_INIT;
TRecentRaise Table[kRecentRaiseCapacity];
int TableCount = 0;

}  // namespace

void RecentRaiseStore(const void* object, uintptr_t address, uintptr_t chainHead,
                      const TRecentRaiseValues& values) {
  const std::type_info* classRef = nullptr;
  if (object) {
    classRef = ClassOf(object);
    if (!classRef) return;
  }
  TRecentRaise entry = {classRef,           address,      chainHead, values.FirstKind, values.Count,
                        values.HandlerKind, values.Answer};
  AcquireSRWLockExclusive(&TableLock);
  if (TableCount == kRecentRaiseCapacity) {
    std::memmove(&Table[0], &Table[1], sizeof(TRecentRaise) * (kRecentRaiseCapacity - 1));
    --TableCount;
  }
  Table[TableCount++] = entry;
  ReleaseSRWLockExclusive(&TableLock);
}

bool RecentRaiseLookup(const void* object, uintptr_t address, uintptr_t chainHead,
                       TRecentRaiseValues& values) {
  const std::type_info* classRef = nullptr;
  if (object) {
    classRef = ClassOf(object);
    if (!classRef) return false;
  }
  bool found = false;
  AcquireSRWLockShared(&TableLock);
  for (int i = 0; i < TableCount && !found; ++i) {
    const TRecentRaise& e = Table[i];
    if (e.Address == address && e.ClassRef == classRef && e.ChainHead == chainHead) {
      values = {e.FirstKind, e.Count, e.HandlerKind, e.Answer};
      found = true;
    }
  }
  ReleaseSRWLockShared(&TableLock);
  return found;
}

void RecentRaiseClear() {
  AcquireSRWLockExclusive(&TableLock);
  TableCount = 0;
  ReleaseSRWLockExclusive(&TableLock);
}

int RecentRaiseEntries(TRecentRaise* entries, int capacity) {
  AcquireSRWLockShared(&TableLock);
  int n = TableCount < capacity ? TableCount : capacity;
  std::memcpy(entries, Table, sizeof(TRecentRaise) * (n > 0 ? n : 0));
  ReleaseSRWLockShared(&TableLock);
  return n;
}

}  // namespace RevavaRez
