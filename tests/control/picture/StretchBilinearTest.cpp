// The bilinear scaler against a plain reference of the same mapping, written
// with the four weights spelled out instead of the expanded sum.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "picture/StretchBilinear.h"

namespace {

struct TImage {
  TImage(int32_t w, int32_t h, uint8_t fill = 0) : Width(w), Height(h), Pixels(size_t(w) * h * 3, fill) {}
  TPixelView View() { return {Pixels.data(), ptrdiff_t{Width} * 3, Width, Height}; }
  TConstPixelView ConstView() const { return {Pixels.data(), ptrdiff_t{Width} * 3, Width, Height}; }
  uint8_t* At(int32_t x, int32_t y) { return &Pixels[(size_t(y) * Width + x) * 3]; }
  const uint8_t* At(int32_t x, int32_t y) const { return &Pixels[(size_t(y) * Width + x) * 3]; }
  int32_t Width, Height;
  std::vector<uint8_t> Pixels;
};

// Deterministic noise with full-range bytes, so every weight matters.
TImage Noise(int32_t w, int32_t h, uint32_t seed) {
  TImage image(w, h);
  for (uint8_t& b : image.Pixels) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return image;
}

struct TCall {
  int32_t DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH;
};

// Weights of the four neighbours: (DX - fx)(DY - fy), fx(DY - fy), (DX - fx)fy
// and fx fy, over DX DY, rounded to nearest.
void Reference(TImage& dst, const TImage& src, const TCall& c) {
  const int64_t X1 = c.SrcX + c.SrcW - 1, Y1 = c.SrcY + c.SrcH - 1;
  const int64_t DX = c.DstX + c.DstW - 1, DY = c.DstY + c.DstH - 1;
  for (int64_t y = c.DstY; y < c.DstY + c.DstH; ++y) {
    const int64_t sy = y * Y1 / DY, fy = y * Y1 % DY;
    for (int64_t x = 0; x < c.DstW; ++x) {
      const int64_t sx = x * X1 / DX, fx = x * X1 % DX;
      const int32_t col = int32_t(c.SrcX + sx), row = int32_t(sy);
      const uint8_t* p00 = src.At(col, row);
      const uint8_t* p01 = fx ? src.At(col + 1, row) : p00;
      const uint8_t* p10 = fy ? src.At(col, row + 1) : p00;
      const uint8_t* p11 = fx ? (fy ? src.At(col + 1, row + 1) : p01) : p10;
      uint8_t* out = dst.At(int32_t(c.DstX + x), int32_t(y));
      for (int i = 0; i < 3; ++i) {
        const int64_t sum = p00[i] * (DX - fx) * (DY - fy) + p01[i] * fx * (DY - fy) +
                            p10[i] * (DX - fx) * fy + p11[i] * fx * fy;
        out[i] = static_cast<uint8_t>((sum + DX * DY / 2) / (DX * DY));
      }
    }
  }
}

// The expanded sum as 32-bit arithmetic computes it: it wraps once the
// products pass 2^31.
uint8_t Expanded32(int64_t p00, int64_t p01, int64_t p10, int64_t p11, int64_t wx, int64_t wy, int64_t DX,
                   int64_t DY) {
  auto w = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
  const int32_t area = w(DX * DY);
  const int32_t sum = w(int64_t{w((p00 - p01 - p10 + p11) * wx * wy)} + w(p01 * DX * wy) + w(p10 * DY * wx) +
                        w(p11 * int64_t{w(int64_t{area} - DY * wx - DX * wy)}) + area / 2);
  return static_cast<uint8_t>(sum / area);
}

bool Scale(TImage& dst, const TImage& src, const TCall& c) {
  return StretchBilinear(dst.View(), c.DstX, c.DstY, c.DstW, c.DstH, src.ConstView(), c.SrcX, c.SrcY, c.SrcW,
                         c.SrcH, 3);
}

}  // namespace

TEST(StretchBilinearTest, MatchesReferenceByteForByte) {
  const TImage src = Noise(1024, 768, 7);
  // Rectangles as fit mode hands them over (a snapped source and its zoomed
  // place), and plain up- and down-scaling of the whole picture.
  const TCall calls[] = {
      {37, 0, 74, 74, 100, 0, 200, 200},       // 37 %: (100,0)-(300,200)
      {370, 259, 8, 25, 1000, 700, 24, 68},    // 37 %, at the bottom right corner
      {0, 0, 400, 300, 0, 0, 1024, 768},       // whole picture, down
      {50, 50, 100, 100, 100, 100, 100, 100},  // 50 %: (100,100)-(200,200)
      {0, 0, 1023, 767, 0, 0, 512, 384},       // up
      {1, 1, 2, 2, 0, 0, 2, 2},                // smallest destination that draws
  };
  for (const TCall& c : calls) {
    SCOPED_TRACE(std::to_string(c.DstX) + "," + std::to_string(c.DstY) + " " + std::to_string(c.DstW) + "x" +
                 std::to_string(c.DstH));
    TImage got(1024, 768, 0xAB), want(1024, 768, 0xAB);
    ASSERT_TRUE(Scale(got, src, c));
    Reference(want, src, c);
    ASSERT_EQ(want.Pixels, got.Pixels);  // also: nothing outside the rectangle changed
  }
}

