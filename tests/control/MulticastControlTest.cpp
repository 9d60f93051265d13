// The control playing a multicast channel, in a real window under Xvfb: a
// channel file on disk and the same file on a web server. Run in the
// receiving namespace of scripts/netns-run, with the sender in its own.
// clang-format off
#include "HttpPeer.h"
#include "MulticastPeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "base/Exception.h"
#include "base/SystemText.h"
#include "decode/Decoder.h"
#include "KrmWriter.h"
#include "MulticastBroadcast.h"
#include "PumpUntil.h"
#include "RecordingEvents.h"
#include "WindowShot.h"

namespace {

constexpr DWORD kWaitMs = 20000;
constexpr uint8_t kB = 30, kG = 160, kR = 220;

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

class MulticastControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TMulticastPeer::SenderAddress().empty()) GTEST_SKIP() << "no multicast sender: run through scripts/netns-run";
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TMulticastControlTestHost";
    RegisterClassW(&wc);
    FHost = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 400, 300,
                            nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, FHost);
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    MoveWindow(FCtrl->Handle(), 0, 0, 400, 300, TRUE);
    // The channel repeats its key frame, so whenever the join takes effect
    // a key frame follows.
    uint32_t id = 1;
    TMulticastPeer::TJob job{kGroup, kPort, 3000, 4000, {}};
    AppendMessages(job.Datagrams, id, {BroadcastKeyFrame(0, kB, kG, kR)});
    ASSERT_TRUE(FBroadcast.Start(job));
  }
  void TearDown() override {
    FCtrl.reset();
    if (FHost) DestroyWindow(FHost);
  }

  // Opens, plays, shows the key frame's colour, closes within a bound.
  void PlaysAndCloses(const std::wstring& url, const std::string& shot) {
    FCtrl->Open(url);
    ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs)) << FCtrl->GetStatus();
    EXPECT_EQ((std::vector<TStatus>{bxOpening, bxOpened, bxPlaying}), FEvents.States);
    EXPECT_TRUE(PumpUntil([&] { return FCtrl->DetailFrame().PicturePixel(5, 5) == RGB(kR, kG, kB); }, kWaitMs));
    EXPECT_EQ(kBroadcastWidth, FCtrl->Context().Header.Width);
    // The picture shows in the middle of the 400 x 300 window.
    RedrawWindow(FCtrl->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    int width = 0, height = 0;
    const std::vector<COLORREF> screen = CaptureWindow(FCtrl->Handle(), shot, width, height);
    ASSERT_EQ(400, width);
    EXPECT_EQ(RGB(kR, kG, kB), screen[size_t(height / 2) * width + width / 2]);
    const ULONGLONG started = GetTickCount64();
    FCtrl->Close();
    EXPECT_LT(GetTickCount64() - started, 5000u);
    EXPECT_EQ(bxClosed, FCtrl->GetStatus());
    FEvents.States.clear();
  }

  const std::string kGroup = "238.20.0.10";
  const uint16_t kPort = 6210;
  HWND FHost = nullptr;
  TRecordingEvents FEvents;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
  TMulticastPeer FBroadcast;
};

TEST_F(MulticastControlTest, LocalAndDownloadedChannelFilesPlay) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "brx_mcast_ctrl_" + std::to_string(GetCurrentProcessId()) + ".sms";
  const std::string text = ChannelText(kGroup, kPort);
  WriteFileBytes(path, Bytes(text.begin(), text.end()));
  PlaysAndCloses(AnsiToWide(path), "multicast-local");

  THttpPeer web;
  web.Serve("/live/ch1.sms", Bytes(text.begin(), text.end()));
  const std::wstring url = AnsiToWide(web.URL("/live/ch1.sms"));
  FCtrl->Open(url);
  EXPECT_EQ(url, FCtrl->GetURL());
  FCtrl->Close();
  FEvents.States.clear();
  PlaysAndCloses(url, "multicast-downloaded");
  EXPECT_EQ(url, FCtrl->GetURL());
  DeleteFileA(path.c_str());
}

}  // namespace
