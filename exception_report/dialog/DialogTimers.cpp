#include "dialog/DialogTimers.h"

#include "core/ExceptionLog.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"

namespace RevavaRez {

namespace {

int AutoCloseSeconds() {
  const TLibraryState& library = LibraryState();
  return library.Options ? library.Options->AutoCloseSeconds() : 0;
}

// Keys and clicks go to the focused control, not to the dialog procedure;
// the dialog manager's modal loop shows every one of them to this filter
// first.
HHOOK ActivityHook = nullptr;
int AutoCloseDialogs = 0;

LRESULT CALLBACK ActivityFilter(int code, WPARAM wParam, LPARAM lParam) {
  if (code >= 0 && lParam != 0 && IsUserActivity(reinterpret_cast<const MSG*>(lParam)->message))
    ResetAutoCloseCount();
  return CallNextHookEx(ActivityHook, code, wParam, lParam);
}

}  // namespace

void StartAutoCloseTimer(HWND dialog) {
  ResetAutoCloseCount();
  if (AutoCloseSeconds() <= 0) return;
  if (SetTimer(dialog, kAutoCloseTimer, 1000, nullptr) == 0) return;
  if (AutoCloseDialogs++ == 0)
    ActivityHook = SetWindowsHookExA(WH_MSGFILTER, ActivityFilter, nullptr, GetCurrentThreadId());
}

void StopAutoCloseTimer(HWND dialog) {
  if (!KillTimer(dialog, kAutoCloseTimer)) return;
  if (AutoCloseDialogs > 0 && --AutoCloseDialogs == 0 && ActivityHook) {
    UnhookWindowsHookEx(ActivityHook);
    ActivityHook = nullptr;
  }
}

void ResetAutoCloseCount() { DialogState().AutoCloseCount = 0; }

void StartKeepInFrontTimer(HWND dialog) {
  ListProcessWindows();
  SetTimer(dialog, kKeepInFrontTimer, 10, nullptr);
}

void StopKeepInFrontTimer(HWND dialog) { KillTimer(dialog, kKeepInFrontTimer); }

bool HandleDialogTimer(HWND dialog, UINT_PTR timer) {
  TDialogState& state = DialogState();
  if (timer == kAutoCloseTimer) {
    const int seconds = AutoCloseSeconds();
    if (++state.AutoCloseCount >= seconds && seconds > 0) {
      state.AutoCloseCount = 0;
      SendMessageA(dialog, WM_CLOSE, 0, 0);
    }
    return true;
  }
  if (timer == kKeepInFrontTimer) {
    if (state.TopMost) return true;
    HWND foreground = GetForegroundWindow();
    // Only windows that were there before the dialog: what the program or
    // another process opens since stays in front.
    if (foreground != nullptr && foreground != dialog && IsOwnWindow(foreground) && !IsNewWindow(foreground))
      SetForegroundWindow(dialog);
    return true;
  }
  return false;
}

bool IsUserActivity(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_NOTIFY:
      return true;
    default:
      return false;
  }
}

}  // namespace RevavaRez
