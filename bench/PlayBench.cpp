// Playback through the real file source and play thread into a message-only
// window standing for the control, on a 1920x1080 ten-minute recording of a
// presenter's screen: typing, scrolling and window moves between key frames
// every 30 s, in JPEG, zlib and LZO1X; its last minute is a still screen.
//
// The recording is written by a child run of this program, so that the
// memory figures are the player's alone.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decode/Decoder.h"
#include "base/EngineMessages.h"
#include "source/FileThread.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "render/PlayThread.h"
#include "base/PlayerContext.h"
#include "StreamedRecording.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr uint32_t kDuration = 600000;
constexpr uint32_t kSegment = 30000;  // a key frame every 30 s
constexpr uint32_t kStillFrom = 540000;

// ---- the recording -----------------------------------------------------------

// The payload kinds; records of one kind share their payload.
enum TKind { kKeyJpeg, kKeyZlib, kTyping, kScroll, kMoveXor, kMoveJpeg, kCursor, kKindCount };
constexpr int kTypingVariants = 8;
constexpr int kScrollVariants = 4;
constexpr int kMoveVariants = 2;

struct TPlanned {
  uint32_t Time;
  TKind Kind;
  int Variant;
  uint16_t X, Y;
};

struct TKindShape {
  int16_t FrameType;
  int16_t Compression;
  int Width, Height;
};
const TKindShape kShapes[kKindCount] = {
    {FT_KEY, CT_JPEG, kWidth, kHeight}, {FT_KEY, CT_ZLIB, kWidth, kHeight}, {FT_COPY, CT_LZO, 160, 20},
    {FT_COPY, CT_ZLIB, 960, 540},       {FT_XOR, CT_ZLIB, 520, 380},        {FT_COPY, CT_JPEG, 520, 380},
    {FT_CURSOR, CT_RAW, 0, 0},
};

// Every record of the recording, in time order; times are unique, so the
// record shown at any time is known.
std::vector<TPlanned> Plan() {
  std::vector<TPlanned> plan;
  auto add = [&](uint32_t time, TKind kind, int variant, int x, int y) {
    plan.push_back({time, kind, variant, uint16_t(x), uint16_t(y)});
  };
  for (uint32_t base = 0; base < kDuration; base += kSegment) {
    const int segment = int(base / kSegment);
    add(base, segment % 2 ? kKeyZlib : kKeyJpeg, 0, 0, 0);
    if (base >= kStillFrom) {
      // A still screen: the pointer rests and moves now and then, a word is
      // typed every few seconds.
      for (uint32_t t = 250; t < kSegment; t += 1000) add(base + t, kCursor, 0, 900 + (t / 1000) % 7, 500);
      for (uint32_t t = 500; t < kSegment; t += 3000)
        add(base + t, kTyping, int(t / 3000) % kTypingVariants, 300, 400);
      continue;
    }
    // Typing: a word every 150 ms along the lines of a document, the pointer
    // nudged every 300 ms.
    for (uint32_t t = 500, n = 0; t < 10000; t += 150, ++n)
      add(base + t, kTyping, int(n % kTypingVariants), 200 + int(n % 8) * 160, 300 + int(n / 8) * 22);
    for (uint32_t t = 575; t < 10000; t += 300) add(base + t, kCursor, 0, 1200 + int(t / 300) % 40, 700);
    // Scrolling: the document area redrawn every 100 ms for 2 s.
    for (uint32_t t = 12000, n = 0; t <= 14000; t += 100, ++n)
      add(base + t, kScroll, int(n % kScrollVariants), 400, 200);
    // A window dragged across the screen for 2 s: XOR deltas of its outline
    // and copies of its picture in turn.
    for (uint32_t t = 16000, n = 0; t <= 18000; t += 80, ++n)
      add(base + t, n % 2 ? kMoveJpeg : kMoveXor, int(n / 2 % kMoveVariants), 100 + int(n) * 40,
          150 + int(n) * 12);
    // Then reading: the pointer moves, a word now and then.
    for (uint32_t t = 20250; t < kSegment; t += 500) add(base + t, kCursor, 0, 1000 + int(t / 500) % 30, 640);
    for (uint32_t t = 20000; t < kSegment; t += 2000)
      add(base + t, kTyping, int(t / 2000) % kTypingVariants, 600, 820);
  }
  add(kDuration, kCursor, 0, 960, 540);  // the last record reaches the duration
  std::sort(plan.begin(), plan.end(), [](const TPlanned& a, const TPlanned& b) { return a.Time < b.Time; });
  return plan;
}

