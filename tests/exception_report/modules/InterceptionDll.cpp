// The test library's side of the interception tests: the interception put
// in place in this library, and its thread attach, which, once armed, hands
// one exception to the library from inside the loader while that holds its
// lock.
#include <windows.h>

#include <atomic>

#include "base/Exception.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "events/ExceptionManager.h"
#include "hooking/HookEngine.h"
#include "interception/InterceptionHooks.h"
#include "interception/RuntimeProcedures.h"

namespace {

std::atomic<bool> Armed{false};
HMODULE Self = nullptr;

void HandInFromAttach() {
  Exception error("Handed in from a thread attach");
  ExceptionManager(&error, reinterpret_cast<void*>(&HandInFromAttach), 0, Self);
}

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestModuleIntercept() {
  try {
    RevavaRez::EHookInit();
    RevavaRez::InstallInterceptionHooks({RevavaRez::ModuleFileNameOf(RevavaRez::ThisModule())});
    RevavaRez::InstallRuntimeProcedures();
  } catch (...) {
  }
}

extern "C" __declspec(dllexport) void __stdcall TestModuleArmThreadAttach(const wchar_t*) { Armed = true; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Self = instance;
  if (reason == DLL_THREAD_ATTACH && Armed.exchange(false)) {
    try {
      HandInFromAttach();
    } catch (...) {
    }
  }
  return TRUE;
}
