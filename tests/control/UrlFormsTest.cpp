// Which source a text opens, and how a bare name finds the hosting page.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "DocumentUrl.h"
#include "base/GlobalLib.h"
#include "HtmlPageDouble.h"
#include "base/SystemText.h"
#include "UrlForms.h"
#include "ole/SupportErrorInfo.h"

namespace {

THtmlPageSettings PageAt(const wchar_t* location) {
  THtmlPageSettings s{};
  s.OfferDocument = 1;
  s.Location = location;
  return s;
}

struct TSite {
  explicit TSite(const THtmlPageSettings& settings) : Site(CreateHtmlPageDouble(&settings)) {}
  ~TSite() { Site->Release(); }
  IOleClientSite* Site;
};

// What the control does with a text before it picks a source.
struct TPlan {
  TURLForm Kind;
  std::wstring URL;
};

TPlan Plan(const std::wstring& text, IOleClientSite* site) {
  TPlan plan;
  plan.URL = ResolveAgainstPage(FileURLToPath(text), [&] { return FileURLToPath(GetDocumentURL(site)); });
  plan.Kind = ClassifyURL(WideToAnsi(plan.URL));
  return plan;
}

const char* KindName(TURLForm kind) {
  switch (kind) {
    case TURLForm::Live:
      return "live";
    case TURLForm::RemoteChannel:
      return "remote channel";
    case TURLForm::LocalChannel:
      return "local channel";
    case TURLForm::File:
      return "file";
  }
  return "?";
}

}  // namespace

