#include "moduleinfo/LineTables.h"

namespace RevavaRez {

bool FindInLineTables(TVezavuModuleInfo&, uintptr_t, TVezavuDebugInfo&) { return false; }

}  // namespace RevavaRez
