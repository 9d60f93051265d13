#pragma once
// The decision, taken once when the module that carries the library
// initialises, whether the library works in this module, and the state
// that decision leaves behind (grown by the library's start-up).
#include <cstdint>
#include <memory>

#include "core/DateTime.h"

namespace RevavaRez {

class TVezavuModuleOptionsEx;
class TVezavuThreadsList;

// The start directory, the fourth piece of this state, is kept with the
// restart that uses it (RememberStartDirectory).
struct TLibraryState {
  // The initialised flag: the library works in this module.
  bool Active = false;
  // This module is not the main executable and the main executable carries
  // the library's data block: its copy of the library takes the lead.
  bool MainModuleActive = false;
  // Whether this module installs the run-time hooks.
  bool OwnsRuntimeHooks = false;
  // The top of the start-up thread's stack, passed with a freeze report.
  uintptr_t MainThreadStackTop = 0;
  // This module's own options, while active.
  std::unique_ptr<TVezavuModuleOptionsEx> Options;
  // When the active library started (the report's start date).
  TDateTime StartTime = 0;
  // The start-up thread, the report's main thread.
  uint32_t MainThreadID = 0;
  // A handle on the main thread with the rights the freeze watchdog needs
  // (suspend, resume, context, query); made by the watchdog's start when
  // absent.
  void* MainThreadHandle = nullptr;
  // The threads this module knows of, from activation on; the first record
  // is the main thread's.
  std::unique_ptr<TVezavuThreadsList> Threads;
};

// Built on first use, so the start-up object may reach it whatever the
// order of static initialisation.
TLibraryState& LibraryState();

// Run by the start-up object; never raises. A failure inside leaves the
// library inactive and goes to the debugger output.
void RunActivationGate() noexcept;
// Run when the module unloads: closes the module block, frees the options.
void CloseActivation() noexcept;

}  // namespace RevavaRez
