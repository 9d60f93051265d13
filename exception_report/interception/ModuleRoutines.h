#pragma once
// Where the hooks find what they call on: kernel32.dll's routines by name,
// and the exports of the main program's copy of the library.
#include <windows.h>

#include "core/VArev.h"
#include "hooking/HookEngine.h"

namespace RevavaRez {

// The routine by name, remembered in known once found.
template <typename TRoutine>
TRoutine KernelRoutine(TRoutine& known, const char* name) {
  if (known == nullptr)
    known = reinterpret_cast<TRoutine>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
  return known;
}

// The main program's export of that name, when it is another module's:
// null in the main program itself.
template <typename TExport>
TExport MainModuleExport(const char* name) {
  auto found = reinterpret_cast<TExport>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name)));
  if (found == nullptr || ModuleOfAddress(reinterpret_cast<void*>(found)) == ThisModule()) return nullptr;
  return found;
}

}  // namespace RevavaRez
