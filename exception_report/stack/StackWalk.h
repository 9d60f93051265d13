#pragma once
// Turning a range of stack slots into call-stack entries.
#include <windows.h>

#include <cstdint>

#include <vector>

#include "core/Hooks.h"
#include "stack/StackList.h"

namespace RevavaRez {

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
// stackEnd is the range's last byte (start + size - 1); only slots wholly
// inside the range, and inside its first kStackWalkLimit bytes, are read.
void WalkStack(TVezavuStackList& list, uintptr_t firstAddress, uintptr_t stackStart, uintptr_t stackEnd,
               const TWalkOptions& options);

// What one walk has counted so far.
struct TWalkCounts {
  int Seen = 0;  // candidates of kept kinds
  int Kept = 0;
};
// Keeps the entry for the address under the options' kind set and limits.
void AddStackEntry(TVezavuStackList& list, uintptr_t address, const TWalkOptions& options, TWalkCounts& counts);
// The host flag stands for running inside the development environment.
void HideDuplicateEntries(TVezavuStackList& list, int start, bool debugInfo, bool ideHost);

// The call stack of a thread record's stack copy, into the report's list.
struct ThreadRecord;
void WalkRecordCopy(TVezavuStackList& list, const ThreadRecord& record);

// The calling thread's own stack, from its stack pointer up to its stack's
// base, told as running (thread flag 1) under its own ID.
void WalkCurrentThread(TVezavuStackList& list, TWalkOptions options);
// The same walk with debug information, as the internal-error report
// prints it (LibraryHooks.CurrentThreadStack).
std::vector<TStackEntryText> CurrentThreadStackEntries();

}  // namespace RevavaRez
