// The exception dialog in the test process: the processing state is filled
// here, the dialog runs on a thread of its own as processing would run it,
// and the test thread drives its real windows with bounded waits.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataBlockBuilder.h"
#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"
#include "TestModules.h"
#include "WindowShot.h"
#include "core/ExceptionLog.h"
#include "core/RichTextPages.h"
#include "core/Texts.h"
#include "dialog/DialogFonts.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/ExceptionDialog.h"
#include "events/EventSinks.h"
#include "moduleinfo/ModulesList.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "report/ReportFiles.h"
#include "stack/StackList.h"

namespace {

using namespace RevavaRez;

constexpr DWORD kBound = 20000;
const char kMessage[] = "A test error that the dialog shows";

std::string SettingsPath() {
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\" + kSettingsFileName;
}

std::string Coordinate(const char* key) { return IniRead(kSettingsFileName, "Coordinates", key, "none"); }

HWND FindExceptionDialog() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && GetDlgItem(window, kIdTabs)) {
          *reinterpret_cast<HWND*>(data) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// ShowExceptionDialog on a thread of its own, as the processing calls it.
class TDialogRun {
 public:
  TDialogRun() { FThread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  ~TDialogRun() {
    if (!FThread) return;
    if (WaitForSingleObject(FThread, 0) != WAIT_OBJECT_0) {
      // A dialog a failed test left open.
      if (HWND dialog = FindExceptionDialog()) PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
      WaitForSingleObject(FThread, kBound);
    }
    CloseHandle(FThread);
  }
  // The dialog once it has painted; null when it did not come up in time.
  HWND Dialog() {
    HWND dialog = nullptr;
    PumpUntil(
        [&] {
          dialog = FindExceptionDialog();
          return (dialog != nullptr && DialogState().DialogPainted) || Ended();
        },
        kBound);
    return Ended() ? nullptr : dialog;
  }
  bool Ended() const { return WaitForSingleObject(FThread, 0) == WAIT_OBJECT_0; }
  // Waits for the dialog's end; false when it did not end in time.
  bool Finish(DWORD bound = kBound) { return PumpUntilSignalled(FThread, bound); }
  bool Result = false;
  std::string Failure;

 private:
  static DWORD WINAPI Run(void* self) {
    auto* run = static_cast<TDialogRun*>(self);
    try {
      run->Result = ShowExceptionDialog();
    } catch (const std::exception& e) {
      run->Failure = e.what();
    } catch (...) {
      run->Failure = "not an exception";
    }
    return 0;
  }
  HANDLE FThread = nullptr;
};

class ExceptionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(SettingsPath().c_str());
    LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, "");
    TProcessingState& state = ProcessingState();
    state.LastExceptionMessage = kMessage;
    state.ReportText = "Report line one\r\nReport line two\r\n";
    state.CpuText.clear();
    state.CustomDataText.clear();
    state.ErrorCount = 1;
    state.CloseRequested = false;
    state.SendChecked = false;
    state.CopyChecked = false;
    state.StoredCallStack = std::make_unique<TVezavuStackList>();
    DuplicateFound = false;
    ScreenshotChecked = false;
    DialogState().PlatformId = VER_PLATFORM_WIN32_NT;
    ClearWarning();
    Boxes.Spare(L"Error.", kIdTabs);
  }
  void TearDown() override {
    for (const std::wstring& box : Boxes.TakeDismissed()) ADD_FAILURE() << "a box came up: " << std::string(box.begin(), box.end());
    OnActionNotify = nullptr;
    ProcessingState().StoredCallStack.reset();
    LibraryState().Options.reset();
    DeleteFileA(SettingsPath().c_str());
  }
  TVezavuModuleOptionsEx& Options() { return *LibraryState().Options; }

  TMessageBoxWatchdog Boxes;
};

