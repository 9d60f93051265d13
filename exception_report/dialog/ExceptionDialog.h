#pragma once
// The exception dialog: compact and detailed layouts, buttons and check
// boxes, the painted header and support link.
#include <windows.h>

namespace RevavaRez {

// Shows the dialog for the current exception, modally and without owner, on
// the calling thread; runs it again while an action-8 handler clears the
// close request. What went wrong inside a dialog procedure is raised here
// once the dialog has closed. Answers whether it was shown.
bool ShowExceptionDialog();

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// 34, 20 or 0 pixels below the tab control for the check boxes and link.
int BottomAreaHeightFor(bool sendingPossible, bool screenshotOffered, bool copyOffered, bool linkShown);

void ApplyDetailMode(HWND dialog, bool detailed);

}  // namespace RevavaRez
