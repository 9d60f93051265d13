#pragma once
// The virtual-method hooks: which slot of which table was replaced, and
// what it held.
#include <cstdint>
#include <vector>

#include "base/ThreadList.h"

namespace RevavaRez {

struct THookedMethod {
  uintptr_t Table = 0;
  uintptr_t Original = 0;
  int Slot = 0;
};

class THookedMethodsList {
 public:
  THookedMethodsList() = default;
  // Writes every recorded slot back.
  ~THookedMethodsList();
  THookedMethodsList(const THookedMethodsList&) = delete;
  THookedMethodsList& operator=(const THookedMethodsList&) = delete;

  // Every search, addition and removal holds the list's lock.
  TCriticalSection& Lock() { return FLock; }
  // The newest record of that slot.
  THookedMethod* Find(uintptr_t table, int slot);
  void Add(const THookedMethod& method);
  void Remove(const THookedMethod* method);
  size_t Count() const { return FItems.size(); }

 private:
  TCriticalSection FLock;
  std::vector<THookedMethod> FItems;
};

// Make and free the list that HookedMethods points to ("EHook.Init" and
// "EHook.Done"). The free waits for any thread inside HookVirtualMethod or
// RestoreVirtualMethod; those that come after find no list.
void CreateHookedMethods();
void FreeHookedMethods();

}  // namespace RevavaRez