RECT ChildRect(HWND dialog, int id) {
  RECT rect = {};
  HWND child = GetDlgItem(dialog, id);
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool Shown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

std::string ChildText(HWND dialog, int id) {
  char text[1024] = {};
  GetDlgItemTextA(dialog, id, text, sizeof(text));
  return text;
}

int CountColour(const std::vector<COLORREF>& pixels, int width, const RECT& area, COLORREF colour) {
  int count = 0;
  const int height = static_cast<int>(pixels.size()) / (width > 0 ? width : 1);
  for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, height); ++y)
    for (int x = std::max<int>(area.left, 0); x < std::min<int>(area.right, width); ++x)
      if (pixels[size_t(y) * width + x] == colour) ++count;
  return count;
}

struct TBottomCase {
  const char* Name;
  bool Send;
  bool Screenshot;
  bool Copy;
  bool Link;
  int Height;
};

TEST(BottomAreaHeight, FollowsTheOfferedBoxesAndTheLink) {
  const TBottomCase cases[] = {
      {"nothing", false, false, false, false, 0},       {"send only", true, false, false, false, 20},
      {"copy only", false, false, true, false, 20},     {"link only", false, false, false, true, 20},
      {"send and screenshot", true, true, false, false, 34}, {"copy and link", false, false, true, true, 34},
      {"send and copy", true, false, true, false, 20},
  };
  for (const TBottomCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(BottomAreaHeightFor(c.Send, c.Screenshot, c.Copy, c.Link), c.Height);
  }
}

// Each condition set on the options, and what the dialog shows of it.
TEST_F(ExceptionDialogTest, BottomAreaShowsWhatIsOffered) {
  const TBottomCase cases[] = {
      {"nothing", false, false, false, false, 0},
      {"copy only", false, false, true, false, 20},
      {"send and screenshot", true, true, false, false, 34},
      {"copy and link", false, false, true, true, 34},
  };
  for (const TBottomCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Options().SetMailMode(c.Send ? 1 : 0);
    Options().SetSendFlags(c.Screenshot ? 0x10 : 0);
    Options().SetDialogFlags(c.Copy ? 0x08 : 0);
    Options().SetSupportAddress(c.Link ? "http://127.0.0.1/support" : "  ");
    TDialogRun run;
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(DialogState().BottomAreaHeight, c.Height);
    EXPECT_EQ(Shown(dialog, kIdSendBox), c.Send);
    EXPECT_EQ(Shown(dialog, kIdScreenshotBox), c.Screenshot);
    EXPECT_EQ(Shown(dialog, kIdCopyBox), c.Copy);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(ChildRect(dialog, kIdOk).top, client.bottom - c.Height - 32);
    int width = 0, height = 0;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const std::vector<COLORREF> pixels = CaptureWindow(dialog, std::string("dialog-bottom-") + c.Name, width, height);
    const RECT bottom = {0, client.bottom - c.Height - 4, width, height};
    EXPECT_EQ(CountColour(pixels, width, bottom, RGB(0, 0, 128)) > 0, c.Link);
    PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
    ASSERT_TRUE(run.Finish());
    EXPECT_TRUE(run.Result);
  }
}

TEST_F(ExceptionDialogTest, CompactWidthWrapsAt640AndNeverGoesBelow250) {
  struct TCase {
    std::string Message;
    int Width;  // exact, or 0 for "at least 250"
  } cases[] = {{std::string(400, 'W'), 640}, {"x", 0}};
  for (const TCase& c : cases) {
    ProcessingState().LastExceptionMessage = c.Message;
    // The last line (the boxes' texts) must not be what sets the width.
    Options().SetTextAt(18, "");
    Options().SetTextAt(20, "");
    TDialogRun run;
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    RECT window;
    GetWindowRect(dialog, &window);
    if (c.Width)
      EXPECT_EQ(window.right - window.left, c.Width);
    else
      EXPECT_GE(window.right - window.left, 250);
    EXPECT_EQ(ChildText(dialog, kIdMessage), c.Message);
    EXPECT_FALSE(Shown(dialog, kIdTabs));
    int width = 0, height = 0;
    CaptureWholeWindow(dialog, c.Width ? "dialog-compact-long" : "dialog-compact", width, height);
    PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
    ASSERT_TRUE(run.Finish());
  }
}

