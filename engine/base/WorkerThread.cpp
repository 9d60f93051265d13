#include "base/WorkerThread.h"

#include <exception>

#include "base/Exception.h"

TWorkerThread::TWorkerThread() {
  FReady = TKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  BRX_ASSERT(FReady, "WorkerThread");
  FThread =
      TKernelHandle(CreateThread(nullptr, 0, &TWorkerThread::ThreadProc, this, CREATE_SUSPENDED, &FThreadID));
  BRX_ASSERT(FThread, "WorkerThread");
}

TWorkerThread::~TWorkerThread() {
  std::call_once(FStarted, [&] {
    // Let the suspended thread run to its end without touching the object.
    FCancelled = true;
    ResumeThread(FThread.Get());
  });
  WaitForSingleObject(FThread.Get(), INFINITE);
}

void TWorkerThread::Start() {
  std::call_once(FStarted, [this] {
    ResumeThread(FThread.Get());
    HANDLE handles[2] = {FReady.Get(), FThread.Get()};
    WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  });
}

bool TWorkerThread::WaitFor(DWORD timeoutMs) const {
  return WaitForSingleObject(FThread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

void TWorkerThread::Unhandled(const std::string& text) { OutputDebugStringA(text.c_str()); }

DWORD WINAPI TWorkerThread::ThreadProc(LPVOID param) {
  auto* self = static_cast<TWorkerThread*>(param);
  if (self->FCancelled) return 0;
  // The first call that touches messages gives the thread its queue.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  // An exception leaving a thread would end the host process (a browser):
  // nothing gets past here.
  try {
    self->Prepare();
  } catch (...) {
  }
  SetEvent(self->FReady.Get());
  try {
    self->Execute();
  } catch (const Exception& e) {
    self->Unhandled(e.Message());
  } catch (const std::exception& e) {
    self->Unhandled(e.what());
  } catch (...) {
    self->Unhandled("Unknown exception in thread");
  }
  return 0;
}
