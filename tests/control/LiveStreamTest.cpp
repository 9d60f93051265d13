// The control playing a live broadcast from the loopback live peer: the
// open through its states and the picture, the stream's texts and events,
// requests to the server, buffering and trimming, reconnecting after a
// dropped connection, and closing while an event handler on the source's
// thread sends a message to the container's window. Takes a display.
// clang-format off
// Winsock before anything that includes windows.h.
#include "LivePeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BrindoluxCtrl.h"
#include "KRMStream.h"
#include "KrmWriter.h"
#include "MessageBoxWatchdog.h"
#include "PumpUntil.h"
#include "SendingEvents.h"
#include "SourceStandIns.h"  // LogText
#include "WindowShot.h"
#include "base/EngineMessages.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/SystemText.h"

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr UINT WM_HANDLER_PING = WM_APP + 1;

const COLORREF kQuadrant[4] = {RGB(220, 0, 0), RGB(0, 200, 0), RGB(0, 0, 230), RGB(255, 255, 0)};

KrmRecord FourColourKeyFrame(uint32_t time) {
  TestPicture picture(200, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      const COLORREF c = kQuadrant[(y >= 50) * 2 + (x >= 100)];
      picture.SetPixel(x, y, GetBValue(c), GetGValue(c), GetRValue(c));
    }
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_KEY;
  r.CompressionType = CT_RAW;
  r.Payload = BmpFileImage(picture);
  return r;
}

// A raw key frame that announces a picture of Width x Height and carries no
// pixels: enough for the source to report its size.
KrmRecord AnnouncedKeyFrame(uint32_t time, uint16_t Width, uint16_t Height) {
  Bytes bmp(54, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, 54);
  put32(10, 54);
  put32(14, 40);
  put32(18, Width);
  put32(22, Height);
  bmp[26] = 1;
  bmp[28] = 24;
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_KEY;
  r.CompressionType = CT_RAW;
  r.Payload = bmp;
  return r;
}

KrmRecord Marker(uint32_t time, size_t payload = 0) {
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_MARKER;
  r.CompressionType = CT_FIXED58;
  r.Payload.assign(payload, 0x4D);
  return r;
}

// Counts the error codes that reach one window through this thread's queue.
class TErrorCounter {
 public:
  explicit TErrorCounter(HWND Window) : FWindow(Window) {
    GCounter = this;
    FHook = SetWindowsHookExW(WH_GETMESSAGE, &Hook, nullptr, GetCurrentThreadId());
  }
  ~TErrorCounter() {
    UnhookWindowsHookEx(FHook);
    GCounter = nullptr;
  }
  std::vector<WPARAM> Codes;

 private:
  static LRESULT CALLBACK Hook(int Code, WPARAM WParam, LPARAM LParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(LParam);
    if (Code == HC_ACTION && WParam == PM_REMOVE && GCounter && msg->hwnd == GCounter->FWindow &&
        msg->message == WM_KRM_ERROR)
      GCounter->Codes.push_back(msg->wParam);
    return CallNextHookEx(nullptr, Code, WParam, LParam);
  }
  static TErrorCounter* GCounter;
  HWND FWindow;
  HHOOK FHook;
};
TErrorCounter* TErrorCounter::GCounter = nullptr;

const char* const kReply =
    "Permission=True\r\nTitle=Talk\r\nAuthor=Ann\r\nCopyright=(c) Us\r\nDescription=Live test\r\n";