TEST(UrlFormsTest, TextChoosesSourceWithAndWithoutHostingPage) {
  struct TRow {
    const wchar_t* Text;
    const wchar_t* Page;  // null: the container is no HTML page
    TURLForm Kind;
    const wchar_t* URL;
  };
  const TRow rows[] = {
      {L"krms://host/ch", nullptr, TURLForm::Live, L"krms://host/ch"},
      {L"KRMS://host/ch", nullptr, TURLForm::Live, L"KRMS://host/ch"},
      {L"krms://host/ch", L"http://h/talks/index.html", TURLForm::Live, L"krms://host/ch"},
      // A bare name that happens to start with the live prefix.
      {L"krms.krm", nullptr, TURLForm::Live, L"krms.krm"},
      {L"krms.krm", L"http://h/talks/", TURLForm::File, L"http://h/talks/krms.krm"},
      {L"file:///C:/Talks/a%20b.krm", nullptr, TURLForm::File, L"C:\\Talks\\a b.krm"},
      {L"http://h/a.krm?x=1", nullptr, TURLForm::File, L"http://h/a.krm"},
      {L"http://h/live/ch1.sms", nullptr, TURLForm::RemoteChannel, L"http://h/live/ch1.sms"},
      {L"HTTP://h/live/CH1.SmS", L"http://other/x.html", TURLForm::RemoteChannel,
       L"HTTP://h/live/CH1.SmS"},
      {L"C:\\ch1.SMS", nullptr, TURLForm::LocalChannel, L"C:\\ch1.SMS"},
      {L"C:\\dir.sms\\a.krm", nullptr, TURLForm::File, L"C:\\dir.sms\\a.krm"},
      // "/" does not end an extension, so this is no channel file.
      {L"http://h/a.sms/b", nullptr, TURLForm::File, L"http://h/a.sms/b"},
      {L"a.krm", nullptr, TURLForm::File, L"a.krm"},
      {L"a.krm", L"http://h/talks/index.html", TURLForm::File, L"http://h/talks/a.krm"},
      {L"a.krm", L"http://h/talks/index.html?session=1/2", TURLForm::File, L"http://h/talks/a.krm"},
      {L"a.krm", L"file:///C:/My%20Talks/index.html", TURLForm::File, L"C:\\My Talks\\a.krm"},
      {L"a.krm", L"about:blank", TURLForm::File, L"a.krm"},
      {L"ch1.sms", nullptr, TURLForm::LocalChannel, L"ch1.sms"},
      {L"ch1.sms", L"http://h/live/index.html", TURLForm::RemoteChannel, L"http://h/live/ch1.sms"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(WideToAnsi(row.Text) + (row.Page ? " in " + WideToAnsi(row.Page) : std::string(" alone")));
    THtmlPageSettings settings = PageAt(row.Page);
    settings.OfferDocument = row.Page != nullptr;
    TSite site(settings);
    const TPlan plan = Plan(row.Text, site.Site);
    EXPECT_STREQ(KindName(row.Kind), KindName(plan.Kind));
    EXPECT_EQ(std::wstring(row.URL), plan.URL);
    // Without a client site at all the text stays as it is.
    if (!row.Page) {
      EXPECT_EQ(plan.URL, Plan(row.Text, nullptr).URL);
    }
  }
}

TEST(UrlFormsTest, ExtensionEndsOnlyAtBackslashOrColon) {
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\dir.sms\\a.krm", ".krm"},
      {"C:\\dir.sms\\name", ""},
      {"D:name", ""},
      {"a.b.c", ".c"},
      {"http://h/a.sms/b", ".sms/b"},
      {"noext", ""},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(row.second, URLExtension(row.first)) << row.first;
}

TEST(UrlFormsTest, PageIsAskedForOnlyForBareNames) {
  int asked = 0;
  const auto page = [&] {
    ++asked;
    return std::wstring(L"http://h/p/index.html");
  };
  EXPECT_EQ(L"C:\\a.krm", ResolveAgainstPage(L"C:\\a.krm", page));
  EXPECT_EQ(L"http://x/a.krm", ResolveAgainstPage(L"http://x/a.krm", page));
  EXPECT_EQ(0, asked);
  EXPECT_EQ(L"http://h/p/a.krm", ResolveAgainstPage(L"a.krm", page));
  EXPECT_EQ(1, asked);
}

// Every way a container can fail to be a page with a location, and that no
// reference is left behind by any of them.
TEST(DocumentUrlTest, ContainerAnswers) {
  struct TRow {
    const char* Name;
    THtmlPageSettings Settings;
    HRESULT Raised;  // S_OK: returns Answer
    const wchar_t* Answer;
  };
  THtmlPageSettings page = PageAt(L"http://h/talks/index.html");
  THtmlPageSettings failing = page;
  failing.ContainerResult = E_FAIL;
  failing.GarbageOnFailure = 1;
  THtmlPageSettings none = page;
  none.NoContainer = 1;
  THtmlPageSettings notHtml = page;
  notHtml.OfferDocument = 0;
  THtmlPageSettings noLocation = page;
  noLocation.LocationResult = E_ACCESSDENIED;
  THtmlPageSettings noText = page;
  noText.TextResult = E_OUTOFMEMORY;
  const TRow rows[] = {
      {"page", page, S_OK, L"http://h/talks/index.html"},
      {"GetContainer fails, leaving garbage", failing, S_OK, L""},
      {"no container", none, S_OK, L""},
      {"container is no HTML document", notHtml, S_OK, L""},
      {"location cannot be read", noLocation, E_ACCESSDENIED, nullptr},
      {"location text cannot be read", noText, E_OUTOFMEMORY, nullptr},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TSite site(row.Settings);
    if (row.Raised == S_OK) {
      EXPECT_EQ(std::wstring(row.Answer), GetDocumentURL(site.Site));
    } else {
      try {
        GetDocumentURL(site.Site);
        ADD_FAILURE() << "no exception";
      } catch (const EOleSysError& e) {
        EXPECT_EQ(row.Raised, e.ErrorCode());
      }
    }
    EXPECT_EQ(1, HtmlPageDoubleReferences(site.Site));
  }
  EXPECT_EQ(L"", GetDocumentURL(nullptr));
}
