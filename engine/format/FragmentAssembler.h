#pragma once
// Reassembly of multicast messages from the datagrams they were split into.
// Each datagram carries a 12-byte header (message id, message size, fragment
// index, fragment count; little-endian) and one fragment's data. Fragments
// are taken only in order; a missing or reordered one loses its message.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

constexpr uint32_t KRM_DATAGRAM_HEADER_SIZE = 12;
// The most a receiver takes of one datagram.
constexpr uint32_t KRM_DATAGRAM_MAX_SIZE = 20480;

class TFragmentAssembler {
 public:
  // A message this large could never enter a receiver's 5 MB ring, so no
  // buffer is grown for it.
  static constexpr uint32_t MessageSizeLimit = 5242880;
  static constexpr uint32_t InitialCapacity = 20480;

  // Texts of a message left incomplete (noticed at the next first fragment)
  // and of a fragment dropped.
  static constexpr const char* TextLossMessage = "Receiver.dll -> Loss Data";
  static constexpr const char* TextLossFragment = "Receiver.dll -> Loss data";

  // Data is valid only during the call.
  using TMessageHandler = std::function<void(const uint8_t* Data, uint32_t Size)>;
  using TLossHandler = std::function<void(const char* Text)>;

  TFragmentAssembler(TMessageHandler OnMessage, TLossHandler OnLoss);

  // Forgets any message in progress and shrinks the buffer to its start size.
  void Reset();
  // One received datagram of Length bytes.
  void Take(const uint8_t* Datagram, size_t Length);

  size_t Capacity() const { return FBuffer.size(); }

 private:
  void Lost(const char* Text) {
    if (FOnLoss) FOnLoss(Text);
  }

  TMessageHandler FOnMessage;
  TLossHandler FOnLoss;
  uint32_t FId = 0;
  uint32_t FSize = 0;
  uint32_t FReceived = 0;
  uint32_t FExpected = 0;
  uint32_t FAssembled = 0;
  bool FRefused = false;  // the current message is too large to be kept
  std::vector<uint8_t> FBuffer;
};

// True when Data holds whole frame records one after the other, the last one
// ending at Size: each 28-byte header's payload ends inside the message.
bool TilesIntoRecords(const uint8_t* Data, uint32_t Size);
