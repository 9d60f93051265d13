#include "source/ReadThread.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "base/Exception.h"
#include "base/GlobalLib.h"
#include "base/Log.h"
#include "render/PlayThread.h"

TReadThread::TReadThread(PlayerContext* Context)
    : FReceive(KRM_RECEIVE_BUFFER_SIZE), FContext(Context), FClock([] { return uint32_t(timeGetTime()); }) {
  FEvent = TKernelHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  BRX_ASSERT(FEvent, "UnitKRMCore");
  BufferChanged();
}

TReadThread::~TReadThread() { EndThread(); }

void TReadThread::EndThread() {
  if (Finished()) return;
  Start();
  PostThreadMessageWait(ThreadID(), Handle(), WM_QUIT, 0, 0);
  WaitFor();
}

void TReadThread::Prepare() {
  std::lock_guard<std::mutex> guard(FCounterLock);
  FMeasureTime = FClock();
  FByteCounter = 0;
}

void TReadThread::Execute() {
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    try {
      switch (msg.message) {
        case WM_KRM_OPEN:
          HandleOpen();
          break;
        case WM_KRM_READ:
          HandleRead(static_cast<int32_t>(static_cast<uint32_t>(msg.wParam)));
          break;
        case WM_KRM_SEEK:
          HandleSeek(static_cast<uint32_t>(msg.wParam));
          break;
        case WM_KRM_STOP:
          try {
            HandleStop();
          } catch (...) {
            SetEvent(FEvent.Get());
            throw;
          }
          SetEvent(FEvent.Get());
          break;
        case WM_KRM_SEND:
          HandleSend(msg);
          if (FState == rsStreaming) Read(-1);
          break;
        default:
          break;
      }
    } catch (const Exception& e) {
      // The handlers report their own failures; this only keeps the loop
      // alive when one of them let something through.
      Unhandled(e.Message());
    } catch (const std::exception& e) {
      Unhandled(e.what());
    } catch (...) {
      Unhandled("Unknown exception in source thread");
    }
  }
}

void TReadThread::HandleStop() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KRM_FIRST, WM_KRM_LAST, PM_REMOVE)) {
    if (msg.message == WM_KRM_SEND) std::free(reinterpret_cast<void*>(msg.wParam));
  }
  // Bytes of the stopped read are no longer wanted.
  FReceive.Clear();
  BufferChanged();
}

void TReadThread::HandleSend(const MSG& Msg) { std::free(reinterpret_cast<void*>(Msg.wParam)); }

void TReadThread::DoOpened(int, int) {}
void TReadThread::DoError(int) {}
void TReadThread::DoSample(const FrameRecord*) {}
void TReadThread::DoIndex(const std::string&) {}
void TReadThread::DoScript(const std::string&) {}
void TReadThread::DoString(const std::string&) {}

void TReadThread::Unhandled(const std::string& Text) { GlobalLog().AddLine(Text); }

bool TReadThread::PostCommand(UINT Msg, WPARAM WParam, LPARAM LParam) {
  Start();
  return PostThreadMessageWait(ThreadID(), Handle(), Msg, WParam, LParam);
}

bool TReadThread::PostToPlayThread(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TPlayThread* play = FContext ? FContext->PlayThread : nullptr;
  if (!play) return false;
  // Only the play thread's queue is needed: its worker base.
  TWorkerThread* worker = play;
  for (;;) {
    if (PostThreadMessageW(worker->ThreadID(), Msg, WParam, LParam)) return true;
    if (FAbort) return false;
    if (WaitForSingleObject(worker->Handle(), 10) == WAIT_OBJECT_0) return false;
  }
}

void TReadThread::PostToWindow(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (FContext && FContext->Window) PostMessageW(FContext->Window, Msg, WParam, LParam);
}

void TReadThread::ReportError(int Code, const std::string& Text) {
  GlobalLog().AddLine(Text);
  if (!FAbort) PostToWindow(WM_KRM_ERROR, static_cast<WPARAM>(Code), 0);
}

void TReadThread::Open(const std::wstring& URL, const std::string& Param) {
  FURL = URL;
  FParam = Param;
  PostCommand(WM_KRM_OPEN, 0, 0);
}

bool TReadThread::Read(int32_t Time) {
  return PostCommand(WM_KRM_READ, static_cast<WPARAM>(static_cast<uint32_t>(Time)), 0);
}

void TReadThread::Seek(int32_t Time) {
  BRX_ASSERT(Time >= 0, "UnitKRMCore");
  PostCommand(WM_KRM_SEEK, static_cast<WPARAM>(Time), 0);
}

bool TReadThread::Send(const std::string& Text) {
  if (Text.empty() || FState != rsStreaming) return false;
  void* block = std::malloc(Text.size());
  if (!block) return false;
  std::memcpy(block, Text.data(), Text.size());
  if (PostCommand(WM_KRM_SEND, reinterpret_cast<WPARAM>(block), static_cast<LPARAM>(Text.size())))
    return true;
  std::free(block);
  return false;
}

uint32_t TReadThread::GetBitRate() {
  std::lock_guard<std::mutex> guard(FCounterLock);
  uint32_t now = FClock();
  // The milliseconds since start-up wrap after 49.7 days: measured as a
  // 32-bit difference, a measurement that spans the wrap stays right instead
  // of answering 0 until the clock has caught up again.
  const uint32_t elapsed = now - FMeasureTime;
  if (elapsed < 1000) return 0;
  uint32_t rate = static_cast<uint32_t>(FByteCounter * 8 / elapsed);
  FByteCounter = 0;
  FMeasureTime = now;
  return rate;
}

void TReadThread::AddBytes(uint64_t Count) {
  std::lock_guard<std::mutex> guard(FCounterLock);
  FByteCounter += Count;
}

bool TReadThread::MessageWaiting() {
  MSG msg;
  return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

void TReadThread::BufferChanged() {
  FBufferSize = static_cast<uint32_t>(FReceive.BufferSize());
  FUsedSize = static_cast<uint32_t>(FReceive.UsedSize());
}

void TReadThread::Abort() { FAbort = true; }

void TReadThread::Reset() {
  FAbort = false;
  FUsedSize = 0;
  FState = rsIdle;
}

void TReadThread::Stop() {
  std::lock_guard<std::mutex> guard(FStopLock);
  Abort();
  if (GetCurrentThreadId() == ThreadID()) {
    // A handler stopping its own source: waiting for the loop would never end.
    HandleStop();
  } else if (PostCommand(WM_KRM_STOP, 0, 0)) {
    // The thread may end (destruction elsewhere) instead of answering.
    HANDLE handles[2] = {FEvent.Get(), Handle()};
    WaitLettingSentMessagesThrough(2, handles);
  }
  Reset();
}
