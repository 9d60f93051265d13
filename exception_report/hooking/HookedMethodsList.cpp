#include "hooking/HookedMethodsList.h"

#include "hooking/HookEngine.h"
#include "core/VArev.h"

namespace RevavaRez {

THookedMethodsList* HookedMethods = nullptr;

namespace {

void** SlotAddress(uintptr_t table, int slot) { return reinterpret_cast<void**>(table) + slot; }

}  // namespace

THookedMethodsList::~THookedMethodsList() {
  TCriticalSection::TScope scope(FLock);
  for (const THookedMethod& method : FItems)
    PatchVirtualSlot(SlotAddress(method.Table, method.Slot), reinterpret_cast<void*>(method.Original));
  FItems.clear();
}

THookedMethod* THookedMethodsList::Find(uintptr_t table, int slot) {
  TCriticalSection::TScope scope(FLock);
  for (THookedMethod& method : FItems)
    if (method.Table == table && method.Slot == slot) return &method;
  return nullptr;
}

void THookedMethodsList::Add(const THookedMethod& method) {
  TCriticalSection::TScope scope(FLock);
  FItems.push_back(method);
}

void THookedMethodsList::Remove(const THookedMethod* method) {
  TCriticalSection::TScope scope(FLock);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (&FItems[i] == method) {
      FItems.erase(FItems.begin() + i);
      return;
    }
}

bool PatchVirtualSlot(void* slotAddress, void* value) {
  // Only a table inside a loaded module: anything else is no class's table.
  if (!ModuleOfAddress(slotAddress)) return false;
  return WriteCode(slotAddress, &value, sizeof value);
}

void* HookVirtualMethod(void* table, int slot, void* replacement) {
  THookedMethodsList* list = HookedMethods;
  if (!list || !table || slot < 0) return nullptr;
  const uintptr_t at = reinterpret_cast<uintptr_t>(table);
  void** slotAddress = SlotAddress(at, slot);
  // The lock is recursive: the whole look, write and record is one step.
  TCriticalSection::TScope scope(list->Lock());
  if (!IsReadable(slotAddress, sizeof(void*))) return nullptr;
  void* old = *slotAddress;
  if (old == replacement) {
    THookedMethod* method = list->Find(at, slot);
    return method ? reinterpret_cast<void*>(method->Original) : nullptr;
  }
  if (!PatchVirtualSlot(slotAddress, replacement)) return nullptr;
  THookedMethod method;
  method.Table = at;
  method.Original = reinterpret_cast<uintptr_t>(old);
  method.Slot = slot;
  list->Add(method);
  return old;
}

bool RestoreVirtualMethod(void* table, int slot) {
  THookedMethodsList* list = HookedMethods;
  if (!list) return false;
  const uintptr_t at = reinterpret_cast<uintptr_t>(table);
  TCriticalSection::TScope scope(list->Lock());
  THookedMethod* method = list->Find(at, slot);
  if (!method) return false;
  PatchVirtualSlot(SlotAddress(at, slot), reinterpret_cast<void*>(method->Original));
  list->Remove(method);
  return true;
}

}  // namespace RevavaRez
