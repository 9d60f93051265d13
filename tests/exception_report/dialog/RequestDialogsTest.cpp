// The request for the steps to reproduce and the send-progress dialog: the
// conditions that show them, what the request adds to the report, where it
// places its controls, and what the progress dialog shows and when it ends.
// The request runs on a thread of its own as processing would run it; the
// test thread drives its real windows with bounded waits.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"
#include "WindowShot.h"
#include "core/Hooks.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/RequestDialog.h"
#include "dialog/SendProgress.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "report/LogItem.h"
#include "report/ReportFiles.h"
#include "web/WebHost.h"

namespace {

using namespace RevavaRez;

constexpr DWORD kBound = 20000;
constexpr int kIdSteps = 101;
constexpr int kIdPrompt = 100;

// A visible dialog of this process with the caption and the control.
HWND FindDialog(const std::string& caption, int controlId) {
  struct TLook {
    std::string Caption;
    int Control;
    HWND Found;
  } look = {caption, controlId, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        auto* look = reinterpret_cast<TLook*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char text[256] = {};
        GetWindowTextA(window, text, sizeof(text));
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && look->Caption == text &&
            GetDlgItem(window, look->Control)) {
          look->Found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&look));
  return look.Found;
}

std::string ChildText(HWND dialog, int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof(text));
  return text;
}

RECT ChildRect(HWND dialog, int id) {
  RECT rect = {};
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A function on a thread of its own, as the processing thread runs it.
class TThreadRun {
 public:
  explicit TThreadRun(void (*body)()) : FBody(body) { FThread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  ~TThreadRun() {
    if (!FThread) return;
    if (WaitForSingleObject(FThread, 0) != WAIT_OBJECT_0) {
      // A dialog a failed test left open.
      if (HWND dialog = FindDialog(TextAt(81), kIdSteps)) PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
      WaitForSingleObject(FThread, kBound);
    }
    CloseHandle(FThread);
  }
  bool Finish(DWORD bound = kBound) { return PumpUntilSignalled(FThread, bound); }
  std::string Failure;

 private:
  static DWORD WINAPI Run(void* self) {
    auto* run = static_cast<TThreadRun*>(self);
    try {
      run->FBody();
    } catch (const std::exception& e) {
      run->Failure = e.what();
    } catch (...) {
      run->Failure = "not an exception";
    }
    return 0;
  }
  void (*FBody)();
  HANDLE FThread = nullptr;
};

void RunRequest() { RunReproduceRequest(); }
void ShowRequest() { ShowReproduceRequest(); }

const char kShown[] = "General section\r\n\r\n";
const char kRest[] = "Call stack\r\n";

class RequestDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, "");
    TProcessingState& state = ProcessingState();
    state.ReportText = std::string(kShown) + kRest;
    state.TextToSend = state.ReportText;
    state.Record = TVezavuExceptionRecord{};
    state.Record.ReportText = state.ReportText.c_str();
    // The shown part ends three characters before the rest.
    state.Record.ReportLength = static_cast<uint32_t>(sizeof(kShown) - 1 - 3);
    state.SendChecked = false;
    DuplicateFound = false;
    Boxes.Spare(L"Request", kIdSteps);
  }
  void TearDown() override {
    for (const std::wstring& box : Boxes.TakeDismissed())
      ADD_FAILURE() << "a box came up: " << std::string(box.begin(), box.end());
    SetDialogResourceModule(nullptr);
    LibraryState().Options.reset();
  }
  TVezavuModuleOptionsEx& Options() { return *LibraryState().Options; }
  HWND RequestDialog() {
    HWND dialog = nullptr;
    PumpUntil([&] { return (dialog = FindDialog(TextAt(81), kIdSteps)) != nullptr && DialogState().DialogPainted; },
              kBound);
    return dialog;
  }
  TMessageBoxWatchdog Boxes;
};

TEST_F(RequestDialogsTest, TheTextsAreTheRequestAndSendOnes) {
  EXPECT_EQ(Options().TextAt(81), "Request");
  EXPECT_EQ(Options().TextAt(75), "Send.");
}

