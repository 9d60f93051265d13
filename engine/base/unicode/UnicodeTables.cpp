#include "base/unicode/UnicodeTables.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Exception.h"

namespace {

constexpr uint16_t kMark = 0xFEFF;
constexpr uint16_t kSwappedMark = 0xFFFE;
// Far above the 30 general categories; keeps a damaged count from sizing
// the start table by itself.
constexpr uint32_t kMaxCategories = 256;

[[noreturn]] void Malformed(const char* table, const char* what) {
  throw Exception(std::string("Unicode data \"") + table + "\" malformed: " + what);
}

// Reads little or swapped values at a bounded offset.
class TReader {
 public:
  TReader(const void* data, size_t size, const char* table)
      : FData(static_cast<const uint8_t*>(data)), FSize(data ? size : 0), FTable(table) {
    if (FSize < 2) Malformed(FTable, "too short");
    uint16_t mark;
    std::memcpy(&mark, FData, 2);
    if (mark == kSwappedMark)
      FSwap = true;
    else if (mark != kMark)
      Malformed(FTable, "no byte-order mark");
  }

  uint16_t U16(uint64_t offset) const {
    Need(offset, 2);
    uint16_t v;
    std::memcpy(&v, FData + offset, 2);
    return FSwap ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
  }

  uint32_t U32(uint64_t offset) const {
    Need(offset, 4);
    uint32_t v;
    std::memcpy(&v, FData + offset, 4);
    if (FSwap) v = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
    return v;
  }

  uint64_t Size() const { return FSize; }

 private:
  void Need(uint64_t offset, uint64_t n) const {
    if (offset > FSize || n > FSize - offset) Malformed(FTable, "truncated");
  }

  const uint8_t* FData;
  uint64_t FSize;
  const char* FTable;
  bool FSwap = false;
};

}  // namespace

TUnicodeTypeTable TUnicodeTypeTable::Parse(const void* data, size_t size) {
  TReader in(data, size, "TYPE");
  const uint32_t count = in.U16(2);
  if (count == 0 || count > kMaxCategories) Malformed("TYPE", "bad category count");
  TUnicodeTypeTable t;
  t.FStarts.resize(count + 1);
  for (uint32_t i = 0; i <= count; ++i) {
    t.FStarts[i] = in.U16(4 + 2ull * i);
    if (i > 0 && t.FStarts[i] < t.FStarts[i - 1]) Malformed("TYPE", "start indexes out of order");
  }
  uint64_t offset = 4 + 2ull * (count + 1);
  offset = (offset + 3) & ~uint64_t(3);
  const uint64_t ranges = t.FStarts[count];
  if (in.Size() < offset || (in.Size() - offset) != ranges * 8)
    Malformed("TYPE", "range count and size differ");
  t.FRanges.resize(ranges);
  for (uint64_t i = 0; i < ranges; ++i) {
    TRange& r = t.FRanges[i];
    r.First = in.U32(offset + 8 * i);
    r.Last = in.U32(offset + 8 * i + 4);
    if (r.First > r.Last) Malformed("TYPE", "inverted range");
  }
  for (uint32_t c = 0; c < count; ++c)
    for (uint32_t i = t.FStarts[c] + 1; i < t.FStarts[c + 1]; ++i)
      if (t.FRanges[i].First <= t.FRanges[i - 1].Last) Malformed("TYPE", "ranges out of order");
  return t;
}

bool TUnicodeTypeTable::InCategory(uint32_t code, int category) const {
  if (category < 0 || category >= CategoryCount()) return false;
  auto first = FRanges.begin() + FStarts[category];
  auto last = FRanges.begin() + FStarts[category + 1];
  // The first range whose end is not below code is the only one that can hold it.
  auto it = std::lower_bound(first, last, code, [](const TRange& r, uint32_t c) { return r.Last < c; });
  return it != last && it->First <= code;
}

TUnicodeCaseTable TUnicodeCaseTable::Parse(const void* data, size_t size) {
  TReader in(data, size, "CASE");
  const uint64_t sizes[2] = {in.U32(4), in.U32(8)};
  const uint64_t body = in.Size() < 12 ? 0 : in.Size() - 12;
  if (in.Size() < 12 || body % 12 != 0 || (sizes[0] + sizes[1]) * 12 > body)
    Malformed("CASE", "group sizes and size differ");
  const uint64_t counts[3] = {sizes[0], sizes[1], body / 12 - sizes[0] - sizes[1]};
  TUnicodeCaseTable t;
  uint64_t offset = 12;
  for (int g = 0; g < 3; ++g) {
    t.FGroups[g].resize(counts[g]);
    for (uint64_t i = 0; i < counts[g]; ++i, offset += 12) {
      TTriple& e = t.FGroups[g][i];
      e = {in.U32(offset), in.U32(offset + 4), in.U32(offset + 8)};
      if (i > 0 && e.Code <= t.FGroups[g][i - 1].Code) Malformed("CASE", "group out of order");
    }
  }
  return t;
}

const TUnicodeCaseTable::TTriple* TUnicodeCaseTable::Find(const std::vector<TTriple>& group, uint32_t code) {
  auto it = std::lower_bound(group.begin(), group.end(), code,
                             [](const TTriple& e, uint32_t c) { return e.Code < c; });
  return (it != group.end() && it->Code == code) ? &*it : nullptr;
}

uint32_t TUnicodeCaseTable::UpperOfLowerCase(uint32_t code) const {
  const TTriple* e = Find(FGroups[1], code);
  return e ? e->Form1 : code;
}

uint32_t TUnicodeCaseTable::UpperOfOther(uint32_t code) const {
  const TTriple* e = Find(FGroups[2], code);
  return e ? e->Form2 : code;
}
