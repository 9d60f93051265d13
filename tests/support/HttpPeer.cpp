#include "HttpPeer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace {

struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockUser() { WSACleanup(); }
};

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SendAll(SOCKET s, const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    int n = send(s, p, static_cast<int>(std::min<size_t>(size, 65536)), 0);
    if (n <= 0) return false;
    p += n;
    size -= n;
  }
  return true;
}

}  // namespace

THttpPeer::THttpPeer(unsigned lifetimeMs) : FLifetimeMs(lifetimeMs) {
  static WinsockUser winsock;
  FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (FListener == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(FListener, 16) != 0)
    throw std::runtime_error("bind/listen failed");
  int length = sizeof(address);
  getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

THttpPeer::~THttpPeer() { Shutdown(); }

void THttpPeer::Serve(const std::string& path, std::vector<uint8_t> body) {
  std::lock_guard<std::mutex> guard(FLock);
  FFiles[path] = std::make_shared<const std::vector<uint8_t>>(std::move(body));
}

void THttpPeer::SetMode(TMode mode, uint64_t stallAfter) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FMode = mode;
    FStallAfter = stallAfter;
  }
  FChanged.notify_all();
}

void THttpPeer::StallPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(FLock);
  FStalledPaths.insert(path);
}

void THttpPeer::EndlessPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(FLock);
  FEndlessPaths.insert(path);
}

std::string THttpPeer::URL(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

std::vector<THttpPeer::TRequest> THttpPeer::Requests() {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}

bool THttpPeer::WaitForRequests(size_t count, unsigned timeoutMs) {
  std::unique_lock<std::mutex> lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return FRequests.size() >= count; });
}

bool THttpPeer::Wait(unsigned ms) {
  std::unique_lock<std::mutex> lock(FLock);
  return !FChanged.wait_for(lock, std::chrono::milliseconds(ms), [&] { return FStopping; });
}

void THttpPeer::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FStopping && !FAcceptThread.joinable()) return;
    FStopping = true;
    for (SOCKET s : FClients) shutdown(s, SD_BOTH);
  }
  FChanged.notify_all();
  if (FAcceptThread.joinable()) FAcceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> guard(FLock);
    threads.swap(FThreads);
  }
  for (auto& t : threads) t.join();
  if (FListener != INVALID_SOCKET) closesocket(FListener);
  FListener = INVALID_SOCKET;
}

void THttpPeer::AcceptLoop() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FLifetimeMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FStopping) break;
      // Closed here, not in SetMode: this thread is the one selecting on it.
      if (FMode == TMode::Refuse && FListener != INVALID_SOCKET) {
        closesocket(FListener);
        FListener = INVALID_SOCKET;
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      // Lifetime over: end as if the test had shut the peer down.
      std::lock_guard<std::mutex> guard(FLock);
      FStopping = true;
      for (SOCKET s : FClients) shutdown(s, SD_BOTH);
      FChanged.notify_all();
      break;
    }
    if (FListener == INVALID_SOCKET) {
      Wait(50);
      continue;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(FListener, &readable);
    timeval tv = {0, 50000};
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0) continue;
    SOCKET client = accept(FListener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    // Head and body go out in separate writes; without this the client's
    // delayed acknowledgement holds every answer back by tens of ms.
    BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::lock_guard<std::mutex> guard(FLock);
    FClients.push_back(client);
    FThreads.emplace_back([this, client] { Connection(client); });
  }
}

