#include "base/FramesBuffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/Exception.h"
#include "base/SystemText.h"
#include "base/WorkerThread.h"

namespace {

int64_t RecordBytes(const FrameRecord* frame) { return int64_t(sizeof(FrameRecord)) + frame->Length; }

}  // namespace

TFramesBuffer::~TFramesBuffer() {
  TLocked locked(*this);
  ClearLocked();
}

int32_t TFramesBuffer::Add(FrameRecord* Frame) {
  BRX_ASSERT(Frame != nullptr, "UnitFramesBuffer");
  TLocked locked(*this);
  // A sum that no longer fits would turn negative and IsFull would never stop
  // the reading ahead again.
  const int64_t total = int64_t(FTotalBytes.load(std::memory_order_relaxed)) + RecordBytes(Frame);
  if (total > std::numeric_limits<int32_t>::max()) throw Exception("Integer overflow");
  // No search for the block among the buffered ones: every block handed in is
  // freshly allocated and passes to the buffer, and every block in the list
  // is owned by the buffer and still allocated, so a new block can never
  // share an address with a listed one. A scan could only find a caller that
  // hands over the same block twice, and costs O(n) per record at 5 MB of
  // small cursor records.
  locked.List.push_back(Frame);
  FTotalBytes.store(int32_t(total), std::memory_order_relaxed);
  FFrameCount.fetch_add(1, std::memory_order_relaxed);
  if (Frame->FrameType == FT_KEY) FKeyFrameCount.fetch_add(1, std::memory_order_relaxed);
  return int32_t(locked.List.size() - 1);
}

int32_t TFramesBuffer::Find(uint32_t& Time, bool ExactOnly) {
  TLocked locked(*this);
  const TList& list = locked.List;
  const size_t count = list.size();
  if (count == 0) return -1;
  if (count == 1) return list[0]->Time == Time ? 0 : -1;
  if (list[count - 1]->Time < Time) return -1;
  for (size_t i = 1; i < count; ++i) {
    const uint32_t before = list[i - 1]->Time;
    const uint32_t after = list[i]->Time;
    if (after == Time) return int32_t(i);
    if (before == Time) return int32_t(i - 1);
    if (!ExactOnly && before < Time && Time < after) {
      Time = before;
      return int32_t(i - 1);
    }
  }
  return -1;
}

bool TFramesBuffer::IsFull() const {
  return FTotalBytes.load(std::memory_order_relaxed) >= FullBytes &&
         FKeyFrameCount.load(std::memory_order_relaxed) >= FullKeyFrames;
}

void TFramesBuffer::Trim(bool All) {
  TLocked locked(*this);
  TList& list = locked.List;
  const int64_t count = int64_t(list.size());
  int64_t start = All ? count - 1 : int64_t(FCurrentIndex.load());
  // An index beyond the list (the play thread's index after a clear it has
  // not seen yet) counts as the last record rather than reading past the end.
  if (start >= count) start = count - 1;
  int64_t k = 0;
  for (int64_t i = start; i >= 0; --i) {
    if (list[size_t(i)]->FrameType == FT_KEY) {
      k = i;
      break;
    }
  }
  int64_t bytes = 0;
  int32_t keys = 0;
  for (int64_t i = 0; i < k; ++i) {
    FrameRecord* frame = list[size_t(i)];
    bytes += RecordBytes(frame);
    if (frame->FrameType == FT_KEY) ++keys;
    FreeFrameRecord(frame);
  }
  list.erase(list.begin(), list.begin() + k);
  FFrameCount.fetch_sub(int32_t(k), std::memory_order_relaxed);
  FKeyFrameCount.fetch_sub(keys, std::memory_order_relaxed);
  FTotalBytes.fetch_sub(int32_t(bytes), std::memory_order_relaxed);
  if (All)
    FCurrentIndex = -1;
  else
    FCurrentIndex -= int32_t(k);
}

void TFramesBuffer::Clear() {
  TLocked locked(*this);
  ClearLocked();
}

void TFramesBuffer::ClearLocked() {
  for (FrameRecord* frame : FList) FreeFrameRecord(frame);
  FList.clear();
  FFrameCount = 0;
  FKeyFrameCount = 0;
  FTotalBytes = 0;
  FCurrentIndex = -1;
}

uint32_t TFramesBuffer::MaxTimeStamp() {
  TLocked locked(*this);
  return locked.List.empty() ? 0 : locked.List.back()->Time;
}

uint32_t TFramesBuffer::MinTimeStamp() {
  TLocked locked(*this);
  return locked.List.empty() ? 0 : locked.List.front()->Time;
}

int32_t TFramesBuffer::GetCount() {
  TLocked locked(*this);
  return int32_t(locked.List.size());
}

bool TFramesBuffer::CopyNext(void*& Buffer, uint32_t& Capacity) {
  TLocked locked(*this);
  const int64_t next = int64_t(FCurrentIndex.load()) + 1;
  if (next < 0 || next >= int64_t(locked.List.size())) return false;
  const FrameRecord* frame = locked.List[size_t(next)];
  const int64_t size = RecordBytes(frame);
  BRX_ASSERT(size <= std::numeric_limits<uint32_t>::max(), "UnitFramesBuffer");
  if (Capacity < uint64_t(size)) {
    void* grown = std::realloc(Buffer, size_t(size));
    if (!grown) throw Exception("Out of memory");
    Buffer = grown;
    Capacity = uint32_t(size);
  }
  std::memcpy(Buffer, frame, size_t(size));
  return true;
}

void TFramesBuffer::DumpIndex(const std::string& FileName) {
  std::string text;
  {
    TLocked locked(*this);
    char line[48];
    for (size_t i = 0; i < locked.List.size(); ++i) {
      const FrameRecord* frame = locked.List[i];
      int n = std::snprintf(line, sizeof line, "%u,%u%s\r\n", unsigned(i), unsigned(frame->Time),
                            frame->FrameType == FT_KEY ? ",Key" : "");
      text.append(line, size_t(n));
    }
  }
  TKernelHandle file(CreateFileA(FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw Exception("Cannot create file \"" + FileName + "\". " + SysErrorMessage(GetLastError()));
  DWORD written = 0;
  if (!text.empty() &&
      (!WriteFile(file.Get(), text.data(), DWORD(text.size()), &written, nullptr) || written != text.size()))
    throw Exception("Cannot write file \"" + FileName + "\". " + SysErrorMessage(GetLastError()));
}
