#include "moduleinfo/VersionInfo.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace RevavaRez {

std::string FileVersionText(uint32_t versionMS, uint32_t versionLS) {
  if (versionMS == 0 && versionLS == 0) return std::string();
  char text[48];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(versionMS >> 16), unsigned(versionMS & 0xFFFF),
                unsigned(versionLS >> 16), unsigned(versionLS & 0xFFFF));
  return text;
}

TFileVersionInfo ReadFileVersionInfo(const std::string& fileName) {
  TFileVersionInfo info;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, data.data())) return info;

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    WORD translation[2];
    std::memcpy(translation, value, sizeof translation);
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileDescription", unsigned(translation[0]),
                  unsigned(translation[1]));
    char* text = nullptr;
    if (VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&text), &length) && text != nullptr) {
      // The length may or may not count the terminator; the text ends at
      // whichever comes first.
      const size_t count = strnlen(text, length);
      if (count > 1) info.Description.assign(text, count);
    }
  }
  if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    if (fixed.dwSignature == 0xFEEF04BD) info.Version = FileVersionText(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
  }
  return info;
}

}  // namespace RevavaRez
