// Multicast reception under load: the sender (in its own network namespace,
// scripts/netns-run) sends bursts at full speed and one paced stream; each
// goes once to a plain Winsock loop (one socket bound and joined as a
// receiver is, recv into 20,480 bytes, counting) and once to a
// TKRMMulticastClient drained by a thread that calls ReadFrame as the
// multicast source does (a 10 ms pause when nothing is held).
//
// Every message is whole frame records. A run ends once the sender has
// answered and nothing has arrived for a quiet period. Loss is the share of
// the datagrams sent that were not received (plain) or of the messages sent
// that were not delivered (client).
// clang-format off
#include "MulticastPeer.h"
#include <ws2tcpip.h>
// clang-format on
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
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

struct TResult {
  uint64_t Datagrams = 0;  // plain only
  uint64_t Bytes = 0;      // datagram bytes (plain) or record bytes read (client)
  uint64_t Messages = 0;   // client only
  uint64_t LossMessage = 0, LossFragment = 0, LossPool = 0;
  double Seconds = 0;
};

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

// Runs the job and waits for its end: the sender's answer, then quiet.
template <typename TActivity>
bool Broadcast(const TJobInfo& info, TActivity lastActivity) {
  TMulticastPeer peer;
  if (!peer.Start(info.Job)) return false;
  if (peer.Wait(kRunBoundMs) < 0) return false;
  for (;;) {
    Sleep(50);
    if (Now() - lastActivity() > kQuietMs / 1000.0) return true;
  }
}

TResult RunPlain(const TJobInfo& info) {
  TResult result;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const BOOL reuse = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(info.Job.Port);
  address.sin_addr.s_addr = inet_addr(kLocal);
  ip_mreq membership = {};
  membership.imr_multiaddr.s_addr = inet_addr(kGroup);
  membership.imr_interface.s_addr = inet_addr(kLocal);
  const DWORD timeout = 100;
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership), sizeof(membership)) != 0 ||
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout)) != 0) {
    std::printf("plain socket set-up failed: %d\n", WSAGetLastError());
    closesocket(s);
    return result;
  }
  std::atomic<bool> done{false};
  std::atomic<double> last{Now()};
  double first = 0;
  std::thread loop([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    std::vector<char> buffer(KRM_DATAGRAM_MAX_SIZE);
    while (!done) {
      const int got = recv(s, buffer.data(), int(buffer.size()), 0);
      if (got <= 0) continue;
      const double now = Now();
      if (result.Datagrams++ == 0) first = now;
      result.Bytes += uint64_t(got);
      last = now;
    }
  });
  const bool ok = Broadcast(info, [&] { return last.load(); });
  done = true;
  loop.join();
  closesocket(s);
  if (!ok) std::printf("plain run: the sender did not answer\n");
  result.Seconds = result.Datagrams > 1 ? last - first : 0;
  return result;
}

class TCountingClient : public TKRMMulticastClient {
 public:
  ~TCountingClient() override { EndThread(); }
  std::atomic<uint64_t> Messages{0}, LossMessage{0}, LossFragment{0}, LossPool{0};
  std::atomic<double> First{0}, Last{0};
  void OnData(const uint8_t* Data, uint32_t Size) override {
    const double now = Now();
    if (Messages++ == 0) First = now;
    Last = now;
    TKRMMulticastClient::OnData(Data, Size);
  }

 protected:
  void ReportLoss(const char* Text) override {
    Last = Now();
    if (std::strcmp(Text, TFragmentAssembler::TextLossMessage) == 0)
      ++LossMessage;
    else if (std::strcmp(Text, TFragmentAssembler::TextLossFragment) == 0)
      ++LossFragment;
    else
      ++LossPool;
  }
};

