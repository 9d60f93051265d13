#pragma once
// The pieces the processing calls that other parts of the library provide
// (the exception dialog, the screenshot, sending), as replaceable functions
// with neutral defaults, and the one clock the processing reads "now" from.
#include <windows.h>

#include <cstdint>
#include <exception>

#include "core/DateTime.h"

namespace RevavaRez {

// What a send gets: enough to copy the exception (CloneObject) before the
// processing returns.
struct TSendRequest {
  const std::exception* Object = nullptr;
  uintptr_t Address = 0;
  const EXCEPTION_RECORD* SystemRecord = nullptr;
  bool Background = false;
};

struct TProcessingSeams {
  // The exception dialog; false when it could not be shown. It may change
  // the send and screenshot choices and ask for the close.
  bool (*ShowExceptionDialog)();
  void (*CaptureScreenshot)();
  void (*SaveScreenshotFile)();
  void (*FreeScreenshot)();
  void (*DeleteScreenshotFile)();
  // Asks for the steps that reproduce the error when the dialog's rules say so.
  void (*AskReproduceSteps)();
  void (*SendReport)(const TSendRequest& request);
  TDateTime (*Now)();
};

extern TProcessingSeams ProcessingSeams;

inline TDateTime ProcessingNow() { return ProcessingSeams.Now(); }

}  // namespace RevavaRez
