// Winsock 2 before windows.h: Winsock 1.1's header gives IP_ADD_MEMBERSHIP
// another value.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#include "source/ReceiveThread.h"

#include <vector>

#include "base/EngineMessages.h"
#include "base/Exception.h"
#include "base/GlobalLib.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "format/FragmentAssembler.h"

namespace {

const char* const Unit = "UnitReceive";

[[noreturn]] void FailSetup(const wchar_t* Text) {
  throw Exception(WideToGBK(Text) + std::to_string(WSAGetLastError()));
}

// Waits for the command's answer, or for the thread to have ended.
void WaitForEither(HANDLE Event, HANDLE Thread) {
  HANDLE handles[2] = {Event, Thread};
  WaitForMultipleObjects(2, handles, FALSE, INFINITE);
}

}  // namespace

TReceiveThread::TReceiveThread() : FSocket(uintptr_t(INVALID_SOCKET)) {
  WSADATA data;
  BRX_ASSERT(WSAStartup(MAKEWORD(2, 2), &data) == 0, Unit);
  FWinsock = true;
  FEvent = TKernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  BRX_ASSERT(FEvent, Unit);
  // Datagrams must leave the socket before its buffer overflows.
  SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
}

TReceiveThread::~TReceiveThread() {
  EndThread();
  CloseSocket();
  if (FWinsock) WSACleanup();
}

void TReceiveThread::EndThread() {
  if (Finished()) return;
  Start();
  Post(WM_QUIT);
  WaitFor();
}

bool TReceiveThread::Post(UINT Msg) {
  ++FPosted;
  if (PostThreadMessageWait(ThreadID(), Handle(), Msg, 0, 0)) return true;
  --FPosted;
  return false;
}

bool TReceiveThread::CommandWaiting() { return FPosted.load() != FTaken; }

bool TReceiveThread::PostAndWait(UINT Msg) {
  Start();
  if (!Post(Msg)) return false;
  WaitForEither(FEvent.Get(), Handle());
  return true;
}

void TReceiveThread::StartReceiving() { PostAndWait(WM_KRM_RECV_START); }

void TReceiveThread::StopReceiving() {
  if (PostStop()) WaitForAnswer();
}

bool TReceiveThread::PostStop() {
  Start();
  return Post(WM_KRM_RECV_STOP);
}

void TReceiveThread::WaitForAnswer() { WaitForEither(FEvent.Get(), Handle()); }

std::string TReceiveThread::SetupError() {
  std::lock_guard<std::mutex> guard(FErrorLock);
  return FSetupError;
}

void TReceiveThread::OnData(const uint8_t*, uint32_t) {}

void TReceiveThread::OnDatagram(const uint8_t*, size_t) {}

void TReceiveThread::ReportLoss(const char* Text) {
  {
    std::lock_guard<std::mutex> guard(FLossLock);
    const uint32_t now = GetTickCount();
    TLossLine* line = nullptr;
    for (TLossLine& known : FLossLines)
      if (known.Text == Text) line = &known;
    if (line) {
      // Measured as a 32-bit difference, so the tick count's wrap is harmless.
      if (now - line->Tick < LossReportMs) return;
      line->Tick = now;
    } else if (FLossLines.size() < 8) {
      FLossLines.push_back(TLossLine{Text, now});
    }
  }
  WriteDebugOutput(Text);
}

void TReceiveThread::WriteDebugOutput(const char* Text) { OutputDebugStringA(Text); }

void TReceiveThread::Execute() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if ((msg.message == WM_KRM_RECV_START || msg.message == WM_KRM_RECV_STOP) && CommandWaiting()) ++FTaken;
    if (msg.message == WM_KRM_RECV_START) {
      if (FReceiving) {
        SetEvent(FEvent.Get());
        continue;
      }
      FReceiving = true;
      // Cleared before the owner is released: an owner that looks at once
      // must not take the last loop's failure for this one's.
      {
        std::lock_guard<std::mutex> guard(FErrorLock);
        FSetupError.clear();
      }
      SetEvent(FEvent.Get());
      try {
        ReceiveLoop();
      } catch (const std::exception& e) {
        // Only this loop ends: the thread goes back to its queue, so stop
        // and quit are answered as usual.
        const std::string text = e.what();
        GlobalLog().AddLine(text);
        std::lock_guard<std::mutex> guard(FErrorLock);
        FSetupError = text.empty() ? std::string("socket set-up failed") : text;
      }
    } else if (msg.message == WM_KRM_RECV_STOP) {
      FReceiving = false;
      SetEvent(FEvent.Get());
    }
  }
}

void TReceiveThread::CloseSocket() {
  if (SOCKET(FSocket) != INVALID_SOCKET) closesocket(SOCKET(FSocket));
  FSocket = uintptr_t(INVALID_SOCKET);
}

void TReceiveThread::SetupSocket() {
  const SOCKET s = SOCKET(FSocket);
  const BOOL reuse = TRUE;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse)) != 0)
    FailSetup(L"重用失败");
  const u_long local = FInterface.empty() ? htonl(INADDR_ANY) : inet_addr(FInterface.c_str());
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(u_short(FPortNo));
  address.sin_addr.s_addr = local;
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) FailSetup(L"绑定失败 ：");
  ip_mreq membership = {};
  membership.imr_multiaddr.s_addr = inet_addr(FGroup.c_str());
  membership.imr_interface.s_addr = local;
  if (setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                 sizeof(membership)) != 0)
    FailSetup(L"加入多播组失败：");
  const DWORD timeout = ReceiveTimeoutMs;
  if (setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout)) != 0)
    FailSetup(L"设置超时时间失败:");
}

void TReceiveThread::ReceiveLoop() {
  CloseSocket();
  FSocket = uintptr_t(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  BRX_ASSERT(SOCKET(FSocket) != INVALID_SOCKET, Unit);
  SetupSocket();
  TFragmentAssembler assembler([this](const uint8_t* Data, uint32_t Size) { OnData(Data, Size); },
                               [this](const char* Text) { ReportLoss(Text); });
  std::vector<uint8_t> datagram(KRM_DATAGRAM_MAX_SIZE);
  MSG msg;
  while (!CommandWaiting()) {
    const int got = recv(SOCKET(FSocket), reinterpret_cast<char*>(datagram.data()), int(datagram.size()), 0);
    if (got == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      // A datagram over the limit comes back cut short: dropped whole.
      if (error == WSAEMSGSIZE) continue;
      // A quiet moment: the queue itself is asked, for a message posted by
      // anyone else.
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) break;
      // Any other error would come back at once: no spinning on it.
      if (error != WSAETIMEDOUT) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLPOSTMESSAGE);
      continue;
    }
    if (got <= 0) continue;
    OnDatagram(datagram.data(), size_t(got));
    assembler.Take(datagram.data(), size_t(got));
  }
}
