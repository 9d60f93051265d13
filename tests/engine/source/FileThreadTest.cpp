// The file and web source: opening recordings and pictures, reading ahead,
// answering the play thread and seeking, over local files and over the
// loopback HTTP peer. A message-only window stands for the control and a
// worker thread for the play thread (SourceStandIns).
// clang-format off
// Winsock before anything that includes windows.h.
#include "HttpPeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "decode/Decoder.h"
#include "base/EngineMessages.h"
#include "source/FileThread.h"
#include "source/InternetStream.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "KrmWriter.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "SourceStandIns.h"

namespace {

constexpr DWORD kBound = 10000;

// The file source, plus a look at the frame buffer each time a stop is
// handled, i.e. after every command queued before the stop has run.
class TTestFileSource : public TFileThread {
 public:
  using TFileThread::TFileThread;
  struct TSnapshot {
    int32_t Frames = 0, KeyFrames = 0, TotalBytes = 0;
  };
  TSnapshot AtStop;

 protected:
  void HandleStop() override {
    TFramesBuffer& frames = *Context()->FramesBuffer;
    AtStop = {frames.FrameCount(), frames.KeyFrameCount(), frames.TotalBytes()};
    TFileThread::HandleStop();
  }
};

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 9));
  return bytes;
}

// A well-formed 4-bit BMP file image (16-colour table, every row in place):
// valid as a file, but not a picture the back buffer draws.
Bytes FourBitBmp(int width, int height) {
  const uint32_t stride = ((uint32_t(width) * 4 + 31) / 32) * 4;
  const uint32_t offBits = 14 + 40 + 16 * 4;
  Bytes out(offBits + stride * uint32_t(height), 0x12);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&out[at], &v, 2); };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(out.size()));
  put32(6, 0);
  put32(10, offBits);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  put16(26, 1);
  put16(28, 4);
  put32(30, 0);
  put32(34, stride * uint32_t(height));
  for (size_t at = 38; at < 54; ++at) out[at] = 0;
  return out;
}

class FileSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TDecoder::InitDecoder();
    FContext.FramesBuffer = &FFrames;
    FContext.KeyFramesBuffer = &FKeyFrames;
    FContext.IndexTable = &FIndex;
    FContext.PlayThread = FPlay.AsPlayThread();
    FContext.Window = FSink.Window();
    FFolder = TestTempFolder("brx_source_");
  }
  void TearDown() override { TDecoder::UninitDecoder(); }

  std::string Save(const std::string& name, const Bytes& bytes) {
    std::string path = FFolder + name;
    WriteFileBytes(path, bytes);
    return path;
  }
  int Open(TFileThread& source, const std::string& url) {
    source.Open(AnsiToWide(url), "");
    return FSink.WaitForOpenResult();
  }
  std::vector<Bytes> BufferedRecords() {
    std::vector<Bytes> records;
    TFramesBuffer::TLocked locked(FFrames);
    for (FrameRecord* r : locked.List) {
      auto* p = reinterpret_cast<const uint8_t*>(r);
      records.emplace_back(p, p + FrameBlockSize(r));
    }
    return records;
  }

  // Key frames at 0, 60,000 and 120,000 ms with deltas between them.
  static KrmWriter SeekRecording() {
    KrmWriter w(320, 240);
    w.SetDuration(130000);
    w.AddKeyFrame(0, CT_RAW, Pattern(100, 1));
    w.AddFrame(30000, FT_XOR, CT_RAW, Pattern(50, 2));
    w.AddKeyFrame(60000, CT_RAW, Pattern(100, 3));
    w.AddFrame(62000, FT_XOR, CT_RAW, Pattern(50, 4));
    w.AddFrame(70000, FT_XOR, CT_RAW, Pattern(50, 5));
    w.AddKeyFrame(120000, CT_RAW, Pattern(100, 6));
    w.AddFrame(130000, FT_XOR, CT_RAW, Pattern(50, 7));
    return w;
  }

  TFramesBuffer FFrames;
  TKeyFramesBuffer FKeyFrames;
  TIndexTable FIndex;
  TPlayStandIn FPlay;
  TControlSink FSink;
  PlayerContext FContext{};
  std::string FFolder;
};

