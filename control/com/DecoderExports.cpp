// The library's exported decoder functions. No C++ exception may leave the
// library: a failure is written to the daily log and answered as 0 (the
// decode calls), -1 (Decompress) or false.
#include <windows.h>

#include <cstdint>
#include <string>

#include "decode/Decoder.h"
#include "base/Log.h"

namespace {

// Building the line can fail too (memory exhausted); that must not leave
// the export either, so the line is then lost.
void LogFailure(const char* name, const char* what) noexcept {
  try {
    GlobalLog().AddLine(std::string(name) + ": " + what);
  } catch (...) {
  }
}

template <typename Result, typename Body>
Result Guarded(const char* name, Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    LogFailure(name, e.what());
  } catch (...) {
    LogFailure(name, "unknown failure");
  }
  return failed;
}

}  // namespace

extern "C" {

int __stdcall UnZipBufferEx(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                            void** Out) {
  return Guarded("UnZipBufferEx", 0, [&] {
    void* out = Out != nullptr ? *Out : nullptr;
    int result = TDecoder::UnZipBufferEx(Data, Len, CompressType, OutCapacity, out);
    if (Out != nullptr) *Out = out;
    return result;
  });
}

void __stdcall UnlockDecoder() {
  Guarded("UnlockDecoder", 0, [] {
    TDecoder::UnlockDecoder();
    return 0;
  });
}

void __stdcall LockDecoder() {
  Guarded("LockDecoder", 0, [] {
    TDecoder::LockDecoder();
    return 0;
  });
}

bool __stdcall UninitDecoder() {
  return Guarded("UninitDecoder", false, [] { return TDecoder::UninitDecoder(); });
}

bool __stdcall InitDecoder() {
  return Guarded("InitDecoder", false, [] { return TDecoder::InitDecoder(); });
}

// Takes no capacity; bounded by the size of the shared output block, the
// largest result any caller of the interface is promised.
int __stdcall Decompress(const void* Src, int SrcLen, void* Dst) {
  return Guarded("Decompress", -1,
                 [&] { return TDecoder::Decompress(Src, SrcLen, Dst, DECODER_SHARED_BUFFER_SIZE); });
}

bool __stdcall CheckKRMFileHeader(const void* Header) {
  return Guarded("CheckKRMFileHeader", false, [&] { return TDecoder::CheckKRMFileHeader(Header); });
}

int __stdcall UnZipBuffer(const void* Data, uint32_t Len, int16_t CompressType, uint32_t OutCapacity,
                          void* Out) {
  return Guarded("UnZipBuffer", 0,
                 [&] { return TDecoder::UnZipBuffer(Data, Len, CompressType, OutCapacity, Out); });
}

}  // extern "C"
