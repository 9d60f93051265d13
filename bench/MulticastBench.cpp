// Multicast reception under load: the sender (in its own network namespace,
// scripts/netns-run) sends bursts at full speed and one paced stream; each
// broadcast goes at once to a plain Winsock loop (one socket bound and
// joined as a receiver is, recv into 20,480 bytes, counting) and to a
// TKRMMulticastClient drained by a thread that calls ReadFrame as the
// multicast source does (a 10 ms pause when nothing is held), so that both
// meet the same datagrams and the same load.
//
// Both sides count the same units: the datagrams taken from the socket, their
// rate between the first and the last, and the share of the datagrams sent
// that never arrived. The plain loop also counts the messages it could have
// assembled from what it received (every fragment, in order, as the
// receiver requires); the client counts the messages it delivered. The ratio
// of received datagrams per second tells whether the receiver keeps up with
// the socket; the message figures tell what a datagram loss costs. Every
// message is whole frame records. A run ends once the sender has answered
// and nothing has arrived for a quiet period.
// clang-format off
#include "MulticastPeer.h"
#include <ws2tcpip.h>
// clang-format on
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MulticastDatagrams.h"
#include "format/FragmentAssembler.h"
#include "source/KRMMulticastStream.h"

namespace {

const char* const kGroup = "238.30.0.1";
const char* const kLocal = "10.203.0.2";
constexpr DWORD kQuietMs = 300;
constexpr DWORD kRunBoundMs = 120000;
constexpr double MB = 1e6;

struct TProfile {
  const char* Name;
  uint32_t MessageSize;
  uint32_t Fragments;
  uint32_t RecordsPerMessage;
  uint32_t Messages;  // distinct messages in the job
  uint32_t Rounds;
  uint32_t PacingUs;
};

const TProfile kProfiles[] = {
    {"burst 1,400 B x1", 1400, 1, 1, 500, 40, 0},
    {"burst 100,000 B x5", 100000, 5, 4, 100, 4, 0},
    {"burst 1 MiB x52", 1048576, 52, 16, 10, 4, 0},
    {"paced 100,000 B x5", 100000, 5, 4, 100, 2, 200},
};

struct TJobInfo {
  TMulticastPeer::TJob Job;
  uint64_t Datagrams = 0;
  uint64_t Bytes = 0;
  uint64_t Messages = 0;
};

TJobInfo MakeJob(const TProfile& p, uint16_t port) {
  TJobInfo info;
  info.Job.Group = kGroup;
  info.Job.Port = port;
  info.Job.PacingUs = p.PacingUs;
  info.Job.Repeat = p.Rounds;
  const uint32_t recordSize = p.MessageSize / p.RecordsPerMessage;
  const size_t piece = (p.MessageSize + p.Fragments - 1) / p.Fragments;
  for (uint32_t m = 0; m < p.Messages; ++m) {
    std::vector<KrmRecord> records(p.RecordsPerMessage);
    for (uint32_t r = 0; r < p.RecordsPerMessage; ++r) {
      records[r].Time = m * 40 + r;
      records[r].FrameType = FT_XOR;
      const uint32_t size = r + 1 < p.RecordsPerMessage ? recordSize : p.MessageSize - recordSize * r;
      records[r].Payload.assign(size - KRM_RECORD_HEADER_SIZE, uint8_t(m + r));
    }
    std::vector<Bytes> parts = McastSplit(m + 1, McastMessage(records), piece + KRM_DATAGRAM_HEADER_SIZE);
    for (const Bytes& d : parts) info.Bytes += d.size();
    info.Datagrams += parts.size();
    info.Job.Datagrams.insert(info.Job.Datagrams.end(), parts.begin(), parts.end());
  }
  info.Datagrams *= p.Rounds;
  info.Bytes *= p.Rounds;
  info.Messages = uint64_t(p.Messages) * p.Rounds;
  return info;
}

// What one side took from its socket.
struct TResult {
  uint64_t Datagrams = 0;
  uint64_t Bytes = 0;     // datagram bytes
  uint64_t Messages = 0;  // whole messages: could have been assembled (plain) or delivered (client)
  uint64_t LossMessage = 0, LossFragment = 0, LossPool = 0;  // client only
  double Seconds = 0;     // first to last datagram
};

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

// Counts datagrams as they are taken from the socket, with their times.
struct TDatagramCount {
  std::atomic<uint64_t> Datagrams{0}, Bytes{0};
  std::atomic<double> First{0}, Last{0};
  void Take(size_t Length) {
    const double now = Now();
    if (Datagrams.load(std::memory_order_relaxed) == 0) First = now;
    Last = now;
    Bytes.fetch_add(Length, std::memory_order_relaxed);
    Datagrams.fetch_add(1, std::memory_order_relaxed);
  }
  void Clear() {
    Datagrams = 0;
    Bytes = 0;
    First = Last = Now();
  }
  void Into(TResult& Result) const {
    Result.Datagrams = Datagrams;
    Result.Bytes = Bytes;
    Result.Seconds = Datagrams > 1 ? Last - First : 0;
  }
};

// The messages a receiver could assemble from the datagrams given: a message
// is whole when its fragments all came, in order, after its first.
class TWholeMessages {
 public:
  void Take(const uint8_t* Datagram, size_t Length) {
    if (Length < KRM_DATAGRAM_HEADER_SIZE) return;
    uint32_t id;
    uint16_t index, count;
    std::memcpy(&id, Datagram, 4);
    std::memcpy(&index, Datagram + 8, 2);
    std::memcpy(&count, Datagram + 10, 2);
    if (index == 0) {
      FId = id;
      FNext = 0;
      FCount = count;
    }
    if (id != FId || index != FNext) return;
    if (++FNext == FCount) ++Whole;
  }
  uint64_t Whole = 0;