uint32_t GSeed = 7;
uint32_t Random() {
  GSeed = GSeed * 1664525u + 1013904223u;
  return GSeed >> 8;
}

void Fill(TestPicture& p, int x0, int y0, int w, int h, uint8_t b, uint8_t g, uint8_t r) {
  for (int y = std::max(0, y0); y < std::min(p.Height, y0 + h); ++y)
    for (int x = std::max(0, x0); x < std::min(p.Width, x0 + w); ++x) p.SetPixel(x, y, b, g, r);
}

// Lines of "text": glyph-sized clusters of dark strokes on light paper.
void Text(TestPicture& p, int x0, int y0, int w, int h) {
  for (int line = y0 + 4; line + 12 < y0 + h; line += 18)
    for (int x = x0 + 6; x + 7 < x0 + w - 6; x += 8) {
      if (Random() % 9 == 0) continue;
      for (int gy = 0; gy < 11; ++gy)
        for (int gx = 0; gx < 6; ++gx)
          if (Random() % 3 == 0 && line + gy < p.Height && x + gx < p.Width)
            p.SetPixel(x + gx, line + gy, 25, 25, 25);
    }
}

void Photo(TestPicture& p, int x0, int y0, int w, int h, double phase) {
  for (int y = y0; y < std::min(p.Height, y0 + h); ++y)
    for (int x = x0; x < std::min(p.Width, x0 + w); ++x) {
      const double v = std::sin(x * 0.021 + phase) * std::cos(y * 0.017) + std::sin((x + y) * 0.008);
      const int grain = int(Random() % 16) - 8;
      p.SetPixel(x, y, uint8_t(std::clamp(int(110 + 60 * v) + grain, 0, 255)),
                 uint8_t(std::clamp(int(130 + 50 * std::sin(y * 0.03 + phase)) + grain, 0, 255)),
                 uint8_t(std::clamp(int(150 - 70 * v) + grain, 0, 255)));
    }
}

// A desktop with an editor window full of text and a picture viewer.
TestPicture Screen(double phase) {
  TestPicture p(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      p.SetPixel(x, y, uint8_t(120 + y * 60 / kHeight), uint8_t(80 + x * 40 / kWidth), 40);
  Fill(p, 80, 60, 1200, 900, 245, 245, 245);
  Fill(p, 80, 60, 1200, 24, 160, 90, 30);
  Text(p, 90, 100, 1180, 850);
  Fill(p, 1320, 300, 540, 420, 60, 60, 60);
  Photo(p, 1330, 330, 520, 380, phase);
  Fill(p, 0, kHeight - 40, kWidth, 40, 50, 40, 30);
  return p;
}

Bytes Payload(TKind kind, int variant) {
  const TKindShape& s = kShapes[kind];
  switch (kind) {
    case kKeyJpeg:
      return JpegCompressUpsideDown(Screen(0.0), 80);
    case kKeyZlib:
      return ZlibCompress(BmpFileImage(Screen(1.3)));
    case kTyping: {
      TestPicture p(s.Width, s.Height, 245, 245, 245);
      GSeed = 100 + variant;
      Text(p, 0, 0, s.Width, s.Height);
      return Lzo1x1Compress(BmpFileImage(p));
    }
    case kScroll: {
      TestPicture p(s.Width, s.Height, 245, 245, 245);
      GSeed = 200 + variant;
      Text(p, 0, variant * 4, s.Width, s.Height);
      return ZlibCompress(BmpFileImage(p));
    }
    case kMoveXor: {
      // Old and new outline of the window differ only along its edges.
      TestPicture p(s.Width, s.Height);
      Fill(p, 0, 0, s.Width, 26, 90, 40, 200);
      Fill(p, 0, 0, 40, s.Height, 20, 200, 20);
      Fill(p, s.Width - 40, 0, 40, s.Height, 20, 200, 20);
      Fill(p, 0, s.Height - 12, s.Width, 12, 200, 200, 200);
      return ZlibCompress(BmpFileImage(p));
    }
    case kMoveJpeg: {
      TestPicture p(s.Width, s.Height, 60, 60, 60);
      Photo(p, 0, 0, s.Width, s.Height, variant * 0.7);
      return JpegCompressUpsideDown(p, 80);
    }
    default:
      return Bytes();
  }
}

int WriteRecording(const std::string& path) {
  const int variants[kKindCount] = {1, 1, kTypingVariants, kScrollVariants, kMoveVariants, kMoveVariants, 1};
  std::vector<std::vector<Bytes>> payloads(kKindCount);
  for (int kind = 0; kind < kKindCount; ++kind)
    for (int v = 0; v < variants[kind]; ++v) payloads[kind].push_back(Payload(TKind(kind), v));
  TStreamedRecording file(path, kWidth, kHeight, kDuration);
  for (const TPlanned& p : Plan()) {
    KrmRecord r;
    r.Time = p.Time;
    r.FrameType = kShapes[p.Kind].FrameType;
    r.CompressionType = kShapes[p.Kind].Compression;
    r.X = p.X;
    r.Y = p.Y;
    if (p.Kind != kCursor) {
      r.Payload = payloads[p.Kind][p.Variant];
      r.CursorX = uint16_t(p.X + 20);
      r.CursorY = uint16_t(p.Y + 10);
    }
    file.Add(r);
  }
  file.Finish();
  return 0;
}

// Writes the recording in a child run of this program.
bool WriteRecordingInChild(const std::string& path) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --write \"" + std::wstring(path.begin(), path.end()) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  const bool ended = WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ended && code == 0;
}

