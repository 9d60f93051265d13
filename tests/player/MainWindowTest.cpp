// The main window in this process, hosting the registered control: texts,
// seek bar and time label, caption, Control menu checks, recent files and
// error boxes.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BrindoluxTLB.h"
#include "MessageBoxWatchdog.h"
#include "PlayerTestSupport.h"
#include "PumpUntil.h"
#include "Resource.h"
#include "frmMain.h"
#include "frmURL.h"

namespace {

constexpr DWORD WaitMs = 15000;
const std::wstring Idle = L"  00:00:00 / 00:00:00  ";

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring MenuText(HMENU menu, UINT item, UINT flags = MF_BYCOMMAND) {
  wchar_t text[256] = {};
  GetMenuStringW(menu, item, text, 256, flags);
  return text;
}

// The first window of the class anywhere below Parent.
HWND FindChild(HWND Parent, const wchar_t* Kind) {
  for (HWND child = FindWindowExW(Parent, nullptr, nullptr, nullptr); child;
       child = FindWindowExW(Parent, child, nullptr, nullptr)) {
    wchar_t kind[64] = {};
    GetClassNameW(child, kind, 64);
    if (std::wstring(kind) == Kind) return child;
    if (HWND below = FindChild(child, Kind)) return below;
  }
  return nullptr;
}

// What the window shows at the points of its client area, read back from
// its own DC.
std::vector<COLORREF> WindowPixels(HWND Window, const std::vector<POINT>& Points) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels = CaptureWindow(Window, false, width, height);
  std::vector<COLORREF> colours;
  for (const POINT& p : Points) {
    const bool inside = p.x >= 0 && p.y >= 0 && p.x < width && p.y < height;
    const uint32_t pixel = inside ? pixels[size_t(p.y) * width + p.x] : 0xFFFFFFFF;
    colours.push_back(inside ? RGB(pixel >> 16, (pixel >> 8) & 0xFF, pixel & 0xFF) : CLR_INVALID);
  }
  return colours;
}

bool Checked(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

class MainWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    Registered = RegisterControl();
  }
  static void TearDownTestSuite() { OleUninitialize(); }

  void SetUp() override {
    ASSERT_TRUE(Registered) << "Brindolux.ocx could not be registered";
    DeleteStoredRecentFiles();
    FURL = std::make_unique<TfrmURL>(GetModuleHandleW(nullptr));
    FForm = std::make_unique<TfrmMain>(GetModuleHandleW(nullptr), *FURL);
    ASSERT_NO_THROW(FForm->Create());
    FForm->Show(SW_SHOWNORMAL, FCommandLine);
  }
  void TearDown() override {
    if (FForm && FForm->Handle()) SendMessageW(FForm->Handle(), WM_CLOSE, 0, 0);
    FForm.reset();
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    if (FWatchdog) {
      EXPECT_EQ(FWatchdog->TakeDismissed(), std::vector<std::wstring>()) << "unexpected message boxes";
    }
    DeleteStoredRecentFiles();
  }

  void Refresh() { SendMessageW(FForm->Handle(), WM_TIMER, 1, 0); }
  void Scroll(int code, int position = 0) {
    SendMessageW(FForm->Panel(), WM_HSCROLL, MAKEWPARAM(code, position),
                 reinterpret_cast<LPARAM>(FForm->SeekBar()));
  }
  int BarPosition() { return GetScrollPos(FForm->SeekBar(), SB_CTL); }
  int Status() { return FForm->ReadInteger(TfrmMain::DispidStatus); }
  bool WaitForStatus(int status) {
    return PumpUntil([&] { return Status() == status; }, WaitMs);
  }
  void OpenControlMenu() {
    SendMessageW(FForm->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(FForm->ControlMenu()), 1);
  }
  void Command(UINT id) { SendMessageW(FForm->Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  // Runs "Open URL"; once the dialog is up (a timer of this thread fires in
  // its modal loop) notes its texts, types Typed if given and presses Button.
  struct DialogVisit {
    std::wstring Caption, Label, Edit;
  };
  DialogVisit AnswerURLDialog(int Button, const std::wstring& Typed = L"") {
    static MainWindow* self;
    static DialogVisit visit;
    static int button;
    static std::wstring typed;
    self = this;
    visit = DialogVisit();
    button = Button;
    typed = Typed;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) CALLBACK {
      HWND dialog = self->FURL->Handle();
      if (!dialog) return;
      KillTimer(nullptr, id);
      visit.Caption = Text(dialog);
      visit.Label = Text(GetDlgItem(dialog, IDC_LABURL));
      visit.Edit = Text(GetDlgItem(dialog, IDC_EDTURL));
      if (!typed.empty()) SetDlgItemTextW(dialog, IDC_EDTURL, typed.c_str());
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    });
    Command(IDM_OPENURL);
    KillTimer(nullptr, timer);
    return visit;
  }

  static inline bool Registered = false;
  // What the program's command line names, handed to Show.
  std::wstring FCommandLine;
  // Closes any box a test did not ask for; tests that answer dialogs
  // themselves end it first.
  std::unique_ptr<TMessageBoxWatchdog> FWatchdog = std::make_unique<TMessageBoxWatchdog>();
  std::unique_ptr<TfrmURL> FURL;
  std::unique_ptr<TfrmMain> FForm;
};

