// Opening recordings: the refusal codes, the index as the table will get it,
// and the two bounds that keep a damaged index from taking memory or moving
// the read position outside the frame data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "base/Exception.h"
#include "KrmWriter.h"
#include "format/RecordingReader.h"
#include "VectorStream.h"

namespace {

using Entries = std::vector<std::pair<uint32_t, uint64_t>>;

// Three key frames of 28 + 50 bytes and a cursor of 28 + 10 between the
// first two: key frames at offsets 0, 116 and 194, 272 bytes of frame data.
KrmWriter ThreeKeyFrames(uint16_t version = KRM_VERSION_0101) {
  KrmWriter w(64, 48, version);
  w.AddKeyFrame(0, CT_RAW, Bytes(50, 1));
  w.AddCursor(500, 3, 4, Bytes(10, 2));
  w.AddKeyFrame(1000, CT_ZLIB, Bytes(50, 3));
  w.AddKeyFrame(2000, CT_LZO, Bytes(50, 4));
  return w;
}

Bytes Sound(uint16_t version = KRM_VERSION_0101) { return ThreeKeyFrames(version).Build(); }

Bytes With(std::function<void(KrmBuildOptions&)> change, KrmWriter w = ThreeKeyFrames()) {
  KrmBuildOptions o;
  change(o);
  return w.Build(o);
}

// Key frames at the given times and offsets (all inside 200 bytes of frame data).
KrmWriter WithEntries(const Entries& entries) {
  KrmWriter w;
  w.AddRawBytes(Bytes(200, 0));
  for (auto& e : entries) w.AddIndexEntry(e.first, e.second);
  return w;
}

// What the file source does with a name and a stream: the kind first, then
// the checks. Answers 0 or the code raised.
int OpenCode(const std::string& path, TStream& stream, TRecordingLayout* layout) {
  try {
    CheckedFileKindOf(path);
    *layout = TRecordingReader::Open(stream);
    return 0;
  } catch (const EKRMError& e) {
    return e.Code();
  }
}

struct OpenCase {
  const char* Name;
  std::string Path;
  Bytes File;
  int Code;
  Entries Expected;  // checked when Code is 0
};

TEST(RecordingReader, OpenCodesAndIndex) {
  const Bytes sound = Sound();
  const size_t frameBytes = ThreeKeyFrames().FrameData().size();
  const Entries soundIndex = {{0, 0}, {1000, 116}, {2000, 194}};
  const OpenCase cases[] = {
      {"version 0x0101", "a.KRM", sound, 0, soundIndex},
      {"version 0x0000", "a.KRM", Sound(KRM_VERSION_0000), 0, soundIndex},
      {"version 0x0100 reads 8-byte entries", "a.KRM", Sound(KRM_VERSION_0100), 0, soundIndex},
      {"lower-case extension", "C:\\rec\\a.krm", sound, 0, soundIndex},
      {"unknown extension", "a.txt", sound, 10, {}},
      {"empty file", "a.krm", {}, 15, {}},
      {"short header", "a.krm", With([](KrmBuildOptions& o) { o.TruncateTo = 31; }), 15, {}},
      {"magic VA", "a.krm", With([](KrmBuildOptions& o) { o.Magic1 = 'V', o.Magic2 = 'A'; }), 1, {}},
      {"version 0x0102", "a.krm", ThreeKeyFrames(0x0102).Build(), 14, {}},
      {"index offset 0", "a.krm", With([](KrmBuildOptions& o) { o.IndexOffset = 0; }), 2, {}},
      {"index offset sign bit",
       "a.krm",
       With([&](KrmBuildOptions& o) { o.IndexOffset = frameBytes | 0x8000000000000000ull; }),
       2,
       {}},
      {"index offset past the end",
       "a.krm",
       With([&](KrmBuildOptions& o) { o.IndexOffset = frameBytes + 1000; }),
       15,
       {}},
      {"index header cut short",
       "a.krm",
       With([&](KrmBuildOptions& o) { o.TruncateTo = 32 + frameBytes + 15; }),
       15,
       {}},
      {"count 0", "a.krm", With([](KrmBuildOptions& o) { o.IndexCount = 0; }), 13, {}},
      {"reserved word 1", "a.krm", With([](KrmBuildOptions& o) { o.IndexReserved[0] = 1; }), 13, {}},
      {"reserved word 3",
       "a.krm",
       With([](KrmBuildOptions& o) { o.IndexReserved[2] = 0x80000000u; }),
       13,
       {}},
      {"entries cut short", "a.krm", Bytes(sound.begin(), sound.end() - 1), 15, {}},
      // 272 bytes of frame data hold at most 9 records: 9 is believed (and
      // the entries are then missing), 10 cannot be true.
      {"count the frame data could hold",
       "a.krm",
       With([](KrmBuildOptions& o) { o.IndexCount = 9; }),
       15,
       {}},
      {"count the frame data cannot hold",
       "a.krm",
       With([](KrmBuildOptions& o) { o.IndexCount = 10; }),
       13,
       {}},
      {"huge count", "a.krm", With([](KrmBuildOptions& o) { o.IndexCount = 0xFFFFFFFFu; }), 13, {}},
      {"repeated times keep the first",
       "a.krm",
       WithEntries({{0, 0}, {0, 28}, {1000, 56}, {1000, 84}, {1000, 112}, {2000, 140}}).Build(),
       0,
       {{0, 0}, {1000, 56}, {2000, 140}}},
      // An entry at or past the index offset is dropped; the next entry is
      // compared with the last one kept, not with the dropped one.
      {"entries past the frame data",
       "a.krm",
       WithEntries({{0, 0}, {1000, 200}, {1000, 100}, {2000, 0xFFFFFFFFu}, {3000, 199}}).Build(),
       0,
       {{0, 0}, {1000, 100}, {3000, 199}}},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVectorStream stream(c.File);
    TRecordingLayout layout;
    ASSERT_EQ(OpenCode(c.Path, stream, &layout), c.Code);
    if (c.Code == 10) {
      EXPECT_EQ(stream.Reads(), 0);
    }
    if (c.Code != 0) continue;
    Entries got;
    for (const IndexEntry& e : layout.Entries) got.emplace_back(e.Time, e.Offset);
    EXPECT_EQ(got, c.Expected);
    EXPECT_EQ(stream.Position(), 32);
    EXPECT_EQ(layout.DataStart, 32);
    EXPECT_EQ(layout.Header.Width, 64);
    EXPECT_EQ(layout.DataEnd, 32 + layout.Header.IndexOffset);
  }
}

TEST(RecordingReader, FileKinds) {
  const std::pair<const char*, TFileKind> cases[] = {
      {"a.KRM", fkRecording},      {"a.b.krm", fkRecording},   {"http://h/x/a.Krm", fkRecording},
      {"p.bmp", fkBitmap},         {"p.DIB", fkBitmap},        {"p.jpg", fkJpeg},
      {"p.Jpeg", fkJpeg},          {"a.krm?x=1", fkUnknown},   {"dir.krm\\file", fkUnknown},
      {"c.krm:stream", fkUnknown}, {"noextension", fkUnknown}, {"a.krmx", fkUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(FileKindOf(std::string(c.first)), c.second);
    EXPECT_EQ(FileKindOf(std::wstring(c.first, c.first + strlen(c.first))), c.second);
  }
  EXPECT_EQ(ExtensionOf(std::string("a.krm?x=1")), ".KRM?X=1");
  try {
    CheckedFileKindOf(std::wstring(L"a.bin"));
    FAIL() << "no error for .bin";
  } catch (const EKRMError& e) {
    EXPECT_EQ(e.Code(), 10);
  }
}

// A recording of several GiB that exists only as a header and an index at
// their places; every other byte reads as zero.
class TSparseStream : public TStream {
 public:
  TSparseStream(int64_t size, std::map<int64_t, Bytes> parts) : FSize(size), FParts(std::move(parts)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, FSize - FPosition));
    uint8_t* out = static_cast<uint8_t*>(buffer);
    std::fill(out, out + n, 0);
    for (const auto& part : FParts) {
      const int64_t from = std::max(part.first, FPosition);
      const int64_t to = std::min(part.first + int64_t(part.second.size()), FPosition + n);
      for (int64_t i = from; i < to; ++i) out[i - FPosition] = part.second[size_t(i - part.first)];
    }
    FPosition += n;
    return n;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    FPosition = (origin == soBeginning ? 0 : origin == soCurrent ? FPosition : FSize) + offset;
    return FPosition;
  }
  int64_t Size() override { return FSize; }

