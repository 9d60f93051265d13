#pragma once
// The base of every source thread (file or web server, live TCP, multicast):
// its message loop, receive buffer, byte counter, stop protocol and the
// operations its descendants give a body to.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/EngineMessages.h"
#include "format/KRMFormat.h"
#include "base/PlayerContext.h"
#include "format/RecordCutter.h"
#include "base/WorkerThread.h"

enum TReadState : uint8_t { rsIdle = 0, rsOpening = 1, rsStreaming = 2 };

enum TSourceKind : uint8_t {
  skNone = 0,
  skLocalFile = 1,
  skWebFile = 2,
  skLive = 3,
  skMulticast = 4,
};

class TReadThread : public TWorkerThread {
 public:
  using TClock = std::function<uint32_t()>;

  explicit TReadThread(PlayerContext* Context);
  // Ends the loop and waits for the thread. Descendants call Stop first.
  ~TReadThread() override;

  void Open(const std::wstring& URL, const std::string& Param);
  // Time in ms, or -1 to read on from where reading stands. True when posted.
  bool Read(int32_t Time);
  void Seek(int32_t Time);
  // Posts the text's bytes to the thread while streaming; nothing for an
  // empty text or in any other state. True when posted.
  bool Send(const std::string& Text);
  // Kilobits per second since the last measurement, 0 within a second of it.
  uint32_t GetBitRate();

  virtual void Abort();
  virtual void Reset();
  // Aborts, has the thread run its stop command and waits for it, resets.
  // Blocks the caller until the stop was handled or the thread has ended.
  virtual void Stop();

  const std::wstring& URL() const { return FURL; }
  const std::string& Param() const { return FParam; }
  uint8_t State() const { return FState; }
  uint8_t SourceKind() const { return FSourceKind; }
  bool Aborted() const { return FAbort; }
  uint32_t BufferSize() const { return FBufferSize; }
  // Bytes held in the receive buffer; read by other threads without a lock.
  uint32_t UsedSize() const { return FUsedSize; }
  PlayerContext* Context() const { return FContext; }

  // Replaces timeGetTime for the bit rate (tests); set it before the first
  // command, while the thread has not started.
  void SetClock(TClock Clock) { FClock = std::move(Clock); }

 protected:
  void Prepare() override;
  void Execute() override;  // the message loop

  virtual void HandleOpen() = 0;
  virtual void HandleRead(int32_t Time) = 0;
  virtual void HandleSeek(uint32_t Time) = 0;
  // Discards every engine command still queued (freeing the text of a
  // discarded send), so nothing queued before the stop runs after it.
  virtual void HandleStop();
  // Owns Msg.wParam (the text block) and frees it. The base only frees it:
  // sources without a back channel ignore the text.
  virtual void HandleSend(const MSG& Msg);
  // Only the live source and the control's live adapter give these a body.
  virtual void DoOpened(int Width, int Height);
  virtual void DoError(int Code);
  virtual void DoSample(const FrameRecord* Frame);
  virtual void DoIndex(const std::string& Text);
  virtual void DoScript(const std::string& Text);
  virtual void DoString(const std::string& Text);

  void Unhandled(const std::string& Text) override;
  // Ends the loop and waits for the thread. The destructor of every concrete
  // source calls it (after Stop) so the loop never runs into a half-destroyed
  // object; later calls do nothing.
  void EndThread();

  // Posts to the thread's own queue, retrying while it is refused.
  bool PostCommand(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Posts to the play thread. Gives up when the play thread has ended, is
  // absent, or this source is being stopped, so a dead play thread never
  // wedges the source (and a Stop or Close waiting on it).
  bool PostToPlayThread(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Posts to the control's window.
  void PostToWindow(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Reports a failure: the text to the log, the code to the control unless
  // the source is being stopped.
  void ReportError(int Code, const std::string& Text);
  // Sources count every block of bytes they read.
  void AddBytes(uint64_t Count);
  // True when a message of any kind waits in the thread's queue.
  static bool MessageWaiting();

  void SetState(uint8_t State) { FState = State; }
  void SetSourceKind(uint8_t Kind) { FSourceKind = Kind; }
  // After the receive buffer changed: keeps the lock-free mirrors current.
  void BufferChanged();

  TRecordCutter FReceive;  // the receive buffer; the source thread's alone

 private:
  PlayerContext* FContext;
  std::wstring FURL;
  std::string FParam;
  std::atomic<uint8_t> FState{rsIdle};
  std::atomic<uint8_t> FSourceKind{skNone};
  std::atomic<bool> FAbort{false};
  TKernelHandle FEvent;
  std::atomic<uint32_t> FBufferSize{0};
  std::atomic<uint32_t> FUsedSize{0};
  std::mutex FCounterLock;
  uint64_t FByteCounter = 0;
  uint32_t FMeasureTime = 0;
  TClock FClock;
  std::mutex FStopLock;  // one stop at a time: each waits for its own signal
};