TEST_F(MainWindow, TextsFollowTheSystemLanguage) {
  const char* expect = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = expect && std::string(expect) == "zh_CN";
  HMENU bar = GetMenu(FForm->Handle());
  EXPECT_EQ(Text(FForm->Handle()), L"Brindolux");
  EXPECT_EQ(Text(FForm->TimeLabel()), Idle);
  EXPECT_EQ(MenuText(bar, 0, MF_BYPOSITION), chinese ? L"文件" : L"File");
  EXPECT_EQ(MenuText(bar, 1, MF_BYPOSITION), chinese ? L"控制" : L"Control");
  struct Item {
    UINT Id;
    const wchar_t* English;
    const wchar_t* Chinese;
  };
  const Item items[] = {
      {IDM_OPENFILE, L"Open File\tCtrl+O", L"打开文件...\tCtrl+O"},
      {IDM_OPENURL, L"Open URL", L"打开 URL..."},
      {IDM_CLOSE, L"Close\tCtrl+C", L"关闭...\tCtrl+C"},
      {IDM_EXIT, L"Exit\tCtrl+X", L"退出\tCtrl+X"},
      {IDM_PLAY, L"Play\tCtrl+P", L"播放\tCtrl+P"},
      {IDM_PAUSE, L"Pause\tCtrl+Z", L"暂停\tCtrl+Z"},
      {IDM_STOP, L"Stop\tCtrl+S", L"停止\tCtrl+S"},
      {IDM_SCANFORWARD, L"Forward\tCtrl+F", L"快进\tCtrl+F"},
  };
  for (const auto& item : items) EXPECT_EQ(MenuText(bar, item.Id), chinese ? item.Chinese : item.English);
  // The open-URL dialog: its texts, and the text of its previous use; a
  // cancel opens nothing.
  FWatchdog.reset();
  FURL->SetText(L"http://127.0.0.1/previous.krm");
  DialogVisit visit = AnswerURLDialog(IDCANCEL, L"http://typed");
  EXPECT_EQ(visit.Caption, chinese ? L"打开" : L"Open URL");
  EXPECT_EQ(visit.Label, chinese ? L"输入URL：" : L"Input URL:");
  EXPECT_EQ(visit.Edit, L"http://127.0.0.1/previous.krm");
  EXPECT_EQ(Status(), bxClosed);
  EXPECT_EQ(AnswerURLDialog(IDCANCEL).Edit, L"http://typed");
}

TEST_F(MainWindow, WithNothingOpenTheBarStaysAtZero) {
  Refresh();
  EXPECT_EQ(BarPosition(), 0);
  EXPECT_EQ(Text(FForm->TimeLabel()), Idle);
  Scroll(SB_THUMBTRACK, 50);
  EXPECT_TRUE(FForm->Dragging());
  EXPECT_EQ(Text(FForm->TimeLabel()), Idle);  // 50 % of nothing
  Scroll(SB_ENDSCROLL);
  EXPECT_FALSE(FForm->Dragging());
  Refresh();
  EXPECT_EQ(BarPosition(), 0);  // duration 0: MulDiv gives -1, the bar keeps to 0
  EXPECT_EQ(Text(FForm->TimeLabel()), Idle);
}

