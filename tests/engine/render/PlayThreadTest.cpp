// The play thread against recordings from the test writer, read by the real
// file source and reported to a window that stands for the control.
// clang-format off
// Winsock before anything that includes windows.h.
#include "HttpPeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "decode/Decoder.h"
#include "base/EngineMessages.h"
#include "source/FileThread.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "KrmWriter.h"
#include "base/Log.h"
#include "render/BitmapImage.h"
#include "render/PlayThread.h"
#include "base/PlayerContext.h"

namespace {

constexpr DWORD kWaitMs = 10000;

// ---- what the control's window receives -----------------------------------

struct TReceived {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
};
std::vector<TReceived>* GReceived = nullptr;

LRESULT CALLBACK ControlWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= WM_KRM_FIRST && msg <= WM_KRM_LAST && GReceived) {
    GReceived->push_back({msg, wParam, lParam});
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// ---- an injectable clock ----------------------------------------------------

std::atomic<uint32_t> GClockNow{0};
std::atomic<uint32_t> GClockReads{0};
uint32_t TestClock() {
  GClockReads++;
  return GClockNow.load();
}

// ---- a file source whose seeks can be held and counted ----------------------

class TGatedFileThread : public TFileThread {
 public:
  using TFileThread::TFileThread;
  ~TGatedFileThread() override {
    Release();
    Stop();
  }
  void Release() { SetEvent(FGate.Get()); }
  std::atomic<int> Seeks{0};

 protected:
  void HandleSeek(uint32_t Time) override {
    Seeks++;
    WaitForSingleObject(FGate.Get(), kWaitMs);
    TFileThread::HandleSeek(Time);
  }

 private:
  TKernelHandle FGate{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// ---- reference pictures -----------------------------------------------------

void CopyPatch(TestPicture& target, const TestPicture& patch, int x, int y) {
  for (int row = 0; row < patch.Height; ++row)
    for (int col = 0; col < patch.Width; ++col)
      std::memcpy(target.Pixel(x + col, y + row), patch.Pixel(col, row), 3);
}

void XorPatch(TestPicture& target, const TestPicture& patch, int x, int y) {
  for (int row = 0; row < patch.Height; ++row)
    for (int col = 0; col < patch.Width; ++col)
      for (int c = 0; c < 3; ++c) target.Pixel(x + col, y + row)[c] ^= patch.Pixel(col, row)[c];
}

TestPicture Solid(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
  return TestPicture(width, height, b, g, r);
}

// A patch whose pixels differ from each other and from the gradient.
TestPicture Pattern(int width, int height, uint8_t seed) {
  TestPicture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.SetPixel(x, y, uint8_t(seed + 7 * x), uint8_t(seed ^ (13 * y)), uint8_t(seed + x * y));
  return picture;
}

struct TRegion {
  int Left, Top, Right, Bottom;
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "brx_play_" + std::to_string(GetCurrentProcessId()) + "_" + name + ".krm";
}

std::string ReadLogs() {
  TLog* log = GlobalLog().Instance();
  if (!log) return std::string();
  std::string text;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((log->Folder() + "\\*.log").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return text;
  do {
    std::ifstream in(log->Folder() + "\\" + found.cFileName, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    text += all.str();
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return text;
}

// ---- the fixture ------------------------------------------------------------

class PlayThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TDecoder::InitDecoder());
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ControlWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrxPlayThreadTestControl";
    RegisterClassW(&wc);
    FWindow =
        CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(FWindow);
    GReceived = &FReceived;
    FContext = {};
    FContext.FramesBuffer = &FFrames;
    FContext.KeyFramesBuffer = &FKeyFrames;
    FContext.IndexTable = &FIndex;
    FContext.Window = FWindow;
    GClockNow = 0;
    GClockReads = 0;
  }

  void TearDown() override {
    FPlay.reset();
    FContext.PlayThread = nullptr;
    FSource.reset();
    FContext.ReadThread = nullptr;
    GReceived = nullptr;
    if (FWindow) DestroyWindow(FWindow);
    TDecoder::UninitDecoder();
    for (const std::string& path : FFiles) DeleteFileA(path.c_str());
  }

  // Pumps the window's messages until done() holds or the bound passes.
  bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (done()) return true;
      const DWORD spent = GetTickCount() - start;
      if (spent >= timeoutMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - spent, 20), QS_ALLINPUT);
    }
  }
  // Takes whatever has already been posted to the window.
  void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }

  int Count(UINT msg) const {
    return int(
        std::count_if(FReceived.begin(), FReceived.end(), [&](const TReceived& r) { return r.Msg == msg; }));
  }
  std::vector<uint32_t> Positions() const {
    std::vector<uint32_t> positions;
    for (const TReceived& r : FReceived)
      if (r.Msg == WM_KRM_POSITION) positions.push_back(uint32_t(r.WParam));
    return positions;
  }

  // Opens the recording through the file source and makes the play thread,
  // as the control does on WM_KRM_OPENED.
  void Open(const KrmWriter& writer, const char* name, bool ignoreTimestamp, bool fakeClock = false,
            bool gated = false) {
    const std::string path = TempPath(name);
    writer.SaveToFile(path);
    FFiles.push_back(path);
    OpenURL(path, ignoreTimestamp, fakeClock, gated);
  }
  void OpenURL(const std::string& url, bool ignoreTimestamp, bool fakeClock = false, bool gated = false) {
    const std::string& path = url;
    if (gated) {
      auto source = std::make_unique<TGatedFileThread>(&FContext);
      FGated = source.get();
      FSource = std::move(source);
    } else {
      FSource = std::make_unique<TFileThread>(&FContext);
    }
    FContext.ReadThread = FSource.get();
    FSource->Open(std::wstring(path.begin(), path.end()), std::string());
    ASSERT_TRUE(WaitUntil([&] { return Count(WM_KRM_OPENED) > 0 || Count(WM_KRM_ERROR) > 0; }));
    ASSERT_EQ(Count(WM_KRM_ERROR), 0);
    FPlay = std::make_unique<TPlayThread>(&FContext);
    FContext.PlayThread = FPlay.get();
    if (fakeClock) FPlay->SetClock(&TestClock);
    FPlay->FIgnoreTimestamp = ignoreTimestamp;
  }

  bool PlayToTime(uint32_t time) {
    FPlay->Play();
    return WaitUntil([&] { return FPlay->FLastSampleTime == time && FPlay->RenderedCount() > 0; });
  }

  // Largest difference of one colour byte between the picture and the
  // reference, inside the region when inside is true, else outside it.
  int MaxDifference(const TestPicture& expected, const TRegion& region = {0, 0, 0, 0}, bool inside = false) {
    TBackBuffer& buffer = FPlay->BackBuffer();
    buffer.Lock();
    int worst = 0;
    EXPECT_TRUE(buffer.Active());
    EXPECT_EQ(buffer.Width(), expected.Width);
    EXPECT_EQ(buffer.Height(), expected.Height);
    if (buffer.Active() && buffer.Width() == expected.Width && buffer.Height() == expected.Height) {
      GdiFlush();
      for (int y = 0; y < expected.Height; ++y)
        for (int x = 0; x < expected.Width; ++x) {
          if (region.Contains(x, y) != inside) continue;
          const uint8_t* got = buffer.Bits() + size_t(y) * buffer.RowBytes() + size_t(x) * 3;
          for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(got[c]) - int(expected.Pixel(x, y)[c])));
        }
    }
    buffer.Unlock();
    return worst;
  }

  // The picture's bytes as they are, cursor included.
  std::vector<uint8_t> Snapshot() {
    TBackBuffer& buffer = FPlay->BackBuffer();
    buffer.Lock();
    GdiFlush();
    std::vector<uint8_t> bytes;
    if (buffer.Active()) bytes.assign(buffer.Bits(), buffer.Bits() + size_t(buffer.Height()) * buffer.RowBytes());
    buffer.Unlock();
    return bytes;
  }

  HWND FWindow = nullptr;
  std::vector<TReceived> FReceived;
  TFramesBuffer FFrames;
  TKeyFramesBuffer FKeyFrames;
  TIndexTable FIndex;
  PlayerContext FContext{};
  std::unique_ptr<TReadThread> FSource;
  TGatedFileThread* FGated = nullptr;
  std::unique_ptr<TPlayThread> FPlay;
  std::vector<std::string> FFiles;
};

