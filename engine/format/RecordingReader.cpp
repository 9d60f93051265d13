#include "format/RecordingReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/Exception.h"

namespace {

template <class Char>
std::basic_string<Char> ExtensionOfT(const std::basic_string<Char>& path) {
  const size_t dot = path.rfind(Char('.'));
  if (dot == std::basic_string<Char>::npos) return {};
  std::basic_string<Char> ext = path.substr(dot);
  for (Char& c : ext) {
    if (c == Char('\\') || c == Char(':')) return {};
    if (c >= Char('a') && c <= Char('z')) c = Char(c - Char('a') + Char('A'));
  }
  return ext;
}

template <class Char>
TFileKind FileKindOfT(const std::basic_string<Char>& path) {
  const std::basic_string<Char> ext = ExtensionOfT(path);
  // Compared char by char so the one template serves byte and wide names.
  auto is = [&ext](const char* name) {
    size_t i = 0;
    for (; name[i]; ++i)
      if (i >= ext.size() || ext[i] != Char(name[i])) return false;
    return i == ext.size();
  };
  if (is(".KRM")) return fkRecording;
  if (is(".BMP") || is(".DIB")) return fkBitmap;
  if (is(".JPG") || is(".JPEG")) return fkJpeg;
  return fkUnknown;
}

uint32_t GetU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint64_t GetU64(const uint8_t* p) { return GetU32(p) | uint64_t(GetU32(p + 4)) << 32; }

// Entries are read in pieces of this many bytes, so the memory taken grows
// with what the stream really holds, never with what the count claims.
constexpr int64_t kIndexChunk = 1 << 20;

}  // namespace

std::string ExtensionOf(const std::string& path) { return ExtensionOfT(path); }
std::wstring ExtensionOf(const std::wstring& path) { return ExtensionOfT(path); }
TFileKind FileKindOf(const std::string& path) { return FileKindOfT(path); }
TFileKind FileKindOf(const std::wstring& path) { return FileKindOfT(path); }

TFileKind CheckedFileKindOf(const std::string& path) {
  const TFileKind kind = FileKindOf(path);
  if (kind == fkUnknown) throw EKRMError(10);
  return kind;
}
TFileKind CheckedFileKindOf(const std::wstring& path) {
  const TFileKind kind = FileKindOf(path);
  if (kind == fkUnknown) throw EKRMError(10);
  return kind;
}

uint32_t TRecordingReader::EntrySize(uint16_t version) {
  return version == KRM_VERSION_0101 ? sizeof(FileIndexEntry16) : sizeof(FileIndexEntry8);
}

TRecordingLayout TRecordingReader::Open(TStream& stream) {
  TRecordingLayout layout;
  KRMFileHeader& header = layout.Header;
  if (stream.Read(&header, sizeof header) != int64_t(sizeof header)) throw EKRMError(15);
  if (header.Magic1 != 0x41 || header.Magic2 != 0x56) throw EKRMError(1);
  if (header.Version != KRM_VERSION_0000 && header.Version != KRM_VERSION_0100 &&
      header.Version != KRM_VERSION_0101)
    throw EKRMError(14);
  const int64_t indexOffset = int64_t(header.IndexOffset);
  if (indexOffset <= 0) throw EKRMError(2);
  // An index header beyond the largest position a stream can name cannot be
  // read: the same as a file that ends before it.
  if (indexOffset > std::numeric_limits<int64_t>::max() - int64_t(KRM_HEADER_SIZE) - 16) throw EKRMError(15);
  layout.DataEnd = uint64_t(KRM_HEADER_SIZE) + header.IndexOffset;

  stream.Seek(indexOffset, soCurrent);
  KRMIndexHeader indexHeader;
  if (stream.Read(&indexHeader, sizeof indexHeader) != int64_t(sizeof indexHeader)) throw EKRMError(15);
  // Every indexed key frame is a record of at least 28 bytes inside the frame
  // data, so a larger count is damage, refused before anything is taken.
  if (indexHeader.Count == 0 || indexHeader.Reserved[0] != 0 || indexHeader.Reserved[1] != 0 ||
      indexHeader.Reserved[2] != 0 ||
      uint64_t(indexHeader.Count) > header.IndexOffset / KRM_RECORD_HEADER_SIZE)
    throw EKRMError(13);

  const uint32_t entrySize = EntrySize(header.Version);
  const int64_t entryBytes = int64_t(indexHeader.Count) * entrySize;  // < 2^36, no overflow
  const int64_t size = stream.Size();
  if (size >= 0 && size - int64_t(layout.DataEnd) - int64_t(sizeof indexHeader) < entryBytes)
    throw EKRMError(15);

  std::vector<uint8_t> chunk(size_t(std::min<int64_t>(entryBytes, kIndexChunk)));
  bool anyKept = false;
  for (int64_t done = 0; done < entryBytes;) {
    const int64_t want = std::min<int64_t>(entryBytes - done, int64_t(chunk.size()));
    if (stream.Read(chunk.data(), want) != want) throw EKRMError(15);
    done += want;
    for (int64_t at = 0; at < want; at += entrySize) {
      const uint8_t* p = chunk.data() + at;
      IndexEntry entry{GetU32(p), 0, entrySize == 16 ? GetU64(p + 8) : GetU32(p + 4)};
      // An entry must name a record inside the frame data: a seek to it may
      // never take the read position past the index offset.
      if (entry.Offset >= header.IndexOffset) continue;
      if (anyKept && entry.Time == layout.Entries.back().Time) continue;
      layout.Entries.push_back(entry);
      anyKept = true;
    }
  }

  stream.SetPosition(KRM_HEADER_SIZE);
  layout.DataStart = KRM_HEADER_SIZE;
  return layout;
}
