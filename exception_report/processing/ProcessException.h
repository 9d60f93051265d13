#pragma once
// Turning one caught exception into a report.
#include <windows.h>

#include <cstdint>

#include "report/ReportInputs.h"

namespace RevavaRez {

// Handler kinds: only the thread's outer handler catches the exception (the
// call stack is recorded, nothing else happens), or full processing.
constexpr uint8_t hkFull = 0;
constexpr uint8_t hkOuterOnly = 2;

// Raiser types: where the report goes.
constexpr uint8_t rtDecide = 0;
constexpr uint8_t rtConsole = 1;
constexpr uint8_t rtWebPage = 2;

// object may be no valid object. A language raise with a non-zero address
// reports the raising call (address - 5). True: the caller passes the
// exception on to the default handling. Never raises.
bool ProcessException(void* object, uintptr_t address, bool languageRaise, uint8_t handlerKind, HMODULE module,
                      uint8_t raiserType, const TExceptNotifyParams& params);

}  // namespace RevavaRez
