// The statistics window: its texts as a table, and the window itself opened
// from the control's menu over a real control with real engine threads.
// Takes a display; screenshots go to artifacts/.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "BrindoluxCtrl.h"
#include "KrmWriter.h"
#include "PumpUntil.h"
#include "RecordingEvents.h"
#include "WindowShot.h"
#include "base/Exception.h"
#include "base/SystemText.h"
#include "forms/frmStatus.h"

namespace {

constexpr DWORD kWaitMs = 10000;

std::wstring Text(HWND Window) {
  wchar_t text[256] = {};
  GetWindowTextW(Window, text, 256);
  return text;
}

// Where a window lies in its parent's client area.
RECT PlaceInParent(HWND Window) {
  RECT place{};
  GetWindowRect(Window, &place);
  MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

bool ChineseRun() {
  const char* lang = std::getenv("BRX_EXPECT_LANG");
  return lang && std::string(lang) == "zh_CN";
}

// A minute of 64 x 48 key frames, one every ten seconds, in one colour.
std::wstring MinuteRecording() {
  static const std::wstring path = [] {
    KrmWriter writer(64, 48);
    writer.SetDuration(60000);
    for (uint32_t t = 0; t < 60000; t += 10000)
      writer.AddKeyFrame(t, CT_RAW, BmpFileImage(TestPicture(64, 48, 200, 40, 40)));
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string p = std::string(folder) + "brx_status_minute.krm";
    writer.SaveToFile(p);
    return AnsiToWide(p);
  }();
  return path;
}

// A control in a shown window of its own, sized 600 x 460.
class StatusWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FHost = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 640,
                            480, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, FHost);
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    Resize(600, 460);
  }
  void TearDown() override {
    FCtrl.reset();
    DestroyWindow(FHost);
  }

  void Resize(int Width, int Height) {
    MoveWindow(FCtrl->Handle(), 0, 0, Width, Height, TRUE);
    PumpPending();
  }

  // miStatus from the control's menu; answers the window.
  const TfrmStatus& OpenStatus() {
    SendMessageW(FCtrl->Handle(), WM_COMMAND, TBrindoluxCtrl::miStatus, 0);
    const TfrmStatus* status = FCtrl->StatusWindow();
    EXPECT_NE(nullptr, status);
    return *status;
  }

  void ExpectCentred(const TfrmStatus& Status) {
    RECT control{};
    GetClientRect(FCtrl->Handle(), &control);
    const RECT place = PlaceInParent(Status.Handle());
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    EXPECT_EQ((control.right - width) / 2, place.left);
    EXPECT_EQ((control.bottom - height) / 2, place.top);
  }

  HWND FHost = nullptr;
  TRecordingEvents FEvents;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

}  // namespace

TEST(StatusTextsTest, AsTheWindowShowsThem) {
  const std::vector<std::pair<uint32_t, std::wstring>> times = {
      {0, L"00:00:00"},        {999, L"00:00:00"},        {3723000, L"01:02:03"},
      {36000000, L"10:00:00"}, {360000000, L"100:00:00"}, {4294967295u, L"1193:02:47"},
  };
  for (const auto& [ms, text] : times) EXPECT_EQ(text, FormatHMS(ms)) << ms;

  const std::vector<std::pair<uint32_t, std::wstring>> speeds = {
      {0, L"0 Kbps"},       {1023, L"1023 Kbps"},   {1024, L"1.00 Mbps"},
      {1536, L"1.50 Mbps"}, {10240, L"10.00 Mbps"}, {4294967295u, L"4194304.00 Mbps"},
  };
  for (const auto& [kbps, text] : speeds) EXPECT_EQ(text, FormatSpeed(kbps)) << kbps;

  struct TBytes {
    int32_t Total;
    uint32_t Used;
    const wchar_t* Text;
  };
  const std::vector<TBytes> bytes = {
      {1023, 0, L"0K"},
      {1024, 0, L"1K"},
      {1000, 48, L"1K"},
      {0x7FFFFC00, 0x400, L"2097152K"},
      // Added as unsigned 32-bit: past 4 GB the sum wraps.
      {-1024, 0x800, L"1K"},
  };
  for (const TBytes& b : bytes) EXPECT_EQ(b.Text, FormatBytes(b.Total, b.Used)) << b.Total << "+" << b.Used;

  EXPECT_EQ(L"1024 x 768", FormatSize(1024, 768));
  EXPECT_EQ(L"0 x 0", FormatSize(0, 0));
}

