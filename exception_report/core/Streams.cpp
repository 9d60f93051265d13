#include "core/Streams.h"

#include <algorithm>
#include <cstring>

#include "core/Errors.h"

namespace RevavaRez {

int64_t TStream::Size() {
  int64_t here = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(here, soBeginning);
  return size;
}

int64_t TStream::Remaining() {
  int64_t left = Size() - Position();
  return left > 0 ? left : 0;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t size = Size();
  if (count <= 0 || FPosition >= size) return 0;
  int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = FPosition + count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : Size();
  if (base + offset >= 0) FPosition = base + offset;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t size) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  if (FPosition > Size()) FPosition = Size();
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

}  // namespace RevavaRez