constexpr int W = 64;
constexpr int H = 48;

// ---- rendering --------------------------------------------------------------

TEST_F(PlayThreadTest, EveryFrameAndCompressionTypeComposesTheReferencePicture) {
  const TestPicture key = TestPicture::Gradient(W, H);
  const TestPicture xorPatch = Pattern(20, 10, 0x35);
  const TestPicture lzoPatch = Pattern(16, 12, 0x90);
  const TestPicture jpegPatch = Solid(16, 16, 40, 160, 220);
  const TestPicture cursor = Pattern(8, 8, 0x11);

  KrmWriter writer(W, H);
  writer.SetDuration(700);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(key));
  writer.AddCursor(100, 30, 20, BmpFileImage(cursor));
  // Drawn under the shown cursor: the cursor is lifted and put back.
  writer.AddFrame(200, FT_XOR, CT_ZLIB, ZlibCompress(BmpFileImage(xorPatch)), 25, 15);
  writer.AddFrame(300, FT_COPY, CT_LZO, Lzo1x1Compress(BmpFileImage(lzoPatch)), 2, 30);
  writer.AddMarker(400);
  writer.AddFrame(500, FT_COPY, CT_JPEG, JpegCompressUpsideDown(jpegPatch), 44, 4);
  writer.AddFrame(600, FT_COPY, CT_FIXED58, Fixed58Record(1, 2, 250), 63, 47);
  writer.AddCursor(700, 0, 0);  // hides the cursor again

  TestPicture expected = key;
  XorPatch(expected, xorPatch, 25, 15);
  CopyPatch(expected, lzoPatch, 2, 30);
  CopyPatch(expected, jpegPatch, 44, 4);
  expected.SetPixel(63, 47, 1, 2, 250);

  Open(writer, "all_types", true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return Count(WM_KRM_END) > 0; }));
  FPlay->Pause();
  Drain();

  const TRegion jpeg{44, 4, 60, 20};
  EXPECT_EQ(MaxDifference(expected, jpeg, false), 0);
  EXPECT_LE(MaxDifference(expected, jpeg, true), 24);
  EXPECT_EQ(Count(WM_KRM_MARKER), 1);
  EXPECT_EQ(FPlay->FLastSampleTime, 700u);
  EXPECT_EQ(FPlay->RenderedCount(), 8u);
  EXPECT_EQ(Count(WM_KRM_DIRTYRECT), 8);
}

