#pragma once
// The decision, taken once when the module that carries the library
// initialises, whether the library works in this module, and the state
// that decision leaves behind (grown by the library's start-up).
#include <cstdint>
#include <memory>

namespace RevavaRez {

class TVezavuModuleOptionsEx;

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
