// The full-screen window on the real display: its place on the monitor, the
// picture at 1:1 and scaled down, the hint, the ways out (Esc, F7, another
// window taking the focus, the control closing) and the refused close
// requests, and on a live broadcast the keys and clicks that reach the
// server as requests. Input comes from SendInput, as a person's would; the
// focus and the foreground window belong to the whole display, so the
// program runs alone. A screenshot goes to artifacts/.
// clang-format off
// Winsock before anything that includes windows.h.
#include "LivePeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "ControlMessages.h"
#include "KrmWriter.h"
#include "PumpUntil.h"
#include "SendingEvents.h"
#include "picture/RemoteInput.h"
#include "WindowShot.h"
#include "picture/frmFullScreen.h"

namespace {

constexpr DWORD kWaitMs = 10000;

const COLORREF kQuadrant[4] = {RGB(220, 0, 0), RGB(0, 200, 0), RGB(0, 0, 230), RGB(255, 255, 0)};

TestPicture FourColours(int width, int height) {
  TestPicture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const COLORREF c = kQuadrant[(y >= height / 2) * 2 + (x >= width / 2)];
      picture.SetPixel(x, y, GetBValue(c), GetGValue(c), GetRValue(c));
    }
  return picture;
}

// Plays for a minute: the play thread stays, so every repaint is drawn.
std::string FourColourRecording(uint16_t width, uint16_t height) {
  KrmWriter writer(width, height);
  writer.SetDuration(60000);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(FourColours(width, height)));
  writer.AddMarker(60000);
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string path =
      std::string(folder) + "brx_full_" + std::to_string(width) + "x" + std::to_string(height) + ".krm";
  writer.SaveToFile(path);
  return path;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof(in));
}

void Press(WORD vk) {
  Key(vk, false);
  Key(vk, true);
}

void Button(DWORD down, DWORD up) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = down;
  in[1].mi.dwFlags = up;
  SendInput(2, in, sizeof(INPUT));
}

// One press or one release.
void Button(DWORD flag) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flag;
  SendInput(1, &in, sizeof(INPUT));
}

RECT ScreenRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

// The picture's place on the screen, and its four colours once drawn.
void ExpectPicture(const TfrmFullScreen& Full, int Left, int Top, int Width, int Height) {
  const RECT picture = ScreenRect(Full.imgPic());
  EXPECT_EQ(Left, picture.left);
  EXPECT_EQ(Top, picture.top);
  EXPECT_EQ(Width, picture.right - picture.left);
  EXPECT_EQ(Height, picture.bottom - picture.top);
  ASSERT_TRUE(PumpUntil([&] { return Full.PicturePixel(Width - 1, Height - 1) == kQuadrant[3]; }, kWaitMs));
  EXPECT_EQ(kQuadrant[0], Full.PicturePixel(0, 0));
  EXPECT_EQ(kQuadrant[1], Full.PicturePixel(Width - 1, 0));
  EXPECT_EQ(kQuadrant[2], Full.PicturePixel(0, Height - 1));
  EXPECT_EQ(kQuadrant[0], Full.PicturePixel(Width / 2 - 10, Height / 2 - 10));
  EXPECT_EQ(kQuadrant[3], Full.PicturePixel(Width / 2 + 10, Height / 2 + 10));
}

constexpr UINT WM_HANDLER_PING = WM_APP + 1;
// What the container does when its live handler's message arrives: it runs
// on the control's thread, inside whatever wait let the message through.
std::function<void()> GOnPing;

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_HANDLER_PING) {
    if (GOnPing) GOnPing();
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

class FullScreenTest : public ::testing::Test {
 protected:
  // One host for all: taking a shown top-level window down costs seconds
  // under a display without a window manager. Not topmost: the full-screen
  // window goes over it.
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TFullScreenTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&wc);
    FHost = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 400, 300,
                            nullptr, nullptr, wc.hInstance, nullptr);
  }
  static void TearDownTestSuite() { DestroyWindow(FHost); }

  void SetUp() override {
    ASSERT_NE(nullptr, FHost);
    SetForegroundWindow(FHost);
    FEvents.Host = FHost;
    FEvents.Message = WM_HANDLER_PING;
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    MoveWindow(FCtrl->Handle(), 0, 0, 400, 300, TRUE);
  }
  void TearDown() override {
    GOnPing = nullptr;
    FCtrl.reset();
  }

  void OpenAndPlay(const std::wstring& url) {
    FCtrl->Open(url);
    ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs)) << FCtrl->GetStatus();
  }

  const TfrmFullScreen* Full() const { return FCtrl->FullScreenWindow(); }

  // Enters full screen and waits until the window is in front with the
  // focus, where synthetic input reaches it.
  void EnterFullScreen() {
    FCtrl->SetFullScreen(true);
    ASSERT_NE(nullptr, Full());
    ASSERT_TRUE(PumpUntil([&] { return Full() && GetForegroundWindow() == Full()->Handle(); }, kWaitMs));
    ASSERT_EQ(Full()->Handle(), GetFocus());
  }

  bool WaitUntilLeft() { return PumpUntil([&] { return Full() == nullptr; }, kWaitMs); }

  static HWND FHost;
  TSendingEvents FEvents;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

