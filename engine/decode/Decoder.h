#pragma once
// The process-wide frame decoder: one input stream, one re-entrant lock and
// one shared 10 MB output block for every thread of the process. The
// library's exported decoder functions are thin wrappers around these; the
// engine calls these directly and gets failures as exceptions (Exception,
// EJPEG) with the decoder's texts.
//
// Every decoded result but compression type 4 is a BMP file image: 14-byte
// file header, 40-byte info header, rows.
#include <cstdint>

constexpr uint32_t DECODER_SHARED_BUFFER_SIZE = 10485760;  // 0xA00000
constexpr uint32_t DECODER_FIXED_RECORD_SIZE = 58;

class TDecoder {
 public:
  // Counts the callers; the first one creates the stream and the lock.
  static bool InitDecoder();
  // The call that brings the count from 1 to 0 frees the stream, the shared
  // block and the lock; later calls only count down. Always true.
  static bool UninitDecoder();
  // Throw "尚未调用 InitDecoder" when the decoder has not been set up.
  static void LockDecoder();
  static void UnlockDecoder();

  // Decodes Len bytes of Data by CompressType into Out (OutCapacity bytes):
  // answers the decoded length, 0 for empty input and for type 4, and -1
  // when LZO1X data is bad or does not fit. A nil Out counts as no room.
  static int UnZipBuffer(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                         void* Out);
  // As UnZipBuffer under the decoder lock; a nil Out is replaced by the
  // shared block (and OutCapacity by its size). The result in the shared
  // block is only valid while the caller holds the lock (LockDecoder around
  // the call and the use of the result).
  static int UnZipBufferEx(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                           void*& Out);
  // LZO1X: answers the bytes written, or -1 unless the data ends exactly at
  // its end marker and fits in DstCapacity.
  static int Decompress(const void* Src, int SrcLen, void* Dst, uint32_t DstCapacity);
  // True when the first two bytes are "A","V".
  static bool CheckKRMFileHeader(const void* Header);

  // The number of InitDecoder calls not yet balanced.
  static int32_t ReferenceCount();
};

// Holds the decoder lock for a scope.
class TDecoderLock {
 public:
  TDecoderLock() { TDecoder::LockDecoder(); }
  ~TDecoderLock() { TDecoder::UnlockDecoder(); }
  TDecoderLock(const TDecoderLock&) = delete;
  TDecoderLock& operator=(const TDecoderLock&) = delete;
};