TEST_F(FileSourceTest, OpensARecordingCopyingHeaderAndIndex) {
  KrmWriter w = SeekRecording();
  std::string path = Save("seek.krm", w.Build());
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  Bytes header = w.Build();
  EXPECT_EQ(0, std::memcmp(&FContext.Header, header.data(), sizeof(KRMFileHeader)));
  EXPECT_EQ(rsStreaming, source.State());
  EXPECT_EQ(skLocalFile, source.SourceKind());
  EXPECT_EQ(0, FIndex.FirstTime());
  EXPECT_EQ(120000, FIndex.FindKeyTime(999999));
  EXPECT_EQ(0, FFrames.GetCount());  // nothing is read before the play thread asks
}

TEST_F(FileSourceTest, EveryOpenFailureReachesTheControlWithItsCode) {
  auto recording = [](const KrmBuildOptions& o, uint16_t version = KRM_VERSION_0101, uint16_t width = 64) {
    KrmWriter w(width, 48, version);
    w.AddKeyFrame(0, CT_RAW, Pattern(64, 9));
    w.AddKeyFrame(40, CT_RAW, Pattern(64, 10));
    return w.Build(o);
  };
  Bytes bmp = BmpFileImage(TestPicture(4, 3, 10, 20, 30));
  auto patched = [&](size_t at, int32_t value) {
    Bytes b = bmp;
    std::memcpy(&b[at], &value, 4);
    return b;
  };
  KrmBuildOptions va;
  va.Magic1 = 'V';
  va.Magic2 = 'A';
  KrmBuildOptions offset0;
  offset0.IndexOffset = 0;
  KrmBuildOptions count0;
  count0.IndexCount = 0;
  KrmBuildOptions reserved;
  reserved.IndexReserved[1] = 1;
  KrmBuildOptions cutIndex;
  cutIndex.TruncateTo = recording({}).size() - 4;
  Bytes bits7 = bmp;
  bits7[28] = 7;
  Bytes notBM = bmp;
  notBM[0] = 'X';
  // Rows that the cut at the 10 MB block no longer holds.
  Bytes cut = BmpFileImage(TestPicture(2000, 1748, 1, 2, 3));
  ASSERT_GT(cut.size(), size_t(TFileThread::PicturePayloadSize));

  struct Case {
    const char* name;
    std::optional<Bytes> bytes;  // no bytes: the file does not exist
    int code;
  } cases[] = {
      {"missing.krm", std::nullopt, 6},
      {"a.bin", recording({}), 10},
      {"va.krm", recording(va), 1},
      {"v102.krm", recording({}, 0x0102), 14},
      {"offset0.krm", recording(offset0), 2},
      {"count0.krm", recording(count0), 13},
      {"reserved.krm", recording(reserved), 13},
      {"cutindex.krm", recording(cutIndex), 15},
      {"short.krm", Bytes(10, 'A'), 15},
      {"width0.krm", recording({}, KRM_VERSION_0101, 0), 1},
      {"empty.bmp", Bytes(), 10},
      {"notbm.bmp", notBM, 10},
      {"tiny.bmp", Bytes(bmp.begin(), bmp.begin() + 40), 10},
      {"bits7.dib", bits7, 10},
      {"width0.bmp", patched(18, 0), 10},
      {"tall.bmp", patched(22, 70000), 10},
      // Well-formed files that the picture could never show.
      {"bits4.bmp", FourBitBmp(16, 8), 10},
      {"cut.bmp", cut, 10},
      {"empty.jpg", Bytes(), 10},
      {"garbage.jpeg", Pattern(500, 3), 6},
  };
  TFileThread source(&FContext);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = FFolder + c.name;
    if (c.bytes)
      Save(c.name, *c.bytes);
    else
      DeleteFileA(path.c_str());
    EXPECT_EQ(c.code, Open(source, path));
    EXPECT_EQ(rsIdle, source.State());
    EXPECT_EQ(0, FFrames.GetCount());
  }
  // A URL's query stays in the extension: refused before any connection.
  EXPECT_EQ(10, Open(source, "http://127.0.0.1:9/a.krm?x=1"));
}

