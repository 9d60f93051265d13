// The decoder interface as outside programs see it: Brindolux.ocx loaded by
// LoadLibrary, every function resolved by ordinal and by name.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KrmWriter.h"
#include "base/SystemText.h"

namespace {

using UnZipBufferExFn = int(__stdcall*)(const void*, uint32_t, int16_t, uint32_t, void**);
using UnZipBufferFn = int(__stdcall*)(const void*, uint32_t, int16_t, uint32_t, void*);
using VoidFn = void(__stdcall*)();
using BoolFn = bool(__stdcall*)();
using DecompressFn = int(__stdcall*)(const void*, int, void*);
using CheckHeaderFn = bool(__stdcall*)(const void*);

struct TOcx {
  HMODULE Module = nullptr;
  UnZipBufferExFn UnZipBufferEx = nullptr;
  VoidFn UnlockDecoder = nullptr;
  VoidFn LockDecoder = nullptr;
  BoolFn UninitDecoder = nullptr;
  BoolFn InitDecoder = nullptr;
  DecompressFn Decompress = nullptr;
  CheckHeaderFn CheckKRMFileHeader = nullptr;
  UnZipBufferFn UnZipBuffer = nullptr;
};

std::string OcxPath() {
  // The build path is a Unix path; Wine shows the root as drive Z:.
  std::string path = BRX_OCX_PATH;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path[0] == '\\' ? "Z:" + path : path;
}

FARPROC ByOrdinal(HMODULE module, int ordinal) { return GetProcAddress(module, MAKEINTRESOURCEA(ordinal)); }

// Through void (*)(): the one function pointer type GCC lets any other be
// cast to and from without complaint.
template <typename Fn>
Fn Resolve(HMODULE module, int ordinal) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(ByOrdinal(module, ordinal)));
}

const TOcx& Ocx() {
  static const TOcx ocx = [] {
    TOcx o;
    o.Module = LoadLibraryA(OcxPath().c_str());
    if (o.Module == nullptr) return o;
    o.UnZipBufferEx = Resolve<UnZipBufferExFn>(o.Module, 15);
    o.UnlockDecoder = Resolve<VoidFn>(o.Module, 16);
    o.LockDecoder = Resolve<VoidFn>(o.Module, 17);
    o.UninitDecoder = Resolve<BoolFn>(o.Module, 18);
    o.InitDecoder = Resolve<BoolFn>(o.Module, 19);
    o.Decompress = Resolve<DecompressFn>(o.Module, 20);
    o.CheckKRMFileHeader = Resolve<CheckHeaderFn>(o.Module, 21);
    o.UnZipBuffer = Resolve<UnZipBufferFn>(o.Module, 22);
    return o;
  }();
  return ocx;
}

uint32_t U32At(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
int32_t I32At(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Quadrants of pure colour, 32 x 32 each so that chroma subsampling and the
// 8 x 8 blocks keep them apart: blue top-left, green top-right, red
// bottom-left, white bottom-right. A flipped, mirrored or channel-swapped
// decode shows at once.
TestPicture Quadrants() {
  TestPicture p(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      if (y < 32)
        x < 32 ? p.SetPixel(x, y, 255, 0, 0) : p.SetPixel(x, y, 0, 255, 0);
      else
        x < 32 ? p.SetPixel(x, y, 0, 0, 255) : p.SetPixel(x, y, 255, 255, 255);
    }
  return p;
}

// An output block with guard bytes on both sides: a decode that writes
// before Out or past its capacity changes them.
class TGuardedOut {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kFill = 0xCD;
  explicit TGuardedOut(size_t capacity) : FCapacity(capacity), FBytes(capacity + 2 * kGuard, kFill) {}
  uint8_t* Out() { return FBytes.data() + kGuard; }
  uint32_t Capacity() const { return uint32_t(FCapacity); }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (FBytes[i] != kFill || FBytes[kGuard + FCapacity + i] != kFill) return false;
    return true;
  }
  bool Untouched() const {
    for (uint8_t b : FBytes)
      if (b != kFill) return false;
    return true;
  }

 private:
  size_t FCapacity;
  Bytes FBytes;
};

class DecoderExports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Ocx().Module, nullptr) << "cannot load " << OcxPath();
    ASSERT_TRUE(Ocx().InitDecoder());
  }
  void TearDown() override {
    if (Ocx().Module != nullptr) Ocx().UninitDecoder();
  }
};

