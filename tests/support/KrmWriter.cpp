#include "KrmWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

// jpeglib.h wants FILE and size_t declared first.
#include <jpeglib.h>
#include <lzo/lzo1x.h>
#include <zlib.h>

namespace {

void PutU16(Bytes& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void PutU64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

TestPicture::TestPicture(int width, int height, uint8_t b, uint8_t g, uint8_t r)
    : Width(width), Height(height), Bgr(size_t(width) * height * 3) {
  for (size_t i = 0; i < Bgr.size(); i += 3) {
    Bgr[i] = b;
    Bgr[i + 1] = g;
    Bgr[i + 2] = r;
  }
}

TestPicture TestPicture::Gradient(int width, int height) {
  TestPicture p(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.SetPixel(x, y, uint8_t(x * 7 + y), uint8_t(y * 5 + 3), uint8_t(x ^ (y * 3)));
  return p;
}

void TestPicture::SetPixel(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
  uint8_t* p = Pixel(x, y);
  p[0] = b;
  p[1] = g;
  p[2] = r;
}

Bytes BmpFileImage(const TestPicture& picture, int bitsPerPixel, bool topDown) {
  if (bitsPerPixel != 24 && bitsPerPixel != 32) throw std::invalid_argument("BmpFileImage: 24 or 32 bits");
  const int bytesPerPixel = bitsPerPixel / 8;
  const uint32_t stride = (uint32_t(picture.Width) * bytesPerPixel + 3) & ~3u;
  const uint32_t imageSize = stride * uint32_t(picture.Height);
  const uint32_t offBits = 14 + 40;
  Bytes out;
  out.reserve(offBits + imageSize);
  // BITMAPFILEHEADER
  out.push_back('B');
  out.push_back('M');
  PutU32(out, offBits + imageSize);
  PutU32(out, 0);
  PutU32(out, offBits);
  // BITMAPINFOHEADER
  PutU32(out, 40);
  PutU32(out, uint32_t(picture.Width));
  PutU32(out, uint32_t(topDown ? -picture.Height : picture.Height));
  PutU16(out, 1);
  PutU16(out, uint16_t(bitsPerPixel));
  PutU32(out, 0);  // BI_RGB
  PutU32(out, imageSize);
  PutU32(out, 2835);
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int row = 0; row < picture.Height; ++row) {
    const int y = topDown ? row : picture.Height - 1 - row;
    size_t start = out.size();
    for (int x = 0; x < picture.Width; ++x) {
      const uint8_t* p = picture.Pixel(x, y);
      out.insert(out.end(), p, p + 3);
      if (bytesPerPixel == 4) out.push_back(0);
    }
    out.resize(start + stride, 0);
  }
  return out;
}

Bytes Fixed58Record(uint8_t b, uint8_t g, uint8_t r) {
  Bytes out = BmpFileImage(TestPicture(1, 1, b, g, r), 24, false);
  if (out.size() != 58) throw std::logic_error("Fixed58Record: not 58 bytes");
  return out;
}

Bytes ZlibCompress(const Bytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), uLong(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("ZlibCompress failed");
  out.resize(size);
  return out;
}

Bytes Lzo1x1Compress(const Bytes& data) {
  static const bool ready = lzo_init() == LZO_E_OK;
  if (!ready) throw std::runtime_error("lzo_init failed");
  Bytes out(data.size() + data.size() / 16 + 64 + 3);
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  lzo_uint size = 0;
  if (lzo1x_1_compress(data.data(), data.size(), out.data(), &size, work.data()) != LZO_E_OK)
    throw std::runtime_error("Lzo1x1Compress failed");
  out.resize(size);
  return out;
}

namespace {
// libjpeg's default error exit ends the process; a test would rather fail.
struct JpegErrorJump {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  unsigned char* Buffer = nullptr;  // jpeg_mem_dest's output, freed by us
  unsigned long Size = 0;
};
void JpegErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->Jump, 1);
}
}  // namespace

