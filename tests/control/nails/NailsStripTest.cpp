// The thumbnail strip in the control, with real windows: thumbnails read
// from an index beside a local recording or downloaded from a web server
// (an HTTP peer on 127.0.0.1), clicked, following the play position and
// re-flowed when the strip's width changes. Takes a display; a screenshot
// goes to artifacts/.
#include <gtest/gtest.h>
#include <winsock2.h>  // before windows.h

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "ControlMessages.h"
#include "nails/Download.h"
#include "HttpPeer.h"
#include "KrmWriter.h"
#include "MessageBoxWatchdog.h"
#include "nails/NailsCreator.h"
#include "nails/NailsFrame.h"
#include "nails/NailsLayout.h"
#include "PumpUntil.h"
#include "RecordingEvents.h"
#include "SourceStandIns.h"  // LogText
#include "WindowShot.h"
#include "base/SystemText.h"

namespace {

constexpr DWORD kWaitMs = 10000;

class TSkipEvents : public TRecordingEvents {
 public:
  std::vector<int32_t> Skips;
  void OnSkip(int32_t Seconds) override { Skips.push_back(Seconds); }
};

LRESULT CALLBACK HostProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Recording(uint32_t DurationMs) {
  KrmWriter writer(64, 48);
  writer.SetDuration(DurationMs);
  for (uint32_t t = 0; t < DurationMs; t += 10000)
    writer.AddKeyFrame(t, CT_RAW, BmpFileImage(TestPicture(64, 48, 30, 30, uint8_t(t / 1000))));
  return writer.Build();
}

// Thumbnail k's colour, so the screen shows which image is where.
COLORREF NailColour(int k) { return RGB(40 + (k * 37) % 200, 200 - (k * 53) % 150, 60 + (k * 19) % 180); }

Bytes NailImage(int k, bool Jpeg) {
  const COLORREF c = NailColour(k);
  const TestPicture picture(32, 24, GetBValue(c), GetGValue(c), GetRValue(c));
  return Jpeg ? JpegCompressUpsideDown(picture) : BmpFileImage(picture);
}

std::string ImageName(int k) { return "n" + std::to_string(k) + (k % 2 ? ".jpg" : ".bmp"); }

// Lines "time=name" for thumbnails 0..Count-1, one every Step seconds.
std::string IndexText(int Count, int Step = 1) {
  std::string text;
  for (int k = 0; k < Count; ++k) text += std::to_string(k * Step * 1000) + "=" + ImageName(k) + "\r\n";
  return text;
}

// A fresh folder with a recording and, unless Index is empty, "nails.xml"
// and the images of the first Images thumbnails.
std::string LocalFolder(const std::string& Name, const std::string& Index, int Images) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "brx_nails_" + Name + "_" + std::to_string(GetTickCount()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "nails").c_str(), nullptr);
  WriteFileBytes(folder + "rec.krm", Recording(60000));
  if (!Index.empty()) WriteFileBytes(folder + "nails.xml", Text(Index));
  for (int k = 0; k < Images; ++k) WriteFileBytes(folder + "nails\\" + ImageName(k), NailImage(k, k % 2 == 1));
  return folder;
}

// Lines of the daily log that name Name.
size_t LinesWith(const std::string& Log, const std::string& Name) {
  size_t count = 0;
  for (size_t at = 0; at < Log.size();) {
    size_t end = Log.find('\n', at);
    if (end == std::string::npos) end = Log.size();
    if (Log.substr(at, end - at).find(Name) != std::string::npos) ++count;
    at = end + 1;
  }
  return count;
}

size_t Mentions(const std::vector<std::wstring>& Boxes, const std::string& Name) {
  const std::wstring name = AnsiToWide(Name);
  return std::count_if(Boxes.begin(), Boxes.end(),
                       [&](const std::wstring& box) { return box.find(name) != std::wstring::npos; });
}