TEST_F(ExceptionDialogTest, MaximisedStateReopensMaximisedAndKeepsTheStoredSize) {
  IniWrite(kSettingsFileName, "Coordinates", "Width", "700");
  IniWrite(kSettingsFileName, "Coordinates", "Height", "400");
  IniWrite(kSettingsFileName, "Coordinates", "WindowsState", "3");
  Options().SetDialogFlags(0x20);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsZoomed(dialog));
  EXPECT_TRUE(Shown(dialog, kIdTabs));
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  ASSERT_TRUE(GetWindowPlacement(dialog, &placement));
  EXPECT_EQ(placement.rcNormalPosition.right - placement.rcNormalPosition.left, 700);
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(Coordinate("Width"), "700");
  EXPECT_EQ(Coordinate("Height"), "400");
}

TEST_F(ExceptionDialogTest, UnusableShowStatesOpenNormally) {
  for (const char* state : {"0", "maximised", "7"}) {
    SCOPED_TRACE(state);
    IniWrite(kSettingsFileName, "Coordinates", "WindowsState", state);
    IniWrite(kSettingsFileName, "Coordinates", "Width", "wide");
    Options().SetDialogFlags(0x20);
    TDialogRun run;
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsZoomed(dialog));
    EXPECT_FALSE(IsIconic(dialog));
    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.right - window.left, 745);
    PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(Coordinate("WindowsState"), "1");
  }
}

TEST_F(ExceptionDialogTest, GeometryIsSavedOnDetailsAndOnDestruction) {
  Options().SetDialogFlags(0x20 | 0x10);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  SetWindowPos(dialog, nullptr, 50, 60, 720, 450, SWP_NOZORDER);
  SendMessageA(dialog, WM_COMMAND, kIdDetails, 0);
  EXPECT_EQ(Coordinate("Left"), "50");
  EXPECT_EQ(Coordinate("Top"), "60");
  EXPECT_EQ(Coordinate("Width"), "720");
  EXPECT_EQ(Coordinate("Height"), "450");
  EXPECT_FALSE(Shown(dialog, kIdTabs));
  EXPECT_EQ(ChildText(dialog, kIdMessage), kMessage);
  // Back to the detailed dialog: it comes back where it was saved.
  SendMessageA(dialog, WM_COMMAND, kIdDetails, 0);
  RECT window;
  GetWindowRect(dialog, &window);
  EXPECT_EQ(window.left, 50);
  EXPECT_EQ(window.right - window.left, 720);
  SetWindowPos(dialog, nullptr, 70, 80, 730, 460, SWP_NOZORDER);
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(Coordinate("Left"), "70");
  EXPECT_EQ(Coordinate("Width"), "730");
  EXPECT_EQ(Coordinate("WindowsState"), "1");
}