TEST_F(RequestDialogsTest, RequestIsWantedOnlyWhenAllFourConditionsHold) {
  struct TCase {
    const char* Name;
    bool Flag;
    bool Gui;
    bool Duplicate;
    bool SendChecked;
    bool SaveLog;
    bool Wanted;
  } cases[] = {
      {"all, by the send choice", true, true, false, true, false, true},
      {"all, by the log", true, true, false, false, true, true},
      {"flag clear", false, true, false, true, true, false},
      {"no dialogs allowed", true, false, false, true, true, false},
      {"duplicate", true, true, true, true, true, false},
      {"neither sent nor logged", true, true, false, false, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Options().SetLogFlags(c.Flag ? 0x02 : 0xFD);
    Options().SetSaveLog(c.SaveLog);
    DuplicateFound = c.Duplicate;
    ProcessingState().SendChecked = c.SendChecked;
    EXPECT_EQ(ReproduceRequestWanted(c.Gui), c.Wanted);
  }
}

TEST_F(RequestDialogsTest, AConsoleProgramNeverShowsTheRequest) {
  ASSERT_TRUE(IsConsoleProgram());
  Options().SetLogFlags(0x02);
  Options().SetSaveLog(true);
  ProcessingState().SendChecked = true;
  TThreadRun run(ShowRequest);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(run.Failure, "");
  EXPECT_EQ(ProcessingState().ReportText, std::string(kShown) + kRest);
}

// OK, the close box and the auto-close count all keep what was typed.
TEST_F(RequestDialogsTest, TypedStepsEnterTheReportAfterTheShownPartHoweverTheDialogEnds) {
  enum TEnd { ByOk, ByCloseBox, ByAutoClose };
  struct TCase {
    const char* Name;
    TEnd End;
  } cases[] = {{"ok", ByOk}, {"close box", ByCloseBox}, {"auto-close", ByAutoClose}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetUp();
    Options().SetAutoCloseSeconds(c.End == ByAutoClose ? 1 : 0);
    TThreadRun run(RunRequest);
    HWND dialog = RequestDialog();
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextA(dialog, kIdSteps, "  Open a file\r\nPress Play  \r\n");
    if (c.End == ByOk) SendMessageA(GetDlgItem(dialog, kIdOk), BM_CLICK, 0, 0);
    if (c.End == ByCloseBox) PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(run.Failure, "");

    TLogItem item(7);
    item.AddSection("Request");
    item.AddItem(std::string(), "Open a file\r\nPress Play");
    const std::string inserted = item.GetText() + "\r\n";
    const TProcessingState& state = ProcessingState();
    EXPECT_EQ(state.ReportText, std::string(kShown) + inserted + kRest);
    EXPECT_EQ(state.TextToSend, state.ReportText);
    EXPECT_EQ(state.Record.ReportText, state.ReportText.c_str());
    EXPECT_EQ(state.Record.ReportLength, sizeof(kShown) - 1 - 3 + inserted.size());
    EXPECT_NE(inserted.find("Open a file"), std::string::npos);
  }
}

TEST_F(RequestDialogsTest, ABlankAnswerAddsNothing) {
  for (const char* answer : {"", "  \r\n\t  \r\n"}) {
    SCOPED_TRACE(answer);
    TThreadRun run(RunRequest);
    HWND dialog = RequestDialog();
    ASSERT_NE(dialog, nullptr);
    SetDlgItemTextA(dialog, kIdSteps, answer);
    SendMessageA(GetDlgItem(dialog, kIdOk), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(ProcessingState().ReportText, std::string(kShown) + kRest);
    EXPECT_EQ(ProcessingState().Record.ReportLength, sizeof(kShown) - 1 - 3);
  }
}

TEST(RequestLayout, PromptHeightCountsEveryStartedInnerWidth) {
  struct TCase {
    std::vector<int> Widths;
    int Height;
  } cases[] = {
      {{50}, 13}, {{100}, 13}, {{101}, 26}, {{250, 5, 100}, 65},
  };
  for (const TCase& c : cases) EXPECT_EQ(RequestPromptHeight(c.Widths, 13, 100), c.Height);
}

TEST_F(RequestDialogsTest, PromptEditAndOkSitWhereTheLayoutPutsThem) {
  struct TCase {
    const char* Name;
    const char* Prompt;
    int Lines;  // at the dialog's inner width
    unsigned char Flags;
  } cases[] = {
      {"one line, plain", "Describe the steps:", 1, 0},
      {"three lines with a blank, own look", "First\r\n\r\nxxxx", 3, 0x80},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Options().SetDialogFlags(c.Flags);
    Options().SetTextAt(82, c.Prompt);
    TThreadRun run(RunRequest);
    HWND dialog = RequestDialog();
    ASSERT_NE(dialog, nullptr);
    RECT window;
    GetWindowRect(dialog, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int inner = width - 27;
    TEXTMETRICA metrics = {};
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, kIdPrompt, WM_GETFONT, 0, 0)));
    GetTextMetricsA(dc, &metrics);
    SIZE one = {0, 0};
    GetTextExtentPoint32A(dc, "x", 1, &one);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    const int promptHeight = c.Lines * one.cy;
    const int editHeight = height - promptHeight - 83;

    const RECT prompt = ChildRect(dialog, kIdPrompt);
    EXPECT_EQ(prompt.left, 10);
    EXPECT_EQ(prompt.top, 10);
    EXPECT_EQ(prompt.right - prompt.left, inner);
    EXPECT_EQ(prompt.bottom - prompt.top, promptHeight);
    const RECT edit = ChildRect(dialog, kIdSteps);
    EXPECT_EQ(edit.left, 10);
    EXPECT_EQ(edit.top, promptHeight + 14);
    EXPECT_EQ(edit.bottom - edit.top, editHeight);
    const RECT ok = ChildRect(dialog, kIdOk);
    EXPECT_EQ(ok.left, inner - 65);
    EXPECT_EQ(ok.top, promptHeight + editHeight + 20);
    EXPECT_EQ(ok.right - ok.left, 75);
    EXPECT_EQ(ok.bottom - ok.top, 23);
    EXPECT_EQ(ChildText(dialog, kIdOk), "&OK");

    int shotWidth = 0, shotHeight = 0;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
    CaptureWholeWindow(dialog, c.Flags ? "request-own-look" : "request-plain", shotWidth, shotHeight);
    SendMessageA(GetDlgItem(dialog, kIdOk), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Finish());
  }
}

