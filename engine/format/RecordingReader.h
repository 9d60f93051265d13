#pragma once
// Recognising a recording by its name and checking its header and index
// before any frame is read. Byte-level only: no Windows headers, so it also
// builds natively for fuzzing.
#include <cstdint>
#include <string>
#include <vector>

#include "format/KRMFormat.h"
#include "base/Stream.h"

enum TFileKind : uint8_t {
  fkUnknown = 0,
  fkRecording = 1,  // ".KRM"
  fkBitmap = 2,     // ".BMP", ".DIB"
  fkJpeg = 3,       // ".JPG", ".JPEG"
};

// The text from the last "." on, upper-cased, provided no "\" or ":" follows
// it; empty otherwise. A URL's query stays in it (".KRM?X=1"), so callers
// cut queries off first.
std::string ExtensionOf(const std::string& path);
std::wstring ExtensionOf(const std::wstring& path);

TFileKind FileKindOf(const std::string& path);
TFileKind FileKindOf(const std::wstring& path);

// As FileKindOf, but a name of no known kind raises EKRMError(10), before
// anything has been read.
TFileKind CheckedFileKindOf(const std::string& path);
TFileKind CheckedFileKindOf(const std::wstring& path);

// What the open of a recording found: the header, the index entries to put
// into the index table (in file order, repeated times and entries pointing
// outside the frame data already left out) and where the frame data lies.
struct TRecordingLayout {
  KRMFileHeader Header{};
  std::vector<IndexEntry> Entries;
  int64_t DataStart = KRM_HEADER_SIZE;  // file offset of the first record
  uint64_t DataEnd = 0;                 // file offset of the index header
};

class TRecordingReader {
 public:
  // Reads and checks the header and the index, then leaves the stream at the
  // first frame record. Refusals raise EKRMError: 15 when the header, the
  // index header or the entries are cut short, 1 for a wrong magic, 14 for
  // an unknown version, 2 for an index offset that is not positive, 13 for
  // a count of 0, a count that the frame data cannot hold (every key frame
  // takes at least 28 bytes there) or a non-zero reserved word. Anything the
  // stream itself throws (Exception, std::bad_alloc, ...) passes through
  // unchanged; the caller reports those as code 6.
  static TRecordingLayout Open(TStream& stream);

  // Bytes of one stored index entry for a version (8 or 16).
  static uint32_t EntrySize(uint16_t version);
};
