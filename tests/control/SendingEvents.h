#pragma once
// Events of a container whose OnString handler, once armed, tells the test
// it is running and then sends Message to Host. The live source's thread
// then waits in that send until the control's thread takes the message,
// which it does only while it waits for its threads (in Close, for one).
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "RecordingEvents.h"
#include "base/EngineMessages.h"

class TSendingEvents : public TRecordingEvents {
 public:
  HWND Host = nullptr;
  UINT Message = WM_APP + 1;
  // Sends only once a stop waits in the source thread's queue: the control
  // is then inside its wait for the threads, past what it did before it.
  bool SendWhenStopping = false;
  std::atomic<bool> Armed{false};
  HANDLE InHandler = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~TSendingEvents() override { CloseHandle(InHandler); }

  void OnString(const std::wstring& Text) override {
    TRecordingEvents::OnString(Text);
    if (!Armed.exchange(false)) return;
    SetEvent(InHandler);
    if (SendWhenStopping) WaitForStop();
    SendMessageW(Host, Message, 0, 0);
  }

 private:
  static void WaitForStop() {
    const DWORD start = GetTickCount();
    MSG msg;
    while (!PeekMessageW(&msg, nullptr, WM_KRM_STOP, WM_KRM_STOP, PM_NOREMOVE)) {
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= 10000) return;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000 - elapsed, QS_POSTMESSAGE);
    }
  }
};

// Runs Close while the armed handler waits in its send: a thread pushes
// string packets (Push(text) sends one to the control) until Close has
// returned, so that one of them finds the handler armed. Answers how long
// Close took, or nothing (and Close has not run) when the handler was never
// reached. A Close that does not return within 10 s ends the program, since
// the control's thread could then never be given back to the test.
template <class TPush, class TClose>
bool CloseWhileHandlerSends(TSendingEvents& Events, TPush Push, TClose Close,
                            std::chrono::steady_clock::duration& Took) {
  std::atomic<bool> streaming{true};
  std::thread strings([&] {
    for (int i = 0; streaming && i < 4000; ++i) {
      Push("s" + std::to_string(i));
      Sleep(5);  // the stream's pace, not a wait for anything
    }
  });
  HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread watchdog([&] {
    if (WaitForSingleObject(closed, 10000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "Close deadlocked with an event handler sending to the container\n");
      std::fflush(stderr);
      ExitProcess(3);
    }
  });
  Events.Armed = true;
  // Not pumping: once signalled, the handler is blocked in its send to us.
  const bool reached = WaitForSingleObject(Events.InHandler, 10000) == WAIT_OBJECT_0;
  if (reached) {
    const auto start = std::chrono::steady_clock::now();
    Close();
    Took = std::chrono::steady_clock::now() - start;
  }
  Events.Armed = false;
  SetEvent(closed);
  streaming = false;
  strings.join();
  watchdog.join();
  CloseHandle(closed);
  return reached;
}
