#include "packing/TGZWriter.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/Errors.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

constexpr size_t BlockSize = 512;
constexpr TDateTime UnixEpoch = 25569.0;  // 1970-01-01 in days since 1899-12-30

// digits octal digits, leading zeros as spaces (the last always a digit).
// A value too wide for the field keeps its lowest digits.
void WriteOctal(uint8_t* field, size_t digits, uint64_t value) {
  for (size_t i = digits; i-- > 0;) {
    bool lead = value == 0 && i + 1 < digits;
    field[i] = lead ? ' ' : static_cast<uint8_t>('0' + (value & 7));
    value >>= 3;
  }
}

void WriteIdField(uint8_t* field) { std::memcpy(field, "     0 ", 8); }  // with its NUL

// zlib's deflate state, ended on every way out once started: the output
// chunk's allocation and every write may raise.
struct TDeflateState {
  z_stream Stream{};
  bool Started = false;
  TDeflateState() = default;
  TDeflateState(const TDeflateState&) = delete;
  TDeflateState& operator=(const TDeflateState&) = delete;
  ~TDeflateState() {
    if (Started) deflateEnd(&Stream);
  }
};

}  // namespace

uint64_t UnixSeconds(TDateTime time) {
  double milliseconds = std::round((time - UnixEpoch) * 86400000.0);
  if (!(milliseconds > 0)) return 0;  // before 1970, or not a number
  // Far beyond what the 11 octal digits hold; the conversion must not overflow.
  if (milliseconds >= 1e18) return uint64_t(1e15);
  return static_cast<uint64_t>(milliseconds) / 1000;
}

std::array<uint8_t, 512> TarHeader(const TTarRec& entry) {
  std::array<uint8_t, 512> header{};
  std::memcpy(header.data(), entry.Name.data(), entry.Name.size() < 100 ? entry.Name.size() : 100);
  WriteIdField(&header[100]);
  WriteIdField(&header[108]);
  WriteIdField(&header[116]);
  WriteOctal(&header[124], 11, entry.Size < 0 ? 0 : uint32_t(entry.Size));
  header[135] = ' ';
  WriteOctal(&header[136], 11, UnixSeconds(entry.Time));
  header[147] = ' ';
  header[156] = '0';
  std::memcpy(&header[257], "ustar   ", 8);
  std::memset(&header[148], ' ', 8);
  uint32_t sum = 0;
  for (uint8_t byte : header) sum += byte;
  WriteOctal(&header[148], 6, sum);
  header[154] = ' ';
  header[155] = 0;
  return header;
}

TTGZWriter::TTGZWriter(const std::string& fileName) : FFileName(fileName) {}

TTGZWriter::~TTGZWriter() {
  try {
    Close();
  } catch (...) {
  }
}

void TTGZWriter::AddStream(TStream& stream, const std::string& name, TDateTime time) {
  int64_t remaining = stream.Remaining();
  if (remaining > INT32_MAX) throw EReadError("The stream is too large for an archive entry");
  TTarRec entry;
  entry.Name = name;
  entry.Size = static_cast<int32_t>(remaining);
  entry.Time = time;
  const std::array<uint8_t, 512> header = TarHeader(entry);
  // The header and the data blocks, zero-padded, grown in one step and read
  // straight into place.
  const int64_t start = FTarData.Size();
  const int64_t padded = (remaining + int64_t(BlockSize) - 1) / int64_t(BlockSize) * int64_t(BlockSize);
  FTarData.SetSize(start + int64_t(BlockSize) + padded);
  std::memcpy(FTarData.Memory() + start, header.data(), BlockSize);
  try {
    stream.ReadBuffer(FTarData.Memory() + start + BlockSize, remaining);
  } catch (...) {
    FTarData.SetSize(start);
    throw;
  }
  FTarData.Seek(0, soEnd);
}

