// The numbered, aligned text of a report's general sections.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "report/LogItem.h"

using namespace RevavaRez;

TEST(LogItem, Layout) {
  const struct {
    const char* what;
    int firstSection;
    std::function<void(TLogItem&)> build;
    std::string text;
  } cases[] = {
      {"the \": \" of a section in one column, the underline as long as its longest line", 0,
       [](TLogItem& item) {
         item.AddSection("General");
         item.AddItem("A", "1");
         item.AddItem("Longer label", "2");
         item.AddSection("Next");
         item.AddItem("Much longer label here", "x");
       },
       "General:\r\n"
       "---------------------\r\n"
       "  1.1 A           : 1\r\n"
       "  1.2 Longer label: 2\r\n"
       "\r\n"
       "Next:\r\n"
       "-------------------------------\r\n"
       "  2.1 Much longer label here: x\r\n"},
      {"a hidden item keeps its number", 0,
       [](TLogItem& item) {
         item.AddSection("S");
         item.AddItem("A", "1");
         item.AddItem("B", "2", false);
         item.AddItem("C", "3");
       },
       "S:\r\n"
       "----------\r\n"
       "  1.1 A: 1\r\n"
       "  1.3 C: 3\r\n"},
      {"empty sections go with their blank line, the numbers stay", 0,
       [](TLogItem& item) {
         item.AddSection("Empty");
         item.AddItem("Hidden", "x", false);
         item.AddSection("Full");
         item.AddItem("X", "y");
         item.AddSection("Trailing");
         item.AddItem("Hidden", "x", false);
       },
       "Full:\r\n"
       "----------\r\n"
       "  2.1 X: y\r\n"},
      {"all sections empty", 0,
       [](TLogItem& item) {
         item.AddSection("A");
         item.AddSection("B");
         item.AddItem("Hidden", "x", false);
       },
       ""},
      {"a multi-line value: \":_\", \".\" for an empty line, lines under the value", 0,
       [](TLogItem& item) {
         item.AddSection("T");
         item.AddItem("Msg", "a: b\r\n  \r\nc");
         item.AddItem("Longer", "x");
       },
       "T:\r\n"
       "------------------\r\n"
       "  1.1 Msg   : a:_b\r\n"
       "              .\r\n"
       "              c\r\n"
       "  1.2 Longer: x\r\n"},
      {"a single-line value keeps its \": \"", 0,
       [](TLogItem& item) {
         item.AddSection("T");
         item.AddItem("V", "a: b");
       },
       "T:\r\n"
       "-------------\r\n"
       "  1.1 V: a: b\r\n"},
      {"the first section number follows the one given", 4,
       [](TLogItem& item) {
         item.Clear();
         item.AddSection("T");
         item.AddItem("V", "1");
       },
       "T:\r\n"
       "----------\r\n"
       "  5.1 V: 1\r\n"},
  };
  for (const auto& c : cases) {
    TLogItem item(c.firstSection);
    c.build(item);
    EXPECT_EQ(c.text, item.GetText()) << c.what;
  }
}

// A value's lines may end with CR LF, LF or CR alone: each is one line break,
// so a blank line inside a value never ends its section, never takes the
// next item with it, and never ends a report in the log.
TEST(LogItem, EveryLineBreakOfAValueIsOne) {
  auto text = [](const std::string& value) {
    TLogItem item;
    item.AddSection("T");
    item.AddItem("Msg", value);
    item.AddItem("Longer", "x");
    item.AddSection("Next");
    item.AddItem("Y", "z");
    return item.GetText();
  };
  EXPECT_EQ("T:\r\n"
            "-------------------------\r\n"
            "  1.1 Msg   : Cannot open\r\n"
            "              .\r\n"
            "              X\r\n"
            "  1.2 Longer: x\r\n"
            "\r\n"
            "Next:\r\n"
            "----------\r\n"
            "  2.1 Y: z\r\n",
            text("Cannot open\n\nX"));
  const struct {
    const char *value, *withCrLf;
  } cases[] = {
      {"\n\n\n", "\r\n\r\n\r\n"},
      {"Cannot open\r\rX", "Cannot open\r\n\r\nX"},
      {"a: b\rc", "a: b\r\nc"},
      {"a\r\n\nb\r\rc\n\r", "a\r\n\r\nb\r\n\r\nc\r\n\r\n"},
      {"last\n", "last\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(text(c.withCrLf), text(c.value)) << c.withCrLf;
}
