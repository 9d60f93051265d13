#include "LivePeer.h"

#include <ws2tcpip.h>

#include <algorithm>
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

// What the peer takes from a client in one packet; more is a broken client.
constexpr uint32_t MaxClientPacket = 1 << 20;

bool SendAll(SOCKET s, const uint8_t* data, size_t size) {
  while (size > 0) {
    int n = send(s, reinterpret_cast<const char*>(data), static_cast<int>(std::min<size_t>(size, 65536)), 0);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

}  // namespace

TLivePeer::TLivePeer(unsigned lifetimeMs, uint16_t port)
    : FLifetimeMs(lifetimeMs), FStart(std::chrono::steady_clock::now()) {
  static WinsockUser winsock;
  FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (FListener == INVALID_SOCKET) throw std::runtime_error("live peer: socket failed");
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(FListener, 16) != 0) {
    closesocket(FListener);
    FListener = INVALID_SOCKET;
    throw std::runtime_error("live peer: cannot listen on 127.0.0.1:" + std::to_string(port) +
                             " (is the port taken?)");
  }
  int length = sizeof(address);
  getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TLivePeer::~TLivePeer() { Shutdown(); }

Bytes TLivePeer::Packet(uint8_t type, const Bytes& payload, bool junkHeader) {
  const uint32_t length = uint32_t(payload.size());
  Bytes packet;
  packet.reserve(8 + payload.size());
  packet.push_back(type);
  for (uint8_t junk : {0xA5, 0x5A, 0xFF}) packet.push_back(junkHeader ? junk : 0);
  for (int i = 0; i < 4; ++i) packet.push_back(uint8_t(length >> (8 * i)));
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

Bytes TLivePeer::TextPacket(uint8_t type, const std::string& text) {
  return Packet(type, Bytes(text.begin(), text.end()));
}

Bytes TLivePeer::FramePacket(const KrmRecord& record) { return Packet(0, record.Serialize()); }

void TLivePeer::SetLogin(TLogin mode, std::string reply, size_t pieceSize, unsigned pauseMs) {
  std::lock_guard<std::mutex> guard(FLock);
  FLoginMode = mode;
  FReply = std::move(reply);
  FReplyPiece = pieceSize;
  FReplyPause = pauseMs;
}

void TLivePeer::SetScript(TScript script) {
  std::lock_guard<std::mutex> guard(FLock);
  FScript = std::make_shared<const TScript>(std::move(script));
}

void TLivePeer::Push(const Bytes& bytes) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    for (auto& c : FConnections)
      if (c->ScriptDone && !c->Ended && !c->PeerClosed) c->Pushes.push_back(bytes);
  }
  FChanged.notify_all();
}

void TLivePeer::DropConnections() {
  std::lock_guard<std::mutex> guard(FLock);
  for (auto& c : FConnections) {
    if (c->Ended || c->PeerClosed) continue;
    c->PeerClosed = true;
    shutdown(c->Socket, SD_SEND);
  }
  FChanged.notify_all();
}

std::wstring TLivePeer::URL(const std::string& path) const {
  const std::string url = "krms://127.0.0.1:" + std::to_string(FPort) + "/" + path;
  return std::wstring(url.begin(), url.end());
}

std::vector<TLivePeer::TPacket> TLivePeer::Logins() {
  std::lock_guard<std::mutex> guard(FLock);
  return FLogins;
}

std::vector<TLivePeer::TPacket> TLivePeer::Received() {
  std::lock_guard<std::mutex> guard(FLock);
  return FReceived;
}

size_t TLivePeer::Connections() {
  std::lock_guard<std::mutex> guard(FLock);
  return FConnections.size();
}

size_t TLivePeer::ClientCloses() {
  std::lock_guard<std::mutex> guard(FLock);
  return FClientCloses;
}

size_t TLivePeer::Started() {
  std::lock_guard<std::mutex> guard(FLock);
  return FStarted;
}

bool TLivePeer::WaitForLogins(size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return FLogins.size() >= count; });
}

bool TLivePeer::WaitForReceived(size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return FReceived.size() >= count; });
}

bool TLivePeer::WaitForText(const std::string& text, size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] {
    return size_t(std::count_if(FReceived.begin(), FReceived.end(),
                                [&](const TPacket& p) { return p.Text == text; })) >= count;
  });
}

bool TLivePeer::WaitForConnections(size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return FConnections.size() >= count; });
}

bool TLivePeer::WaitForClientCloses(size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return FClientCloses >= count; });
}

bool TLivePeer::WaitForStarted(size_t count, unsigned timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return FStarted >= count; });
}

double TLivePeer::Now() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - FStart).count();
}

bool TLivePeer::Pause(unsigned ms) {
  std::unique_lock<std::mutex> lock(FLock);
  return !FChanged.wait_for(lock, std::chrono::milliseconds(ms), [&] { return FStopping; });
}

void TLivePeer::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FStopping && !FAcceptThread.joinable()) return;
    FStopping = true;
    for (auto& c : FConnections)
      if (!c->Ended) shutdown(c->Socket, SD_BOTH);
  }
  FChanged.notify_all();
  if (FAcceptThread.joinable()) FAcceptThread.join();
  std::vector<std::thread> readers;
  {
    std::lock_guard<std::mutex> guard(FLock);
    readers.swap(FReaders);
  }
  for (auto& t : readers) t.join();
  if (FListener != INVALID_SOCKET) closesocket(FListener);
  FListener = INVALID_SOCKET;
}

