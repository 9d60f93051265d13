#pragma once
// The process-wide module list.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "moduleinfo/ModuleInfo.h"

namespace RevavaRez {

// The Toolhelp entry at its size for the build: the size field tells the
// system which layout the caller has.
#ifdef _WIN64
static_assert(sizeof(MODULEENTRY32) == 568, "MODULEENTRY32 of a 64-bit build");
#else
static_assert(sizeof(MODULEENTRY32) == 548, "MODULEENTRY32 of a 32-bit build");
#endif

// Made on first use; from then on ModuleRecordOptions answers the options of
// this module's record while it has one.
TVezavuModulesList& Modules();
// Frees the list and every record, stale ones too (shut-down, and tests that
// need a fresh list). The next Modules() makes a new one.
void FreeModules();

// The module list's one lock, held by each of its changes and lookups and
// by whoever walks its records. It is recursive: a password handler run
// while a record is made may look up an address itself. Lock order: taken
// after the processing lock, and never while another lock of the library
// is held; nothing done under it takes one. The options of this module's
// record are published under it and read without it, so the option setters
// that any thread calls never wait for a refresh.
class TModulesLock {
 public:
  TModulesLock();
  ~TModulesLock();
  TModulesLock(const TModulesLock&) = delete;
  TModulesLock& operator=(const TModulesLock&) = delete;
};

}  // namespace RevavaRez
