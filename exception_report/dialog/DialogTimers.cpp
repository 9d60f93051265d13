#include "dialog/DialogTimers.h"
namespace RevavaRez {
void StartAutoCloseTimer(HWND) {}
void StopAutoCloseTimer(HWND) {}
void ResetAutoCloseCount() {}
void StartKeepInFrontTimer(HWND) {}
void StopKeepInFrontTimer(HWND) {}
bool HandleDialogTimer(HWND, UINT_PTR) { return false; }
bool IsUserActivity(UINT) { return false; }
}  // namespace RevavaRez
