// A library without a version block.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID Reserved) {
  (void)Instance;
  (void)Reason;
  (void)Reserved;
  return TRUE;
}
