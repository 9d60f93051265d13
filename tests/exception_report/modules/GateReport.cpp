#include "GateReport.h"

#include <windows.h>

#include "options/ActivationGate.h"
#include "TestModules.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace brx_test_module {

std::string GateStateLine() {
  const RevavaRez::TLibraryState& state = RevavaRez::LibraryState();
  // The block is looked up by a name made apart from the library's, so that
  // a wrong name shows as a missing block.
  return std::string("active=") + (state.Active ? "1" : "0") + " defer=" + (state.MainModuleActive ? "1" : "0") +
         " hooks=" + (state.OwnsRuntimeHooks ? "1" : "0") + " options=" + (state.Options ? "1" : "0") + " " +
         brx_test::BlockState(GetCurrentProcessId(), reinterpret_cast<HMODULE>(&__ImageBase));
}

}  // namespace brx_test_module
