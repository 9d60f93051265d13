// clang-format off
// winsock2.h first: windows.h would otherwise bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#include "source/KRMTCPClient.h"

#include <mmsystem.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/ErrorTexts.h"
#include "base/Exception.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "decode/PictureSize.h"
#include "format/StreamPacket.h"

namespace {

const char* const Unit = "UnitKRMCore";
constexpr uintptr_t NoSocket = uintptr_t(INVALID_SOCKET);
constexpr DWORD UrlPartSize = 1024;

// Thrown by the waits once the source is being stopped; the failure it ends
// is never reported.
class EAborted : public Exception {
 public:
  EAborted() : Exception("TKRMTCPClient: aborted") {}
};

SOCKET AsSocket(uintptr_t s) { return static_cast<SOCKET>(s); }

std::string Trimmed(const std::string& Text) {
  size_t first = 0, last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  return Text.substr(first, last - first);
}

std::string ErrorWithCode(const char* Text, int Code) { return Text + std::to_string(Code); }

}  // namespace

TKRMTCPClient::TKRMTCPClient(PlayerContext* Context) : TReadThread(Context), FSocket(NoSocket) {
  WSADATA data;
  FWinsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  FNetEvent = TKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  FWake = TKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  BRX_ASSERT(FNetEvent && FWake, Unit);
}

TKRMTCPClient::~TKRMTCPClient() {
  Stop();
  EndThread();
  // A source whose thread had already ended never handled the stop.
  CloseSocket();
  if (FWinsock) WSACleanup();
}

std::string TKRMTCPClient::Locked(const std::string& Field) const {
  std::lock_guard<std::mutex> guard(FTextLock);
  return Field;
}

std::string TKRMTCPClient::Host() const { return Locked(FHost); }
std::string TKRMTCPClient::HostIP() const { return Locked(FHostIP); }
std::string TKRMTCPClient::ChannelName() const { return Locked(FChannelName); }
std::string TKRMTCPClient::Title() const { return Locked(FTitle); }
std::string TKRMTCPClient::Author() const { return Locked(FAuthor); }
std::string TKRMTCPClient::Copyright() const { return Locked(FCopyright); }
std::string TKRMTCPClient::Description() const { return Locked(FDescription); }

void TKRMTCPClient::SetText(std::string& Field, const std::string& Value) {
  std::lock_guard<std::mutex> guard(FTextLock);
  Field = Value;
}

void TKRMTCPClient::Abort() {
  TReadThread::Abort();
  SetEvent(FWake.Get());
}

void TKRMTCPClient::Reset() {
  TReadThread::Reset();
  ResetEvent(FWake.Get());
  FErrorReported = false;
}

void TKRMTCPClient::Fail(int Code, const std::string& Text) {
  GlobalLog().AddLine(Text);
  if (!Aborted()) DoError(Code);
}

void TKRMTCPClient::CloseSocket() {
  if (FSocket == NoSocket) return;
  closesocket(AsSocket(FSocket));
  FSocket = NoSocket;
  ResetEvent(FNetEvent.Get());
}

void TKRMTCPClient::WaitSocket() {
  if (Aborted()) throw EAborted();
  HANDLE handles[2] = {FNetEvent.Get(), FWake.Get()};
  const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (Aborted()) throw EAborted();
  if (result != WAIT_OBJECT_0)
    throw Exception(ErrorWithCode("TKRMTCPClient: wait failed:", int(GetLastError())));
  WSANETWORKEVENTS events;
  WSAEnumNetworkEvents(AsSocket(FSocket), FNetEvent.Get(), &events);
}

bool TKRMTCPClient::Writable() {
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(AsSocket(FSocket), &writable);
  timeval none = {0, 0};
  return select(0, nullptr, &writable, nullptr, &none) > 0;
}

void TKRMTCPClient::SendText(const std::string& Text) {
  BRX_ASSERT(!Text.empty(), Unit);
  if (Text.size() > MaxTextLength) throw Exception("String Length Limited to 32K");
  if (FSocket == NoSocket) throw Exception("Connection Broken");
  std::string packet;
  AppendStreamPacket(packet, PT_STRING, Text.data(), uint32_t(Text.size()));
  // The whole packet goes out, waiting while the socket would block: a
  // packet sent in part would garble the stream for the server.
  size_t sent = 0;
  while (sent < packet.size()) {
    const int n = send(AsSocket(FSocket), packet.data() + sent, int(packet.size() - sent), 0);
    if (n > 0) {
      sent += size_t(n);
      continue;
    }
    if (n == 0) throw Exception("Connection Broken");
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) throw Exception(ErrorWithCode("send Error:", error));
    WaitSocket();
  }
}

