#pragma once
// What the library can say about an address: unit, class, procedure and
// line from the module's line tables, else a name from its exports.
#include <windows.h>

#include <cstdint>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// Fills info for the address, finding (and making when missing) the record
// of the module that holds it in the process-wide list.
void GetDebugInfo(uintptr_t address, DWORD threadID, TVezavuDebugInfo& info, bool threadFlag);

}  // namespace RevavaRez
