// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
// clang-format on
#include "source/KRMMulticastStream.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/ErrorTexts.h"
#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/Log.h"
#include "decode/PictureSize.h"
#include "format/FragmentAssembler.h"
#include "base/SystemText.h"
#include "source/ChannelFile.h"

namespace {

struct TFrameFree {
  void operator()(FrameRecord* p) const { FreeFrameRecord(p); }
};
using TFrameBlock = std::unique_ptr<FrameRecord, TFrameFree>;

// Holds a pool's lock for a scope.
class TPoolLock {
 public:
  explicit TPoolLock(TMemPool& Pool) : FPool(Pool) { FPool.Lock(); }
  ~TPoolLock() { FPool.Unlock(); }
  TPoolLock(const TPoolLock&) = delete;
  TPoolLock& operator=(const TPoolLock&) = delete;

 private:
  TMemPool& FPool;
};

std::string Dotted(DWORD NetworkOrder) {
  const auto* b = reinterpret_cast<const uint8_t*>(&NetworkOrder);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

}  // namespace

// ---- the receiver ----------------------------------------------------------

TKRMMulticastClient::TKRMMulticastClient() : FPool(PoolSize) {}

TKRMMulticastClient::~TKRMMulticastClient() { EndThread(); }

void TKRMMulticastClient::OnData(const uint8_t* Data, uint32_t Size) {
  // The ring must never hold part of a record: a message that does not
  // tile, or does not fit whole, is dropped.
  if (!TilesIntoRecords(Data, Size)) {
    ReportLoss(TextLoss);
    return;
  }
  TPoolLock lock(FPool);
  if (Size < FPool.FreeSpace()) {
    if (uint32_t(FPool.Write(Data, int32_t(Size))) < Size) ReportLoss(TextLoss);
  } else {
    ReportLoss(TextLoss);
  }
}

FrameRecord* TKRMMulticastClient::ReadFrame() {
  TPoolLock lock(FPool);
  if (FPool.Held() <= KRM_RECORD_HEADER_SIZE) return nullptr;
  FrameRecord header;
  FPool.Read(&header, KRM_RECORD_HEADER_SIZE);
  if (header.Length > FPool.Held()) {
    // Only whole records are stored; should the ring ever disagree, what it
    // holds can no longer be cut, so it is let go rather than misread.
    FPool.Read(nullptr, int32_t(FPool.Held()));
    ReportLoss(TextLoss);
    return nullptr;
  }
  FrameRecord* frame = AllocFrameRecord(header.Length);
  if (!frame) {
    FPool.Read(nullptr, int32_t(header.Length));
    throw std::bad_alloc();
  }
  *frame = header;
  FPool.Read(FramePayload(frame), int32_t(header.Length));
  return frame;
}

// ---- the source --------------------------------------------------------------

std::vector<std::string> TKRMMulticastStream::ReadIpAddressTable() {
  std::vector<std::string> list;
  ULONG size = 0;
  std::vector<uint8_t> table;
  DWORD result = GetIpAddrTable(nullptr, &size, FALSE);
  // The table may grow between asking for its size and reading it.
  for (int attempt = 0; result == ERROR_INSUFFICIENT_BUFFER && attempt < 8; ++attempt) {
    table.assign(std::max<ULONG>(size, sizeof(MIB_IPADDRTABLE)), 0);
    result = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(table.data()), &size, FALSE);
  }
  if (result != NO_ERROR || table.empty()) return list;
  const auto* rows = reinterpret_cast<const MIB_IPADDRTABLE*>(table.data());
  const size_t fits = (table.size() - offsetof(MIB_IPADDRTABLE, table)) / sizeof(MIB_IPADDRROW);
  const size_t count = std::min<size_t>(rows->dwNumEntries, fits);
  for (size_t i = 0; i < count; ++i) list.push_back(Dotted(rows->table[i].dwAddr));
  return list;
}

std::vector<std::string> TKRMMulticastStream::ListLocalAddresses(const std::vector<std::string>& Table) {
  std::vector<std::string> list;
  for (const std::string& address : Table)
    if (address != "127.0.0.1" && address != "0.0.0.0") list.push_back(address);
  if (list.size() > MaxReceivers) list.erase(list.begin(), list.end() - MaxReceivers);
  return list;
}

