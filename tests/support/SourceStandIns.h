#pragma once
// Stand-ins for what a source thread talks to: a message-only window for the
// control, which keeps every engine message it is posted, and a worker
// thread for the play thread, which keeps the index of every
// WM_KRM_FRAMEREADY.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/PlayerContext.h"
#include "base/WorkerThread.h"

class TPlayThread;

// How long the stand-ins wait by default: far beyond any sound answer.
constexpr DWORD kStandInBound = 10000;

class TControlSink {
 public:
  TControlSink();
  ~TControlSink();
  TControlSink(const TControlSink&) = delete;
  TControlSink& operator=(const TControlSink&) = delete;
  HWND Window() const { return FWindow; }

  // Pumps messages until pred holds or the bound passes.
  bool WaitUntil(const std::function<bool()>& pred, DWORD bound = kStandInBound);
  // 0 for WM_KRM_OPENED, the code for WM_KRM_ERROR, -1 when neither came;
  // each call looks only at messages after those an earlier call answered.
  int WaitForOpenResult(DWORD bound = kStandInBound);
  const std::vector<std::pair<UINT, WPARAM>>& Messages() const { return FMessages; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND FWindow = nullptr;
  size_t FSeen = 0;
  std::vector<std::pair<UINT, WPARAM>> FMessages;
};

class TPlayStandIn : public TWorkerThread {
 public:
  TPlayStandIn() { Start(); }
  ~TPlayStandIn() override;
  bool WaitForReady(size_t count, DWORD bound = kStandInBound);
  std::vector<int32_t> Ready();
  TPlayThread* AsPlayThread() { return reinterpret_cast<TPlayThread*>(static_cast<TWorkerThread*>(this)); }

 protected:
  void Execute() override;

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<int32_t> FReady;
};

// Every daily log file's text, to find what a source logged.
std::string LogText();

// What a source under test is created on: the three buffers, both stand-ins
// and the play context pointing at them.
struct TSourceBench {
  TSourceBench();
  TSourceBench(const TSourceBench&) = delete;
  TSourceBench& operator=(const TSourceBench&) = delete;
  TFramesBuffer Frames;
  TKeyFramesBuffer KeyFrames;
  TIndexTable Index;
  TPlayStandIn Play;
  TControlSink Sink;
  PlayerContext Context = {};
};

// A folder of this process's own in the temporary folder, made when missing.
std::string TestTempFolder(const std::string& Prefix);
