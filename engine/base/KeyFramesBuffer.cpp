#include "base/KeyFramesBuffer.h"

#include <cstdlib>

KeyFrameEntry* AllocKeyFrameEntry() {
  return static_cast<KeyFrameEntry*>(std::calloc(1, sizeof(KeyFrameEntry)));
}

void FreeKeyFrameEntry(KeyFrameEntry* Entry) {
  if (!Entry) return;
  std::free(Entry->Picture);
  std::free(Entry);
}

TKeyFramesBuffer::~TKeyFramesBuffer() { Clear(); }

void TKeyFramesBuffer::Clear() {
  TLocked locked(*this);
  for (KeyFrameEntry* entry : locked.List) FreeKeyFrameEntry(entry);
  locked.List.clear();
}
