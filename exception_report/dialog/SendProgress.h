#pragma once
// The send-progress dialog: shown on a thread of its own while a report is
// sent; the senders update it only by messages, and only while it exists.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

constexpr int kIdProgressStatus = 100;
constexpr int kIdProgressBar = 101;
// Sent to the dialog to end it.
constexpr UINT kCloseSendProgress = 2258;

#pragma pack(push, 1)
struct TSendProgressState {
  HWND Dialog;
  // Shown by the senders (bytes done, bytes in all).
  int64_t Done;
  int64_t Total;
  // Set when the dialog first has the focus.
  bool Ready;
};
#pragma pack(pop)
static_assert(sizeof(TSendProgressState) == sizeof(void*) + 17, "the progress state is packed");

// Cleared whole before each send.
TSendProgressState& SendProgress();

// Whether the options ask for the dialog, given whether dialogs may be shown.
bool SendProgressWanted(bool guiAllowed);
// Clears the progress state and, when SendProgressWanted(IsGUIAllowed()),
// starts the dialog's thread and waits, at most 5 s, until the dialog is
// ready or its thread has ended. True when a thread was started.
bool StartSendProgress();
// The same for a given answer to "may dialogs be shown".
bool StartSendProgressFor(bool guiAllowed);

void SetSendProgressText(const std::string& text);
void SetSendProgressPosition(int position);
void CloseSendProgress();
// True while the dialog exists.
bool SendProgressDialogUp();

INT_PTR CALLBACK SendProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace RevavaRez
