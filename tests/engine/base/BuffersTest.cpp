#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"

namespace {

// A record whose payload bytes all carry the low byte of its time, so that a
// copy can be checked against the record it came from.
FrameRecord* MakeRecord(uint32_t time, int16_t type, uint32_t length = 0) {
  FrameRecord* frame = AllocFrameRecord(length);
  if (!frame) throw std::bad_alloc();
  std::memset(frame, 0, sizeof(FrameRecord));
  frame->Time = time;
  frame->FrameType = type;
  frame->Length = length;
  std::memset(FramePayload(frame), int(time & 0xFF), length);
  return frame;
}

// Fills a buffer from a pattern: 'K' a key frame, any other letter a delta,
// times 10, 20, 30, ... and payloads of 1 byte per position (0, 1, 2, ...).
void Fill(TFramesBuffer& buffer, const std::string& kinds) {
  for (size_t i = 0; i < kinds.size(); ++i)
    buffer.Add(MakeRecord(uint32_t(10 * (i + 1)), kinds[i] == 'K' ? FT_KEY : FT_XOR, uint32_t(i)));
}

// Recounts the list, to hold the kept counts against it.
void ExpectCountsMatchList(TFramesBuffer& buffer) {
  TFramesBuffer::TLocked locked(buffer);
  int64_t bytes = 0;
  int32_t keys = 0;
  for (FrameRecord* frame : locked.List) {
    bytes += 28 + frame->Length;
    if (frame->FrameType == FT_KEY) ++keys;
  }
  EXPECT_EQ(buffer.FrameCount(), int32_t(locked.List.size()));
  EXPECT_EQ(buffer.KeyFrameCount(), keys);
  EXPECT_EQ(buffer.TotalBytes(), bytes);
}

std::string TempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "brx_buffers_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FramesBuffer, AddCountsRecordsKeyFramesAndHeaderBytes) {
  TFramesBuffer buffer;
  EXPECT_EQ(buffer.MinTimeStamp(), 0u);
  EXPECT_EQ(buffer.MaxTimeStamp(), 0u);
  EXPECT_EQ(buffer.FCurrentIndex, -1);

  EXPECT_EQ(buffer.Add(MakeRecord(100, FT_CURSOR, 0)), 0);
  EXPECT_EQ(buffer.TotalBytes(), 28);
  EXPECT_EQ(buffer.Add(MakeRecord(200, FT_KEY, 1000)), 1);
  EXPECT_EQ(buffer.Add(MakeRecord(300, FT_XOR, 5)), 2);
  EXPECT_EQ(buffer.GetCount(), 3);
  EXPECT_EQ(buffer.KeyFrameCount(), 1);
  EXPECT_EQ(buffer.TotalBytes(), 28 + 1028 + 33);
  EXPECT_EQ(buffer.MinTimeStamp(), 100u);
  EXPECT_EQ(buffer.MaxTimeStamp(), 300u);

  buffer.FCurrentIndex = 1;
  buffer.Clear();
  EXPECT_EQ(buffer.GetCount(), 0);
  EXPECT_EQ(buffer.KeyFrameCount(), 0);
  EXPECT_EQ(buffer.TotalBytes(), 0);
  EXPECT_EQ(buffer.FCurrentIndex, -1);
}

TEST(FramesBuffer, AddRefusesARecordTheByteTotalCannotHold) {
  TFramesBuffer buffer;
  buffer.Add(MakeRecord(1, FT_KEY, 100));
  // Only the header is looked at, so a claimed length stands in for the data.
  FrameRecord* huge = MakeRecord(2, FT_KEY, 0);
  huge->Length = 0x7FFFFFF0;
  EXPECT_THROW(buffer.Add(huge), Exception);
  FreeFrameRecord(huge);  // still the caller's
  EXPECT_EQ(buffer.GetCount(), 1);
  EXPECT_EQ(buffer.TotalBytes(), 128);
  EXPECT_FALSE(buffer.IsFull());
}

