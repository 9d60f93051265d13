// The handler search of a raise is cached by class, address and handler
// chain; a wrong key would answer "handled" for an unhandled exception.
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/Errors.h"
#include "core/RecentRaises.h"

using namespace RevavaRez;

namespace {

TEST(RecentRaises, KeyedByClassAddressAndChainAndTheEleventhDropsTheOldest) {
  RecentRaiseClear();
  std::runtime_error runtime("r");
  EConvertError convert("c");
  for (int i = 0; i < kRecentRaiseCapacity; ++i) RecentRaiseStore(&runtime, 0x1000 + i, 0x50, {1, i, 2, 1});
  TRecentRaiseValues v;
  ASSERT_TRUE(RecentRaiseLookup(&runtime, 0x1000, 0x50, v));
  EXPECT_EQ(v.Count, 0);
  EXPECT_FALSE(RecentRaiseLookup(&convert, 0x1000, 0x50, v));
  EXPECT_FALSE(RecentRaiseLookup(&runtime, 0x1000, 0x51, v));
  EXPECT_FALSE(RecentRaiseLookup(nullptr, 0x1000, 0x50, v));

  RecentRaiseStore(&convert, 0x2000, 0x60, {3, 99, 4, 0});
  EXPECT_FALSE(RecentRaiseLookup(&runtime, 0x1000, 0x50, v));
  ASSERT_TRUE(RecentRaiseLookup(&runtime, 0x1001, 0x50, v));
  EXPECT_EQ(v.Count, 1);
  ASSERT_TRUE(RecentRaiseLookup(&convert, 0x2000, 0x60, v));
  EXPECT_EQ(v.FirstKind, 3);
  EXPECT_EQ(v.Count, 99);
  EXPECT_EQ(v.HandlerKind, 4);
  EXPECT_EQ(v.Answer, 0);
  TRecentRaise entries[kRecentRaiseCapacity];
  ASSERT_EQ(RecentRaiseEntries(entries, kRecentRaiseCapacity), kRecentRaiseCapacity);
  EXPECT_EQ(entries[0].Address, 0x1001u);
  EXPECT_EQ(entries[9].ClassRef, &typeid(EConvertError));

  // No object is a class of its own; an unreadable one is not stored.
  RecentRaiseStore(nullptr, 0x3000, 0, {1, 5, 1, 1});
  ASSERT_TRUE(RecentRaiseLookup(nullptr, 0x3000, 0, v));
  EXPECT_EQ(v.Count, 5);
  uintptr_t garbage[2] = {0x10, 0};
  RecentRaiseStore(garbage, 0x4000, 0, {1, 6, 1, 1});
  EXPECT_FALSE(RecentRaiseLookup(nullptr, 0x4000, 0, v));
  EXPECT_FALSE(RecentRaiseLookup(garbage, 0x4000, 0, v));
  RecentRaiseClear();
  EXPECT_EQ(RecentRaiseEntries(entries, kRecentRaiseCapacity), 0);
}

}  // namespace
