#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/WideText.h"
#include "base/unicode/UnicodeTables.h"

namespace {

TEST(WideText, UpperCaseFollowsTheCharacterData) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"", L""},
      {L"abc XYZ", L"ABC XYZ"},
      {L"\u00e4\u00f6\u00fc\u00df", L"\u00c4\u00d6\u00dc\u00df"},  // sharp s has no one-unit upper form
      {L"\u03b1\u03b2\u03c9", L"\u0391\u0392\u03a9"},              // Greek
      {L"\u043f\u0440\u0438\u0432\u0435\u0442", L"\u041f\u0420\u0418\u0412\u0415\u0422"},  // Cyrillic
      {L"0123456789", L"0123456789"},
      {L"\u4e2d\u6587", L"\u4e2d\u6587"},  // CJK has no case
      {L"\u01c5", L"\u01c4"},              // title case Dz with caron
      {L"\u2170", L"\u2160"},              // small roman numeral one
      {L"\xd83d\xde00", L"\xd83d\xde00"},  // surrogate units stay
  };
  for (const Case& c : cases) EXPECT_EQ(WideUpperCase(c.in), c.out) << static_cast<int>(c.in[0]);
}

TEST(WideText, PosTextIgnoresCase) {
  EXPECT_EQ(WidePosText(L"file://", L"FILE:///C:/a.krm"), 1u);
  EXPECT_EQ(WidePosText(L"file://", L"x File://h/a"), 3u);
  EXPECT_EQ(WidePosText(L"file://", L"http://h/a"), 0u);
  EXPECT_EQ(WidePosText(L"", L"abc"), 0u);
}

TEST(WideText, ReplaceFlagsAndWholeWord) {
  struct Case {
    const wchar_t* s;
    const wchar_t* oldPattern;
    const wchar_t* newPattern;
    unsigned flags;
    bool wholeWord;
    const wchar_t* result;
  } cases[] = {
      {L"a%20b%20c", L"%20", L" ", rfReplaceAll, false, L"a b c"},
      {L"a%20b%20c", L"%20", L" ", 0, false, L"a b%20c"},
      {L"XaBy", L"ab", L"-", rfIgnoreCase, false, L"X-y"},
      {L"XaBy", L"ab", L"-", rfReplaceAll, false, L"XaBy"},
      {L"abAB", L"ab", L"-", rfReplaceAll | rfIgnoreCase, false, L"--"},
      {L"Hello World", L"WORLD", L"There", rfIgnoreCase, false, L"Hello There"},
      {L"aaa", L"a", L"aa", rfReplaceAll, false, L"aaaaaa"},
      {L"", L"ab", L"-", rfReplaceAll | rfIgnoreCase, false, L""},
      {L"abc", L"", L"-", rfReplaceAll | rfIgnoreCase, false, L"abc"},
      {L"cat catalog cat", L"cat", L"dog", rfReplaceAll, true, L"dog catalog dog"},
      {L"cat_x (cat)", L"cat", L"dog", rfReplaceAll, true, L"cat_x (dog)"},
      {L"catalog cat cat", L"cat", L"dog", 0, true, L"catalog dog cat"},
      {L"bcat cat", L"CAT", L"dog", rfReplaceAll | rfIgnoreCase, true, L"bcat dog"},
  };
  for (const Case& c : cases) {
    std::wstring result = L"stale";
    WideStringReplace(c.s, c.oldPattern, c.newPattern, result, c.wholeWord, c.flags);
    EXPECT_EQ(result, c.result) << c.s << " / " << c.oldPattern << " flags " << c.flags;
  }
}

TEST(WideText, WordSeparators) {
  for (wchar_t c : {L'\0', L' ', L'\t', L',', L'-', L'(', L'+', L'\u3000', L'\u3002'})
    EXPECT_TRUE(IsWordSeparator(c)) << static_cast<int>(c);
  for (wchar_t c : {L'a', L'Z', L'5', L'_', L'\u4e2d', L'\u00e9'})
    EXPECT_FALSE(IsWordSeparator(c)) << static_cast<int>(c);
  EXPECT_EQ(LastWideChar(L""), L'\0');
}