 private:
  int64_t FSize;
  std::map<int64_t, Bytes> FParts;
  int64_t FPosition = 0;
};

TEST(RecordingReader, LongEntriesKeepOffsetsAbove4GiB) {
  const uint64_t indexOffset = 6ull << 30;
  const Entries expected = {{0, 0}, {60000, (4ull << 30) + 28}, {120000, (5ull << 30) + 0x1234}};
  KrmWriter w(1920, 1080, KRM_VERSION_0101);
  for (auto& e : expected) w.AddIndexEntry(e.first, e.second);
  KrmBuildOptions o;
  o.IndexOffset = indexOffset;
  const Bytes index = w.IndexImage(o);
  const Bytes header = KrmWriter::Header(KRM_VERSION_0101, 1920, 1080, 180000, indexOffset);
  TSparseStream stream(int64_t(32 + indexOffset + index.size()),
                       {{0, header}, {int64_t(32 + indexOffset), index}});

  TRecordingLayout layout = TRecordingReader::Open(stream);
  Entries got;
  for (const IndexEntry& e : layout.Entries) got.emplace_back(e.Time, e.Offset);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(layout.DataEnd, 32 + indexOffset);
  EXPECT_EQ(layout.Header.Duration, 180000u);
  EXPECT_EQ(stream.Position(), 32);
}

}  // namespace
