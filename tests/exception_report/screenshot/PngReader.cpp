#include "PngReader.h"

#include <zlib.h>

#include <algorithm>

namespace {

uint32_t Big32(const uint8_t* at) {
  return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | at[3];
}

}  // namespace

TPngFile ReadPng(const uint8_t* bytes, size_t size) {
  static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  TPngFile file;
  if (size < 8) return file;
  file.SignatureOk = std::equal(signature, signature + 8, bytes);
  size_t at = 8;
  std::vector<uint8_t> compressed;
  while (at + 12 <= size) {
    const uint32_t length = Big32(bytes + at);
    if (length > size - at - 12) break;
    TPngChunk chunk;
    chunk.Type.assign(reinterpret_cast<const char*>(bytes + at + 4), 4);
    chunk.Data.assign(bytes + at + 8, bytes + at + 8 + length);
    chunk.StoredCrc = Big32(bytes + at + 8 + length);
    chunk.ComputedCrc = static_cast<uint32_t>(crc32(0, bytes + at + 4, length + 4));
    if (chunk.Type == "IHDR" && length >= 8) {
      file.Width = Big32(chunk.Data.data());
      file.Height = Big32(chunk.Data.data() + 4);
    } else if (chunk.Type == "PLTE") {
      file.Palette = chunk.Data;
    } else if (chunk.Type == "IDAT") {
      compressed.insert(compressed.end(), chunk.Data.begin(), chunk.Data.end());
    }
    file.Chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return file;
  zs.next_in = compressed.data();
  zs.avail_in = static_cast<uInt>(compressed.size());
  uint8_t buffer[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    zs.next_out = buffer;
    zs.avail_out = sizeof buffer;
    result = inflate(&zs, Z_NO_FLUSH);
    file.Image.insert(file.Image.end(), buffer, buffer + (sizeof buffer - zs.avail_out));
  }
  file.InflateOk = result == Z_STREAM_END && zs.avail_in == 0;
  inflateEnd(&zs);
  return file;
}