 private:
  uint32_t FId = 0;
  uint32_t FNext = 0;
  uint32_t FCount = 0;
};

// The plain side: one socket bound and joined as a receiver's is, a loop at
// the receivers' priority that only counts.
class TPlainLoop {
 public:
  explicit TPlainLoop(uint16_t Port) {
    FSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const BOOL reuse = TRUE;
    setsockopt(FSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(Port);
    address.sin_addr.s_addr = inet_addr(kLocal);
    ip_mreq membership = {};
    membership.imr_multiaddr.s_addr = inet_addr(kGroup);
    membership.imr_interface.s_addr = inet_addr(kLocal);
    const DWORD timeout = 100;
    if (bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        setsockopt(FSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                   sizeof(membership)) != 0 ||
        setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout)) != 0)
      std::printf("plain socket set-up failed: %d\n", WSAGetLastError());
    FThread = std::thread([this] {
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
      std::vector<char> buffer(KRM_DATAGRAM_MAX_SIZE);
      while (!FDone) {
        const int got = recv(FSocket, buffer.data(), int(buffer.size()), 0);
        if (got <= 0) continue;
        Count.Take(size_t(got));
        std::lock_guard<std::mutex> guard(FLock);
        FWhole.Take(reinterpret_cast<const uint8_t*>(buffer.data()), size_t(got));
      }
    });
  }
  ~TPlainLoop() {
    FDone = true;
    FThread.join();
    closesocket(FSocket);
  }
  void Clear() {
    Count.Clear();
    std::lock_guard<std::mutex> guard(FLock);
    FWhole = TWholeMessages();
  }
  TResult Result() {
    TResult result;
    Count.Into(result);
    std::lock_guard<std::mutex> guard(FLock);
    result.Messages = FWhole.Whole;
    return result;
  }
  TDatagramCount Count;

 private:
  SOCKET FSocket;
  std::atomic<bool> FDone{false};
  std::mutex FLock;  // taken by nobody else while datagrams arrive
  TWholeMessages FWhole;
  std::thread FThread;
};

class TCountingClient : public TKRMMulticastClient {
 public:
  ~TCountingClient() override { EndThread(); }
  TDatagramCount Count;
  std::atomic<uint64_t> Messages{0}, LossMessage{0}, LossFragment{0}, LossPool{0};
  std::atomic<double> Last{0};

 protected:
  void OnDatagram(const uint8_t*, size_t Length) override { Count.Take(Length); }
  void OnData(const uint8_t* Data, uint32_t Size) override {
    ++Messages;
    TKRMMulticastClient::OnData(Data, Size);
  }
  // Reported as the product does, and counted.
  void ReportLoss(const char* Text) override {
    Last = Now();
    TKRMMulticastClient::ReportLoss(Text);
    if (std::strcmp(Text, TFragmentAssembler::TextLossMessage) == 0)
      ++LossMessage;
    else if (std::strcmp(Text, TFragmentAssembler::TextLossFragment) == 0)
      ++LossFragment;
    else
      ++LossPool;
  }
};

// The client side: the receiver, drained by a thread as the multicast source
// drains it.
class TClientSide {
 public:
  explicit TClientSide(uint16_t Port) {
    Client.FInterface = kLocal;
    Client.FGroup = kGroup;
    Client.FPortNo = Port;
    Client.StartReceiving();
    FDrain = std::thread([this] {
      while (!FDone) {
        FrameRecord* frame = Client.ReadFrame();
        if (!frame) {
          Sleep(10);
          continue;
        }
        Drained = Now();
        FreeFrameRecord(frame);
      }
    });
  }
  ~TClientSide() {
    FDone = true;
    FDrain.join();
    if (!Client.SetupError().empty()) std::printf("client set-up failed: %s\n", Client.SetupError().c_str());
    Client.StopReceiving();
  }
  void Clear() {
    Client.Count.Clear();
    Client.Messages = 0;
    Client.LossMessage = Client.LossFragment = Client.LossPool = 0;
  }
  TResult Result() {
    TResult result;
    Client.Count.Into(result);
    result.Messages = Client.Messages - Client.LossPool;
    result.LossMessage = Client.LossMessage;
    result.LossFragment = Client.LossFragment;
    result.LossPool = Client.LossPool;
    return result;
  }
  TCountingClient Client;
  std::atomic<double> Drained{0};

