#pragma once
// Cuts frame records out of a byte stream: bytes go into a receive buffer,
// every whole record at its front leaves as a heap block of its own, and a
// remainder waits at the front for more bytes. Files, HTTP ranges and the
// live stream all feed one of these. Byte-level only: no Windows headers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/KRMFormat.h"

// The largest record a stream may announce; a stream record above it is
// damage, never a reason to take that much memory.
constexpr uint64_t KRM_MAX_STREAM_RECORD = 64ull * 1024 * 1024;

// The receive buffer size source threads start with.
constexpr size_t KRM_RECEIVE_BUFFER_SIZE = 524288;

class TRecordCutter {
 public:
  // initialSize below 28 is raised to 28, so a record header always fits.
  explicit TRecordCutter(size_t initialSize = KRM_RECEIVE_BUFFER_SIZE,
                         uint64_t recordLimit = KRM_MAX_STREAM_RECORD);

  // The largest record (28 + payload bytes) that will be completed. A file
  // source sets it before cutting to UsedSize() + the bytes its frame data
  // still holds past the buffer; a record beyond the limit is never
  // completed and the buffer does not grow for it.
  void SetRecordLimit(uint64_t limit) { FRecordLimit = limit; }
  uint64_t RecordLimit() const { return FRecordLimit; }

  size_t BufferSize() const { return FBuffer.size(); }
  // Bytes held and not yet cut.
  size_t UsedSize() const { return FUsed - FStart; }
  // How many bytes may be appended now, and where they go: a file source
  // reads straight into FreeSpace() and then calls Commit.
  size_t FreeSize() const { return FBuffer.size() - FUsed; }
  uint8_t* FreeSpace() { return FBuffer.data() + FUsed; }
  // Counts bytes written into FreeSpace(); count must not exceed FreeSize().
  void Commit(size_t count);
  // Copies as much of data as fits and answers how much was taken.
  size_t Append(const void* data, size_t count);

  // The next whole record at the front, as one block of header and payload
  // made by AllocFrameRecord; the caller owns it and frees it with
  // FreeFrameRecord (or hands it on). nullptr when no whole record is held:
  // the remainder has then been moved to the front and the buffer grown to
  // exactly the first record's size when it announces more than the buffer
  // holds and lies within the limit. Throws std::bad_alloc when memory is
  // exhausted.
  FrameRecord* Next();

  // Set by Next when the first held record announces more than the limit;
  // such a record is never completed: a file source stops reading, a
  // stream source reports the stream as damaged.
  bool RecordExceedsLimit() const { return FExceedsLimit; }
  // Size the first held record announces (28 + payload), 0 while fewer than
  // 28 bytes are held.
  uint64_t PendingRecordSize() const;

  // Forgets every held byte (after a seek or reset); the buffer keeps its size.
  void Clear();

  // In-place access for framings other than records (the live stream's
  // packets): the held bytes, dropping bytes from the front, moving the
  // remainder to the front and growing the buffer to exactly a size.
  const uint8_t* Data() const { return FBuffer.data() + FStart; }
  void Drop(size_t count);
  void Compact();
  // Raises the buffer size to at least size; throws std::bad_alloc.
  void Grow(size_t size);

  // Feeds a chunk of any size: appends, cuts and hands every whole record to
  // onRecord (which takes ownership), until all bytes are taken. Answers
  // false, with the rest of the chunk left untaken, when a record exceeds
  // the limit.
  template <class OnRecord>
  bool Feed(const void* data, size_t count, OnRecord&& onRecord) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (;;) {
      const size_t taken = Append(p, count);
      p += taken;
      count -= taken;
      while (FrameRecord* record = Next()) onRecord(record);
      if (FExceedsLimit) return false;
      if (count == 0) return true;
    }
  }

 private:
  std::vector<uint8_t> FBuffer;
  size_t FStart = 0;  // first held byte; records before it are cut already
  size_t FUsed = 0;   // end of the held bytes
  uint64_t FRecordLimit;
  bool FExceedsLimit = false;
};
