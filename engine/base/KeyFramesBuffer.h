#pragma once
// The play thread's cache of decoded key frames (it keeps at most three).
// Lookup, reuse and insertion are the play thread's, always under the list's
// lock; the buffer itself only owns and frees the entries.
#include <cstdint>

#include "format/KRMFormat.h"
#include "base/ThreadList.h"

// The key frame's 28-byte record header, then its decoded picture: a malloc'ed
// block (a BMP file image) that belongs to the entry.
struct KeyFrameEntry {
  FrameRecord Header;
  uint8_t* Picture;
};

// A zeroed entry with no picture; nullptr when memory is exhausted.
KeyFrameEntry* AllocKeyFrameEntry();
// Frees the entry's picture, then the entry.
void FreeKeyFrameEntry(KeyFrameEntry* Entry);

class TKeyFramesBuffer : public TThreadList<KeyFrameEntry> {
 public:
  TKeyFramesBuffer() = default;
  ~TKeyFramesBuffer() override;

  void Clear();
};