TEST_F(PlayThreadTest, BadRecordsAreLoggedAndSkippedAndPlaybackGoesOn) {
  const TestPicture key = TestPicture::Gradient(W, H);
  const TestPicture good = Pattern(10, 10, 0x42);
  const TestPicture last = Pattern(6, 6, 0xC8);

  Bytes badHeader = BmpFileImage(Pattern(10, 10, 0x77));
  const uint32_t farOffset = 0x7FFFFFF0;
  std::memcpy(&badHeader[10], &farOffset, 4);  // rows far outside the image

  Bytes badLzo = Lzo1x1Compress(BmpFileImage(Pattern(10, 10, 0x19)));
  badLzo.resize(badLzo.size() / 2);  // cut: no end marker

  KrmWriter writer(W, H);
  writer.SetDuration(500);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(key));
  writer.AddFrame(100, FT_COPY, CT_RAW, BmpFileImage(good), 5, 5);
  // Would the shared block be drawn after a failed decode, the previous
  // patch would show up here again.
  writer.AddFrame(200, FT_COPY, CT_LZO, badLzo, 40, 30);
  writer.AddFrame(300, FT_COPY, CT_RAW, badHeader, 20, 20);
  writer.AddFrame(400, FT_COPY, CT_ZLIB, Bytes{1, 2, 3, 4, 5, 6, 7, 8}, 30, 2);
  writer.AddFrame(500, FT_COPY, CT_RAW, BmpFileImage(last), 50, 40);

  TestPicture expected = key;
  CopyPatch(expected, good, 5, 5);
  CopyPatch(expected, last, 50, 40);

  ASSERT_TRUE(GlobalLog().Instance());
  const size_t logBefore = ReadLogs().size();
  Open(writer, "bad_records", true);
  ASSERT_TRUE(PlayToTime(500));
  FPlay->Pause();
  EXPECT_EQ(MaxDifference(expected), 0);
  EXPECT_EQ(FPlay->RenderedCount(), 6u);

  // The log only grows: what this run wrote is at its end.
  const std::string log = ReadLogs().substr(logBefore);
  EXPECT_NE(log.find("UnZipBufferEx Error:"), std::string::npos) << log;
  EXPECT_NE(log.find("Time=200"), std::string::npos) << log;
  EXPECT_NE(log.find("Time=300"), std::string::npos) << log;
}

// ---- clock ------------------------------------------------------------------

