#pragma once
// Frame records in arrival order, with the counts that tell the source when
// it may stop reading ahead. The source thread adds, the play thread copies,
// finds and trims, the control's thread clears and reads the counts.
#include <atomic>
#include <cstdint>
#include <string>

#include "format/KRMFormat.h"
#include "base/ThreadList.h"

class TFramesBuffer : public TThreadList<FrameRecord> {
 public:
  // Reading ahead may stop once this much is buffered (with enough key frames).
  static constexpr int32_t FullBytes = 0x500000;
  static constexpr int32_t FullKeyFrames = 3;

  TFramesBuffer() = default;
  ~TFramesBuffer() override;

  // Takes ownership of Frame (a block from AllocFrameRecord) and answers its
  // index. Should the byte total no longer fit, it raises and the caller
  // keeps the block.
  int32_t Add(FrameRecord* Frame);
  // Index of the record at Time, or -1. Unless ExactOnly, a Time between two
  // records finds the earlier one and Time becomes that record's time.
  int32_t Find(uint32_t& Time, bool ExactOnly);
  bool IsFull() const;
  // Drops every record before the newest key frame at or before the last
  // record (All) or FCurrentIndex (not All).
  void Trim(bool All);
  void Clear();
  uint32_t MaxTimeStamp();
  uint32_t MinTimeStamp();
  int32_t GetCount();
  // Copies the record after FCurrentIndex into Buffer (a malloc'ed block of
  // Capacity bytes, grown with realloc when too small). False, with nothing
  // changed, when no record follows.
  bool CopyNext(void*& Buffer, uint32_t& Capacity);
  // One line per record: "index,time" and ",Key" for key frames. Raises when
  // the file cannot be written.
  void DumpIndex(const std::string& FileName);

  int32_t FrameCount() const { return FFrameCount.load(std::memory_order_relaxed); }
  int32_t KeyFrameCount() const { return FKeyFrameCount.load(std::memory_order_relaxed); }
  // Read without the lock by the statistics window and IsFull.
  int32_t TotalBytes() const { return FTotalBytes.load(std::memory_order_relaxed); }

  // The record the play thread rendered last, -1 for none. The play thread
  // advances it outside the lock; Trim and Clear change it under the lock.
  std::atomic<int32_t> FCurrentIndex{-1};

 private:
  void ClearLocked();

  std::atomic<int32_t> FFrameCount{0};
  std::atomic<int32_t> FKeyFrameCount{0};
  std::atomic<int32_t> FTotalBytes{0};
};
