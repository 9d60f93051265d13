#pragma once
// The address lookup in a module's debug data: units, their line tables and
// procedure names.
#include <cstdint>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// Fills the record from the module's line tables (kind 4) and answers true
// when a unit's table holds the address.
bool FindInLineTables(TVezavuModuleInfo& module, uintptr_t address, TVezavuDebugInfo& info);

}  // namespace RevavaRez
