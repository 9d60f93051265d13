#pragma once
// Small helpers shared by the engine's sources and the control.
#include <windows.h>

#include <string>

// "hh:mm:ss"; hours take as many digits as they need. A negative count
// shows as "00:00:00".
std::string SecondsToTimeStr(int Seconds);

// True for URLs that begin with "HTTP", "FTP:" or "KRMS" in any letter case
// (so https and ftp URLs count as remote).
bool IsRemoteURL(const std::string& URL);

// Turns a "file://" URL (any letter case) into a path: %7B, %7D and %20 are
// decoded, the scheme dropped, slashes turned round, and a host name gets
// "\\" in front. Any text is cut before its first "?".
std::wstring FileURLToPath(const std::wstring& URL);

// Posts to the thread's queue, retrying every 10 ms while the post is
// refused (a new thread has no queue yet). True once posted; false when
// Handle is signalled, i.e. the thread behind it has ended.
bool PostThreadMessageWait(DWORD ThreadID, HANDLE Handle, UINT Msg, WPARAM WParam, LPARAM LParam);

// Waits without time limit until one of the handles is signalled and
// answers which (as WaitForMultipleObjects does). Messages that other
// threads send to this thread's windows are let through meanwhile: a stop
// waited for on the control's thread must not deadlock with an event
// handler on the live source's thread that sends a message to a window of
// the container. Posted messages stay queued.
DWORD WaitLettingSentMessagesThrough(DWORD Count, const HANDLE* Handles);
