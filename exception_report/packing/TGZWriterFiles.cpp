// The one piece of the packer that needs the file system: a file's bytes and
// its last write time.
#include <windows.h>

#include "core/Errors.h"
#include "packing/TGZWriter.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

// The last write time in UTC; 0 for a folder or a missing file.
TDateTime LastWriteTimeUTC(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  uint64_t ticks = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  // File times count 100 ns from 1601-01-01, 109,205 days before 1899-12-30.
  return double(ticks) / 864000000000.0 - 109205.0;
}

}  // namespace

void TTGZWriter::AddFile(const std::string& sourcePath, const std::string& archiveName) {
  std::string name = ExtractFileName(archiveName.empty() ? sourcePath : archiveName);
  TFileStream file(sourcePath, fmOpenRead | fmShareDenyNone);
  if (file.Size() > INT32_MAX)
    throw EFOpenError("The file \"" + sourcePath + "\" is too large for the archive");
  AddStream(file, name, LastWriteTimeUTC(sourcePath));
}

}  // namespace RevavaRez
