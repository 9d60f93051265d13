#pragma once
// The KRM recording format: file header, frame record header and index
// entry, exactly as they lie in files, live TCP packets and multicast
// messages (little-endian, no padding). Byte-level only: no Windows headers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#pragma pack(push, 1)

struct KRMFileHeader {
  uint8_t Magic1;  // 'A'
  uint8_t Magic2;  // 'V'
  uint16_t Version;
  uint16_t Width;
  uint16_t Height;
  uint32_t Duration;     // ms; 0 = no end test
  uint64_t IndexOffset;  // from the end of the header to the index header
  uint8_t Reserved[12];
};

// The 28-byte header of a frame record; the payload follows it directly, in
// files and in the heap block that holds a buffered record.
struct FrameRecord {
  uint32_t Time;  // ms, compared unsigned
  uint16_t X;
  uint16_t Y;
  int16_t FrameType;
  int16_t CompressionType;
  uint32_t Length;  // payload bytes after the header
  uint16_t CursorX;
  uint16_t CursorY;
  uint8_t Reserved[8];
};

struct KRMIndexHeader {
  uint32_t Count;
  uint32_t Reserved[3];
};

// Index entries as stored: 8 bytes for versions 0x0000 and 0x0100, 16 bytes
// for 0x0101.
struct FileIndexEntry8 {
  uint32_t Time;
  uint32_t Offset;
};
struct FileIndexEntry16 {
  uint32_t Time;
  uint32_t Unused;
  uint64_t Offset;
};

// An entry of the index table in memory; the offset counts from the first
// frame record (file offset 32).
struct IndexEntry {
  uint32_t Time;
  uint32_t Unused;
  uint64_t Offset;
};

#pragma pack(pop)

static_assert(sizeof(KRMFileHeader) == 32, "KRM file header is 32 bytes");
static_assert(sizeof(FrameRecord) == 28, "frame record header is 28 bytes");
static_assert(sizeof(KRMIndexHeader) == 16, "index header is 16 bytes");
static_assert(sizeof(FileIndexEntry8) == 8, "short index entry is 8 bytes");
static_assert(sizeof(FileIndexEntry16) == 16, "long index entry is 16 bytes");
static_assert(sizeof(IndexEntry) == 16, "index table entry is 16 bytes");

constexpr uint32_t KRM_HEADER_SIZE = 32;
constexpr uint32_t KRM_RECORD_HEADER_SIZE = 28;
constexpr uint16_t KRM_VERSION_0000 = 0x0000;
constexpr uint16_t KRM_VERSION_0100 = 0x0100;
constexpr uint16_t KRM_VERSION_0101 = 0x0101;

enum KRMFrameType : int16_t {
  FT_XOR = 0,
  FT_KEY = 1,
  FT_CURSOR = 2,
  FT_COPY = 3,
  FT_MARKER = 4,
};

enum KRMCompressionType : int16_t {
  CT_RAW = 0,
  CT_JPEG = 1,
  CT_LZO = 2,
  CT_ZLIB = 3,
  CT_FIXED58 = 4,
};

// A buffered record is one heap block: the 28-byte header and its payload.
// The block has one owner at a time (a buffer, a message in flight, or the
// thread that cut it); whoever owns it last frees it with FreeFrameRecord.
inline uint8_t* FramePayload(FrameRecord* frame) {
  return reinterpret_cast<uint8_t*>(frame) + sizeof(FrameRecord);
}
inline const uint8_t* FramePayload(const FrameRecord* frame) {
  return reinterpret_cast<const uint8_t*>(frame) + sizeof(FrameRecord);
}
inline uint64_t FrameBlockSize(const FrameRecord* frame) {
  return uint64_t(sizeof(FrameRecord)) + frame->Length;
}

// Allocates a block for a record with the given payload length; the header is
// left for the caller to fill. Returns nullptr when memory is exhausted, and
// for a length whose block a 32-bit size cannot express (the sum would wrap
// to a small block that the payload then overruns).
inline FrameRecord* AllocFrameRecord(uint32_t payloadLength) {
  const uint64_t bytes = uint64_t(sizeof(FrameRecord)) + payloadLength;
  if (bytes > uint64_t(SIZE_MAX)) return nullptr;
  return static_cast<FrameRecord*>(std::malloc(size_t(bytes)));
}
inline void FreeFrameRecord(FrameRecord* frame) { std::free(frame); }
