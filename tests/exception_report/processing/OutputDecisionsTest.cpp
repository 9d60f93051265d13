// Where a report is shown and whether it is sent, as tables over the options
// and the kind of program; and the web output in this test program, which is
// a console program and so a CGI host once REQUEST_METHOD is set, and an
// IntraWeb host with doubles for the framework.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>

#include "TestModules.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/OutputDecisions.h"
#include "processing/ProcessException.h"
#include "processing/ProcessingSeams.h"
#include "processing/ProcessingState.h"
#include "processing/ReportLog.h"
#include "processing/ReportOutput.h"
#include "stack/StackList.h"
#include "web/IntraWeb.h"
#include "web/WebModules.h"

using namespace RevavaRez;

namespace {

const char kOkLine[] =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(OutputDecisions, TheOutputKindByRequestAndProgram) {
  struct TProgram {
    const char* What;
    bool Web, Console;
    // What the requested kinds 0 to 3 give.
    uint8_t Kinds[4];
  };
  const TProgram programs[] = {
      {"windowed", false, false, {okDialog, okDialog, okWebPage, okDialog}},
      {"console", false, true, {okConsole, okConsole, okWebPage, okDialog}},
      // A CGI program is a console program as well: asked for the console,
      // it writes there.
      {"CGI", true, true, {okWebPage, okConsole, okWebPage, okDialog}},
      {"ISAPI library", true, false, {okWebPage, okDialog, okWebPage, okDialog}},
  };
  for (const TProgram& program : programs) {
    for (uint8_t requested = 0; requested < 4; ++requested) {
      SCOPED_TRACE(std::string(program.What) + ", requested " + std::to_string(requested));
      EXPECT_EQ(OutputKindFor(requested, program.Web, program.Console), program.Kinds[requested]);
    }
  }
  EXPECT_EQ(OutputKindFor(255, true, true), okDialog);
}

TSendInputs Mail(uint8_t dialogFlags, bool sendChecked, bool duplicate = false, uint16_t sendFlags = 0) {
  TSendInputs inputs;
  inputs.MailMode = 1;
  inputs.DialogFlags = dialogFlags;
  inputs.SendChecked = sendChecked;
  inputs.DuplicateFound = duplicate;
  inputs.SendFlags = sendFlags;
  return inputs;
}

TEST(OutputDecisions, AReportCanBeSent) {
  TSendInputs byWeb;
  byWeb.WebMode = 2;
  TSendInputs none = Mail(0, true);
  none.MailMode = 0;
  struct TCase {
    const char* What;
    TSendInputs Inputs;
    bool Expected;
  };
  const TCase cases[] = {
      {"no sending method", none, false},
      {"by mail without a dialog", Mail(0, false), true},
      {"by web without a dialog", byWeb, true},
      {"a duplicate", Mail(0, true, true), false},
      {"the dialog's send box ticked", Mail(0x01, true), true},
      {"the dialog's send box cleared", Mail(0x01, false), false},
      {"other dialog bits do not ask for the box", Mail(0xFE, false), true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(ReportCanBeSent(c.Inputs), c.Expected);
  }
}

TEST(OutputDecisions, AReportIsToBeSent) {
  struct TCase {
    const char* What;
    uint8_t Action;
    bool GuiAllowed;
    TSendInputs Inputs;
    bool Expected;
  };
  const TCase cases[] = {
      {"after the dialog, sendable with the progress dialog", acAfterDialog, false, Mail(0, false, false, 0x01), true},
      {"after the dialog, sendable with a screenshot", acAfterDialog, false, Mail(0, false, false, 0x10), true},
      {"after the dialog, sendable with neither", acAfterDialog, false, Mail(0, false, false, 0xEE), false},
      {"after the dialog, not sendable", acAfterDialog, false, Mail(0, false, true, 0x11), false},
      {"after the dialog, the dialog shown and its box cleared", acAfterDialog, false, Mail(0x01, false), true},
      {"before the dialog where dialogs may be shown", acBeforeDialog, true, Mail(0, false, false, 0x10), true},
      {"before the dialog in a web or console program", acBeforeDialog, false, Mail(0x01, true, false, 0x11), false},
      {"another action", acBeforeLog, true, Mail(0x01, true, false, 0x11), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(ReportIsToBeSent(c.Action, c.GuiAllowed, c.Inputs), c.Expected);
  }
}

TEST(OutputDecisions, TheOkButtonLineIsAppendedOnce) {
  struct TCase {
    const char* What;
    std::string Page;
    std::string Expected;
  };
  const std::string page = "<html><body>Error</body></html>";
  const std::string shouted = Upper(kOkLine);
  const std::string half = std::string(kOkLine).substr(0, 30);
  const TCase cases[] = {
      {"a page without it", page, page + kOkLine},
      {"a page that holds it", kOkLine + page, kOkLine + page},
      {"a page that holds it in other letter case", page + shouted, page + shouted},
      {"a page with only its start", page + half, page + half + kOkLine},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string once = WithOkButtonLine(c.Page);
    EXPECT_EQ(once, c.Expected);
    EXPECT_EQ(WithOkButtonLine(once), once);
  }
}

class EWebFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// This program as a CGI host: REQUEST_METHOD set and standard output a file,
// the page template given through the library's working options.
class TCgiHost {
 public:
  explicit TCgiHost(const std::string& pageTemplate) {
    FOutputPath = FFolder.Path() + L"\\output.txt";
    FOutput = CreateFileW(FOutputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    FStandardOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, FOutput);
    SetEnvironmentVariableW(L"REQUEST_METHOD", L"GET");
    LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, std::string());
    LibraryState().Options->SetPageTemplate(pageTemplate);
  }
  ~TCgiHost() {
    Finish();
    LibraryState().Options.reset();
    SetEnvironmentVariableW(L"REQUEST_METHOD", nullptr);
  }
  TCgiHost(const TCgiHost&) = delete;
  TCgiHost& operator=(const TCgiHost&) = delete;

  bool Ready() const { return FOutput != INVALID_HANDLE_VALUE; }
  // Gives standard output back and answers what the client got.
  std::string Finish() {
    if (FOutput == INVALID_HANDLE_VALUE) return std::string();
    SetStdHandle(STD_OUTPUT_HANDLE, FStandardOutput);
    CloseHandle(FOutput);
    FOutput = INVALID_HANDLE_VALUE;
    return brx_web_test::ReadFileText(FOutputPath);
  }

 private:
  brx_test::TTempFolder FFolder{L"output decisions"};
  std::wstring FOutputPath;
  HANDLE FOutput = INVALID_HANDLE_VALUE;
  HANDLE FStandardOutput = nullptr;
};

TEST(WebOutput, ACgiProgramsReportReachesItsClientWithOneOkButton) {
  struct TCase {
    const char* What;
    uint8_t RaiserType;
    std::string Template;
  };
  const TCase cases[] = {
      {"decided by the program, a template without the button", rtDecide, "<html><%HTML_TAG%></html>"},
      {"the web page asked for, a template with the button in capitals", rtWebPage,
       "<html><%HTML_TAG%>" + Upper(kOkLine) + "</html>"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TCgiHost host(c.Template);
    ASSERT_TRUE(host.Ready());
    static int dialogs;
    dialogs = 0;
    const auto showDialog = ProcessingSeams.ShowExceptionDialog;
    ProcessingSeams.ShowExceptionDialog = [] {
      ++dialogs;
      return true;
    };
    EWebFault fault("ignored");
    TProcessingState state;
    state.LastExceptionObject = &fault;
    state.ReportText = "Report <1>";
    state.DialogResult = false;
    ShowReport(c.RaiserType, state);
    ProcessingSeams.ShowExceptionDialog = showDialog;
    const std::string written = host.Finish();
    EXPECT_TRUE(state.DialogResult);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(written.rfind("Status: 200 Error\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("<html>EWebFault: Report &lt;1&gt;"), std::string::npos) << written;
    EXPECT_EQ(Occurrences(Lower(written), Lower(kOkLine)), 1u) << written;
  }
}

// The IntraWeb doubles: the application, its server controller with the
// template folder, and the captured ShowMessage, which notes what it shows.
int Application = 0, Controller = 0;
std::string TemplateDir;
std::string ShownMessage;
int ShownCount = 0;

std::string ControllerString(void*, const std::string& name) {
  return name == "TemplateDir" ? TemplateDir : std::string();
}
void ShowMessage(void*, const std::string& message, int, const std::string&) {
  ShownMessage = message;
  ++ShownCount;
}

TEST(WebOutput, IntraWebShowsThePendingMessageWithTheTextOnce) {
  brx_test::TTempFolder folder(L"output decisions intraweb");
  TemplateDir = brx_web_test::Narrow(folder.Path());
  TIntraWebHost& host = IntraWebHost();
  host.Application = &Application;
  host.ServerController = &Controller;
  host.ControllerString = ControllerString;
  host.ShowMessage = ShowMessage;
  ShownCount = 0;
  EWebFault fault("ignored");
  TProcessingState state;
  state.LastExceptionObject = &fault;

  IntraWebMessage = "Pending. ";
  state.DialogResult = false;
  ShowWebPage("First <a>", state);
  EXPECT_TRUE(state.DialogResult);
  EXPECT_EQ(ShownMessage, "Pending. EWebFault: First &lt;a&gt;");
  // What was shown does not come again, escaped twice, with the next one.
  ShowWebPage("Second", state);
  EXPECT_EQ(ShownMessage, "EWebFault: Second");
  EXPECT_EQ(ShownCount, 2);

  host = TIntraWebHost();
  IntraWebMessage.clear();
  char temp[MAX_PATH];
  DeleteFileA((std::string(temp, GetTempPathA(MAX_PATH, temp)) + kIntraWebTemplateName).c_str());
}

}  // namespace