TKRMMulticastStream::TKRMMulticastStream(PlayerContext* Context, const TAddressTable& Table)
    : TReadThread(Context), FAddresses(ListLocalAddresses(Table ? Table() : std::vector<std::string>())) {
  for (size_t i = 0; i < FAddresses.size(); ++i) FReceivers.push_back(std::make_unique<TKRMMulticastClient>());
}

TKRMMulticastStream::~TKRMMulticastStream() {
  Stop();
  EndThread();
  FReceivers.clear();
}

void TKRMMulticastStream::Abort() {
  TReadThread::Abort();
  // A quiet receiver answers only at its receive time-out: one after the
  // other, a Close would wait a time-out per receiver.
  std::vector<TKRMMulticastClient*> posted;
  for (auto& receiver : FReceivers)
    if (receiver->PostStop()) posted.push_back(receiver.get());
  for (TKRMMulticastClient* receiver : posted) receiver->WaitForAnswer();
}

void TKRMMulticastStream::HandleOpen() {
  SetSourceKind(skMulticast);
  TChannelAddress channel;
  if (!ReadChannelFile(URL(), channel)) {
    ReportError(KRM_ERR_INVALID_SMS, ErrorText(KRM_ERR_INVALID_SMS) + ": " + WideToAnsi(URL()));
    return;
  }
  FSetupReported = false;
  for (size_t i = 0; i < FReceivers.size(); ++i) {
    TKRMMulticastClient& receiver = *FReceivers[i];
    receiver.FInterface = FAddresses[i];
    receiver.FGroup = channel.Group;
    receiver.FPortNo = channel.Port;
    receiver.StartReceiving();
  }
  SetState(rsOpening);
  Read(-1);
}

void TKRMMulticastStream::CheckReceivers() {
  if (FSetupReported || FReceivers.empty()) return;
  for (auto& receiver : FReceivers)
    if (receiver->SetupError().empty()) return;
  // Each receiver logged its own failure; with none left the broadcast
  // cannot be had.
  FSetupReported = true;
  if (!Aborted()) PostToWindow(WM_KRM_ERROR, KRM_ERR_CONNECT, 0);
}

void TKRMMulticastStream::HandleRead(int32_t Target) {
  PlayerContext* context = Context();
  bool posted = false;
  size_t empty = 0;  // receivers in a row that held nothing
  try {
    if (FReceivers.empty()) throw Exception("No usable local IPv4 address to receive on");
    while (!MessageWaiting() && !Aborted()) {
      FTurn %= FReceivers.size();
      TFrameBlock record(FReceivers[FTurn]->ReadFrame());
      FTurn = (FTurn + 1) % FReceivers.size();
      if (!record) {
        // Only a whole round without a record is a quiet moment.
        if (++empty < FReceivers.size()) continue;
        empty = 0;
        CheckReceivers();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, IdleWaitMs, QS_ALLPOSTMESSAGE);
        continue;
      }
      empty = 0;
      AddBytes(uint64_t(record->Length) + KRM_RECORD_HEADER_SIZE);
      const uint32_t time = record->Time;
      const bool key = record->FrameType == FT_KEY;
      if (State() == rsOpening) {
        // Only a key frame can be drawn without what came before it.
        if (!key) continue;
        uint16_t width = 0, height = 0;
        try {
          GetPictureSize(*record, width, height);
        } catch (const Exception& e) {
          // Any host on the network can send to the group: a key frame that
          // does not decode is dropped, and the next one may open.
          GlobalLog().AddLine("TKRMMulticastStream: key frame at " + std::to_string(time) +
                              " ms dropped while opening: " + e.Message());
          continue;
        }
        context->Header.Width = width;
        context->Header.Height = height;
        context->FramesBuffer->Add(record.get());
        record.release();
        context->IndexTable->Add(time, true, 0);
        SetState(rsStreaming);
        PostToWindow(WM_KRM_OPENED, 0, 0);
        continue;
      }
      const int32_t index = context->FramesBuffer->Add(record.get());
      record.release();
      if (Target >= 0 && !posted && time >= uint32_t(Target)) {
        PostToPlayThread(WM_KRM_FRAMEREADY, static_cast<WPARAM>(index), 0);
        posted = true;
      }
      if (key) context->IndexTable->Add(time, true, 0);
    }
  } catch (const std::exception& e) {
    ReportError(KRM_ERR_DAMAGED, std::string("TKRMMulticastStream.HandleRead raise exception :") + e.what());
  }
}

void TKRMMulticastStream::HandleSeek(uint32_t Time) { Read(int32_t(Time)); }
