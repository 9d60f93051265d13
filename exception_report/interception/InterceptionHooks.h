#pragma once
// Putting the interception in place in a module: its five kernel32.dll
// routines in the import tables and the run-time's two procedures.
#include <string>
#include <vector>

namespace RevavaRez {

// "RaiseException", "RtlUnwind", "CreateThread", "ResumeThread" and
// "ExitThread" in the modules of those names (as the module-handle lookup
// takes them; one it does not find is skipped), after EHookInit; the
// hooking engine's shut-down undoes them.
void InstallInterceptionHooks(const std::vector<std::string>& modules);

}  // namespace RevavaRez
