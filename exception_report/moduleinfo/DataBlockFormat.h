#pragma once
// The byte layouts of the library data block ("RURUDO"): the resource form,
// the file-trailer form and the symbol directory. Every size the block
// states is checked, in 64-bit arithmetic, against what holds it; a block
// that fails a check is not a block. Byte-level only: no <windows.h>.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace RevavaRez {

constexpr uint32_t kDataBlockMagic = 0x000FAB10;
// Blocks of a newer format than this library's are ignored.
constexpr uint16_t kNewestDataBlockVersion = 5110;
// From this version on the resource form carries a symbol directory, the
// compressed options, the password check and a body of its own.
constexpr uint16_t kSeparateOptionsVersion = 500;
// From this version on the body of the older resource form is compressed.
constexpr uint16_t kCompressedBodyVersion = 450;
// Nothing a block holds inflates beyond this: a block is a few megabytes at
// most, and a small stream must not make the process allocate without end.
constexpr size_t kMaxInflatedSize = size_t{64} << 20;

struct TBlockSpan {
  size_t Offset = 0;
  size_t Size = 0;
};

struct TResourceBlockLayout {
  uint16_t Version = 0;
  double Compiled = 0;
  // The rest apply from version 500 on.
  TBlockSpan Symbols;
  TBlockSpan Options;  // zlib-compressed
  uint8_t PasswordCheck[4] = {};
  // From version 500 the compressed body (D, then the debug data); before,
  // the body (options stream, D, debug data), compressed from 450.
  TBlockSpan Body;
};

// The magic, a version not above the newest, and the spans within size.
bool ParseResourceBlock(const uint8_t* block, size_t size, TResourceBlockLayout& layout);

// The trailer's end: the last 8 bytes of a file of fileSize bytes (B, then
// the magic). Answers where the B bytes of the block start; false when the
// magic is missing or B does not fit the file, or exceeds maxSize.
bool ParseTrailerEnd(const uint8_t last8[8], uint64_t fileSize, uint64_t& blockStart, uint32_t& blockSize,
                     size_t maxSize = kMaxInflatedSize);

struct TTrailerBlockLayout {
  uint16_t Version = 0;
  double Compiled = 0;
  TBlockSpan Body;  // options stream, D, debug data
};
// Version (not above the newest) and date; the body is the rest.
bool ParseTrailerBlock(const uint8_t* block, size_t size, TTrailerBlockLayout& layout);

// The 32-bit size D at position and the D bytes after it; false when either
// leaves the size bytes.
bool SplitDebugData(const uint8_t* data, size_t size, size_t position, TBlockSpan& debugData);

// zlib inflation of the whole stream; false on a damaged or truncated
// stream, or when it would give more than limit bytes.
bool InflateBounded(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t limit = kMaxInflatedSize);

// The symbol directory of a resource-form block: the offset stored for the
// identifier. False without a directory (before version 500), without the
// entry, or for a block that fails its checks.
bool FindSymbolOffset(const uint8_t* block, size_t size, uint8_t identifier, uint32_t& offset);

uint16_t ReadWordLE(const uint8_t* bytes);
uint32_t ReadDWordLE(const uint8_t* bytes);

}  // namespace RevavaRez