TEST(StretchBilinearTest, LargePicturesDoNotOverflow) {
  // Upscaling to a 3000 x 3000 picture: DX x DY x 255 passes 2^31, where
  // the 32-bit sum wraps.
  const TImage src = Noise(1600, 1600, 11);
  const TCall c{2900, 2900, 100, 100, 1450, 1450, 50, 50};
  TImage got(3000, 3000), want(3000, 3000);
  ASSERT_TRUE(Scale(got, src, c));
  Reference(want, src, c);
  ASSERT_EQ(want.Pixels, got.Pixels);

  // Show that this case is one where 32 bits go wrong, and that where they
  // do not, the 32-bit sum agrees with the reference (so the results are the
  // same wherever the old arithmetic held).
  const int64_t X1 = c.SrcX + c.SrcW - 1, Y1 = c.SrcY + c.SrcH - 1, DX = c.DstX + c.DstW - 1,
                DY = c.DstY + c.DstH - 1;
  int wrapped = 0;
  for (int32_t y = c.DstY; y < c.DstY + c.DstH; ++y) {
    const int64_t sy = y * Y1 / DY, fy = y * Y1 % DY;
    for (int32_t x = 0; x < c.DstW; x += 7) {
      const int64_t sx = x * X1 / DX, fx = x * X1 % DX;
      const int32_t col = int32_t(c.SrcX + sx), row = int32_t(sy);
      const uint8_t* p00 = src.At(col, row);
      const uint8_t* p01 = fx ? src.At(col + 1, row) : p00;
      const uint8_t* p10 = fy ? src.At(col, row + 1) : p00;
      const uint8_t* p11 = fx ? (fy ? src.At(col + 1, row + 1) : p01) : p10;
      for (int i = 0; i < 3; ++i)
        if (Expanded32(p00[i], p01[i], p10[i], p11[i], DX - fx, DY - fy, DX, DY) != got.At(c.DstX + x, y)[i])
          ++wrapped;
    }
  }
  EXPECT_GT(wrapped, 0);

  const TImage small = Noise(200, 200, 3);
  const TCall s{10, 10, 90, 90, 20, 20, 180, 180};
  TImage scaled(200, 200);
  ASSERT_TRUE(Scale(scaled, small, s));
  const int64_t sX1 = s.SrcX + s.SrcW - 1, sY1 = s.SrcY + s.SrcH - 1, sDX = s.DstX + s.DstW - 1,
                sDY = s.DstY + s.DstH - 1;
  for (int32_t y = s.DstY; y < s.DstY + s.DstH; ++y) {
    const int64_t sy = y * sY1 / sDY, fy = y * sY1 % sDY;
    for (int32_t x = 0; x < s.DstW; ++x) {
      const int64_t sx = x * sX1 / sDX, fx = x * sX1 % sDX;
      const int32_t col = int32_t(s.SrcX + sx), row = int32_t(sy);
      const uint8_t* p00 = small.At(col, row);
      const uint8_t* p01 = fx ? small.At(col + 1, row) : p00;
      const uint8_t* p10 = fy ? small.At(col, row + 1) : p00;
      const uint8_t* p11 = fx ? (fy ? small.At(col + 1, row + 1) : p01) : p10;
      for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Expanded32(p00[i], p01[i], p10[i], p11[i], sDX - fx, sDY - fy, sDX, sDY),
                  scaled.At(s.DstX + x, y)[i]);
    }
  }
}

// Columns map from SrcX by the absolute ratio, which can run past the
// source's right edge; such reads take the edge column instead.
TEST(StretchBilinearTest, ReadsStopAtTheSourceEdge) {
  // The picture is 60 pixels wide inside rows of 100 whose last 40 pixels are
  // noise that must never be read; the reference sees the edge column
  // repeated there instead.
  TImage memory = Noise(100, 60, 9), padded(100, 60);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 100; ++x)
      for (int i = 0; i < 3; ++i) padded.At(x, y)[i] = memory.At(x < 60 ? x : 59, y)[i];
  const TCall c{10, 0, 20, 30, 50, 0, 10, 60};
  TImage got(40, 40), want(40, 40);
  const TConstPixelView narrow{memory.Pixels.data(), 100 * 3, 60, 60};
  ASSERT_TRUE(
      StretchBilinear(got.View(), c.DstX, c.DstY, c.DstW, c.DstH, narrow, c.SrcX, c.SrcY, c.SrcW, c.SrcH, 3));
  Reference(want, padded, c);
  EXPECT_EQ(want.Pixels, got.Pixels);
}

TEST(StretchBilinearTest, DrawsNothingWhereItCannot) {
  const TImage src = Noise(100, 100, 5);
  const TCall calls[] = {
      {0, 0, 1, 50, 0, 0, 100, 100},     // last destination column is 0
      {0, 0, 50, 1, 0, 0, 100, 100},     // last destination row is 0
      {60, 60, 50, 50, 0, 0, 100, 100},  // destination leaves the picture
      {10, 10, 50, 50, 60, 0, 50, 100},  // source leaves the picture
      {10, 10, 0, 50, 0, 0, 100, 100},   // empty
      {10, 10, 50, 50, -1, 0, 50, 50},
  };
  for (const TCall& c : calls) {
    TImage dst(100, 100, 0x5A);
    EXPECT_FALSE(Scale(dst, src, c)) << c.DstX << "," << c.DstW << " from " << c.SrcX;
    EXPECT_EQ(std::vector<uint8_t>(dst.Pixels.size(), 0x5A), dst.Pixels);
  }
}