TEST(DecoderExportsLoad, EveryExportResolvesByOrdinalAndByName) {
  ASSERT_NE(Ocx().Module, nullptr) << "cannot load " << OcxPath();
  const struct {
    int Ordinal;
    const char* Name;
  } exports[] = {{15, "UnZipBufferEx"},      {16, "UnlockDecoder"}, {17, "LockDecoder"},
                 {18, "UninitDecoder"},      {19, "InitDecoder"},   {20, "Decompress"},
                 {21, "CheckKRMFileHeader"}, {22, "UnZipBuffer"}};
  for (const auto& e : exports) {
    FARPROC byOrdinal = ByOrdinal(Ocx().Module, e.Ordinal);
    FARPROC byName = GetProcAddress(Ocx().Module, e.Name);
    EXPECT_NE(byOrdinal, nullptr) << e.Ordinal;
    EXPECT_EQ(byOrdinal, byName) << e.Name;
  }
}

TEST(DecoderExportsLoad, InitAndUninitCountAndTheLastUninitFrees) {
  ASSERT_NE(Ocx().Module, nullptr);
  const TOcx& o = Ocx();
  const Bytes jpeg = JpegCompressUpsideDown(TestPicture(8, 8, 10, 20, 30));
  Bytes out(1000);
  auto decodes = [&] {
    return o.UnZipBuffer(jpeg.data(), uint32_t(jpeg.size()), CT_JPEG, 1000, out.data()) > 0;
  };

  EXPECT_FALSE(decodes()) << "no InitDecoder yet";
  o.LockDecoder();  // fails inside; nothing may escape the library
  o.UnlockDecoder();

  ASSERT_TRUE(o.InitDecoder());
  ASSERT_TRUE(o.InitDecoder());
  EXPECT_TRUE(o.UninitDecoder());
  EXPECT_TRUE(decodes()) << "one caller is still counted";
  EXPECT_TRUE(o.UninitDecoder());
  EXPECT_FALSE(decodes()) << "the last UninitDecoder frees the decoder";
  EXPECT_TRUE(o.UninitDecoder()) << "counting below zero still answers true";

  // Count -1 -> 0: the state is made again; back to 0 with everything freed.
  ASSERT_TRUE(o.InitDecoder());
  EXPECT_TRUE(decodes());
  ASSERT_TRUE(o.InitDecoder());
  EXPECT_TRUE(o.UninitDecoder());
  EXPECT_FALSE(decodes());
}

TEST_F(DecoderExports, CheckKRMFileHeaderWantsAThenV) {
  const uint8_t av[] = {'A', 'V', 0, 1}, va[] = {'V', 'A', 0, 1}, aa[] = {'A', 'A', 0, 0};
  EXPECT_TRUE(Ocx().CheckKRMFileHeader(av));
  EXPECT_FALSE(Ocx().CheckKRMFileHeader(va));
  EXPECT_FALSE(Ocx().CheckKRMFileHeader(aa));
}

// A JPEG header whose frame claims another size: only the header is read
// before the size test.
Bytes WithFrameSize(Bytes jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 0; i + 8 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1)) {
      jpeg[i + 5] = uint8_t(height >> 8);
      jpeg[i + 6] = uint8_t(height);
      jpeg[i + 7] = uint8_t(width >> 8);
      jpeg[i + 8] = uint8_t(width);
      return jpeg;
    }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

