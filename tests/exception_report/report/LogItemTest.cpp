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