// The close box, Escape and the auto-close timer all end the dialog as OK.
TEST_F(ExceptionDialogTest, CloseBoxEscapeAndTimerEndItLikeOk) {
  struct TCase {
    const char* Name;
    int AutoClose;
    void (*End)(HWND);
  } cases[] = {
      {"close box", 0, [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"escape", 0, [](HWND d) { PostMessageA(GetDlgItem(d, kIdOk), WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"auto-close", 1, [](HWND) {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Options().SetAutoCloseSeconds(c.AutoClose);
    TDialogRun run;
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    c.End(dialog);
    ASSERT_TRUE(run.Finish());
    EXPECT_TRUE(run.Result);
    EXPECT_FALSE(ProcessingState().CloseRequested);
    EXPECT_EQ(run.Failure, "");
  }
}

TEST_F(ExceptionDialogTest, KeysKeepTheAutoCloseTimerFromEnding) {
  Options().SetAutoCloseSeconds(2);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  // Keys go to the focused button, never to the dialog procedure.
  HWND button = GetDlgItem(dialog, kIdOk);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 4000) {
    PostMessageA(button, WM_KEYDOWN, VK_SHIFT, 0);
    PostMessageA(button, WM_KEYUP, VK_SHIFT, 0);
    EXPECT_FALSE(run.Finish(500));
  }
  EXPECT_FALSE(run.Ended());
  // Without keys it ends at the second tick after the last one.
  ASSERT_TRUE(run.Finish(10000));
}

TEST_F(ExceptionDialogTest, CloseButtonShowsByErrorCountAndRequestsTheClose) {
  struct TCase {
    int Errors;
    int After;
    uint8_t Action;
    bool Shown;
    const char* Text;
  } cases[] = {{2, 1, 0, true, "&Terminate"}, {2, 1, 1, true, "&Restart"}, {1, 1, 0, false, "&Terminate"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    Options().SetShowCloseButton(true);
    Options().SetCloseButtonAfter(c.After);
    Options().SetCloseAction(c.Action);
    ProcessingState().ErrorCount = c.Errors;
    ProcessingState().CloseRequested = false;
    TDialogRun run;
    HWND dialog = run.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Shown(dialog, kIdClose), c.Shown);
    EXPECT_EQ(ChildText(dialog, kIdClose), c.Text);
    SendMessageA(GetDlgItem(dialog, c.Shown ? kIdClose : kIdOk), BM_CLICK, 0, 0);
    ASSERT_TRUE(run.Finish());
    EXPECT_EQ(ProcessingState().CloseRequested, c.Shown);
  }
}

int TerminateNotices = 0;

TEST_F(ExceptionDialogTest, AHandlerThatClearsTheCloseBringsTheDialogBack) {
  Options().SetShowCloseButton(true);
  ProcessingState().ErrorCount = 5;
  TerminateNotices = 0;
  OnActionNotify = [](TVezavuExceptionRecord*, uint8_t action, bool& flag) {
    if (action == 8 && ++TerminateNotices == 1) flag = false;
  };
  TDialogRun run;
  HWND first = run.Dialog();
  ASSERT_NE(first, nullptr);
  SendMessageA(GetDlgItem(first, kIdClose), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return FindExceptionDialog() != nullptr && FindExceptionDialog() != first; }, kBound));
  HWND second = run.Dialog();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(ProcessingState().CloseRequested);
  SendMessageA(GetDlgItem(second, kIdClose), BM_CLICK, 0, 0);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(TerminateNotices, 2);
  EXPECT_TRUE(ProcessingState().CloseRequested);
}

TEST_F(ExceptionDialogTest, ScreenshotBoxIsEnabledWhileSendIsChecked) {
  Options().SetMailMode(1);
  Options().SetSendFlags(0x10);
  Options().SetDialogFlags(0x02 | 0x04);
  ProcessingState().SendChecked = true;
  ScreenshotChecked = true;
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(IsDlgButtonChecked(dialog, kIdSendBox), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kIdScreenshotBox)));
  SendMessageA(GetDlgItem(dialog, kIdSendBox), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kIdScreenshotBox)));
  SendMessageA(GetDlgItem(dialog, kIdSendBox), BM_CLICK, 0, 0);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kIdScreenshotBox)));
  SendMessageA(GetDlgItem(dialog, kIdScreenshotBox), BM_CLICK, 0, 0);
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  EXPECT_TRUE(ProcessingState().SendChecked);
  EXPECT_FALSE(ScreenshotChecked);
  EXPECT_FALSE(ProcessingState().CopyChecked);
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeTopWindow(const char* caption, int x) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = PlainProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "BrxDialogTestWindow";
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_APPWINDOW, "BrxDialogTestWindow", caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x,
                                40, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  PumpPending();
  return window;
}