TEST_F(DecoderExports, ResultsAndRefusalsWithNothingWrittenPastTheCapacity) {
  const Bytes raw = BmpFileImage(TestPicture::Gradient(5, 3));
  const Bytes rec58 = Fixed58Record(1, 2, 3);
  const Bytes jpeg640 = JpegCompressUpsideDown(TestPicture(640, 480, 40, 80, 120), 75);
  const Bytes jpeg3 = JpegCompressUpsideDown(TestPicture(3, 2, 40, 80, 120));
  const Bytes jpeg641 = JpegCompressUpsideDown(TestPicture(641, 2, 40, 80, 120));
  const Bytes bmp = BmpFileImage(TestPicture::Gradient(33, 17));
  const Bytes zlib = ZlibCompress(bmp);
  const Bytes lzo = Lzo1x1Compress(bmp);
  Bytes lzoTrailing = lzo;
  lzoTrailing.push_back(0);
  const Bytes lzoCut(lzo.begin(), lzo.end() - 3);
  const Bytes zlibNotBitmap = ZlibCompress(Bytes(20, 'x'));
  Bytes bigBmp = bmp;
  const uint32_t claimed = uint32_t(bmp.size()) + 1;
  std::memcpy(&bigBmp[2], &claimed, 4);
  const Bytes zlibClaimsMore = ZlibCompress(bigBmp);
  // 43,692 pixels of 3 bytes by 32,768 rows: 2^32 + 131,072 bytes, which a
  // 32-bit product would take for 131,072.
  const Bytes jpegHuge = WithFrameSize(jpeg3, 43692, 32768);
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8};

  const struct {
    const char* Label;
    const void* Data;
    size_t Len;
    int16_t Type;
    uint32_t Capacity;
    int Expected;
    bool NothingWritten;
  } cases[] = {
      {"raw answers Len", raw.data(), raw.size(), CT_RAW, 200, int(raw.size()), false},
      {"raw longer than the capacity", raw.data(), raw.size(), CT_RAW, uint32_t(raw.size() - 1), 0, true},
      {"58-byte record answers 0", rec58.data(), rec58.size(), CT_FIXED58, 58, 0, false},
      {"58-byte record from 57 bytes", rec58.data(), 57, CT_FIXED58, 100, 0, true},
      {"58-byte record into 57 bytes", rec58.data(), rec58.size(), CT_FIXED58, 57, 0, true},
      {"JPEG 640x480", jpeg640.data(), jpeg640.size(), CT_JPEG, 921654, 921654, false},
      {"JPEG 640x480 one byte short", jpeg640.data(), jpeg640.size(), CT_JPEG, 921653, 0, true},
      {"JPEG 3 wide has 12-byte rows", jpeg3.data(), jpeg3.size(), CT_JPEG, 78, 54 + 12 * 2, false},
      {"JPEG 641 wide has 1924-byte rows", jpeg641.data(), jpeg641.size(), CT_JPEG, 4000, 54 + 1924 * 2,
       false},
      {"JPEG size past 32 bits", jpegHuge.data(), jpegHuge.size(), CT_JPEG, 200000, 0, true},
      {"not a JPEG", junk, sizeof(junk), CT_JPEG, 1000, 0, true},
      {"zlib", zlib.data(), zlib.size(), CT_ZLIB, uint32_t(bmp.size()), int(bmp.size()), false},
      {"zlib one byte short", zlib.data(), zlib.size(), CT_ZLIB, uint32_t(bmp.size() - 1), 0, false},
      {"zlib of no bitmap", zlibNotBitmap.data(), zlibNotBitmap.size(), CT_ZLIB, 1000, 0, false},
      {"zlib bitmap claims more", zlibClaimsMore.data(), zlibClaimsMore.size(), CT_ZLIB, 5000, 0, false},
      {"zlib junk", junk, sizeof(junk), CT_ZLIB, 1000, 0, false},
      {"LZO1X", lzo.data(), lzo.size(), CT_LZO, uint32_t(bmp.size()), int(bmp.size()), false},
      {"LZO1X one byte short", lzo.data(), lzo.size(), CT_LZO, uint32_t(bmp.size() - 1), -1, false},
      {"LZO1X trailing byte", lzoTrailing.data(), lzoTrailing.size(), CT_LZO, 5000, -1, false},
      {"LZO1X cut short", lzoCut.data(), lzoCut.size(), CT_LZO, 5000, -1, false},
      {"unknown type 7", raw.data(), raw.size(), 7, 1000, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TGuardedOut out(c.Capacity);
    EXPECT_EQ(Ocx().UnZipBuffer(c.Data, uint32_t(c.Len), c.Type, c.Capacity, out.Out()), c.Expected);
    EXPECT_TRUE(out.GuardsIntact());
    if (c.NothingWritten) {
      EXPECT_TRUE(out.Untouched());
    }
  }

  // Empty or absent input answers 0 for every type and writes nothing.
  for (int16_t type : {0, 1, 2, 3, 4, 7}) {
    SCOPED_TRACE(type);
    TGuardedOut out(100);
    EXPECT_EQ(Ocx().UnZipBuffer(raw.data(), 0, type, 100, out.Out()), 0);
    EXPECT_EQ(Ocx().UnZipBuffer(nullptr, 10, type, 100, out.Out()), 0);
    void* shared = nullptr;
    EXPECT_EQ(Ocx().UnZipBufferEx(nullptr, 10, type, 0, &shared), 0);
    EXPECT_EQ(shared, nullptr) << "no shared block for empty input";
    EXPECT_TRUE(out.Untouched());
  }
}

