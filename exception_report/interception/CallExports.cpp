// The exports through which another module's library hands the main
// module's library what its hooks see: raises, exception records and the
// threads it starts, resumes and ends. Like the other exports they sit in
// the start-up object, and no exception leaves them.
#include <windows.h>

#include <cstdint>

#include "interception/RaiseInterception.h"
#include "interception/RuntimeProcedures.h"
#include "interception/ThreadTracking.h"

using namespace RevavaRez;

extern "C" {

__declspec(dllexport) void __stdcall RevavaRez_CallGeneralRaise(DWORD code, DWORD flags, DWORD count,
                                                                uintptr_t stackPointer, const ULONG_PTR* arguments) {
  try {
    CallGeneralRaise(code, flags, count, stackPointer, arguments);
  } catch (...) {
  }
}

__declspec(dllexport) void* __stdcall RevavaRez_CallExceptObject(EXCEPTION_RECORD* record, CONTEXT* context,
                                                                 uint8_t report) {
  try {
    return CallExceptObject(record, context, report != 0);
  } catch (...) {
    return nullptr;
  }
}

__declspec(dllexport) void __stdcall RevavaRez_CallCreateThread(const ThreadRecord* record) {
  try {
    CallCreateThread(record);
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_CallResumeThread(HANDLE thread, const ThreadRecord* record) {
  try {
    CallResumeThread(thread, record);
  } catch (...) {
  }
}

__declspec(dllexport) void __stdcall RevavaRez_CallExitThread() {
  try {
    CallExitThread();
  } catch (...) {
  }
}

}  // extern "C"
