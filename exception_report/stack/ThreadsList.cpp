#include "stack/ThreadsList.h"

namespace RevavaRez {

TVezavuThreadsList::TVezavuThreadsList() = default;
TVezavuThreadsList::TVezavuThreadsList(TVezavuThreadsList&) : FSnapshot(true) {}
TVezavuThreadsList::~TVezavuThreadsList() { Clear(); }
void TVezavuThreadsList::ReadLock() {}
void TVezavuThreadsList::ReadUnlock() {}
void TVezavuThreadsList::WriteLock() {}
void TVezavuThreadsList::WriteUnlock() {}
ThreadRecord* TVezavuThreadsList::NewRecord(bool) { return nullptr; }
int TVezavuThreadsList::FindByHandle(HANDLE) const { return -1; }
int TVezavuThreadsList::FindByObject(const void*) const { return -1; }
int TVezavuThreadsList::FindByID(DWORD) const { return -1; }
void TVezavuThreadsList::Purge() {}
void TVezavuThreadsList::RemoveCurrent() {}
void TVezavuThreadsList::Delete(int) {}
void TVezavuThreadsList::Clear() {}
bool IsMainThread(const ThreadRecord&, DWORD) { return false; }
bool IsFrameworkThread(const ThreadRecord&, DWORD) { return false; }
bool CallStackTest(const ThreadRecord&, uint8_t, DWORD) { return false; }
bool BehaviourTest(const ThreadRecord&, uint8_t, DWORD) { return false; }
uint32_t EntryKindMask(uint8_t) { return 16; }

}  // namespace RevavaRez