TEST_F(DecoderExports, DecompressAnswersTheLengthOnlyWhenTheEndMarkerEndsTheInput) {
  const Bytes data = BmpFileImage(TestPicture::Gradient(20, 20));
  const Bytes lzo = Lzo1x1Compress(data);
  Bytes out(data.size());
  ASSERT_EQ(Ocx().Decompress(lzo.data(), int(lzo.size()), out.data()), int(data.size()));
  EXPECT_EQ(out, data);
  Bytes trailing = lzo;
  trailing.push_back(0x11);
  EXPECT_EQ(Ocx().Decompress(trailing.data(), int(trailing.size()), out.data()), -1);
  EXPECT_EQ(Ocx().Decompress(lzo.data(), int(lzo.size()) - 1, out.data()), -1);
  EXPECT_EQ(Ocx().Decompress(lzo.data(), -5, out.data()), -1);
}

TEST_F(DecoderExports, LosslessTypesGiveBackTheBitmapExactly) {
  const Bytes bmp = BmpFileImage(TestPicture::Gradient(37, 23));
  const struct {
    const char* Label;
    int16_t Type;
    Bytes Payload;
  } cases[] = {
      {"zlib", CT_ZLIB, ZlibCompress(bmp)}, {"LZO1X", CT_LZO, Lzo1x1Compress(bmp)}, {"raw", CT_RAW, bmp}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    Bytes out(bmp.size() + 100, 0xEE);
    ASSERT_EQ(Ocx().UnZipBuffer(c.Payload.data(), uint32_t(c.Payload.size()), c.Type, uint32_t(out.size()),
                                out.data()),
              int(bmp.size()));
    EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), out.begin()));
  }
}

TEST_F(DecoderExports, RecordingJPEGComesOutUprightTopDownInBlueGreenRed) {
  const TestPicture picture = Quadrants();
  const Bytes jpeg = JpegCompressUpsideDown(picture, 95);
  Bytes out(54 + 64 * 64 * 3);
  ASSERT_EQ(Ocx().UnZipBuffer(jpeg.data(), uint32_t(jpeg.size()), CT_JPEG, uint32_t(out.size()), out.data()),
            int(out.size()));
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(U32At(&out[2]), out.size());
  EXPECT_EQ(U32At(&out[10]), 54u);
  EXPECT_EQ(U32At(&out[14]), 40u);
  EXPECT_EQ(I32At(&out[18]), 64);
  EXPECT_EQ(I32At(&out[22]), -64) << "top-down";
  EXPECT_EQ(out[28], 24);
  EXPECT_EQ(U32At(&out[34]), 64u * 64 * 3);

  // Row y of the picture at Out + 54 + y * row size. Chroma upsampling
  // blurs the colour edges, so only pixels 4 or more away from them count.
  int worst = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      if (std::abs(x % 32 - 16) > 12 || std::abs(y % 32 - 16) > 12) continue;
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(out[54 + (y * 64 + x) * 3 + c]) - int(picture.Pixel(x, y)[c])));
    }
  EXPECT_LE(worst, 24);
}

