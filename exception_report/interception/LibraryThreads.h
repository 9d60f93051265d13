#pragma once
// The library's own threads (processing, freeze watch, send dialog, send):
// all start at one procedure, which the thread tracking knows and keeps no
// record of.
#include <windows.h>

namespace RevavaRez {

// A thread of the library, started at once or suspended; null when it
// could not be created. The body runs with what it raises swallowed.
HANDLE StartLibraryThread(DWORD (*body)(void*), void* parameter, bool suspended = false, DWORD* threadID = nullptr);
// The start address every library thread has.
LPTHREAD_START_ROUTINE LibraryThreadProcedure();

}  // namespace RevavaRez
