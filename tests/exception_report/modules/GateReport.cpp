#include "GateReport.h"

#include <windows.h>

#include "options/ActivationGate.h"
#include "stack/ThreadsList.h"
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

std::string ThreadsStateLine() {
  const RevavaRez::TLibraryState& state = RevavaRez::LibraryState();
  if (!state.Threads) return "no list";
  RevavaRez::TVezavuThreadsList& threads = *state.Threads;
  threads.ReadLock();
  std::string line = "records=" + std::to_string(threads.Count());
  if (threads.Count() > 0) {
    const RevavaRez::ThreadRecord& record = *threads.Items(0);
    // A pseudo-handle would name whichever thread uses it.
    const bool ownHandle = record.Handle != nullptr && record.Handle != GetCurrentThread() &&
                           GetThreadId(record.Handle) == state.MainThreadID;
    line += std::string(" id=") + (record.ThreadID == state.MainThreadID ? "1" : "0") +
            " handle=" + (ownHandle ? "1" : "0") +
            " top=" + (record.StackTop != 0 && record.StackTop == state.MainThreadStackTop ? "1" : "0");
  }
  threads.ReadUnlock();
  return line;
}

}  // namespace brx_test_module
