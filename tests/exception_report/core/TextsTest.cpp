// The built-in texts and the pure report texts, byte for byte: reports are
// compared and parsed by the people and programs that receive them.
#include <gtest/gtest.h>

#include <cstring>

#include "core/DateTime.h"
#include "core/ExceptionLogText.h"
#include "core/Texts.h"

using namespace RevavaRez;

namespace {

TEST(Texts, EveryIndexHoldsItsText) {
  struct Case {
    int index;
    const char* text;
  } cases[] = {
      {0, "Information."},
      {2, "Error."},
      {3,
       "An error has occurred during program execution.\r\nPlease read the following information for "
       "further details."},
      {14, "&OK"},
      {21, "Go to the Support Page"},
      {22, "Application"},
      {50, "Type"},
      {61, "Custom Information"},
      {62, "Address"},
      {67, "Line"},
      {74, "Class"},
      {75, "Send."},
      {82, "Please describe the steps to reproduce the error:"},
      {83, "&OK"},
      {90, "Path"},
      {93, "Memory Dump"},
      {95, "Sorry, sending the message didn't work."},
  };
  for (const Case& c : cases) EXPECT_STREQ(TextAt(c.index), c.text) << c.index;
  for (int i = 0; i < kTextCount; ++i) EXPECT_GT(std::strlen(TextAt(i)), 0u) << i;
  EXPECT_STREQ(TextAt(-1), "");
  EXPECT_STREQ(TextAt(96), "");
}

TEST(ReportTexts, EscapesInTheirOrder) {
  // "&" first, so the entities that follow are not escaped again.
  EXPECT_EQ(EscapeHtml("a&b \"c\" 'd' <e>  f\r\ng"),
            "a&amp;b &quot;c&quot; &#039;d&#039; &lt;e&gt;&nbsp;&nbsp;f<br>\r\ng");
  EXPECT_EQ(EscapeHtml("   "), "&nbsp;&nbsp; ");
  EXPECT_EQ(EscapeRichText("C:\\x {y}\r\nz"), "C:\\\\x \\{y\\}\\par\r\nz");
  EXPECT_EQ(FlattenControlChars("a\r\n\tb\x01"
                                "c"),
            "a b c");
  EXPECT_EQ(PadRight("ab", 4), "ab  ");
  EXPECT_EQ(PadRight("abcde", 4), "abcde");
  EXPECT_EQ(IfText(true, "a", "b"), "a");
  EXPECT_EQ(IfText(false, "a"), "");
}

TEST(ReportTexts, MailDateWithItsZone) {
  TDateTime date = EncodeDateTime(2007, 1, 31, 23, 59, 59);
  EXPECT_EQ(MailDateText(date, 8), "Wed, 31 Jan 2007 23:59:59 +0800");
  EXPECT_EQ(MailDateText(date, -5), "Wed, 31 Jan 2007 23:59:59 -0500");
  EXPECT_EQ(MailDateText(date, 0), "Wed, 31 Jan 2007 23:59:59 +0000");
  EXPECT_EQ(MailDateText(date, -10), "Wed, 31 Jan 2007 23:59:59 -1000");
  EXPECT_EQ(MailDateText(EncodeDateTime(2024, 3, 3, 7, 5, 9), 13), "Sun, 3 Mar 2024 07:05:09 +1300");
}

TEST(ReportTexts, WindowsVersionNames) {
  struct Case {
    int platform, major, minor;
    const char* service;
    const char* name;
  } cases[] = {
      {1, 4, 0, "", "95"},   {1, 4, 0, " B ", "95 OSR 2"},
      {1, 4, 10, "", "98"},  {1, 4, 10, "A", "98 SE"},
      {1, 4, 89, "", "98"},  {1, 4, 90, "", "ME"},
      {1, 4, 95, "", ""},    {2, 4, 0, "", "NT 4.0"},
      {2, 5, 0, "", "2000"}, {2, 5, 1, "Service Pack 3", "XP"},
      {2, 5, 2, "", "2003"}, {2, 6, 1, "", "Vista"},
      {2, 10, 0, "", ""},    {0, 5, 1, "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowsVersionText(c.platform, c.major, c.minor, c.service),
              std::string("Microsoft Windows ") + c.name)
        << c.platform << " " << c.major << "." << c.minor;
}

}  // namespace