TBrindoluxCtrl* GCtrl = nullptr;
std::atomic<int> GPings{0};

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_HANDLER_PING) {
    ++GPings;
    // A state-changing member from inside a wait of the control does nothing.
    if (GCtrl) {
      GCtrl->Stop();
      GCtrl->Close();
      GCtrl->Play();
    }
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

class LiveStreamTest : public ::testing::Test {
 protected:
  // One host window for all: taking a shown top-level window down costs
  // seconds under a display without a window manager.
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TLiveStreamTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&wc);
    FHost = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                            0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  }
  static void TearDownTestSuite() { DestroyWindow(FHost); }

  void SetUp() override {
    ASSERT_NE(nullptr, FHost);
    FEvents.Host = FHost;
    FEvents.Message = WM_HANDLER_PING;
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    MoveWindow(FCtrl->Handle(), 0, 0, 400, 300, TRUE);
    FPeer.SetLogin(TLivePeer::TLogin::Reply, kReply);
    GPings = 0;
  }
  void TearDown() override {
    GCtrl = nullptr;
    FCtrl.reset();
  }

  void SetScript(std::vector<Bytes> packets) {
    TLivePeer::TScript script;
    script.Packets = std::move(packets);
    FPeer.SetScript(script);
  }
  void OpenAndPlay() {
    FCtrl->Open(FPeer.URL("ch"));
    ASSERT_TRUE(PumpUntil([&] { return FEvents.States.size() >= 3; }, kWaitMs)) << FEvents.States.size();
    EXPECT_EQ((std::vector<TStatus>{bxOpening, bxOpened, bxPlaying}), FEvents.States);
  }
  std::vector<std::string> RequestsSeen() {
    std::vector<std::string> texts;
    for (const auto& p : FPeer.Received())
      if (p.Text != "NOOP" && p.Text != "Start") texts.push_back(p.Text);
    return texts;
  }

  static HWND FHost;
  TSendingEvents FEvents;
  TLivePeer FPeer;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

HWND LiveStreamTest::FHost = nullptr;

}  // namespace

