#include "options/LibraryData.h"

#include "core/ExceptionLog.h"
#include "core/Streams.h"

#include <new>

namespace RevavaRez {

namespace {

uint32_t LittleEndianWord(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

bool RURudoResourceBytes(HMODULE module, const uint8_t*& bytes, size_t& size) noexcept {
  bytes = nullptr;
  size = 0;
  HRSRC resource = FindResourceA(module, kLibraryDataResourceName, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (resource == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr) return false;
  size = SizeofResource(module, resource);
  return true;
}

bool HasRURudoResource(HMODULE module) noexcept {
  const uint8_t* bytes;
  size_t size;
  return RURudoResourceBytes(module, bytes, size) && size >= 4 && LittleEndianWord(bytes) == kLibraryDataMagic;
}

bool CheckRURudoTrailer(HMODULE module) {
  try {
    TFileStream file(ModuleFileNameOf(module), fmOpenRead | fmShareDenyNone);
    if (file.Size() < 4) return false;
    uint8_t word[4];
    file.Seek(-4, soEnd);
    file.ReadBuffer(word, 4);
    return LittleEndianWord(word) == kLibraryDataMagic;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    // A file that cannot be opened or read has no trailer.
    return false;
  }
}

bool HasRURudoTrailer(HMODULE module) noexcept {
  try {
    return CheckRURudoTrailer(module);
  } catch (...) {
    return false;
  }
}

bool HasLibraryData(HMODULE module) noexcept { return HasRURudoResource(module) || HasRURudoTrailer(module); }

}  // namespace RevavaRez