void WriteGZip(TStream& output, const uint8_t* tar, size_t size, const std::string& storedName) {
  static const uint8_t Header[10] = {0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 0};
  output.WriteBuffer(Header, sizeof Header);
  output.WriteBuffer(storedName.c_str(), static_cast<int64_t>(storedName.size()) + 1);

  TDeflateState deflater;
  z_stream& zs = deflater.Stream;
  if (deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw EWriteError("Cannot start the compression");
  deflater.Started = true;
  std::vector<uint8_t> chunk(1 << 20);
  int result = Z_OK;
  size_t left = size;
  const uint8_t* at = tar;
  do {
    // zlib counts in 32 bits.
    if (zs.avail_in == 0 && left > 0) {
      uInt take = left > 0x40000000u ? 0x40000000u : static_cast<uInt>(left);
      zs.next_in = const_cast<Bytef*>(at);
      zs.avail_in = take;
      at += take;
      left -= take;
    }
    zs.next_out = chunk.data();
    zs.avail_out = static_cast<uInt>(chunk.size());
    result = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (result == Z_STREAM_ERROR) break;
    output.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size() - zs.avail_out));
  } while (result != Z_STREAM_END);
  if (result != Z_STREAM_END) throw EWriteError("Cannot compress the archive");

  uint8_t trailer[8];
  const uint32_t crc = Crc32(tar, size), length = static_cast<uint32_t>(size);
  for (int i = 0; i < 4; ++i) {
    trailer[i] = static_cast<uint8_t>(crc >> (8 * i));
    trailer[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
  output.WriteBuffer(trailer, sizeof trailer);
}

std::string GZipFileBytes(const uint8_t* tar, size_t size, const std::string& storedName) {
  TMemoryStream bytes;
  WriteGZip(bytes, tar, size, storedName);
  return std::string(reinterpret_cast<const char*>(bytes.Memory()), static_cast<size_t>(bytes.Size()));
}

void TTGZWriter::Close() {
  if (FClosed) return;
  FClosed = true;
  static const uint8_t EndBlock[BlockSize] = {};
  FTarData.Seek(0, soEnd);
  FTarData.WriteBuffer(EndBlock, BlockSize);
  TFileStream file(FFileName, fmCreate);
  WriteGZip(file, FTarData.Memory(), static_cast<size_t>(FTarData.Size()),
            ChangeFileExt(ExtractFileName(FFileName), ".tar"));
}

bool GZipInflate(const void* data, size_t size, TStream& output) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  constexpr size_t HeaderSize = 10, TrailerSize = 8;
  if (size < HeaderSize + TrailerSize || bytes[0] != 0x1F || bytes[1] != 0x8B || bytes[2] != 8) return false;
  size_t start = HeaderSize;
  if (bytes[3] & 0x08) {
    const void* end = std::memchr(bytes + start, 0, size - start);
    if (!end) return false;
    start = static_cast<const uint8_t*>(end) - bytes + 1;
  }
  if (size - start < TrailerSize) return false;
  size_t deflated = size - start - TrailerSize;

  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(bytes + start);
  zs.avail_in = static_cast<uInt>(deflated);
  uint8_t chunk[16384];
  size_t total = 0;
  int result = Z_OK;
  bool whole = false;
  try {
    while (result == Z_OK) {
      zs.next_out = chunk;
      zs.avail_out = sizeof chunk;
      result = inflate(&zs, Z_NO_FLUSH);
      size_t produced = sizeof chunk - zs.avail_out;
      if (total + produced > GZipInflateLimit) {
        output.WriteBuffer(chunk, static_cast<int64_t>(GZipInflateLimit - total));
        break;
      }
      output.WriteBuffer(chunk, static_cast<int64_t>(produced));
      total += produced;
      // Z_BUF_ERROR with input left over cannot happen here; with none left
      // the data ended before the deflate stream did.
      if (result == Z_STREAM_END) whole = true;
    }
  } catch (...) {
    inflateEnd(&zs);
    throw;
  }
  inflateEnd(&zs);
  return whole;
}

uint32_t Crc32(const void* bytes, size_t count) {
  // zlib's table is compiled in, so concurrent first calls are safe.
  uLong crc = crc32(0L, Z_NULL, 0);
  const Bytef* at = static_cast<const Bytef*>(bytes);
  while (count > 0) {
    uInt take = count > 0x40000000u ? 0x40000000u : static_cast<uInt>(count);
    crc = crc32(crc, at, take);
    at += take;
    count -= take;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace RevavaRez
