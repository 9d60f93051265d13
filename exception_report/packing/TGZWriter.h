#pragma once
// The attachment archive: a tar archive collected in memory and written as
// one gzip file with zlib's deflate, and the inflation of a gzip member for
// web replies. Byte-level; only AddFile touches the file system's metadata.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/DateTime.h"
#include "core/Streams.h"

namespace RevavaRez {

struct TTarRec {
  std::string Name;
  int32_t Size = 0;
  TDateTime Time = 0;  // last write time, UTC
};

// The 512-byte ustar header of one entry.
std::array<uint8_t, 512> TarHeader(const TTarRec& entry);
// Whole seconds from 1970 to time (UTC), taken after rounding to the
// millisecond; 0 before 1970.
uint64_t UnixSeconds(TDateTime time);

class TTGZWriter {
 public:
  explicit TTGZWriter(const std::string& fileName);
  // Writes the archive when Close was never called, swallowing a failure.
  ~TTGZWriter();
  TTGZWriter(const TTGZWriter&) = delete;
  TTGZWriter& operator=(const TTGZWriter&) = delete;

  // The file under the file part of archiveName (of sourcePath when empty).
  // EFOpenError when it cannot be opened or is too large for an entry.
  void AddFile(const std::string& sourcePath, const std::string& archiveName = std::string());
  // The bytes from the stream's position to its end.
  void AddStream(TStream& stream, const std::string& name, TDateTime time);
  // Ends the archive and writes the gzip file, replacing an existing one.
  // Raises when it cannot be written; later calls do nothing.
  void Close();

  const std::string& FileName() const { return FFileName; }
  TMemoryStream& TarData() { return FTarData; }

 private:
  std::string FFileName;
  TMemoryStream FTarData;
  bool FClosed = false;
};

// The gzip file of a finished tar archive: header with the stored name, raw
// deflate at level 9, CRC-32 and length.
void WriteGZip(TStream& output, const uint8_t* tar, size_t size, const std::string& storedName);
std::string GZipFileBytes(const uint8_t* tar, size_t size, const std::string& storedName);

// Inflation stops at this many output bytes: the data may come from a web
// reply of any size.
constexpr size_t GZipInflateLimit = size_t(64) << 20;
// Inflates one gzip member (only the name flag is understood) into output.
// False when the data was malformed, cut short or over the limit; what was
// inflated before that is still written.
bool GZipInflate(const void* data, size_t size, TStream& output);

// RFC 1952.
uint32_t Crc32(const void* bytes, size_t count);

}  // namespace RevavaRez
