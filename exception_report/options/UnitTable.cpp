#include "options/UnitTable.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "interception/InterceptionState.h"

// Laid down by the linker at the start of this module's constructor list.
extern "C" void (*__CTOR_LIST__[])();

namespace RevavaRez {

namespace {

using TUnitRoutine = void (*)();

// One list is patched at a time: the module's own at load, or a test's.
void** PatchedSlot = nullptr;
TUnitRoutine SavedRoutine = nullptr;
bool StartUpRunning = false;
bool StartUpIsLast = false;

// The list lives in the code section, which is not writable.
bool WriteSlot(void** slot, void* value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_EXECUTE_READWRITE, &old)) return false;
  *slot = value;
  DWORD unused = 0;
  VirtualProtect(slot, sizeof *slot, old, &unused);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
  return true;
}

void InitializationOver() {
  Interception.InInitialization = 0;
  // Registered after every destructor of the initialisation, so it runs
  // before them all.
  atexit(BeforeFirstUnitDone);
}

}  // namespace

void PatchUnitInitTable(void** list) {
  if (list == nullptr) return;
  // Either form: -1 and routines up to a 0, or a count and that many.
  const uintptr_t head = reinterpret_cast<uintptr_t>(list[0]);
  if (head == 0) return;
  void** last = list + 1;
  if (*last == nullptr) return;
  const bool alone = head == 1 || (head == UINTPTR_MAX && list[2] == nullptr);
  if (StartUpRunning && alone) {
    StartUpIsLast = true;
    return;
  }
  if (*last == reinterpret_cast<void*>(&AfterLastUnitInit)) return;
  const TUnitRoutine saved = reinterpret_cast<TUnitRoutine>(*last);
  if (!WriteSlot(last, reinterpret_cast<void*>(&AfterLastUnitInit))) return;
  SavedRoutine = saved;
  PatchedSlot = last;
}

void PatchUnitInitTable() { PatchUnitInitTable(reinterpret_cast<void**>(__CTOR_LIST__)); }

void AfterLastUnitInit() {
  const TUnitRoutine saved = SavedRoutine;
  if (saved != nullptr) saved();
  if (PatchedSlot != nullptr && WriteSlot(PatchedSlot, reinterpret_cast<void*>(saved))) {
    PatchedSlot = nullptr;
    SavedRoutine = nullptr;
  }
  InitializationOver();
}

void BeforeFirstUnitDone() { Interception.InFinalization = 1; }

void UnitStartUpBegins() {
  StartUpRunning = true;
  StartUpIsLast = false;
}

void UnitStartUpEnds() {
  StartUpRunning = false;
  if (!StartUpIsLast) return;
  StartUpIsLast = false;
  InitializationOver();
}

}  // namespace RevavaRez
