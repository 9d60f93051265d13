#pragma once
// The tests' side of the multicast sender (tests/peers/multicast_sender.py),
// which runs in the sender namespace that scripts/netns-run makes: a
// broadcast job (group, port, pacing, repeat count and the datagrams) goes
// to it over TCP; it answers when it is done. One broadcast per peer; the
// broadcast ends early when the peer is cancelled or destroyed.
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "KrmWriter.h"

class TMulticastPeer {
 public:
  struct TJob {
    std::string Group;
    uint16_t Port = 0;
    uint32_t PacingUs = 0;  // between datagrams
    uint32_t Repeat = 1;    // rounds of all datagrams
    std::vector<Bytes> Datagrams;
  };

  // The sender's "address:port" from BRX_MCAST_SENDER; empty outside the
  // namespaces.
  static std::string SenderAddress();

  TMulticastPeer();
  ~TMulticastPeer();
  TMulticastPeer(const TMulticastPeer&) = delete;
  TMulticastPeer& operator=(const TMulticastPeer&) = delete;

  // Hands the job to the sender, which starts at once. False when the
  // sender cannot be reached.
  bool Start(const TJob& Job);
  // Waits (bounded) for the sender's answer; the datagrams it sent, or -1.
  int64_t Wait(unsigned TimeoutMs);
  // Ends the broadcast early.
  void Cancel();

 private:
  SOCKET FSocket = INVALID_SOCKET;
  bool FWinsock = false;
};
