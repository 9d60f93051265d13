#pragma once
// Handing an exception to the processing: on a processing thread of its own
// while the faulting thread waits, answering its messages and running what
// must run on it.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

// The result of ProcessException (1: passed on) or 1 when nothing was
// processed, 0 for an exception already being processed on this thread.
// context, framePointer and stackTop may be none: the faulting thread's own
// are taken. Never raises.
uint8_t DispatchException(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
                          uint8_t raiserType, const void* context, uintptr_t framePointer, uintptr_t stackTop);

// The address of the exception the last processing was given: an uncaught
// exception at that address was reported already.
uintptr_t LastDispatchedAddress();

// What the faulting thread does meanwhile when a library dialog is up: at
// most 11 messages of its queue, input dropped with a beep. False once a
// dispatch raised: the caller pumps no more during this wait. A "WM_QUIT"
// met is kept in quitCode, for the caller to post again after the wait.
bool PumpWaitingMessages(bool& quitSeen, int& quitCode);

// The message prefix of an exception that left a safecall method.
extern const char kSafeCallPrefix[];
bool IsSafeCallException(const void* object);
// Prefixes the message once; objects that are not this system's
// Exception are left alone.
void TagSafeCallException(void* object);

// The class name of the focused window (remembered with the cursor for the
// screenshot's frame), and its text, "*" for every character of a password
// edit.
std::string FocusedWindowClass();
std::string FocusedWindowText();

// The calling thread holds the loader lock: no thread can start until it
// lets go.
bool HoldsLoaderLock();

}  // namespace RevavaRez
