#pragma once
// The exported functions of a module with their code sizes, the last source
// of names for an address that no line table holds.
#include <windows.h>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// The Win32 platform of the running system (VER_PLATFORM_WIN32_NT on every
// system this runs on today).
DWORD RunningPlatformId();

// Fills the list with the module's named exports, sorted by address. The
// size of each is the code up to its first return, bounded by the module's
// code range; 1 inside the development environment or for an address before
// the code range. Anything unreadable ends the reading with what was found.
void ReadExportedFunctions(HMODULE module, TVezavuFunctionsList& functions, DWORD platformId = RunningPlatformId());

// The function whose range [address, address + size] holds the address, in
// a list sorted by address; null when none does.
const TVezavuFunctionInfo* FindFunction(const TVezavuFunctionsList& functions, uintptr_t address);

}  // namespace RevavaRez