TEST(FramesBuffer, IsFullNeedsBothTheBytesAndThreeKeyFrames) {
  struct Case {
    const char* name;
    std::vector<std::pair<int16_t, uint32_t>> records;  // type, payload length
    bool full;
  };
  const uint32_t mb5 = 5 * 1024 * 1024;
  const Case cases[] = {
      {"10 MB, two key frames", {{FT_KEY, mb5}, {FT_KEY, mb5}}, false},
      {"five key frames, one byte short",
       {{FT_KEY, 0}, {FT_KEY, 0}, {FT_KEY, 0}, {FT_KEY, 0}, {FT_KEY, mb5 - 1 - 5 * 28}},
       false},
      {"three key frames, exactly 5 MB",
       {{FT_KEY, 0}, {FT_XOR, 0}, {FT_KEY, 0}, {FT_KEY, mb5 - 4 * 28}},
       true},
      {"deltas do not count as key frames",
       {{FT_XOR, mb5}, {FT_COPY, 0}, {FT_CURSOR, 0}, {FT_KEY, 0}},
       false},
  };
  for (const Case& c : cases) {
    TFramesBuffer buffer;
    uint32_t time = 0;
    for (const auto& record : c.records) buffer.Add(MakeRecord(time++, record.first, record.second));
    EXPECT_EQ(buffer.IsFull(), c.full) << c.name << ", bytes " << buffer.TotalBytes();
  }
}

TEST(FramesBuffer, FindAnswersTheRecordAndRoundsTimeDown) {
  struct Case {
    std::vector<uint32_t> times;
    uint32_t time;
    bool exactOnly;
    int32_t index;
    uint32_t timeAfter;
  };
  const std::vector<uint32_t> four = {10, 20, 30, 40};
  const Case cases[] = {
      {{}, 10, false, -1, 10},
      {{10}, 10, false, 0, 10},
      {{10}, 15, false, -1, 15},
      {{10}, 5, false, -1, 5},
      {four, 5, false, -1, 5},  // before the first record
      {four, 10, true, 0, 10},
      {four, 30, true, 2, 30},
      {four, 40, true, 3, 40},
      {four, 41, false, -1, 41},  // after the last record
      {four, 35, false, 2, 30},   // between records 2 and 3
      {four, 35, true, -1, 35},
      {four, 11, false, 0, 10},
      {{5, 5, 5}, 5, true, 1, 5},                                    // the first pair's later member
      {{0x7FFFFFFF, 0x80000001}, 0x80000000, false, 0, 0x7FFFFFFF},  // unsigned times
  };
  for (const Case& c : cases) {
    TFramesBuffer buffer;
    for (uint32_t t : c.times) buffer.Add(MakeRecord(t, FT_XOR));
    uint32_t time = c.time;
    EXPECT_EQ(buffer.Find(time, c.exactOnly), c.index) << c.time << " in " << c.times.size() << " records";
    EXPECT_EQ(time, c.timeAfter) << c.time;
  }
}

TEST(FramesBuffer, TrimKeepsTheNewestKeyFrameAtOrBeforeTheStart) {
  struct Case {
    const char* kinds;
    int32_t currentIndex;
    bool all;
    int32_t removed;
    int32_t currentAfter;
  };
  const Case cases[] = {
      {"K...K.....", -1, false, 0, -1},  // nothing rendered yet
      {"...K......", 2, false, 0, 2},    // no key frame at or below the index
      {"K...K.....", 6, false, 4, 2},
      {"K...K.....", 4, false, 4, 0},  // the start itself is the key frame
      {"K...K...K.", 3, false, 0, 3},
      {"K...K...K.", 3, true, 8, -1},
      {"K...K...K", 3, true, 8, -1},  // the last record is the key frame
      {"..........", 5, true, 0, -1},
      {"K..K", 9, false, 3, 6},  // an index past the end counts as the last record
      {"", -1, true, 0, -1},
  };
  for (const Case& c : cases) {
    TFramesBuffer buffer;
    Fill(buffer, c.kinds);
    const int32_t before = buffer.GetCount();
    buffer.FCurrentIndex = c.currentIndex;
    buffer.Trim(c.all);
    SCOPED_TRACE(std::string(c.kinds) + (c.all ? " all" : " from ") + std::to_string(c.currentIndex));
    EXPECT_EQ(before - buffer.GetCount(), c.removed);
    EXPECT_EQ(buffer.FCurrentIndex, c.currentAfter);
    if (c.removed > 0) {
      EXPECT_EQ(buffer.MinTimeStamp(), uint32_t(10 * (c.removed + 1)));
      TFramesBuffer::TLocked locked(buffer);
      EXPECT_EQ(locked.List.front()->FrameType, FT_KEY);
    }
    ExpectCountsMatchList(buffer);
  }
}

