// The IntraWeb error page in the test process, with doubles for what the
// framework's hooks would supply: the application and server controller,
// the controller's "TemplateDir" and the captured ShowMessage.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "WebModules.h"
#include "core/ExceptionLog.h"
#include "web/IntraWeb.h"

namespace {

using brx_web_test::Narrow;

struct TShown {
  int Calls = 0;
  std::string Message, TemplateFile;
  int Type = 0;
  bool Raise = false;
};
TShown Shown;
std::string TemplateDir;
int Application = 0, Controller = 0;

std::string ControllerString(void* controller, const std::string& name) {
  return controller == &Controller && name == "TemplateDir" ? "  " + TemplateDir + " " : std::string();
}

void ShowMessage(void* application, const std::string& message, int type, const std::string& templateFile) {
  if (application != &Application) throw std::runtime_error("wrong application");
  ++Shown.Calls;
  Shown.Message = message;
  Shown.Type = type;
  Shown.TemplateFile = templateFile;
  if (Shown.Raise) throw std::runtime_error("the framework failed");
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

class IntraWeb : public testing::Test {
 protected:
  void SetUp() override {
    RevavaRez::TIntraWebHost& host = RevavaRez::IntraWebHost();
    host.Application = &Application;
    host.ServerController = &Controller;
    host.ControllerString = ControllerString;
    host.ShowMessage = ShowMessage;
    Shown = TShown();
    RevavaRez::ClearWarning();
    RevavaRez::IntraWebMessage = "Access violation <at> 1  2\r\nnext";
  }
  void TearDown() override { RevavaRez::IntraWebHost() = RevavaRez::TIntraWebHost(); }

  // Shows the page, then checks where its template went and what the
  // framework got.
  void ExpectShownFrom(const std::string& file, const std::string& templateFile) {
    DeleteFileA(file.c_str());
    EXPECT_TRUE(RevavaRez::ShowIntraWebErrorPage());
    EXPECT_EQ(RevavaRez::LastWarning().Message, "");
    EXPECT_EQ(Shown.Calls, 1);
    EXPECT_EQ(Shown.Type, 2);
    const std::string escaped = "Access violation &lt;at&gt; 1&nbsp;&nbsp;2<br>\r\nnext";
    EXPECT_EQ(Shown.Message, escaped);
    EXPECT_EQ(RevavaRez::IntraWebMessage, escaped);
    EXPECT_EQ(Shown.TemplateFile, templateFile);
    // The framework finds it from its template folder.
    EXPECT_EQ(FullPath(TemplateDir + "\\" + Shown.TemplateFile), FullPath(file));
    const std::string page = brx_web_test::ReadFileText(brx_web_test::Widen(file));
    EXPECT_NE(page.find("{%butnOk%}"), std::string::npos) << page;
    EXPECT_NE(page.find("Access violation &amp;lt;at&amp;gt;"), std::string::npos) << page;
    DeleteFileA(file.c_str());
  }
};

TEST_F(IntraWeb, ATemplateFolderOnTheTemporaryFoldersDrive) {
  char temp[MAX_PATH];
  const std::string tempFolder(temp, GetTempPathA(MAX_PATH, temp));
  brx_test::TTempFolder folder(L"web intraweb");
  TemplateDir = Narrow(folder.Path()) + "\\site\\templates";
  ExpectShownFrom(tempFolder + RevavaRez::kIntraWebTemplateName,
                  std::string("..\\..\\..\\") + RevavaRez::kIntraWebTemplateName);
}

TEST_F(IntraWeb, ATemplateFolderOnAnotherDrive) {
  // The drive that the test's fixture maps in the prefix; run by hand the
  // test has none.
  const char* drive = std::getenv("BRX_WEB_DRIVE");
  if (!drive) GTEST_SKIP() << "no second drive mapped (CTest's fixture maps one)";
  const std::string root = std::string(drive) + ":\\";
  ASSERT_NE(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES) << root << " is not mapped";
  TemplateDir = std::string(drive) + ":\\site\\templates";
  ExpectShownFrom(root + "Temp\\" + RevavaRez::kIntraWebTemplateName,
                  std::string("..\\..\\Temp\\") + RevavaRez::kIntraWebTemplateName);
  RemoveDirectoryA((root + "Temp").c_str());
}

TEST_F(IntraWeb, NoWritablePlaceNamesTheLastPathTried) {
  const DWORD drives = GetLogicalDrives();
  char letter = 'Q';
  while (letter < 'Y' && (drives & (1u << (letter - 'A')))) ++letter;
  ASSERT_FALSE(drives & (1u << (letter - 'A'))) << "no free drive letter";
  TemplateDir = std::string(1, letter) + ":\\site";
  EXPECT_TRUE(RevavaRez::ShowIntraWebErrorPage());
  EXPECT_EQ(Shown.Calls, 1);
  EXPECT_EQ(Shown.TemplateFile, "");
  EXPECT_EQ(RevavaRez::LastWarning().Message, "IntraWeb: Cannot create the \"" + TemplateDir + "\\" +
                                                  RevavaRez::kIntraWebTemplateName + "\" template.");
}

TEST_F(IntraWeb, WarningsOfTheFrameworkAndItsObjects) {
  brx_test::TTempFolder folder(L"web intraweb warnings");
  TemplateDir = Narrow(folder.Path());
  struct TCase {
    const char* What;
    bool Raise, WithController;
    bool Result;
    const char* Warning;
  };
  const TCase cases[] = {
      {"a ShowMessage that raises", true, true, false, "IntraWeb: Cannot show the error page."},
      {"no server controller", false, false, false,
       "IntraWeb: IntraWebApplication e/o IntraWebServerController are set to nil."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    SetUp();
    Shown.Raise = c.Raise;
    if (!c.WithController) RevavaRez::IntraWebHost().ServerController = nullptr;
    EXPECT_EQ(RevavaRez::ShowIntraWebErrorPage(), c.Result);
    EXPECT_EQ(RevavaRez::LastWarning().Message, c.Warning);
    EXPECT_EQ(Shown.Calls, c.WithController ? 1 : 0);
  }
  char temp[MAX_PATH];
  DeleteFileA((std::string(temp, GetTempPathA(MAX_PATH, temp)) + RevavaRez::kIntraWebTemplateName).c_str());
}

}  // namespace
