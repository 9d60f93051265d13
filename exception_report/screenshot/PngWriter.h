#pragma once
// The screenshot's PNG file: 8-bit indexed rows with a 256-entry colour
// table, compressed by zlib at level 9 into IDAT chunks of at most 262,143
// bytes. Byte-level, without the graphics system.
#include <cstddef>
#include <cstdint>

#include "core/Streams.h"
#include "screenshot/ColourTree.h"

namespace RevavaRez {

// zlib's crc32: start with 0, feed the previous result to continue.
uint32_t Crc32Update(uint32_t crc, const void* bytes, size_t count);

constexpr size_t kPngChunkLimit = 0x3FFFF;

// rows: height rows of 8-bit palette indices, stride bytes apart (at least
// width), bottom row first in memory when bottomUp (a device-independent
// bitmap's order). Raises on a zlib failure or an allocation failure.
void WritePng(TStream& output, const uint8_t* rows, uint32_t width, uint32_t height, size_t stride, bool bottomUp,
              const TScreenPalette& palette);

}  // namespace RevavaRez