TEST(FramesBuffer, CopyNextCopiesTheFollowingRecordAndGrowsTheBuffer) {
  TFramesBuffer buffer;
  Fill(buffer, "KX");
  buffer.Add(MakeRecord(77, FT_XOR, 300));

  uint32_t capacity = 16;
  void* block = std::malloc(capacity);
  buffer.FCurrentIndex = 1;
  ASSERT_TRUE(buffer.CopyNext(block, capacity));
  EXPECT_EQ(capacity, 328u);
  const FrameRecord* copy = static_cast<const FrameRecord*>(block);
  EXPECT_EQ(copy->Time, 77u);
  EXPECT_EQ(copy->Length, 300u);
  EXPECT_EQ(FramePayload(copy)[0], 77);
  EXPECT_EQ(FramePayload(copy)[299], 77);
  EXPECT_EQ(buffer.FCurrentIndex, 1);

  // A big enough buffer keeps its capacity.
  buffer.FCurrentIndex = -1;
  ASSERT_TRUE(buffer.CopyNext(block, capacity));
  EXPECT_EQ(capacity, 328u);
  EXPECT_EQ(static_cast<const FrameRecord*>(block)->Time, 10u);

  // After the last record nothing changes.
  buffer.FCurrentIndex = 2;
  void* const kept = block;
  std::memset(block, 0xAB, capacity);
  EXPECT_FALSE(buffer.CopyNext(block, capacity));
  EXPECT_EQ(block, kept);
  EXPECT_EQ(capacity, 328u);
  EXPECT_EQ(static_cast<const uint8_t*>(block)[0], 0xAB);
  std::free(block);
}

TEST(FramesBuffer, DumpIndexWritesOneLinePerRecordOverAnOldFile) {
  TFramesBuffer buffer;
  Fill(buffer, "KXXK");
  buffer.Add(MakeRecord(4000000000u, FT_CURSOR));
  const std::string name = TempFile("dump.txt");
  {
    std::ofstream old(name, std::ios::binary);
    old << std::string(500, 'z');
  }
  buffer.DumpIndex(name);
  EXPECT_EQ(ReadFile(name), "0,10,Key\r\n1,20\r\n2,30\r\n3,40,Key\r\n4,4000000000\r\n");
  DeleteFileA(name.c_str());

  // The log shows the file and the system's reason, on one line.
  const std::string missing = TempFile("no such folder\\dump.txt");
  try {
    buffer.DumpIndex(missing);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    const std::string prefix = "Cannot create file \"" + missing + "\". ";
    EXPECT_EQ(e.Message().compare(0, prefix.size(), prefix), 0) << e.Message();
    EXPECT_GT(e.Message().size(), prefix.size()) << e.Message();
    EXPECT_EQ(e.Message().find_first_of("\r\n"), std::string::npos) << e.Message();
  }
}

