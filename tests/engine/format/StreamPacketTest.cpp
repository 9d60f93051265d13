// The live stream's packet framing over a receive buffer: packets parsed in
// place, the buffer grown to exactly one packet, lengths bounded, and frame
// packets that cannot hold their record refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "KrmWriter.h"
#include "format/StreamPacket.h"

namespace {

std::string Header(uint8_t type, uint32_t length) {
  std::string packet;
  AppendStreamPacket(packet, type, nullptr, 0);
  std::memcpy(&packet[4], &length, 4);
  return packet;
}

TEST(StreamPacketTest, WholePacketsAreReadInPlaceAndDroppedInOrder) {
  TRecordCutter buffer(64);
  std::string bytes;
  AppendStreamPacket(bytes, PT_STRING, "NOOP", 4);
  AppendStreamPacket(bytes, PT_INDEX, "ix", 2);
  bytes += Header(PT_SCRIPT, 5) + "ab";  // incomplete
  ASSERT_EQ(bytes.size(), buffer.Append(bytes.data(), bytes.size()));
  TPacketFraming framing(buffer);
  TStreamPacket packet;
  ASSERT_EQ(TPacketStatus::Whole, framing.First(packet));
  EXPECT_EQ(PT_STRING, packet.Type);
  EXPECT_EQ("NOOP", packet.Text());
  EXPECT_EQ(buffer.Data() + 8, packet.Payload);
  framing.DropFirst();
  ASSERT_EQ(TPacketStatus::Whole, framing.First(packet));
  EXPECT_EQ("ix", packet.Text());
  framing.DropFirst();
  EXPECT_EQ(TPacketStatus::Incomplete, framing.First(packet));
  EXPECT_EQ(10u, buffer.UsedSize());
  EXPECT_EQ(64u, buffer.BufferSize());
}

TEST(StreamPacketTest, APacketLargerThanTheBufferGrowsItToExactlyItsSizeAndNoMoreThanTheLimit) {
  TRecordCutter buffer(64);
  TPacketFraming framing(buffer, 1000);
  const std::string big = Header(PT_FRAME, 1000);
  buffer.Append(big.data(), big.size());
  TStreamPacket packet;
  EXPECT_EQ(TPacketStatus::Incomplete, framing.First(packet));
  EXPECT_EQ(1008u, buffer.BufferSize());

  TRecordCutter other(64);
  TPacketFraming limited(other, 1000);
  const std::string tooBig = Header(PT_FRAME, 1001);
  other.Append(tooBig.data(), tooBig.size());
  EXPECT_EQ(TPacketStatus::Damaged, limited.First(packet));
  EXPECT_EQ(64u, other.BufferSize());
}

TEST(StreamPacketTest, AFramePacketMustHoldTheWholeRecordItAnnounces) {
  KrmRecord record;
  record.Payload = Bytes(100, 7);
  Bytes bytes = record.Serialize();
  const struct {
    size_t Length;
    bool Valid;
  } cases[] = {{20, false}, {27, false}, {128, true}, {127, false}, {200, true}};
  bytes.resize(200, 0);
  for (const auto& c : cases) {
    TStreamPacket packet;
    packet.Type = PT_FRAME;
    packet.Length = uint32_t(c.Length);
    packet.Payload = bytes.data();
    EXPECT_EQ(c.Valid, packet.Frame() != nullptr) << c.Length;
  }
}

}  // namespace
