// The byte ring: whole-or-nothing writes, reads in order across the end of
// the buffer, skipping, growing with wrapped bytes, and its re-entrant lock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/MemPool.h"

namespace {

// W writes Count bytes, R reads them, S skips them, G grows; Expect is the
// answer (capacity after G). Written bytes run through one sequence, so a
// read that answers them out of order shows.
struct TPoolOp {
  char Kind;
  int32_t Count;
  int64_t Expect;
};
struct TPoolCase {
  const char* Name;
  uint32_t Capacity;
  std::vector<TPoolOp> Ops;
};

uint8_t SequenceByte(uint64_t i) { return uint8_t(i * 7 + (i >> 11) + 3); }

class MemPoolTable : public ::testing::TestWithParam<TPoolCase> {};

TEST_P(MemPoolTable, AnswersAndKeepsTheOrder) {
  const TPoolCase& c = GetParam();
  TMemPool pool(c.Capacity);
  uint64_t written = 0, taken = 0;
  for (size_t step = 0; step < c.Ops.size(); ++step) {
    const TPoolOp& op = c.Ops[step];
    SCOPED_TRACE(std::string(1, op.Kind) + std::to_string(op.Count) + " at step " + std::to_string(step));
    std::vector<uint8_t> bytes(op.Count > 0 ? size_t(op.Count) : 1);
    switch (op.Kind) {
      case 'W': {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = SequenceByte(written + i);
        const int32_t got = pool.Write(bytes.data(), op.Count);
        ASSERT_EQ(op.Expect, got);
        written += uint64_t(got);
        break;
      }
      case 'R': {
        const int32_t got = pool.Read(bytes.data(), op.Count);
        ASSERT_EQ(op.Expect, got);
        for (int32_t i = 0; i < got; ++i) ASSERT_EQ(SequenceByte(taken + uint64_t(i)), bytes[size_t(i)]) << i;
        taken += uint64_t(got);
        break;
      }
      case 'S': {
        const int32_t got = pool.Read(nullptr, op.Count);
        ASSERT_EQ(op.Expect, got);
        taken += uint64_t(got);
        break;
      }
      case 'G':
        pool.Grow(op.Count);
        ASSERT_EQ(uint32_t(op.Expect), pool.Capacity());
        break;
    }
    ASSERT_EQ(written - taken, pool.Held());
    ASSERT_EQ(pool.Capacity() - pool.Held(), pool.FreeSpace());
  }
}

const uint32_t k5MB = 5242880;

INSTANTIATE_TEST_SUITE_P(
    Cases, MemPoolTable,
    ::testing::Values(
        TPoolCase{"RefusesWhatDoesNotFitWhole", 10, {{'W', 8, 8}, {'W', 3, 0}, {'W', 2, 2}, {'R', 20, 10}}},
        TPoolCase{"WrapsAtTheEnd", 8, {{'W', 5, 5}, {'R', 5, 5}, {'W', 6, 6}, {'R', 6, 6}, {'W', 8, 8}, {'R', 8, 8}}},
        TPoolCase{"SkipsWithoutDestination", 16, {{'W', 6, 6}, {'S', 4, 4}, {'R', 10, 2}, {'S', 3, 0}}},
        TPoolCase{"NothingForCountsOfZeroOrLess",
                  10,
                  {{'W', 0, 0}, {'W', -1, 0}, {'W', 4, 4}, {'R', 0, 0}, {'R', -3, 0}, {'G', 0, 10}, {'G', -7, 10},
                   {'R', 4, 4}}},
        TPoolCase{"GrowKeepsWrappedBytesInOrder",
                  k5MB,
                  {{'W', 4194304, 4194304},
                   {'R', 3145728, 3145728},
                   {'W', 3145728, 3145728},  // runs across the end
                   {'G', 1, k5MB + 262144},
                   {'W', 1000, 1000},
                   {'R', 4195304, 4195304}}},
        TPoolCase{"GrowRoundsUpToWholeSteps", 10, {{'W', 7, 7}, {'G', 300000, 524288}, {'R', 7, 7}}}),
    [](const ::testing::TestParamInfo<TPoolCase>& info) { return std::string(info.param.Name); });

TEST(MemPool, LockIsReentrant) {
  TMemPool pool(16);
  pool.Lock();
  pool.Lock();
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(4, pool.Write(bytes, 4));
  EXPECT_EQ(12u, pool.FreeSpace());
  pool.Unlock();
  pool.Unlock();
}

}  // namespace