TEST_F(PlayThreadTest, RecordsWaitForTheirTimeExceptTheFirst) {
  KrmWriter writer(W, H);
  writer.AddKeyFrame(3000, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
  writer.AddCursor(4000, 10, 10);
  writer.AddCursor(1000000, 12, 12);

  // The clock wraps round while playing.
  GClockNow = 0xFFFFFF00u;
  Open(writer, "clock", false, true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1; }));
  EXPECT_EQ(FPlay->FLastSampleTime, 3000u);

  GClockNow += 3999;
  const uint32_t reads = GClockReads;
  ASSERT_TRUE(WaitUntil([&] { return GClockReads >= reads + 3; }));
  EXPECT_EQ(FPlay->RenderedCount(), 1u);
  EXPECT_EQ(FPlay->GetPosition(), 3999u);

  GClockNow += 1;
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 2; }));
  EXPECT_EQ(FPlay->FLastSampleTime, 4000u);

  FPlay->Stop();
  EXPECT_EQ(FPlay->State(), TPlayThread::psStopped);
  EXPECT_EQ(FPlay->GetPosition(), 0u);
  EXPECT_EQ(FPlay->FLastSampleTime, 0u);
  // The source was stopped too: it cleared the buffer.
  EXPECT_EQ(FFrames.GetCount(), 0);
}

TEST_F(PlayThreadTest, FastForwardDoublesUpTo32WithoutJumping) {
  KrmWriter writer(W, H);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
  writer.AddCursor(10000000, 10, 10);

  GClockNow = 500;
  Open(writer, "fast", false, true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1; }));
  GClockNow += 10000;
  ASSERT_TRUE(WaitUntil([&] { return FPlay->GetPosition() == 10000; }));

  uint32_t position = 10000;
  for (int expected : {2, 4, 8, 16, 32, 32}) {
    const uint32_t reads = GClockReads;
    FPlay->FastForward();
    ASSERT_TRUE(WaitUntil([&] { return GClockReads >= reads + 3 && FPlay->Speed() == expected; }));
    EXPECT_EQ(FPlay->GetPosition(), position) << "speed " << expected;
    GClockNow += 100;
    position += 100 * expected;
    ASSERT_TRUE(WaitUntil([&] { return FPlay->GetPosition() == position; })) << "speed " << expected;
  }
  // A play command handled outside the loop sets speed 1 again.
  FPlay->Pause();
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->Speed() == 1; }));
}

// With the real clock the loop waits for a record ten minutes ahead; a
// command must still be taken at once, not after that wait.
TEST_F(PlayThreadTest, CommandsEndTheWaitForAFarRecordOnTheRealClock) {
  KrmWriter writer(W, H);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
  writer.AddCursor(600000, 10, 10);
  Open(writer, "far", false);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1; }));
  FPlay->FastForward();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->Speed() == 2; }));
  FPlay->Pause();
  EXPECT_EQ(FPlay->State(), TPlayThread::psPaused);
  EXPECT_EQ(FPlay->RenderedCount(), 1u);
  EXPECT_LT(FPlay->GetPosition(), 600000u);
}

TEST_F(PlayThreadTest, EndIsPostedAtTheDurationOnly) {
  struct TCase {
    uint32_t Duration;
    int Ends;
  };
  for (const TCase& c : {TCase{600, 2}, TCase{0, 0}}) {
    SCOPED_TRACE(c.Duration);
    KrmWriter writer(W, H);
    writer.SetDuration(c.Duration);
    writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
    writer.AddCursor(300, 5, 5);
    writer.AddCursor(600, 6, 6);
    writer.AddCursor(900, 7, 7);
    FReceived.clear();
    Open(writer, c.Duration ? "end" : "no_end", true);
    ASSERT_TRUE(PlayToTime(900));
    // Pause is handled after the last record's messages were posted.
    FPlay->Pause();
    Drain();
    EXPECT_EQ(Count(WM_KRM_END), c.Ends);
    FPlay.reset();
    FSource.reset();
    FFrames.Clear();
    FKeyFrames.Clear();
    FIndex.Clear();
  }
}

// ---- trim -------------------------------------------------------------------

