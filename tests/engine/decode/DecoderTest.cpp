// The engine's own decoder calls: the failures as the engine's callers get
// them (exceptions with the decoder's texts) and the JPEG colour handling.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "decode/Decoder.h"
#include "decode/JPEGDecoder.h"
#include "decode/PictureSize.h"
#include "base/Exception.h"
#include "KrmWriter.h"
#include "decode/SuperMemoryStream.h"
#include "base/SystemText.h"

namespace {

// Greyscale and CMYK pictures, which the test-support writer does not make.
struct TJpegJump {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
};
void JumpOut(j_common_ptr cinfo) { longjmp(reinterpret_cast<TJpegJump*>(cinfo->err)->Jump, 1); }

Bytes JpegOf(int width, int height, int components, J_COLOR_SPACE space, const Bytes& pixels) {
  jpeg_compress_struct cinfo;
  TJpegJump err;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = JumpOut;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    ADD_FAILURE() << "compressing the fixture failed";
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&pixels[size_t(cinfo.next_scanline) * width * components]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

std::string Text(const wchar_t* text) { return WideToGBK(text); }

template <typename Body>
std::string FailureOf(Body body) {
  try {
    body();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no failure)";
}

class DecoderEngine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TDecoder::InitDecoder()); }
  void TearDown() override { TDecoder::UninitDecoder(); }
};

TEST(DecoderEngineState, LockBeforeInitFailsAndTheCountGoesBelowZero) {
  ASSERT_EQ(TDecoder::ReferenceCount(), 0);
  const std::string notInitialised = Text(L"尚未调用 InitDecoder");
  EXPECT_EQ(FailureOf([] { TDecoder::LockDecoder(); }), notInitialised);
  EXPECT_EQ(FailureOf([] { TDecoder::UnlockDecoder(); }), notInitialised);
  const uint8_t data[] = {0xFF, 0xD8, 0xFF};
  uint8_t out[100];
  EXPECT_EQ(FailureOf([&] { TDecoder::UnZipBuffer(data, sizeof(data), CT_JPEG, sizeof(out), out); }),
            notInitialised);
  void* shared = nullptr;
  EXPECT_EQ(FailureOf([&] { TDecoder::UnZipBufferEx(data, sizeof(data), CT_RAW, 0, shared); }),
            notInitialised);

  ASSERT_TRUE(TDecoder::InitDecoder());
  TDecoder::LockDecoder();
  TDecoder::LockDecoder();  // re-entrant for its owner
  TDecoder::UnlockDecoder();
  TDecoder::UnlockDecoder();
  EXPECT_TRUE(TDecoder::UninitDecoder());
  EXPECT_EQ(FailureOf([] { TDecoder::LockDecoder(); }), notInitialised);
  EXPECT_TRUE(TDecoder::UninitDecoder());
  EXPECT_EQ(TDecoder::ReferenceCount(), -1);
  ASSERT_TRUE(TDecoder::InitDecoder());
  EXPECT_EQ(TDecoder::ReferenceCount(), 0);
  // Count 0 with the state made again; one more pair frees it for good.
  ASSERT_TRUE(TDecoder::InitDecoder());
  EXPECT_TRUE(TDecoder::UninitDecoder());
  EXPECT_EQ(FailureOf([] { TDecoder::LockDecoder(); }), notInitialised);
}

TEST_F(DecoderEngine, FailuresCarryTheDecoderTexts) {
  const Bytes jpeg = JpegCompressUpsideDown(TestPicture(640, 480, 1, 2, 3), 60);
  const Bytes bmp = BmpFileImage(TestPicture::Gradient(20, 20));
  const Bytes zlib = ZlibCompress(bmp);
  const uint8_t junk[] = {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'};
  Bytes out(921653);
  const struct {
    const char* Label;
    const void* Data;
    size_t Len;
    int16_t Type;
    uint32_t Capacity;
    std::string Expected;
  } cases[] = {
      {"JPEG too big", jpeg.data(), jpeg.size(), CT_JPEG, 921653, Text(L"输出缓冲区太小")},
      {"unknown type", bmp.data(), bmp.size(), 7, 1000, Text(L"不支持这种图象压缩格式!")},
      {"zlib too big", zlib.data(), zlib.size(), CT_ZLIB, 100, "ZLib error: target buffer may be too small"},
      {"raw too big", bmp.data(), bmp.size(), CT_RAW, 100, Text(L"输出缓冲区太小")},
      {"58-byte record into 57", bmp.data(), bmp.size(), CT_FIXED58, 57, Text(L"输出缓冲区太小")},
      {"not a JPEG", junk, sizeof(junk), CT_JPEG, 1000, "JPEG error #" + std::to_string(JERR_NO_SOI)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(
        FailureOf([&] { TDecoder::UnZipBuffer(c.Data, uint32_t(c.Len), c.Type, c.Capacity, out.data()); }),
        c.Expected);
  }
  // A failure inside the JPEG decode leaves the lock free for other threads.
  bool taken = false;
  std::thread other([&] {
    TDecoderLock lock;
    taken = true;
  });
  other.join();
  EXPECT_TRUE(taken);
}

TEST_F(DecoderEngine, NotAJpegRaisesEJPEGWithTheMissingStartCode) {
  const uint8_t junk[] = {0x12, 0x34, 0x56, 0x78};
  TSuperMemoryStream stream;
  stream.SetPointer(junk, sizeof(junk));
  BITMAPINFOHEADER info;
  try {
    ReadJPEGHeader(info, stream);
    FAIL() << "no EJPEG";
  } catch (const EJPEG& e) {
    EXPECT_EQ(e.Code(), JERR_NO_SOI);
    EXPECT_EQ(e.Message(), "JPEG error #" + std::to_string(JERR_NO_SOI));
  }
}

TEST_F(DecoderEngine, GreyscaleComesOutAsEqualBlueGreenRed) {
  Bytes grey(16 * 16);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i < 128 ? 40 : 200);
  const Bytes jpeg = JpegOf(16, 16, 1, JCS_GRAYSCALE, grey);
  Bytes out(54 + 16 * 16 * 3);
  ASSERT_EQ(
      TDecoder::UnZipBuffer(jpeg.data(), uint32_t(jpeg.size()), CT_JPEG, uint32_t(out.size()), out.data()),
      int(out.size()));
  // The stored first row is the top of the memory's last row.
  for (int row = 0; row < 16; ++row) {
    const uint8_t* p = &out[54 + row * 16 * 3];
    const int want = (15 - row) < 8 ? 40 : 200;
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(p[x * 3], p[x * 3 + 1]);
      EXPECT_EQ(p[x * 3], p[x * 3 + 2]);
      EXPECT_NEAR(p[x * 3], want, 8) << "row " << row;
    }
  }
}