TEST_F(MainWindow, DraggingTheThumbPreviewsAndReleasingSeeks) {
  const std::wstring path = WriteRecording(L"an hour.krm", 3600000, 600000);
  FForm->OpenMedia(path);
  ASSERT_TRUE(WaitForStatus(bxPlaying));
  Refresh();
  EXPECT_EQ(BarPosition(), 0);
  EXPECT_EQ(Text(FForm->TimeLabel()).substr(0, 8), L"  00:00:");
  Scroll(SB_THUMBTRACK, 50);
  EXPECT_EQ(BarPosition(), 50);
  EXPECT_EQ(Text(FForm->TimeLabel()), L"  00:30:00 / 01:00:00  ");
  Refresh();  // while dragging, the timer leaves bar and label alone
  EXPECT_EQ(Text(FForm->TimeLabel()), L"  00:30:00 / 01:00:00  ");
  EXPECT_LT(FForm->ReadInteger(TfrmMain::DispidCurrentPosition), 1800000);
  Scroll(SB_ENDSCROLL);
  ASSERT_TRUE(
      PumpUntil([&] { return FForm->ReadInteger(TfrmMain::DispidCurrentPosition) >= 1800000; }, WaitMs));
  EXPECT_LT(FForm->ReadInteger(TfrmMain::DispidCurrentPosition), 1800000 + 60000);
  Refresh();
  EXPECT_EQ(BarPosition(), 50);
  EXPECT_EQ(Text(FForm->TimeLabel()).substr(0, 8), L"  00:30:");
}

TEST_F(MainWindow, StateChangesSetCaptionChecksAndRecentFiles) {
  const std::wstring first = WriteRecording(L"first.krm", 60000, 10000);
  const std::wstring second = WriteRecording(L"second.krm", 60000, 10000);
  FForm->OpenMedia(first);
  ASSERT_TRUE(WaitForStatus(bxPlaying));
  EXPECT_EQ(Text(FForm->Handle()), L"Brindolux - " + first);
  HMENU control = FForm->ControlMenu();
  OpenControlMenu();
  EXPECT_TRUE(Checked(control, IDM_PLAY));
  Command(IDM_PAUSE);
  ASSERT_EQ(Status(), bxPaused);
  OpenControlMenu();
  EXPECT_TRUE(Checked(control, IDM_PAUSE));
  EXPECT_FALSE(Checked(control, IDM_PLAY));
  Command(IDM_SCANFORWARD);
  OpenControlMenu();
  EXPECT_TRUE(Checked(control, IDM_SCANFORWARD));
  EXPECT_FALSE(Checked(control, IDM_PAUSE));
  Command(IDM_CLOSE);
  EXPECT_EQ(Status(), bxClosed);
  EXPECT_EQ(Text(FForm->Handle()), L"Brindolux");
  OpenControlMenu();  // closed: the previous check stays
  EXPECT_TRUE(Checked(control, IDM_SCANFORWARD));

  FForm->OpenMedia(second);
  ASSERT_TRUE(WaitForStatus(bxPlaying));
  TMRUFileList& mru = *FForm->RecentFiles();
  ASSERT_EQ(mru.Items(), (std::vector<std::wstring>{second, first}));
  // Entry 2 opens the first recording again and moves it to the top.
  HMENU file = GetSubMenu(GetMenu(FForm->Handle()), 0);
  EXPECT_EQ(MenuText(file, IDM_MRU_FIRST + 1).substr(0, 3), L"&2 ");
  Command(IDM_MRU_FIRST + 1);
  ASSERT_TRUE(PumpUntil([&] { return Text(FForm->Handle()) == L"Brindolux - " + first; }, WaitMs));
  EXPECT_EQ(mru.Items(), (std::vector<std::wstring>{first, second}));
  // Closing the window saves the list.
  SendMessageW(FForm->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(StoredRecentFile(0), first);
  EXPECT_EQ(StoredRecentFile(1), second);
}

TEST_F(MainWindow, AFailingCallShowsTheControlsErrorDescription) {
  // A channel file that cannot be fetched: Open fails at once.
  const std::wstring url = L"http://127.0.0.1:1/missing.sms";
  std::wstring description;
  {
    TComPtr<IBrindolux> other;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_BrindoluxCtrl, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBrindolux, other.ReceiveVoid()));
    BSTR name = SysAllocString(url.c_str());
    EXPECT_HRESULT_FAILED(other->Open(name));
    SysFreeString(name);
    TComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.Receive()), S_OK);
    BSTR text = nullptr;
    info->GetDescription(&text);
    description = text ? text : L"";
    SysFreeString(text);
    other->Close();
  }
  ASSERT_FALSE(description.empty());
  if (description.back() > L'.') description += L'.';
  // "Open URL" confirmed with the text of its previous use; the failure
  // then comes in a box of this thread, answered by a timer in its loop.
  FWatchdog.reset();
  static std::wstring box;
  box.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) CALLBACK {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) CALLBACK -> BOOL {
          wchar_t kind[16] = {};
          GetClassNameW(window, kind, 16);
          if (std::wstring(kind) != L"#32770" || GetDlgItem(window, IDC_EDTURL)) return TRUE;
          box = Text(window) + L": " + Text(GetDlgItem(window, 0xFFFF));
          PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          return FALSE;
        },
        0);
  });
  FURL->SetText(url);
  EXPECT_EQ(AnswerURLDialog(IDOK).Edit, url);
  KillTimer(nullptr, timer);
  EXPECT_EQ(box, L"Brindolux: " + description);
}