// Windows refuses to delete a bitmap that is still selected into a device
// context: DeleteObject answers 0 and the bitmap stays for good. Wine
// accepts and deletes it once it is deselected, so it would hide such a
// leak. While this lives, the program's own DeleteObject (its import
// entry) refuses as Windows does, and counts.
class TWindowsDeleteObject {
 public:
  TWindowsDeleteObject() {
    HDC screen = GetDC(nullptr);
    FProbe = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    Self() = this;
    FEntry = ImportEntry(reinterpret_cast<void*>(Real()));
    if (FEntry) Write(reinterpret_cast<void*>(&Delete));
  }
  ~TWindowsDeleteObject() {
    if (FEntry) Write(reinterpret_cast<void*>(Real()));
    Self() = nullptr;
    DeleteDC(FProbe);
  }
  TWindowsDeleteObject(const TWindowsDeleteObject&) = delete;
  TWindowsDeleteObject& operator=(const TWindowsDeleteObject&) = delete;

  bool Installed() const { return FEntry != nullptr; }
  int Bitmaps() {
    std::lock_guard<std::mutex> lock(FLock);
    return FBitmaps;
  }
  int Refused() {
    std::lock_guard<std::mutex> lock(FLock);
    return FRefused;
  }

 private:
  using TDeleteObject = BOOL(WINAPI*)(HGDIOBJ);
  static TWindowsDeleteObject*& Self() {
    static TWindowsDeleteObject* self = nullptr;
    return self;
  }
  static TDeleteObject Real() {
    static const auto real = reinterpret_cast<TDeleteObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"gdi32.dll"), "DeleteObject")));
    return real;
  }

  // The program's import entry that holds Routine, among gdi32's.
  static void** ImportEntry(void* Routine) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name;
         ++d) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "gdi32.dll") != 0) continue;
      for (auto** entry = reinterpret_cast<void**>(base + d->FirstThunk); *entry; ++entry)
        if (*entry == Routine) return entry;
    }
    return nullptr;
  }

  void Write(void* Value) {
    DWORD was = 0;
    VirtualProtect(FEntry, sizeof(void*), PAGE_READWRITE, &was);
    *FEntry = Value;
    VirtualProtect(FEntry, sizeof(void*), was, &was);
  }

  static BOOL WINAPI Delete(HGDIOBJ Object) {
    TWindowsDeleteObject* self = Self();
    if (self && GetObjectType(Object) == OBJ_BITMAP) {
      std::lock_guard<std::mutex> lock(self->FLock);
      ++self->FBitmaps;
      // A bitmap goes into one device context at a time: one still
      // selected elsewhere cannot go into the probe.
      HGDIOBJ previous = SelectObject(self->FProbe, Object);
      if (!previous) {
        ++self->FRefused;
        return FALSE;
      }
      SelectObject(self->FProbe, previous);
    }
    return Real()(Object);
  }

  HDC FProbe = nullptr;
  void** FEntry = nullptr;
  std::mutex FLock;
  int FBitmaps = 0;
  int FRefused = 0;
};

class NailsStripTest : public ::testing::Test {
 protected:
  // One host window for all: taking a shown top-level window down costs
  // seconds under a display without a window manager.
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TNailsStripTestHost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&wc);
    FHost = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                            0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  }
  static void TearDownTestSuite() {
    if (FHost) DestroyWindow(FHost);
    FHost = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(nullptr, FHost);
    FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
    FCtrl->SetParentWindow(FHost);
    Resize(400, 300);
  }
  void TearDown() override { FCtrl.reset(); }

  TNailsFrame& Strip() { return FCtrl->NailsFrame(); }

  void Resize(int Width, int Height) {
    MoveWindow(FCtrl->Handle(), 0, 0, Width, Height, TRUE);
    PumpPending();
  }

  void OpenStill(const std::string& Path) {
    FCtrl->SetAutoStart(false);
    FCtrl->Open(AnsiToWide(Path));
    ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxOpened; }, kWaitMs));
  }

  // The reader has ended and nothing it posted is waiting.
  bool ReaderDone() {
    MSG msg;
    return !Strip().ReaderRunning() &&
           !PeekMessageW(&msg, FCtrl->Handle(), WM_KRM_ADDNAIL, WM_KRM_ADDNAIL, PM_NOREMOVE);
  }

  void WaitForCount(int Count) {
    EXPECT_TRUE(PumpUntil([&] { return Strip().Count() >= Count && ReaderDone(); }, kWaitMs));
    EXPECT_EQ(Strip().Count(), Count);
  }

  void Click(const TNail& Nail) {
    const RECT image = Nail.ImageRect();
    const LPARAM at = MAKELPARAM((image.left + image.right) / 2, (image.top + image.bottom) / 2);
    SendMessageW(Strip().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Strip().Handle(), WM_LBUTTONUP, 0, at);
  }

  // Where the grid puts thumbnail k with Columns per row.
  POINT GridPlace(int k, int Columns) {
    const int row = Strip().Nail(0).Height() + 10;
    return {10 + (k % Columns) * 74, 10 + (k / Columns) * row - Strip().ScrollPosition()};
  }

  bool PlacedByGrid(int Columns) {
    for (int k = 0; k < Strip().Count(); ++k) {
      const POINT p = GridPlace(k, Columns);
      if (Strip().Nail(k).Left() != p.x || Strip().Nail(k).Top() != p.y) return false;
    }
    return true;
  }

  static HWND FHost;
  TSkipEvents FEvents;
  TMessageBoxWatchdog FBoxes;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