TEST_F(LiveStreamTest, BroadcastOpensShowsItsKeyFrameAndAnswersItsTexts) {
  SetScript({TLivePeer::FramePacket(FourColourKeyFrame(0)), TLivePeer::FramePacket(Marker(10))});
  OpenAndPlay();
  const TDetailFrame& frame = FCtrl->DetailFrame();
  ASSERT_TRUE(PumpUntil([&] { return frame.PicturePixel(150, 75) == kQuadrant[3]; }, kWaitMs));
  EXPECT_EQ(kQuadrant[0], frame.PicturePixel(10, 10));
  EXPECT_EQ(kQuadrant[1], frame.PicturePixel(190, 10));
  EXPECT_EQ(kQuadrant[2], frame.PicturePixel(10, 90));
  // On the screen: fitted 1:1 in the middle of the 400 x 300 window.
  int width = 0, height = 0;
  RedrawWindow(FCtrl->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpPending();
  const std::vector<COLORREF> screen = CaptureWindow(FCtrl->Handle(), "live-broadcast", width, height);
  ASSERT_EQ(400, width);
  EXPECT_EQ(kQuadrant[0], screen[125 * 400 + 150]);
  EXPECT_EQ(kQuadrant[1], screen[125 * 400 + 250]);
  EXPECT_EQ(kQuadrant[2], screen[175 * 400 + 150]);
  EXPECT_EQ(kQuadrant[3], screen[175 * 400 + 250]);
  EXPECT_EQ(L"Talk", FCtrl->GetTitle());
  EXPECT_EQ(L"Ann", FCtrl->GetAuthor());
  EXPECT_EQ(L"(c) Us", FCtrl->GetCopyright());
  EXPECT_EQ(L"Live test", FCtrl->GetDescription());
  EXPECT_EQ(L"127.0.0.1", FCtrl->GetHost());
  EXPECT_EQ(L"ch", FCtrl->GetChannelName());
  EXPECT_EQ(200, FCtrl->GetKRMWidth());
  EXPECT_EQ(100, FCtrl->GetKRMHeight());
  EXPECT_EQ(0, FCtrl->GetDuration());
}

TEST_F(LiveStreamTest, DuringAStalledLoginOnlyTheUrlsTextsAreKnown) {
  FPeer.SetLogin(TLivePeer::TLogin::Stall);
  FCtrl->Open(FPeer.URL("ch"));
  ASSERT_TRUE(FPeer.WaitForLogins(1, kWaitMs));
  EXPECT_EQ(bxOpening, FCtrl->GetStatus());
  EXPECT_EQ(L"", FCtrl->GetTitle());
  EXPECT_EQ(L"127.0.0.1", FCtrl->GetHost());
  EXPECT_EQ(L"ch", FCtrl->GetChannelName());
  const auto start = std::chrono::steady_clock::now();
  FCtrl->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  EXPECT_EQ(L"", FCtrl->GetHost());
}

TEST_F(LiveStreamTest, StreamEventsCarryTheirTextsOnTheSourcesThread) {
  const std::string high = "caf\xE9 \xB2\xE2";  // bytes above 127, in the system code page
  SetScript({TLivePeer::FramePacket(Marker(1)), TLivePeer::FramePacket(FourColourKeyFrame(2)),
             TLivePeer::TextPacket(1, "index one"), TLivePeer::TextPacket(3, "script one"),
             TLivePeer::TextPacket(2, high), TLivePeer::FramePacket(Marker(3))});
  OpenAndPlay();
  ASSERT_TRUE(PumpUntil([&] { return FEvents.LiveCount("sample") >= 3; }, kWaitMs));
  const auto events = FEvents.LiveEvents();
  std::vector<std::string> kinds;
  for (const auto& e : events) {
    kinds.push_back(e.Kind);
    EXPECT_NE(GetCurrentThreadId(), e.Thread) << e.Kind;
  }
  EXPECT_EQ((std::vector<std::string>{"sample", "sample", "index", "script", "string", "sample"}), kinds);
  EXPECT_EQ(L"1", events[0].Text);
  EXPECT_EQ(L"index one", events[2].Text);
  EXPECT_EQ(L"script one", events[3].Text);
  wchar_t wide[32] = {};
  const int n = MultiByteToWideChar(CP_ACP, 0, high.data(), int(high.size()), wide, 32);
  EXPECT_EQ(std::wstring(wide, size_t(n)), events[4].Text);
}

TEST_F(LiveStreamTest, RequestSendsItsTextToTheServer) {
  SetScript({TLivePeer::FramePacket(FourColourKeyFrame(0))});
  OpenAndPlay();
  FCtrl->Request(L"x");
  FCtrl->Request(L"");
  FCtrl->Request(L"y");
  ASSERT_TRUE(FPeer.WaitForText("y", 1, kWaitMs));
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), RequestsSeen());

  // Any other source has no server: nothing happens, and nothing fails.
  FCtrl->Close();
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "brx-live-local.krm";
  KrmWriter writer(200, 100);
  writer.AddKeyFrame(0, CT_RAW, FourColourKeyFrame(0).Payload);
  writer.SaveToFile(path);
  FCtrl->Open(AnsiToWide(path));
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs));
  EXPECT_NO_THROW(FCtrl->Request(L"z"));
  EXPECT_EQ(L"", FCtrl->GetTitle());
  EXPECT_EQ(L"", FCtrl->GetHost());
  FCtrl->Close();
  DeleteFileA(path.c_str());
}

TEST_F(LiveStreamTest, RecordsBeforeTheOpenIsHandledStayBufferedThenPlayingTrimsThem) {
  // 17 MB of large markers after the key frame, all taken in before the
  // test lets the control see that the stream opened.
  std::vector<Bytes> packets = {TLivePeer::FramePacket(FourColourKeyFrame(0))};
  for (uint32_t t = 1; t <= 17; ++t) packets.push_back(TLivePeer::FramePacket(Marker(t, 1 << 20)));
  SetScript(packets);
  FCtrl->Open(FPeer.URL("ch"));
  const TFramesBuffer& frames = *FCtrl->Context().FramesBuffer;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  // Without pumping: the control must not handle WM_KRM_OPENED yet.
  while (frames.FrameCount() < 18 && std::chrono::steady_clock::now() < until) Sleep(5);
  ASSERT_EQ(18, frames.FrameCount());
  EXPECT_GT(frames.TotalBytes(), TKRMStream::TrimBytes);
  EXPECT_EQ(0u, FCtrl->GetMin());
  EXPECT_EQ(0, FCtrl->Context().IndexTable->FindKeyTime(UINT32_MAX));
  EXPECT_EQ(bxOpening, FCtrl->GetStatus());

  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs));
  ASSERT_TRUE(FPeer.WaitForStarted(1, kWaitMs));
  FPeer.Push(TLivePeer::FramePacket(FourColourKeyFrame(5000)));
  FPeer.Push(TLivePeer::FramePacket(Marker(5001)));
  EXPECT_TRUE(PumpUntil([&] { return FCtrl->GetMin() == 5000; }, kWaitMs)) << FCtrl->GetMin();
  EXPECT_EQ(5000, FCtrl->Context().IndexTable->FindKeyTime(UINT32_MAX));
}

