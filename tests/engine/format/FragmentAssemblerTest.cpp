// Reassembly of multicast messages: datagram sequences against the messages
// delivered and the loss texts reported, including every damaged form a
// network can bring (short, oversized, overrunning, incomplete).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "format/FragmentAssembler.h"
#include "KrmWriter.h"
#include "MulticastDatagrams.h"

namespace {

const std::string kMessage = TFragmentAssembler::TextLossMessage;
const std::string kFragment = TFragmentAssembler::TextLossFragment;

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 13 + (i >> 8));
  return bytes;
}

Bytes Part(const Bytes& message, size_t from, size_t to) { return Bytes(message.begin() + from, message.begin() + to); }

struct TAssemblyCase {
  const char* Name;
  std::vector<Bytes> Datagrams;
  std::vector<Bytes> Messages;
  std::vector<std::string> Texts;
  size_t Capacity;  // of the message buffer afterwards
};

std::vector<TAssemblyCase> Cases() {
  const Bytes a = Pattern(5, 1), b = Pattern(30, 2), c = Pattern(9, 3), big = Pattern(100000, 4);
  const auto three = [&](uint32_t id, uint16_t index) {
    return McastDatagram(id, 30, index, 3, Part(b, index * 10u, index * 10u + 10));
  };
  std::vector<Bytes> bigParts = McastSplit(7, big, 20012);
  bigParts.push_back(McastDatagram(8, 9, 0, 1, c));
  return {
      {"OneFragment", {McastDatagram(1, 5, 0, 1, a)}, {a}, {}, 20480},
      {"ThreeInOrder", {three(2, 0), three(2, 1), three(2, 2)}, {b}, {}, 20480},
      {"OutOfOrderNeverDelivered",
       {three(2, 0), three(2, 2), three(2, 1), McastDatagram(3, 9, 0, 1, c)},
       {c},
       {kFragment, kMessage},
       20480},
      {"NewMessageWhileOneLacksAFragment",
       {three(2, 0), three(2, 1), McastDatagram(3, 9, 0, 1, c)},
       {c},
       {kMessage},
       20480},
      {"LargeMessageGrowsTheBufferForGood", bigParts, {big, c}, {}, 100000},
      {"ShorterThanAHeaderIsDropped",
       {Bytes(11, 0), McastDatagram(1, 5, 0, 1, a)},
       {a},
       {},
       20480},
      {"HugeAnnouncedSizeGrowsNothing",
       {McastDatagram(4, 0xFFFFFFFFu, 0, 2, a), McastDatagram(4, 0xFFFFFFFFu, 1, 2, a), McastDatagram(5, 5, 0, 1, a)},
       {a},
       {kFragment, kFragment, kMessage},
       20480},
      {"AtThePoolSizeGrowsNothing",
       {McastDatagram(4, TFragmentAssembler::MessageSizeLimit, 0, 1, a)},
       {},
       {kFragment},
       20480},
      {"DataPastTheAnnouncedSize",
       {McastDatagram(6, 15, 0, 2, Part(b, 0, 10)), McastDatagram(6, 15, 1, 2, Part(b, 10, 20))},
       {},
       {kFragment},
       20480},
      {"TooFewBytesAtTheLastFragment",
       {McastDatagram(1, 30, 0, 1, b), McastDatagram(2, 30, 0, 2, Part(c, 0, 5)), McastDatagram(2, 30, 1, 2, Part(c, 5, 9)),
        McastDatagram(3, 5, 0, 1, a)},
       {b, a},
       {kFragment},
       20480},
      {"FragmentOfAnotherMessage",
       {McastDatagram(1, 20, 0, 2, Part(b, 0, 10)), McastDatagram(9, 20, 1, 2, Part(b, 10, 20))},
       {},
       {kFragment},
       20480},
  };
}

class FragmentAssemblerTable : public ::testing::TestWithParam<TAssemblyCase> {};

TEST_P(FragmentAssemblerTable, DeliversWholeMessagesOnly) {
  const TAssemblyCase& c = GetParam();
  std::vector<Bytes> messages;
  std::vector<std::string> texts;
  TFragmentAssembler assembler([&](const uint8_t* data, uint32_t size) { messages.emplace_back(data, data + size); },
                               [&](const char* text) { texts.push_back(text); });
  for (const Bytes& datagram : c.Datagrams) assembler.Take(datagram.data(), datagram.size());
  EXPECT_EQ(c.Messages, messages);
  EXPECT_EQ(c.Texts, texts);
  EXPECT_EQ(c.Capacity, assembler.Capacity());
}

INSTANTIATE_TEST_SUITE_P(Cases, FragmentAssemblerTable, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TAssemblyCase>& info) { return std::string(info.param.Name); });

TEST(TilesIntoRecords, OnlyWholeRecordsEndingAtTheMessageEnd) {
  KrmRecord one;
  one.Payload = Bytes(10, 1);
  KrmRecord empty;
  const Bytes two = McastMessage({one, empty});
  EXPECT_TRUE(TilesIntoRecords(two.data(), uint32_t(two.size())));
  EXPECT_FALSE(TilesIntoRecords(two.data(), uint32_t(two.size() - 1)));  // the last header cut
  Bytes stray = two;
  stray.push_back(0);
  EXPECT_FALSE(TilesIntoRecords(stray.data(), uint32_t(stray.size())));
  KrmRecord lying = one;
  lying.Length = 0xFFFFFFF0u;  // a payload running far past the message
  const Bytes overrun = McastMessage({lying});
  EXPECT_FALSE(TilesIntoRecords(overrun.data(), uint32_t(overrun.size())));
}

}  // namespace
