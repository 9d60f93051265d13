#pragma once
// The library's shared helpers: modules, computer and debugger, handles and
// threads, windows, clipboard, restart, warnings and internal errors.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/DateTime.h"
#include "core/ExceptionLogText.h"

namespace RevavaRez {

// The target of the relative call or jump (E8 / E9 and a 32-bit
// displacement) at site, with an import jump there followed; 0 when the
// instruction cannot be read.
uintptr_t CallTargetOf(uintptr_t site);

// The module's file name (the main module for null), with a "\??\" prefix
// cut and short components expanded; empty on failure.
std::string ModuleFileNameOf(HMODULE module);
// The module whose file this is, or null.
HMODULE ModuleHandleOfFile(const std::string& fileName);
std::string TempFolder();
std::string ComputerName();
// The computer name made fit for a file name.
std::string SafeComputerName();
// "Microsoft Windows ..." for the running system.
std::string WindowsVersionName();
// MailDateText of a local time in this machine's zone.
std::string MailDate(TDateTime date);

bool IsDebuggerAttached();
bool HandleIsValid(HANDLE handle, DWORD platformId = VER_PLATFORM_WIN32_NT);
bool ThreadIsRunning(HANDLE thread);

// Windows: the visible, unowned (or owned by the desktop, past one tool
// window owner) top-level windows that are not tool windows unless also
// application windows.
bool IsMainLikeWindow(HWND window);
HWND FindProcessWindow(DWORD processId);
bool IsOwnWindow(HWND window);
// Remembers the process's top-level windows; IsNewWindow is true for one
// not remembered then.
void ListProcessWindows();
bool IsNewWindow(HWND window);

// CF_TEXT; false when the clipboard would not take it.
bool CopyTextToClipboard(const std::string& text);
// Starts the same command line again when restart is set, then ends this
// process with exit code 1.
[[noreturn]] void RestartOrTerminate(bool restart);
// The current directory when the library started (for a restart).
void RememberStartDirectory();
std::string StartDirectory();

// The codes of the library's warnings; the warning text names them.
enum TRevavaRezErrorCode {
  eeNoError,
  eeEmailMAPIError,
  eeEmailShellError,
  eeEmailSMTPError,
  eeWebHTTPError,
  eeWebHTTPSError,
  eeWebFTPError,
  eeLogError,
  eeShowError,
};
const char* ErrorCodeName(TRevavaRezErrorCode code);

// The last warning of the process.
void ReportWarning(TRevavaRezErrorCode code, const std::string& message);
void ClearWarning();
// Inside a catch block: "[section] message", or "General 'section' error."
// for a thrown object that is no exception.
void WarnFromException(TRevavaRezErrorCode code, const std::string& section);
struct TWarning {
  TRevavaRezErrorCode Code = eeNoError;
  std::string Message;
};
TWarning LastWarning();

// Reports a failure of the library itself (inside a catch block), but only
// in the development environment or under a debugger: the debugger output,
// a ".log" report and a question whether to send it.
void InternalErrorHandler(const std::string& section);
// The calling thread's call stack, one line per entry.
std::string InternalStackText();

}  // namespace RevavaRez
