#pragma once
// The threads the library knows of, and the tests that sort them for the
// processing.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace RevavaRez {

constexpr int32_t kPriorityNotRead = int32_t(0x80000000u);

#pragma pack(push, 1)
struct ThreadRecord {
  DWORD ThreadID;
  HANDLE Handle;  // the list's own duplicate
  DWORD ResumingThreadID;  // the thread that last resumed it
  int32_t Priority;  // kPriorityNotRead until read
  void* ThreadObject;  // of the framework's thread class, or null
  uintptr_t StackTop;
  void* OriginalExecute;
  void* ThreadFunction;  // of a run-time-library thread
  void* StartAddress;  // of a raw thread
  void* Parameter;
  uint32_t StackCopySize;
  void* StackCopy;  // heap block of the resuming thread's stack
  uint8_t OwnedElsewhere;  // the stack copy belongs to another module's list
};
#pragma pack(pop)

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(ThreadRecord) == 49, "the record's layout is shared across modules");
#else
static_assert(sizeof(ThreadRecord) == 81, "the record's layout is shared across modules");
#endif

class TVezavuThreadsList {
 public:
  // An empty list with its own lock.
  TVezavuThreadsList();
  // A snapshot of source, taken under its read lock: own copies of the
  // records and of their stack copies, no lock of its own.
  explicit TVezavuThreadsList(TVezavuThreadsList& source);
  ~TVezavuThreadsList();
  TVezavuThreadsList(const TVezavuThreadsList&) = delete;
  TVezavuThreadsList& operator=(const TVezavuThreadsList&) = delete;

  // The lock is neither re-entrant nor upgradable: no caller takes it twice.
  // A snapshot's lock calls do nothing.
  void ReadLock();
  void ReadUnlock();
  void WriteLock();
  void WriteUnlock();

  bool IsSnapshot() const { return FSnapshot; }
  int Count() const { return static_cast<int>(FItems.size()); }
  ThreadRecord* Items(int index) const { return FItems[static_cast<size_t>(index)]; }

  // 49 (81) zero bytes with the priority not read; appended when asked.
  // The caller holds the write lock for an appended record.
  ThreadRecord* NewRecord(bool append);
  // Each searches from the last record to the first; -1 when none. By handle
  // compares the thread ID behind the handle, never handle values.
  int FindByHandle(HANDLE thread) const;
  int FindByObject(const void* threadObject) const;
  int FindByID(DWORD threadID) const;
  // Takes the write lock and deletes records whose thread has ended.
  void Purge();
  // Takes the write lock and deletes the calling thread's record.
  void RemoveCurrent();
  // Frees the record with its stack copy (unless a snapshot's or owned
  // elsewhere) and its handle (unless a snapshot's).
  void Delete(int index);
  void Clear();

 private:
  SRWLOCK FLock = SRWLOCK_INIT;
  bool FSnapshot = false;
  std::vector<ThreadRecord*> FItems;
};

// A handle of the list's own for a record: a duplicate of thread's, so the
// caller may close its own; null when it cannot be duplicated.
HANDLE DuplicateThreadHandle(HANDLE thread);

// The main thread is the module's start-up thread (LibraryState).
bool IsMainThread(const ThreadRecord& record, DWORD mainThreadID);
bool IsFrameworkThread(const ThreadRecord& record, DWORD mainThreadID);
bool CallStackTest(const ThreadRecord& record, uint8_t stackFlags, DWORD mainThreadID);
bool BehaviourTest(const ThreadRecord& record, uint8_t behaviourFlags, DWORD mainThreadID);
// The entry kinds StackFlags lets into a report, as a bit set over kinds.
uint32_t EntryKindMask(uint8_t stackFlags);

}  // namespace RevavaRez
