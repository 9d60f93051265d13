// A library that looks like a run-time package: it carries both package
// resources and nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