TEST_F(PlayThreadTest, TrimResumesAtTheNewestKeyFrameNotAtAWaitingCopy) {
  const TestPicture first = TestPicture::Gradient(W, H);
  const TestPicture second = Solid(W, H, 10, 200, 90);
  const TestPicture patch = Pattern(8, 8, 0x5A);
  const TestPicture late = Pattern(4, 4, 0xE1);
  KrmWriter writer(W, H);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(first));
  writer.AddFrame(1000, FT_COPY, CT_RAW, BmpFileImage(patch), 0, 0);
  writer.AddKeyFrame(2000, CT_RAW, BmpFileImage(second));
  writer.AddFrame(3000, FT_COPY, CT_RAW, BmpFileImage(late), 30, 30);

  Open(writer, "trim", false, true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1 && FFrames.GetCount() == 4; }));
  // The loop has copied the record at 1000 ms and waits for its time.
  const uint32_t reads = GClockReads;
  ASSERT_TRUE(WaitUntil([&] { return GClockReads >= reads + 3; }));
  FPlay->TrimBuffer(0);
  ASSERT_TRUE(WaitUntil([&] { return FFrames.GetCount() == 2; }));
  GClockNow += 5000;
  ASSERT_TRUE(WaitUntil([&] { return FPlay->FLastSampleTime == 3000; }));
  FPlay->Pause();

  TestPicture expected = second;
  CopyPatch(expected, late, 30, 30);
  EXPECT_EQ(MaxDifference(expected), 0);
  EXPECT_EQ(FPlay->RenderedCount(), 3u);
}

// ---- seeking ----------------------------------------------------------------

class PlayThreadSeekTest : public PlayThreadTest {
 protected:
  // Key frames at 0 and 1000, a patch every 100 ms between; each patch
  // paints one more column so every step has its own picture.
  void OpenSteps(bool fakeClock = false) {
    FKey0 = TestPicture::Gradient(W, H);
    FKey1 = Solid(W, H, 200, 30, 30);
    KrmWriter writer(W, H);
    writer.SetDuration(1900);
    for (int k = 0; k < 2; ++k) {
      writer.AddKeyFrame(k * 1000, CT_RAW, BmpFileImage(k ? FKey1 : FKey0));
      for (int s = 1; s <= 9; ++s)
        writer.AddFrame(k * 1000 + s * 100, FT_COPY, CT_RAW, BmpFileImage(Column(s)), uint16_t(s * 4), 0);
    }
    Open(writer, "steps", true, fakeClock);
    ASSERT_TRUE(PlayToTime(1900));
    FPlay->Pause();
    Drain();
    FReceived.clear();
  }
  static TestPicture Column(int step) { return Solid(4, H, uint8_t(step * 20), 0, uint8_t(255 - step * 20)); }
  TestPicture At(uint32_t time) const {
    TestPicture picture = time >= 1000 ? FKey1 : FKey0;
    for (uint32_t s = 1; s <= (time % 1000) / 100; ++s) CopyPatch(picture, Column(int(s)), int(s) * 4, 0);
    return picture;
  }
  TestPicture FKey0, FKey1;
};

TEST_F(PlayThreadSeekTest, SeekWhilePausedMovesPictureAndPosition) {
  OpenSteps();
  for (uint32_t target : {450u, 1230u, 300u}) {
    SCOPED_TRACE(target);
    FPlay->Seek(target);
    ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == target; }));
    EXPECT_EQ(FPlay->GetPosition(), target);
    EXPECT_EQ(FPlay->FLastSampleTime, target / 100 * 100);
    EXPECT_EQ(MaxDifference(At(target)), 0);
  }
  // Beyond the end: clamped to the duration.
  FPlay->Seek(60000);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 1900; }));
  EXPECT_EQ(FPlay->GetPosition(), 1900u);
  EXPECT_EQ(MaxDifference(At(1900)), 0);
}

TEST_F(PlayThreadSeekTest, SeeksQueuedBehindAReplayMergeIntoTheLast) {
  OpenSteps();
  {
    // Holding the decoder keeps the first seek's replay waiting.
    TDecoderLock hold;
    FPlay->Seek(200);
    FPlay->Seek(500);
    FPlay->Seek(700);
    FPlay->Seek(1400);
  }
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 1400; }));
  FPlay->Pause();
  Drain();
  // Whichever seek the thread took first (it may already have merged some of
  // the next ones), everything queued behind its blocked replay ran as one.
  const auto positions = Positions();
  ASSERT_LE(positions.size(), 2u);
  if (positions.size() == 2) {
    EXPECT_NE(positions.front(), 1400u);
  }
  EXPECT_EQ(MaxDifference(At(1400)), 0);
}

