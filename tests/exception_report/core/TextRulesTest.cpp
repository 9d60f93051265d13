// The text rules are the ground the report, log and dialog texts stand on: a
// rule that throws or wraps on a short text would turn a report into a crash.
#include <gtest/gtest.h>

#include "core/DateTime.h"
#include "core/VArevText.h"

using namespace RevavaRez;

namespace {

TEST(TextPositions, ClipToTheTextInsteadOfFailing) {
  EXPECT_EQ(Pos("b", "abcb"), 2u);
  EXPECT_EQ(Pos("x", "abc"), 0u);
  EXPECT_EQ(Pos("", "abc"), 0u);
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4u);
  EXPECT_EQ(PosFrom("b", "abcb", 0), 2u);
  EXPECT_EQ(PosFrom("b", "abcb", 9), 0u);

  EXPECT_EQ(Copy("abcdef", 3, 2), "cd");
  EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
  EXPECT_EQ(Copy("abcdef", 7, 1), "");
  EXPECT_EQ(Copy("abcdef", 0, 2), "ab");

  std::string s = "abc";
  Insert("X", s, 2);
  EXPECT_EQ(s, "aXbc");
  Insert("Y", s, 99);
  EXPECT_EQ(s, "aXbcY");
  Insert("Z", s, 0);
  EXPECT_EQ(s, "ZaXbcY");

  Delete(s, 2, 2);
  EXPECT_EQ(s, "ZbcY");
  Delete(s, 3, 100);
  EXPECT_EQ(s, "Zb");
  Delete(s, 3, 1);
  Delete(s, 0, 1);
  EXPECT_EQ(s, "Zb");
}

TEST(TextRules, ReplaceAllIsOnePassAndLeavesAnEmptyPatternAlone) {
  EXPECT_EQ(ReplaceAll("a&b&&c", "&", "&amp;"), "a&amp;b&amp;&amp;c");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "x"), "");
}

TEST(TextRules, SplitBySetKeepsInnerEmptyPartsButNotAnEmptyLast) {
  struct Case {
    const char* text;
    std::vector<std::string> parts;
  } cases[] = {
      {";; a ; b;;c ;", {"a", "b", "", "c"}}, {"a", {"a"}}, {";;;", {}}, {"a; ", {"a"}}, {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> parts;
    SplitBySet(";", c.text, parts);
    EXPECT_EQ(parts, c.parts) << c.text;
  }
}

TEST(TextRules, FileNameParts) {
  EXPECT_EQ(ExtractFileName("C:\\a.b\\c.exe"), "c.exe");
  EXPECT_EQ(ExtractFilePath("C:\\a.b\\c.exe"), "C:\\a.b\\");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\c"), "");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\c", ".rrl"), "C:\\a.b\\c.rrl");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\c.exe", ".rrl"), "C:\\a.b\\c.rrl");
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(AddressText(0xAB), sizeof(void*) == 8 ? "00000000000000AB" : "000000AB");
}

TEST(TextRules, LogFilePathCases) {
  struct Case {
    const char* location;
    uint8_t flags;
    const char* name;
    const char* expected;
  } cases[] = {
      {"", 0, "", "C:\\App\\Prog.rrl"},
      {"D:\\Logs", 0, "", "D:\\Logs\\Prog.rrl"},
      {"D:\\Logs\\", 0, "", "D:\\Logs\\Prog.rrl"},
      {"D:\\Logs\\All.RRL", 0, "", "D:\\Logs\\All.RRL"},
      {"D:\\Logs", 0x08, "", "D:\\Logs\\Prog_PC_1.rrl"},
      {"D:\\Logs\\All.rrl", 0x08, "", "D:\\Logs\\All_PC_1.rrl"},
      {"", 0xF7, "E:\\Other.dll", "E:\\Other.rrl"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LogFilePathFor(c.location, "C:\\App\\Prog.exe", c.flags, "PC_1", c.name), c.expected)
        << c.location;
}

TEST(TextRules, SafeFileNamePartReplacesEveryUnsafeCharacter) {
  EXPECT_EQ(SafeFileNamePart("WORKSTATION-7"), "WORKSTATION-7");
  EXPECT_EQ(SafeFileNamePart("a\"*/:<>?\\|b"), "a_________b");
  EXPECT_EQ(SafeFileNamePart(""), "");
}

TEST(DateTime, CountsDaysFrom1899AndDecodesBack) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2007, 1, 31, 18), 39113.75);
  TDateParts p = DecodeDateTime(EncodeDateTime(2007, 1, 31, 23, 59, 59, 999));
  EXPECT_EQ(p.Year, 2007);
  EXPECT_EQ(p.Month, 1);
  EXPECT_EQ(p.Day, 31);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 59);
  EXPECT_EQ(p.Millisecond, 999);
  EXPECT_EQ(p.DayOfWeek, 3);  // a Wednesday
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(2000, 2, 29)).Day, 29);
  EXPECT_EQ(DecodeDateTime(0).DayOfWeek, 6);
}

}  // namespace
