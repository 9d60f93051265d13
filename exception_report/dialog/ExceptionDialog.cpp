#include "dialog/ExceptionDialog.h"
namespace RevavaRez {
bool ShowExceptionDialog() { return false; }
INT_PTR CALLBACK MainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
int BottomAreaHeightFor(bool, bool, bool, bool) { return 0; }
void ApplyDetailMode(HWND, bool) {}
}  // namespace RevavaRez