TEST_F(ExceptionDialogTest, KeepsInFrontOfTheProgramsEarlierWindowsOnly) {
  HWND earlier = MakeTopWindow("Earlier window", 20);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, kBound));

  SetForegroundWindow(earlier);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, kBound));
  // Gone before the next window comes, so that no late focus change of the
  // window system can bring it to the front again.
  DestroyWindow(earlier);
  earlier = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, kBound));

  HWND later = MakeTopWindow("Later window", 400);
  SetForegroundWindow(later);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == later; }, kBound));
  // The timer's rule, run while the later window is known to be in front:
  // other programs' windows that come and go meanwhile may hand the front
  // to the top-most dialog by themselves.
  for (int tick = 0; tick < 5; ++tick) {
    SendMessageA(dialog, WM_TIMER, kKeepInFrontTimer, 0);
    EXPECT_NE(GetForegroundWindow(), dialog) << tick;
  }

  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  DestroyWindow(later);
}

TEST_F(ExceptionDialogTest, OwnLookPaintsItsCaptionAndFrame) {
  Options().SetDialogFlags(0x80);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, kBound));
  const int fx = GetSystemMetrics(SM_CXSIZEFRAME) - 1;
  const int fy = GetSystemMetrics(SM_CYSIZEFRAME) - 1;
  struct TLook {
    const char* Name;
    COLORREF Outer;
    COLORREF FirstRows;
    COLORREF NextRows;
  };
  const TLook active = {"dialog-own-look-active", RGB(64, 64, 64), RGB(125, 149, 186), RGB(120, 143, 179)};
  const TLook inactive = {"dialog-own-look-inactive", RGB(48, 48, 48), RGB(145, 145, 145), RGB(139, 139, 139)};
  auto check = [&](const TLook& look) {
    SCOPED_TRACE(look.Name);
    RedrawWindow(dialog, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    // The dialog's thread has painted once it answers.
    SendMessageA(dialog, WM_NULL, 0, 0);
    int width = 0, height = 0;
    const std::vector<COLORREF> pixels = CaptureWholeWindow(dialog, look.Name, width, height);
    ASSERT_GT(width, 100);
    auto at = [&](int x, int y) { return pixels[size_t(y) * width + x]; };
    EXPECT_EQ(at(0, height / 2), look.Outer);
    EXPECT_EQ(at(width / 2, 0), look.Outer);
    // Away from the text, at the caption's right end.
    const int x = width - fx - 8;
    EXPECT_EQ(at(x, fy + 1), look.FirstRows);
    EXPECT_EQ(at(x, fy + 2), look.FirstRows);
    EXPECT_EQ(at(x, fy + 3), look.NextRows);
    EXPECT_EQ(at(x, fy + 4), look.NextRows);
    // Through the window's own device context as well.
    HDC dc = GetWindowDC(dialog);
    EXPECT_EQ(GetPixel(dc, 0, height / 2), look.Outer);
    EXPECT_EQ(GetPixel(dc, x, fy + 1), look.FirstRows);
    ReleaseDC(dialog, dc);
  };
  check(active);
  // Opened after the dialog, so that keeping in front leaves it there.
  HWND other = MakeTopWindow("Other window", 500);
  SetForegroundWindow(other);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == other; }, kBound));
  check(inactive);
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  DestroyWindow(other);
}

TEST_F(ExceptionDialogTest, WithoutTemplatesTheMessageBoxAndTheWarningStandIn) {
  // A module that holds no dialog templates.
  SetDialogResourceModule(GetModuleHandleA("kernel32.dll"));
  Boxes.SpareNone();
  TDialogRun run;
  ASSERT_TRUE(run.Finish());
  EXPECT_FALSE(run.Result);
  EXPECT_EQ(LastWarning().Message, "Cannot show the DialogBox window.");
  const std::vector<std::wstring> boxes = Boxes.TakeDismissed();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], L"Error.: A test error that the dialog shows");

  // Outside NT there is no box, only the warning.
  ClearWarning();
  DialogState().PlatformId = VER_PLATFORM_WIN32_WINDOWS;
  TDialogRun other;
  ASSERT_TRUE(other.Finish());
  EXPECT_EQ(LastWarning().Message, "Cannot show the DialogBox window.");
  EXPECT_TRUE(Boxes.TakeDismissed().empty());
  SetDialogResourceModule(GetModuleHandleA(nullptr));
}

