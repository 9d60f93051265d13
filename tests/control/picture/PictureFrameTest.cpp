// The control opening by URL and showing its picture: a recording served by
// an HTTP peer on 127.0.0.1, a bare name beside the hosting page, channel
// files, and the picture fitted, at original size and after mode changes,
// checked on the screen. Takes a display; screenshots go to artifacts/.
#include <gtest/gtest.h>
#include <winsock2.h>  // before windows.h
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "ControlMessages.h"
#include "ControlTexts.h"
#include "base/EngineMessages.h"
#include "base/Exception.h"
#include "HtmlPageDouble.h"
#include "HttpPeer.h"
#include "KrmWriter.h"
#include "PumpUntil.h"
#include "RecordingEvents.h"
#include "base/SystemText.h"
#include "source/ReadThread.h"
#include "UrlForms.h"
#include "WindowShot.h"

namespace {

constexpr DWORD kWaitMs = 10000;


// Quadrants of a 200 x 100 recording, left to right, top to bottom.
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const COLORREF kQuadrant[4] = {RGB(220, 0, 0), RGB(0, 200, 0), RGB(0, 0, 230), RGB(255, 255, 0)};

Bytes FourColourRecording() {
  TestPicture picture(200, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      const COLORREF c = kQuadrant[(y >= 50) * 2 + (x >= 100)];
      picture.SetPixel(x, y, GetBValue(c), GetGValue(c), GetRValue(c));
    }
  KrmWriter writer(200, 100);
  writer.SetDuration(400);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(picture));
  writer.AddMarker(400);
  return writer.Build();
}

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

class PictureFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TPictureFrameTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&wc);
    FHost = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                            0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, FHost);
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    FPeer.Serve("/talks/four.krm", FourColourRecording());
  }
  void TearDown() override {
    FCtrl.reset();
    DestroyWindow(FHost);
  }

  void Resize(int width, int height) {
    MoveWindow(FCtrl->Handle(), 0, 0, width, height, TRUE);
    PumpPending();
  }

  // Waits until the picture's own bitmap holds the colour at (X, Y).
  bool WaitForPicturePixel(int X, int Y, COLORREF Colour) {
    return PumpUntil([&] { return FCtrl->DetailFrame().PicturePixel(X, Y) == Colour; }, kWaitMs);
  }

  // What the screen shows of the control's window, saved as a PNG.
  std::vector<COLORREF> Screenshot(const std::string& name, int& width, int& height) {
    RedrawWindow(FCtrl->Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    return CaptureWindow(FCtrl->Handle(), name, width, height);
  }

  void OpenAndPlayToTheEnd(const std::wstring& url) {
    FCtrl->Open(url);
    ASSERT_TRUE(PumpUntil([&] { return FEvents.States.size() >= 5; }, kWaitMs)) << FEvents.States.size();
    const std::vector<TStatus> expected{bxOpening, bxOpened, bxPlaying, bxStopped, bxStopped};
    EXPECT_EQ(expected, FEvents.States);
  }

  HWND FHost = nullptr;
  TRecordingEvents FEvents;
  THttpPeer FPeer;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

struct TProbe {
  int X, Y;  // in the control's window
  COLORREF Colour;
};

void ExpectScreen(const std::vector<COLORREF>& pixels, int width, const std::vector<TProbe>& probes) {
  for (const TProbe& p : probes)
    EXPECT_EQ(p.Colour, pixels[size_t(p.Y) * width + p.X]) << "at " << p.X << "," << p.Y;
}

}  // namespace

