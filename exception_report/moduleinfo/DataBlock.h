#pragma once
// Loading a module's library data block ("RURUDO", as a resource or as a
// file trailer) into its record: format version, compilation date, options,
// password check and debug data.
#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// Fills BlockVersion, Compiled, the options, Password, NamesReadable and
// DebugData of the record. While enumerating, the password and the debug
// data are skipped. A block that fails any check counts as absent.
void LoadDataBlock(TVezavuModuleInfo& module, bool enumerating);
// For a record loaded while enumerating: reads the block again and adds the
// password check and the debug data. The options stay as they are: the
// program may have changed them since.
void CompleteDataBlock(TVezavuModuleInfo& module);

}  // namespace RevavaRez
