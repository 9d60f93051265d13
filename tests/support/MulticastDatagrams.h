#pragma once
// Multicast datagrams as a channel's sender makes them: frame records joined
// into messages, each message split into numbered fragments behind a 12-byte
// header (message id, message size, fragment index, fragment count;
// little-endian), plus the damaged forms a receiver must survive.
#include <cstdint>
#include <vector>

#include "KrmWriter.h"

// One datagram; Size is what the header announces, whatever Data holds.
Bytes McastDatagram(uint32_t Id, uint32_t Size, uint16_t Index, uint16_t Count, const Bytes& Data);
// A message split into datagrams of at most MaxDatagram bytes.
std::vector<Bytes> McastSplit(uint32_t Id, const Bytes& Message, size_t MaxDatagram = 20480);
// Records serialized one after the other: one message's body.
Bytes McastMessage(const std::vector<KrmRecord>& Records);
