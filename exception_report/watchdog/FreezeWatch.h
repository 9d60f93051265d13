#pragma once
// The freeze watchdog: a thread of the library that sends the process's main
// window an empty message over and over and, once the window has not
// answered for the options' time, reports a frozen application for the main
// thread where it stands.
#include <windows.h>

#include "base/Exception.h"

namespace RevavaRez {

// What a freeze report carries: the options' freeze text.
class EFrozenApplication : public Exception {
 public:
  using Exception::Exception;
};

class TFreezeThread;

// Starts this module's watchdog unless the options, the host or a running
// one say otherwise. Never raises.
void StartFreezeWatch();
// Stops it and waits until it has let go of the main thread; on the
// watchdog's own thread it only asks. Never raises.
void StopFreezeWatch();
// A watchdog of this module is running (not asked to stop).
bool FreezeWatchRunning();

// The empty message to the watched window: true when the window answered
// within the round's 50 ms. Replaceable, so that a test can make every send
// fail at once.
using TFreezeSend = bool (*)(HWND window);
extern TFreezeSend FreezeSend;
bool SendNullMessage(HWND window);

}  // namespace RevavaRez
