#pragma once
// The process-wide module list.
#include <windows.h>
#include <tlhelp32.h>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// The Toolhelp entry at its size for the build: the size field tells the
// system which layout the caller has.
#ifdef _WIN64
static_assert(sizeof(MODULEENTRY32) == 568, "MODULEENTRY32 of a 64-bit build");
#else
static_assert(sizeof(MODULEENTRY32) == 548, "MODULEENTRY32 of a 32-bit build");
#endif

// Made on first use; from then on ModuleRecordOptions answers the options of
// this module's record while it has one.
TVezavuModulesList& Modules();
// Frees the list and every record (shut-down, and tests that need a fresh
// list). The next Modules() makes a new one.
void FreeModules();

}  // namespace RevavaRez
