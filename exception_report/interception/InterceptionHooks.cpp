#include "interception/InterceptionHooks.h"

#include "hooking/HookEngine.h"
#include "interception/RaiseInterception.h"
#include "interception/ThreadTracking.h"

namespace RevavaRez {

namespace {

template <typename TRoutine>
void HookKernelRoutine(const std::vector<std::string>& modules, const char* name, TRoutine replacement,
                       TRoutine& original) {
  void* found = nullptr;
  // A module that does not import the routine is left as it is.
  HookImportedProcedure(modules, "kernel32.dll", true, found, reinterpret_cast<void*>(replacement), name);
  if (found != nullptr) original = reinterpret_cast<TRoutine>(found);
}

}  // namespace

void InstallInterceptionHooks(const std::vector<std::string>& modules) {
  HookKernelRoutine(modules, "RaiseException", &RaiseExceptionHook, OriginalRaiseException);
  HookKernelRoutine(modules, "RtlUnwind", &RtlUnwindHook, OriginalRtlUnwind);
  HookKernelRoutine(modules, "CreateThread", &CreateThreadHook, OriginalCreateThread);
  HookKernelRoutine(modules, "ResumeThread", &ResumeThreadHook, OriginalResumeThread);
  HookKernelRoutine(modules, "ExitThread", &ExitThreadHook, OriginalExitThread);
}

}  // namespace RevavaRez
