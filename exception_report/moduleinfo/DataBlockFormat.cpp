#include "moduleinfo/DataBlockFormat.h"

#include <zlib.h>

#include <cstring>

namespace RevavaRez {

namespace {

constexpr size_t kHeaderSize = 14;         // magic, version, date
constexpr size_t kSymbolEntrySize = 9;     // identifier, offset, size
constexpr size_t kTrailerHeaderSize = 10;  // version, date

double ReadDoubleLE(const uint8_t* bytes) {
  // The block stores the date as an IEEE double in the byte order of x86,
  // which is the order of both builds.
  double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// A span of length bytes at offset fits in size.
bool Fits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

uint16_t ReadWordLE(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

uint32_t ReadDWordLE(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool ParseResourceBlock(const uint8_t* block, size_t size, TResourceBlockLayout& layout) {
  layout = TResourceBlockLayout();
  if (block == nullptr || size < kHeaderSize || ReadDWordLE(block) != kDataBlockMagic) return false;
  layout.Version = ReadWordLE(block + 4);
  if (layout.Version > kNewestDataBlockVersion) return false;
  layout.Compiled = ReadDoubleLE(block + 6);
  if (layout.Version < kSeparateOptionsVersion) {
    layout.Body = {kHeaderSize, size - kHeaderSize};
    return true;
  }
  uint64_t at = kHeaderSize;
  // A 32-bit size and that many bytes, both within the block.
  auto sizedPart = [&](TBlockSpan& part) {
    if (!Fits(at, 4, size)) return false;
    const uint64_t length = ReadDWordLE(block + at);
    at += 4;
    if (!Fits(at, length, size)) return false;
    part = {static_cast<size_t>(at), static_cast<size_t>(length)};
    at += length;
    return true;
  };
  if (!sizedPart(layout.Symbols) || !sizedPart(layout.Options) || !Fits(at, 4, size)) return false;
  std::memcpy(layout.PasswordCheck, block + at, 4);
  at += 4;
  layout.Body = {static_cast<size_t>(at), static_cast<size_t>(size - at)};
  return true;
}

bool ParseTrailerEnd(const uint8_t last8[8], uint64_t fileSize, uint64_t& blockStart, uint32_t& blockSize,
                     size_t maxSize) {
  if (fileSize < 8 || ReadDWordLE(last8 + 4) != kDataBlockMagic) return false;
  const uint64_t b = ReadDWordLE(last8);
  if (b < kTrailerHeaderSize || b > fileSize - 8 || b > maxSize) return false;
  blockStart = fileSize - 8 - b;
  blockSize = static_cast<uint32_t>(b);
  return true;
}

bool ParseTrailerBlock(const uint8_t* block, size_t size, TTrailerBlockLayout& layout) {
  layout = TTrailerBlockLayout();
  if (block == nullptr || size < kTrailerHeaderSize) return false;
  layout.Version = ReadWordLE(block);
  if (layout.Version > kNewestDataBlockVersion) return false;
  layout.Compiled = ReadDoubleLE(block + 2);
  layout.Body = {kTrailerHeaderSize, size - kTrailerHeaderSize};
  return true;
}

bool SplitDebugData(const uint8_t* data, size_t size, size_t position, TBlockSpan& debugData) {
  if (!Fits(position, 4, size)) return false;
  const uint64_t d = ReadDWordLE(data + position);
  if (!Fits(uint64_t{position} + 4, d, size)) return false;
  debugData = {position + 4, static_cast<size_t>(d)};
  return true;
}

namespace {

// Ends an inflation however it is left: growing the output may raise
// std::bad_alloc, and zlib's state would stay allocated.
class TInflation {
 public:
  TInflation() { FStarted = inflateInit(&FStream) == Z_OK; }
  ~TInflation() {
    if (FStarted) inflateEnd(&FStream);
  }
  TInflation(const TInflation&) = delete;
  TInflation& operator=(const TInflation&) = delete;
  bool Started() const { return FStarted; }
  z_stream& Stream() { return FStream; }

 private:
  z_stream FStream{};
  bool FStarted = false;
};

}  // namespace

bool InflateBounded(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t limit) {
  out.clear();
  if (data == nullptr || size == 0 || size > 0xFFFFFFFFu) return false;
  TInflation inflation;
  if (!inflation.Started()) return false;
  z_stream& stream = inflation.Stream();
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  uint8_t chunk[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) break;
    const size_t produced = sizeof chunk - stream.avail_out;
    if (produced > limit - out.size()) {
      result = Z_MEM_ERROR;
      break;
    }
    out.insert(out.end(), chunk, chunk + produced);
    // Input used up without the stream's end: the stream is cut short.
    if (result == Z_OK && stream.avail_in == 0 && produced == 0) {
      result = Z_DATA_ERROR;
      break;
    }
  }
  if (result != Z_STREAM_END) {
    out.clear();
    return false;
  }
  return true;
}

bool FindSymbolOffset(const uint8_t* block, size_t size, uint8_t identifier, uint32_t& offset) {
  TResourceBlockLayout layout;
  if (!ParseResourceBlock(block, size, layout) || layout.Version < kSeparateOptionsVersion) return false;
  const uint8_t* entry = block + layout.Symbols.Offset;
  for (size_t used = 0; layout.Symbols.Size - used >= kSymbolEntrySize; used += kSymbolEntrySize) {
    if (entry[used] == identifier) {
      offset = ReadDWordLE(entry + used + 1);
      return true;
    }
  }
  return false;
}

}  // namespace RevavaRez
