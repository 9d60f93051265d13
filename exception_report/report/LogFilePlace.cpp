#include "report/LogFilePlace.h"

#include "core/VArev.h"

namespace RevavaRez {

std::string UsableLogFileName(const std::string& fileName, bool readOnly) {
  std::string name = fileName;
  // When no place is usable the name stays, and opening it reports why.
  FindUsableFile(name, /*moduleFolder*/ true, readOnly);
  return name;
}

bool LogFileExists(const std::string& fileName) {
  DWORD attributes = GetFileAttributesA(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace RevavaRez