TEST_F(PlayThreadTest, AbnormalBufferIsLoggedAndADumpThatCannotBeWrittenDoesNotStopPlayback) {
  // The index names a key frame at 500 ms that the frame data lacks.
  KrmWriter writer(W, H);
  writer.SetDuration(600);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
  writer.AddCursor(400, 0, 0);
  const uint64_t offset = writer.AddCursor(600, 0, 0);
  writer.AddIndexEntry(500, offset);
  // A folder where the dump file should go makes writing it fail.
  const bool blocked = CreateDirectoryA("c:\\dump.txt", nullptr) != FALSE;
  ASSERT_TRUE(GlobalLog().Instance());
  const size_t logBefore = ReadLogs().size();

  Open(writer, "abnormal", true);
  ASSERT_TRUE(PlayToTime(600));
  FPlay->Pause();
  FPlay->Seek(300);  // back to the first key frame's interval
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 300; }));
  FPlay->Seek(650);
  ASSERT_TRUE(WaitUntil([&] { return Positions().back() == 600; }));
  EXPECT_EQ(FPlay->GetPosition(), 600u);  // clamped to the duration
  FPlay->Play();
  FPlay->Pause();  // the thread still answers

  const std::string log = ReadLogs().substr(logBefore);
  if (blocked) RemoveDirectoryA("c:\\dump.txt");
  EXPECT_NE(log.find("Abnormal buffer"), std::string::npos) << log;
  EXPECT_NE(log.find("DestKeyTime=500, msTime=600"), std::string::npos) << log;
  if (blocked) {
    EXPECT_NE(log.find("DumpIndex(c:\\dump.txt)"), std::string::npos) << log;
  }
}

TEST(PlayThreadBare, SeekIsIgnoredWhileStoppedAndTakenWhilePaused) {
  ASSERT_TRUE(TDecoder::InitDecoder());
  TFramesBuffer frames;
  TKeyFramesBuffer keys;
  TIndexTable index;
  index.Add(0, false, 0);
  PlayerContext context{};
  context.FramesBuffer = &frames;
  context.KeyFramesBuffer = &keys;
  context.IndexTable = &index;
  context.Header.Width = W;
  context.Header.Height = H;
  {
    TPlayThread play(&context);
    play.Seek(500);
    play.Pause();  // handled after the seek, which found the thread stopped
    EXPECT_EQ(play.GetPosition(), 0u);
    play.Seek(700);
    play.Pause();
    EXPECT_EQ(play.GetPosition(), 700u);
    play.Stop();
    EXPECT_EQ(play.GetPosition(), 0u);
  }
  TDecoder::UninitDecoder();
}

// Big raw key frames, one a second, each of its own colour: the source
// buffers about 5 MB, so the later ones are not buffered at first.
constexpr int kFarW = 320, kFarH = 240;
KrmWriter FarRecording() {
  KrmWriter writer(kFarW, kFarH);
  writer.SetDuration(59000);
  for (int s = 0; s < 60; ++s)
    writer.AddKeyFrame(s * 1000, CT_RAW, BmpFileImage(Solid(kFarW, kFarH, uint8_t(s * 4), 0, 0)));
  return writer;
}

TEST_F(PlayThreadTest, FarSeekAsksTheSourceOncePerKeyFrame) {
  const int w = kFarW, h = kFarH;
  Open(FarRecording(), "far", false, true, true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1 && FFrames.IsFull(); }));
  FPlay->Pause();
  ASSERT_LT(FFrames.MaxTimeStamp(), 40000u);

  FPlay->Seek(50500);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 50500; }));
  // The same key-frame interval before the data came: only the position moves.
  FPlay->Seek(50700);
  ASSERT_TRUE(WaitUntil([&] { return FPlay->GetPosition() == 50700; }));
  EXPECT_EQ(Positions().size(), 1u);
  // Another interval asks again.
  FPlay->Seek(45200);
  ASSERT_TRUE(WaitUntil([&] { return Positions().size() == 2; }));
  EXPECT_EQ(Positions().back(), 45200u);

  FGated->Release();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->FLastSampleTime == 45000; }));
  EXPECT_EQ(FGated->Seeks, 2);
  EXPECT_EQ(FPlay->GetPosition(), 45200u);
  EXPECT_EQ(MaxDifference(Solid(w, h, 45 * 4, 0, 0)), 0);
}


// ---- hardening -------------------------------------------------------------