void TKRMTCPClient::RecvExact(void* Buffer, size_t Count) {
  char* at = static_cast<char*>(Buffer);
  size_t received = 0;
  while (received < Count) {
    if (FSocket == NoSocket) throw Exception("Connection Broken");
    const int ask = int(std::min<size_t>(Count - received, RecvChunk));
    const int n = recv(AsSocket(FSocket), at + received, ask, 0);
    if (n > 0) {
      received += size_t(n);
      continue;
    }
    if (n == 0) throw Exception("Connection Broken");
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) throw Exception(ErrorWithCode("recv Error:", error));
    WaitSocket();
  }
}

std::string TKRMTCPClient::RecvText() {
  StreamPacketHeader header;
  RecvExact(&header, sizeof header);
  if (header.Length > KRM_MAX_STREAM_RECORD)
    throw Exception("TKRMTCPClient: a packet of " + std::to_string(header.Length) + " bytes is damage");
  std::string text(header.Length, '\0');
  if (header.Length) RecvExact(&text[0], header.Length);
  return text;
}

int TKRMTCPClient::ConnectServer() {
  CloseSocket();
  const std::string address = HostIP();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    GlobalLog().AddLine(ErrorWithCode("TKRMTCPClient: socket Error:", WSAGetLastError()));
    return KRM_ERR_CONNECT;
  }
  FSocket = uintptr_t(s);
  ResetEvent(FNetEvent.Get());
  // Also makes the socket non-blocking.
  if (WSAEventSelect(s, FNetEvent.Get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    GlobalLog().AddLine(ErrorWithCode("TKRMTCPClient: WSAEventSelect Error:", WSAGetLastError()));
    return KRM_ERR_CONNECT;
  }
  sockaddr_in server = {};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = inet_addr(address.c_str());
  server.sin_port = htons(uint16_t(FPort.load()));
  int error = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      error = 0;
      for (;;) {
        if (Aborted()) return KRM_ERR_CONNECT;
        HANDLE handles[2] = {FNetEvent.Get(), FWake.Get()};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 || Aborted())
          return KRM_ERR_CONNECT;
        WSANETWORKEVENTS events = {};
        if (WSAEnumNetworkEvents(s, FNetEvent.Get(), &events) != 0) {
          error = WSAGetLastError();
          break;
        }
        if (events.lNetworkEvents & FD_CONNECT) {
          error = events.iErrorCode[FD_CONNECT_BIT];
          break;
        }
      }
    }
  }
  if (error != 0) {
    GlobalLog().AddLine("TKRMTCPClient: connect to " + address + ":" + std::to_string(FPort.load()) +
                        " failed: " + std::to_string(error));
    return KRM_ERR_CONNECT;
  }
  BOOL noDelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return 0;
}

int TKRMTCPClient::Login() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) size = 0;
  const std::string computer(name, std::min<DWORD>(size, 15));
  const std::string text =
      "Login\r\nChannel=" + ChannelName() + "\r\nComputerName=" + computer + "\r\n" + Param() + "\r\n";
  try {
    SendText(text);
    FLoginReply = RecvText();
  } catch (const EAborted&) {
    return KRM_ERR_NETWORK;
  } catch (const Exception& e) {
    GlobalLog().AddLine("TKRMTCPClient: login failed: " + e.Message());
    return KRM_ERR_NETWORK;
  }
  std::string permission;
  if (FindReplyValue(FLoginReply, "Permission", permission) && permission == "False") {
    GlobalLog().AddLine("TKRMTCPClient: the server refused the login to " + ChannelName());
    return KRM_ERR_LOGIN_REFUSED;
  }
  return 0;
}

int TKRMTCPClient::SendStart() {
  try {
    SendText("Start");
  } catch (const EAborted&) {
    return KRM_ERR_NETWORK;
  } catch (const Exception& e) {
    GlobalLog().AddLine("TKRMTCPClient: Start failed: " + e.Message());
    return KRM_ERR_NETWORK;
  }
  return 0;
}

