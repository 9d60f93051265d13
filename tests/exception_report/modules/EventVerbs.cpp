// Verbs of the cross-module tests: this program and the test library, both
// carrying the library, act as one reporter.
//   events chain DLL REPORT   the notify event of a record at an address in
//                             the library, then of one in kernel32
//   events fault DLL REPORT   an access violation inside the library,
//                             reported through this program's manager
//   events defer DLL REPORT   the library's manager called with an object
//   (DLL may be any module that carries the library: the control too.)
#include <windows.h>

#include <memory>
#include <string>

#include "TestModuleDriver.h"
#include "base/Exception.h"
#include "core/ExternalExceptions.h"
#include "events/EventChain.h"
#include "events/EventSinks.h"
#include "events/ExceptionManager.h"
#include "events/RecordEntry.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"

namespace brx_test_module {

namespace {

using namespace RevavaRez;

class EProgramOnly : public Exception {
 public:
  using Exception::Exception;
};

HMODULE Library = nullptr;
std::string ExeJournal;

std::string LibraryJournal() {
  using TJournal = void(__stdcall*)(char*, int);
  auto journal = reinterpret_cast<TJournal>(reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsJournal")));
  char text[1024] = "no journal";
  if (journal) journal(text, sizeof text);
  return text;
}

void RegisterLibrarySinks() {
  using TRegister = void(__stdcall*)();
  if (auto reg = reinterpret_cast<TRegister>(reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsRegister"))))
    reg();
}

// Runs the notify event for a record whose exception happened at address.
std::string NotifyAt(void* address) {
  EProgramOnly object("A program-only error");
  TVezavuExceptionRecord record{};
  record.ExceptionObject = static_cast<std::exception*>(&object);
  record.ExceptionAddress = address;
  record.ThreadID = GetCurrentThreadId();
  SetCurrentExceptionRecord(&record);
  ExeJournal.clear();
  using TClear = void(__stdcall*)();
  if (auto clear = reinterpret_cast<TClear>(reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsClear"))))
    clear();
  bool handled = true;
  RaiseExceptionNotify(handled);
  SetCurrentExceptionRecord(nullptr);
  return "library=[" + LibraryJournal() + "] program=[" + ExeJournal + "]";
}

LONG CALLBACK ReportViolation(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  // Every other code (a C++ throw on x86_64 comes through here too) goes on.
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
  std::unique_ptr<EExternal> object = ExternalExceptionFor(*record);
  ExceptionManager(static_cast<std::exception*>(object.get()), record->ExceptionAddress, 0, GetModuleHandleW(nullptr));
  object.reset();
  // The faulting thread cannot go on from the fault; it ends here.
  ExitThread(7);
}

using TFault = void(__stdcall*)();
TFault Fault = nullptr;

DWORD WINAPI FaultingThread(void*) {
  if (Fault) Fault();
  return 0;
}

int Events(const std::wstring& which, const std::wstring& dll, const std::wstring& report) {
  Library = LoadLibraryW(dll.c_str());
  if (Library == nullptr) return WriteReport(report, "load failed") ? 0 : 3;
  ProcessingSeams.ShowExceptionDialog = [] { return true; };
  TRevavaRezEvents sink;
  sink.ExceptionNotify = [](void*, TVezavuExceptionRecord* record, bool&) {
    ExeJournal = std::string("exe-notify:") + (record && record->ExceptionObject ? "object" : "none") +
                 " after=[" + LibraryJournal() + "]";
  };
  RevavaRezList().Register(&sink);
  std::string answer;
  if (which == L"chain") {
    RegisterLibrarySinks();
    answer = "in-library: " + NotifyAt(reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsFault")));
    answer += " in-kernel32: " + NotifyAt(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                                  "Sleep")));
  } else if (which == L"fault") {
    RegisterLibrarySinks();
    Fault = reinterpret_cast<TFault>(reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsFault")));
    PVOID handler = AddVectoredExceptionHandler(1, ReportViolation);
    HANDLE thread = CreateThread(nullptr, 0, FaultingThread, nullptr, 0, nullptr);
    DWORD code = 0;
    if (thread && WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    if (thread) CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);
    answer = "thread=" + std::to_string(code) + " library=[" + LibraryJournal() +
             "] reports=" + std::to_string(ProcessingState().ErrorCount);
  } else if (which == L"defer") {
    auto manager = reinterpret_cast<TExceptionManagerExport>(
        reinterpret_cast<void*>(GetProcAddress(Library, kExceptionManagerExport)));
    if (manager == nullptr) return WriteReport(report, "no manager") ? 0 : 3;
    EProgramOnly object("Handed to the library's manager");
    const uint8_t result = manager(static_cast<std::exception*>(&object),
                                   reinterpret_cast<void*>(GetProcAddress(Library, "TestEventsFault")), 0, Library);
    answer = "result=" + std::to_string(result) + " reports=" + std::to_string(ProcessingState().ErrorCount);
  } else {
    return 2;
  }
  RevavaRezList().Unregister(&sink);
  return WriteReport(report, answer) ? 0 : 3;
}

}  // namespace

int RunEventVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 4 && arguments[0] == L"events") return Events(arguments[1], arguments[2], arguments[3]);
  return kNotMyVerb;
}

}  // namespace brx_test_module
