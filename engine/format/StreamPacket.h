#pragma once
// The packets of the live TCP stream, both ways: an 8-byte header (type,
// three bytes nobody sets, payload length) and the payload. Packets are
// parsed where they lie in the receive buffer; only the control's live
// adapter copies a frame record out. Byte-level only: no Windows headers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/KRMFormat.h"
#include "format/RecordCutter.h"

#pragma pack(push, 1)
struct StreamPacketHeader {
  uint8_t Type;
  uint8_t Unset[3];  // any value; never looked at
  uint32_t Length;   // payload bytes after the header
};
#pragma pack(pop)
static_assert(sizeof(StreamPacketHeader) == 8, "stream packet header is 8 bytes");

constexpr uint32_t KRM_PACKET_HEADER_SIZE = 8;

enum KRMPacketType : uint8_t {
  PT_FRAME = 0,   // one frame record
  PT_INDEX = 1,   // index text
  PT_STRING = 2,  // string text; the only type the client sends
  PT_SCRIPT = 3,  // script text
};

// A whole packet inside the receive buffer, valid until it is dropped or
// more bytes arrive.
struct TStreamPacket {
  uint8_t Type = 0;
  uint32_t Length = 0;
  const uint8_t* Payload = nullptr;

  std::string Text() const { return std::string(reinterpret_cast<const char*>(Payload), Length); }
  // The frame record of a type-0 packet, or nullptr when the packet cannot
  // hold the record it announces: shorter than a record header, or shorter
  // than the header and the payload length the record gives. Bytes after
  // the record are ignored.
  const FrameRecord* Frame() const;
};

// Appends the packet of Type and the text's bytes to Out.
void AppendStreamPacket(std::string& Out, uint8_t Type, const void* Data, uint32_t Length);

// The value of the first line of a login reply whose name (the text before
// its first "=") is Key without regard to case. Carriage return, line feed
// or both end a line. False when no line has that name.
bool FindReplyValue(const std::string& Reply, const std::string& Key, std::string& Value);

enum class TPacketStatus {
  Incomplete,  // wait for more bytes
  Whole,       // Packet holds the first packet
  Damaged,     // the first packet announces a payload above the limit
};

// The packet framing over a receive buffer. A packet larger than the buffer
// makes the buffer grow to exactly that packet's size.
class TPacketFraming {
 public:
  explicit TPacketFraming(TRecordCutter& Buffer, uint64_t PacketLimit = KRM_MAX_STREAM_RECORD)
      : FBuffer(Buffer), FLimit(PacketLimit) {}

  // The first packet held. Incomplete moves the remainder to the front of
  // the buffer and grows it when the packet does not fit; std::bad_alloc
  // when memory for that is exhausted.
  TPacketStatus First(TStreamPacket& Packet);
  // Forgets the first packet, which First answered as Whole.
  void DropFirst();
  // Size of the first packet (header and payload), 0 while fewer than 8
  // bytes are held.
  uint64_t PendingPacketSize() const;

 private:
  TRecordCutter& FBuffer;
  uint64_t FLimit;
  uint64_t FWholeSize = 0;
};