TEST_F(DecoderEngine, FourComponentPicturesAreRefusedWithoutWriting) {
  const Bytes cmyk = JpegOf(16, 16, 4, JCS_CMYK, Bytes(16 * 16 * 4, 0x80));
  Bytes out(54 + 16 * 16 * 3 + 64, 0xCD);
  try {
    TDecoder::UnZipBuffer(cmyk.data(), uint32_t(cmyk.size()), CT_JPEG, uint32_t(out.size()), out.data());
    FAIL() << "no EJPEG";
  } catch (const EJPEG& e) {
    EXPECT_EQ(e.Code(), JERR_CONVERSION_NOTIMPL);
  }
  for (size_t i = 54; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCD) << i;
}

TEST_F(DecoderEngine, RowDecoderRefusesAPictureOfAnotherSize) {
  const Bytes jpeg = JpegCompressUpsideDown(TestPicture(16, 16, 1, 2, 3));
  TSuperMemoryStream stream;
  stream.SetPointer(jpeg.data(), int64_t(jpeg.size()));
  BITMAPINFOHEADER info;
  ASSERT_TRUE(ReadJPEGHeader(info, stream));
  EXPECT_EQ(info.biWidth, 16);
  EXPECT_EQ(info.biHeight, 16);
  EXPECT_EQ(info.biSizeImage, 16u * 48);
  info.biHeight = 8;  // the caller's block holds 8 rows only
  Bytes rows(8 * 48 + 64, 0xCD);
  EXPECT_FALSE(DecodeJPEGToDIB(stream, info, &rows[7 * 48]));
  for (uint8_t b : rows) ASSERT_EQ(b, 0xCD);
}

// A live stream learns its size from its first key frame.
TEST_F(DecoderEngine, PictureSizeOfAKeyFrameAndOfFramesThatHaveNone) {
  struct Case {
    const char* name;
    KrmRecord record;
    bool sized;
    uint16_t width, height;
  };
  const TestPicture picture(20, 7, 1, 2, 3);
  const Case cases[] = {
      {"zlib, bottom-up", {0, 0, 0, FT_KEY, CT_ZLIB, 0, 0, ZlibCompress(BmpFileImage(picture)), {}}, true, 20, 7},
      {"raw, top-down", {0, 0, 0, FT_KEY, CT_RAW, 0, 0, BmpFileImage(picture, 24, true), {}}, true, 20, 7},
      {"jpeg", {0, 0, 0, FT_KEY, CT_JPEG, 0, 0, JpegCompressUpsideDown(picture), {}}, true, 20, 7},
      {"three raw bytes", {0, 0, 0, FT_KEY, CT_RAW, 0, 0, Bytes{1, 2, 3}, {}}, false, 0, 0},
      {"no payload", {0, 0, 0, FT_KEY, CT_ZLIB, 0, 0, Bytes{}, {}}, false, 0, 0},
      {"not zlib", {0, 0, 0, FT_KEY, CT_ZLIB, 0, 0, Bytes(64, 0x55), {}}, false, 0, 0},
      {"width 0", {0, 0, 0, FT_KEY, CT_ZLIB, 0, 0, ZlibCompress(BmpFileImage(TestPicture(0, 7))), {}}, false, 0, 0},
  };
  for (const Case& c : cases) {
    const Bytes block = c.record.Serialize();
    const auto& frame = *reinterpret_cast<const FrameRecord*>(block.data());
    uint16_t width = 0, height = 0;
    if (c.sized) {
      GetPictureSize(frame, width, height);
      EXPECT_EQ(width, c.width) << c.name;
      EXPECT_EQ(height, c.height) << c.name;
    } else {
      EXPECT_THROW(GetPictureSize(frame, width, height), Exception) << c.name;
    }
  }
}

}  // namespace