TEST(WideText, LocaleCompareBothWays) {
  EXPECT_TRUE(UnicodePlatformFlag);
  EXPECT_TRUE(XPOrLaterFlag);
  struct Case {
    const wchar_t* a;
    const wchar_t* b;
    int result;
  } cases[] = {{L"abc", L"ABC", 0}, {L"a", L"B", -1}, {L"b", L"A", 1}, {L"", L"", 0}, {L"", L"a", -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(WideCompareTextW(LOCALE_USER_DEFAULT, c.a, c.b), c.result) << c.a << " " << c.b;
    EXPECT_EQ(WideCompareTextA(LOCALE_USER_DEFAULT, c.a, c.b), c.result) << c.a << " " << c.b;
    EXPECT_EQ(WideCompareText(LOCALE_USER_DEFAULT, c.a, c.b), c.result) << c.a << " " << c.b;
  }
}

TEST(WideText, CharacterDataResourcesAreCarried) {
  HMODULE self = GetModuleHandleW(nullptr);
  for (const wchar_t* name : {L"TYPE", L"CASE", L"DECOMPOSE", L"NUMBERS", L"COMBINE"})
    EXPECT_NE(FindResourceW(self, name, L"UNICODE"), nullptr) << name;
}

// Tables written in either byte order, for the parser alone.
class TBlob {
 public:
  explicit TBlob(bool bigEndian) : FBig(bigEndian) {}
  void U16(uint32_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  std::vector<uint8_t> Bytes;

 private:
  void Put(uint32_t v, int n) {
    for (int i = 0; i < n; ++i) Bytes.push_back(static_cast<uint8_t>(v >> (8 * (FBig ? n - 1 - i : i))));
  }
  bool FBig;
};

// Two categories: 'A'..'Z'; 'a'..'z' and 0xE0..0xF6.
TBlob TypeBlob(bool bigEndian) {
  TBlob b(bigEndian);
  b.U16(0xFEFF);
  b.U16(2);
  for (uint32_t start : {0, 1, 3}) b.U16(start);
  b.U16(0);  // to a multiple of 4
  for (uint32_t bound : {0x41, 0x5A, 0x61, 0x7A, 0xE0, 0xF6}) b.U32(bound);
  return b;
}

// One triple per group.
TBlob CaseBlob(bool bigEndian) {
  TBlob b(bigEndian);
  b.U16(0xFEFF);
  b.U16(0);
  b.U32(1);
  b.U32(1);
  for (uint32_t v : {0x41, 0x61, 0x41, 0x62, 0x42, 0x42, 0x1C5, 0x1C6, 0x1C4}) b.U32(v);
  return b;
}

TEST(UnicodeTables, ParsesEitherByteOrder) {
  for (bool big : {false, true}) {
    TBlob type = TypeBlob(big), cases = CaseBlob(big);
    TUnicodeTypeTable t = TUnicodeTypeTable::Parse(type.Bytes.data(), type.Bytes.size());
    EXPECT_EQ(t.CategoryCount(), 2);
    EXPECT_TRUE(t.InCategory('Q', 0));
    EXPECT_FALSE(t.InCategory('q', 0));
    EXPECT_TRUE(t.InCategory(0xE5, 1));
    EXPECT_FALSE(t.InCategory(0xF7, 1));
    EXPECT_FALSE(t.InCategory('q', 5));  // beyond the carried categories
    TUnicodeCaseTable c = TUnicodeCaseTable::Parse(cases.Bytes.data(), cases.Bytes.size());
    EXPECT_EQ(c.UpperOfLowerCase(0x62), 0x42u);
    EXPECT_EQ(c.UpperOfLowerCase(0x63), 0x63u);
    EXPECT_EQ(c.UpperOfOther(0x1C5), 0x1C4u);
  }
}

TEST(UnicodeTables, RejectsDamagedData) {
  auto typeWith = [](auto change) {
    TBlob b = TypeBlob(false);
    change(b.Bytes);
    return b.Bytes;
  };
  const std::vector<std::vector<uint8_t>> badTypes = {
      {},
      typeWith([](std::vector<uint8_t>& v) { v[0] = 0x12; }),   // no mark
      typeWith([](std::vector<uint8_t>& v) { v.pop_back(); }),  // truncated range
      typeWith([](std::vector<uint8_t>& v) {
        v[8] = 0xFF;
        v[9] = 0xFF;
      }),                                                       // start beyond the ranges
      typeWith([](std::vector<uint8_t>& v) { v[2] = 0; }),      // no categories
      typeWith([](std::vector<uint8_t>& v) { v[20] = 0x7B; }),  // inverted range
      typeWith([](std::vector<uint8_t>& v) { v[28] = 0x70; }),  // overlaps the range before
  };
  for (size_t i = 0; i < badTypes.size(); ++i)
    EXPECT_THROW(TUnicodeTypeTable::Parse(badTypes[i].data(), badTypes[i].size()), Exception) << i;

  TBlob cases = CaseBlob(false);
  std::vector<uint8_t> oversized = cases.Bytes;
  oversized[4] = 0xFF;  // group 1 larger than the data
  std::vector<uint8_t> ragged = cases.Bytes;
  ragged.push_back(0);
  for (const auto& v : {oversized, ragged})
    EXPECT_THROW(TUnicodeCaseTable::Parse(v.data(), v.size()), Exception);
}

}  // namespace
