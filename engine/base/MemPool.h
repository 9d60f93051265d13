#pragma once
// A thread-safe byte ring: one writer thread stores whole blocks, another
// takes bytes back in the order written. A block is stored whole or not at
// all, so the reader never meets part of one.
#include <cstdint>
#include <mutex>

class TMemPool {
 public:
  // Block of 256 KB that Grow rounds the new capacity up to.
  static constexpr uint32_t GrowStep = 262144;

  explicit TMemPool(uint32_t Capacity);
  virtual ~TMemPool();
  TMemPool(const TMemPool&) = delete;
  TMemPool& operator=(const TMemPool&) = delete;

  // Takes up to Count bytes in order into Dest, or skips them when Dest is
  // null; answers the bytes taken. Count <= 0 takes nothing.
  virtual int32_t Read(void* Dest, int32_t Count);
  // Stores all Count bytes or none: answers Count, or 0 when they do not fit.
  virtual int32_t Write(const void* Source, int32_t Count);
  // Capacity := capacity + Count rounded up to GrowStep; the held bytes move
  // to the start of the new buffer in order. Count <= 0 changes nothing.
  virtual void Grow(int32_t Count);

  uint32_t FreeSpace();
  uint32_t Capacity();
  uint32_t Held();
  // Makes several calls one atomic step; the same thread may lock again.
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }

 private:
  std::recursive_mutex FLock;
  uint8_t* FBuffer;
  uint32_t FWritePos = 0;
  uint32_t FReadPos = 0;
  uint32_t FCapacity;
  uint32_t FHeld = 0;
};