TEST_F(FileSourceTest, NoErrorIsReportedWhileAborting) {
  std::string good = Save("good.krm", SeekRecording().Build());
  TFileThread source(&FContext);
  source.Abort();
  source.Open(AnsiToWide(FFolder + "nothing-here.krm"), "");
  source.Stop();  // the failed open ran before the stop, with the flag set
  ASSERT_EQ(0, Open(source, good));
  for (auto& m : FSink.Messages()) EXPECT_NE(WM_KRM_ERROR, m.first);
}

TEST_F(FileSourceTest, ReadAheadStopsAtFiveMegabytesAndThreeKeyFrames) {
  KrmWriter w(64, 48);
  for (uint32_t i = 0; i < 40; ++i) w.AddKeyFrame(i * 40, CT_RAW, Pattern(300000, uint8_t(i)));
  std::string path = Save("big.krm", w.Build());
  TTestFileSource source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  source.Read(-1);
  ASSERT_TRUE(FSink.WaitUntil([&] { return FFrames.IsFull(); }));
  source.Stop();
  // At most the chunk that filled the buffer was cut after it was full.
  EXPECT_GE(source.AtStop.TotalBytes, 5242880);
  EXPECT_LE(source.AtStop.TotalBytes, 5242880 + 300028 + 32768);
  EXPECT_GE(source.AtStop.KeyFrames, 3);
  EXPECT_EQ(0, FFrames.GetCount());  // the stop's reset cleared it
}

TEST_F(FileSourceTest, FrameReadyNamesTheRecordForTheRequestedTime) {
  KrmWriter w(64, 48);
  w.AddKeyFrame(100, CT_RAW, Pattern(40, 1));
  w.AddFrame(200, FT_XOR, CT_RAW, Pattern(40, 2));
  w.AddFrame(300, FT_XOR, CT_RAW, Pattern(40, 3));
  w.AddKeyFrame(400, CT_RAW, Pattern(40, 4));
  std::string path = Save("ready.krm", w.Build());
  struct Case {
    int32_t time;
    int32_t index;
  } cases[] = {
      {50, -1},   // before the first record
      {100, 0},   // equal to the first
      {250, 1},   // between records: the earlier one
      {300, 2},   // equal to a later one
      {400, 3},   // equal to the last
      {5000, 3},  // past every record: the last one, at the end of the data
  };
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  size_t seen = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    source.Stop();  // back to the first record, buffer cleared
    source.Read(c.time);
    ASSERT_TRUE(FPlay.WaitForReady(++seen));
    EXPECT_EQ(c.index, FPlay.Ready().back());
  }
}

TEST_F(FileSourceTest, ARecordClaimingMoreThanTheFrameDataEndsTheReadLikeTheEnd) {
  KrmWriter w(64, 48);
  w.AddKeyFrame(0, CT_RAW, Pattern(40, 1));
  KrmRecord liar;
  liar.Time = 100;
  liar.FrameType = FT_XOR;
  liar.Payload = Pattern(100, 2);
  liar.Length = 10000000;  // past the end of the file, within any stream limit
  w.Add(liar);
  std::string path = Save("liar.krm", w.Build());
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  source.Read(5000);
  ASSERT_TRUE(FPlay.WaitForReady(1));
  EXPECT_EQ(0, FPlay.Ready()[0]);  // the last whole record
  EXPECT_EQ(1, FFrames.GetCount());
  EXPECT_EQ(524288u, source.BufferSize());  // never grown for the claim
  source.Read(6000);                        // answered again at once, no waiting for bytes
  ASSERT_TRUE(FPlay.WaitForReady(2));
  EXPECT_EQ(0, FPlay.Ready()[1]);
}

