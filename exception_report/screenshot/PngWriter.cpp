#include "screenshot/PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace RevavaRez {

uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t count) {
  // zlib's table is compiled in: nothing to build, safe on any thread.
  const Bytef* at = static_cast<const Bytef*>(bytes);
  uLong value = crc;
  while (count > 0) {
    const uInt take = count > 0x40000000u ? 0x40000000u : static_cast<uInt>(count);
    value = crc32(value, at, take);
    at += take;
    count -= take;
  }
  return static_cast<uint32_t>(value);
}

namespace {

void PutBig32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

void WriteChunk(TStream& output, const char (&type)[5], const uint8_t* data, size_t size) {
  uint8_t head[8];
  PutBig32(head, static_cast<uint32_t>(size));
  for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(type[i]);
  uint32_t crc = Crc32Update(0, head + 4, 4);
  crc = Crc32Update(crc, data, size);
  uint8_t tail[4];
  PutBig32(tail, crc);
  output.WriteBuffer(head, sizeof head);
  if (size > 0) output.WriteBuffer(data, static_cast<int64_t>(size));
  output.WriteBuffer(tail, sizeof tail);
}

class TDeflate {
 public:
  TDeflate() {
    if (deflateInit(&FStream, 9) != Z_OK) throw std::runtime_error("The PNG compression cannot start.");
  }
  ~TDeflate() { deflateEnd(&FStream); }
  TDeflate(const TDeflate&) = delete;
  TDeflate& operator=(const TDeflate&) = delete;
  z_stream* operator->() { return &FStream; }
  z_stream* Get() { return &FStream; }

 private:
  z_stream FStream{};
};

}  // namespace

void WritePng(TStream& output, const uint8_t* rows, uint32_t width, uint32_t height, size_t stride, bool bottomUp,
              const TScreenPalette& palette) {
  if (width == 0 || height == 0 || stride < width) throw std::invalid_argument("The picture has no rows.");
  static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  output.WriteBuffer(signature, sizeof signature);

  uint8_t header[13] = {};
  PutBig32(header, width);
  PutBig32(header + 4, height);
  header[8] = 8;  // bit depth
  header[9] = 3;  // indexed colour
  WriteChunk(output, "IHDR", header, sizeof header);

  uint8_t table[768];
  for (size_t i = 0; i < palette.size(); ++i) {
    table[3 * i] = palette[i].Red;
    table[3 * i + 1] = palette[i].Green;
    table[3 * i + 2] = palette[i].Blue;
  }
  WriteChunk(output, "PLTE", table, sizeof table);

  std::vector<uint8_t> chunk(kPngChunkLimit);
  std::vector<uint8_t> line(static_cast<size_t>(width) + 1);
  TDeflate zs;
  zs->next_out = chunk.data();
  zs->avail_out = static_cast<uInt>(chunk.size());
  auto flushFull = [&] {
    if (zs->avail_out != 0) return;
    WriteChunk(output, "IDAT", chunk.data(), chunk.size());
    zs->next_out = chunk.data();
    zs->avail_out = static_cast<uInt>(chunk.size());
  };
  for (uint32_t y = 0; y < height; ++y) {
    const size_t row = bottomUp ? height - 1 - y : y;
    const uint8_t* source = rows + row * stride;
    line[0] = 0;  // filter: none
    std::copy(source, source + width, line.begin() + 1);
    zs->next_in = line.data();
    zs->avail_in = static_cast<uInt>(line.size());
    while (zs->avail_in > 0) {
      if (deflate(zs.Get(), Z_NO_FLUSH) == Z_STREAM_ERROR) throw std::runtime_error("The PNG compression failed.");
      flushFull();
    }
  }
  for (;;) {
    const int result = deflate(zs.Get(), Z_FINISH);
    if (result == Z_STREAM_ERROR) throw std::runtime_error("The PNG compression failed.");
    if (result == Z_STREAM_END) break;
    // Finishing stops short only when the output buffer is full.
    if (zs->avail_out != 0) throw std::runtime_error("The PNG compression failed.");
    flushFull();
  }
  const size_t rest = chunk.size() - zs->avail_out;
  if (rest > 0) WriteChunk(output, "IDAT", chunk.data(), rest);
  WriteChunk(output, "IEND", nullptr, 0);
}

}  // namespace RevavaRez