// ---- playing it --------------------------------------------------------------

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& f) { return (uint64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7; };
  return seconds(kernel) + seconds(user);
}

// One opened source with its play thread, as the control holds them after
// WM_KRM_OPENED; a fresh play context for each.
class TSession {
 public:
  TSession(TControlWindow& window, const std::string& path, bool ignoreTimestamp) : FWindow(window) {
    FContext.FramesBuffer = &FFrames;
    FContext.KeyFramesBuffer = &FKeyFrames;
    FContext.IndexTable = &FIndex;
    FContext.Window = window.Handle();
    window.SetHandler([this](UINT msg, WPARAM, LPARAM) {
      if (msg == WM_KRM_OPENED) FOpened = true;
      if (msg == WM_KRM_ERROR) FFailed = true;
      if (msg == WM_KRM_END && FEndTime == 0) FEndTime = BenchSeconds();
      if (msg == WM_KRM_DIRTYRECT) {
        FDirtyRects++;
        if (OnDirty) OnDirty();
      }
    });
    FSource = std::make_unique<TFileThread>(&FContext);
    FContext.ReadThread = FSource.get();
    FSource->Open(std::wstring(path.begin(), path.end()), std::string());
    if (!window.PumpUntil([&] { return FOpened || FFailed; }, 30) || FFailed) return;
    FPlay = std::make_unique<TPlayThread>(&FContext);
    FContext.PlayThread = FPlay.get();
    // As the control sets them right after creating the thread.
    FPlay->FCacheKeyFrames = false;
    FPlay->FIgnoreTimestamp = ignoreTimestamp;
  }
  ~TSession() {
    if (FPlay) FPlay->Stop();
    FPlay.reset();
    FContext.PlayThread = nullptr;
    FSource.reset();
    FWindow.SetHandler(nullptr);
  }

  bool Ready() const { return FPlay != nullptr; }
  TPlayThread& Play() { return *FPlay; }
  double EndTime() const { return FEndTime; }
  uint32_t DirtyRects() const { return FDirtyRects; }
  bool PumpUntil(const std::function<bool()>& done, double seconds) {
    return FWindow.PumpUntil(done, seconds);
  }

  std::function<void()> OnDirty;

 private:
  TControlWindow& FWindow;
  TFramesBuffer FFrames;
  TKeyFramesBuffer FKeyFrames;
  TIndexTable FIndex;
  PlayerContext FContext{};
  std::unique_ptr<TFileThread> FSource;
  std::unique_ptr<TPlayThread> FPlay;
  bool FOpened = false, FFailed = false;
  double FEndTime = 0;
  uint32_t FDirtyRects = 0;
};

// Decodes every picture record of the file in turn into one block made
// beforehand, as the play thread would but without drawing; seconds.
double DecodeAlone(const std::string& path, uint32_t& decoded) {
  decoded = 0;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size;
  GetFileSizeEx(f, &size);
  Bytes file(size_t(size.QuadPart));
  DWORD got = 0;
  ReadFile(f, file.data(), DWORD(file.size()), &got, nullptr);
  CloseHandle(f);
  uint64_t indexOffset;
  std::memcpy(&indexOffset, file.data() + 12, 8);
  const uint64_t end = std::min<uint64_t>(got, KRM_HEADER_SIZE + indexOffset);
  std::vector<uint8_t> out(DECODER_SHARED_BUFFER_SIZE);
  const double start = BenchSeconds();
  for (uint64_t at = KRM_HEADER_SIZE; at + KRM_RECORD_HEADER_SIZE <= end;) {
    FrameRecord r;
    std::memcpy(&r, file.data() + at, sizeof r);
    if (at + KRM_RECORD_HEADER_SIZE + r.Length > end) break;
    if (r.Length > 0 && r.FrameType != FT_CURSOR && r.FrameType != FT_MARKER) {
      TDecoderLock lock;
      if (TDecoder::UnZipBuffer(file.data() + at + KRM_RECORD_HEADER_SIZE, r.Length, r.CompressionType,
                                uint32_t(out.size()), out.data()) > 0)
        decoded++;
    }
    at += KRM_RECORD_HEADER_SIZE + r.Length;
  }
  return BenchSeconds() - start;
}

