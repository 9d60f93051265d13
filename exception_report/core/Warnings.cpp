// The last warning of the process. Any thread may report one, so it is kept
// under a lock.
#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/Hooks.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

SRWLOCK WarningLock = SRWLOCK_INIT;
TWarning& Last() {
  static TWarning warning;
  return warning;
}

bool ShownWhileSending(TRevavaRezErrorCode code) {
  return code == eeEmailSMTPError || code == eeWebHTTPError || code == eeWebHTTPSError ||
         code == eeWebFTPError;
}

}  // namespace

const char* ErrorCodeName(TRevavaRezErrorCode code) {
  static const char* const names[] = {"eeNoError",        "eeEmailMAPIError", "eeEmailShellError",
                                      "eeEmailSMTPError", "eeWebHTTPError",   "eeWebHTTPSError",
                                      "eeWebFTPError",    "eeLogError",       "eeShowError"};
  return code >= eeNoError && code <= eeShowError ? names[code] : "";
}

void ReportWarning(TRevavaRezErrorCode code, const std::string& message) {
  try {
    AcquireSRWLockExclusive(&WarningLock);
    try {
      Last().Code = code;
      Last().Message = message;
    } catch (...) {
    }
    ReleaseSRWLockExclusive(&WarningLock);
    uintptr_t address = LibraryHooks.RaiseAddressOf(CurrentException().Object);
    std::string line = "[WARNING] - Code: " + std::string(ErrorCodeName(code)) +
                       " - Address: " + AddressText(address) + " - Message: \"" + message + "\"";
    OutputDebugStringA(line.c_str());
    if (ShownWhileSending(code) && LibraryHooks.SendProgressDialogUp())
      MessageBoxA(nullptr, message.c_str(), "Error.", 0x242010);
  } catch (...) {
    OutputDebugStringA("ReportWarning failed");
  }
}

void ClearWarning() {
  AcquireSRWLockExclusive(&WarningLock);
  Last() = TWarning();
  ReleaseSRWLockExclusive(&WarningLock);
}

TWarning LastWarning() {
  TWarning copy;
  AcquireSRWLockShared(&WarningLock);
  try {
    copy = Last();
  } catch (...) {
  }
  ReleaseSRWLockShared(&WarningLock);
  return copy;
}

void WarnFromException(TRevavaRezErrorCode code, const std::string& section) {
  try {
    TCaughtException caught = CurrentException();
    ReportWarning(code, caught.IsException ? "[" + section + "] " + caught.Message
                                           : "General '" + section + "' error.");
  } catch (...) {
    OutputDebugStringA("WarnFromException failed");
  }
}

}  // namespace RevavaRez
