// Open time and read-ahead throughput of the file source, from a local file
// and from the loopback HTTP peer, against plain ReadFile in 32 KiB chunks of
// the same file in the same run.
//
// The source reads ahead only until the frame buffer holds 5 MB and three
// key frames. A consumer thread stands for the play thread and keeps it
// going the way the play thread does: it copies the record after
// FCurrentIndex, advances FCurrentIndex, and whenever the buffer is full it
// trims it before the current key frame and asks for more with a read-on
// request. Two consumers are timed:
//   eager      never the bottleneck: when nothing new is buffered it yields
//              and looks again (the source is still reading);
//   play loop  the play thread's own loop with timestamps ignored, minus the
//              decoding: when nothing new is buffered it asks for more and
//              sleeps 10 ms.
// Throughput is the frame data's size over the time from the first read
// request to the consumer taking the last record.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/EngineMessages.h"
#include "source/FileThread.h"
#include "base/FramesBuffer.h"
#include "HttpPeer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/PlayerContext.h"
#include "StreamedRecording.h"

namespace {

constexpr uint64_t kTargetDataBytes = 200ull << 20;
constexpr uint32_t kRecordStepMs = 100;
constexpr uint32_t kKeyEveryRecords = 300;  // a key frame every 30 s
constexpr uint32_t kKeyPayload = 400 << 10;
constexpr double kRunBoundSeconds = 240;
constexpr double MiB = 1048576.0;

struct TRecordingInfo {
  uint64_t FileBytes = 0;
  uint64_t DataBytes = 0;
  uint32_t Records = 0;
};

// Key frames of 400 KiB and deltas of 1 to 30 KiB every 100 ms, until the
// frame data holds the target. The source never decodes, so the
// payloads are slices of one block of noise.
TRecordingInfo WriteRecording(const std::string& path, uint64_t targetDataBytes, uint32_t keyEveryRecords) {
  Bytes noise(1 << 20);
  uint32_t seed = 2024;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  for (uint8_t& b : noise) b = uint8_t(next() >> 24);
  TStreamedRecording file(path, 1920, 1080, 0);
  uint32_t time = 0;
  for (uint32_t n = 0; file.DataBytes() < targetDataBytes; ++n, time += kRecordStepMs) {
    KrmRecord r;
    r.Time = time;
    const bool key = n % keyEveryRecords == 0;
    r.FrameType = key ? FT_KEY : FT_COPY;
    r.CompressionType = key ? CT_JPEG : CT_LZO;
    const size_t length = key ? kKeyPayload : 1024 + next() % (29 << 10);
    const size_t from = next() % (noise.size() - length);
    r.Payload.assign(noise.begin() + from, noise.begin() + from + length);
    file.Add(r);
  }
  TRecordingInfo info;
  info.DataBytes = file.DataBytes();
  info.Records = file.Records();
  info.FileBytes = file.Finish();
  return info;
}

// ReadFile in 32 KiB chunks over the whole file; MiB/s.
double PlainReadFile(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  std::vector<uint8_t> chunk(32768);
  uint64_t total = 0;
  const double start = BenchSeconds();
  DWORD got = 0;
  while (ReadFile(f, chunk.data(), DWORD(chunk.size()), &got, nullptr) && got > 0) total += got;
  const double spent = BenchSeconds() - start;
  CloseHandle(f);
  return total / MiB / spent;
}

enum class TConsumer { Eager, PlayLoop };

struct TRunResult {
  bool Opened = false;
  bool Complete = false;
  double OpenMs = 0;
  double MiBPerSecond = 0;
  uint64_t Bytes = 0;
  uint32_t Records = 0;
  uint32_t ReadRequests = 0;  // read-on requests the consumer posted
};

// Opens the URL through a fresh source and reads the whole frame data ahead
// with the given consumer.
TRunResult ReadThrough(const std::wstring& url, const TRecordingInfo& info, TConsumer consumer) {
  TRunResult result;
  TControlWindow window;
  TFramesBuffer frames;
  TKeyFramesBuffer keyFrames;
  TIndexTable index;
  PlayerContext context{};
  context.FramesBuffer = &frames;
  context.KeyFramesBuffer = &keyFrames;
  context.IndexTable = &index;
  context.Window = window.Handle();
  bool opened = false, failed = false;
  window.SetHandler([&](UINT msg, WPARAM, LPARAM) {
    if (msg == WM_KRM_OPENED) opened = true;
    if (msg == WM_KRM_ERROR) failed = true;
  });

  TFileThread source(&context);
  context.ReadThread = &source;
  const double openStart = BenchSeconds();
  source.Open(url, std::string());
  window.PumpUntil([&] { return opened || failed; }, 30);
  result.OpenMs = (BenchSeconds() - openStart) * 1000;
  result.Opened = opened && !failed;
  if (!result.Opened) return result;

  std::atomic<bool> stop{false};
  std::atomic<uint32_t> requests{0};
  uint64_t bytes = 0;
  uint32_t records = 0;
  std::atomic<double> finished{0};
  const double start = BenchSeconds();
  std::thread player([&] {
    uint32_t capacity = 512000;
    void* sample = std::malloc(capacity);
    auto ask = [&] {
      if (source.Read(-1)) requests++;
    };
    ask();
    while (!stop && records < info.Records) {
      if (frames.CopyNext(sample, capacity)) {
        frames.FCurrentIndex++;
        records++;
        bytes += KRM_RECORD_HEADER_SIZE + static_cast<FrameRecord*>(sample)->Length;
        if (frames.IsFull()) {
          frames.Trim(false);
          ask();
        }
        continue;
      }
      if (consumer == TConsumer::PlayLoop) {
        ask();
        Sleep(10);
      } else {
        // The source stops only once the buffer is full, which the consumer
        // sees after the record that filled it: no request is needed here,
        // and one would end the source's run early.
        SwitchToThread();
      }
    }
    finished = BenchSeconds();
    std::free(sample);
  });
  window.PumpUntil([&] { return finished != 0; }, kRunBoundSeconds);
  stop = true;
  player.join();
  source.Stop();
  result.Bytes = bytes;
  result.Records = records;
  result.Complete = records == info.Records && bytes == info.DataBytes;
  result.MiBPerSecond = bytes / MiB / (finished - start);
  result.ReadRequests = requests;
  return result;
}

// One read-ahead run into an empty buffer, nobody consuming: the source's
// own rate until the buffer is full; MiB/s.
double SingleFill(const std::wstring& url) {
  TControlWindow window;
  TFramesBuffer frames;
  TKeyFramesBuffer keyFrames;
  TIndexTable index;
  PlayerContext context{};
  context.FramesBuffer = &frames;
  context.KeyFramesBuffer = &keyFrames;
  context.IndexTable = &index;
  context.Window = window.Handle();
  bool opened = false, failed = false;
  window.SetHandler([&](UINT msg, WPARAM, LPARAM) {
    if (msg == WM_KRM_OPENED) opened = true;
    if (msg == WM_KRM_ERROR) failed = true;
  });
  TFileThread source(&context);
  context.ReadThread = &source;
  source.Open(url, std::string());
  if (!window.PumpUntil([&] { return opened || failed; }, 30) || failed) return 0;
  const double start = BenchSeconds();
  source.Read(-1);
  // The source posts nothing when the run ends; watch the buffer fill.
  while (!frames.IsFull() && BenchSeconds() - start < 60) Sleep(0);
  const double spent = BenchSeconds() - start;
  const double rate = frames.TotalBytes() / MiB / spent;
  source.Stop();
  return rate;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void PrintRun(const char* name, const TRunResult& r) {
  if (!r.Opened) {
    std::printf("%-24s open failed\n", name);
    return;
  }
  std::printf("%-24s %8.1f MiB/s  open %7.2f ms  read-on requests %6u%s\n", name, r.MiBPerSecond, r.OpenMs,
              r.ReadRequests, r.Complete ? "" : "  INCOMPLETE");
}

}  // namespace

int main() {
  const std::string path = BenchTempPath("source.krm");
  std::printf("source bench: writing the recording...\n");
  std::fflush(stdout);
  TRecordingInfo info;
  try {
    info = WriteRecording(path, kTargetDataBytes, kKeyEveryRecords);
  } catch (const std::exception& e) {
    std::printf("cannot write the recording: %s\n", e.what());
    DeleteFileA(path.c_str());
    return 1;
  }
  std::printf("recording: %.1f MiB, %u records, 1920x1080, a key frame every 30 s\n", info.FileBytes / MiB,
              info.Records);
  const std::wstring localURL(path.begin(), path.end());

  // Warm the file cache once, so that both sides read from memory.
  PlainReadFile(path);

  // Local: the plain reads and the eager consumer alternate, best of three.
  std::vector<double> plain, eager, opens;
  TRunResult eagerBest, loopRun;
  for (int i = 0; i < 3; ++i) {
    plain.push_back(PlainReadFile(path));
    TRunResult r = ReadThrough(localURL, info, TConsumer::Eager);
    PrintRun("local, eager", r);
    opens.push_back(r.OpenMs);
    eager.push_back(r.Complete ? r.MiBPerSecond : 0);
    if (r.MiBPerSecond >= eagerBest.MiBPerSecond) eagerBest = r;
  }
  loopRun = ReadThrough(localURL, info, TConsumer::PlayLoop);
  PrintRun("local, play loop", loopRun);
  opens.push_back(loopRun.OpenMs);
  plain.push_back(PlainReadFile(path));
  const double plainBest = *std::max_element(plain.begin(), plain.end());
  const double eagerTop = *std::max_element(eager.begin(), eager.end());
  std::printf("ReadFile 32 KiB chunks   %8.1f MiB/s  (best of %zu)\n", plainBest, plain.size());
  std::printf("local open -> WM_KRM_OPENED: median %.2f ms of %zu\n", Median(opens), opens.size());
  std::printf("local read-ahead, eager:     %8.1f MiB/s  ratio to ReadFile %.2f (target >= 0.80)\n", eagerTop,
              eagerTop / plainBest);
  std::printf("local read-ahead, play loop: %8.1f MiB/s  ratio to ReadFile %.2f\n", loopRun.MiBPerSecond,
              loopRun.MiBPerSecond / plainBest);
  std::vector<double> fills;
  for (int i = 0; i < 3; ++i) fills.push_back(SingleFill(localURL));
  std::printf("local single fill, no consumer: %8.1f MiB/s (best of 3, empty buffer until full)\n",
              *std::max_element(fills.begin(), fills.end()));
  std::fflush(stdout);

  DeleteFileA(path.c_str());

  // HTTP through the loopback peer. The peer copies the whole served body for
  // every request it answers, so a 200 MiB body would time the peer's copies;
  // two small recordings (a key frame every 10 s) are read instead, and the
  // cost of one request is split into a fixed part and one that grows with
  // the body.
  struct THttpPoint {
    double Bytes = 0, SecondsPerRequest = 0;
  };
  std::vector<THttpPoint> points;
  for (uint64_t size : {1ull << 20, 4ull << 20}) {
    const std::string webPath = BenchTempPath("web.krm");
    const TRecordingInfo webInfo = WriteRecording(webPath, size, 100);
    Bytes body(size_t(webInfo.FileBytes));
    {
      HANDLE f =
          CreateFileA(webPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD got = 0;
      ReadFile(f, body.data(), DWORD(body.size()), &got, nullptr);
      CloseHandle(f);
      body.resize(got);
    }
    DeleteFileA(webPath.c_str());
    THttpPeer peer(900000);
    peer.Serve("/bench/web.krm", std::move(body));
    const std::string url = peer.URL("/bench/web.krm");
    const std::wstring webURL(url.begin(), url.end());
    std::printf("http, %.1f MiB recording, %u records:\n", webInfo.FileBytes / MiB, webInfo.Records);
    for (TConsumer consumer : {TConsumer::Eager, TConsumer::PlayLoop}) {
      const bool eagerRun = consumer == TConsumer::Eager;
      const size_t before = peer.Requests().size();
      TRunResult r = ReadThrough(webURL, webInfo, consumer);
      const size_t requests = peer.Requests().size() - before;
      PrintRun(eagerRun ? "  http, eager" : "  http, play loop", r);
      if (!r.Opened || r.Bytes == 0) continue;
      const double seconds = r.Bytes / MiB / r.MiBPerSecond;
      std::printf(
          "    ratio to ReadFile %.4f, %zu requests (open included), %.1f requests per MiB, %.2f ms "
          "per request\n",
          r.MiBPerSecond / plainBest, requests, requests / (r.Bytes / MiB), seconds / requests * 1000);
      if (eagerRun) points.push_back({double(webInfo.FileBytes), seconds / requests});
      std::fflush(stdout);
    }
    peer.Shutdown();
  }
  if (points.size() == 2 && points[1].Bytes > points[0].Bytes) {
    const double slope =
        (points[1].SecondsPerRequest - points[0].SecondsPerRequest) / (points[1].Bytes - points[0].Bytes);
    const double fixed = points[0].SecondsPerRequest - slope * points[0].Bytes;
    std::printf("http per request: %.2f ms fixed + %.2f ms per MiB of served body (the peer's copy of it)\n",
                fixed * 1000, slope * MiB * 1000);
  }
  return 0;
}
