#pragma once
// JPEG stream in memory -> 24-bit DIB rows (blue, green, red), through
// libjpeg. Both calls hand every libjpeg failure on as EJPEG after the
// decompressor has been destroyed; no jump or exception crosses libjpeg.
#include <cstdint>

#include "base/Exception.h"
#include "base/Stream.h"

#ifdef _WIN32
#include <windows.h>
#else
// Same layout as the Windows structure, so the decoder also builds natively.
struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
#endif
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// Carries libjpeg's message code as "JPEG error #<code>".
class EJPEG : public EInvalidGraphic {
 public:
  explicit EJPEG(int code);
  int Code() const noexcept { return FCode; }

 private:
  int FCode;
};

// Bytes of one row of Width pixels of BitCount bits, padded to Align bits.
inline uint32_t RowBytes(uint32_t Width, uint32_t BitCount, uint32_t Align) {
  uint64_t bits = uint64_t(Width) * BitCount + Align - 1;
  return static_cast<uint32_t>((bits & ~uint64_t(Align - 1)) / 8);
}

// Fills Info for a 24-bit bottom-up DIB of the picture (biSizeImage saturates
// at 0xFFFFFFFF for pictures whose rows do not fit in 32 bits; callers that
// size buffers compute the size in 64 bits). Reads from position 0.
bool ReadJPEGHeader(BITMAPINFOHEADER& Info, TStream& Stream);

// Decodes every row; the first (top) row goes to Dest, which points at the
// LAST row of a buffer of |Info.biHeight| rows of RowBytes(Info.biWidth, 24,
// 32) bytes, and each next row one row lower in memory. Answers false, having
// written nothing past the buffer, when the picture's output size is not the
// one Info states.
bool DecodeJPEGToDIB(TStream& Stream, BITMAPINFOHEADER Info, uint8_t* Dest);
