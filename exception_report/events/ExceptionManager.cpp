#include "events/ExceptionManager.h"

#include "core/ExceptionObjects.h"
#include "core/SectionScope.h"
#include "core/VArev.h"
#include "events/ExceptionRecord.h"
#include "hooking/HookEngine.h"
#include "interception/Dispatch.h"
#include "interception/ThreadExceptionState.h"
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

uint8_t ManageException(void* object, void* address, uint8_t outputKind, HMODULE module, uintptr_t callerFrame) {
  try {
    TSectionScope lock(ExceptionLock());
    const TLibraryState& state = LibraryState();
    if (state.MainModuleActive) {
      auto mainManager = reinterpret_cast<TExceptionManagerExport>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), kExceptionManagerExport)));
      if (mainManager != nullptr && ModuleOfAddress(reinterpret_cast<void*>(mainManager)) != ThisModule())
        return mainManager(object, address, outputKind, ThisModule());
    }
    if (!state.Active) return 1;
    TThreadExceptionState& thread = ThreadExceptionState();
    void* lastObject = thread.HasLastRaise ? thread.LastRaiseObject : nullptr;
    if (!IsReportable(object) && !IsReportable(lastObject)) return 1;
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (ClassOf(object) == nullptr) {
      object = lastObject;
      at = thread.LastRaiseAddress;
    }
    if (thread.Frame == 0) thread.Frame = callerFrame;
    // The raise's kind belongs to the object it named.
    const bool languageRaise = thread.HasLastRaise && thread.LastRaiseObject == object && thread.LastRaiseLanguage;
    return DispatchException(object, at, languageRaise, hkFull, module, outputKind, nullptr, 0, 0);
  } catch (...) {
    return 1;
  }
}

}  // namespace RevavaRez