HWND NailsStripTest::FHost = nullptr;

}  // namespace

TEST_F(NailsStripTest, LocalIndexShowsNumberedThumbnailsWithTheirTimesOnTheScreen) {
  EXPECT_FALSE(Strip().Visible());
  const std::string folder = LocalFolder("five", "0=n0.bmp\r\n65000=n1.jpg\r\n70000=n2.bmp\r\n3600000=n3.jpg\r\n"
                                                 "3601999=n4.bmp\r\n", 5);
  FCtrl->SetAutoStart(true);
  FCtrl->Open(AnsiToWide(folder + "rec.krm"));
  WaitForCount(5);
  ASSERT_TRUE(Strip().Visible());
  const std::vector<std::string> times{"00:00:00", "00:01:05", "00:01:10", "01:00:00", "01:00:01"};
  for (int k = 0; k < 5; ++k) {
    const TNail& nail = Strip().Nail(k);
    EXPECT_EQ(nail.NumberCaption(), std::to_string(k + 1));
    EXPECT_EQ(nail.TimeCaption(), times[k]);
    EXPECT_EQ(nail.ImagePath(), folder + "nails\\" + ImageName(k));
    EXPECT_TRUE(nail.ImageShown() && nail.TimeShown());
  }
  // Four parts at their places: border, image inside it, time under it,
  // number in the image's top right corner.
  const TNail& second = Strip().Nail(1);
  EXPECT_EQ(second.Left(), 84);
  EXPECT_EQ(second.Top(), 10);
  EXPECT_EQ(second.ImageRect().left, 86);
  EXPECT_EQ(second.ImageRect().top, 12);
  EXPECT_EQ(second.TimeRect().left, 92);
  EXPECT_EQ(second.TimeRect().top, 74);
  EXPECT_EQ(second.TimeRect().bottom - second.TimeRect().top, Strip().TextHeight());
  EXPECT_EQ(second.Height(), 64 + Strip().TextHeight());
  EXPECT_EQ(second.NumberRect().right, second.ImageRect().right);
  EXPECT_EQ(second.NumberRect().top, second.ImageRect().top);

  // The strip at the bottom, the splitter above it, the picture above that.
  RECT strip{}, splitter{}, frame{};
  GetWindowRect(Strip().Handle(), &strip);
  GetWindowRect(Strip().Splitter(), &splitter);
  GetWindowRect(FCtrl->DetailFrame().Handle(), &frame);
  EXPECT_EQ(strip.bottom - strip.top, 63);
  EXPECT_EQ(splitter.bottom - splitter.top, 2);
  EXPECT_EQ(splitter.bottom, strip.top);
  EXPECT_EQ(frame.bottom, splitter.top);
  EXPECT_EQ(frame.bottom - frame.top, 300 - 63 - 2);

  // Under the playing recording: the images, the yellow numbers, and the
  // splitter in the button face colour.
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxPlaying; }, kWaitMs));
  RedrawWindow(FCtrl->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpPending();
  int width = 0, height = 0;
  const std::vector<COLORREF> screen = CaptureWindow(FCtrl->Handle(), "nails-strip", width, height);
  ASSERT_EQ(width, 400);
  const int stripTop = 300 - 63;
  auto at = [&](int x, int y) { return screen[size_t(y) * width + x]; };
  EXPECT_EQ(at(10 + 2 + 10, stripTop + 40), NailColour(0));
  EXPECT_EQ(at(200, stripTop - 1), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(at(378, stripTop + 40), RGB(0, 0, 0));
  const RECT number = Strip().Nail(0).NumberRect();
  bool yellow = false;
  for (int y = number.top; y < number.bottom; ++y)
    for (int x = number.left; x < number.right; ++x) yellow = yellow || at(x, stripTop + y) == TNail::Yellow;
  EXPECT_TRUE(yellow);
  EXPECT_TRUE(FBoxes.TakeDismissed().empty());
}

TEST_F(NailsStripTest, ClickSelectsAndFiresSkipWithoutSeeking) {
  const std::string folder = LocalFolder("click", IndexText(3, 60), 3);
  OpenStill(folder + "rec.krm");
  WaitForCount(3);
  Click(Strip().Nail(2));
  EXPECT_EQ(FEvents.Skips, std::vector<int32_t>{120});
  EXPECT_EQ(Strip().SelectedNail(), &Strip().Nail(2));
  EXPECT_TRUE(Strip().Nail(2).BorderShown());
  EXPECT_EQ(FCtrl->GetCurrentPosition(), 0);
  Click(Strip().Nail(1));
  EXPECT_EQ(FEvents.Skips, (std::vector<int32_t>{120, 60}));
  EXPECT_FALSE(Strip().Nail(2).Selected());
  EXPECT_TRUE(Strip().Nail(1).Selected());

  // On the screen: the selected thumbnail's green border.
  RedrawWindow(Strip().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  int width = 0, height = 0;
  const std::vector<COLORREF> screen = CaptureWindow(Strip().Handle(), "nails-selected", width, height);
  const RECT border = Strip().Nail(1).BorderRect();
  EXPECT_EQ(screen[size_t(border.top + 30) * width + border.left], TNail::Green);
  EXPECT_NE(screen[size_t(Strip().Nail(0).BorderRect().top + 30) * width + Strip().Nail(0).Left()], TNail::Green);

  // A press outside the image, released on it, is no click.
  SendMessageW(Strip().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 5));
  const RECT image = Strip().Nail(0).ImageRect();
  SendMessageW(Strip().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(image.left + 5, image.top + 5));
  EXPECT_EQ(FEvents.Skips.size(), 2u);

  // Without a sink a click only selects.
  FCtrl->AttachEventSink(nullptr);
  Click(Strip().Nail(0));
  EXPECT_EQ(FEvents.Skips.size(), 2u);
  EXPECT_TRUE(Strip().Nail(0).Selected());
}

TEST_F(NailsStripTest, PlayPositionSelectsTheThumbnailAtOrBeforeIt) {
  const std::string folder = LocalFolder("position", "5000=n0.bmp\r\n60000=n1.jpg\r\n120000=n2.bmp\r\n", 3);
  OpenStill(folder + "rec.krm");
  WaitForCount(3);
  Strip().ShowPosition(4);
  EXPECT_EQ(Strip().SelectedNail(), nullptr);
  struct TCase {
    int32_t Seconds;
    int Selected;
  };
  for (const TCase& c : {TCase{59, 0}, TCase{60, 1}, TCase{500, 2}, TCase{0, 2}, TCase{119, 1}}) {
    Strip().ShowPosition(c.Seconds);
    EXPECT_EQ(Strip().SelectedNail(), &Strip().Nail(c.Selected)) << c.Seconds;
  }
  EXPECT_TRUE(FEvents.Skips.empty());
  // Playing, the control's timer selects the thumbnail of the position.
  FCtrl->SetCurrentPosition(62000);
  FCtrl->Play();
  EXPECT_TRUE(PumpUntil([&] { return Strip().SelectedNail() == &Strip().Nail(1); }, 5000));
}

TEST_F(NailsStripTest, SelectingAThumbnailOfALaterRowScrollsItToTheTop) {
  // Taller than one row, so a later row can come to the top.
  const std::string folder = LocalFolder("scroll", IndexText(30, 10), 30);
  OpenStill(folder + "rec.krm");
  WaitForCount(30);
  const int row = Strip().Nail(0).Height() + 10;
  Strip().ShowPosition(100);  // thumbnail 10, the third row of five
  EXPECT_EQ(Strip().ScrollPosition(), 2 * row);
  EXPECT_EQ(Strip().Nail(10).Top(), 10);
  EXPECT_EQ(GetScrollPos(Strip().Handle(), SB_VERT), 2 * row);
  Strip().ShowPosition(0);
  EXPECT_EQ(Strip().ScrollPosition(), 0);
}

TEST_F(NailsStripTest, NarrowingTheStripReflowsTheThumbnails) {
  Resize(300, 300);
  const std::string folder = LocalFolder("width", IndexText(7), 7);
  OpenStill(folder + "rec.krm");
  WaitForCount(7);
  EXPECT_EQ(Strip().ColumnCount(), 4);
  EXPECT_TRUE(PlacedByGrid(4));
  Resize(150, 300);
  EXPECT_EQ(Strip().ColumnCount(), 2);
  ASSERT_NE(Strip().LayoutThread(), nullptr);
  EXPECT_TRUE(PumpUntil([&] { return PlacedByGrid(2); }, kWaitMs));
  Resize(60, 300);
  EXPECT_EQ(Strip().ColumnCount(), 1);
  EXPECT_TRUE(PumpUntil([&] { return PlacedByGrid(1); }, kWaitMs));
  // Widened again while a pass runs: the new pass wins.
  Resize(400, 300);
  Resize(230, 300);
  EXPECT_TRUE(PumpUntil([&] { return PlacedByGrid(3); }, kWaitMs));
}

TEST_F(NailsStripTest, ALayoutThreadThatEndedIsReplacedWithoutWaitingForIt) {
  Resize(300, 300);
  const std::string folder = LocalFolder("ended", IndexText(9), 9);
  OpenStill(folder + "rec.krm");
  WaitForCount(9);
  Resize(150, 300);
  ASSERT_TRUE(PumpUntil([&] { return PlacedByGrid(2); }, kWaitMs));
  // A message other than a new pass, while a pass runs, ends the thread.
  TNailsLayout* ended = Strip().LayoutThread();
  ASSERT_NE(ended, nullptr);
  // Widened without dispatching anything: the thread posts its first
  // placement and waits for it, in the middle of its pass.
  MoveWindow(FCtrl->Handle(), 0, 0, 300, 300, TRUE);
  const DWORD posted = GetTickCount();
  MSG msg;
  while (!PeekMessageW(&msg, FCtrl->Handle(), WM_KRM_LAYOUTNAIL, WM_KRM_LAYOUTNAIL, PM_NOREMOVE) &&
         GetTickCount() - posted < kWaitMs)
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
  PostThreadMessageW(ended->ThreadID(), WM_USER, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return ended->Finished(); }, kWaitMs));
  const DWORD start = GetTickCount();
  Resize(80, 300);
  EXPECT_LT(GetTickCount() - start, 2000u);
  EXPECT_TRUE(PumpUntil([&] { return PlacedByGrid(1); }, kWaitMs));
}

