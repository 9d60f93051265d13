#include "interception/RuntimeProcedures.h"

#include "interception/RaiseInterception.h"

namespace RevavaRez {

void CallGeneralRaise(DWORD, DWORD, DWORD, uintptr_t, const ULONG_PTR*) {}
void* CallExceptObject(EXCEPTION_RECORD*, CONTEXT*, bool) { return nullptr; }
void InstallRuntimeProcedures() {}
void RemoveRuntimeProcedures() {}

}  // namespace RevavaRez
