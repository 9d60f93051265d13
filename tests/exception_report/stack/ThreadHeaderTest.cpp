#include "stack/ThreadHeader.h"

#include <gtest/gtest.h>

#include "WaitingWorker.h"

#include <string>

#include "core/ExceptionObjects.h"
#include "options/VezavuModuleOptions.h"
#include "stack/ThreadsList.h"

namespace RevavaRez {
namespace {

struct TWorkerThread {
  virtual ~TWorkerThread() = default;
};

ThreadRecord* AddFor(TVezavuThreadsList& list, HANDLE thread, DWORD id, int32_t priority, void* object) {
  list.WriteLock();
  ThreadRecord* record = list.NewRecord(true);
  record->ThreadID = id;
  record->Handle = DuplicateThreadHandle(thread);
  record->Priority = priority;
  record->ThreadObject = object;
  list.WriteUnlock();
  return record;
}

TEST(ThreadHeader, PrefixPriorityClassAndMain) {
  TVezavuModuleOptions options(false, "");
  Worker main, running, calling, unread, withObject, withGarbage;
  ASSERT_TRUE(SetThreadPriority(unread.Thread, THREAD_PRIORITY_BELOW_NORMAL));
  TWorkerThread object;
  // Readable, but no object: its first word is no virtual table.
  static uintptr_t garbage[4] = {};
  const std::string className = ObjectClassName(&object);
  ASSERT_NE(className.find("TWorkerThread"), std::string::npos);

  TVezavuThreadsList threads;
  AddFor(threads, main.Thread, main.ID, 2, nullptr);
  AddFor(threads, calling.Thread, calling.ID, 0, nullptr);
  ThreadRecord* unreadRecord = AddFor(threads, unread.Thread, unread.ID, kPriorityNotRead, nullptr);
  AddFor(threads, withObject.Thread, withObject.ID, 1, &object);
  AddFor(threads, withGarbage.Thread, withGarbage.ID, 1, garbage);
  const auto id = [](DWORD value) { return std::to_string(value); };

  struct Case {
    DWORD ThreadID;
    bool First, Running;
    TVezavuThreadsList* List;
    std::string Expected;
  } cases[] = {
      {main.ID, true, false, &threads, "Exception Thread: ID=" + id(main.ID) + "; Priority=2; [Main]"},
      {main.ID, false, true, &threads, "Running Thread: ID=" + id(main.ID) + "; Priority=2; [Main]"},
      {calling.ID, false, false, &threads, "Calling Thread: ID=" + id(calling.ID) + "; Priority=0"},
      {running.ID, false, true, &threads, "Running Thread: ID=" + id(running.ID) + "; Priority=??"},
      {calling.ID, false, false, nullptr, "Calling Thread: ID=" + id(calling.ID) + "; Priority=??"},
      {unread.ID, false, true, &threads, "Running Thread: ID=" + id(unread.ID) + "; Priority=-1"},
      {withObject.ID, false, true, &threads,
       "Running Thread: ID=" + id(withObject.ID) + "; Priority=1; Class=" + className},
      {withGarbage.ID, false, true, &threads, "Running Thread: ID=" + id(withGarbage.ID) + "; Priority=1"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ThreadHeaderText(options, c.ThreadID, c.First, c.Running, c.List, main.ID), c.Expected);
  // The priority read once is kept in the record.
  EXPECT_EQ(unreadRecord->Priority, THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace
}  // namespace RevavaRez
