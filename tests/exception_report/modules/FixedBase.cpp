// A library linked for one fixed base and without relocations, built twice
// under two names: once the first is freed, the loader puts the second
// where the first was. Each exports one routine named after its library.
#include <windows.h>

#ifndef BRX_FIXED_BASE_ROUTINE
#error "BRX_FIXED_BASE_ROUTINE names the library's routine"
#endif

extern "C" __declspec(dllexport) int BRX_FIXED_BASE_ROUTINE(int value) {
  volatile int scratch = value;
  return scratch + 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
