#include "base/MemPool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

TMemPool::TMemPool(uint32_t Capacity) : FBuffer(static_cast<uint8_t*>(std::malloc(Capacity ? Capacity : 1))), FCapacity(Capacity) {
  if (!FBuffer) throw std::bad_alloc();
}

TMemPool::~TMemPool() { std::free(FBuffer); }

int32_t TMemPool::Read(void* Dest, int32_t Count) {
  if (Count <= 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const uint32_t n = std::min<uint32_t>(uint32_t(Count), FHeld);
  const uint32_t first = std::min(n, FCapacity - FReadPos);
  if (Dest) {
    std::memcpy(Dest, FBuffer + FReadPos, first);
    std::memcpy(static_cast<uint8_t*>(Dest) + first, FBuffer, n - first);
  }
  FReadPos = first < n ? n - first : FReadPos + n;
  if (FReadPos == FCapacity) FReadPos = 0;
  FHeld -= n;
  return int32_t(n);
}

int32_t TMemPool::Write(const void* Source, int32_t Count) {
  if (Count <= 0) return 0;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FCapacity - FHeld < uint32_t(Count)) return 0;
  const uint32_t n = uint32_t(Count);
  const uint32_t first = std::min(n, FCapacity - FWritePos);
  std::memcpy(FBuffer + FWritePos, Source, first);
  std::memcpy(FBuffer, static_cast<const uint8_t*>(Source) + first, n - first);
  FWritePos = first < n ? n - first : FWritePos + n;
  if (FWritePos == FCapacity) FWritePos = 0;
  FHeld += n;
  return Count;
}

void TMemPool::Grow(int32_t Count) {
  if (Count <= 0) return;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const uint64_t wanted = (uint64_t(FCapacity) + uint32_t(Count) + GrowStep - 1) / GrowStep * GrowStep;
  if (wanted > UINT32_MAX / 2) throw std::bad_alloc();
  auto* bigger = static_cast<uint8_t*>(std::malloc(size_t(wanted)));
  if (!bigger) throw std::bad_alloc();
  const uint32_t held = FHeld;
  Read(bigger, int32_t(held));
  std::free(FBuffer);
  FBuffer = bigger;
  FCapacity = uint32_t(wanted);
  FReadPos = 0;
  FWritePos = held == FCapacity ? 0 : held;
  FHeld = held;
}

uint32_t TMemPool::FreeSpace() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FCapacity - FHeld;
}

uint32_t TMemPool::Capacity() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FCapacity;
}

uint32_t TMemPool::Held() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FHeld;
}
