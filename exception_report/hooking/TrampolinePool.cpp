#include "hooking/TrampolinePool.h"

#include <windows.h>

#include <bitset>
#include <vector>

#include "base/ThreadList.h"

namespace RevavaRez {

namespace {

constexpr size_t BlockSize = 0x10000;  // the allocation granularity
constexpr size_t SlotsPerBlock = BlockSize / TrampolineSlotSize;
// Any byte of a block lies this close to the routine, so every displacement
// between them fits in 32 bits.
constexpr uint64_t Reach = 0x7FFF0000ull - BlockSize;

struct TBlock {
  uintptr_t Base;
  std::bitset<SlotsPerBlock> Used;
  size_t Count = 0;
};

struct TPool {
  TCriticalSection Lock;
  std::vector<TBlock> Blocks;
};

TPool& Pool() {
  static TPool pool;
  return pool;
}

bool InReach(uintptr_t base, uintptr_t around) {
#if defined(__x86_64__)
  uint64_t distance = base > around ? base - around : around - base;
  return distance <= Reach;
#else
  (void)base;
  (void)around;
  return true;  // a rel32 reaches all of a 32-bit address space
#endif
}

void* Reserve(uintptr_t at) {
  return VirtualAlloc(reinterpret_cast<void*>(at), BlockSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ);
}

// A new block within reach of around: the free regions after it, then those
// before it, walked with VirtualQuery.
void* AllocateBlockNear(uintptr_t around) {
#if defined(__x86_64__)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const uintptr_t granularity = info.dwAllocationGranularity ? info.dwAllocationGranularity : BlockSize;
  const uintptr_t lowest = reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress);
  const uintptr_t highest = reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress);
  auto alignUp = [&](uintptr_t value) { return (value + granularity - 1) / granularity * granularity; };
  auto alignDown = [&](uintptr_t value) { return value / granularity * granularity; };
  const uintptr_t low = alignUp(around > Reach + lowest ? around - Reach : lowest);
  const uintptr_t high = alignDown((highest - around > Reach ? around + Reach : highest) - BlockSize);

  MEMORY_BASIC_INFORMATION region;
  for (uintptr_t at = alignDown(around); at <= high;) {
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region) break;
    uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress), end = base + region.RegionSize;
    if (region.State == MEM_FREE) {
      uintptr_t candidate = alignUp(base > at ? base : at);
      if (candidate + BlockSize <= end && candidate >= low && candidate <= high)
        if (void* block = Reserve(candidate)) return block;
    }
    if (end <= at) break;
    at = end;
  }
  for (uintptr_t at = alignDown(around); at >= low;) {
    if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region) break;
    uintptr_t base = reinterpret_cast<uintptr_t>(region.BaseAddress), end = base + region.RegionSize;
    if (region.State == MEM_FREE && end - base >= BlockSize) {
      uintptr_t candidate = alignDown((end < high + BlockSize ? end : high + BlockSize) - BlockSize);
      if (candidate >= base && candidate >= low)
        if (void* block = Reserve(candidate)) return block;
    }
    if (base <= low || base == 0) break;
    at = base - 1;
  }
  return nullptr;
#else
  (void)around;
  return Reserve(0);
#endif
}

}  // namespace

void* AllocateTrampoline(uintptr_t around, size_t size) {
  if (size == 0 || size > TrampolineSlotSize) return nullptr;
  TPool& pool = Pool();
  TCriticalSection::TScope scope(pool.Lock);
  for (TBlock& block : pool.Blocks) {
    if (block.Count == SlotsPerBlock || !InReach(block.Base, around)) continue;
    for (size_t slot = 0; slot < SlotsPerBlock; ++slot) {
      if (block.Used[slot]) continue;
      block.Used[slot] = true;
      ++block.Count;
      return reinterpret_cast<void*>(block.Base + slot * TrampolineSlotSize);
    }
  }
  // Room for the new block's record first: a block that cannot be recorded
  // could never be freed.
  pool.Blocks.reserve(pool.Blocks.size() + 1);
  void* memory = AllocateBlockNear(around);
  if (!memory) return nullptr;
  TBlock block;
  block.Base = reinterpret_cast<uintptr_t>(memory);
  block.Used[0] = true;
  block.Count = 1;
  pool.Blocks.push_back(block);
  return memory;
}

size_t TrampolineSlotsInUse() {
  TPool& pool = Pool();
  TCriticalSection::TScope scope(pool.Lock);
  size_t count = 0;
  for (const TBlock& block : pool.Blocks) count += block.Count;
  return count;
}

void FreeTrampoline(void* slot) {
  if (!slot) return;
  uintptr_t address = reinterpret_cast<uintptr_t>(slot);
  TPool& pool = Pool();
  TCriticalSection::TScope scope(pool.Lock);
  for (size_t i = 0; i < pool.Blocks.size(); ++i) {
    TBlock& block = pool.Blocks[i];
    if (address < block.Base || address >= block.Base + BlockSize) continue;
    size_t index = (address - block.Base) / TrampolineSlotSize;
    if (!block.Used[index]) return;
    block.Used[index] = false;
    if (--block.Count == 0) {
      VirtualFree(reinterpret_cast<void*>(block.Base), 0, MEM_RELEASE);
      pool.Blocks.erase(pool.Blocks.begin() + i);
    }
    return;
  }
}

}  // namespace RevavaRez
