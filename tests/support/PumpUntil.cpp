#include "PumpUntil.h"

namespace {

constexpr DWORD kSliceMs = 20;

bool Wait(HANDLE handle, const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    PumpPending();
    if (condition && condition()) return true;
    if (handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    const DWORD left = static_cast<DWORD>(deadline - now);
    MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE,
                              left < kSliceMs ? left : kSliceMs, QS_ALLINPUT);
  }
}

}  // namespace

void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  return Wait(nullptr, condition, timeoutMs);
}

bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs) { return Wait(handle, nullptr, timeoutMs); }
