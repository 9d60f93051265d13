#include "picture/StretchBilinear.h"

#include <algorithm>

namespace {

bool Inside(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t Width, int32_t Height) {
  return W > 0 && H > 0 && X >= 0 && Y >= 0 && int64_t{X} + W <= Width && int64_t{Y} + H <= Height;
}

}  // namespace

bool StretchBilinear(const TPixelView& Dst, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                     const TConstPixelView& Src, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                     int32_t BytesPerPixel) {
  const int64_t X1 = int64_t{SrcX} + SrcW - 1, Y1 = int64_t{SrcY} + SrcH - 1;
  const int64_t DX = int64_t{DstX} + DstW - 1, DY = int64_t{DstY} + DstH - 1;
  if (DX == 0 || DY == 0) return false;
  if (!Dst.Bits || !Src.Bits || BytesPerPixel <= 0) return false;
  if (!Inside(DstX, DstY, DstW, DstH, Dst.Width, Dst.Height)) return false;
  if (!Inside(SrcX, SrcY, SrcW, SrcH, Src.Width, Src.Height)) return false;

  const int64_t area = DX * DY, half = area / 2;
  // The absolute mapping can reach a little past the source rectangle's
  // right edge; reads stay inside the source picture.
  const int64_t lastColumn = Src.Width - 1, lastRow = Src.Height - 1;
  const int b = BytesPerPixel;
  for (int64_t y = DstY; y < int64_t{DstY} + DstH; ++y) {
    const int64_t sy = y * Y1 / DY, fy = y * Y1 % DY, wy = DY - fy;
    const uint8_t* upper = Src.Bits + std::min(sy, lastRow) * Src.Stride;
    const uint8_t* lower = fy == 0 ? upper : Src.Bits + std::min(sy + 1, lastRow) * Src.Stride;
    uint8_t* out = Dst.Bits + y * Dst.Stride + int64_t{DstX} * b;
    for (int64_t x = 0; x < DstW; ++x) {
      const int64_t sx = x * X1 / DX, fx = x * X1 % DX, wx = DX - fx;
      const int64_t c0 = std::min(SrcX + sx, lastColumn);
      const int64_t c1 = fx == 0 ? c0 : std::min(c0 + 1, lastColumn);
      const uint8_t* p00 = upper + c0 * b;
      const uint8_t* p01 = upper + c1 * b;
      const uint8_t* p10 = lower + c0 * b;
      const uint8_t* p11 = lower + c1 * b;
      const int64_t w11 = area - DY * wx - DX * wy;
      for (int i = 0; i < b; ++i) {
        const int64_t v00 = p00[i], v01 = p01[i], v10 = p10[i], v11 = p11[i];
        const int64_t value =
            ((v00 - v01 - v10 + v11) * wx * wy + v01 * DX * wy + v10 * DY * wx + v11 * w11 + half) / area;
        out[x * b + i] = static_cast<uint8_t>(value);
      }
    }
  }
  return true;
}
