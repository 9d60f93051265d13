#include "stack/ThreadHeader.h"

#include "core/ExceptionObjects.h"
#include "options/VezavuModuleOptions.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {

namespace {

struct TKnownThread {
  bool Found = false;
  int32_t Priority = kPriorityNotRead;
  const void* ThreadObject = nullptr;
};

TKnownThread LookUp(TVezavuThreadsList& threads, DWORD threadID) {
  TKnownThread known;
  threads.ReadLock();
  const int index = threads.FindByID(threadID);
  if (index >= 0) {
    const ThreadRecord* record = threads.Items(index);
    known.Found = true;
    known.Priority = record->Priority;
    known.ThreadObject = record->ThreadObject;
  }
  threads.ReadUnlock();
  return known;
}

// The lock cannot be upgraded: the record is found again under the write
// lock, since it may have gone between the two.
int32_t ReadAndStorePriority(TVezavuThreadsList& threads, DWORD threadID) {
  int32_t priority = kPriorityNotRead;
  threads.WriteLock();
  const int index = threads.FindByID(threadID);
  if (index >= 0) {
    ThreadRecord* record = threads.Items(index);
    if (record->Priority == kPriorityNotRead) {
      const int read = GetThreadPriority(record->Handle);
      if (read != THREAD_PRIORITY_ERROR_RETURN) record->Priority = read;
    }
    priority = record->Priority;
  }
  threads.WriteUnlock();
  return priority;
}

}  // namespace

std::string ThreadHeaderText(const TVezavuModuleOptions& options, DWORD threadID, bool firstEntry, bool running,
                             TVezavuThreadsList* threads, DWORD mainThreadID) {
  std::string priorityText = "??";
  std::string className;
  if (threads) {
    TKnownThread known = LookUp(*threads, threadID);
    if (known.Found) {
      if (known.Priority == kPriorityNotRead) known.Priority = ReadAndStorePriority(*threads, threadID);
      if (known.Priority != kPriorityNotRead) priorityText = std::to_string(known.Priority);
      // Checked reads: the object may be stale or another module's.
      if (known.ThreadObject && ClassOf(known.ThreadObject)) className = ObjectClassName(known.ThreadObject);
    }
  }
  std::string text = options.TextAt(firstEntry ? 69 : running ? 70 : 71);
  text += ": " + options.TextAt(72) + "=" + std::to_string(threadID) + "; " + options.TextAt(73) + "=" + priorityText;
  if (!className.empty()) text += "; " + options.TextAt(74) + "=" + className;
  if (threadID == mainThreadID) text += "; [" + options.TextAt(68) + "]";
  return text;
}

}  // namespace RevavaRez
