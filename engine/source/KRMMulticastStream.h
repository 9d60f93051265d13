#pragma once
// The multicast source: a live broadcast received by IP multicast on every
// usable local IPv4 address (at most 4), one receiver each. Each receiver
// keeps the reassembled messages in a ring of its own; the source thread
// takes frame records from those rings in turn and feeds the frame buffer
// and the index.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/MemPool.h"
#include "format/KRMFormat.h"
#include "source/ReadThread.h"
#include "source/ReceiveThread.h"

// A receiver that stores each message, whole records only, in its ring.
class TKRMMulticastClient : public TReceiveThread {
 public:
  static constexpr uint32_t PoolSize = 5242880;
  static constexpr const char* TextLoss = "Brindolux.ocx -> Loss data";

  TKRMMulticastClient();
  ~TKRMMulticastClient() override;

  // On the receive thread: a message that tiles into whole records and fits
  // the ring's free space is stored whole; any other is dropped as lost.
  void OnData(const uint8_t* Data, uint32_t Size) override;
  // The oldest record held, in a block of its own (AllocFrameRecord) that
  // the caller owns; null when fewer than 29 bytes are held.
  FrameRecord* ReadFrame();

  TMemPool& Pool() { return FPool; }

 private:
  TMemPool FPool;
};

class TKRMMulticastStream : public TReadThread {
 public:
  static constexpr size_t MaxReceivers = 4;
  // The pause once a whole round over the receivers found nothing; a
  // command ends it.
  static constexpr DWORD IdleWaitMs = 10;
  // The machine's IPv4 addresses, dotted, in table order.
  using TAddressTable = std::function<std::vector<std::string>()>;

  explicit TKRMMulticastStream(PlayerContext* Context, const TAddressTable& Table = ReadIpAddressTable);
  // Stops, ends the thread, then frees the receivers.
  ~TKRMMulticastStream() override;

  // Also stops every receiver: all stops are posted, then all answers
  // awaited.
  void Abort() override;

  const std::vector<std::string>& Addresses() const { return FAddresses; }
  size_t ReceiverCount() const { return FReceivers.size(); }
  TKRMMulticastClient& Receiver(size_t Index) { return *FReceivers.at(Index); }

  // GetIpAddrTable, asked again while the table grows between the calls;
  // empty when it cannot be read.
  static std::vector<std::string> ReadIpAddressTable();
  // The usable addresses of a table: without "127.0.0.1" and "0.0.0.0", the
  // last MaxReceivers kept.
  static std::vector<std::string> ListLocalAddresses(const std::vector<std::string>& Table);

 protected:
  void HandleOpen() override;
  void HandleRead(int32_t Target) override;
  void HandleSeek(uint32_t Time) override;

 private:
  // When every receiver failed to set up its socket, reports it once.
  void CheckReceivers();

  std::vector<std::string> FAddresses;
  std::vector<std::unique_ptr<TKRMMulticastClient>> FReceivers;
  bool FSetupReported = false;  // the source thread's own
  // The receiver read next. Kept across reads: the play thread asks again
  // every 10 ms, and a read that began at the first receiver each time would
  // never get past the quiet ones to the one the broadcast arrives on.
  size_t FTurn = 0;  // the source thread's own
};