class SendProgressTest : public RequestDialogsTest {
 protected:
  void SetUp() override {
    RequestDialogsTest::SetUp();
    Boxes.Spare(L"Send.", kIdProgressBar);
    Options().SetSendFlags(0x01);
    Options().SetMailMode(1);
  }
  void TearDown() override {
    CloseSendProgress();
    PumpUntil([] { return !SendProgressDialogUp(); }, kBound);
    RequestDialogsTest::TearDown();
  }
};

TEST_F(SendProgressTest, ShowsStatusAndPositionAndClosesOnItsMessage) {
  for (unsigned char flags : {0x00, 0x80}) {
    SCOPED_TRACE(flags);
    Options().SetDialogFlags(flags);
    ASSERT_TRUE(StartSendProgressFor(true));
    ASSERT_TRUE(SendProgress().Ready);
    HWND dialog = SendProgress().Dialog;
    ASSERT_TRUE(SendProgressDialogUp());
    // What the warnings read to stay quiet while the dialog is up.
    EXPECT_TRUE(LibraryHooks.SendProgressDialogUp());
    // Ready comes with the focus, inside the dialog's set-up; it shows once
    // that has returned.
    EXPECT_TRUE(PumpUntil([dialog] { return FindDialog("Send.", kIdProgressBar) == dialog; }, kBound));
    SetSendProgressText("Sending message...");
    SetSendProgressPosition(40);
    EXPECT_EQ(ChildText(dialog, kIdProgressStatus), "Sending message...");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kIdProgressBar, PBM_GETPOS, 0, 0), 40);
    int width = 0, height = 0;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
    CaptureWholeWindow(dialog, flags ? "send-progress-own-look" : "send-progress-plain", width, height);

    CloseSendProgress();
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, kBound));
    EXPECT_FALSE(SendProgressDialogUp());
    EXPECT_FALSE(LibraryHooks.SendProgressDialogUp());
    // Once it is gone the operations do nothing.
    SetSendProgressText("late");
    SetSendProgressPosition(80);
  }
}

TEST_F(SendProgressTest, NoThreadStartsUnlessAskedForAndAllowed) {
  struct TCase {
    const char* Name;
    uint16_t SendFlags;
    uint8_t Mail;
    uint8_t Web;
    bool RealHost;  // the test program itself decides: a console one
  } cases[] = {
      {"progress flag clear", 0xFE, 1, 1, false},
      {"no mail and no web", 0x01, 0, 0, false},
      {"console program", 0x01, 1, 1, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Options().SetSendFlags(c.SendFlags);
    Options().SetMailMode(c.Mail);
    Options().SetWebMode(c.Web);
    SendProgress().Dialog = reinterpret_cast<HWND>(1);
    SendProgress().Done = 7;
    EXPECT_FALSE(c.RealHost ? StartSendProgress() : StartSendProgressFor(true));
    // Cleared whole all the same.
    EXPECT_EQ(SendProgress().Dialog, nullptr);
    EXPECT_EQ(SendProgress().Done, 0);
    EXPECT_FALSE(SendProgressDialogUp());
  }
}

void StartProgress() { StartSendProgressFor(true); }

TEST_F(SendProgressTest, StartReturnsWhenTheDialogCannotBeMade) {
  // A module without the templates.
  SetDialogResourceModule(GetModuleHandleA("kernel32.dll"));
  TThreadRun run(StartProgress);
  // Far below forever, above the start's own bound.
  EXPECT_TRUE(run.Finish(kBound));
  EXPECT_FALSE(SendProgressDialogUp());
}

}  // namespace
