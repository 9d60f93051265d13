#pragma once
// One multicast receiver: a thread that joins a group on one local interface,
// reassembles the messages the sender split into datagrams and hands each
// whole message to OnData. It is commanded through its queue: a start runs
// the receive loop until the next command arrives, a stop ends it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/WorkerThread.h"

class TReceiveThread : public TWorkerThread {
 public:
  // The longest a receive blocks before the loop looks at its queue again.
  static constexpr uint32_t ReceiveTimeoutMs = 1000;
  // A loss text goes to the debugger output at most once in this time.
  static constexpr uint32_t LossReportMs = 1000;

  TReceiveThread();
  // Ends the thread (unless a descendant already did), closes the socket.
  ~TReceiveThread() override;

  // Post the command and wait until the thread has taken it (or has ended).
  void StartReceiving();
  void StopReceiving();
  // StopReceiving in two halves, for an owner of several receivers: a quiet
  // receiver answers only at its receive time-out, so every stop is posted
  // before any answer is awaited and those time-outs run side by side.
  // WaitForAnswer only after a PostStop that answered true.
  bool PostStop();
  void WaitForAnswer();

  bool Receiving() const { return FReceiving; }
  // The text of the socket set-up failure that ended the last receive loop;
  // empty while a loop runs or when none failed.
  std::string SetupError();

  // The owner sets these before StartReceiving.
  std::string FGroup = "238.0.0.1";
  uint32_t FPortNo = 6000;
  std::string FInterface;  // dotted local address; empty for any

 protected:
  void Execute() override;
  // One reassembled message, valid only during the call; on this thread.
  virtual void OnData(const uint8_t* Data, uint32_t Size);
  // Every datagram taken from the socket, before reassembly, valid only
  // during the call; on this thread. Empty here: a descendant may count what
  // arrived, against what was sent, to tell loss at the socket from loss in
  // reassembly.
  virtual void OnDatagram(const uint8_t* Datagram, size_t Length);
  // A loss nobody can act on: the debugger output, each text at most once
  // per LossReportMs. Under a burst every fragment after a gap is lost, and
  // a line per fragment costs the receive loop more time than the datagrams
  // it should be taking from the socket meanwhile. Any thread.
  virtual void ReportLoss(const char* Text);
  // Where ReportLoss writes: the debugger output.
  virtual void WriteDebugOutput(const char* Text);
  // Ends the thread and waits for it; a descendant's destructor calls it so
  // that OnData never runs on a half-destroyed object. Later calls do nothing.
  void EndThread();

 private:
  void ReceiveLoop();
  void SetupSocket();
  void CloseSocket();
  bool PostAndWait(UINT Msg);
  bool Post(UINT Msg);
  bool CommandWaiting();

  std::atomic<bool> FReceiving{false};
  // Commands posted by the owner and taken by the thread: the receive loop
  // compares them for each datagram instead of asking the queue, which
  // costs a trip to the Wine server per datagram under load.
  std::atomic<uint32_t> FPosted{0};
  uint32_t FTaken = 0;
  TKernelHandle FEvent;
  uintptr_t FSocket;  // SOCKET, kept out of this header so it needs no Winsock
  bool FWinsock = false;
  std::mutex FErrorLock;
  std::string FSetupError;
  // When each loss text was last written (GetTickCount), for the few texts
  // there are.
  struct TLossLine {
    std::string Text;
    uint32_t Tick = 0;
  };
  std::mutex FLossLock;
  std::vector<TLossLine> FLossLines;
};
