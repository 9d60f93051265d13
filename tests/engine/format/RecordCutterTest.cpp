// Cutting records out of received bytes, whatever the chunk boundaries, and
// the limits that keep a damaged length from growing the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "KrmWriter.h"
#include "format/RecordCutter.h"

namespace {

struct FreeRecord {
  void operator()(FrameRecord* r) const { FreeFrameRecord(r); }
};
using RecordPtr = std::unique_ptr<FrameRecord, FreeRecord>;

KrmRecord Record(uint32_t time, size_t payload, uint8_t fill) {
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_XOR;
  r.CompressionType = CT_ZLIB;
  r.X = 7;
  r.CursorY = 9;
  r.Payload = Bytes(payload, fill);
  return r;
}

void ExpectRecord(const FrameRecord* got, const KrmRecord& want) {
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Time, want.Time);
  EXPECT_EQ(got->X, want.X);
  EXPECT_EQ(got->CursorY, want.CursorY);
  EXPECT_EQ(got->FrameType, want.FrameType);
  EXPECT_EQ(got->CompressionType, want.CompressionType);
  ASSERT_EQ(got->Length, want.Payload.size());
  EXPECT_EQ(Bytes(FramePayload(got), FramePayload(got) + got->Length), want.Payload);
}

std::vector<RecordPtr> Feed(TRecordCutter& cutter, const Bytes& chunk) {
  std::vector<RecordPtr> out;
  EXPECT_TRUE(cutter.Feed(chunk.data(), chunk.size(), [&](FrameRecord* r) { out.emplace_back(r); }));
  return out;
}

TEST(RecordCutter, TwoRecordsInOneChunk) {
  const KrmRecord a = Record(10, 5, 0xAA), b = Record(20, 300, 0xBB);
  Bytes chunk = a.Serialize();
  Bytes second = b.Serialize();
  chunk.insert(chunk.end(), second.begin(), second.end());
  TRecordCutter cutter(1024);
  auto got = Feed(cutter, chunk);
  ASSERT_EQ(got.size(), 2u);
  ExpectRecord(got[0].get(), a);
  ExpectRecord(got[1].get(), b);
  EXPECT_EQ(cutter.UsedSize(), 0u);
}

TEST(RecordCutter, OneRecordOverThreeChunks) {
  const KrmRecord a = Record(10, 100, 0x5A);
  const Bytes bytes = a.Serialize();
  TRecordCutter cutter(1024);
  // Cut inside the header, then inside the payload.
  EXPECT_TRUE(Feed(cutter, Bytes(bytes.begin(), bytes.begin() + 10)).empty());
  EXPECT_TRUE(Feed(cutter, Bytes(bytes.begin() + 10, bytes.begin() + 60)).empty());
  EXPECT_EQ(cutter.UsedSize(), 60u);
  auto got = Feed(cutter, Bytes(bytes.begin() + 60, bytes.end()));
  ASSERT_EQ(got.size(), 1u);
  ExpectRecord(got[0].get(), a);
}

TEST(RecordCutter, EmptyPayloadTakesExactly28Bytes) {
  const KrmRecord marker = Record(5, 0, 0), next = Record(6, 40, 1);
  Bytes chunk = marker.Serialize();
  const Bytes tail = next.Serialize();
  chunk.insert(chunk.end(), tail.begin(), tail.begin() + 3);
  TRecordCutter cutter(64);
  auto got = Feed(cutter, chunk);
  ASSERT_EQ(got.size(), 1u);
  ExpectRecord(got[0].get(), marker);
  EXPECT_EQ(cutter.UsedSize(), 3u);  // the next record's start waits at the front
}

TEST(RecordCutter, GrowsToExactlyOneLargerRecord) {
  const KrmRecord small = Record(1, 10, 1), large = Record(2, 1000, 2);
  Bytes chunk = small.Serialize();
  const Bytes tail = large.Serialize();
  chunk.insert(chunk.end(), tail.begin(), tail.end());
  TRecordCutter cutter(100);
  auto got = Feed(cutter, chunk);
  ASSERT_EQ(got.size(), 2u);
  ExpectRecord(got[1].get(), large);
  EXPECT_EQ(cutter.BufferSize(), 1028u);
}