Bytes JpegCompressUpsideDown(const TestPicture& picture, int quality) {
  jpeg_compress_struct cinfo;
  JpegErrorJump err;
  cinfo.err = jpeg_std_error(&err.Manager);
  err.Manager.error_exit = JpegErrorExit;
  if (setjmp(err.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(err.Buffer);
    throw std::runtime_error("JpegCompressUpsideDown failed");
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &err.Buffer, &err.Size);
  cinfo.image_width = JDIMENSION(picture.Width);
  cinfo.image_height = JDIMENSION(picture.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // The stored picture is upside down: the bottom row goes first.
    const int y = picture.Height - 1 - int(cinfo.next_scanline);
    JSAMPROW row = const_cast<JSAMPROW>(picture.Pixel(0, y));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(err.Buffer, err.Buffer + err.Size);
  jpeg_destroy_compress(&cinfo);
  std::free(err.Buffer);
  return out;
}

Bytes KrmRecord::Serialize() const {
  Bytes out;
  out.reserve(KRM_RECORD_HEADER_SIZE + Payload.size());
  PutU32(out, Time);
  PutU16(out, X);
  PutU16(out, Y);
  PutU16(out, uint16_t(FrameType));
  PutU16(out, uint16_t(CompressionType));
  PutU32(out, Length ? *Length : uint32_t(Payload.size()));
  PutU16(out, CursorX);
  PutU16(out, CursorY);
  out.resize(out.size() + 8, 0);
  out.insert(out.end(), Payload.begin(), Payload.end());
  return out;
}

KrmWriter::KrmWriter(uint16_t width, uint16_t height, uint16_t version)
    : FWidth(width), FHeight(height), FVersion(version) {}

uint64_t KrmWriter::Add(const KrmRecord& record) {
  const uint64_t offset = FFrameData.size();
  Bytes bytes = record.Serialize();
  FFrameData.insert(FFrameData.end(), bytes.begin(), bytes.end());
  return offset;
}

uint64_t KrmWriter::AddKeyFrame(uint32_t time, int16_t compressionType, const Bytes& payload, bool indexed) {
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_KEY;
  r.CompressionType = compressionType;
  r.Payload = payload;
  const uint64_t offset = Add(r);
  if (indexed) AddIndexEntry(time, offset);
  return offset;
}

uint64_t KrmWriter::AddFrame(uint32_t time, int16_t frameType, int16_t compressionType, const Bytes& payload,
                             uint16_t x, uint16_t y, uint16_t cursorX, uint16_t cursorY) {
  KrmRecord r;
  r.Time = time;
  r.X = x;
  r.Y = y;
  r.FrameType = frameType;
  r.CompressionType = compressionType;
  r.CursorX = cursorX;
  r.CursorY = cursorY;
  r.Payload = payload;
  return Add(r);
}

uint64_t KrmWriter::AddCursor(uint32_t time, uint16_t x, uint16_t y, const Bytes& cursorImage) {
  return AddFrame(time, FT_CURSOR, CT_RAW, cursorImage, x, y);
}

uint64_t KrmWriter::AddMarker(uint32_t time) { return AddFrame(time, FT_MARKER, CT_RAW, {}); }

void KrmWriter::AddRawBytes(const Bytes& bytes) {
  FFrameData.insert(FFrameData.end(), bytes.begin(), bytes.end());
}

void KrmWriter::AddIndexEntry(uint32_t time, uint64_t offset) {
  FIndex.push_back(IndexEntry{time, 0, offset});
}

Bytes KrmWriter::Header(uint16_t version, uint16_t width, uint16_t height, uint32_t duration,
                        uint64_t indexOffset, uint8_t magic1, uint8_t magic2) {
  Bytes out;
  out.push_back(magic1);
  out.push_back(magic2);
  PutU16(out, version);
  PutU16(out, width);
  PutU16(out, height);
  PutU32(out, duration);
  PutU64(out, indexOffset);
  out.resize(KRM_HEADER_SIZE, 0);
  return out;
}

Bytes KrmWriter::IndexImage(const KrmBuildOptions& options) const {
  Bytes out;
  if (!options.WriteIndex) return out;
  PutU32(out, options.IndexCount ? *options.IndexCount : uint32_t(FIndex.size()));
  for (uint32_t reserved : options.IndexReserved) PutU32(out, reserved);
  const bool shortEntries = FVersion == KRM_VERSION_0000 || FVersion == KRM_VERSION_0100;
  for (const IndexEntry& e : FIndex) {
    PutU32(out, e.Time);
    if (shortEntries) {
      PutU32(out, uint32_t(e.Offset));
    } else {
      PutU32(out, 0);
      PutU64(out, e.Offset);
    }
  }
  return out;
}

Bytes KrmWriter::Build(const KrmBuildOptions& options) const {
  const uint64_t indexOffset = options.IndexOffset ? *options.IndexOffset : FFrameData.size();
  Bytes out = Header(FVersion, FWidth, FHeight, FDuration, indexOffset, options.Magic1, options.Magic2);
  out.insert(out.end(), FFrameData.begin(), FFrameData.end());
  Bytes index = IndexImage(options);
  out.insert(out.end(), index.begin(), index.end());
  if (options.TruncateTo && *options.TruncateTo < out.size()) out.resize(size_t(*options.TruncateTo));
  return out;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  const bool closed = std::fclose(f) == 0;
  if (written != bytes.size() || !closed) throw std::runtime_error("cannot write " + path);
}

void KrmWriter::SaveToFile(const std::string& path, const KrmBuildOptions& options) const {
  WriteFileBytes(path, Build(options));
}
