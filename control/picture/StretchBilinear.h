#pragma once
// Integer bilinear scaling of a rectangle of the back buffer into the shown
// picture, for fit mode. Free of the platform: it works on pixel memory.
#include <cstddef>
#include <cstdint>

// Rows of Width pixels of BytesPerPixel bytes each; row y starts at
// Bits + y * Stride (a negative stride walks a bottom-up bitmap).
struct TPixelView {
  uint8_t* Bits = nullptr;
  ptrdiff_t Stride = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

struct TConstPixelView {
  const uint8_t* Bits = nullptr;
  ptrdiff_t Stride = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Scales (SrcX, SrcY, SrcW, SrcH) of Src into (DstX, DstY, DstW, DstH) of
// Dst. The mapping runs from the absolute last destination row and column
// to the absolute last source row and column; rows map by absolute row,
// columns by the column relative to DstX, placed from SrcX. True when it drew.
// False, with nothing drawn, when the last destination row or column is 0 or
// either rectangle does not lie inside its picture. Every product is taken in
// 64 bits, so large pictures scale as small ones do. No allocation.
bool StretchBilinear(const TPixelView& Dst, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                     const TConstPixelView& Src, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                     int32_t BytesPerPixel);