void TKRMTCPClient::HandleOpen() {
  SetState(rsOpening);
  SetSourceKind(skLive);
  FReceive.Clear();
  BufferChanged();
  FErrorReported = false;
  int code = 0;
  std::string why;
  try {
    const std::string url = WideToAnsi(URL());
    char host[UrlPartSize] = {};
    char path[UrlPartSize] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = UrlPartSize;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = UrlPartSize;
    std::string channel, hostName;
    // WinInet knows no "krms" scheme: it answers port 0 when none is given.
    if (InternetCrackUrlA(url.c_str(), 0, ICU_DECODE, &parts)) {
      hostName = Trimmed(host);
      channel = Trimmed(path[0] ? std::string(path + 1) : std::string());
      FPort = parts.nPort != 0 ? parts.nPort : DefaultPort;
    }
    {
      std::lock_guard<std::mutex> guard(FTextLock);
      FHost = hostName;
      FChannelName = channel;
      FHostIP.clear();
    }
    if (hostName.empty()) {
      code = KRM_ERR_INVALID_URL;
      why = "TKRMTCPClient: no host in " + url;
    } else {
      // Cannot be interrupted: a stop during it waits for the resolver.
      const hostent* entry = gethostbyname(hostName.c_str());
      if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
        code = KRM_ERR_PARSE_IP;
        why = "TKRMTCPClient: cannot resolve " + hostName;
      } else {
        in_addr address;
        memcpy(&address, entry->h_addr_list[0], sizeof address);
        SetText(FHostIP, inet_ntoa(address));
        code = ConnectServer();
        if (code != 0)
          why = "TKRMTCPClient: cannot connect to " + url;
        else if ((code = Login()) != 0)
          why = "TKRMTCPClient: login to " + url + " failed";
        else if ((code = SendStart()) != 0)
          why = "TKRMTCPClient: cannot start " + url;
      }
    }
  } catch (const Exception& e) {
    code = KRM_ERR_NETWORK;
    why = e.Message();
  } catch (const std::exception& e) {
    code = KRM_ERR_NETWORK;
    why = e.what();
  }
  if (code == 0 && Aborted()) {
    code = KRM_ERR_NETWORK;
    why = "TKRMTCPClient: open aborted";
  }
  if (code != 0) {
    CloseSocket();
    SetState(rsIdle);
    FErrorReported = true;
    Fail(code, why);
    return;
  }
  FKeepAliveTime = timeGetTime();
  Read(-1);
}

void TKRMTCPClient::HandleSeek(uint32_t Time) { Read(int32_t(Time)); }

void TKRMTCPClient::HandleStop() {
  TReadThread::HandleStop();
  CloseSocket();
}

void TKRMTCPClient::HandleSend(const MSG& Msg) {
  std::string text;
  try {
    text.assign(reinterpret_cast<const char*>(Msg.wParam), size_t(Msg.lParam));
  } catch (...) {
  }
  std::free(reinterpret_cast<void*>(Msg.wParam));
  if (FSocket == NoSocket || text.empty()) return;
  try {
    SendText(text);
  } catch (const Exception& e) {
    // A failed send drops the text; the receive loop finds a broken
    // connection by itself.
    GlobalLog().AddLine("TKRMTCPClient: " + e.Message());
  }
}

void TKRMTCPClient::DoOpened(int, int) {
  std::string value;
  std::lock_guard<std::mutex> guard(FTextLock);
  if (FindReplyValue(FLoginReply, "Title", value) && !value.empty()) FTitle = value;
  if (FindReplyValue(FLoginReply, "Author", value) && !value.empty()) FAuthor = value;
  if (FindReplyValue(FLoginReply, "Copyright", value) && !value.empty()) FCopyright = value;
  if (FindReplyValue(FLoginReply, "Description", value) && !value.empty()) FDescription = value;
}

void TKRMTCPClient::Idle() {}

void TKRMTCPClient::Dispatch() {
  TPacketFraming framing(FReceive);
  for (;;) {
    TStreamPacket packet;
    const TPacketStatus status = framing.First(packet);
    BufferChanged();
    if (status == TPacketStatus::Damaged)
      throw Exception("TKRMTCPClient: a packet of " + std::to_string(framing.PendingPacketSize()) +
                      " bytes is damage");
    if (status == TPacketStatus::Incomplete) return;
    // No hook runs for a source being stopped.
    if (Aborted()) throw EAborted();
    switch (packet.Type) {
      case PT_FRAME: {
        const FrameRecord* frame = packet.Frame();
        if (!frame)
          throw Exception("TKRMTCPClient: a frame packet of " + std::to_string(packet.Length) +
                          " bytes is shorter than its record");
        if (State() == rsOpening && frame->FrameType == FT_KEY) {
          uint16_t width = 0, height = 0;
          GetPictureSize(*frame, width, height);
          SetState(rsStreaming);
          DoOpened(width, height);
          if (Aborted()) throw EAborted();
        }
        DoSample(frame);
        break;
      }
      case PT_INDEX:
        DoIndex(packet.Text());
        break;
      case PT_STRING:
        DoString(packet.Text());
        break;
      case PT_SCRIPT:
        DoScript(packet.Text());
        break;
      default:
        break;
    }
    framing.DropFirst();
  }
}

