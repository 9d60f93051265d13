// The thumbnail index and which of its lines the strip shows, without
// windows or files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "nails/NailsIndex.h"

namespace {

std::vector<std::string> Lines(int Count) {
  std::vector<std::string> lines;
  for (int i = 0; i < Count; ++i) lines.push_back(std::to_string(i * 1000) + "=" + std::to_string(i) + ".bmp");
  return lines;
}

int Occurrences(const std::vector<int>& Chosen, int Line) {
  return static_cast<int>(std::count(Chosen.begin(), Chosen.end(), Line));
}

bool StartsWith(const std::vector<int>& Chosen, const std::vector<int>& Head) {
  return Chosen.size() >= Head.size() && std::equal(Head.begin(), Head.end(), Chosen.begin());
}

bool EndsWith(const std::vector<int>& Chosen, const std::vector<int>& Tail) {
  return Chosen.size() >= Tail.size() && std::equal(Tail.rbegin(), Tail.rend(), Chosen.rbegin());
}

}  // namespace

TEST(NailsIndex, UpTo120LinesAreAllShownInOrder) {
  for (int count : {0, 1, 5, 120}) {
    std::vector<int> expected;
    for (int i = 0; i < count; ++i) expected.push_back(i);
    EXPECT_EQ(ChooseNailLines(count), expected) << count;
  }
}

TEST(NailsIndex, BeyondIt120AreSpreadBetweenTheFirstAndTheLast) {
  struct TCase {
    int Count;
    std::vector<int> Head, Tail;
  };
  const TCase cases[] = {
      {121, {0, 1, 3, 4}, {118, 119, 119, 120}},
      {200, {0, 2, 5, 7, 8, 10, 11, 13, 15, 17}, {192, 193, 195, 196, 198, 199}},
      {1000, {0, 8, 20, 28, 36, 44, 52, 60, 71, 83}, {964, 971, 979, 987, 995, 999}},
  };
  for (const TCase& c : cases) {
    const std::vector<int> chosen = ChooseNailLines(c.Count);
    EXPECT_EQ(chosen.size(), 120u) << c.Count;
    EXPECT_TRUE(StartsWith(chosen, c.Head)) << c.Count;
    EXPECT_TRUE(EndsWith(chosen, c.Tail)) << c.Count;
    EXPECT_TRUE(std::is_sorted(chosen.begin(), chosen.end())) << c.Count;
  }
  const std::vector<int> of200 = ChooseNailLines(200);
  EXPECT_EQ(std::adjacent_find(of200.begin(), of200.end()), of200.end());

  // With one line more than fits, the bisection repeats some lines and
  // leaves out others.
  const std::vector<int> of121 = ChooseNailLines(121);
  for (int line : {15, 30, 45, 60, 75, 90, 105, 112, 119}) EXPECT_EQ(Occurrences(of121, line), 2) << line;
  for (int line : {2, 10, 17, 32, 47, 62, 70, 77, 92, 107}) EXPECT_EQ(Occurrences(of121, line), 0) << line;
}

TEST(NailsIndex, LinesEndAtCrLfCrOrLf) {
  struct TCase {
    std::string Text;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"a\r", {"a"}},
      {"", {}},
  };
  for (const TCase& c : cases) EXPECT_EQ(SplitIndexLines(c.Text), c.Lines) << c.Text;
}

TEST(NailsIndex, EntriesTakeTheFirstValueOfTheirNameAndStopAtABlankOrNonNumber) {
  struct TCase {
    const char* What;
    std::string Text;
    std::vector<std::pair<int32_t, std::string>> Entries;
  };
  const TCase cases[] = {
      {"five lines", "0=a.bmp\r\n1000=b.bmp\r\n65000=c.jpg\r\n65999=d.bmp\r\n120000=e.ico\r\n",
       {{0, "a.bmp"}, {1, "b.bmp"}, {65, "c.jpg"}, {65, "d.bmp"}, {120, "e.ico"}}},
      {"a blank third line", "0=a.bmp\n1000=b.bmp\n  \t\n3000=d.bmp\n", {{0, "a.bmp"}, {1, "b.bmp"}}},
      {"a first name that is no number", "start=a.bmp\n1000=b.bmp\n", {}},
      {"a line without =", "0=a.bmp\nb.bmp\n2000=c.bmp\n", {{0, "a.bmp"}}},
      {"a time beyond 32 bits", "0=a.bmp\n2147483648=b.bmp\n", {{0, "a.bmp"}}},
      {"two lines with one time", "5000=first.bmp\n5000=second.bmp\n", {{5, "first.bmp"}, {5, "first.bmp"}}},
      {"names compared without case", "0=x\n1e=one\n1E=two\n", {{0, "x"}}},
      {"an empty value", "0=a.bmp\n1000=\n", {{0, "a.bmp"}, {1, ""}}},
      {"a negative time", "-1500=a.bmp\n", {{-1, "a.bmp"}}},
  };
  for (const TCase& c : cases) {
    std::vector<std::pair<int32_t, std::string>> entries;
    for (const TNailEntry& e : ReadNailEntries(SplitIndexLines(c.Text))) entries.emplace_back(e.Seconds, e.Image);
    EXPECT_EQ(entries, c.Entries) << c.What;
  }
  const std::vector<std::string> lines{"1E=two", "1e=one", "a=b=c", "=nameless", "no value"};
  const TIndexValues values(lines);
  EXPECT_EQ(values.Of("1e"), "two");
  EXPECT_EQ(values.Of("a"), "b=c");
  EXPECT_EQ(values.Of(""), "nameless");
  EXPECT_EQ(values.Of("no value"), "");
}

TEST(NailsIndex, MoreThan120LinesGiveTheChosenEntries) {
  const std::vector<TNailEntry> entries = ReadNailEntries(Lines(121));
  ASSERT_EQ(entries.size(), 120u);
  EXPECT_EQ(entries[2].Image, "3.bmp");
  EXPECT_EQ(entries.back().Seconds, 120);
}

TEST(NailsIndex, OnlyNamesInsideTheNailsFolderAreSafe) {
  for (const char* name : {"a.bmp", "sub\\a.jpg", "sub/a.jpg", "a..b.bmp", "..a.bmp",
                           // Only the device names themselves open devices.
                           "console.bmp", "com.bmp", "com10.bmp", "lpt.jpg", "xnul.bmp", "nul_1.bmp", "auxx",
                           "com1x.bmp", "prn-a.bmp"})
    EXPECT_TRUE(IsSafeNailName(name)) << name;
  for (const char* name : {"", "..\\..\\x.bmp", "../x.bmp", "sub\\..\\..\\x.bmp", "\\x.bmp", "/x.bmp",
                           "c:\\x.bmp", "c:x.bmp", "\\\\host\\share\\x.bmp", "sub\\..",
                           // Device names, in any case, with any extension, trailing dots or spaces, in
                           // any folder.
                           "CON", "prn", "Aux.bmp", "NUL.tar.gz", "com1", "COM9.jpg", "lpt1.bmp", "Lpt9",
                           "nul.", "con ", "aux. .bmp", "com5 .jpg", "sub\\lpt3.bmp", "nul\\a.bmp"})
    EXPECT_FALSE(IsSafeNailName(name)) << name;
}