TEST(DialogFonts, FollowTheCharsetOfTheAnsiCodePage) {
  const char* expected = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = expected && std::string(expected) == "zh_CN";
  const TDialogFontChoice choice = DialogFontChoice(DefaultAnsiCharSet());
  EXPECT_EQ(choice.Points, chinese ? 10 : 8);
  EXPECT_EQ(choice.FixedFace, chinese ? "Courier New" : "Lucida Console");
  CreateDialogFonts(nullptr);
  LOGFONTA fixed = {};
  ASSERT_TRUE(GetObjectA(DialogState().Fonts.Fixed, sizeof(fixed), &fixed));
  EXPECT_EQ(std::string(fixed.lfFaceName), choice.FixedFace);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(fixed.lfHeight, -MulDiv(choice.Points, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
  EXPECT_NE(DialogState().Fonts.Caption, nullptr);
  EXPECT_NE(DialogState().Fonts.Link, nullptr);
  FreeDialogFonts();
  EXPECT_EQ(DialogState().Fonts.Fixed, nullptr);
}

TEST_F(ExceptionDialogTest, SupportLinkOpensTheAddressMaximised) {
  const std::wstring probe = brx_test::TestModulePath(L"brx_support_page_probe.exe");
  const std::string narrow(probe.begin(), probe.end());
  const std::string record = narrow.substr(0, narrow.find_last_of('\\')) + "\\support-page.txt";
  DeleteFileA(record.c_str());
  Options().SetSupportAddress(narrow);
  Options().SetDialogFlags(0x40);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  const RECT link = DialogState().LinkRect;
  POINT centre = {(link.left + link.right) / 2, (link.top + link.bottom) / 2};
  const LPARAM inside = MAKELPARAM(centre.x, centre.y);
  // The real pointer too, so that a move it reports meanwhile keeps the
  // hover.
  ClientToScreen(dialog, &centre);
  SetCursorPos(centre.x, centre.y);
  SendMessageA(dialog, WM_MOUSEMOVE, 0, inside);
  EXPECT_TRUE(DialogState().LinkHovered);
  SendMessageA(dialog, WM_LBUTTONUP, 0, inside);
  EXPECT_FALSE(DialogState().TopMost);
  EXPECT_FALSE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  std::string written;
  EXPECT_TRUE(PumpUntil(
      [&] {
        std::ifstream in(record);
        std::getline(in, written);
        return !written.empty();
      },
      kBound));
  EXPECT_EQ(written, "show=3");
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  DeleteFileA(record.c_str());
}

// A fault inside the dialog's procedures ends it and reaches the caller
// after the dialog has closed, not through the dialog manager.
TEST_F(ExceptionDialogTest, AFaultInsideEndsTheDialogAndIsRaisedAfterwards) {
  LibraryState().Options.reset();
  TDialogRun run;
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(run.Failure, "The exception dialog has no options.");
  EXPECT_EQ(FindExceptionDialog(), nullptr);
  LibraryState().Options = std::make_unique<TVezavuModuleOptionsEx>(false, "");
}

}  // namespace

namespace {

HWND FindModuleDialog(DWORD process) {
  struct TSearch {
    DWORD Process;
    HWND Found;
  } search = {process, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->Process && IsWindowVisible(window) && GetDlgItem(window, RevavaRez::kIdTabs)) {
          s->Found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// The library's own dialog in an active windowed program, in place of the
// processing's stand-in: the copy box puts the report on the clipboard, the
// report goes to the log, and the send box decides the send.
TEST(ExceptionDialogEndToEnd, TheWindowedProgramShowsItAndFollowsItsBoxes) {
  struct TCase {
    const char* Name;
    bool UntickSend;
    const char* Expected;
  } cases[] = {
      {"send kept", false, "result=0 dialog=0 log=1 sent=1 clipboard=1 send-box=1 boxes=0"},
      {"send unticked", true, "result=0 dialog=0 log=1 sent=0 clipboard=1 send-box=0 boxes=0"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    brx_test::TTempFolder folder(L"dialog end to end");
    brx_test::TOptionsImage image;
    for (int i = 0; i < RevavaRez::kTextCount; ++i) image.Texts[static_cast<size_t>(i)] = RevavaRez::TextAt(i);
    image.MailMode = 1;
    const std::wstring exe = folder.Path() + L"\\brx_test_module_windowed.exe";
    ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"brx_test_module_windowed.exe"), exe));
    brx_test::TDataBlock block;
    block.Options = brx_test::OptionsStream(image, block.Version);
    ASSERT_TRUE(brx_test::AppendToFile(exe, brx_test::TrailerBlock(block)));

    brx_test::TStartedModule module(exe, L"process real-dialog");
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (dialog = FindModuleDialog(module.ProcessId())) != nullptr; }, 30000));
    EXPECT_EQ(IsDlgButtonChecked(dialog, RevavaRez::kIdSendBox), BST_CHECKED);
    SendMessageA(GetDlgItem(dialog, RevavaRez::kIdCopyBox), BM_CLICK, 0, 0);
    if (c.UntickSend) SendMessageA(GetDlgItem(dialog, RevavaRez::kIdSendBox), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dialog, RevavaRez::kIdOk), BM_CLICK, 0, 0);
    const brx_test::TModuleRun run = module.Finish();
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Report, c.Expected);
  }
}

}  // namespace

