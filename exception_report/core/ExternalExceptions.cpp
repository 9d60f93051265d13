#include "core/ExternalExceptions.h"

#include <cstdio>

#include "report/GeneralValues.h"

namespace RevavaRez {

EExternal::EExternal(const std::string& message, const EXCEPTION_RECORD& record)
    : Exception(message), FRecord(record) {
  // The chained record belongs to the raiser's stack, long gone when the
  // object is read.
  FRecord.ExceptionRecord = nullptr;
}

std::unique_ptr<EExternal> ExternalExceptionFor(const EXCEPTION_RECORD& record) {
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      return std::make_unique<EAccessViolation>(
          ExceptionMessageText(nullptr, reinterpret_cast<uintptr_t>(record.ExceptionAddress), &record), record);
    case EXCEPTION_STACK_OVERFLOW:
      return std::make_unique<EStackOverflow>("Stack overflow.", record);
    default: {
      char message[64];
      std::snprintf(message, sizeof message, "External exception %08lX.",
                    static_cast<unsigned long>(record.ExceptionCode));
      return std::make_unique<EExternal>(message, record);
    }
  }
}

}  // namespace RevavaRez
