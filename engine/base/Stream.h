#pragma once
// A byte stream with a position, the shape every source reads through: local
// files, HTTP byte ranges, and the decoder's memory stream. Byte-level only.
#include <cstdint>

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; answers how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Moves the position and answers the new one.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // Total length, or -1 when the stream does not know it.
  virtual int64_t Size() { return -1; }

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
};