// Key frames whose pictures are too short for a bitmap: neither cached nor
// taken from the cache, with the cache on as the play thread starts.
TEST_F(PlayThreadTest, KeyFramesThatAreNoPictureStayOutOfTheCache) {
  Bytes sizeSaysThree = BmpFileImage(Solid(W, H, 9, 9, 9));
  const uint32_t three = 3;
  std::memcpy(&sizeSaysThree[2], &three, 4);
  const TestPicture last = Solid(W, H, 30, 60, 90);
  KrmWriter writer(W, H);
  writer.SetDuration(500);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(W, H)));
  writer.AddKeyFrame(100, CT_RAW, Bytes{1, 2, 3});  // a cache with room appends
  writer.AddKeyFrame(200, CT_RAW, BmpFileImage(Solid(W, H, 200, 10, 10)));
  writer.AddKeyFrame(300, CT_RAW, BmpFileImage(Solid(W, H, 10, 200, 10)));
  writer.AddKeyFrame(400, CT_ZLIB, ZlibCompress(sizeSaysThree));  // a full cache reuses
  writer.AddKeyFrame(500, CT_RAW, BmpFileImage(last));

  ASSERT_TRUE(GlobalLog().Instance());
  const size_t logBefore = ReadLogs().size();
  Open(writer, "short_keys", true);
  ASSERT_TRUE(FPlay->FCacheKeyFrames);
  ASSERT_TRUE(PlayToTime(500));
  FPlay->Pause();
  EXPECT_EQ(MaxDifference(last), 0);
  {
    TKeyFramesBuffer::TLocked cache(FKeyFrames);
    EXPECT_EQ(cache.List.size(), 3u);
    for (KeyFrameEntry* entry : cache.List) {
      SCOPED_TRACE(entry->Header.Time);
      EXPECT_NE(entry->Header.Time, 100u);
      EXPECT_NE(entry->Header.Time, 400u);
      uint32_t size;
      std::memcpy(&size, entry->Picture + 2, 4);
      std::string why;
      EXPECT_TRUE(CheckBitmapImage(entry->Picture, size, TBitmapUse::Patch, why)) << why;
    }
  }
  const std::string log = ReadLogs().substr(logBefore);
  EXPECT_NE(log.find("Time=100"), std::string::npos) << log;
  EXPECT_NE(log.find("Time=400"), std::string::npos) << log;

  // Back to a cached key frame: drawn from the cache.
  FPlay->Seek(350);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 350; }));
  EXPECT_EQ(MaxDifference(Solid(W, H, 10, 200, 10)), 0);
}

// -1 from the source means that nothing is ready yet, not "the last record".
TEST_F(PlayThreadSeekTest, FrameReadyOfMinusOneRendersNothing) {
  OpenSteps();
  FPlay->Seek(450);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 450; }));
  FReceived.clear();
  ASSERT_TRUE(PostThreadMessageW(FPlay->ThreadID(), WM_KRM_FRAMEREADY, WPARAM(-1), 0));
  // A seek does not cut a replay short: it is handled after whatever the
  // frame-ready drew, and its own replay posts one rectangle.
  FPlay->Seek(1230);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 1230; }));
  EXPECT_EQ(Count(WM_KRM_DIRTYRECT), 1);
  EXPECT_EQ(MaxDifference(At(1230)), 0);
}

// Play a web recording, seek far, stop before the data came, play, seek
// into the same key-frame interval again: the second seek must reach the
// source, or the thread sits playing with nothing moving.
TEST_F(PlayThreadTest, SeekAfterAStopBeforeTheDataCameAsksTheSourceAgain) {
  const int w = kFarW, h = kFarH;
  THttpPeer peer(120000);
  peer.Serve("/far.krm", FarRecording().Build());
  OpenURL(peer.URL("/far.krm"), false, true);
  FPlay->Play();
  ASSERT_TRUE(WaitUntil([&] { return FPlay->RenderedCount() == 1; }));
  // From here the source's requests get no answer; what it buffered so far
  // lies far before the target.
  peer.SetMode(THttpPeer::TMode::Hold);
  ASSERT_LT(FFrames.MaxTimeStamp(), 40000u);
  FPlay->Seek(50500);
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == 50500; }));
  FPlay->Stop();
  FPlay->Play();
  FPlay->Seek(50700);
  ASSERT_TRUE(WaitUntil([&] { return Positions().size() == 2; }));
  EXPECT_EQ(Positions().back(), 50700u);
  peer.SetMode(THttpPeer::TMode::Normal);
  ASSERT_TRUE(WaitUntil([&] { return FPlay->FLastSampleTime == 50000; }));
  EXPECT_EQ(FPlay->State(), TPlayThread::psPlaying);
  EXPECT_EQ(MaxDifference(Solid(w, h, 50 * 4, 0, 0)), 0);
  FPlay.reset();
  FSource.reset();
}