TEST(StatusWindowAssertion, ShowingWithoutAContextFailsNamingTheUnit) {
  HWND parent =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, parent);
  {
    TfrmStatus status(parent);
    try {
      status.Show();
      ADD_FAILURE() << "shown without a context";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(0u, e.Message().find("Assertion failure (UnitStatus, line ")) << e.Message();
    }
    EXPECT_FALSE(status.Refreshing());
    EXPECT_FALSE(IsWindowVisible(status.Handle()));
  }
  DestroyWindow(parent);
}

TEST_F(StatusWindowTest, OpensCentredAboveThePictureAndShowsNothingOpen) {
  const TfrmStatus& status = OpenStatus();
  HWND window = status.Handle();
  EXPECT_EQ(FCtrl->Handle(), GetParent(window));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(window, GetWindow(FCtrl->Handle(), GW_CHILD)) << "not above the picture frame";
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(WS_CHILD | WS_CAPTION | WS_SYSMENU,
            style & (WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(TfrmStatus::ClientWidth, client.right);
  EXPECT_EQ(TfrmStatus::ClientHeight, client.bottom);
  ExpectCentred(status);
  EXPECT_TRUE(status.Refreshing());

  // A tick with nothing open writes length and size from the zeroed header
  // and leaves the buffer's values alone.
  const TfrmStatus::TComponents& c = status.Components();
  SetWindowTextW(c.labSize, L"?");
  ASSERT_TRUE(PumpUntil([&] { return Text(c.labSize) != L"?"; }, kWaitMs));
  EXPECT_EQ(L"0 x 0", Text(c.labSize));
  EXPECT_EQ(L"00:00:00", Text(c.labDuration));
  EXPECT_EQ(L"0 kbps", Text(c.labBPS));
  EXPECT_EQ(L"0K", Text(c.labBytes));
  EXPECT_EQ(L"0", Text(c.labFrames));
  EXPECT_EQ(L"00:00:00", Text(c.labFrom));
}

TEST_F(StatusWindowTest, RefreshesWhilePlayingAndClosingStopsIt) {
  FCtrl->Open(MinuteRecording());
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs));
  const TfrmStatus& status = OpenStatus();
  const TfrmStatus::TComponents& c = status.Components();
  ASSERT_TRUE(PumpUntil([&] { return Text(c.labFrames) != L"0"; }, kWaitMs));
  EXPECT_GT(std::stoi(Text(c.labFrames)), 0);
  const std::wstring bytes = Text(c.labBytes);
  ASSERT_EQ(L'K', bytes.back());
  EXPECT_GT(std::stoi(bytes.substr(0, bytes.size() - 1)), 0);
  EXPECT_EQ(L"00:01:00", Text(c.labDuration));
  EXPECT_EQ(L"64 x 48", Text(c.labSize));
  EXPECT_EQ(L"00:00:00", Text(c.labFrom));
  const std::wstring speed = Text(c.labBPS);
  EXPECT_TRUE(speed.find(L" Kbps") != std::wstring::npos || speed.find(L" Mbps") != std::wstring::npos)
      << speed;

  // The picture lies under the window and does not paint over it.
  HWND picture = FCtrl->DetailFrame().imgPic();
  const RECT shown = PlaceInParent(picture);
  POINT middle{(shown.left + shown.right) / 2, (shown.top + shown.bottom) / 2};
  MapWindowPoints(GetParent(picture), FCtrl->Handle(), &middle, 1);
  RedrawWindow(status.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  InvalidateRect(picture, nullptr, FALSE);
  UpdateWindow(picture);
  int width = 0, height = 0;
  const std::vector<COLORREF> pixels = CaptureWindow(FCtrl->Handle(), "status-window", width, height);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), pixels[size_t(middle.y) * width + middle.x])
      << "at " << middle.x << "," << middle.y;

  // Closed from its system menu: hidden, no refresh, the texts as they were.
  SendMessageW(status.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindowVisible(status.Handle()));
  EXPECT_FALSE(status.Refreshing());
  EXPECT_EQ(L"64 x 48", Text(c.labSize));
  const std::wstring position = Text(c.labCurrentPosition);

  // Opened again in a smaller control: the same window, centred anew and
  // refreshing again.
  Resize(500, 400);
  EXPECT_EQ(&status, &OpenStatus());
  EXPECT_TRUE(IsWindowVisible(status.Handle()));
  EXPECT_TRUE(status.Refreshing());
  ExpectCentred(status);
  ASSERT_TRUE(PumpUntil([&] { return Text(c.labCurrentPosition) != position; }, kWaitMs)) << "no refresh";

  // Its button closes it the same way.
  SendMessageW(c.btnClose, BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(status.Handle()));
  EXPECT_FALSE(status.Refreshing());
}