TResult RunClient(const TJobInfo& info) {
  TResult result;
  TCountingClient client;
  client.FInterface = kLocal;
  client.FGroup = kGroup;
  client.FPortNo = info.Job.Port;
  client.StartReceiving();
  std::atomic<bool> done{false};
  std::atomic<uint64_t> bytes{0};
  std::atomic<double> drained{Now()};
  std::thread drain([&] {
    while (!done) {
      FrameRecord* frame = client.ReadFrame();
      if (!frame) {
        Sleep(10);
        continue;
      }
      bytes += FrameBlockSize(frame);
      drained = Now();
      FreeFrameRecord(frame);
    }
  });
  const bool ok = Broadcast(info, [&] { return std::max(client.Last.load(), drained.load()); });
  done = true;
  drain.join();
  if (!client.SetupError().empty()) std::printf("client set-up failed: %s\n", client.SetupError().c_str());
  client.StopReceiving();
  if (!ok) std::printf("client run: the sender did not answer\n");
  result.Messages = client.Messages - client.LossPool;
  result.Bytes = bytes;
  result.LossMessage = client.LossMessage;
  result.LossFragment = client.LossFragment;
  result.LossPool = client.LossPool;
  result.Seconds = result.Messages > 1 ? std::max(client.Last.load(), drained.load()) - client.First : 0;
  return result;
}

double Rate(uint64_t bytes, double seconds) { return seconds > 0 ? double(bytes) / seconds / MB : 0; }

}  // namespace

int main() {
  if (TMulticastPeer::SenderAddress().empty()) {
    std::printf("multicast_bench skipped: no multicast sender (run through scripts/netns-run)\n");
    return 0;
  }
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  std::printf("%-20s %-7s %9s %11s %9s %11s %8s %9s %8s %8s %8s %8s %9s\n", "profile", "who", "dgrams", "bytes",
              "received", "bytes rcvd", "MB/s", "messages", "loss %", "Loss Data", "Loss data", "pool",
              "us/dgram");
  uint16_t port = 6400;
  for (const TProfile& p : kProfiles) {
    const TJobInfo plainJob = MakeJob(p, port++);
    const TResult plain = RunPlain(plainJob);
    const TJobInfo clientJob = MakeJob(p, port++);
    const TResult client = RunClient(clientJob);
    const double plainLoss = 100.0 * (1.0 - double(plain.Datagrams) / double(plainJob.Datagrams));
    const double clientLoss = 100.0 * (1.0 - double(client.Messages) / double(clientJob.Messages));
    std::printf("%-20s %-7s %9llu %11llu %9llu %11llu %8.1f %9s %8.2f %8s %9s %8s %9.2f\n", p.Name, "plain",
                (unsigned long long)plainJob.Datagrams, (unsigned long long)plainJob.Bytes,
                (unsigned long long)plain.Datagrams, (unsigned long long)plain.Bytes, Rate(plain.Bytes, plain.Seconds),
                "-", plainLoss, "-", "-", "-",
                plain.Datagrams ? plain.Seconds * 1e6 / double(plain.Datagrams) : 0.0);
    const double clientDatagrams = double(client.Messages) * p.Fragments;
    std::printf("%-20s %-7s %9llu %11llu %9s %11llu %8.1f %9llu %8.2f %8llu %9llu %8llu %9.2f\n", p.Name, "client",
                (unsigned long long)clientJob.Datagrams, (unsigned long long)clientJob.Bytes, "-",
                (unsigned long long)client.Bytes, Rate(client.Bytes, client.Seconds),
                (unsigned long long)client.Messages, clientLoss, (unsigned long long)client.LossMessage,
                (unsigned long long)client.LossFragment, (unsigned long long)client.LossPool,
                clientDatagrams > 0 ? client.Seconds * 1e6 / clientDatagrams : 0.0);
    const double plainRate = Rate(plain.Bytes, plain.Seconds);
    std::printf("%-20s ratio client/plain: throughput %.2f, loss %s\n", p.Name,
                plainRate > 0 ? Rate(client.Bytes, client.Seconds) / plainRate : 0.0,
                plainLoss > 0 ? std::to_string(clientLoss / plainLoss).c_str() : "(plain lost nothing)");
  }
  WSACleanup();
  return 0;
}