TEST_F(NailsStripTest, DraggingTheSplitterChangesTheStripsHeight) {
  const std::string folder = LocalFolder("splitter", IndexText(2), 2);
  OpenStill(folder + "rec.krm");
  WaitForCount(2);
  const HWND splitter = Strip().Splitter();
  SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 0));
  SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, static_cast<WORD>(static_cast<short>(-40))));
  SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(50, static_cast<WORD>(static_cast<short>(-40))));
  RECT strip{}, frame{};
  GetWindowRect(Strip().Handle(), &strip);
  GetWindowRect(FCtrl->DetailFrame().Handle(), &frame);
  EXPECT_EQ(strip.bottom - strip.top, 103);
  EXPECT_EQ(frame.bottom - frame.top, 300 - 103 - 2);
}

TEST_F(NailsStripTest, PaintingFreesItsBitmap) {
  const std::string folder = LocalFolder("paint", IndexText(3), 3);
  OpenStill(folder + "rec.krm");
  WaitForCount(3);
  PumpPending();
  TWindowsDeleteObject windows;
  ASSERT_TRUE(windows.Installed());
  for (int i = 0; i < 3; ++i)
    RedrawWindow(Strip().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GE(windows.Bitmaps(), 3);
  EXPECT_EQ(windows.Refused(), 0);
}

TEST_F(NailsStripTest, AFailingImageRaisesOneBoxAtATimeAndLaterOnesAreAdded) {
  // n1.jpg is missing, and a text file is no picture.
  const std::string folder = LocalFolder("missing", "0=n0.bmp\r\n1000=n1.jpg\r\n2000=n2.bmp\r\n3000=x.txt\r\n"
                                                    "4000=n4.bmp\r\n", 0);
  for (int k : {0, 2, 4}) WriteFileBytes(folder + "nails\\" + ImageName(k), NailImage(k, false));
  WriteFileBytes(folder + "nails\\x.txt", Text("no picture"));
  OpenStill(folder + "rec.krm");
  WaitForCount(3);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(Strip().Nail(k).Seconds(), k * 2) << k;
  EXPECT_EQ(Strip().Nail(2).NumberCaption(), "3");
  // The first failure is shown; the second, when it comes while that box
  // is up, goes to the daily log instead.
  const std::vector<std::wstring> boxes = FBoxes.TakeDismissed();
  EXPECT_EQ(FBoxes.MostAtOnce(), 1u);
  EXPECT_EQ(Mentions(boxes, "n1.jpg"), 1u);
  const std::string log = LogText();
  EXPECT_EQ(LinesWith(log, folder + "nails\\n1.jpg"), 0u);
  EXPECT_EQ(Mentions(boxes, "(.txt)") + LinesWith(log, folder + "nails\\x.txt"), 1u);

  // A 121st thumbnail is ignored without a message.
  for (int k = Strip().Count(); k < 125; ++k) Strip().AddNail(folder + "nails\\n0.bmp", k);
  EXPECT_EQ(Strip().Count(), 120);
  EXPECT_EQ(Strip().Nail(119).Seconds(), 119);
  EXPECT_TRUE(FBoxes.TakeDismissed().empty());
}

TEST_F(NailsStripTest, ARecordingWithoutAnIndexShowsNoStrip) {
  const std::string with = LocalFolder("with", IndexText(2), 2);
  OpenStill(with + "rec.krm");
  WaitForCount(2);
  ASSERT_TRUE(Strip().Visible());
  OpenStill(LocalFolder("without", "", 0) + "rec.krm");
  PumpPending();
  EXPECT_FALSE(Strip().Visible());
  RECT frame{};
  GetClientRect(FCtrl->DetailFrame().Handle(), &frame);
  EXPECT_EQ(frame.bottom, 300);
}

TEST_F(NailsStripTest, ThumbnailsOfTheRecordingOpenedBeforeNeverJoin) {
  const std::string many = LocalFolder("many", IndexText(120), 120);
  const std::string few = LocalFolder("few", IndexText(3, 7), 3);
  OpenStill(many + "rec.krm");
  FCtrl->Open(AnsiToWide(few + "rec.krm"));
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxOpened; }, kWaitMs));
  WaitForCount(3);
  for (int k = 0; k < Strip().Count(); ++k) EXPECT_EQ(Strip().Nail(k).ImagePath(), few + "nails\\" + ImageName(k));
}

