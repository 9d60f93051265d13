#include "dialog/SendProgress.h"

#include <commctrl.h>

#include <stdexcept>

#include "dialog/DialogFonts.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/DialogTimers.h"
#include "dialog/OwnFrame.h"
#include "dialog/RequestDialog.h"
#include "interception/LibraryThreads.h"
#include "interception/ThreadTracking.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

constexpr int kTextCaption = 75;
constexpr DWORD kReadyBound = 5000;
constexpr DWORD kReadyStep = 50;
// A dialog thread that stopped answering must not hold up the sender.
constexpr UINT kSendBound = 5000;

// Aligned so that the handle at its start is read and written whole.
alignas(8) TSendProgressState Progress = {};

const TVezavuModuleOptionsEx& Options() {
  const TLibraryState& library = LibraryState();
  if (!library.Options) throw std::logic_error("The send-progress dialog has no options.");
  return *library.Options;
}

HWND ProgressDialog() { return *static_cast<volatile HWND*>(&Progress.Dialog); }

bool Ready() { return *static_cast<volatile bool*>(&Progress.Ready); }

void SendToDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendBound, &result);
}

void InitProgress(HWND dialog) {
  SetUpSmallDialogLook(dialog);
  CreateDialogFonts(dialog);
  const std::string& caption = Options().TextAt(kTextCaption);
  SetWindowTextA(dialog, caption.c_str());
  if (HFONT font = DialogState().Fonts.Normal)
    SendDlgItemMessageA(dialog, kIdProgressStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  StartKeepInFrontTimer(dialog);
  // Known before the focus arrives: the focus makes it ready, and the
  // starter may read the handle from then on.
  *static_cast<volatile HWND*>(&Progress.Dialog) = dialog;
  // Nothing in it takes the focus, and a window of a new thread is not
  // activated by itself: the starter waits for this focus.
  SetForegroundWindow(dialog);
  SetFocus(dialog);
}

INT_PTR DispatchProgress(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    InitProgress(dialog);
    return TRUE;
  }
  if (DialogState().OwnLook &&
      HandleOwnFrameMessage(dialog, message, wParam, Options().TextAt(kTextCaption)))
    return TRUE;
  switch (message) {
    case WM_SETFOCUS:
      *static_cast<volatile bool*>(&Progress.Ready) = true;
      return FALSE;
    case kCloseSendProgress:
      EndDialog(dialog, IDOK);
      return TRUE;
    case WM_TIMER:
      return HandleDialogTimer(dialog, wParam) ? TRUE : FALSE;
    case WM_DESTROY:
      StopKeepInFrontTimer(dialog);
      FreeDialogFonts();
      return TRUE;
    default:
      return FALSE;
  }
}

// The dialog's own thread, one of the library's; it frees itself when the
// dialog ends.
class TSendDialogThread {
 public:
  static HANDLE Start() {
    // This library stays loaded while the dialog runs: it may be unloaded
    // while a send is under way.
    HMODULE module = ReferenceThisLibrary();
    HANDLE thread = StartLibraryThread(Run, module, true);
    if (!thread) {
      if (module) FreeLibrary(module);
      return nullptr;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    if (ResumeThreadUntracked(thread) == static_cast<DWORD>(-1)) {
      // It never ran, so it cannot give its reference back itself.
      TerminateThread(thread, 1);
      WaitForSingleObject(thread, INFINITE);
      if (module) FreeLibrary(module);
      CloseHandle(thread);
      return nullptr;
    }
    return thread;
  }

 private:
  static DWORD Run(void* parameter) {
    HMODULE module = static_cast<HMODULE>(parameter);
    try {
      INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
      InitCommonControlsEx(&controls);
      DialogBoxParamA(DialogResourceModule(), "RR_SERVER", nullptr, SendProgressDialogProc, 0);
    } catch (...) {
      // Nothing to tell: the sender only sees that the dialog is gone.
    }
    *static_cast<volatile HWND*>(&Progress.Dialog) = nullptr;
    // Leaves from kernel32's code, not from this library's.
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
  }
};

}  // namespace

TSendProgressState& SendProgress() { return Progress; }

bool SendProgressWanted(bool guiAllowed) {
  const TVezavuModuleOptionsEx& options = Options();
  return (options.SendFlags() & 0x01) != 0 && (options.MailMode() != 0 || options.WebMode() != 0) && guiAllowed;
}

bool StartSendProgress() { return StartSendProgressFor(IsGUIAllowed()); }

bool StartSendProgressFor(bool guiAllowed) {
  Progress = TSendProgressState{};
  if (!LibraryState().Options || !SendProgressWanted(guiAllowed)) return false;
  HANDLE thread = TSendDialogThread::Start();
  if (!thread) return false;
  // Waiting on the thread in steps also ends the wait as soon as it has
  // ended without a dialog.
  for (DWORD waited = 0; !Ready() && waited < kReadyBound; waited += kReadyStep)
    if (WaitForSingleObject(thread, kReadyStep) != WAIT_TIMEOUT) break;
  CloseHandle(thread);
  return true;
}

void SetSendProgressText(const std::string& text) {
  HWND dialog = ProgressDialog();
  if (dialog && IsWindow(dialog))
    SendToDialog(GetDlgItem(dialog, kIdProgressStatus), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SetSendProgressPosition(int position) {
  HWND dialog = ProgressDialog();
  if (dialog && IsWindow(dialog)) SendToDialog(GetDlgItem(dialog, kIdProgressBar), PBM_SETPOS, position, 0);
}

void CloseSendProgress() {
  HWND dialog = ProgressDialog();
  if (dialog && IsWindow(dialog)) PostMessageA(dialog, kCloseSendProgress, 0, 0);
}

bool SendProgressDialogUp() {
  HWND dialog = ProgressDialog();
  return dialog && IsWindow(dialog);
}

INT_PTR CALLBACK SendProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return DispatchProgress(dialog, message, wParam, lParam);
  } catch (...) {
    EndDialog(dialog, IDOK);
    return TRUE;
  }
}

}  // namespace RevavaRez
