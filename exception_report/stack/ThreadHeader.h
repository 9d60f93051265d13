#pragma once
// The header line of one thread's group in a call stack.
#include <windows.h>

#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;
class TVezavuThreadsList;

// firstEntry: the group opens the stack (the exception thread); running: the
// group's thread flag. Priority and class come from the list's record of the
// thread (null list: "??").
std::string ThreadHeaderText(const TVezavuModuleOptions& options, DWORD threadID, bool firstEntry, bool running,
                             TVezavuThreadsList* threads, DWORD mainThreadID);

}  // namespace RevavaRez
