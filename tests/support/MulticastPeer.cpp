#include "MulticastPeer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(char(uint8_t(value >> (8 * i))));
}

bool SendAll(SOCKET s, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const int n = send(s, bytes.data() + done, int(std::min<size_t>(bytes.size() - done, 1 << 20)), 0);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

std::string TMulticastPeer::SenderAddress() {
  const char* value = std::getenv("BRX_MCAST_SENDER");
  return value ? value : "";
}

TMulticastPeer::TMulticastPeer() {
  WSADATA data;
  FWinsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

TMulticastPeer::~TMulticastPeer() {
  Cancel();
  if (FWinsock) WSACleanup();
}

bool TMulticastPeer::Start(const TJob& Job) {
  Cancel();
  const std::string address = SenderAddress();
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) return false;
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(u_short(std::atoi(address.c_str() + colon + 1)));
  to.sin_addr.s_addr = inet_addr(address.substr(0, colon).c_str());
  FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (FSocket == INVALID_SOCKET) return false;
  const DWORD timeout = 10000;
  setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  if (connect(FSocket, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 0) {
    Cancel();
    return false;
  }
  const std::string header = "{\"group\": \"" + Job.Group + "\", \"port\": " + std::to_string(Job.Port) +
                             ", \"pacing_us\": " + std::to_string(Job.PacingUs) +
                             ", \"repeat\": " + std::to_string(Job.Repeat) + "}";
  std::string bytes;
  Put32(bytes, uint32_t(header.size()));
  bytes += header;
  Put32(bytes, uint32_t(Job.Datagrams.size()));
  for (const Bytes& datagram : Job.Datagrams) {
    Put32(bytes, uint32_t(datagram.size()));
    bytes.append(reinterpret_cast<const char*>(datagram.data()), datagram.size());
  }
  if (!SendAll(FSocket, bytes)) {
    Cancel();
    return false;
  }
  return true;
}

int64_t TMulticastPeer::Wait(unsigned TimeoutMs) {
  if (FSocket == INVALID_SOCKET) return -1;
  const DWORD timeout = TimeoutMs;
  setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  std::string answer;
  char c;
  while (answer.size() < 64 && recv(FSocket, &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
  if (answer.rfind("done ", 0) != 0) return -1;
  return std::atoll(answer.c_str() + 5);
}

void TMulticastPeer::Cancel() {
  if (FSocket != INVALID_SOCKET) closesocket(FSocket);
  FSocket = INVALID_SOCKET;
}
