#include "base/IndexTable.h"

#include <cstdlib>

#include "base/Exception.h"

TIndexTable::TIndexTable() { FList.reserve(RingSize); }

TIndexTable::~TIndexTable() { Clear(); }

void TIndexTable::Add(uint32_t Time, bool Ring, uint64_t Offset) {
  TLocked locked(*this);
  TList& list = locked.List;
  if (!list.empty() && list.back()->Time == Time) return;
  IndexEntry* entry = nullptr;
  if (Ring && list.size() == RingSize) {
    entry = list.front();
    list.erase(list.begin());
  } else {
    entry = static_cast<IndexEntry*>(std::malloc(sizeof(IndexEntry)));
    if (!entry) throw Exception("Out of memory");
    entry->Unused = 0;
  }
  entry->Time = Time;
  entry->Offset = Offset;
  // Taken out or freshly allocated just above, so it cannot be listed already.
  // Unlisted, it has no other owner: a list that cannot grow frees it.
  try {
    list.push_back(entry);
  } catch (...) {
    std::free(entry);
    throw;
  }
}

void TIndexTable::Clear() {
  TLocked locked(*this);
  for (IndexEntry* entry : locked.List) std::free(entry);
  locked.List.clear();
}

int32_t TIndexTable::FirstTime() {
  TLocked locked(*this);
  return locked.List.empty() ? -1 : int32_t(locked.List.front()->Time);
}

int32_t TIndexTable::FindKeyTime(uint32_t Time) {
  TLocked locked(*this);
  for (auto it = locked.List.rbegin(); it != locked.List.rend(); ++it)
    if ((*it)->Time <= Time) return int32_t((*it)->Time);
  return -1;
}

uint64_t TIndexTable::OffsetOf(uint32_t Time) {
  TLocked locked(*this);
  const TList& list = locked.List;
  int64_t low = 0;
  int64_t high = int64_t(list.size()) - 1;
  while (low <= high) {
    const int64_t middle = (low + high) / 2;
    const IndexEntry* entry = list[size_t(middle)];
    if (entry->Time < Time)
      low = middle + 1;
    else if (entry->Time > Time)
      high = middle - 1;
    else
      return entry->Offset;
  }
  return 0;
}

bool TIndexTable::IsEmpty() {
  TLocked locked(*this);
  return locked.List.empty();
}
