#include "hooking/HookedMethodsList.h"

#include "hooking/HookEngine.h"
#include "core/VArev.h"

namespace RevavaRez {

THookedMethodsList* HookedMethods = nullptr;

namespace {

void** SlotAddress(uintptr_t table, int slot) { return reinterpret_cast<void**>(table) + slot; }

// Guards the pointer HookedMethods and the life of the list behind it. A
// caller holds it from reading the pointer to its last use of the list, so
// "EHook.Done" cannot free the list, and the lock inside it, while another
// thread waits on that lock. Always taken before the list's own lock.
TCriticalSection& HookedMethodsGuard() {
  // Never destroyed: the shut-down may run from the module's finalisation,
  // after the destructors of function statics.
  static TCriticalSection* const guard = new TCriticalSection();
  return *guard;
}

}  // namespace

void CreateHookedMethods() {
  TCriticalSection::TScope guard(HookedMethodsGuard());
  if (!HookedMethods) HookedMethods = new THookedMethodsList();
}

void FreeHookedMethods() {
  TCriticalSection::TScope guard(HookedMethodsGuard());
  THookedMethodsList* methods = HookedMethods;
  HookedMethods = nullptr;
  delete methods;
}

THookedMethodsList::~THookedMethodsList() {
  TCriticalSection::TScope scope(FLock);
  // Newest first: a slot hooked twice gets back what it held before the
  // first hook, not the first replacement.
  for (auto method = FItems.rbegin(); method != FItems.rend(); ++method)
    PatchVirtualSlot(SlotAddress(method->Table, method->Slot), reinterpret_cast<void*>(method->Original));
  FItems.clear();
}

THookedMethod* THookedMethodsList::Find(uintptr_t table, int slot) {
  TCriticalSection::TScope scope(FLock);
  for (size_t i = FItems.size(); i-- > 0;)
    if (FItems[i].Table == table && FItems[i].Slot == slot) return &FItems[i];
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
  // A null replacement would crash the first call through the slot.
  if (!table || slot < 0 || !replacement) return nullptr;
  TCriticalSection::TScope guard(HookedMethodsGuard());
  THookedMethodsList* list = HookedMethods;
  if (!list) return nullptr;
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
  TCriticalSection::TScope guard(HookedMethodsGuard());
  THookedMethodsList* list = HookedMethods;
  if (!list) return false;
  const uintptr_t at = reinterpret_cast<uintptr_t>(table);
  TCriticalSection::TScope scope(list->Lock());
  // The newest record: with two hooks of the slot, the first replacement
  // comes back, and the shut-down restores the original after it.
  THookedMethod* method = list->Find(at, slot);
  if (!method) return false;
  PatchVirtualSlot(SlotAddress(at, slot), reinterpret_cast<void*>(method->Original));
  list->Remove(method);
  return true;
}

}  // namespace RevavaRez
