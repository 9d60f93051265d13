// The element tree of the log's XML documents: character references, the
// three shapes an element renders in, and the indentation of children.
#include <gtest/gtest.h>

#include <string>

#include "report/XMLItems.h"

using namespace RevavaRez;

TEST(XMLItem, EscapeWritesThreeDigitReferences) {
  const struct {
    std::string text, escaped;
  } cases[] = {
      {"<", "&#060;"},
      {"\n", "&#010;"},
      {"\"", "&#034;"},
      {"&'>", "&#038;&#039;&#062;"},
      {std::string(1, '\0'), "&#000;"},
      {"\x1F\x7F\x80\xFF", "&#031;&#127;&#128;&#255;"},
      {"Plain text 0-9 =/;:[]~", "Plain text 0-9 =/;:[]~"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.escaped, TXMLItem::Escape(c.text)) << c.escaped;
}

TEST(XMLItem, RendersEmptyTextAndParentForms) {
  TXMLItem empty("Line");
  empty.AddAttribute("ID", "2.5");
  empty.AddAttribute("Value", "a \"b\"");
  EXPECT_EQ("<Line ID=\"2.5\" Value=\"a &#034;b&#034;\"/>\r\n", empty.Render());

  TXMLItem text("Name");
  text.Indent = "    ";
  text.Text = "Brindolux";
  EXPECT_EQ("    <Name>Brindolux</Name>\r\n", text.Render());

  // Rendering appends: the caller's text before it stays.
  std::string out = "<?xml?>\r\n";
  text.Render(out);
  EXPECT_EQ("<?xml?>\r\n    <Name>Brindolux</Name>\r\n", out);
}

TEST(XMLItem, ChildrenAreIndentedTwoBlanksPerLevelInTheOrderAdded) {
  TXMLItem root("Doc");
  TXMLItem* log = root.AddChild("Log");
  TXMLItem* line = log->AddChild("Line");
  line->AddAttribute("ID", "1");
  log->AddChild("Line")->Text = "t";
  root.AddChild("End");
  EXPECT_EQ(&root, log->Parent);
  EXPECT_EQ(log, line->Parent);
  EXPECT_EQ(
      "<Doc>\r\n"
      "  <Log>\r\n"
      "    <Line ID=\"1\"/>\r\n"
      "    <Line>t</Line>\r\n"
      "  </Log>\r\n"
      "  <End/>\r\n"
      "</Doc>\r\n",
      root.Render());

  // A root that starts indented carries its children along.
  root.Indent = "  ";
  EXPECT_EQ(0u, root.Render().find("  <Doc>\r\n    <Log>\r\n      <Line ID=\"1\"/>\r\n"));
}

TEST(XMLItems, AddKeepsTheOrderAndOwnsTheItems) {
  TXMLItems items;
  TXMLItem* first = items.Add("A");
  items.Add("B")->AddChild("C");
  ASSERT_EQ(2, items.Count());
  EXPECT_EQ(first, items.Items(0));
  EXPECT_EQ("B", items.Items(1)->Name);
  EXPECT_EQ(nullptr, items.Items(1)->Parent);
}
