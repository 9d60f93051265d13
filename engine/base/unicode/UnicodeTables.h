#pragma once
// The two character tables the wide-text functions read: general categories
// ("TYPE") and simple case mappings ("CASE"). They are built at build time
// from the Unicode Character Database by tools/gen_unicode_data.py and carried
// as resources of type "UNICODE"; this part only turns their bytes into
// lookups, so it stays free of <windows.h>.
#include <cstddef>
#include <cstdint>
#include <vector>

// Numbered in the order the generator writes them.
enum TCharacterCategory : int {
  ccLu,
  ccLl,
  ccLt,
  ccLm,
  ccLo,
  ccMn,
  ccMc,
  ccMe,
  ccNd,
  ccNl,
  ccNo,
  ccPc,
  ccPd,
  ccPs,
  ccPe,
  ccPi,
  ccPf,
  ccPo,
  ccSm,
  ccSc,
  ccSk,
  ccSo,
  ccZs,
  ccZl,
  ccZp,
  ccCc,
  ccCf,
  ccCs,
  ccCo,
  ccCn,
  ccCount
};

// Both tables start with a 16-bit byte-order mark; data written on a machine
// of the other byte order (mark 0xFFFE) is swapped while it is parsed. Parse
// raises Exception on data whose sizes or order do not add up.
class TUnicodeTypeTable {
 public:
  static TUnicodeTypeTable Parse(const void* data, size_t size);
  bool InCategory(uint32_t code, int category) const;
  int CategoryCount() const { return FStarts.empty() ? 0 : static_cast<int>(FStarts.size() - 1); }

 private:
  struct TRange {
    uint32_t First, Last;
  };
  std::vector<uint32_t> FStarts;  // category i owns FRanges[FStarts[i] .. FStarts[i + 1])
  std::vector<TRange> FRanges;
};

class TUnicodeCaseTable {
 public:
  static TUnicodeCaseTable Parse(const void* data, size_t size);
  // The upper-case form of a lower-case letter, from the group of lower-case
  // letters; the code itself when the group has no entry.
  uint32_t UpperOfLowerCase(uint32_t code) const;
  // The upper-case form from the group of the remaining cased characters
  // (title-case letters and cased symbols); the code itself when absent.
  uint32_t UpperOfOther(uint32_t code) const;
  size_t GroupSize(int group) const { return FGroups[group].size(); }

 private:
  struct TTriple {
    uint32_t Code, Form1, Form2;
  };
  static const TTriple* Find(const std::vector<TTriple>& group, uint32_t code);
  // 0: upper-case letters (code, lower, title); 1: lower-case letters
  // (code, upper, title); 2: the rest (code, lower, upper).
  std::vector<TTriple> FGroups[3];
};
