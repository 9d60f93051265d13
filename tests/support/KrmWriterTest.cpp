// The writer's pictures feed the decoder tests, so a wrong BMP layout or a
// JPEG stored the right way up here would hide a decoder fault there.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lzo/lzo1x.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

#include "KrmWriter.h"

namespace {

uint32_t U32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(KrmWriterPictures, BmpRowsArePaddedAndBottomUpUnlessTopDown) {
  TestPicture p = TestPicture::Gradient(3, 2);
  Bytes bmp = BmpFileImage(p);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // 9 bytes a row padded to 12
  EXPECT_EQ(U32(bmp, 2), bmp.size());
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_EQ(int32_t(U32(bmp, 22)), 2);
  EXPECT_EQ(0, std::memcmp(&bmp[54], p.Pixel(0, 1), 9));  // bottom row first
  EXPECT_EQ(0, std::memcmp(&bmp[66], p.Pixel(0, 0), 9));

  Bytes top = BmpFileImage(p, 32, true);
  ASSERT_EQ(top.size(), 54u + 2 * 12);
  EXPECT_EQ(int32_t(U32(top, 22)), -2);
  EXPECT_EQ(0, std::memcmp(&top[54], p.Pixel(0, 0), 3));
  EXPECT_EQ(0, std::memcmp(&top[58], p.Pixel(1, 0), 3));

  Bytes one = Fixed58Record(1, 2, 3);
  ASSERT_EQ(one.size(), 58u);
  EXPECT_EQ(one[54], 1);
  EXPECT_EQ(one[56], 3);
}

TEST(KrmWriterPictures, CompressorsRoundTrip) {
  Bytes data = BmpFileImage(TestPicture::Gradient(40, 30));
  Bytes z = ZlibCompress(data);
  Bytes back(data.size());
  uLongf size = uLongf(back.size());
  ASSERT_EQ(uncompress(back.data(), &size, z.data(), uLong(z.size())), Z_OK);
  EXPECT_EQ(back, data);

  Bytes l = Lzo1x1Compress(data);
  Bytes back2(data.size());
  lzo_uint size2 = back2.size();
  ASSERT_EQ(lzo1x_decompress_safe(l.data(), l.size(), back2.data(), &size2, nullptr), LZO_E_OK);
  EXPECT_EQ(back2, data);
}

TEST(KrmWriterPictures, JpegStoresTheBottomRowFirst) {
  // Top half red, bottom half blue: large flat areas survive lossy coding.
  TestPicture p(16, 16, 0, 0, 255);
  for (int y = 8; y < 16; ++y)
    for (int x = 0; x < 16; ++x) p.SetPixel(x, y, 255, 0, 0);
  Bytes jpeg = JpegCompressUpsideDown(p, 95);

  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  EXPECT_EQ(cinfo.output_width, 16u);
  Bytes row(16 * 3);
  JSAMPROW r = row.data();
  jpeg_read_scanlines(&cinfo, &r, 1);
  EXPECT_GT(row[0], 200);  // first scanline is the blue bottom row
  EXPECT_LT(row[2], 60);
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

}  // namespace