namespace {

using namespace RevavaRez;

// The detailed dialog with each of its pages, for a person to look at.
TEST_F(ExceptionDialogTest, DetailedDialogShowsEachPage) {
  static TVezavuModuleInfo module;
  module.Handle = GetModuleHandleA(nullptr);
  module.FileName = "C:\\Program Files\\Brindolux\\Brindolux.exe";
  module.Kind = mkProgram;
  TVezavuStackList& stack = *ProcessingState().StoredCallStack;
  for (int i = 0; i < 3; ++i) {
    auto* entry = new TVezavuStackEntry;
    entry->Kind = dkLineTables;
    entry->Module = &module;
    entry->ThreadID = GetCurrentThreadId();
    entry->Address = reinterpret_cast<uintptr_t>(module.Handle) + 0x1000 + 16 * i;
    entry->UnitName = "PlayerUnit";
    entry->ClassName = "TPlayer";
    entry->ProcedureName = "Step" + std::to_string(i);
    entry->Line = 100 + i;
    stack.Add(entry);
  }
  Modules().Refresh();
  ProcessingState().CpuText = "Registers:\r\n-----------------------------\r\n";
  ProcessingState().CustomDataText = "Custom line one\r\nCustom line two";
  Options().SetDialogFlags(0x20 | 0x10);
  Options().SetLogFlags(0x30);
  TDialogRun run;
  HWND dialog = run.Dialog();
  ASSERT_NE(dialog, nullptr);
  HWND tabs = GetDlgItem(dialog, kIdTabs);
  ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 5);
  const char* names[] = {"general", "call-stack", "modules", "cpu", "other"};
  for (int tab = 0; tab < 5; ++tab) {
    SCOPED_TRACE(names[tab]);
    SendMessageA(tabs, TCM_SETCURSEL, tab, 0);
    NMHDR change = {tabs, static_cast<UINT_PTR>(kIdTabs), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(dialog, WM_NOTIFY, kIdTabs, reinterpret_cast<LPARAM>(&change));
    HWND page = DialogState().CurrentPage;
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_EQ(GetParent(page), tabs);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    int width = 0, height = 0;
    CaptureWholeWindow(dialog, std::string("dialog-detailed-") + names[tab], width, height);
  }
  PostMessageA(dialog, WM_COMMAND, kIdOk, 0);
  ASSERT_TRUE(run.Finish());
  EXPECT_EQ(DialogState().CurrentPage, nullptr);
}

}  // namespace
