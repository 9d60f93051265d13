#pragma once
// Which kind of web server this process runs in, if any: such a host gets
// the report as an HTML page instead of a dialog.
#include <string>

namespace RevavaRez {

// The main module's image header names the console subsystem.
bool IsConsoleProgram();
bool IsCGIHost();
bool IsWinCGIHost();
// The WinCGI output file; empty outside a WinCGI host.
std::string WinCGIOutputFile();
bool IsISAPIHost();
bool IsIntraWebHost();
bool IsWebHost();
// Neither a web host nor a console program: dialogs may be shown.
bool IsGUIAllowed();

}  // namespace RevavaRez