bool TKRMTCPClient::OtherThanReadWaiting() {
  // Two looks for the usual case of one queued read: take it, then see
  // that nothing else waits.
  MSG msg;
  for (;;) {
    PeekMessageW(&msg, nullptr, WM_KRM_READ, WM_KRM_READ, PM_REMOVE);
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
    if (msg.message != WM_KRM_READ) return true;
  }
}

void TKRMTCPClient::HandleRead(int32_t) {
  if (FSocket == NoSocket) {
    // Nothing to read from: said once, not at every ask of the play thread.
    if (FErrorReported) return;
    FErrorReported = true;
    SetState(rsIdle);
    Fail(KRM_ERR_NETWORK, "TKRMTCPClient: read without a connection");
    return;
  }
  std::string why;
  try {
    // While data keeps coming the queue is looked at once a millisecond:
    // each look is a round trip to the window system (under Wine, to its
    // server), which at every 32 KiB would halve the throughput.
    bool look = true;
    uint32_t lookedAt = 0;
    // A wake by a posted command brings no data: the socket's event would
    // have been set, and it is looked at first.
    bool receive = true;
    for (;;) {
      if (look || timeGetTime() != lookedAt) {
        look = false;
        lookedAt = timeGetTime();
        // Any other command is handled at once by the thread's loop.
        if (OtherThanReadWaiting()) return;
      }
      if (Aborted()) throw EAborted();
      if (receive) {
        const size_t room = std::min<size_t>(FReceive.FreeSize(), RecvChunk);
        BRX_ASSERT(room > 0, Unit);
        const int n = recv(AsSocket(FSocket), reinterpret_cast<char*>(FReceive.FreeSpace()), int(room), 0);
        if (n > 0) {
          AddBytes(uint64_t(n));
          FReceive.Commit(size_t(n));
          BufferChanged();
          Dispatch();
          continue;
        }
        if (n == 0) throw Exception("Connection Broken");
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) throw Exception(ErrorWithCode("recv Error:", error));
      }
      // An idle moment.
      uint32_t elapsed = timeGetTime() - FKeepAliveTime;
      if (elapsed >= KeepAliveMs) {
        FKeepAliveTime += elapsed;
        elapsed = 0;
        if (Writable()) {
          SendText("NOOP");
          // A send that had to wait took the socket's news with it: look at
          // the socket again before sleeping.
          receive = true;
          continue;
        }
      }
      Idle();
      HANDLE handles[2] = {FNetEvent.Get(), FWake.Get()};
      const DWORD result = MsgWaitForMultipleObjectsEx(2, handles, KeepAliveMs - elapsed, QS_ALLPOSTMESSAGE,
                                                       MWMO_INPUTAVAILABLE);
      if (result == WAIT_FAILED)
        throw Exception(ErrorWithCode("TKRMTCPClient: wait failed:", int(GetLastError())));
      if (result == WAIT_OBJECT_0) {
        WSANETWORKEVENTS events;
        WSAEnumNetworkEvents(AsSocket(FSocket), FNetEvent.Get(), &events);
      }
      receive = result != WAIT_OBJECT_0 + 2;
      look = true;
    }
  } catch (const EAborted& e) {
    why = e.Message();
  } catch (const std::bad_alloc&) {
    why = "TKRMTCPClient: a packet of " + std::to_string(TPacketFraming(FReceive).PendingPacketSize()) +
          " bytes cannot be buffered";
  } catch (const Exception& e) {
    why = "TKRMTCPClient: " + e.Message();
  } catch (const std::exception& e) {
    why = std::string("TKRMTCPClient: ") + e.what();
  }
  CloseSocket();
  FReceive.Clear();
  BufferChanged();
  SetState(rsIdle);
  FErrorReported = true;
  Fail(KRM_ERR_NETWORK, why);
}
