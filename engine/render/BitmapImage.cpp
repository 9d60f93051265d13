#include "render/BitmapImage.h"

#include <cstring>

namespace {

bool Fail(std::string& why, const char* text) {
  why = text;
  return false;
}

bool BitCountFits(uint16_t bitCount, TBitmapUse use) {
  switch (use) {
    case TBitmapUse::Cursor:
      return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
             bitCount == 32;
    case TBitmapUse::Patch:
      // 4-bit pictures are refused by the drawing code itself.
      return bitCount == 1 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    case TBitmapUse::FirstKey:
      // The picture takes this image's size in true colour; palette images
      // cannot set it up.
      return bitCount == 16 || bitCount == 24 || bitCount == 32;
  }
  return false;
}

}  // namespace

bool CheckBitmapImage(const uint8_t* data, uint32_t length, TBitmapUse use, std::string& why) {
  if (data == nullptr || length < BMP_HEADERS_SIZE) return Fail(why, "image shorter than its headers");
  BmpFileHeader file;
  BmpInfoHeader info;
  std::memcpy(&file, data, sizeof(file));
  std::memcpy(&info, data + sizeof(file), sizeof(info));

  if (file.bfType != BMP_SIGNATURE) return Fail(why, "no BM signature");
  if (file.bfOffBits < BMP_HEADERS_SIZE || file.bfOffBits > length)
    return Fail(why, "pixel offset outside the image");
  if (info.biSize < sizeof(BmpInfoHeader) || uint64_t(sizeof(BmpFileHeader)) + info.biSize > file.bfOffBits)
    return Fail(why, "info header size out of range");

  const int64_t width = info.biWidth;
  const int64_t height = info.biHeight < 0 ? -int64_t(info.biHeight) : int64_t(info.biHeight);
  if (width < 1 || width > BMP_MAX_SIDE) return Fail(why, "width out of range");
  if (height < 1 || height > BMP_MAX_SIDE) return Fail(why, "height out of range");

  if (!BitCountFits(info.biBitCount, use)) return Fail(why, "unsupported bits per pixel");
  const bool masks = info.biCompression == BMP_BITFIELDS && (info.biBitCount == 16 || info.biBitCount == 32);
  if (info.biCompression != BMP_RGB && !masks) return Fail(why, "unsupported compression");

  // GDI reads the colour table (or the three colour masks) right after the
  // info header; it must end before the rows.
  uint64_t tableBytes = 0;
  if (info.biBitCount <= 8) {
    const uint64_t maxEntries = uint64_t(1) << info.biBitCount;
    const uint64_t entries = info.biClrUsed != 0 ? info.biClrUsed : maxEntries;
    if (entries > maxEntries) return Fail(why, "colour table too large");
    tableBytes = entries * 4;
  } else if (masks && info.biSize == sizeof(BmpInfoHeader)) {
    tableBytes = 12;
  }
  if (uint64_t(sizeof(BmpFileHeader)) + info.biSize + tableBytes > file.bfOffBits)
    return Fail(why, "colour table overlaps the rows");

  const uint64_t rows = BmpRowBytes(width, info.biBitCount) * uint64_t(height);
  if (uint64_t(file.bfOffBits) + rows > length) return Fail(why, "rows run past the end of the image");
  why.clear();
  return true;
}