// What one look at the thread's queue costs here, in microseconds; the play
// loop looks once per millisecond while it waits for a record's time.
double PeekMessageMicroseconds() {
  const int calls = 2000;
  const double start = BenchSeconds();
  for (int i = 0; i < calls; ++i) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  return (BenchSeconds() - start) / calls * 1e6;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, size_t(std::ceil(p * v.size())) - 1);
  return v[i];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write") {
    try {
      return WriteRecording(argv[2]);
    } catch (const std::exception& e) {
      std::printf("cannot write the recording: %s\n", e.what());
      return 1;
    }
  }
  const std::vector<TPlanned> plan = Plan();
  double megapixels = 0;
  for (const TPlanned& p : plan) megapixels += double(kShapes[p.Kind].Width) * kShapes[p.Kind].Height / 1e6;
  const std::string path = BenchTempPath("play.krm");
  std::printf("play bench: writing the recording...\n");
  std::fflush(stdout);
  const double writeStart = BenchSeconds();
  if (!WriteRecordingInChild(path)) {
    std::printf("cannot write the recording\n");
    DeleteFileA(path.c_str());
    return 1;
  }
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes);
  const double fileMiB = (uint64_t(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow) / 1048576.0;
  std::printf(
      "recording: %dx%d, %u s, %zu records, %.1f MiB, %.0f megapixels of pictures (written in %.1f s)\n",
      kWidth, kHeight, kDuration / 1000, plan.size(), fileMiB, megapixels, BenchSeconds() - writeStart);
  std::fflush(stdout);

  if (!TDecoder::InitDecoder()) {
    std::printf("decoder not usable\n");
    DeleteFileA(path.c_str());
    return 1;
  }
  TControlWindow window;

  // (1) Every record as soon as it is buffered.
  {
    TSession s(window, path, true);
    if (s.Ready()) {
      const double cpu0 = CpuSeconds(), start = BenchSeconds();
      s.Play().Play();
      const bool ended = s.PumpUntil([&] { return s.EndTime() != 0; }, 240);
      const double spent = (ended ? s.EndTime() : BenchSeconds()) - start;
      const double cpu = CpuSeconds() - cpu0;
      const uint32_t rendered = s.Play().RenderedCount();
      std::printf(
          "(1) timestamps ignored: %u of %zu records in %.2f s: %.0f records/s, %.1f megapixels/s "
          "(process CPU %.2f s)%s\n",
          rendered, plan.size(), spent, rendered / spent, megapixels / spent, cpu,
          ended ? "" : "  NO END WITHIN 240 s");
    } else {
      std::printf("(1) open failed\n");
    }
    std::fflush(stdout);
  }

  // (2) Speed 32: five fast-forward commands from the start.
  {
    TSession s(window, path, false);
    if (s.Ready()) {
      const double start = BenchSeconds();
      for (int i = 0; i < 5; ++i) s.Play().FastForward();
      const bool ended = s.PumpUntil([&] { return s.EndTime() != 0; }, 120);
      const double spent = (ended ? s.EndTime() : BenchSeconds()) - start;
      const double ideal = kDuration / 1000.0 / 32;
      std::printf("(2) speed %d: %.2f s against the ideal %.2f s: %.3fx (target <= 1.1x)%s\n",
                  s.Play().Speed(), spent, ideal, spent / ideal, ended ? "" : "  NO END WITHIN 120 s");
    } else {
      std::printf("(2) open failed\n");
    }
    std::fflush(stdout);
  }

  // (3) Random seeks while playing at speed 1: time from the seek to the
  // first dirty rectangle whose picture is at the target, i.e. the play
  // thread's last rendered record is the one the target shows. The same 50
  // targets twice: first replaying record by record as before (the cursor
  // lifted and put back around each record, the queue looked at before
  // each), then as the play thread replays now.
  for (const bool recordByRecord : {true, false}) {
    const char* how = recordByRecord ? "record by record (before)" : "batched (now)";
    TSession s(window, path, false);
    if (s.Ready()) {
      s.Play().FReplayRecordByRecord = recordByRecord;
      s.Play().Play();
      s.PumpUntil([&] { return s.DirtyRects() > 0; }, 30);
      std::vector<double> latencies;
      std::vector<double> keyDistance;
      int missed = 0;
      GSeed = 4242;
      for (int n = 0; n < 50; ++n) {
        uint32_t target, shown;
        do {
          target = Random() % (kDuration - 1000);
          auto after = std::upper_bound(plan.begin(), plan.end(), target,
                                        [](uint32_t t, const TPlanned& p) { return t < p.Time; });
          shown = std::prev(after)->Time;
        } while (std::abs(int64_t(target) - int64_t(s.Play().GetPosition())) < 3000);
        bool arrived = false;
        double at = 0;
        s.OnDirty = [&] {
          const uint32_t last = s.Play().FLastSampleTime;
          if (!arrived && last >= shown && last <= shown + 1000) {
            arrived = true;
            at = BenchSeconds();
          }
        };
        const double start = BenchSeconds();
        s.Play().Seek(target);
        if (s.PumpUntil([&] { return arrived; }, 10)) {
          latencies.push_back((at - start) * 1000);
          keyDistance.push_back((target % kSegment) / 1000.0);
        } else {
          missed++;
        }
        s.OnDirty = nullptr;
        // Play on a little before the next seek, as a viewer would.
        s.PumpUntil([] { return false; }, 0.2);
      }
      double lateSum = 0, earlySum = 0;
      int late = 0, early = 0;
      for (size_t i = 0; i < latencies.size(); ++i)
        if (keyDistance[i] >= 15) {
          lateSum += latencies[i];
          late++;
        } else {
          earlySum += latencies[i];
          early++;
        }
      std::printf(
          "(3) 50 random seeks, %s: p50 %.1f ms, p95 %.1f ms, max %.1f ms (target p95 <= 150 ms)%s\n", how,
          Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0),
          missed ? (", " + std::to_string(missed) + " never arrived").c_str() : "");
      std::printf(
          "    mean %.1f ms for %d targets < 15 s after their key frame, %.1f ms for %d targets later\n",
          early ? earlySum / early : 0.0, early, late ? lateSum / late : 0.0, late);
    } else {
      std::printf("(3) open failed\n");
    }
    std::fflush(stdout);
  }

  // (4) Speed 1 over the still last minute: CPU time of the process against
  // wall time over 20 s.
  {
    TSession s(window, path, false);
    if (s.Ready()) {
      s.Play().Play();
      s.PumpUntil([&] { return s.DirtyRects() > 0; }, 30);
      s.Play().Seek(kStillFrom + 1000);
      s.PumpUntil([&] { return s.Play().FLastSampleTime >= kStillFrom; }, 30);
      s.PumpUntil([] { return false; }, 0.5);
      const uint32_t before = s.Play().RenderedCount();
      const double cpu0 = CpuSeconds(), start = BenchSeconds();
      s.PumpUntil([] { return false; }, 20);
      const double cpu = CpuSeconds() - cpu0, wall = BenchSeconds() - start;
      std::printf(
          "(4) speed 1, still screen: CPU %.3f s in %.2f s wall = %.2f %% (target < 3 %%), %u records "
          "rendered, position %.1f s\n",
          cpu, wall, cpu / wall * 100, s.Play().RenderedCount() - before, s.Play().GetPosition() / 1000.0);
      std::printf("    one PeekMessage here: %.1f us\n", PeekMessageMicroseconds());
    } else {
      std::printf("(4) open failed\n");
    }
    std::fflush(stdout);
  }

  // (5) Memory of the whole run.
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("(5) peak working set %.1f MiB, pagefile usage %.1f MiB (peak %.1f MiB)\n",
              memory.PeakWorkingSetSize / 1048576.0, memory.PagefileUsage / 1048576.0,
              memory.PeakPagefileUsage / 1048576.0);

  // Where the time of (1) goes: the decoding part of it, measured apart
  // after the memory figures, since it holds the whole file in memory.
  uint32_t decoded = 0;
  const double decoding = DecodeAlone(path, decoded);
  std::printf("(1b) decoding alone, no drawing, no threads: %u pictures in %.2f s\n", decoded, decoding);

  TDecoder::UninitDecoder();
  DeleteFileA(path.c_str());
  return 0;
}
