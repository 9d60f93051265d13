#pragma once
// Test-support writer: builds KRM recordings, their frame records and the
// pictures they carry, in memory or on disk, including the broken variants
// the readers must refuse. The player itself never writes recordings; only
// the tests do, so every fixture is made here and nothing is copied in.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/KRMFormat.h"

using Bytes = std::vector<uint8_t>;

// A picture as the tests think of it: B,G,R bytes per pixel, rows top-down,
// no row padding.
struct TestPicture {
  int Width = 0;
  int Height = 0;
  Bytes Bgr;

  TestPicture() = default;
  TestPicture(int width, int height, uint8_t b = 0, uint8_t g = 0, uint8_t r = 0);
  // A picture whose every pixel differs from its neighbours, so a flipped,
  // shifted or swapped decode shows.
  static TestPicture Gradient(int width, int height);

  uint8_t* Pixel(int x, int y) { return &Bgr[(size_t(y) * Width + x) * 3]; }
  const uint8_t* Pixel(int x, int y) const { return &Bgr[(size_t(y) * Width + x) * 3]; }
  void SetPixel(int x, int y, uint8_t b, uint8_t g, uint8_t r);
};

// A BMP file image: 14-byte file header, 40-byte info header, rows padded to
// 4 bytes. bitsPerPixel is 24 or 32; bottom-up unless topDown (then the
// info header's height is negative).
Bytes BmpFileImage(const TestPicture& picture, int bitsPerPixel = 24, bool topDown = false);

// The fixed 58-byte record: the BMP file image of one 24-bit pixel.
Bytes Fixed58Record(uint8_t b, uint8_t g, uint8_t r);

// zlib stream (compress2, default level).
Bytes ZlibCompress(const Bytes& data);
// LZO1X-1 compressed data.
Bytes Lzo1x1Compress(const Bytes& data);
// A baseline JPEG of the picture stored upside down: the first scanline of
// the JPEG is the picture's bottom row.
Bytes JpegCompressUpsideDown(const TestPicture& picture, int quality = 90);

// One frame record. Length, when set, is written instead of the payload's
// size, which makes records that announce more (or less) than they carry.
struct KrmRecord {
  uint32_t Time = 0;
  uint16_t X = 0;
  uint16_t Y = 0;
  int16_t FrameType = FT_KEY;
  int16_t CompressionType = CT_RAW;
  uint16_t CursorX = 0;
  uint16_t CursorY = 0;
  Bytes Payload;
  std::optional<uint32_t> Length;

  // The 28-byte header followed by the payload, as files and streams hold it.
  Bytes Serialize() const;
};

// How a recording image is put together; every field left alone gives a
// sound file, each one set breaks it in one way.
struct KrmBuildOptions {
  uint8_t Magic1 = 'A';
  uint8_t Magic2 = 'V';
  std::optional<uint64_t> IndexOffset;  // default: the frame data's length
  std::optional<uint32_t> IndexCount;   // default: the entries written
  uint32_t IndexReserved[3] = {0, 0, 0};
  bool WriteIndex = true;              // false: the file ends after the frame data
  std::optional<uint64_t> TruncateTo;  // cut the whole image to this many bytes
};

class KrmWriter {
 public:
  explicit KrmWriter(uint16_t width = 64, uint16_t height = 48, uint16_t version = KRM_VERSION_0101);

  KrmWriter& SetVersion(uint16_t version) {
    FVersion = version;
    return *this;
  }
  KrmWriter& SetSize(uint16_t width, uint16_t height) {
    FWidth = width;
    FHeight = height;
    return *this;
  }
  KrmWriter& SetDuration(uint32_t duration) {
    FDuration = duration;
    return *this;
  }

  // Appends a record to the frame data and answers its offset from the
  // first record (file offset 32).
  uint64_t Add(const KrmRecord& record);
  // A key frame is also entered in the index unless indexed is false.
  uint64_t AddKeyFrame(uint32_t time, int16_t compressionType, const Bytes& payload, bool indexed = true);
  uint64_t AddFrame(uint32_t time, int16_t frameType, int16_t compressionType, const Bytes& payload,
                    uint16_t x = 0, uint16_t y = 0, uint16_t cursorX = 0, uint16_t cursorY = 0);
  uint64_t AddCursor(uint32_t time, uint16_t x, uint16_t y, const Bytes& cursorImage = {});
  uint64_t AddMarker(uint32_t time);
  // Bytes appended to the frame data as they are (a cut-off record, junk).
  void AddRawBytes(const Bytes& bytes);
  // An index entry of any time and offset, in the order written.
  void AddIndexEntry(uint32_t time, uint64_t offset);

  const Bytes& FrameData() const { return FFrameData; }
  const std::vector<IndexEntry>& Index() const { return FIndex; }
  uint16_t Version() const { return FVersion; }

  // The file image: header, frame data, index header and entries (8 bytes
  // for versions 0x0000 and 0x0100, else 16).
  Bytes Build(const KrmBuildOptions& options = {}) const;
  // Just the index part of Build(options): index header and entries (empty
  // when WriteIndex is false), for tests that place it themselves.
  Bytes IndexImage(const KrmBuildOptions& options = {}) const;
  // Writes Build(options) to path; throws std::runtime_error on failure.
  void SaveToFile(const std::string& path, const KrmBuildOptions& options = {}) const;

  // Just the 32-byte header.
  static Bytes Header(uint16_t version, uint16_t width, uint16_t height, uint32_t duration,
                      uint64_t indexOffset, uint8_t magic1 = 'A', uint8_t magic2 = 'V');

 private:
  uint16_t FWidth;
  uint16_t FHeight;
  uint16_t FVersion;
  uint32_t FDuration = 0;
  Bytes FFrameData;
  std::vector<IndexEntry> FIndex;
};

// Writes bytes to a file; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, const Bytes& bytes);
