#include "format/FragmentAssembler.h"

#include <cstring>

#include "format/KRMFormat.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

TFragmentAssembler::TFragmentAssembler(TMessageHandler OnMessage, TLossHandler OnLoss)
    : FOnMessage(std::move(OnMessage)), FOnLoss(std::move(OnLoss)), FBuffer(InitialCapacity) {}

void TFragmentAssembler::Reset() {
  FId = FSize = FReceived = FExpected = FAssembled = 0;
  FRefused = false;
  FBuffer.assign(InitialCapacity, 0);
  FBuffer.shrink_to_fit();
}

void TFragmentAssembler::Take(const uint8_t* Datagram, size_t Length) {
  // Too short to carry a header: nobody's fragment.
  if (Length < KRM_DATAGRAM_HEADER_SIZE) return;
  const uint32_t id = Le32(Datagram);
  const uint32_t size = Le32(Datagram + 4);
  const uint16_t index = Le16(Datagram + 8);
  const uint16_t count = Le16(Datagram + 10);
  if (index == 0) {
    if (FReceived != FExpected) Lost(TextLossMessage);
    FId = id;
    FSize = size;
    FReceived = 0;
    FExpected = count;
    FAssembled = 0;
    FRefused = size >= MessageSizeLimit;
    if (!FRefused && size > FBuffer.size()) FBuffer.resize(size);
  }
  const size_t dataLength = Length - KRM_DATAGRAM_HEADER_SIZE;
  // A fragment that would run past the announced size is no part of it.
  if (FRefused || id != FId || index != FReceived || dataLength > FSize - FAssembled) {
    Lost(TextLossFragment);
    return;
  }
  std::memcpy(FBuffer.data() + FAssembled, Datagram + KRM_DATAGRAM_HEADER_SIZE, dataLength);
  ++FReceived;
  FAssembled += uint32_t(dataLength);
  if (FReceived != FExpected) return;
  // Fewer bytes than announced would hand on what an older message left.
  if (FAssembled != FSize) {
    Lost(TextLossFragment);
    return;
  }
  if (FOnMessage) FOnMessage(FBuffer.data(), FSize);
}

bool TilesIntoRecords(const uint8_t* Data, uint32_t Size) {
  uint32_t position = 0;
  while (position < Size) {
    const uint32_t left = Size - position;
    if (left < KRM_RECORD_HEADER_SIZE) return false;
    const uint32_t length = Le32(Data + position + offsetof(FrameRecord, Length));
    if (length > left - KRM_RECORD_HEADER_SIZE) return false;
    position += KRM_RECORD_HEADER_SIZE + length;
  }
  return true;
}
