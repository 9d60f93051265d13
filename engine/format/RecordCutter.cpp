#include "format/RecordCutter.h"

#include <cstring>
#include <limits>
#include <new>

#include "base/Exception.h"

TRecordCutter::TRecordCutter(size_t initialSize, uint64_t recordLimit)
    : FBuffer(initialSize < KRM_RECORD_HEADER_SIZE ? KRM_RECORD_HEADER_SIZE : initialSize),
      FRecordLimit(recordLimit) {}

void TRecordCutter::Commit(size_t count) {
  BRX_ASSERT(count <= FreeSize(), "RecordCutter");
  FUsed += count;
}

size_t TRecordCutter::Append(const void* data, size_t count) {
  const size_t taken = count < FreeSize() ? count : FreeSize();
  if (taken) std::memcpy(FreeSpace(), data, taken);
  FUsed += taken;
  return taken;
}

uint64_t TRecordCutter::PendingRecordSize() const {
  if (UsedSize() < KRM_RECORD_HEADER_SIZE) return 0;
  FrameRecord header;
  std::memcpy(&header, FBuffer.data() + FStart, sizeof header);
  // In 64 bits: a length near 4 GiB must not wrap to a small record.
  return uint64_t(KRM_RECORD_HEADER_SIZE) + header.Length;
}

FrameRecord* TRecordCutter::Next() {
  FExceedsLimit = false;
  const uint64_t need = PendingRecordSize();
  if (need != 0 && need <= FRecordLimit && need <= UsedSize()) {
    FrameRecord* record = AllocFrameRecord(uint32_t(need - KRM_RECORD_HEADER_SIZE));
    if (!record) throw std::bad_alloc();
    std::memcpy(record, FBuffer.data() + FStart, size_t(need));
    FStart += size_t(need);
    if (FStart == FUsed) FStart = FUsed = 0;
    return record;
  }
  Compact();
  if (need > FRecordLimit || need > std::numeric_limits<size_t>::max() / 2) {
    FExceedsLimit = true;
  } else if (need > FBuffer.size()) {
    FBuffer.resize(size_t(need));
  }
  return nullptr;
}

void TRecordCutter::Compact() {
  if (FStart == 0) return;
  std::memmove(FBuffer.data(), FBuffer.data() + FStart, FUsed - FStart);
  FUsed -= FStart;
  FStart = 0;
}

void TRecordCutter::Drop(size_t count) {
  BRX_ASSERT(count <= UsedSize(), "RecordCutter");
  FStart += count;
  if (FStart == FUsed) FStart = FUsed = 0;
}

void TRecordCutter::Grow(size_t size) {
  if (size > FBuffer.size()) FBuffer.resize(size);
}

void TRecordCutter::Clear() {
  FStart = FUsed = 0;
  FExceedsLimit = false;
}