TEST_F(LiveStreamTest, ADroppedConnectionReconnectsAfterTheDelay) {
  SetScript({TLivePeer::FramePacket(FourColourKeyFrame(0))});
  OpenAndPlay();
  ASSERT_TRUE(FPeer.WaitForStarted(1, kWaitMs));
  FEvents.States.clear();
  FPeer.DropConnections();
  ASSERT_TRUE(PumpUntil([&] { return FEvents.States.size() >= 4; }, kWaitMs));
  EXPECT_EQ((std::vector<TStatus>{bxClosed, bxOpening, bxOpened, bxPlaying}), FEvents.States);
  EXPECT_EQ(2u, FPeer.Connections());
}

TEST_F(LiveStreamTest, CloseWhileAHandlerSendsToTheContainersWindowReturns) {
  SetScript({TLivePeer::FramePacket(FourColourKeyFrame(0))});
  OpenAndPlay();
  ASSERT_TRUE(FPeer.WaitForStarted(1, kWaitMs));
  GCtrl = FCtrl.get();
  std::chrono::steady_clock::duration took{};
  ASSERT_TRUE(CloseWhileHandlerSends(
      FEvents, [&](const std::string& text) { FPeer.Push(TLivePeer::TextPacket(2, text)); },
      [&] { FCtrl->Close(); }, took));
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(1, GPings.load());
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  // The members called from inside the wait changed nothing.
  EXPECT_EQ((std::vector<TStatus>{bxOpening, bxOpened, bxPlaying, bxClosed}), FEvents.States);
}

TEST_F(LiveStreamTest, APictureTooLargeToHoldFailsTheOpenAndTheNextOpenPlays) {
  const size_t logBefore = LogText().size();
  SetScript({TLivePeer::FramePacket(AnnouncedKeyFrame(0, 65535, 65535)), TLivePeer::FramePacket(Marker(10))});
  TMessageBoxWatchdog boxes;
  TErrorCounter errors(FCtrl->Handle());
  FCtrl->Open(FPeer.URL("ch"));
  ASSERT_TRUE(PumpUntil([&] { return FEvents.States.size() >= 2; }, kWaitMs)) << FEvents.States.size();
  EXPECT_EQ((std::vector<TStatus>{bxOpening, bxClosed}), FEvents.States);
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  // Nothing of the failed set-up is left to buffer or to stand in the way.
  EXPECT_EQ(nullptr, FCtrl->Context().PlayThread);
  EXPECT_EQ(nullptr, FCtrl->Context().ReadThread);
  PumpPending();
  const std::string log = LogText().substr(logBefore);
  size_t lines = 0;
  for (size_t at = log.find("TBrindoluxCtrl.WMOpened"); at != std::string::npos;
       at = log.find("TBrindoluxCtrl.WMOpened", at + 1))
    ++lines;
  EXPECT_EQ(1u, lines) << log;
  // Reported as a failed open is: one code, and no message box.
  EXPECT_EQ(std::vector<WPARAM>{6}, errors.Codes);
  EXPECT_EQ(std::vector<std::wstring>{}, boxes.TakeDismissed());

  FEvents.States.clear();
  SetScript({TLivePeer::FramePacket(FourColourKeyFrame(0)), TLivePeer::FramePacket(Marker(10))});
  OpenAndPlay();
  const TDetailFrame& frame = FCtrl->DetailFrame();
  EXPECT_TRUE(PumpUntil([&] { return frame.PicturePixel(150, 75) == kQuadrant[3]; }, kWaitMs));
}
