#include "decode/Decoder.h"

#include <lzo/lzo1x.h>
#include <windows.h>
#include <zlib.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/Exception.h"
#include "decode/JPEGDecoder.h"
#include "decode/SuperMemoryStream.h"
#include "base/SystemText.h"
#include "base/ThreadList.h"

namespace {

// The decoder's texts are Chinese whatever the system language.
[[noreturn]] void Fail(const wchar_t* text) { throw Exception(WideToGBK(text)); }

const wchar_t* const kNotInitialised = L"尚未调用 InitDecoder";
const wchar_t* const kJPEGCorrupt = L"JPEG 文件被损坏";
const wchar_t* const kOutputTooSmall = L"输出缓冲区太小";
const wchar_t* const kJPEGFailed = L"JPEG 解压缩失败";
const wchar_t* const kUnknownType = L"不支持这种图象压缩格式!";
const wchar_t* const kInputTooShort = L"输入数据太短";
const char* const kZlibTooSmall = "ZLib error: target buffer may be too small";
const char* const kZlibNoBitmap = "ZLib error: the data holds no complete bitmap file image";

constexpr uint32_t kBitmapHeadersSize = 54;

// One per loaded library. InitDecoder and UninitDecoder run on the control's
// user-interface thread and take no lock; everything else uses the members
// only under Lock.
struct TDecoderState {
  int32_t ReferenceCount = 0;
  std::unique_ptr<TSuperMemoryStream> Stream;
  std::unique_ptr<TCriticalSection> Lock;
  std::unique_ptr<uint8_t[]> SharedOut;
};

TDecoderState& State() {
  static TDecoderState state;
  return state;
}

TCriticalSection& RequireLock() {
  TCriticalSection* lock = State().Lock.get();
  if (lock == nullptr) Fail(kNotInitialised);
  return *lock;
}

void PutU32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
uint32_t GetU32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

int DecodeJPEG(const void* Data, uint32_t Len, uint32_t OutCapacity, uint8_t* Out) {
  TCriticalSection::TScope lock(RequireLock());
  TSuperMemoryStream* stream = State().Stream.get();
  if (stream == nullptr) Fail(kNotInitialised);
  stream->SetPointer(Data, Len);
  stream->SetPosition(0);

  BITMAPINFOHEADER info;
  if (!ReadJPEGHeader(info, *stream)) Fail(kJPEGCorrupt);

  // In 64 bits: a 65,500 x 65,500 picture does not fit in 32.
  const uint64_t rowBytes = RowBytes(uint32_t(info.biWidth), 24, 32);
  const uint64_t height = uint32_t(info.biHeight);
  const uint64_t fileSize = kBitmapHeadersSize + rowBytes * height;
  if (fileSize > OutCapacity || fileSize > uint64_t(INT_MAX)) Fail(kOutputTooSmall);

  uint8_t fileHeader[14] = {};
  fileHeader[0] = 'B';
  fileHeader[1] = 'M';
  PutU32(fileHeader + 2, uint32_t(fileSize));
  PutU32(fileHeader + 10, kBitmapHeadersSize);
  std::memcpy(Out, fileHeader, sizeof(fileHeader));
  std::memcpy(Out + 14, &info, sizeof(info));
  // The rows are written top row last in memory, so the image is top-down.
  PutU32(Out + 22, uint32_t(-info.biHeight));

  uint8_t* lastRow = Out + kBitmapHeadersSize + rowBytes * (height - 1);
  if (!DecodeJPEGToDIB(*stream, info, lastRow)) Fail(kJPEGFailed);
  return int(fileSize);
}

// inflate's own state (about 7 KB) comes from here, on the caller's stack:
// a frame that inflates in one pass needs nothing else (zlib keeps no window
// for a stream that Z_FINISH completes), so decoding it allocates nothing.
// What does not fit, the window of a stream that could not be finished,
// comes from the heap.
struct TInflateArena {
  static constexpr size_t kAlign = alignof(std::max_align_t);
  alignas(kAlign) unsigned char Bytes[16384];
  size_t Used = 0;