// The file source's read-ahead: chunks sized by what the buffer and the frame
// data still hold, the limit lowered to what the frame data can complete.
struct FileRead {
  std::vector<RecordPtr> Records;
  bool StoppedAtLimit = false;
};
FileRead ReadFrameData(TRecordCutter& cutter, const Bytes& frameData) {
  FileRead result;
  size_t position = 0;
  while (position < frameData.size()) {
    const size_t chunk = std::min({size_t(32768), frameData.size() - position, cutter.FreeSize()});
    if (chunk == 0) break;
    std::memcpy(cutter.FreeSpace(), frameData.data() + position, chunk);
    cutter.Commit(chunk);
    position += chunk;
    cutter.SetRecordLimit(cutter.UsedSize() + (frameData.size() - position));
    while (FrameRecord* r = cutter.Next()) result.Records.emplace_back(r);
    if (cutter.RecordExceedsLimit()) {
      result.StoppedAtLimit = true;
      break;
    }
  }
  return result;
}

TEST(RecordCutter, RecordLongerThanTheFrameDataIsNeverCompleted) {
  KrmWriter w;
  const KrmRecord first = Record(0, 20, 1);
  w.Add(first);
  KrmRecord liar = Record(40, 500, 2);
  liar.Length = 100000;  // announces far more than the 500 bytes that follow
  w.Add(liar);
  TRecordCutter cutter(256);
  FileRead read = ReadFrameData(cutter, w.FrameData());
  ASSERT_EQ(read.Records.size(), 1u);
  ExpectRecord(read.Records[0].get(), first);
  EXPECT_TRUE(read.StoppedAtLimit);
  EXPECT_EQ(cutter.BufferSize(), 256u);
}

TEST(RecordCutter, FrameDataEndingExactlyAtARecordEnd) {
  KrmWriter w;
  const KrmRecord a = Record(0, 20, 1), b = Record(40, 2000, 2);
  w.Add(a);
  w.Add(b);
  TRecordCutter cutter(256);
  FileRead read = ReadFrameData(cutter, w.FrameData());
  ASSERT_EQ(read.Records.size(), 2u);
  ExpectRecord(read.Records[1].get(), b);
  EXPECT_FALSE(read.StoppedAtLimit);
  EXPECT_EQ(cutter.BufferSize(), 2028u);
}

TEST(RecordCutter, StreamRecordsAboveTheBoundAreRefused) {
  struct Case {
    uint32_t Length;
    uint64_t Limit;
    bool Completes;
  } cases[] = {
      {100, 128, true},
      {101, 128, false},
      {0xFFFFFFFFu, KRM_MAX_STREAM_RECORD, false},  // 28 + length must not wrap
      {uint32_t(KRM_MAX_STREAM_RECORD - 28 + 1), KRM_MAX_STREAM_RECORD, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Length);
    KrmRecord r = Record(1, 100, 3);
    r.Length = c.Length;
    Bytes bytes = r.Serialize();
    TRecordCutter cutter(64, c.Limit);
    std::vector<RecordPtr> got;
    const bool fed = cutter.Feed(bytes.data(), bytes.size(), [&](FrameRecord* f) { got.emplace_back(f); });
    EXPECT_EQ(fed, c.Completes);
    EXPECT_EQ(cutter.RecordExceedsLimit(), !c.Completes);
    EXPECT_EQ(got.size(), c.Completes ? 1u : 0u);
    if (!c.Completes) {
      EXPECT_EQ(cutter.BufferSize(), 64u);
    }
  }
}

TEST(RecordCutter, ClearForgetsHeldBytes) {
  const KrmRecord a = Record(1, 30, 1);
  const Bytes bytes = a.Serialize();
  TRecordCutter cutter(128);
  Feed(cutter, Bytes(bytes.begin(), bytes.begin() + 40));
  cutter.Clear();
  auto got = Feed(cutter, bytes);
  ASSERT_EQ(got.size(), 1u);
  ExpectRecord(got[0].get(), a);
}

}  // namespace
