#include "processing/ReportOutput.h"

#include <windows.h>

#include <cstdio>

#include "core/Errors.h"
#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/FaultingThread.h"
#include "processing/OutputDecisions.h"
#include "processing/ProcessException.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "web/ErrorPage.h"
#include "web/IntraWeb.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

constexpr UINT kRestoreTimeout = 1000;

void WriteToConsole(const std::string& text) {
  // What the program wrote through C's buffer comes first.
  std::fflush(stdout);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string line = text + "\r\n";
  DWORD written = 0;
  if (output == nullptr || output == INVALID_HANDLE_VALUE ||
      !WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size())
    throw Exception("Cannot write to the standard output.");
}

}  // namespace

void BringMainWindowToFront() {
  HWND window = FindProcessWindow(GetCurrentProcessId());
  if (window == nullptr) return;
  if (IsIconic(window)) {
    // The window's thread may be waiting for this very processing or be
    // suspended for a freeze report: a plain SendMessage would never return.
    DWORD_PTR answer = 0;
    const bool restored = SendMessageTimeoutW(window, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG,
                                              kRestoreTimeout, &answer) != 0;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
      MSG message;
      for (int i = 0; i < 100 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    ShowWindowAsync(window, restored ? SW_SHOW : SW_RESTORE);
    SetForegroundWindow(window);
    return;
  }
  HWND popup = GetLastActivePopup(window);
  if (popup != nullptr && GetForegroundWindow() != popup) SetForegroundWindow(popup);
}

void ShowWebPage(const std::string& text, TProcessingState& state) {
  const std::string exceptionText = ExceptionText(ObjectClassName(state.LastExceptionObject), text);
  if (IsIntraWebHost()) {
    IntraWebMessage += exceptionText;
    bool ok = false;
    RunInFaultingThread([&ok] { ok = ShowIntraWebErrorPage(); });
    // Shown, it is no longer pending: the next report must not carry it,
    // already escaped once, into its own page.
    IntraWebMessage.clear();
    state.DialogResult = ok;
    return;
  }
  if (IsWebHost()) state.DialogResult = SendErrorPage(WithOkButtonLine(BuildErrorPage(exceptionText, false)));
}

void ShowReport(uint8_t raiserType, TProcessingState& state) {
  const uint8_t output = OutputKindFor(raiserType);
  if (output == okWebPage) {
    ShowWebPage(state.ReportText, state);
    return;
  }
  if (output == okConsole) {
    try {
      WriteToConsole(ExceptionText(ObjectClassName(state.LastExceptionObject), state.ReportText));
    } catch (...) {
      state.DialogResult = false;
      WarnFromException(eeShowError, "Console");
    }
    return;
  }
  try {
    state.DialogResult = ProcessingSeams.ShowExceptionDialog();
  } catch (...) {
    state.DialogResult = false;
    WarnFromException(eeShowError, "GUI");
  }
}

}  // namespace RevavaRez