TEST_F(DecoderExports, SharedBlockIsTakenOnceAndReused) {
  const Bytes bmp = BmpFileImage(TestPicture::Gradient(16, 16));
  const Bytes zlib = ZlibCompress(bmp);
  void* first = nullptr;
  Ocx().LockDecoder();
  ASSERT_EQ(Ocx().UnZipBufferEx(zlib.data(), uint32_t(zlib.size()), CT_ZLIB, 0, &first), int(bmp.size()));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::memcmp(first, bmp.data(), bmp.size()), 0);
  void* second = nullptr;
  ASSERT_EQ(Ocx().UnZipBufferEx(zlib.data(), uint32_t(zlib.size()), CT_ZLIB, 0, &second), int(bmp.size()));
  EXPECT_EQ(first, second);
  Ocx().UnlockDecoder();

  // A caller's own block is used as given.
  Bytes own(bmp.size());
  void* out = own.data();
  EXPECT_EQ(Ocx().UnZipBufferEx(zlib.data(), uint32_t(zlib.size()), CT_ZLIB, uint32_t(own.size()), &out),
            int(bmp.size()));
  EXPECT_EQ(out, own.data());
  EXPECT_EQ(own, bmp);
}

TEST_F(DecoderExports, FourThreadsShareTheBlockUnderTheLock) {
  struct TJob {
    int16_t Type;
    Bytes Payload;
    Bytes Expected;
  };
  std::vector<TJob> jobs;
  const TestPicture a = TestPicture::Gradient(97, 61), b = TestPicture::Gradient(61, 97);
  jobs.push_back({CT_ZLIB, ZlibCompress(BmpFileImage(a)), BmpFileImage(a)});
  jobs.push_back({CT_LZO, Lzo1x1Compress(BmpFileImage(b)), BmpFileImage(b)});
  jobs.push_back({CT_JPEG, JpegCompressUpsideDown(Quadrants()), {}});
  jobs.push_back(
      {CT_RAW, BmpFileImage(TestPicture(50, 40, 9, 8, 7)), BmpFileImage(TestPicture(50, 40, 9, 8, 7))});
  {
    // The JPEG's expected bytes: the same decode done alone.
    Bytes out(54 + 64 * 64 * 3);
    ASSERT_EQ(Ocx().UnZipBuffer(jobs[2].Payload.data(), uint32_t(jobs[2].Payload.size()), CT_JPEG,
                                uint32_t(out.size()), out.data()),
              int(out.size()));
    jobs[2].Expected = out;
  }

  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (const TJob& job : jobs)
    threads.emplace_back([&job, &mismatches] {
      for (int i = 0; i < 60; ++i) {
        Ocx().LockDecoder();
        void* out = nullptr;
        int n = Ocx().UnZipBufferEx(job.Payload.data(), uint32_t(job.Payload.size()), job.Type, 0, &out);
        if (n != int(job.Expected.size()) || out == nullptr ||
            std::memcmp(out, job.Expected.data(), job.Expected.size()) != 0)
          ++mismatches;
        Ocx().UnlockDecoder();
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

std::string TodaysLog() {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder(exe);
  folder.erase(folder.find_last_of('\\'));
  SYSTEMTIME now;
  GetLocalTime(&now);
  char name[32];
  std::snprintf(name, sizeof(name), "%04u-%02u-%02u.log", now.wYear, now.wMonth, now.wDay);
  std::ifstream in(folder + "\\Log\\" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(DecoderExports, AFailureIsAnsweredAndWrittenToTheDailyLog) {
  const uint8_t data[16] = {};
  uint8_t out[64];
  const int16_t type = 7;
  EXPECT_EQ(Ocx().UnZipBuffer(data, sizeof(data), type, sizeof(out), out), 0);
  const std::string line = "UnZipBuffer: " + WideToGBK(L"不支持这种图象压缩格式!");
  // Around midnight the line may have gone to the day before's file.
  std::string log = TodaysLog();
  if (log.find(line) == std::string::npos) {
    EXPECT_EQ(Ocx().UnZipBuffer(data, sizeof(data), type, sizeof(out), out), 0);
    log = TodaysLog();
  }
  EXPECT_NE(log.find(line), std::string::npos);
}

}  // namespace