HWND FullScreenTest::FHost = nullptr;

}  // namespace

// Run again under a Chinese system language, for the hint's text.
TEST_F(FullScreenTest, WindowCoversTheMonitorWithThePictureAndTheHint) {
  OpenAndPlay(Wide(FourColourRecording(640, 480)));
  FCtrl->SetDisplayMode(dmOriginal);
  EnterFullScreen();
  const TfrmFullScreen& full = *Full();
  const LONG style = GetWindowLongW(full.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
  EXPECT_EQ(nullptr, GetWindow(full.Handle(), GW_OWNER));
  wchar_t caption[32] = {};
  GetWindowTextW(full.Handle(), caption, 32);
  EXPECT_EQ(std::wstring(L"全屏幕"), caption);
  const RECT window = ScreenRect(full.Handle());
  EXPECT_EQ(0, window.left);
  EXPECT_EQ(0, window.top);
  EXPECT_EQ(1280, window.right);
  EXPECT_EQ(1024, window.bottom);

  EXPECT_EQ(100, full.Zoom());
  ExpectPicture(full, 320, 272, 640, 480);
  // The frame's picture is left as it was: nothing is drawn there meanwhile.
  EXPECT_TRUE(FCtrl->DetailFrame().PictureVisible());

  const char* lang = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = lang && std::string(lang) == "zh_CN";
  EXPECT_EQ(chinese ? L"按ESC键退出全屏幕模式" : L"Press ESC to Exit Full Screen mode", full.HintText());
  EXPECT_TRUE(full.HintVisible());
  const RECT hint = full.HintRect();
  EXPECT_EQ(0, hint.top);
  EXPECT_GT(hint.right - hint.left, 0);
  EXPECT_EQ((1280 - (hint.right - hint.left)) / 2, hint.left);

  RedrawWindow(full.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpPending();
  int width = 0, height = 0;
  const std::vector<COLORREF> screen =
      CaptureWindow(full.Handle(), chinese ? "fullscreen-zh_CN" : "fullscreen", width, height);
  ASSERT_EQ(1280, width);
  ASSERT_EQ(1024, height);
  EXPECT_EQ(RGB(0, 0, 0), screen[100 * 1280 + 100]);
  EXPECT_EQ(kQuadrant[0], screen[400 * 1280 + 400]);
  EXPECT_EQ(kQuadrant[3], screen[700 * 1280 + 900]);

  EXPECT_TRUE(PumpUntil([&] { return !full.HintVisible(); }, 5000));
}

TEST_F(FullScreenTest, OnlyEscF7OrAnotherWindowLeave) {
  OpenAndPlay(Wide(FourColourRecording(640, 480)));
  FCtrl->SetDisplayMode(dmOriginal);
  FEvents.Modes.clear();
  EnterFullScreen();
  const HWND window = Full()->Handle();

  // Refused: the setter's false, a close request and Alt+F4.
  FCtrl->SetFullScreen(false);
  SendMessageW(window, WM_CLOSE, 0, 0);
  Key(VK_MENU, false);
  Press(VK_F4);
  Key(VK_MENU, true);
  // A keystroke sent after them comes after them: once it has arrived they
  // have all been handled.
  PostMessageW(window, WM_NULL, 0, 0);
  PumpPending();
  ASSERT_TRUE(PumpUntil([&] { return (GetAsyncKeyState(VK_MENU) & 0x8000) == 0; }, kWaitMs));
  PumpPending();
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(Full()->Handle(), window);
  EXPECT_EQ(dmFull, FCtrl->GetDisplayMode());

  struct TWay {
    const char* Name;
    void (*Leave)(HWND Host);
  };
  const TWay ways[] = {
      {"Esc", [](HWND) { Press(VK_ESCAPE); }},
      {"F7", [](HWND) { Press(VK_F7); }},
      {"another window", [](HWND Host) { SetForegroundWindow(Host); }},
  };
  for (const TWay& way : ways) {
    if (!Full()) EnterFullScreen();
    FEvents.Modes.clear();
    way.Leave(FHost);
    // The timer looks every 100 ms; a second is ample.
    EXPECT_TRUE(PumpUntil([&] { return Full() == nullptr; }, way.Name[0] == 'a' ? 1000 : kWaitMs)) << way.Name;
    EXPECT_EQ(dmOriginal, FCtrl->GetDisplayMode()) << way.Name;
    EXPECT_EQ(std::vector<TDisplayMode>{dmOriginal}, FEvents.Modes) << way.Name;
    EXPECT_FALSE(IsWindow(window)) << way.Name;
  }
}

TEST_F(FullScreenTest, LargerRecordingIsScaledToTheMonitor) {
  OpenAndPlay(Wide(FourColourRecording(1600, 1200)));
  EnterFullScreen();
  const TfrmFullScreen& full = *Full();
  EXPECT_EQ(80, full.Zoom());
  // Scaled, not the recording's top-left corner at 1:1.
  ExpectPicture(full, 0, 32, 1280, 960);
}

// The real window leaves full screen whenever another window has the
// focus, so this lives with the other full-screen tests.
TEST_F(FullScreenTest, DoubleClickEntersFullScreenAndLeavingReturns) {
  FCtrl->SetAutoStart(false);
  FCtrl->Open(Wide(FourColourRecording(640, 480)));
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxOpened; }, kWaitMs));
  FCtrl->SetDisplayMode(dmOriginal);
  FCtrl->SetDisplayMode(dmOriginal);  // already set: nothing
  SendMessageW(FCtrl->DetailFrame().imgPic(), WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetDisplayMode() == dmFull; }, kWaitMs));
  EXPECT_TRUE(FCtrl->GetFullScreen());
  EXPECT_NE(nullptr, Full());
  PostMessageW(FCtrl->Handle(), WM_KRM_EXITFULL, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetDisplayMode() == dmOriginal; }, kWaitMs));
  EXPECT_EQ(nullptr, Full());
  PostMessageW(FCtrl->Handle(), WM_KRM_EXITFULL, 0, 0);  // not full screen: nothing
  PumpPending();
  EXPECT_EQ((std::vector<TDisplayMode>{dmOriginal, dmFull, dmOriginal}), FEvents.Modes);
  EXPECT_EQ(dmOriginal, FCtrl->GetDisplayMode());
}

