#pragma once
// The name the program was started with: everything after the program's own
// name on the command line, as one name.
#include <string>

// Removes every double quote, takes the text after the first ".exe" and
// trims blanks and control characters at both ends. Without a lower-case
// ".exe" the program's name ends at ".EXE" in any letter case, and failing
// that at the end of the first token of the command line.
std::wstring MediaFromCommandLine(const std::wstring& CommandLine);
