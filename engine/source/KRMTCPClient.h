#pragma once
// The live TCP source: resolves and connects to the server a "KRMS" URL
// names, logs in with a short text, starts the stream and then receives
// packets until the connection breaks or the source is stopped. Frame
// records and texts go to the hooks; the control's live adapter gives them
// a body.
//
// The socket is non-blocking and belongs to the source thread alone: every
// wait (connect, login, "Start", the receive loop, sends) also waits on a
// wake-up event that Abort sets, and the thread closes the socket itself as
// soon as it sees the abort. Closing it from the aborting thread would wake
// nothing under Wine, and its number may already belong to a new socket.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "source/ReadThread.h"

class TKRMTCPClient : public TReadThread {
 public:
  static constexpr uint32_t DefaultPort = 1804;
  // The longest text one packet of the client may carry.
  static constexpr uint32_t MaxTextLength = 32768;
  // Bytes asked of one recv.
  static constexpr uint32_t RecvChunk = 32768;
  // A "NOOP" goes out at the first idle moment this long after the last one.
  static constexpr uint32_t KeepAliveMs = 200;

  explicit TKRMTCPClient(PlayerContext* Context);
  ~TKRMTCPClient() override;

  void Abort() override;
  void Reset() override;

  // The stream's texts, written on the source thread: copies, under a lock.
  std::string Host() const;
  std::string HostIP() const;
  std::string ChannelName() const;
  std::string Title() const;
  std::string Author() const;
  std::string Copyright() const;
  std::string Description() const;
  uint32_t Port() const { return FPort; }

 protected:
  void HandleOpen() override;
  // The receive loop; Time is not used.
  void HandleRead(int32_t Time) override;
  void HandleSeek(uint32_t Time) override;
  void HandleStop() override;
  void HandleSend(const MSG& Msg) override;
  // Keeps the login reply's texts.
  void DoOpened(int Width, int Height) override;
  // After each wake of the receive loop that brings no data.
  virtual void Idle();

  // One type-2 packet, sent whole. Throws Exception on failure.
  void SendText(const std::string& Text);
  // Exactly Count bytes. Throws Exception on failure.
  void RecvExact(void* Buffer, size_t Count);
  // One packet's payload; its type is not looked at.
  std::string RecvText();
  void CloseSocket();

 private:
  // Results 0 or an error code.
  int ConnectServer();
  int Login();
  int SendStart();
  // Waits until the socket has news. Throws once the source is aborted.
  void WaitSocket();
  bool Writable();
  // Takes the queued reads; true when another command waits.
  static bool OtherThanReadWaiting();
  // Hands every whole packet of the receive buffer to its hook.
  void Dispatch();
  // The text to the log; the code to the control unless aborted.
  void Fail(int Code, const std::string& Text);
  void SetText(std::string& Field, const std::string& Value);
  // A copy of one of the texts, taken under their lock.
  std::string Locked(const std::string& Field) const;

  uintptr_t FSocket;        // a SOCKET; NoSocket when closed
  TKernelHandle FNetEvent;  // the socket's network events
  TKernelHandle FWake;      // set by Abort, cleared by Reset
  bool FWinsock = false;
  std::atomic<uint32_t> FPort{DefaultPort};
  std::string FLoginReply;  // the source thread's alone
  uint32_t FKeepAliveTime = 0;
  // A loop that ended with an error reports nothing more until the next
  // open or reset: the play thread asks every 10 ms.
  bool FErrorReported = false;
  mutable std::mutex FTextLock;
  std::string FHost;
  std::string FHostIP;
  std::string FChannelName;
  std::string FTitle;
  std::string FAuthor;
  std::string FCopyright;
  std::string FDescription;
};