void THttpPeer::Connection(SOCKET client) {
  std::string pending;
  char chunk[4096];
  bool open = true;
  while (open) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      // A client may keep an idle connection for a long time; look at the
      // stop flag between waits instead of blocking in recv.
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(client, &readable);
      timeval tv = {0, 50000};
      int ready = select(0, &readable, nullptr, nullptr, &tv);
      if (ready == 0) {
        std::lock_guard<std::mutex> guard(FLock);
        if (FStopping) {
          open = false;
          break;
        }
        continue;
      }
      int n = ready < 0 ? -1 : recv(client, chunk, sizeof(chunk), 0);
      if (n <= 0) {
        open = false;
        break;
      }
      pending.append(chunk, n);
      if (pending.size() > 65536) {
        open = false;
        break;
      }
    }
    if (!open) break;
    std::string head = pending.substr(0, end);
    pending.erase(0, end + 4);

    TRequest request;
    size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    size_t sp1 = first.find(' ');
    size_t sp2 = first.find(' ', sp1 + 1);
    request.Method = first.substr(0, sp1);
    request.Path = sp1 == std::string::npos ? "" : first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t pos = lineEnd;
    while (pos != std::string::npos && pos < head.size()) {
      size_t next = head.find("\r\n", pos + 2);
      std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
      size_t colon = line.find(':');
      if (colon != std::string::npos && Lower(line.substr(0, colon)) == "range") {
        size_t v = colon + 1;
        while (v < line.size() && line[v] == ' ') ++v;
        request.Range = line.substr(v);
      }
      pos = next;
    }

    std::shared_ptr<const std::vector<uint8_t>> served;
    bool found, endless;
    TMode mode;
    uint64_t stallAfter;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FRequests.push_back(request);
      FChanged.notify_all();
      FChanged.wait(lock, [&] { return FStopping || FMode != TMode::Hold; });
      if (FStopping) break;
      auto it = FFiles.find(request.Path);
      found = it != FFiles.end();
      if (found) served = it->second;
      mode = FMode;
      stallAfter = FStallAfter;
      endless = FEndlessPaths.count(request.Path) != 0;
      if (FStalledPaths.count(request.Path)) {
        mode = TMode::Stall;
        stallAfter = 0;
      }
    }

    // A connection kept alive from before is dropped too: the client has to
    // connect again, and is refused.
    if (mode == TMode::Refuse) break;
    if (endless) {
      // Ended by the close: no length, so the client reads until then.
      const std::string answer =
          "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
      if (!SendAll(client, answer.data(), answer.size())) break;
      std::vector<uint8_t> block(65536);
      for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + 1);
      for (;;) {
        {
          std::lock_guard<std::mutex> guard(FLock);
          if (FStopping) break;
        }
        if (!SendAll(client, block.data(), block.size())) break;
      }
      break;
    }
    if (mode == TMode::ServerError) {
      std::string answer = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n";
      if (!SendAll(client, answer.data(), answer.size())) break;
      continue;
    }
    if (!found || mode == TMode::NotFound) {
      std::string answer = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
      if (!SendAll(client, answer.data(), answer.size())) break;
      continue;
    }
    const std::vector<uint8_t>& body = *served;
    uint64_t first_byte = 0, last_byte = body.empty() ? 0 : body.size() - 1;
    bool ranged = false;
    if (!request.Range.empty() && mode != TMode::IgnoreRange) {
      unsigned long long a = 0, b = 0;
      std::string r = Lower(request.Range);
      if (sscanf(r.c_str(), "bytes=%llu-%llu", &a, &b) == 2 && a <= b && a < body.size()) {
        ranged = true;
        first_byte = a;
        last_byte = std::min<uint64_t>(b, body.size() - 1);
      } else {
        std::string answer = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n";
        if (!SendAll(client, answer.data(), answer.size())) break;
        continue;
      }
    }
    uint64_t length = body.empty() ? 0 : last_byte - first_byte + 1;
    std::string answer = ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    answer += "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) + "\r\n";
    if (ranged)
      answer += "Content-Range: bytes " + std::to_string(first_byte) + "-" + std::to_string(last_byte) + "/" +
                std::to_string(body.size()) + "\r\n";
    answer += "\r\n";
    if (!SendAll(client, answer.data(), answer.size())) break;
    const uint8_t* data = body.data() + first_byte;
    if (mode == TMode::Stall || mode == TMode::CloseEarly) {
      SendAll(client, data, std::min<uint64_t>(stallAfter, length));
      if (mode == TMode::Stall) {
        while (Wait(1000)) {
        }
      }
      break;
    }
    if (!SendAll(client, data, length)) break;
  }
  shutdown(client, SD_BOTH);
  std::lock_guard<std::mutex> guard(FLock);
  closesocket(client);
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}
