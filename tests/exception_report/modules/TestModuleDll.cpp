// A library that carries the exception-reporting library, loaded by the
// test programs and the test EXEs; its exports answer from inside it.
#include <windows.h>

#include <cstring>

#include "options/ActivationGate.h"
#include "core/ExceptionLog.h"
#include "GateReport.h"
#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "moduleinfo/Symbols.h"
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

// The symbol tests: a routine and a constant of this module that a data
// block's symbol directory points at, and the lookup and hook from inside.
namespace {

void* SymbolOriginal = nullptr;

int SymbolReplacement(int value) {
  using TRoutine = int (*)(int);
  const int original = SymbolOriginal ? reinterpret_cast<TRoutine>(SymbolOriginal)(value) : 0;
  return 1000 + original;
}

}  // namespace

// More than 5 bytes before its first return, so a hook can take its place.
extern "C" __declspec(dllexport) __attribute__((noinline)) int TestModuleSymbolTarget(int value) {
  volatile int scratch = value;
  scratch = scratch * 3 + 1;
  return scratch;
}

extern "C" __declspec(dllexport) const uint8_t TestModuleSymbolData[16] = {0x55, 0x8B, 0xEC};

extern "C" __declspec(dllexport) uintptr_t TestModuleFindSymbol(int identifier) {
  return RevavaRez::FindSymbolByID(static_cast<uint8_t>(identifier));
}

// 1 when hooked, 0 when not found, -1 when the hooking engine refused (its
// message in the buffer).
// The hooking engine is set up here as the library's start-up will.
extern "C" __declspec(dllexport) int TestModuleHookSymbol(int identifier, char* error, int size) {
  try {
    static const bool engineUp = (RevavaRez::EHookInit(), true);
    (void)engineUp;
    SymbolOriginal = RevavaRez::HookSymbolByID(static_cast<uint8_t>(identifier),
                                               reinterpret_cast<void*>(&SymbolReplacement));
    return SymbolOriginal ? 1 : 0;
  } catch (const std::exception& failure) {
    CopyOut(failure.what(), error, size);
  } catch (...) {
    CopyOut("unknown", error, size);
  }
  return -1;
}

// Undoes the symbol test's own hook, leaving any other in place.
extern "C" __declspec(dllexport) void TestModuleHooksDone() {
  RevavaRez::UnhookProcedure(reinterpret_cast<void*>(&TestModuleSymbolTarget));
}

// A worker for the stack-capture tests, started as a thread procedure on a
// pair of events: it tells that it runs, then waits inside this module until
// released.
struct TBlockedWorkerEvents {
  HANDLE Started;
  HANDLE Release;
};

extern "C" __declspec(dllexport) __attribute__((noinline)) DWORD WINAPI TestModuleBlockedWorker(void* parameter) {
  auto* events = static_cast<TBlockedWorkerEvents*>(parameter);
  SetEvent(events->Started);
  const DWORD waited = WaitForSingleObject(events->Release, INFINITE);
  // Work after the wait keeps it a call, not a jump.
  return waited + 1;
}