// ---- the replay of a seek ----------------------------------------------------

// A replay draws the cursor once at its end instead of around every record;
// the picture must be the one that drawing every record in turn gives.
TEST_F(PlayThreadTest, ReplayedPictureIsTheRecordByRecordPictureByteForByte) {
  const int w = 160, h = 120;
  KrmWriter writer(w, h);
  writer.SetDuration(2000);
  writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture::Gradient(w, h)));
  writer.AddCursor(50, 30, 20);
  // Patches under and beside the cursor, each moving it.
  writer.AddFrame(100, FT_COPY, CT_RAW, BmpFileImage(Pattern(40, 30, 0x21)), 20, 10, 60, 40);
  writer.AddFrame(150, FT_XOR, CT_ZLIB, ZlibCompress(BmpFileImage(Pattern(50, 50, 0x77))), 50, 30, 70, 45);
  writer.AddFrame(200, FT_COPY, CT_LZO, Lzo1x1Compress(BmpFileImage(Pattern(30, 20, 0x3C))), 120, 90);
  writer.AddCursor(250, 100, 60, BmpFileImage(Pattern(12, 16, 0x55)));  // a picture of its own
  writer.AddFrame(300, FT_XOR, CT_RAW, BmpFileImage(Pattern(20, 20, 0x99)), 95, 55, 140, 100);
  writer.AddCursor(350, 0, 0);  // hidden
  writer.AddFrame(400, FT_COPY, CT_RAW, BmpFileImage(Pattern(16, 16, 0x12)), 0, 0, 150, 110);  // at the edge
  writer.AddKeyFrame(1000, CT_RAW, BmpFileImage(Solid(w, h, 90, 90, 200)));
  writer.AddFrame(1100, FT_COPY, CT_RAW, BmpFileImage(Pattern(20, 20, 0x44)), 10, 10, 15, 15);
  // Every target lies inside the buffer: one past it would also ask the
  // source, whose late answer could cut the next replay short.
  writer.AddFrame(1300, FT_COPY, CT_RAW, BmpFileImage(Pattern(4, 4, 0x66)), 150, 0);
  Open(writer, "replay_cursor", true);
  ASSERT_TRUE(PlayToTime(1300));
  FPlay->Pause();

  auto pictureAt = [&](uint32_t target, bool recordByRecord) {
    FPlay->FReplayRecordByRecord = recordByRecord;
    const uint32_t away = target >= 1000 ? 300 : 1050;
    for (uint32_t t : {away, target}) {
      FReceived.clear();
      FPlay->Seek(t);
      EXPECT_TRUE(WaitUntil([&] { return !Positions().empty() && Positions().back() == t; }));
    }
    return Snapshot();
  };
  for (uint32_t target : {120u, 180u, 220u, 270u, 320u, 380u, 450u, 1150u}) {
    SCOPED_TRACE(target);
    const std::vector<uint8_t> batched = pictureAt(target, false);
    const std::vector<uint8_t> reference = pictureAt(target, true);
    ASSERT_EQ(batched.size(), reference.size());
    ASSERT_FALSE(batched.empty());
    EXPECT_TRUE(batched == reference);
  }
  // The cursor is part of what was compared: the last target shows it.
  const TestPicture key = Solid(w, h, 90, 90, 200);
  TestPicture withoutCursor = key;
  CopyPatch(withoutCursor, Pattern(20, 20, 0x44), 10, 10);
  EXPECT_GT(MaxDifference(withoutCursor), 0);
}

// A command waiting behind a replay cuts it short at the next look at the
// queue, which comes after a few milliseconds of the thread's clock.
TEST_F(PlayThreadSeekTest, APauseCutsAReplayShortWithinAFewMilliseconds) {
  OpenSteps(true);
  {
    // The replay from the key frame at 0 waits for the decoder at its first
    // record, unless the pause was already waiting when it began.
    TDecoderLock hold;
    FPlay->Seek(900);
    ASSERT_TRUE(PostThreadMessageW(FPlay->ThreadID(), WM_KRM_PAUSE, 0, 0));
    GClockNow += 5;
  }
  ASSERT_TRUE(WaitUntil([&] { return !Positions().empty(); }));
  // Nothing, or the record that waited for the decoder, was drawn.
  const uint32_t last = FPlay->FLastSampleTime;
  EXPECT_TRUE(last == 1900 || last == 0) << last;
  FPlay->Pause();
}

}  // namespace
