#include "stack/ThreadsList.h"

#include <cstdlib>
#include <cstring>

#include "core/ExceptionLog.h"
#include "stack/StackList.h"

namespace RevavaRez {

namespace {

HANDLE DuplicateOwn(HANDLE thread) {
  HANDLE own = nullptr;
  if (thread == nullptr ||
      !DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return own;
}

}  // namespace

TVezavuThreadsList::TVezavuThreadsList() = default;

TVezavuThreadsList::TVezavuThreadsList(TVezavuThreadsList& source) : FSnapshot(true) {
  source.ReadLock();
  try {
    FItems.reserve(source.FItems.size());
    for (ThreadRecord* item : source.FItems) {
      ThreadRecord* copy = NewRecord(false);
      *copy = *item;
      // The source's "ResumeThread" hook may free and replace its copy while
      // this snapshot is in use, so the snapshot keeps a copy of its own.
      copy->StackCopy = nullptr;
      copy->StackCopySize = 0;
      copy->OwnedElsewhere = 0;
      FItems.push_back(copy);
      // A walk reads no more than this of a copy, so a snapshot keeps no more.
      const uint32_t size = item->StackCopySize < kStackWalkLimit ? item->StackCopySize
                                                                  : static_cast<uint32_t>(kStackWalkLimit);
      if (item->StackCopy != nullptr && size != 0) {
        void* block = std::malloc(size);
        if (block != nullptr) {
          std::memcpy(block, item->StackCopy, size);
          copy->StackCopy = block;
          copy->StackCopySize = size;
        }
      }
    }
  } catch (...) {
    source.ReadUnlock();
    Clear();
    throw;
  }
  source.ReadUnlock();
}

TVezavuThreadsList::~TVezavuThreadsList() { Clear(); }

void TVezavuThreadsList::ReadLock() {
  if (!FSnapshot) AcquireSRWLockShared(&FLock);
}
void TVezavuThreadsList::ReadUnlock() {
  if (!FSnapshot) ReleaseSRWLockShared(&FLock);
}
void TVezavuThreadsList::WriteLock() {
  if (!FSnapshot) AcquireSRWLockExclusive(&FLock);
}
void TVezavuThreadsList::WriteUnlock() {
  if (!FSnapshot) ReleaseSRWLockExclusive(&FLock);
}

ThreadRecord* TVezavuThreadsList::NewRecord(bool append) {
  ThreadRecord* record = new ThreadRecord;
  std::memset(record, 0, sizeof(ThreadRecord));
  record->Priority = kPriorityNotRead;
  if (append) {
    try {
      FItems.push_back(record);
    } catch (...) {
      delete record;
      throw;
    }
  }
  return record;
}

int TVezavuThreadsList::FindByHandle(HANDLE thread) const {
  // Handle values are reused once closed: only the thread behind one counts.
  DWORD id = thread != nullptr ? GetThreadId(thread) : 0;
  if (id == 0) return -1;
  return FindByID(id);
}

int TVezavuThreadsList::FindByObject(const void* threadObject) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (FItems[size_t(i)]->ThreadObject == threadObject) return i;
  return -1;
}

int TVezavuThreadsList::FindByID(DWORD threadID) const {
  for (int i = Count() - 1; i >= 0; --i)
    if (FItems[size_t(i)]->ThreadID == threadID) return i;
  return -1;
}

void TVezavuThreadsList::Purge() {
  WriteLock();
  for (int i = Count() - 1; i >= 0; --i)
    if (!ThreadIsRunning(FItems[size_t(i)]->Handle)) Delete(i);
  WriteUnlock();
}

void TVezavuThreadsList::RemoveCurrent() {
  WriteLock();
  int index = FindByID(GetCurrentThreadId());
  if (index >= 0) Delete(index);
  WriteUnlock();
}

void TVezavuThreadsList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  ThreadRecord* record = FItems[size_t(index)];
  FItems.erase(FItems.begin() + index);
  // A snapshot's copies are its own; its handles are the source's.
  if (record->StackCopy != nullptr && (FSnapshot || !record->OwnedElsewhere)) std::free(record->StackCopy);
  if (!FSnapshot && record->Handle != nullptr) CloseHandle(record->Handle);
  delete record;
}

void TVezavuThreadsList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) Delete(i);
}

bool IsMainThread(const ThreadRecord& record, DWORD mainThreadID) { return record.ThreadID == mainThreadID; }

bool IsFrameworkThread(const ThreadRecord& record, DWORD mainThreadID) {
  return IsMainThread(record, mainThreadID) || record.ThreadObject != nullptr;
}

bool CallStackTest(const ThreadRecord& record, uint8_t stackFlags, DWORD mainThreadID) {
  bool framework = IsFrameworkThread(record, mainThreadID);
  return (!framework && (stackFlags & 0x08) != 0) || (framework && (stackFlags & 0x04) != 0);
}

bool BehaviourTest(const ThreadRecord& record, uint8_t behaviourFlags, DWORD mainThreadID) {
  bool framework = IsFrameworkThread(record, mainThreadID);
  if (!framework) return (behaviourFlags & 0x08) != 0;
  return (behaviourFlags & 0x02) != 0 &&
         ((behaviourFlags & 0x04) == 0 || !IsMainThread(record, mainThreadID));
}

uint32_t EntryKindMask(uint8_t stackFlags) {
  uint32_t mask = 1u << 4;
  if (stackFlags & 0x01) mask |= 1u << 2;
  if (stackFlags & 0x02) mask |= 1u << 3;
  return mask;
}

HANDLE DuplicateThreadHandle(HANDLE thread) { return DuplicateOwn(thread); }

}  // namespace RevavaRez