TEST_F(FileSourceTest, SeekReadsFromTheKeyFrameAtOrBeforeTheTime) {
  std::string path = Save("seek.krm", SeekRecording().Build());
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  source.Seek(65000);
  ASSERT_TRUE(FPlay.WaitForReady(1));
  // The buffer starts at the 60,000 ms key frame; 62,000 is the record for 65,000.
  EXPECT_EQ(60000u, FFrames.MinTimeStamp());
  EXPECT_EQ(1, FPlay.Ready()[0]);
}

TEST_F(FileSourceTest, SeekBeforeTheFirstKeyFrameIsIgnored) {
  KrmWriter w(64, 48);
  w.AddKeyFrame(1000, CT_RAW, Pattern(40, 1));
  w.AddFrame(2000, FT_XOR, CT_RAW, Pattern(40, 2));
  std::string path = Save("late.krm", w.Build());
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  source.Seek(500);
  source.Read(2000);  // still running, and still at the first record
  ASSERT_TRUE(FPlay.WaitForReady(1));
  EXPECT_EQ((std::vector<int32_t>{1}), FPlay.Ready());
  EXPECT_EQ(1000u, FFrames.MinTimeStamp());
}

TEST_F(FileSourceTest, ADeadPlayThreadNeverWedgesTheSource) {
  KrmWriter w(64, 48);
  w.AddKeyFrame(0, CT_RAW, Pattern(40, 1));
  std::string path = Save("one.krm", w.Build());
  auto dead = std::make_unique<TPlayStandIn>();
  PostThreadMessageW(dead->ThreadID(), WM_QUIT, 0, 0);
  ASSERT_TRUE(dead->WaitFor(kBound));
  FContext.PlayThread = dead->AsPlayThread();
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  source.Read(0);
  source.Stop();  // returns: the post to the ended thread gave up
  ASSERT_EQ(0, Open(source, path));
}

TEST_F(FileSourceTest, JpegPictureBecomesOneUprightBitmapKeyFrame) {
  TestPicture picture(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      if (y < 8)
        picture.SetPixel(x, y, 0, 0, 255);  // top: red
      else
        picture.SetPixel(x, y, 255, 0, 0);  // bottom: blue
    }
  // A JPEG file as a camera writes it: first scanline on top.
  TestPicture flipped(16, 16);
  for (int y = 0; y < 16; ++y) std::memcpy(flipped.Pixel(0, y), picture.Pixel(0, 15 - y), 16 * 3);
  std::string path = Save("photo.jpg", JpegCompressUpsideDown(flipped, 95));
  TFileThread source(&FContext);
  ASSERT_EQ(0, Open(source, path));
  EXPECT_EQ(16, FContext.Header.Width);
  EXPECT_EQ(16, FContext.Header.Height);
  EXPECT_EQ(0u, FContext.Header.Duration);
  EXPECT_EQ(rsIdle, source.State());
  EXPECT_EQ(0, FIndex.FirstTime());
  auto records = BufferedRecords();
  ASSERT_EQ(1u, records.size());
  FrameRecord header;
  std::memcpy(&header, records[0].data(), sizeof(header));
  EXPECT_EQ(FT_KEY, header.FrameType);
  EXPECT_EQ(CT_RAW, header.CompressionType);
  EXPECT_EQ(0u, header.Time);
  const uint8_t* bmp = records[0].data() + sizeof(FrameRecord);
  ASSERT_EQ('B', bmp[0]);
  int32_t height;
  std::memcpy(&height, bmp + 22, 4);
  EXPECT_EQ(16, height);
  uint16_t bits;
  std::memcpy(&bits, bmp + 28, 2);
  EXPECT_EQ(24, bits);
  uint32_t dataOffset;
  std::memcpy(&dataOffset, bmp + 10, 4);
  // Positive height: the first stored row is the bottom one (blue, as B,G,R).
  const uint8_t* bottom = bmp + dataOffset;
  const uint8_t* top = bmp + dataOffset + 15 * 48;
  EXPECT_GT(bottom[0], 200);
  EXPECT_LT(bottom[2], 60);
  EXPECT_LT(top[0], 60);
  EXPECT_GT(top[2], 200);
}

