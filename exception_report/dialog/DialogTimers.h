#pragma once
// The timers the dialogs share: the auto-close count and keep-in-front.
#include <windows.h>

namespace RevavaRez {

// Ticks every second while AutoCloseSeconds is above 0.
void StartAutoCloseTimer(HWND dialog);
void StopAutoCloseTimer(HWND dialog);
// Any key, click or notification on a dialog or page starts the count anew.
void ResetAutoCloseCount();
// Records the process's windows now; ticks every 10 ms.
void StartKeepInFrontTimer(HWND dialog);
void StopKeepInFrontTimer(HWND dialog);
// WM_TIMER for the auto-close and keep-in-front timers; false for others.
bool HandleDialogTimer(HWND dialog, UINT_PTR timer);
// Whether the message resets the auto-close count.
bool IsUserActivity(UINT message);

}  // namespace RevavaRez
