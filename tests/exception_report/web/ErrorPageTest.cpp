// The error page built from a page template.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "options/VezavuModuleOptions.h"
#include "web/ErrorPage.h"

namespace {

const char kOkButton[] =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

struct TPageCase {
  const char* What;
  std::string Layout, Text;
  bool OkButton;
  std::string Expected;  // without the ID comment
};

TEST(ErrorPage, BuiltFromTheLayout) {
  const std::string body = "a&nbsp;&nbsp;b &lt;c&gt; &amp; &quot;d&quot;<br>\r\ne";
  const std::string report = "a  b <c> & \"d\"\r\ne";
  const TPageCase cases[] = {
      {"a lower-case placeholder and no title", "<html><body><%html_tag%></body></html>", report, false,
       "<title>Error.</title><html><body>" + body + "</body></html>"},
      {"a title in order", "<TITLE>Own</Title><%HTML_TAG%>", "x", false, "<TITLE>Own</Title>x"},
      {"the title's end before its start", "</title>x<title><%HTML_TAG%>", "y", false,
       "<title>Error.</title></title>x<title>y"},
      {"only the first placeholder in another spelling counts", "<%Html_Tag%>|<%html_tag%>|<%HTML_TAG%>", "z",
       false, "<title>Error.</title>z|<%html_tag%>|z"},
      {"the OK button after the body", "<title></title><%HTML_TAG%>", "w", true,
       std::string("<title></title>w") + kOkButton},
      {"no placeholder", "<title>t</title>plain", "lost", false, "<title>t</title>plain"},
  };
  for (const TPageCase& c : cases) {
    SCOPED_TRACE(c.What);
    RevavaRez::TVezavuModuleOptions options(false, std::string());
    options.SetPageTemplate(c.Layout);
    const std::string page = RevavaRez::BuildErrorPage(options, c.Text, c.OkButton);
    std::smatch id;
    ASSERT_TRUE(std::regex_search(page, id, std::regex("<!-- RevavaRez ID: [0-9A-F]{8} -->$"))) << page;
    EXPECT_EQ(RevavaRez::LastPageIDComment, id.str());
    EXPECT_EQ(page.substr(0, page.size() - id.length()), c.Expected);
  }
}

TEST(ErrorPage, ABlankLayoutIsTheDefaultAndTheTitleIsTextTwo) {
  RevavaRez::TVezavuModuleOptions fresh(false, std::string());
  RevavaRez::TVezavuModuleOptions options(false, std::string());
  options.SetPageTemplate("\r\n\t  \r\n");
  options.SetTextAt(2, "Fehler.");
  const std::string page = RevavaRez::BuildErrorPage(options, "report", false);
  const std::string layout = fresh.PageTemplate();
  const size_t at = layout.find("<%HTML_TAG%>");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(page.substr(0, page.size() - RevavaRez::LastPageIDComment.size()),
            "<title>Fehler.</title>" + layout.substr(0, at) + "report" + layout.substr(at + 12));
}

TEST(ErrorPage, EachPageHasItsOwnID) {
  RevavaRez::TVezavuModuleOptions options(false, std::string());
  RevavaRez::BuildErrorPage(options, "x", false);
  const std::string first = RevavaRez::LastPageIDComment;
  // Two equal random words in a row are a chance of one in four billion.
  RevavaRez::BuildErrorPage(options, "x", false);
  EXPECT_NE(RevavaRez::LastPageIDComment, first);
}

}  // namespace
