#pragma once
// Waiting in tests: pump the thread's messages until a condition holds or
// the time is up. Wakes on every message, and at least every slice so that
// conditions other threads set are seen.
#include <windows.h>

#include <functional>

// True when condition held within timeoutMs.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Pumps for as long as timeoutMs, or until handle is signalled (true).
bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs);
// Dispatches what is waiting now, without blocking.
void PumpPending();