  static voidpf Alloc(voidpf opaque, uInt items, uInt size) {
    auto* arena = static_cast<TInflateArena*>(opaque);
    const uint64_t bytes = uint64_t(items) * size;
    const uint64_t rounded = (bytes + kAlign - 1) & ~uint64_t(kAlign - 1);
    if (rounded <= sizeof(arena->Bytes) - arena->Used) {
      void* block = arena->Bytes + arena->Used;
      arena->Used += size_t(rounded);
      return block;
    }
    return bytes <= SIZE_MAX ? std::malloc(size_t(bytes)) : Z_NULL;
  }
  static void Free(voidpf opaque, voidpf block) {
    auto* arena = static_cast<TInflateArena*>(opaque);
    auto* bytes = static_cast<unsigned char*>(block);
    if (bytes >= arena->Bytes && bytes < arena->Bytes + sizeof(arena->Bytes)) return;
    std::free(block);
  }
};

int Inflate(const void* Data, uint32_t Len, uint32_t OutCapacity, uint8_t* Out) {
  TInflateArena arena;
  z_stream z{};
  z.zalloc = &TInflateArena::Alloc;
  z.zfree = &TInflateArena::Free;
  z.opaque = &arena;
  int rc = inflateInit(&z);
  if (rc != Z_OK) throw Exception(zError(rc));
  z.next_in = static_cast<Bytef*>(const_cast<void*>(Data));
  z.avail_in = Len;
  z.next_out = Out;
  z.avail_out = OutCapacity;
  rc = inflate(&z, Z_FINISH);
  const uint64_t produced = z.total_out;
  std::string message = z.msg != nullptr ? z.msg : zError(rc);
  const bool outputFull = z.avail_out == 0;
  inflateEnd(&z);
  if (rc != Z_STREAM_END) {
    if (outputFull && (rc == Z_BUF_ERROR || rc == Z_OK)) throw Exception(kZlibTooSmall);
    throw Exception(message);
  }
  // The answer is the bitmap's own size field: it must lie in what was
  // produced, else callers would read bytes nobody wrote.
  if (produced < kBitmapHeadersSize) throw Exception(kZlibNoBitmap);
  const uint32_t fileSize = GetU32(Out + 2);
  if (fileSize > produced || fileSize > uint32_t(INT_MAX)) throw Exception(kZlibNoBitmap);
  return int(fileSize);
}

}  // namespace

bool TDecoder::InitDecoder() {
  TDecoderState& state = State();
  ++state.ReferenceCount;
  if (!state.Stream) state.Stream = std::make_unique<TSuperMemoryStream>();
  if (!state.Lock) state.Lock = std::make_unique<TCriticalSection>();
  return state.Stream && state.Lock;
}

bool TDecoder::UninitDecoder() {
  TDecoderState& state = State();
  if (state.ReferenceCount-- == 1) {
    state.Stream.reset();
    state.SharedOut.reset();
    state.Lock.reset();
  }
  return true;
}

void TDecoder::LockDecoder() { RequireLock().Enter(); }

void TDecoder::UnlockDecoder() { RequireLock().Leave(); }

int32_t TDecoder::ReferenceCount() { return State().ReferenceCount; }

int TDecoder::UnZipBuffer(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                          void* Out) {
  if (Data == nullptr || Len == 0) return 0;
  if (Out == nullptr) OutCapacity = 0;
  uint8_t* out = static_cast<uint8_t*>(Out);
  switch (CompressType) {
    case 0:
      if (Len > OutCapacity || Len > uint32_t(INT_MAX)) Fail(kOutputTooSmall);
      std::memcpy(out, Data, Len);
      return int(Len);
    case 1:
      return DecodeJPEG(Data, Len, OutCapacity, out);
    case 2:
      return Decompress(Data, Len > uint32_t(INT_MAX) ? INT_MAX : int(Len), Out, OutCapacity);
    case 3:
      return Inflate(Data, Len, OutCapacity, out);
    case 4:
      if (Len < DECODER_FIXED_RECORD_SIZE) Fail(kInputTooShort);
      if (OutCapacity < DECODER_FIXED_RECORD_SIZE) Fail(kOutputTooSmall);
      std::memcpy(out, Data, DECODER_FIXED_RECORD_SIZE);
      return 0;
    default:
      Fail(kUnknownType);
  }
}

int TDecoder::UnZipBufferEx(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                            void*& Out) {
  if (Data == nullptr || Len == 0) return 0;
  TCriticalSection::TScope lock(RequireLock());
  if (Out == nullptr) {
    TDecoderState& state = State();
    if (!state.SharedOut) state.SharedOut = std::make_unique<uint8_t[]>(DECODER_SHARED_BUFFER_SIZE);
    Out = state.SharedOut.get();
    OutCapacity = DECODER_SHARED_BUFFER_SIZE;
  }
  return UnZipBuffer(Data, Len, CompressType, OutCapacity, Out);
}

int TDecoder::Decompress(const void* Src, int SrcLen, void* Dst, uint32_t DstCapacity) {
  static const bool ready = lzo_init() == LZO_E_OK;
  if (!ready || Src == nullptr || SrcLen <= 0 || Dst == nullptr) return -1;
  lzo_uint written = DstCapacity > uint32_t(INT_MAX) ? lzo_uint(INT_MAX) : lzo_uint(DstCapacity);
  // The safe decompressor stops at the capacity and at the end of the input;
  // trailing bytes after the end marker (LZO_E_INPUT_NOT_CONSUMED) fail too.
  int rc = lzo1x_decompress_safe(static_cast<const lzo_bytep>(Src), lzo_uint(SrcLen),
                                 static_cast<lzo_bytep>(Dst), &written, nullptr);
  if (rc != LZO_E_OK) return -1;
  return int(written);
}

bool TDecoder::CheckKRMFileHeader(const void* Header) {
  if (Header == nullptr) return false;
  uint16_t word;
  std::memcpy(&word, Header, 2);
  return (word & 0xFF) == 0x41 && (word >> 8) == 0x56;
}
