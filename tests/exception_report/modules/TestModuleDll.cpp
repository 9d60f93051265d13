// A library that carries the exception-reporting library, loaded by the
// test programs and the test EXEs; its exports answer from inside it.
#include <windows.h>

#include <cstring>

#include "options/ActivationGate.h"
#include "core/ExceptionLog.h"
#include "GateReport.h"
#include "core/VArev.h"
#include "options/VezavuModuleOptionsEx.h"

namespace {

void CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestModuleGateState(char* buffer, int size) {
  try {
    CopyOut(brx_test_module::GateStateLine(), buffer, size);
  } catch (...) {
    CopyOut("failed", buffer, size);
  }
}

// Lets the library's own options publish a change, as an active module's
// program would; false while the library is inactive.
extern "C" __declspec(dllexport) BOOL __stdcall TestModulePublishMailServer(const char* server) {
  try {
    RevavaRez::TVezavuModuleOptionsEx* options = RevavaRez::LibraryState().Options.get();
    if (options == nullptr) return FALSE;
    options->SetModuleFileName(RevavaRez::ModuleFileNameOf(RevavaRez::ThisModule()));
    options->SetPublishShared(true);
    options->SetMailServer(server);
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}
