#pragma once
// Whether a module carries the library's data block, as a resource or as a
// file trailer; the library works only in such a module.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

constexpr uint32_t kLibraryDataMagic = 0x000FAB10;
constexpr char kLibraryDataResourceName[] = "RURUDO";

// The bytes of the module's RCDATA resource "RURUDO", which live as long as
// the module stays loaded; false without one.
bool RURudoResourceBytes(HMODULE module, const uint8_t*& bytes, size_t& size) noexcept;
// An RCDATA resource "RURUDO" that starts with the magic word; one too
// short to hold the word counts as absent.
bool HasRURudoResource(HMODULE module) noexcept;
// The module's file ends with the magic word.
bool HasRURudoTrailer(HMODULE module) noexcept;
// The same test where running out of memory must reach the caller: it
// raises std::bad_alloc instead of answering "no trailer".
bool CheckRURudoTrailer(HMODULE module);
bool HasLibraryData(HMODULE module) noexcept;

}  // namespace RevavaRez
