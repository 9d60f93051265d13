#pragma once
// Routines of this module that the build tools list by identifier in the
// symbol directory of its data block, and hooking them (or a routine
// another module exports) by identifier.
#include <cstdint>
#include <string>

namespace RevavaRez {

// The address listed for the identifier in this module's "RURUDO"
// resource; 0 without a block, a directory or the entry, and 0 when the
// listed address does not lie in an executable section of this module, so
// that a lying block never points the hooks elsewhere.
uintptr_t FindSymbolByID(uint8_t identifier);

// The routine of the identifier, else (with both names given) the routine
// the named loaded module exports under the symbol name. With a
// replacement the routine is code-hooked, labelled "SymbolID = " and the
// identifier, and the trampoline that runs the original is answered;
// without one, the routine's address. Null when nothing was found. Raises
// what the hooking engine raises for a routine it cannot hook.
void* HookSymbol(uint8_t identifier, const std::string& moduleName, const std::string& symbolName,
                 void* replacement);
void* HookSymbolByID(uint8_t identifier, void* replacement);

}  // namespace RevavaRez