// The program as main() starts it with a recording on its command line.
class MainWindowStarted : public MainWindow {
 protected:
  // One key frame, held for the whole recording, in a colour unlike the
  // control's black frame: whenever the picture shows, it shows this.
  MainWindowStarted() { FCommandLine = WriteRecording(L"one picture.krm", 8000, 8000); }
  const COLORREF KeyFrame = RGB(200, 128, 0);
};

TEST_F(MainWindowStarted, ShowsTheKeyFrameInTheHostedControl) {
  HWND control = nullptr, picture = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        control = FindChild(FForm->Handle(), L"TBrindoluxCtrl");
        picture = control ? FindChild(control, L"TBrindoluxPicture") : nullptr;
        return picture && IsWindowVisible(picture);
      },
      WaitMs));
  // Where the picture sits in the control's window.
  RECT r{};
  GetWindowRect(picture, &r);
  MapWindowPoints(nullptr, control, reinterpret_cast<POINT*>(&r), 2);
  ASSERT_GT(r.right - r.left, 4);
  ASSERT_GT(r.bottom - r.top, 4);
  // Its middle and its four corners, just inside its edges, in the
  // control's window as the screen shows it.
  const std::vector<POINT> points{{(r.left + r.right) / 2, (r.top + r.bottom) / 2},
                                  {r.left + 1, r.top + 1},
                                  {r.right - 2, r.top + 1},
                                  {r.left + 1, r.bottom - 2},
                                  {r.right - 2, r.bottom - 2}};
  const std::vector<COLORREF> expected(points.size(), KeyFrame);
  std::vector<COLORREF> seen;
  EXPECT_TRUE(PumpUntil(
      [&] {
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        seen = WindowPixels(control, points);
        return seen == expected;
      },
      WaitMs))
      << std::hex << "middle 0x" << seen[0] << ", corners 0x" << seen[1] << " 0x" << seen[2] << " 0x"
      << seen[3] << " 0x" << seen[4];
  // The small picture is centred: left of it the control's frame is black.
  ASSERT_GT(r.left, 1);
  EXPECT_EQ(WindowPixels(control, {{r.left - 2, (r.top + r.bottom) / 2}})[0], RGB(0, 0, 0));
}

// Not a check of its own: a picture of the program playing the demo, for
// people, under artifacts\.
TEST_F(MainWindow, ScreenshotOfTheDemo) {
  const std::wstring demo = MakeDemoRecording();
  ASSERT_FALSE(demo.empty());
  FForm->OpenMedia(demo);
  // Some seconds in, a few lines are typed.
  ASSERT_TRUE(PumpUntil([&] { return FForm->ReadInteger(TfrmMain::DispidCurrentPosition) >= 9000; }, WaitMs));
  Refresh();
  RedrawWindow(FForm->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  EXPECT_TRUE(SaveWindowScreenshot(FForm->Handle(), L"player-demo.png"));
}

}  // namespace