 private:
  std::atomic<bool> FDone{false};
  std::thread FDrain;
};

// A receiver answers its start before it has joined: single-datagram
// messages go out until both sides counted one, then the line must be
// quiet, so that the job's first datagram finds both sides joined.
bool Prime(uint16_t Port, TDatagramCount& A, TDatagramCount& B) {
  KrmRecord record;
  record.FrameType = FT_XOR;
  TMulticastPeer peer;
  TMulticastPeer::TJob job{kGroup, Port, 1000, 10000, McastSplit(0, McastMessage({record}))};
  if (!peer.Start(job)) return false;
  for (int i = 0; A.Datagrams == 0 || B.Datagrams == 0; ++i) {
    if (i == 2000) return false;
    Sleep(5);
  }
  peer.Cancel();
  while (Now() - std::max(A.Last.load(), B.Last.load()) < 0.1) Sleep(20);
  return true;
}

// One broadcast of the job to both sides at once, so that both meet the same
// sender and the same load; ends with the sender's answer, then quiet.
void Run(const TJobInfo& Info, TResult& Plain, TResult& Client) {
  TPlainLoop plain(Info.Job.Port);
  TClientSide client(Info.Job.Port);
  if (!Prime(Info.Job.Port, plain.Count, client.Client.Count)) std::printf("a side received nothing\n");
  plain.Clear();
  client.Clear();
  TMulticastPeer peer;
  if (!peer.Start(Info.Job) || peer.Wait(kRunBoundMs) < 0) std::printf("the sender did not answer\n");
  const auto last = [&] {
    return std::max({plain.Count.Last.load(), client.Client.Count.Last.load(), client.Client.Last.load(),
                     client.Drained.load()});
  };
  for (;;) {
    Sleep(50);
    if (Now() - last() > kQuietMs / 1000.0) break;
  }
  Plain = plain.Result();
  Client = client.Result();
}

double Rate(uint64_t bytes, double seconds) { return seconds > 0 ? double(bytes) / seconds / MB : 0; }

double Share(uint64_t part, uint64_t whole) { return whole ? 100.0 * double(part) / double(whole) : 0; }

void PrintRow(const TProfile& p, const char* who, const TJobInfo& job, const TResult& r) {
  std::printf("%-20s %-7s %8llu %9llu %7.2f %9.0f %8.1f %9llu %9llu %7.2f", p.Name, who,
              (unsigned long long)job.Datagrams, (unsigned long long)r.Datagrams,
              Share(job.Datagrams - std::min(job.Datagrams, r.Datagrams), job.Datagrams),
              r.Seconds > 0 ? double(r.Datagrams) / r.Seconds : 0.0, Rate(r.Bytes, r.Seconds),
              (unsigned long long)job.Messages, (unsigned long long)r.Messages,
              Share(job.Messages - std::min(job.Messages, r.Messages), job.Messages));
}

}  // namespace

int main() {
  if (TMulticastPeer::SenderAddress().empty()) {
    std::printf("multicast_bench skipped: no multicast sender (run through scripts/netns-run)\n");
    return 0;
  }
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::printf("%-20s %-7s %8s %9s %7s %9s %8s %9s %9s %7s %s\n", "profile", "who", "dgrams", "received",
              "loss %", "dgrams/s", "MB/s", "messages", "whole", "loss %",
              "client: Loss Data / Loss data / pool");
  uint16_t port = 6400;
  for (const TProfile& p : kProfiles) {
    const TJobInfo job = MakeJob(p, port++);
    TResult plain, client;
    Run(job, plain, client);
    PrintRow(p, "plain", job, plain);
    std::printf("\n");
    PrintRow(p, "client", job, client);
    std::printf(" %llu / %llu / %llu\n", (unsigned long long)client.LossMessage,
                (unsigned long long)client.LossFragment, (unsigned long long)client.LossPool);
    const double plainRate = plain.Seconds > 0 ? double(plain.Datagrams) / plain.Seconds : 0;
    const double clientRate = client.Seconds > 0 ? double(client.Datagrams) / client.Seconds : 0;
    std::printf("%-20s client/plain: received datagrams per second %.2f, datagrams received %.2f\n", p.Name,
                plainRate > 0 ? clientRate / plainRate : 0.0,
                plain.Datagrams ? double(client.Datagrams) / double(plain.Datagrams) : 0.0);
  }
  WSACleanup();
  return 0;
}