// Run again under a Chinese system language.
TEST_F(StatusWindowTest, TextsInTheSystemsLanguageWithCaptionsAlignedToTheValues) {
  const bool chinese = ChineseRun();
  const TfrmStatus& status = OpenStatus();
  const TfrmStatus::TComponents& c = status.Components();
  EXPECT_EQ(chinese ? L"统计信息" : L"Statistic", Text(status.Handle()));
  EXPECT_EQ(chinese ? L"缓冲状态" : L"Buffer Status", Text(c.gbBuffer));
  EXPECT_EQ(chinese ? L"媒体信息" : L"Media Information", Text(c.gbMedia));
  EXPECT_EQ(chinese ? L"关闭" : L"Close", Text(c.btnClose));
  EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrW(c.btnClose, GWL_STYLE) & BS_TYPEMASK);

  struct TCaption {
    HWND Label;
    const wchar_t* Chinese;
    const wchar_t* English;
  };
  const std::vector<TCaption> captions = {
      {c.labFrom2, L"开始时间：", L"Start:"},
      {c.labCurrent, L"当前时间：", L"Current:"},
      {c.labTo2, L"结束时间：", L"Stop:"},
      {c.labFrames2, L"帧        数：", L"Frames:"},
      {c.labBytes2, L"字        节：", L"Bytes:"},
      {c.labBPS2, L"当前速度：", L"Speed:"},
      {c.labDuration2, L"长        度：", L"Length:"},
      {c.labSize2, L"屏幕大小：", L"Size:"},
  };
  // Widths as Arial -12 writes the texts.
  HFONT arial = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, arial);
  const RECT value = PlaceInParent(c.labFrom);
  for (const TCaption& caption : captions) {
    const std::wstring text = chinese ? caption.Chinese : caption.English;
    SCOPED_TRACE(WideToAnsi(caption.English));
    EXPECT_EQ(text, Text(caption.Label));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    const RECT place = PlaceInParent(caption.Label);
    EXPECT_EQ(size.cx, place.right - place.left);
    EXPECT_EQ(value.left - size.cx - TfrmStatus::CaptionGap, place.left);
    EXPECT_LT(place.left, place.right);
    EXPECT_GE(place.left, 0);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(arial);
  if (chinese) {
    RedrawWindow(FCtrl->Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    int width = 0, height = 0;
    EXPECT_FALSE(CaptureWindow(FCtrl->Handle(), "status-window-zh_CN", width, height).empty());
  }
}
