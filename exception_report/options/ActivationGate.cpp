#include "options/ActivationGate.h"

#include <windows.h>

#include "core/ExceptionLog.h"
#include "core/Hooks.h"
#include "options/LibraryData.h"
#include "options/ModuleBlock.h"
#include "core/VArev.h"
#include "options/VezavuModuleOptionsEx.h"
#include "stack/ThreadsList.h"
#include "stack/StackWalk.h"
#include "stack/ThreadContext.h"

namespace RevavaRez {

namespace {

// The C++ run-time is linked statically into every module, so the root of
// its classes always lives in this module.
constexpr bool kRootClassInThisModule = true;

void InitExceptionLog() {
  VArevInit();
  TLibraryState& state = LibraryState();
  InternalErrorHook = InternalErrorHandler;
  LibraryHooks.CurrentThreadStack = CurrentThreadStackEntries;
  const HMODULE mainModule = GetModuleHandleA(nullptr);
  state.MainModuleActive = mainModule != ThisModule() && HasLibraryData(mainModule);
  state.OwnsRuntimeHooks = !(state.MainModuleActive && !kRootClassInThisModule);
  state.Active = true;
  RememberStartDirectory();
  if (!IsIDEHost()) {
    LibraryHooks.PatchUnitInitTable();
    if (!HasLibraryData(ThisModule())) {
      state.Active = false;
      return;
    }
  }
  state.Options = std::make_unique<TVezavuModuleOptionsEx>(false, std::string());
  state.MainThreadStackTop = CurrentThreadStackBase();
  state.MainThreadID = GetCurrentThreadId();
  state.StartTime = Now();
  // The main thread's record holds a handle of the list's own, which the
  // list closes when it deletes the record.
  state.Threads = std::make_unique<TVezavuThreadsList>();
  ThreadRecord* mainRecord = state.Threads->NewRecord(true);
  mainRecord->ThreadID = state.MainThreadID;
  mainRecord->Handle = DuplicateThreadHandle(GetCurrentThread());
  mainRecord->StackTop = state.MainThreadStackTop;
  TSharedBlock& block = ModuleBlock();
  // Without the block nothing is published; the library works all the same.
  if (OpenSharedBlock(ThisModule(), kModuleBlockLabel, 1, block) && block.DataSize >= 1) block.Data[0] = 0;
}

void GoInactive() noexcept {
  TLibraryState& state = LibraryState();
  state.Active = false;
  state.Options.reset();
  state.Threads.reset();
  CloseSharedBlock(ModuleBlock());
}

void DoneExceptionLog() {
  GoInactive();
  VArevDone();
}

}  // namespace

TLibraryState& LibraryState() {
  static TLibraryState state;
  return state;
}

void RunActivationGate() noexcept {
  // Nothing may reach the loader from here: in a browser that hosts the
  // control, an exception out of the module's initialisation ends the
  // browser. A failure is told to a debugger and the library stays inactive.
  if (!RunGuardedAtEntry(InitExceptionLog, "ExceptionLog.Init")) GoInactive();
}

void CloseActivation() noexcept {
  if (!RunGuardedAtEntry(DoneExceptionLog, "ExceptionLog.Done")) GoInactive();
}

}  // namespace RevavaRez
