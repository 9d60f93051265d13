#include "stack/StackWalk.h"

namespace RevavaRez {

void WalkStack(TVezavuStackList&, uintptr_t, uintptr_t, uintptr_t, const TWalkOptions&) {}
void AddStackEntry(TVezavuStackList&, uintptr_t, const TWalkOptions&, int&) {}
void HideDuplicateEntries(TVezavuStackList&, int, bool, bool) {}
void WalkRecordCopy(TVezavuStackList&, const ThreadRecord&) {}

}  // namespace RevavaRez
