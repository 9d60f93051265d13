#pragma once
// What the multicast tests broadcast and the channel files that name it:
// pictures as raw key frames large enough to span several datagrams.
#include <cstdint>
#include <string>
#include <vector>

#include "KrmWriter.h"
#include "MulticastPeer.h"

constexpr int kBroadcastWidth = 160;
constexpr int kBroadcastHeight = 120;  // 57,654 payload bytes: 3 datagrams

// A key frame of one colour, its payload the BMP file image.
KrmRecord BroadcastKeyFrame(uint32_t Time, uint8_t B, uint8_t G, uint8_t R);
// A small difference frame whose payload only needs to arrive intact.
KrmRecord BroadcastFrame(uint32_t Time, size_t PayloadSize = 300);
// Each record its own message, split into datagrams; ids count on from Id.
void AppendMessages(std::vector<Bytes>& Datagrams, uint32_t& Id, const std::vector<KrmRecord>& Records);
// A channel file's text.
std::string ChannelText(const std::string& Group, uint16_t Port);
