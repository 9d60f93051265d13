// A procedure meant for the faulting thread runs there only while that
// thread waits for its report; otherwise on the caller, at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/FaultingThread.h"

using namespace RevavaRez;

namespace {

// Polls a condition another thread makes true; a bound the fault (a caller
// waiting for good) would exceed.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 10000; ++i) {
    if (condition()) return true;
    Sleep(1);
  }
  return condition();
}

// Stands for the faulting thread's wait loop: marks itself waiting and runs
// what it is handed until told to stop, or only marks itself when it takes
// nothing.
class TWaitingThread {
 public:
  explicit TWaitingThread(bool takes) : FThread([this, takes] {
      SetFaultingThreadWaiting(true);
      FID = GetCurrentThreadId();
      FReady = true;
      while (!FStop) {
        if (takes) {
          RunPendingProcedure(10);
        } else {
          Sleep(1);
        }
      }
      SetFaultingThreadWaiting(false);
    }) {
    WaitFor([this] { return FReady.load(); });
  }
  ~TWaitingThread() { Stop(); }
  void Stop() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
  }
  DWORD ID() const { return FID; }

 private:
  std::atomic<bool> FReady{false}, FStop{false};
  std::atomic<DWORD> FID{0};
  std::thread FThread;
};

// Runs RunInFaultingThread on a thread of its own; the procedure notes the
// thread it ran on and then raises, which must not reach the caller.
struct THandingThread {
  std::atomic<DWORD> CallerID{0}, RanOn{0};
  std::atomic<bool> Returned{false}, Escaped{false};
  std::thread Thread;
  THandingThread()
      : Thread([this] {
          CallerID = GetCurrentThreadId();
          try {
            RunInFaultingThread([this] {
              RanOn = GetCurrentThreadId();
              throw std::runtime_error("handler failure");
            });
          } catch (...) {
            Escaped = true;
          }
          Returned = true;
        }) {}
  // A caller left waiting for good (the fault) is freed by running its
  // procedure here, so that a failing test still ends.
  ~THandingThread() {
    for (int i = 0; i < 1000 && !Returned; ++i) RunPendingProcedure(10);
    if (Thread.joinable()) Thread.join();
  }
};

TEST(FaultingThread, WithoutAWaitingFaultingThreadTheProcedureRunsAtOnceOnTheCaller) {
  THandingThread caller;
  ASSERT_TRUE(WaitFor([&] { return caller.Returned.load(); }));
  EXPECT_EQ(caller.RanOn.load(), caller.CallerID.load());
  EXPECT_FALSE(caller.Escaped);
}

TEST(FaultingThread, TheWaitingThreadRunsWhatAnotherThreadHandsIt) {
  TWaitingThread faulting(true);
  THandingThread caller;
  ASSERT_TRUE(WaitFor([&] { return caller.Returned.load(); }));
  EXPECT_EQ(caller.RanOn.load(), faulting.ID());
  EXPECT_FALSE(caller.Escaped);
  EXPECT_FALSE(ProcedurePending());
}

TEST(FaultingThread, TheWaitingThreadItselfRunsItsProcedureAtOnce) {
  std::atomic<DWORD> ranOn{0}, ownID{0};
  std::atomic<bool> done{false};
  std::thread faulting([&] {
    SetFaultingThreadWaiting(true);
    ownID = GetCurrentThreadId();
    RunInFaultingThread([&] { ranOn = GetCurrentThreadId(); });
    SetFaultingThreadWaiting(false);
    done = true;
  });
  const bool ended = WaitFor([&] { return done.load(); });
  if (!ended) RunPendingProcedure(0);  // frees a thread that handed to itself
  faulting.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ranOn.load(), ownID.load());
}

TEST(FaultingThread, AProcedureNotTakenBeforeTheFaultingThreadLeavesRunsOnTheCaller) {
  TWaitingThread faulting(false);
  THandingThread caller;
  ASSERT_TRUE(WaitFor([] { return ProcedurePending(); }));
  EXPECT_FALSE(caller.Returned);
  faulting.Stop();
  ASSERT_TRUE(WaitFor([&] { return caller.Returned.load(); }));
  EXPECT_EQ(caller.RanOn.load(), caller.CallerID.load());
  EXPECT_FALSE(ProcedurePending());
}

}  // namespace