TEST_F(FileSourceTest, BitmapPictureIsStoredAsItIsAndCutAtTheBlockSize) {
  Bytes small = BmpFileImage(TestPicture::Gradient(5, 3));
  // 2,000 x 1,747 at 24 bits with bytes after the rows: more than the 10 MB
  // block holds, but the rows still fit the cut.
  Bytes large = BmpFileImage(TestPicture(2000, 1747, 1, 2, 3));
  large.resize(large.size() + 8000, 0xEE);
  ASSERT_GE(large.size(), 10485733u);
  TFileThread source(&FContext);
  for (const auto& [name, bytes, length] :
       {std::tuple<const char*, const Bytes&, size_t>{"small.bmp", small, small.size()},
        std::tuple<const char*, const Bytes&, size_t>{"large.bmp", large, 10485732}}) {
    SCOPED_TRACE(name);
    FFrames.Clear();
    ASSERT_EQ(0, Open(source, Save(name, bytes)));
    auto records = BufferedRecords();
    ASSERT_EQ(1u, records.size());
    FrameRecord header;
    std::memcpy(&header, records[0].data(), sizeof(header));
    EXPECT_EQ(length, header.Length);
    EXPECT_EQ(FT_KEY, header.FrameType);
    EXPECT_EQ(CT_RAW, header.CompressionType);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + length, records[0].begin() + sizeof(FrameRecord)));
  }
  EXPECT_EQ(2000, FContext.Header.Width);
  EXPECT_EQ(1747, FContext.Header.Height);
}

// Over HTTP from the loopback peer.
class WebSourceTest : public FileSourceTest {
 protected:
  static KrmWriter MixedRecording() {
    KrmWriter w(64, 48);
    w.AddKeyFrame(0, CT_RAW, Pattern(1000, 1));
    w.AddFrame(10, FT_XOR, CT_RAW, Pattern(70000, 2));
    w.AddKeyFrame(20, CT_RAW, Pattern(600000, 3));  // larger than the receive buffer
    w.AddFrame(30, FT_XOR, CT_RAW, Bytes());
    w.AddKeyFrame(40, CT_RAW, Pattern(40000, 4));
    return w;
  }
  // All records, read to the end of the frame data.
  std::vector<Bytes> ReadAll(TFileThread& source) {
    size_t before = FPlay.Ready().size();
    source.Read(0x7FFFFFFF);
    EXPECT_TRUE(FPlay.WaitForReady(before + 1));
    return BufferedRecords();
  }
  THttpPeer FPeer{120000};
};

TEST_F(WebSourceTest, RecordsMatchTheLocalReadAndEveryReadIsOneSmallRange) {
  KrmWriter w = MixedRecording();
  Bytes file = w.Build();
  std::string path = Save("mixed.krm", file);
  TFileThread local(&FContext);
  ASSERT_EQ(0, Open(local, path));
  std::vector<Bytes> expected = ReadAll(local);
  ASSERT_EQ(5u, expected.size());
  local.Stop();

  FPeer.Serve("/rec/mixed.krm", file);
  TFileThread web(&FContext);
  ASSERT_EQ(0, Open(web, FPeer.URL("/rec/mixed.krm")));
  EXPECT_EQ(skWebFile, web.SourceKind());
  EXPECT_EQ(expected, ReadAll(web));

  auto requests = FPeer.Requests();
  ASSERT_GE(requests.size(), 4u);
  uint64_t indexAt = 32 + w.FrameData().size();
  uint64_t entries = w.Index().size() * 16;
  auto range = [](uint64_t a, uint64_t b) { return "bytes=" + std::to_string(a) + "-" + std::to_string(b); };
  EXPECT_EQ(range(0, 31), requests[0].Range);
  EXPECT_EQ(range(indexAt, indexAt + 15), requests[1].Range);
  EXPECT_EQ(range(indexAt + 16, indexAt + 16 + entries - 1), requests[2].Range);
  uint64_t next = 32;
  for (size_t i = 3; i < requests.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ("GET", requests[i].Method);
    EXPECT_EQ("/rec/mixed.krm", requests[i].Path);
    unsigned long long a = 0, b = 0;
    ASSERT_EQ(2, sscanf(requests[i].Range.c_str(), "bytes=%llu-%llu", &a, &b)) << requests[i].Range;
    EXPECT_EQ(next, a);
    EXPECT_LE(b - a + 1, 32768u);
    next = b + 1;
  }
  EXPECT_EQ(indexAt, next);
}