class LiveFullScreenTest : public FullScreenTest {
 protected:
  void SetUp() override {
    FullScreenTest::SetUp();
    KrmRecord key;
    key.Time = 0;
    key.FrameType = FT_KEY;
    key.CompressionType = CT_RAW;
    key.Payload = BmpFileImage(FourColours(640, 480));
    TLivePeer::TScript script;
    script.Packets = {TLivePeer::FramePacket(key)};
    FPeer.SetScript(script);
    // Outside the picture, so nothing moves over it before the test does.
    SetCursorPos(5, 5);
    OpenAndPlay(FPeer.URL("ch"));
  }

  // The texts the control sent, without the live client's own.
  std::vector<std::string> Requests() {
    std::vector<std::string> texts;
    for (const auto& p : FPeer.Received())
      if (p.Text != "NOOP" && p.Text != "Start") texts.push_back(p.Text);
    return texts;
  }
  // A request sent after the others arrives after them.
  std::vector<std::string> RequestsUpTo(const std::string& last) {
    FCtrl->Request(Wide(last));
    EXPECT_TRUE(FPeer.WaitForText(last, 1, kWaitMs));
    std::vector<std::string> texts = Requests();
    if (!texts.empty() && texts.back() == last) texts.pop_back();
    return texts;
  }

  TLivePeer FPeer;
};

