#pragma once
// Times and positions of key frames, used to seek. A recording's index is
// added in full; live sources keep the newest 1,024 key times (ring mode).
#include <cstdint>

#include "format/KRMFormat.h"
#include "base/ThreadList.h"

class TIndexTable : public TThreadList<IndexEntry> {
 public:
  static constexpr size_t RingSize = 1024;

  TIndexTable();
  ~TIndexTable() override;

  // Nothing happens when the last entry already has Time. In ring mode a table
  // of RingSize entries drops its oldest entry first.
  void Add(uint32_t Time, bool Ring, uint64_t Offset);
  void Clear();
  // Time of the first entry, -1 when empty.
  int32_t FirstTime();
  // Scanning from the newest entry back, the first time <= Time; -1 for none.
  int32_t FindKeyTime(uint32_t Time);
  // Offset of the entry with exactly Time (binary search), 0 when there is none.
  uint64_t OffsetOf(uint32_t Time);
  bool IsEmpty();
};
