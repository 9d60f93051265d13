#include "moduleinfo/PEImage.h"

#include <cstring>

#include "moduleinfo/ModuleStream.h"

namespace RevavaRez {

namespace {

constexpr uint16_t kPE32Magic = 0x10B;
constexpr uint16_t kPE32PlusMagic = 0x20B;
constexpr uint32_t kSectionHeaderSize = 40;

template <typename T>
bool ReadAt(THModuleStream& stream, int64_t offset, T& value) {
  stream.SetPosition(offset);
  return stream.ReadChecked(&value, sizeof value);
}

}  // namespace

bool ReadPEHeaders(const void* image, TPEHeaders& headers) {
  headers = TPEHeaders();
  if (image == nullptr) return false;
  THModuleStream stream(image);
  uint16_t mz = 0;
  uint32_t ntOffset = 0, signature = 0;
  if (!ReadAt(stream, 0, mz) || mz != 0x5A4D) return false;
  if (!ReadAt(stream, 60, ntOffset) || ntOffset > 0x10000000) return false;
  if (!ReadAt(stream, ntOffset, signature) || signature != 0x00004550) return false;
  // The file header: machine, sections, date, symbols (2), optional size,
  // characteristics.
  uint8_t file[20];
  stream.SetPosition(ntOffset + 4);
  if (!stream.ReadChecked(file, sizeof file)) return false;
  std::memcpy(&headers.NumberOfSections, file + 2, 2);
  std::memcpy(&headers.SizeOfOptionalHeader, file + 16, 2);
  std::memcpy(&headers.Characteristics, file + 18, 2);
  const int64_t optional = int64_t(ntOffset) + 24;
  if (!ReadAt(stream, optional, headers.Magic)) return false;
  if (headers.Magic != kPE32Magic && headers.Magic != kPE32PlusMagic) return false;
  // SizeOfCode and BaseOfCode sit at the same places in both forms.
  if (!ReadAt(stream, optional + 4, headers.SizeOfCode) || !ReadAt(stream, optional + 20, headers.BaseOfCode))
    return false;
  // So does the subsystem, past the fields whose width differs.
  if (!ReadAt(stream, optional + 68, headers.Subsystem)) return false;
  const int64_t directory = optional + (headers.Magic == kPE32Magic ? 96 : 112);
  if (headers.SizeOfOptionalHeader >= directory - optional + 8) {
    if (!ReadAt(stream, directory, headers.ExportRVA) || !ReadAt(stream, directory + 4, headers.ExportSize))
      return false;
  }
  headers.Image = static_cast<const uint8_t*>(image);
  headers.NtOffset = ntOffset;
  headers.SectionsOffset = static_cast<uint32_t>(optional) + headers.SizeOfOptionalHeader;
  return true;
}

bool IsDLLModule(const void* image) {
  TPEHeaders headers;
  return ReadPEHeaders(image, headers) && (headers.Characteristics & IMAGE_FILE_DLL) != 0;
}

bool CodeRange(const void* image, uintptr_t& start, uintptr_t& end) {
  TPEHeaders headers;
  if (!ReadPEHeaders(image, headers)) return false;
  start = reinterpret_cast<uintptr_t>(image) + headers.BaseOfCode;
  end = start + headers.SizeOfCode;
  return true;
}

bool ReadSection(const TPEHeaders& headers, uint16_t index, TSectionHeader& section) {
  if (headers.Image == nullptr || index >= headers.NumberOfSections) return false;
  THModuleStream stream(headers.Image);
  uint8_t raw[kSectionHeaderSize];
  stream.SetPosition(int64_t(headers.SectionsOffset) + int64_t(index) * kSectionHeaderSize);
  if (!stream.ReadChecked(raw, sizeof raw)) return false;
  std::memcpy(section.Name, raw, 8);
  std::memcpy(&section.VirtualSize, raw + 8, 4);
  std::memcpy(&section.VirtualAddress, raw + 12, 4);
  std::memcpy(&section.Characteristics, raw + 36, 4);
  return true;
}

bool IsInExecutableSection(const void* image, uintptr_t address) {
  TPEHeaders headers;
  if (!ReadPEHeaders(image, headers)) return false;
  const uintptr_t base = reinterpret_cast<uintptr_t>(image);
  if (address < base) return false;
  const uint64_t rva = address - base;
  for (uint16_t i = 0; i < headers.NumberOfSections; ++i) {
    TSectionHeader section;
    if (!ReadSection(headers, i, section)) return false;
    if (rva < section.VirtualAddress || rva >= uint64_t(section.VirtualAddress) + section.VirtualSize) continue;
    return (section.Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE)) != 0;
  }
  return false;
}

}  // namespace RevavaRez
