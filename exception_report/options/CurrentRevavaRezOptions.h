#pragma once
// The options object of this module's module record: what steers the
// library while it processes an exception of this module.
#include "options/VezavuModuleOptionsEx.h"

namespace RevavaRez {

// Raises EAssertionFailed while the library is inactive or this module has
// no module record.
TVezavuModuleOptionsEx* CurrentRevavaRezOptions();
// The same test without raising: false in an inactive module.
bool IsCurrentRevavaRezOptions(const TVezavuModuleOptions* options) noexcept;

// The module list finds this module's record; until it exists no module has
// one. Constant-initialised, so it may be read during start-up. It answers
// without waiting for the list's lock, from any thread.
extern TVezavuModuleOptionsEx* (*ModuleRecordOptions)() noexcept;

}  // namespace RevavaRez
