#include "events/ExceptionManager.h"

#include "core/ExceptionObjects.h"
#include "core/VArev.h"
#include "events/ExceptionRecord.h"
#include "hooking/HookEngine.h"
#include "options/ActivationGate.h"
#include "processing/ProcessException.h"

namespace RevavaRez {

CRITICAL_SECTION& ExceptionLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
  }();
  return *lock;
}

namespace {

class TExceptionLockScope {
 public:
  TExceptionLockScope() { EnterCriticalSection(&ExceptionLock()); }
  ~TExceptionLockScope() { LeaveCriticalSection(&ExceptionLock()); }
  TExceptionLockScope(const TExceptionLockScope&) = delete;
  TExceptionLockScope& operator=(const TExceptionLockScope&) = delete;
};

}  // namespace

uint8_t ManageException(void* object, void* address, uint8_t outputKind, HMODULE module, uintptr_t callerFrame) {
  try {
    TExceptionLockScope lock;
    const TLibraryState& state = LibraryState();
    if (state.MainModuleActive) {
      auto mainManager = reinterpret_cast<TExceptionManagerExport>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), kExceptionManagerExport)));
      if (mainManager != nullptr && ModuleOfAddress(reinterpret_cast<void*>(mainManager)) != ThisModule())
        return mainManager(object, address, outputKind, ThisModule());
    }
    if (!state.Active) return 1;
    // The raise tracking that would give the last object raised is not
    // there: an object that is not reportable is passed on.
    if (!IsReportable(object)) return 1;
    TExceptNotifyParams params;
    params.FramePointer = callerFrame;
    params.ThreadID = GetCurrentThreadId();
    return ProcessException(object, reinterpret_cast<uintptr_t>(address), false, hkFull, module, outputKind, params)
               ? 1
               : 0;
  } catch (...) {
    return 1;
  }
}

}  // namespace RevavaRez
