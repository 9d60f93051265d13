#pragma once
// What the report of one exception is made from.
#include <windows.h>

#include <cstdint>
#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;

// Taken from the faulting thread by the interception; every field may be
// empty.
struct TExceptNotifyParams {
  const void* Context = nullptr;  // the thread context, in the build's form
  uintptr_t FramePointer = 0;
  uintptr_t StackTop = 0;
  DWORD ThreadID = 0;
  std::string FocusedClass;
  std::string FocusedText;
};

struct TReportInputs {
  // The options being processed; their texts label the report.
  const TVezavuModuleOptions* Options = nullptr;
  // Perhaps no valid object at all.
  const void* ExceptionObject = nullptr;
  uintptr_t Address = 0;
  const EXCEPTION_RECORD* SystemRecord = nullptr;
  TExceptNotifyParams Params;
};

}  // namespace RevavaRez