TEST_F(LiveFullScreenTest, KeysAndClicksReachTheServerInOrder) {
  EnterFullScreen();
  Press('A');
  SetCursorPos(420, 322);  // (100, 50) of the picture
  Button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Button(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  Button(MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP);
  Button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  Key(VK_MENU, false);
  Press(VK_F4);
  Key(VK_MENU, true);
  Press(VK_F7);
  ASSERT_TRUE(WaitUntilLeft());
  const std::vector<std::string> expected{
      KeyRequest(65, false),         KeyRequest(65, true),          MouseRequest(RemoteMove, 100, 50),
      MouseRequest(2, 100, 50),      MouseRequest(4, 100, 50),      MouseRequest(8, 100, 50),
      MouseRequest(16, 100, 50),     MouseRequest(32, 100, 50),     MouseRequest(64, 100, 50),
      MouseRequest(2, 100, 50),      MouseRequest(4, 100, 50),      MouseRequest(2, 100, 50),
      MouseRequest(4, 100, 50),      KeyRequest(18, false),         KeyRequest(115, false),
      KeyRequest(115, true),         KeyRequest(18, true),          KeyRequest(118, false),
      KeyRequest(118, true),
  };
  EXPECT_EQ(expected, RequestsUpTo("end"));
}

TEST_F(LiveFullScreenTest, EscAloneSendsNothingAndLeaves) {
  EnterFullScreen();
  Press(VK_ESCAPE);
  ASSERT_TRUE(WaitUntilLeft());
  EXPECT_EQ(std::vector<std::string>{}, RequestsUpTo("end"));
}

TEST_F(LiveFullScreenTest, CloseInFullScreenTakesTheWindowAway) {
  EnterFullScreen();
  const HWND window = Full()->Handle();
  FCtrl->Close();
  EXPECT_EQ(nullptr, Full());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  EXPECT_EQ(dmFull, FCtrl->GetDisplayMode());
}

TEST_F(LiveFullScreenTest, ButtonPressedOnThePictureIsReleasedOverTheMargin) {
  EnterFullScreen();
  SetCursorPos(420, 322);  // (100, 50) of the picture, which lies at (320, 272)
  Button(MOUSEEVENTF_LEFTDOWN);
  ASSERT_TRUE(PumpUntil([&] { return FPeer.WaitForText(MouseRequest(RemoteLeftDown, 100, 50), 1, 0); }, kWaitMs));
  // Over the black margin, above and left of the picture: its corner.
  SetCursorPos(5, 5);
  Button(MOUSEEVENTF_LEFTUP);
  ASSERT_TRUE(PumpUntil([&] { return FPeer.WaitForText(MouseRequest(RemoteLeftUp, 0, 0), 1, 0); }, kWaitMs));
  const std::vector<std::string> expected{MouseRequest(RemoteMove, 100, 50), MouseRequest(RemoteLeftDown, 100, 50),
                                          MouseRequest(RemoteMove, 0, 0), MouseRequest(RemoteLeftUp, 0, 0)};
  EXPECT_EQ(expected, RequestsUpTo("end"));
  // The last button is up: the picture holds the mouse no more.
  EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(LiveFullScreenTest, FullScreenAskedForWhileCloseWaitsMakesNoWindow) {
  ASSERT_TRUE(FPeer.WaitForStarted(1, kWaitMs));
  ASSERT_EQ(nullptr, Full());
  // The container's handler on the live source's thread sends to its
  // window once the control stops the source; Close takes the message
  // while it waits for the threads.
  FEvents.SendWhenStopping = true;
  GOnPing = [this] { FCtrl->SetFullScreen(true); };
  std::chrono::steady_clock::duration took{};
  ASSERT_TRUE(CloseWhileHandlerSends(
      FEvents, [&](const std::string& text) { FPeer.Push(TLivePeer::TextPacket(2, text)); },
      [&] { FCtrl->Close(); }, took));
  GOnPing = nullptr;
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  EXPECT_EQ(nullptr, Full());
  EXPECT_EQ(nullptr, FindWindowW(L"TBrindoluxFullScreen", nullptr));
  // The mode is taken, as without a source.
  EXPECT_EQ(dmFull, FCtrl->GetDisplayMode());
  EXPECT_EQ(std::vector<TDisplayMode>{dmFull}, FEvents.Modes);
  // A move over where the window would be reaches no window of the freed
  // stream.
  SetCursorPos(640, 512);
  const POINT middle{640, 512};
  if (HWND under = WindowFromPoint(middle)) {
    POINT at = middle;
    ScreenToClient(under, &at);
    SendMessageW(under, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  }
  PumpPending();
  EXPECT_EQ(nullptr, Full());

  // The next open shows it.
  OpenAndPlay(FPeer.URL("ch"));
  EXPECT_TRUE(PumpUntil([&] { return Full() != nullptr; }, kWaitMs));
}
