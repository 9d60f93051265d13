#pragma once
// BMP file images as the decoder hands them to the drawing code: a 14-byte
// file header, an info header, an optional colour table and the rows. The
// check here runs before any GDI call sees the bytes, because the image comes
// straight out of a recording and its sizes cannot be trusted. Byte-level
// only: no Windows headers, so it builds natively for fuzzing too.
#include <cstdint>
#include <string>

#pragma pack(push, 1)

struct BmpFileHeader {
  uint16_t bfType;  // "BM"
  uint32_t bfSize;
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;  // offset of the rows from the start of the image
};

struct BmpInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // negative: rows run from the top
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

#pragma pack(pop)

static_assert(sizeof(BmpFileHeader) == 14, "BMP file header is 14 bytes");
static_assert(sizeof(BmpInfoHeader) == 40, "BMP info header is 40 bytes");

constexpr uint16_t BMP_SIGNATURE = 0x4D42;  // "BM"
constexpr uint32_t BMP_HEADERS_SIZE = sizeof(BmpFileHeader) + sizeof(BmpInfoHeader);
constexpr uint32_t BMP_RGB = 0;
constexpr uint32_t BMP_BITFIELDS = 3;
constexpr int64_t BMP_MAX_SIDE = 65535;

// What the image is about to be used for; each use accepts other pixel
// formats.
enum class TBitmapUse {
  Patch,     // drawn into the picture with SetDIBits and a blit
  FirstKey,  // a key frame that also sets up the picture's size
  Cursor,    // a new cursor image for CreateDIBitmap or SetDIBits
};

// Bytes per row of a DIB: width x bits rounded up to whole 32-bit words.
inline uint64_t BmpRowBytes(int64_t width, uint32_t bitCount) {
  return ((uint64_t(width) * bitCount + 31) / 32) * 4;
}

// True when data[0, length) is a BMP file image that the given use can draw
// safely: signature, offsets, sides 1..65,535, colour table and every row
// inside the image, a supported pixel format. Otherwise false, with why
// telling which rule failed.
bool CheckBitmapImage(const uint8_t* data, uint32_t length, TBitmapUse use, std::string& why);

// The headers of an image that passed CheckBitmapImage.
inline const BmpFileHeader& BmpFile(const uint8_t* image) {
  return *reinterpret_cast<const BmpFileHeader*>(image);
}
inline const BmpInfoHeader& BmpInfo(const uint8_t* image) {
  return *reinterpret_cast<const BmpInfoHeader*>(image + sizeof(BmpFileHeader));
}
