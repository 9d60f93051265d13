#pragma once
// Turning a range of stack slots into call-stack entries.
#include <windows.h>

#include <cstdint>

#include "stack/StackList.h"

namespace RevavaRez {

// The walk reads at most this many bytes above its start.
constexpr size_t kStackWalkLimit = 102400;

struct TWalkOptions {
  uint32_t KindSet = 31;  // bit k lets kind k in
  int CountLimit = -1;  // -1 with FirstCounted -1: no limits
  int FirstCounted = -1;
  bool FollowDirectCalls = true;
  bool DebugInfo = true;
  bool ThreadFlag = false;  // true: a live walk of a running thread
  DWORD ThreadID = 0;  // the thread the entries are told under
};

// Adds firstAddress (when not 0), then a call site for every slot value
// that follows a call; then hides duplicates from the first entry it added.
void WalkStack(TVezavuStackList& list, uintptr_t firstAddress, uintptr_t stackStart, uintptr_t stackEnd,
               const TWalkOptions& options);
// Keeps the entry for the address under the options' kind set and limits;
// seen counts the candidates of kept kinds across the walk.
void AddStackEntry(TVezavuStackList& list, uintptr_t address, const TWalkOptions& options, int& seen);
// The host flag stands for running inside the development environment.
void HideDuplicateEntries(TVezavuStackList& list, int start, bool debugInfo, bool ideHost);

// The call stack of a thread record's stack copy, into the report's list.
struct ThreadRecord;
void WalkRecordCopy(TVezavuStackList& list, const ThreadRecord& record);

}  // namespace RevavaRez