TEST_F(PictureFrameTest, RecordingOverHttpShownFittedAndAtOriginalSize) {
  Resize(400, 300);
  OpenAndPlayToTheEnd(AnsiToWide(FPeer.URL("/talks/four.krm")));
  EXPECT_EQ(AnsiToWide(FPeer.URL("/talks/four.krm")), FCtrl->GetURL());
  EXPECT_FALSE(FPeer.Requests().empty());

  // Fits: 1:1, centred at (100, 100).
  ASSERT_TRUE(WaitForPicturePixel(150, 75, kQuadrant[3]));
  EXPECT_EQ(100, FCtrl->DetailFrame().Zoom());
  int width = 0, height = 0;
  std::vector<COLORREF> screen = Screenshot("fit-400x300", width, height);
  ExpectScreen(screen, width,
               {{150, 125, kQuadrant[0]},
                {250, 125, kQuadrant[1]},
                {150, 175, kQuadrant[2]},
                {250, 175, kQuadrant[3]},
                {299, 199, kQuadrant[3]},
                {100, 100, kQuadrant[0]}});

  // Too large: half size, 100 x 50 at (0, 25), scaled by the control when
  // the play thread repaints after the resize.
  Resize(100, 100);
  EXPECT_EQ(50, FCtrl->DetailFrame().Zoom());
  ASSERT_TRUE(WaitForPicturePixel(75, 37, kQuadrant[3]));
  screen = Screenshot("fit-100x100", width, height);
  ExpectScreen(
      screen, width,
      {{25, 37, kQuadrant[0]}, {75, 37, kQuadrant[1]}, {25, 62, kQuadrant[2]}, {75, 62, kQuadrant[3]}});

  // Original size in the same window: 1:1 from the top left, with scroll bars.
  FCtrl->SetDisplayMode(dmOriginal);
  ASSERT_TRUE(WaitForPicturePixel(150, 75, kQuadrant[3]));
  screen = Screenshot("original-100x100", width, height);
  ExpectScreen(screen, width, {{10, 10, kQuadrant[0]}, {60, 40, kQuadrant[0]}, {10, 60, kQuadrant[2]}});
  const LONG style = GetWindowLongW(FCtrl->DetailFrame().Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_HSCROLL);
  EXPECT_TRUE(style & WS_VSCROLL);
  // A line to the right moves the picture 27 pixels left; the end stops it
  // where its right edge meets the frame's.
  auto pictureLeft = [&] {
    RECT r{};
    GetWindowRect(FCtrl->DetailFrame().imgPic(), &r);
    MapWindowPoints(nullptr, FCtrl->DetailFrame().Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r.left;
  };
  SendMessageW(FCtrl->DetailFrame().Handle(), WM_HSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(-27, pictureLeft());
  SendMessageW(FCtrl->DetailFrame().Handle(), WM_HSCROLL, SB_BOTTOM, 0);
  RECT frame{};
  GetClientRect(FCtrl->DetailFrame().Handle(), &frame);
  EXPECT_EQ(frame.right - 200, pictureLeft());
  EXPECT_EQ((std::vector<TDisplayMode>{dmOriginal}), FEvents.Modes);
}

TEST_F(PictureFrameTest, BareNameOpensBesideTheHostingPage) {
  THtmlPageSettings page{};
  page.OfferDocument = 1;
  const std::wstring location = AnsiToWide(FPeer.URL("/talks/index.html"));
  page.Location = location.c_str();
  IOleClientSite* site = CreateHtmlPageDouble(&page);
  FCtrl->SetClientSite(site);
  FCtrl->SetAutoStart(false);
  FCtrl->Open(L"four.krm");
  EXPECT_EQ(AnsiToWide(FPeer.URL("/talks/four.krm")), FCtrl->GetURL());
  EXPECT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxOpened; }, kWaitMs));
  FCtrl->Close();
  FCtrl->SetClientSite(nullptr);
  EXPECT_EQ(1, HtmlPageDoubleReferences(site));
  site->Release();

  // A page whose location cannot be read fails the open; the control stays
  // closed and answers the name it was given.
  page.LocationResult = E_ACCESSDENIED;
  site = CreateHtmlPageDouble(&page);
  FCtrl->SetClientSite(site);
  FEvents.States.clear();
  EXPECT_THROW(FCtrl->Open(L"other.krm?x=1"), Exception);
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(L"other.krm", FCtrl->GetURL());
  FCtrl.reset();  // lets go of the site
  EXPECT_EQ(1, HtmlPageDoubleReferences(site));
  site->Release();
}

TEST_F(PictureFrameTest, ChannelFilesAreFetchedAndOpenedByTheMulticastSource) {
  const std::string page = FPeer.URL("/live/page.sms");
  FPeer.Serve("/live/page.sms", Text("<!DOCTYPE html><html><body>gone</body></html>"));
  try {
    FCtrl->Open(AnsiToWide(page));
    ADD_FAILURE() << "opened";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(TextFailDownloadFile) + page, e.Message());
  }
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(AnsiToWide(page), FCtrl->GetURL());

  // A channel file that arrives is kept as the local copy, which the
  // multicast source opens; this one names no address, so the source refuses
  // it (code 9) before any receiver starts, and the control waits on.
  const std::string channel = FPeer.URL("/live/ch1.sms");
  FPeer.Serve("/live/ch1.sms", Text("[Channel]\r\nGroup=239.1.1.1\r\n"));
  FCtrl->Open(AnsiToWide(channel));
  EXPECT_EQ(bxOpening, FCtrl->GetStatus());
  EXPECT_EQ(std::vector<TStatus>{bxOpening}, FEvents.States);
  EXPECT_EQ(AnsiToWide(channel), FCtrl->GetURL());
  const TReadThread* source = FCtrl->Context().ReadThread;
  ASSERT_TRUE(source);
  EXPECT_EQ(AnsiToWide(ChannelCopyPath(FCtrl->TempFolder())), source->URL());
  ASSERT_TRUE(PumpUntil([&] { return source->SourceKind() == skMulticast; }, kWaitMs));
  std::ifstream copy(ChannelCopyPath(FCtrl->TempFolder()), std::ios::binary);
  EXPECT_EQ("[Channel]\r\nGroup=239.1.1.1\r\n",
            std::string(std::istreambuf_iterator<char>(copy), std::istreambuf_iterator<char>()));
  FCtrl->Close();

  // The same copy named as a local file opens the same way.
  const std::wstring local = AnsiToWide(ChannelCopyPath(FCtrl->TempFolder()));
  FCtrl->Open(local);
  EXPECT_EQ(bxOpening, FCtrl->GetStatus());
  ASSERT_TRUE(FCtrl->Context().ReadThread);
  EXPECT_EQ(local, FCtrl->Context().ReadThread->URL());
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->Context().ReadThread->SourceKind() == skMulticast; }, kWaitMs));
  FCtrl->Close();
  EXPECT_EQ(bxClosed, FCtrl->GetStatus());
}
