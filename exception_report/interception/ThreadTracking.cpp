#include "interception/ThreadTracking.h"

namespace RevavaRez {

TCreateThread OriginalCreateThread = nullptr;
TResumeThread OriginalResumeThread = nullptr;
TExitThread OriginalExitThread = nullptr;

namespace {
template <typename T>
T Kernel(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
}  // namespace
HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                               void* parameter, DWORD flags, DWORD* threadID) {
  return Kernel<TCreateThread>("CreateThread")(security, stackSize, start, parameter, flags, threadID);
}
DWORD WINAPI ResumeThreadHook(HANDLE thread) { return Kernel<TResumeThread>("ResumeThread")(thread); }
void WINAPI ExitThreadHook(DWORD exitCode) { Kernel<TExitThread>("ExitThread")(exitCode); }
DWORD WINAPI RawThreadStart(void*) { return 0; }
DWORD WINAPI RtlThreadStart(void*) { return 0; }
void ThreadStartWrapper(void*) {}
void CallCreateThread(const ThreadRecord*) {}
void CallResumeThread(HANDLE, const ThreadRecord*) {}
void CallExitThread() {}

}  // namespace RevavaRez
