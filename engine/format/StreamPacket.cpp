#include "format/StreamPacket.h"

#include <cstring>

#include "base/Exception.h"

const FrameRecord* TStreamPacket::Frame() const {
  if (Length < KRM_RECORD_HEADER_SIZE) return nullptr;
  const FrameRecord* frame = reinterpret_cast<const FrameRecord*>(Payload);
  if (uint64_t(KRM_RECORD_HEADER_SIZE) + frame->Length > Length) return nullptr;
  return frame;
}

void AppendStreamPacket(std::string& Out, uint8_t Type, const void* Data, uint32_t Length) {
  StreamPacketHeader header = {};
  header.Type = Type;
  header.Length = Length;
  Out.append(reinterpret_cast<const char*>(&header), sizeof header);
  if (Length) Out.append(static_cast<const char*>(Data), Length);
}

namespace {

bool SameTextIgnoringCase(const std::string& a, size_t aStart, size_t aLength, const std::string& b) {
  if (aLength != b.size()) return false;
  for (size_t i = 0; i < aLength; ++i) {
    char x = a[aStart + i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool FindReplyValue(const std::string& Reply, const std::string& Key, std::string& Value) {
  size_t start = 0;
  while (start <= Reply.size()) {
    size_t end = Reply.find_first_of("\r\n", start);
    if (end == std::string::npos) end = Reply.size();
    const size_t equals = Reply.find('=', start);
    if (equals != std::string::npos && equals < end &&
        SameTextIgnoringCase(Reply, start, equals - start, Key)) {
      Value = Reply.substr(equals + 1, end - equals - 1);
      return true;
    }
    if (end == Reply.size()) break;
    start = end + 1;
  }
  return false;
}

uint64_t TPacketFraming::PendingPacketSize() const {
  if (FBuffer.UsedSize() < KRM_PACKET_HEADER_SIZE) return 0;
  StreamPacketHeader header;
  std::memcpy(&header, FBuffer.Data(), sizeof header);
  return uint64_t(KRM_PACKET_HEADER_SIZE) + header.Length;
}

TPacketStatus TPacketFraming::First(TStreamPacket& Packet) {
  FWholeSize = 0;
  const uint64_t need = PendingPacketSize();
  if (need > KRM_PACKET_HEADER_SIZE + FLimit) return TPacketStatus::Damaged;
  if (need != 0 && need <= FBuffer.UsedSize()) {
    const uint8_t* data = FBuffer.Data();
    Packet.Type = data[0];
    Packet.Length = uint32_t(need - KRM_PACKET_HEADER_SIZE);
    Packet.Payload = data + KRM_PACKET_HEADER_SIZE;
    FWholeSize = need;
    return TPacketStatus::Whole;
  }
  FBuffer.Compact();
  if (need > FBuffer.BufferSize()) FBuffer.Grow(size_t(need));
  return TPacketStatus::Incomplete;
}

void TPacketFraming::DropFirst() {
  BRX_ASSERT(FWholeSize != 0, "StreamPacket");
  FBuffer.Drop(size_t(FWholeSize));
  FWholeSize = 0;
}