// The source thread adds while the play thread copies and trims; the kept
// counts must still describe the list.
TEST(FramesBuffer, CountsStayTrueUnderConcurrentAddAndTrim) {
  TFramesBuffer buffer;
  std::atomic<bool> done{false};
  std::thread source([&] {
    for (uint32_t i = 0; i < 20000; ++i) buffer.Add(MakeRecord(i, i % 10 == 0 ? FT_KEY : FT_XOR, i % 64));
    done = true;
  });
  uint32_t capacity = 0;
  void* block = nullptr;
  while (!done) {
    if (buffer.CopyNext(block, capacity)) buffer.FCurrentIndex += 1;
    buffer.Trim(false);
    if (buffer.IsFull()) buffer.Trim(true);
  }
  source.join();
  std::free(block);
  ExpectCountsMatchList(buffer);
  EXPECT_EQ(buffer.MaxTimeStamp(), 19999u);
}

TEST(IndexTable, AddSkipsARepeatedTimeAndRingModeDropsTheOldest) {
  TIndexTable table;
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_EQ(table.FirstTime(), -1);
  table.Add(5, false, 50);
  table.Add(5, false, 99);
  {
    TIndexTable::TLocked locked(table);
    ASSERT_EQ(locked.List.size(), 1u);
    EXPECT_EQ(locked.List[0]->Offset, 50u);
  }

  TIndexTable ring;
  for (uint32_t t = 1; t <= 1025; ++t) ring.Add(t, true, t * 10);
  EXPECT_EQ(ring.FirstTime(), 2);
  {
    TIndexTable::TLocked locked(ring);
    EXPECT_EQ(locked.List.size(), 1024u);
    EXPECT_EQ(locked.List.back()->Time, 1025u);
    EXPECT_EQ(locked.List.back()->Offset, 10250u);
  }

  TIndexTable grow;
  for (uint32_t t = 1; t <= 1500; ++t) grow.Add(t, false, 0);
  EXPECT_EQ(grow.FirstTime(), 1);
  {
    TIndexTable::TLocked locked(grow);
    EXPECT_EQ(locked.List.size(), 1500u);
  }
  grow.Clear();
  EXPECT_TRUE(grow.IsEmpty());
}

TEST(IndexTable, KeyTimeAndOffsetLookups) {
  TIndexTable table;
  const uint32_t times[] = {0, 1000, 5000, 9000, 0x90000000u};
  for (uint32_t t : times) table.Add(t, false, uint64_t(t) * 3 + 0x100000000ull);

  const std::pair<uint32_t, int32_t> keyTimes[] = {
      {0, 0}, {999, 0}, {1000, 1000}, {8999, 5000}, {0x8FFFFFFF, 9000}, {0xFFFFFFFF, int32_t(0x90000000u)}};
  for (const auto& c : keyTimes) EXPECT_EQ(table.FindKeyTime(c.first), c.second) << c.first;

  for (uint32_t t : times) EXPECT_EQ(table.OffsetOf(t), uint64_t(t) * 3 + 0x100000000ull) << t;
  EXPECT_EQ(table.OffsetOf(1001), 0u);
  EXPECT_EQ(table.OffsetOf(0xFFFFFFFF), 0u);

  TIndexTable later;
  later.Add(500, false, 7);
  EXPECT_EQ(later.FindKeyTime(499), -1);
  EXPECT_EQ(TIndexTable().OffsetOf(0), 0u);
  EXPECT_EQ(TIndexTable().FindKeyTime(0xFFFFFFFF), -1);
}

TEST(KeyFramesBuffer, HoldsAnEntryOnceAndClearEmptiesIt) {
  TKeyFramesBuffer cache;
  KeyFrameEntry* entry = AllocKeyFrameEntry();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Picture, nullptr);
  entry->Header.Time = 40;
  entry->Picture = static_cast<uint8_t*>(std::malloc(64));
  cache.Add(entry);
  cache.Add(entry);
  cache.Add(AllocKeyFrameEntry());
  {
    TKeyFramesBuffer::TLocked locked(cache);
    ASSERT_EQ(locked.List.size(), 2u);
    EXPECT_EQ(locked.List[0]->Header.Time, 40u);
  }
  cache.Clear();
  TKeyFramesBuffer::TLocked locked(cache);
  EXPECT_TRUE(locked.List.empty());
}

}  // namespace
