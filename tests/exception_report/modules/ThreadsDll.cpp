// A library that carries the exception-reporting library for the thread
// tracking tests: it puts the interception's hooks into a module's import
// table, starts a thread through its own, and tells of its detach.
#include <windows.h>

#include <new>
#include <string>

#include "hooking/HookEngine.h"
#include "interception/InterceptionHooks.h"

namespace {

// At detach: the hooks go (a program's import table must not point into
// an unloaded library), then the event named after the process is set.
struct TDetachSignal {
  ~TDetachSignal() {
    if (Hooked) RevavaRez::EHookDone();
    const std::wstring name = L"BrxThreadsDllDetach-" + std::to_wstring(GetCurrentProcessId());
    if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
      SetEvent(event);
      CloseHandle(event);
    }
  }
  bool Hooked = false;
};
TDetachSignal Detach;

struct TPairedStart {
  HANDLE Release;
};

DWORD WINAPI PairedThread(void* parameter) {
  HANDLE release = static_cast<TPairedStart*>(parameter)->Release;
  delete static_cast<TPairedStart*>(parameter);
  WaitForSingleObject(release, 10000);
  ExitThread(5);
}

}  // namespace

// The five hooks in the named module ("" for the main program); 1 when
// done, 0 when the library's set-up failed.
extern "C" __declspec(dllexport) int __stdcall TestThreadsHook(const char* moduleName) {
  try {
    RevavaRez::EHookInit();
    Detach.Hooked = true;
    RevavaRez::InstallInterceptionHooks({moduleName});
    return 1;
  } catch (...) {
    return 0;
  }
}

// A thread of this library, created suspended and resumed here, that waits
// for release and ends through "ExitThread" with code 5. The caller closes
// the handle.
extern "C" __declspec(dllexport) HANDLE __stdcall TestThreadsStart(HANDLE release, DWORD* threadID) {
  auto* start = new (std::nothrow) TPairedStart{release};
  if (start == nullptr) return nullptr;
  HANDLE thread = CreateThread(nullptr, 0, PairedThread, start, CREATE_SUSPENDED, threadID);
  if (thread == nullptr) {
    delete start;
    return nullptr;
  }
  ResumeThread(thread);
  return thread;
}
