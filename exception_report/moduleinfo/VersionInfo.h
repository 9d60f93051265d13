#pragma once
// A module file's version resource: its file version and description.
#include <cstdint>
#include <string>

namespace RevavaRez {

// "a.b.c.d" from the fixed part's file version words; empty for 0.0.0.0.
std::string FileVersionText(uint32_t versionMS, uint32_t versionLS);

struct TFileVersionInfo {
  std::string Description;  // only when longer than one character
  std::string Version;      // empty for none or 0.0.0.0
};
// Empty texts for a file without version information.
TFileVersionInfo ReadFileVersionInfo(const std::string& fileName);

}  // namespace RevavaRez
