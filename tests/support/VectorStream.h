#pragma once
// A read-only stream over bytes in memory, standing in for a file when a
// test feeds a source or a reader. It counts its reads so a test can tell
// that nothing was read at all.
#include <algorithm>
#include <cstring>

#include "KrmWriter.h"
#include "base/Stream.h"

class TVectorStream : public TStream {
 public:
  explicit TVectorStream(Bytes bytes) : FBytes(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override {
    ++FReads;
    // A position before the start reads nothing, as one past the end does.
    if (count <= 0 || FPosition < 0 || FPosition >= int64_t(FBytes.size())) return 0;
    const int64_t n = std::min<int64_t>(count, int64_t(FBytes.size()) - FPosition);
    std::memcpy(buffer, FBytes.data() + FPosition, size_t(n));
    FPosition += n;
    return n;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : int64_t(FBytes.size());
    FPosition = base + offset;
    return FPosition;
  }
  int64_t Size() override { return int64_t(FBytes.size()); }

  int Reads() const { return FReads; }

 private:
  Bytes FBytes;
  int64_t FPosition = 0;
  int FReads = 0;
};
