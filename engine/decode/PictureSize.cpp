#include "decode/PictureSize.h"

#include <cstring>

#include "base/Exception.h"
#include "decode/Decoder.h"

void GetPictureSize(const FrameRecord& Frame, uint16_t& Width, uint16_t& Height) {
  TDecoderLock lock;
  void* out = nullptr;  // the shared block, valid while the lock is held
  const int size = TDecoder::UnZipBufferEx(reinterpret_cast<const uint8_t*>(&Frame) + sizeof(FrameRecord),
                                           Frame.Length, Frame.CompressionType, DECODER_SHARED_BUFFER_SIZE, out);
  // Offsets 18 and 22 are the info header's width and height.
  if (size < 26) throw Exception("GetPictureSize: the key frame does not decode to a bitmap image");
  int32_t width, height;
  std::memcpy(&width, static_cast<const uint8_t*>(out) + 18, 4);
  std::memcpy(&height, static_cast<const uint8_t*>(out) + 22, 4);
  const int64_t h = height < 0 ? -int64_t(height) : int64_t(height);
  if (width < 1 || width > 65535 || h < 1 || h > 65535)
    throw Exception("GetPictureSize: the key frame's picture size is out of range");
  Width = uint16_t(width);
  Height = uint16_t(h);
}