void TLivePeer::AcceptLoop() {
  const auto deadline = FStart + std::chrono::milliseconds(FLifetimeMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FStopping) break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      // Lifetime over: end as if the test had shut the peer down.
      std::lock_guard<std::mutex> guard(FLock);
      FStopping = true;
      for (auto& c : FConnections)
        if (!c->Ended) shutdown(c->Socket, SD_BOTH);
      FChanged.notify_all();
      break;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(FListener, &readable);
    timeval tv = {0, 20000};
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0) continue;
    SOCKET client = accept(FListener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    auto connection = std::make_shared<TConnection>();
    connection->Socket = client;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FConnections.push_back(connection);
      connection->Number = FConnections.size();
      FReaders.emplace_back([this, connection] { Reader(connection); });
    }
    FChanged.notify_all();
  }
}

bool TLivePeer::SendPieces(SOCKET s, const Bytes& bytes, size_t pieceSize, unsigned pauseMs) {
  if (pieceSize == 0) pieceSize = std::max<size_t>(1, (bytes.size() + 2) / 3);
  for (size_t at = 0; at < bytes.size(); at += pieceSize) {
    if (at > 0 && pauseMs > 0 && !Pause(pauseMs)) return false;
    if (!SendAll(s, bytes.data() + at, std::min(pieceSize, bytes.size() - at))) return false;
  }
  return true;
}

void TLivePeer::Reader(std::shared_ptr<TConnection> connection) {
  const SOCKET s = connection->Socket;
  connection->Writer = std::thread([this, connection] { Writer(connection); });
  std::string pending;
  std::vector<char> chunk(65536);
  bool login = true;
  bool open = true;
  while (open) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv = {0, 20000};
    const int ready = select(0, &readable, nullptr, nullptr, &tv);
    if (ready == 0) {
      std::lock_guard<std::mutex> guard(FLock);
      if (FStopping) break;
      continue;
    }
    const int n = ready < 0 ? -1 : recv(s, chunk.data(), int(chunk.size()), 0);
    if (n <= 0) {
      std::lock_guard<std::mutex> guard(FLock);
      if (n == 0 || !FStopping) ++FClientCloses;
      break;
    }
    const double arrival = Now();
    pending.append(chunk.data(), size_t(n));
    while (open && pending.size() >= 8) {
      uint32_t length;
      std::memcpy(&length, pending.data() + 4, 4);
      if (length > MaxClientPacket) {
        open = false;
        break;
      }
      if (pending.size() < 8 + size_t(length)) break;
      TPacket packet;
      packet.Type = uint8_t(pending[0]);
      std::memcpy(packet.Header, pending.data() + 1, 3);
      packet.Text = pending.substr(8, length);
      packet.ArrivalMs = arrival;
      packet.Connection = connection->Number;
      pending.erase(0, 8 + size_t(length));
      if (login) {
        login = false;
        TLogin mode;
        std::string reply;
        size_t piece;
        unsigned pause;
        {
          std::lock_guard<std::mutex> guard(FLock);
          FLogins.push_back(packet);
          mode = FLoginMode;
          reply = FReply;
          piece = FReplyPiece;
          pause = FReplyPause;
        }
        FChanged.notify_all();
        if (mode == TLogin::Close) {
          std::lock_guard<std::mutex> guard(FLock);
          connection->PeerClosed = true;
          shutdown(s, SD_BOTH);
          open = false;
        } else if (mode == TLogin::Reply) {
          SendPieces(s, TextPacket(2, reply), piece, pause);
        } else if (mode == TLogin::Raw) {
          SendPieces(s, Bytes(reply.begin(), reply.end()), piece, pause);
        }
        continue;
      }
      {
        std::lock_guard<std::mutex> guard(FLock);
        FReceived.push_back(packet);
        if (packet.Text == "Start") connection->Started = true;
      }
      FChanged.notify_all();
    }
  }
  {
    std::lock_guard<std::mutex> guard(FLock);
    connection->Ended = true;
  }
  FChanged.notify_all();
  // A writer blocked in a send to a client that reads no more ends here.
  shutdown(s, SD_BOTH);
  connection->Writer.join();
  closesocket(s);
}

void TLivePeer::Writer(std::shared_ptr<TConnection> connection) {
  const SOCKET s = connection->Socket;
  std::shared_ptr<const TScript> script;
  {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [&] { return connection->Started || connection->Ended || FStopping; });
    if (!connection->Started || connection->Ended || FStopping) return;
    script = FScript;
  }
  bool ok = true;
  for (size_t round = 0; ok && round < script->Repeat; ++round) {
    switch (script->Delivery) {
      case TDelivery::Whole:
        for (const Bytes& p : script->Packets)
          if (ok) ok = SendAll(s, p.data(), p.size());
        break;
      case TDelivery::BytePerSend:
        for (const Bytes& p : script->Packets)
          if (ok) ok = SendPieces(s, p, 1, script->PauseMs);
        break;
      case TDelivery::Pieces:
        for (const Bytes& p : script->Packets)
          if (ok) ok = SendPieces(s, p, script->PieceSize, script->PauseMs);
        break;
      case TDelivery::OneSend: {
        Bytes all;
        for (const Bytes& p : script->Packets) all.insert(all.end(), p.begin(), p.end());
        ok = SendAll(s, all.data(), all.size());
        break;
      }
    }
  }
  {
    std::lock_guard<std::mutex> guard(FLock);
    connection->ScriptDone = true;
    ++FStarted;
    if (ok && script->CloseAfter) {
      connection->PeerClosed = true;
      shutdown(s, SD_SEND);
    }
  }
  FChanged.notify_all();
  for (;;) {
    Bytes next;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FChanged.wait(lock, [&] { return !connection->Pushes.empty() || connection->Ended || FStopping; });
      if (connection->Ended || FStopping || connection->PeerClosed) return;
      next = std::move(connection->Pushes.front());
      connection->Pushes.pop_front();
    }
    if (!SendAll(s, next.data(), next.size())) return;
  }
}
