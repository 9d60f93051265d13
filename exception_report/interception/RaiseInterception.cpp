#include "interception/RaiseInterception.h"

namespace RevavaRez {

TRaiseException OriginalRaiseException = nullptr;
TRtlUnwind OriginalRtlUnwind = nullptr;

void WINAPI RaiseExceptionHook(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments) {
  RaiseException(code, flags, count, arguments);
}
void WINAPI RtlUnwindHook(void*, void*, EXCEPTION_RECORD*, void*) {}

}  // namespace RevavaRez