// ---- thumbnails of a remote recording ---------------------------------------------

class NailsDownloadTest : public NailsStripTest {
 protected:
  void SetUp() override {
    NailsStripTest::SetUp();
    FPeer.Serve("/talks/rec.krm", Recording(20000));
  }

  void ServeImages(int Count) {
    // The "\" between folder and name reaches the server as "/".
    for (int k = 0; k < Count; ++k) FPeer.Serve("/talks//" + ImageName(k), NailImage(k, k % 2 == 1));
  }

  void OpenRemote(const std::string& Path = "/talks/rec.krm") {
    FCtrl->SetAutoStart(false);
    FCtrl->Open(AnsiToWide(FPeer.URL(Path)));
    ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetStatus() == bxOpened; }, kWaitMs));
    ASSERT_NE(FCtrl->Download(), nullptr);
  }

  bool WaitForDownload() {
    return PumpUntil([&] { return FCtrl->Download()->Finished(); }, kWaitMs);
  }

  // The paths asked for after the recording's own requests.
  std::vector<std::string> NailRequests() {
    std::vector<std::string> paths;
    for (const THttpPeer::TRequest& r : FPeer.Requests())
      if (r.Path.find("rec.krm") == std::string::npos) paths.push_back(r.Path);
    return paths;
  }

  // The download is done and the strip it asked for is loading.
  void WaitForStrip(int Count) {
    ASSERT_TRUE(WaitForDownload());
    PumpPending();
    WaitForCount(Count);
  }

  static bool Exists(const std::string& File) {
    return GetFileAttributesA(File.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  THttpPeer FPeer;
};

TEST_F(NailsDownloadTest, FetchesTheIndexThenEveryImageAndShowsThem) {
  FPeer.Serve("/talks/nails.xml", Text(IndexText(125)));
  ServeImages(125);
  OpenRemote();
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(FCtrl->Download()->Fetched(), 125);
  std::vector<std::string> expected{"/talks/nails.xml"};
  for (int k = 0; k < 125; ++k) expected.push_back("/talks//" + ImageName(k));
  EXPECT_EQ(NailRequests(), expected);
  WaitForCount(120);
  EXPECT_EQ(Strip().Nail(0).ImagePath(), FCtrl->TempFolder() + "nails\\n0.bmp");
  EXPECT_EQ(Strip().Nail(119).Seconds(), 124);
  EXPECT_TRUE(FBoxes.TakeDismissed().empty());
}

TEST_F(NailsDownloadTest, AnErrorPageInPlaceOfTheIndexFetchesNothing) {
  FPeer.Serve("/talks/nails.xml", Text("<!DOCTYPE html>\r\n<html>0=n0.bmp</html>\r\n"));
  ServeImages(1);
  OpenRemote();
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(NailRequests(), std::vector<std::string>{"/talks/nails.xml"});
  PumpPending();
  EXPECT_FALSE(Strip().Visible());
}

TEST_F(NailsDownloadTest, AnEmptyValueEndsTheImages) {
  FPeer.Serve("/talks/nails.xml", Text("0=n0.bmp\r\n1000=\r\n2000=n2.bmp\r\n"));
  ServeImages(3);
  OpenRemote();
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(NailRequests(), (std::vector<std::string>{"/talks/nails.xml", "/talks//n0.bmp"}));
  FBoxes.TakeDismissed();
}

TEST_F(NailsDownloadTest, NamesReachingOutOfTheNailsFolderAreNeitherAskedForNorWritten) {
  const std::string outside = FCtrl->TempFolder() + "nails\\..\\..\\brx_escaped.bmp";
  DeleteFileA(outside.c_str());
  FPeer.Serve("/talks/nails.xml",
              Text("0=n0.bmp\r\n1000=..\\..\\brx_escaped.bmp\r\n2000=c:\\brx_escaped.bmp\r\n3000=n1.jpg\r\n"));
  FPeer.Serve("/talks//..\\..\\brx_escaped.bmp", NailImage(5, false));
  FPeer.Serve("/talks//../../brx_escaped.bmp", NailImage(5, false));
  ServeImages(2);
  OpenRemote();
  ASSERT_TRUE(WaitForDownload());
  EXPECT_EQ(NailRequests(), (std::vector<std::string>{"/talks/nails.xml", "/talks//n0.bmp", "/talks//n1.jpg"}));
  EXPECT_EQ(GetFileAttributesA(outside.c_str()), INVALID_FILE_ATTRIBUTES);
  FBoxes.TakeDismissed();
}

TEST_F(NailsDownloadTest, AStalledImageHoldsUpNeitherTheNextRecordingNorTheControlsEnd) {
  FPeer.Serve("/talks/nails.xml", Text(IndexText(3)));
  ServeImages(3);
  FPeer.StallPath("/talks//n1.jpg");
  OpenRemote();
  ASSERT_TRUE(PumpUntil(
      [&] {
        const std::vector<std::string> asked = NailRequests();
        return std::find(asked.begin(), asked.end(), "/talks//n1.jpg") != asked.end();
      },
      kWaitMs));
  DWORD start = GetTickCount();
  OpenRemote();
  EXPECT_LT(GetTickCount() - start, 3000u);
  ASSERT_TRUE(PumpUntil(
      [&] {
        const std::vector<std::string> asked = NailRequests();
        return std::count(asked.begin(), asked.end(), "/talks//n1.jpg") == 2;
      },
      kWaitMs));
  start = GetTickCount();
  FCtrl.reset();
  EXPECT_LT(GetTickCount() - start, 3000u);
}

TEST_F(NailsDownloadTest, RefusedNamesAreSkippedAndMissingImagesRaiseOneBoxAtATime) {
  // Names of this run only: the log and the temporary folder outlive it.
  const std::string run = std::to_string(GetTickCount());
  const std::string evil = "brx_evil_" + run + ".bmp";
  const std::string gone[] = {"gone1_" + run + ".jpg", "gone2_" + run + ".bmp", "gone3_" + run + ".jpg"};
  // Were the refused names read, the first and the last would find this
  // picture outside the "nails" folder.
  const std::string outside = FCtrl->TempFolder() + "nails\\..\\..\\" + evil;
  WriteFileBytes(outside, NailImage(7, false));
  FPeer.Serve("/talks/nails.xml",
              Text("0=n0.bmp\r\n1000=..\\..\\" + evil + "\r\n2000=" + gone[0] + "\r\n3000=c:\\" + evil +
                   "\r\n4000=" + gone[1] + "\r\n5000=\\\\host\\share\\" + evil +
                   "\r\n6000=n1.jpg\r\n7000=../../" + evil + "\r\n8000=" + gone[2] + "\r\n9000=n2.bmp\r\n"));
  ServeImages(3);
  OpenRemote();
  WaitForStrip(3);
  DeleteFileA(outside.c_str());
  const int32_t seconds[] = {0, 6, 9};
  for (int k = 0; k < std::min(Strip().Count(), 3); ++k) {
    EXPECT_EQ(Strip().Nail(k).ImagePath(), FCtrl->TempFolder() + "nails\\" + ImageName(k)) << k;
    EXPECT_EQ(Strip().Nail(k).Seconds(), seconds[k]) << k;
  }
  const std::vector<std::wstring> boxes = FBoxes.TakeDismissed();
  EXPECT_EQ(FBoxes.MostAtOnce(), 1u);
  const std::string log = LogText();
  // The first missing image is shown; the others are shown or logged once
  // each, depending on whether a box was up when they came.
  EXPECT_EQ(Mentions(boxes, gone[0]), 1u);
  for (const std::string& name : gone) EXPECT_EQ(Mentions(boxes, name) + LinesWith(log, name), 1u) << name;
  EXPECT_EQ(Mentions(boxes, evil) + LinesWith(log, evil), 0u);
  EXPECT_EQ(boxes.size() + LinesWith(log, run), 3u);
}

TEST_F(NailsDownloadTest, AnImageMissingOnTheServerIsNotShownFromAnEarlierRecording) {
  for (const char* folder : {"/first/", "/second/"})
    FPeer.Serve(std::string(folder) + "rec.krm", Recording(20000));
  FPeer.Serve("/first/nails.xml", Text("0=same.jpg\r\n"));
  FPeer.Serve("/first//same.jpg", NailImage(1, true));
  OpenRemote("/first/rec.krm");
  WaitForStrip(1);
  ASSERT_EQ(Strip().Nail(0).Seconds(), 0);
  // The second recording names the same image, which its server lacks.
  FPeer.Serve("/second/nails.xml", Text("0=same.jpg\r\n1000=other.bmp\r\n"));
  FPeer.Serve("/second//other.bmp", NailImage(2, false));
  OpenRemote("/second/rec.krm");
  WaitForStrip(1);
  EXPECT_EQ(Strip().Nail(0).ImagePath(), FCtrl->TempFolder() + "nails\\other.bmp");
  EXPECT_FALSE(Exists(FCtrl->TempFolder() + "nails\\same.jpg"));
  EXPECT_EQ(Mentions(FBoxes.TakeDismissed(), "same.jpg"), 1u);
}

TEST_F(NailsDownloadTest, AnIndexWithoutEndIsCutAtItsBoundAndLeavesNoFile) {
  FPeer.EndlessPath("/talks/nails.xml");
  ServeImages(1);
  OpenRemote();
  // Far more than the 16 MiB the index may have takes on loopback.
  EXPECT_TRUE(PumpUntil([&] { return FCtrl->Download()->Finished(); }, 60000));
  EXPECT_EQ(NailRequests(), std::vector<std::string>{"/talks/nails.xml"});
  EXPECT_FALSE(Exists(FCtrl->TempFolder() + "nails.xml"));
  EXPECT_TRUE(FBoxes.TakeDismissed().empty());
}
