#include "core/FaultingThread.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "processing/ReportLog.h"

namespace RevavaRez {

namespace {

enum class TSlot { Empty, Pending, Running };

// The slot and the waiting mark. Made on first use and never freed, so that
// a thread ending at process exit still finds them.
struct TFaultingThread {
  std::mutex Lock;
  // Told about every change of the slot and of the mark.
  std::condition_variable Changed;
  bool Waiting = false;
  DWORD WaitingThreadID = 0;
  TSlot Slot = TSlot::Empty;
  const std::function<void()>* Procedure = nullptr;
};

TFaultingThread& Faulting() {
  static TFaultingThread* faulting = new TFaultingThread;
  return *faulting;
}

void RunSwallowing(const std::function<void()>& procedure) {
  try {
    procedure();
  } catch (...) {
    // A handler that raises answers nothing; the report goes on.
  }
}

// True when the faulting thread ran the procedure; false when it stopped
// waiting first (the slot is then given up, and the caller runs it).
bool HandOver(const std::function<void()>& procedure) {
  TFaultingThread& faulting = Faulting();
  std::unique_lock<std::mutex> lock(faulting.Lock);
  const auto canHand = [&] {
    return faulting.Waiting && faulting.WaitingThreadID != GetCurrentThreadId();
  };
  // Another thread's procedure may hold the slot.
  faulting.Changed.wait(lock, [&] { return !canHand() || faulting.Slot == TSlot::Empty; });
  if (!canHand()) return false;
  faulting.Slot = TSlot::Pending;
  faulting.Procedure = &procedure;
  faulting.Changed.notify_all();
  // A procedure already running is waited for, even should the mark go.
  faulting.Changed.wait(lock, [&] {
    return faulting.Slot == TSlot::Empty || (!faulting.Waiting && faulting.Slot == TSlot::Pending);
  });
  if (faulting.Slot == TSlot::Empty) return true;
  // The faulting thread left without taking it.
  faulting.Slot = TSlot::Empty;
  faulting.Procedure = nullptr;
  faulting.Changed.notify_all();
  return false;
}

}  // namespace

void RunInFaultingThread(const std::function<void()>& procedure) {
  if (!procedure) return;
  if (!HandOver(procedure)) RunSwallowing(procedure);
  RecomputeDuplicateFound();
}

void SetFaultingThreadWaiting(bool waiting) {
  TFaultingThread& faulting = Faulting();
  std::lock_guard<std::mutex> lock(faulting.Lock);
  faulting.Waiting = waiting;
  faulting.WaitingThreadID = waiting ? GetCurrentThreadId() : 0;
  faulting.Changed.notify_all();
}

bool FaultingThreadWaits() {
  TFaultingThread& faulting = Faulting();
  std::lock_guard<std::mutex> lock(faulting.Lock);
  return faulting.Waiting;
}

bool ProcedurePending() {
  TFaultingThread& faulting = Faulting();
  std::lock_guard<std::mutex> lock(faulting.Lock);
  return faulting.Slot == TSlot::Pending;
}

bool RunPendingProcedure(uint32_t waitMilliseconds) {
  TFaultingThread& faulting = Faulting();
  const std::function<void()>* procedure = nullptr;
  {
    std::unique_lock<std::mutex> lock(faulting.Lock);
    faulting.Changed.wait_for(lock, std::chrono::milliseconds(waitMilliseconds),
                              [&] { return faulting.Slot == TSlot::Pending; });
    if (faulting.Slot != TSlot::Pending) return false;
    faulting.Slot = TSlot::Running;
    procedure = faulting.Procedure;
  }
  RunSwallowing(*procedure);
  {
    std::lock_guard<std::mutex> lock(faulting.Lock);
    faulting.Slot = TSlot::Empty;
    faulting.Procedure = nullptr;
    faulting.Changed.notify_all();
  }
  return true;
}

}  // namespace RevavaRez
