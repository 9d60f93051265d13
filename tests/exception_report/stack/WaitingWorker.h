#pragma once
// A thread that waits until the test ends it, for records of a live thread.
#include <windows.h>

namespace RevavaRez {

inline DWORD WINAPI WaitOnEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 10000);
  return 0;
}

struct Worker {
  HANDLE Release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD ID = 0;
  HANDLE Thread = CreateThread(nullptr, 0, WaitOnEvent, Release, 0, &ID);
  void End() {
    SetEvent(Release);
    WaitForSingleObject(Thread, 10000);
  }
  ~Worker() {
    End();
    CloseHandle(Thread);
    CloseHandle(Release);
  }
};

}  // namespace RevavaRez
