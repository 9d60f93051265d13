#pragma once
// The decoder's input stream: it reads memory that belongs to somebody else,
// in place, so a frame payload is decoded where it lies instead of being
// copied first. The memory must outlive every read. Byte-level only.
#include <cstdint>
#include <cstring>

#include "base/Stream.h"

class TSuperMemoryStream : public TStream {
 public:
  // Reads Ptr..Ptr+Size from now on; the position is left to the caller.
  void SetPointer(const void* Ptr, int64_t Size) {
    FMemory = static_cast<const uint8_t*>(Ptr);
    FSize = (Ptr != nullptr && Size > 0) ? Size : 0;
  }

  const uint8_t* Memory() const { return FMemory; }

  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
    int64_t n = FSize - FPosition;
    if (n > count) n = count;
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
  }

  // Any position may be set, as with a memory stream; reads past the end
  // answer 0 bytes.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    switch (origin) {
      case soBeginning:
        FPosition = offset;
        break;
      case soCurrent:
        FPosition += offset;
        break;
      case soEnd:
        FPosition = FSize + offset;
        break;
    }
    return FPosition;
  }

  int64_t Size() override { return FSize; }

 private:
  const uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};
