#include "moduleinfo/ModuleStream.h"

#include <cstring>

#include "core/VArev.h"

namespace RevavaRez {

THModuleStream::THModuleStream(const void* base) : FBase(static_cast<const uint8_t*>(base)) {}

int64_t THModuleStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition >= kSize) return 0;
  if (count > kSize - FPosition) count = kSize - FPosition;
  std::memcpy(buffer, FBase + FPosition, static_cast<size_t>(count));
  FPosition += count;
  return count;
}

int64_t THModuleStream::Write(const void*, int64_t) { return 0; }

int64_t THModuleStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : kSize;
  int64_t target = base + offset;
  if (target >= 0) FPosition = target;
  return FPosition;
}

bool THModuleStream::ReadChecked(void* buffer, size_t count) {
  if (count == 0) return true;
  if (FPosition < 0 || static_cast<uint64_t>(FPosition) + count > static_cast<uint64_t>(kSize)) return false;
  const uint8_t* from = FBase + FPosition;
  // An image near the top of the address space must not wrap.
  if (reinterpret_cast<uintptr_t>(from) + count < reinterpret_cast<uintptr_t>(from)) return false;
  if (ReadableLength(from, count) < count) return false;
  std::memcpy(buffer, from, count);
  FPosition += static_cast<int64_t>(count);
  return true;
}

}  // namespace RevavaRez
