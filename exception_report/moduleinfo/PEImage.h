#pragma once
// Reads of a module's image headers, all through checked reads, in both the
// PE32 and the PE32+ form (picked by the optional header's magic): the
// image may be a module of either build or bytes laid out by a test.
#include <windows.h>

#include <cstdint>

namespace RevavaRez {

struct TPEHeaders {
  const uint8_t* Image = nullptr;
  uint32_t NtOffset = 0;          // the "PE\0\0" signature
  uint16_t Characteristics = 0;   // of the file header
  uint16_t NumberOfSections = 0;
  uint16_t SizeOfOptionalHeader = 0;
  uint16_t Magic = 0;             // 0x10B PE32, 0x20B PE32+
  uint32_t BaseOfCode = 0;
  uint32_t SizeOfCode = 0;
  uint16_t Subsystem = 0;         // IMAGE_SUBSYSTEM_*
  uint32_t ExportRVA = 0;         // data directory 0
  uint32_t ExportSize = 0;
  uint32_t SectionsOffset = 0;    // after the optional header
};

// "MZ", a PE signature at the offset stored at byte 60 and a known optional
// header magic; false for anything unreadable.
bool ReadPEHeaders(const void* image, TPEHeaders& headers);
// The file header's characteristics have IMAGE_FILE_DLL (0x2000).
bool IsDLLModule(const void* image);
inline bool IsDLLModule(HMODULE module) { return IsDLLModule(static_cast<const void*>(module)); }
// The code range of the optional header, as addresses in the image.
bool CodeRange(const void* image, uintptr_t& start, uintptr_t& end);

struct TSectionHeader {
  char Name[8];
  uint32_t VirtualSize;
  uint32_t VirtualAddress;
  uint32_t Characteristics;
};
// Section i (0-based) of the image; false past the last or unreadable.
bool ReadSection(const TPEHeaders& headers, uint16_t index, TSectionHeader& section);
// The address lies inside the image, in a section whose code or execute
// flag is set.
bool IsInExecutableSection(const void* image, uintptr_t address);

}  // namespace RevavaRez