TEST_F(WebSourceTest, AnswersCutShortStillGiveWholeRecords) {
  KrmWriter w = MixedRecording();
  Bytes file = w.Build();
  TFileThread local(&FContext);
  ASSERT_EQ(0, Open(local, Save("mixed.krm", file)));
  std::vector<Bytes> expected = ReadAll(local);
  local.Stop();

  FPeer.Serve("/m.krm", file);
  // Each answer cut well inside its 32 KB range; not so short that the
  // hundreds of requests outlast the bound on a loaded machine.
  FPeer.SetMode(THttpPeer::TMode::CloseEarly, 20000);
  TFileThread web(&FContext);
  ASSERT_EQ(0, Open(web, FPeer.URL("/m.krm")));
  EXPECT_EQ(expected, ReadAll(web));
}

TEST_F(WebSourceTest, PictureIsOneRequest) {
  Bytes bmp = BmpFileImage(TestPicture::Gradient(8, 8));
  FPeer.Serve("/p.bmp", bmp);
  TFileThread web(&FContext);
  ASSERT_EQ(0, Open(web, FPeer.URL("/p.bmp")));
  auto requests = FPeer.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("bytes=0-10485731", requests[0].Range);
  auto records = BufferedRecords();
  ASSERT_EQ(1u, records.size());
  EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), records[0].begin() + sizeof(FrameRecord)));
}

TEST_F(WebSourceTest, NotFoundIsLoggedWithUrlAndRangeAndFailsTheOpen) {
  FPeer.SetMode(THttpPeer::TMode::NotFound);
  TFileThread web(&FContext);
  std::string url = FPeer.URL("/gone.krm");
  EXPECT_EQ(15, Open(web, url));
  EXPECT_NE(std::string::npos,
            LogText().find("GetRequestStatusCode Error : 404, " + url + ", RANGE:bytes=0-31\r\n"));
}

TEST_F(WebSourceTest, AServerIgnoringRangesNeverYieldsARecord) {
  KrmWriter w = MixedRecording();
  FPeer.Serve("/r.krm", w.Build());
  TTestFileSource web(&FContext);
  // The whole file from offset 0 is the header indeed; the index is not.
  FPeer.SetMode(THttpPeer::TMode::IgnoreRange);
  EXPECT_EQ(15, Open(web, FPeer.URL("/r.krm")));

  FPeer.SetMode(THttpPeer::TMode::Normal);
  ASSERT_EQ(0, Open(web, FPeer.URL("/r.krm")));
  FPeer.SetMode(THttpPeer::TMode::IgnoreRange);
  size_t before = FPeer.Requests().size();
  web.Read(-1);
  // Two refused answers: the source is retrying, not taking the body as data.
  ASSERT_TRUE(FPeer.WaitForRequests(before + 2, kBound));
  web.Stop();
  EXPECT_EQ(0, web.AtStop.Frames);
}

