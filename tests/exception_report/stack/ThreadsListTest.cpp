#include "stack/ThreadsList.h"

#include <gtest/gtest.h>

#include "WaitingWorker.h"

#include <cstdlib>
#include <cstring>

namespace RevavaRez {
namespace {

ThreadRecord* AddFor(TVezavuThreadsList& list, HANDLE thread, DWORD id) {
  list.WriteLock();
  ThreadRecord* record = list.NewRecord(true);
  list.WriteUnlock();
  record->ThreadID = id;
  record->Handle = DuplicateThreadHandle(thread);
  return record;
}

TEST(ThreadsList, NewRecordIsZeroWithPriorityNotRead) {
  TVezavuThreadsList list;
  ThreadRecord* record = list.NewRecord(false);
  EXPECT_EQ(kPriorityNotRead, record->Priority);
  EXPECT_EQ(0u, record->ThreadID);
  EXPECT_EQ(nullptr, record->Handle);
  EXPECT_EQ(0, list.Count());
  delete record;
}

TEST(ThreadsList, SnapshotHoldsOwnCopiesAndNoLockAndOutlivesTheSourceCopy) {
  TVezavuThreadsList list;
  ThreadRecord* record = AddFor(list, GetCurrentThread(), GetCurrentThreadId());
  record->ThreadObject = reinterpret_cast<void*>(0x1234);
  record->StackCopySize = 64;
  record->StackCopy = std::malloc(64);
  std::memset(record->StackCopy, 0x5A, 64);

  TVezavuThreadsList snapshot(list);
  ASSERT_EQ(1, snapshot.Count());
  ThreadRecord* copy = snapshot.Items(0);
  EXPECT_NE(record, copy);
  EXPECT_EQ(record->ThreadID, copy->ThreadID);
  EXPECT_EQ(record->Handle, copy->Handle);
  EXPECT_EQ(record->ThreadObject, copy->ThreadObject);
  EXPECT_EQ(64u, copy->StackCopySize);
  EXPECT_NE(record->StackCopy, copy->StackCopy);

  // The source's lock is free again: a writer gets it at once.
  EXPECT_TRUE(snapshot.IsSnapshot());
  list.WriteLock();
  // A hook replacing the source's copy mid-processing.
  std::free(record->StackCopy);
  record->StackCopy = nullptr;
  record->StackCopySize = 0;
  list.WriteUnlock();
  const unsigned char* bytes = static_cast<const unsigned char*>(copy->StackCopy);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(0x5A, bytes[i]);
  // The snapshot never closes the source's handles.
  snapshot.Clear();
  EXPECT_NE(0u, GetThreadId(record->Handle));
}

TEST(ThreadsList, SnapshotCopiesAtMostWhatAWalkReads) {
  TVezavuThreadsList list;
  ThreadRecord* record = AddFor(list, GetCurrentThread(), GetCurrentThreadId());
  record->StackCopySize = 200000;
  record->StackCopy = std::calloc(200000, 1);
  TVezavuThreadsList snapshot(list);
  EXPECT_EQ(102400u, snapshot.Items(0)->StackCopySize);
}

TEST(ThreadsList, PurgeDropsOnlyEndedThreads) {
  Worker running, ended;
  TVezavuThreadsList list;
  AddFor(list, running.Thread, running.ID);
  AddFor(list, ended.Thread, ended.ID);
  ended.End();
  list.Purge();
  ASSERT_EQ(1, list.Count());
  EXPECT_EQ(running.ID, list.Items(0)->ThreadID);
}

TEST(ThreadsList, RemoveCurrentDropsTheCallingThreadsRecord) {
  Worker other;
  TVezavuThreadsList list;
  AddFor(list, GetCurrentThread(), GetCurrentThreadId());
  AddFor(list, other.Thread, other.ID);
  list.RemoveCurrent();
  ASSERT_EQ(1, list.Count());
  EXPECT_EQ(other.ID, list.Items(0)->ThreadID);
}

TEST(ThreadsList, EachFindReturnsTheLastOfTwoMatches) {
  TVezavuThreadsList list;
  void* object = reinterpret_cast<void*>(0x4000);
  for (int i = 0; i < 2; ++i) AddFor(list, GetCurrentThread(), GetCurrentThreadId())->ThreadObject = object;
  AddFor(list, GetCurrentThread(), 1);
  EXPECT_EQ(1, list.FindByID(GetCurrentThreadId()));
  EXPECT_EQ(1, list.FindByObject(object));
  EXPECT_EQ(1, list.FindByHandle(GetCurrentThread()));
  EXPECT_EQ(-1, list.FindByID(2));
  EXPECT_EQ(-1, list.FindByObject(reinterpret_cast<void*>(0x8000)));
}

TEST(ThreadsList, FindByHandleGoesByTheThreadAndRecordHandlesAreTheListsOwn) {
  Worker worker;
  TVezavuThreadsList list;
  HANDLE callers = DuplicateThreadHandle(worker.Thread);
  AddFor(list, callers, worker.ID);
  EXPECT_NE(callers, list.Items(0)->Handle);
  // Another handle of the same thread finds the record.
  EXPECT_EQ(0, list.FindByHandle(worker.Thread));
  CloseHandle(callers);
  EXPECT_EQ(worker.ID, GetThreadId(list.Items(0)->Handle));
  EXPECT_EQ(-1, list.FindByHandle(GetCurrentThread()));
}

// main thread, thread with an object, other thread.
TEST(ThreadTests, CallStackAndBehaviourTestsAndKindMask) {
  const DWORD mainID = 100;
  ThreadRecord main{}, framework{}, other{};
  main.ThreadID = mainID;
  framework.ThreadID = 101;
  framework.ThreadObject = reinterpret_cast<void*>(0x1000);
  other.ThreadID = 102;
  struct Case {
    const ThreadRecord* Record;
    uint8_t Flags;
    bool CallStack;
    bool Behaviour;
  };
  const Case cases[] = {
      {&main, 0x00, false, false},      {&framework, 0x00, false, false}, {&other, 0x00, false, false},
      {&main, 0x04, true, false},       {&framework, 0x04, true, false},  {&other, 0x04, false, false},
      {&main, 0x08, false, false},      {&framework, 0x08, false, false}, {&other, 0x08, true, true},
      {&main, 0x02, false, true},       {&framework, 0x02, false, true},  {&other, 0x02, false, false},
      {&main, 0x06, true, false},       {&framework, 0x06, true, true},   {&other, 0x06, false, false},
      {&main, 0x0E, true, false},       {&framework, 0x0E, true, true},   {&other, 0x0E, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "thread " << c.Record->ThreadID << " flags " << int(c.Flags));
    EXPECT_EQ(c.CallStack, CallStackTest(*c.Record, c.Flags, mainID));
    EXPECT_EQ(c.Behaviour, BehaviourTest(*c.Record, c.Flags, mainID));
  }
  EXPECT_EQ(16u, EntryKindMask(0x00));
  EXPECT_EQ(20u, EntryKindMask(0x01));
  EXPECT_EQ(24u, EntryKindMask(0x02));
  EXPECT_EQ(28u, EntryKindMask(0x03));
  EXPECT_EQ(16u, EntryKindMask(0xFC));
}

}  // namespace
}  // namespace RevavaRez