// A stop closes the request in progress. On Windows that cancels the wait at
// once; Wine cancels no synchronous wait of WinINet, so there a stop waits
// until the stream's receive time-out ends it. That bound holds everywhere:
// a source that made a new request after the stop would wait out another.
const std::chrono::milliseconds kStopBound(TInternetStream::TimeoutMs + 1000);

TEST_F(WebSourceTest, StopDuringAStalledReadReturnsWithinTheTimeOut) {
  KrmWriter w = MixedRecording();
  FPeer.Serve("/s.krm", w.Build());
  TFileThread web(&FContext);
  ASSERT_EQ(0, Open(web, FPeer.URL("/s.krm")));
  FPeer.SetMode(THttpPeer::TMode::Stall, 100);
  size_t before = FPeer.Requests().size();
  web.Read(-1);
  ASSERT_TRUE(FPeer.WaitForRequests(before + 1, kBound));
  auto started = std::chrono::steady_clock::now();
  web.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, kStopBound);
  FPeer.SetMode(THttpPeer::TMode::Normal);
  EXPECT_EQ(0, Open(web, FPeer.URL("/s.krm")));
}

TEST_F(WebSourceTest, StopDuringAStalledOpenReturnsWithinTheTimeOutAndReportsNothing) {
  FPeer.Serve("/s.krm", MixedRecording().Build());
  FPeer.SetMode(THttpPeer::TMode::Stall, 10);  // the header never completes
  TFileThread web(&FContext);
  web.Open(AnsiToWide(FPeer.URL("/s.krm")), "");
  ASSERT_TRUE(FPeer.WaitForRequests(1, kBound));
  auto started = std::chrono::steady_clock::now();
  web.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, kStopBound);
  FSink.WaitUntil([] { return true; });  // deliver whatever was posted
  for (auto& m : FSink.Messages()) EXPECT_NE(WM_KRM_ERROR, m.first);
  EXPECT_EQ(rsIdle, web.State());
}

// A server failing mid-play while the play thread asks for more every 10 ms:
// the source tries again at most every 300 ms, however often it is asked,
// and a command still ends its pause at once.
TEST_F(WebSourceTest, AFailingServerIsAskedAtMostEvery300Ms) {
  KrmWriter w = MixedRecording();
  FPeer.Serve("/f.krm", w.Build());
  ASSERT_TRUE(GlobalLog().Instance());
  for (THttpPeer::TMode mode : {THttpPeer::TMode::ServerError, THttpPeer::TMode::Refuse}) {
    SCOPED_TRACE(int(mode));
    FPeer.SetMode(THttpPeer::TMode::Normal);
    TFileThread web(&FContext);
    ASSERT_EQ(0, Open(web, FPeer.URL("/f.krm")));
    FPeer.SetMode(mode);
    const size_t requestsBefore = FPeer.Requests().size();
    const size_t logBefore = LogText().size();
    // Asked as the play loop asks with nothing buffered, for 2 s.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
      web.Read(-1);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLPOSTMESSAGE);
    }
    const std::string logged = LogText().substr(logBefore);
    size_t lines = 0;
    for (size_t at = logged.find("--->"); at != std::string::npos; at = logged.find("--->", at + 1)) ++lines;
    EXPECT_GE(lines, 2u) << logged;  // still trying
    EXPECT_LE(lines, 8u) << logged;
    if (mode == THttpPeer::TMode::ServerError) {
      const size_t requests = FPeer.Requests().size() - requestsBefore;
      EXPECT_GE(requests, 2u);
      EXPECT_LE(requests, 8u);
      EXPECT_NE(std::string::npos, logged.find("GetRequestStatusCode Error : 500")) << logged;
      // Right after a failed request the source is pausing: a stop ends the
      // pause instead of waiting it out.
      const size_t seen = FPeer.Requests().size();
      ASSERT_TRUE(FPeer.WaitForRequests(seen + 1, kBound));
      const auto started = std::chrono::steady_clock::now();
      web.Stop();
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    }
    FFrames.Clear();
  }
}

}  // namespace
