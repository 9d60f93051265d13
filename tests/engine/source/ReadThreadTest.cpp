// The source thread base: its loop, stop protocol, send and bit rate, seen
// through a probe source that records what its handlers were given.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/EngineMessages.h"
#include "source/ReadThread.h"

namespace {

constexpr DWORD kBound = 10000;

class TProbeSource : public TReadThread {
 public:
  explicit TProbeSource(PlayerContext* context) : TReadThread(context) {
    FStopQueued = TKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FGate = TKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  }
  ~TProbeSource() override {
    SetEvent(FGate.Get());
    Stop();
    EndThread();
  }

  // The next open holds the loop until a stop command is queued behind it,
  // then until the test opens the gate.
  void HoldNextOpen() { FHold = true; }
  HANDLE StopQueued() const { return FStopQueued.Get(); }
  void OpenGate() { SetEvent(FGate.Get()); }
  void Count(uint64_t bytes) { AddBytes(bytes); }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(FLock);
    return FCalls;
  }
  bool WaitForCalls(size_t count) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(kBound), [&] { return FCalls.size() >= count; });
  }

 protected:
  void HandleOpen() override {
    if (FHold.exchange(false)) {
      MSG msg;
      auto until = GetTickCount64() + kBound;
      while (!PeekMessageW(&msg, nullptr, WM_KRM_STOP, WM_KRM_STOP, PM_NOREMOVE) && GetTickCount64() < until)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLPOSTMESSAGE);
      SetEvent(FStopQueued.Get());
      WaitForSingleObject(FGate.Get(), kBound);
    }
    SetState(rsStreaming);
    Record("open");
  }
  void HandleRead(int32_t time) override { Record("read " + std::to_string(time)); }
  void HandleSeek(uint32_t time) override { Record("seek " + std::to_string(time)); }
  void HandleSend(const MSG& msg) override {
    Record("send " + std::string(reinterpret_cast<const char*>(msg.wParam), size_t(msg.lParam)));
    TReadThread::HandleSend(msg);
  }

 private:
  void Record(const std::string& call) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FCalls.push_back(call);
    }
    FChanged.notify_all();
  }

  std::atomic<bool> FHold{false};
  TKernelHandle FStopQueued;
  TKernelHandle FGate;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::string> FCalls;
};

class ReadThreadTest : public ::testing::Test {
 protected:
  PlayerContext FContext{};
};

TEST_F(ReadThreadTest, StopDiscardsCommandsQueuedBeforeItIsHandledAndLaterOpensRun) {
  TProbeSource source(&FContext);
  source.HoldNextOpen();
  source.Open(L"x.krm", "");
  std::thread stopper([&] { source.Stop(); });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(source.StopQueued(), kBound));
  // Queued while the stop waits to be handled: it must never run.
  ASSERT_TRUE(source.Read(5));
  void* text = std::malloc(4);
  std::memcpy(text, "late", 4);
  ASSERT_TRUE(PostThreadMessageW(source.ThreadID(), WM_KRM_SEND, reinterpret_cast<WPARAM>(text), 4));
  source.OpenGate();
  stopper.join();
  EXPECT_EQ(rsIdle, source.State());
  EXPECT_FALSE(source.Aborted());

  source.Open(L"x.krm", "");
  ASSERT_TRUE(source.WaitForCalls(2));
  EXPECT_EQ((std::vector<std::string>{"open", "open"}), source.Calls());
}

TEST_F(ReadThreadTest, ReadAndSeekPassTheirTimes) {
  TProbeSource source(&FContext);
  source.Read(-1);
  source.Read(1500);
  source.Seek(65000);
  ASSERT_TRUE(source.WaitForCalls(3));
  EXPECT_EQ((std::vector<std::string>{"read -1", "read 1500", "seek 65000"}), source.Calls());
}

TEST_F(ReadThreadTest, SendPostsOnlyNonEmptyTextWhileStreamingAndReadsOnAfterIt) {
  TProbeSource source(&FContext);
  EXPECT_FALSE(source.Send("before open"));  // state 0
  source.Open(L"x.krm", "");
  ASSERT_TRUE(source.WaitForCalls(1));
  EXPECT_FALSE(source.Send(""));
  EXPECT_TRUE(source.Send("REQUEST a"));
  ASSERT_TRUE(source.WaitForCalls(3));
  EXPECT_EQ((std::vector<std::string>{"open", "send REQUEST a", "read -1"}), source.Calls());
}

TEST_F(ReadThreadTest, UnknownMessagesAreTakenAndIgnored) {
  TProbeSource source(&FContext);
  source.Start();
  for (UINT msg : {WM_KRM_OPENED, WM_KRM_FRAMEREADY, WM_KRM_TRIM, UINT(WM_USER + 700), UINT(WM_APP + 3)})
    ASSERT_TRUE(PostThreadMessageW(source.ThreadID(), msg, 1, 2));
  source.Open(L"x.krm", "");
  ASSERT_TRUE(source.WaitForCalls(1));
  EXPECT_EQ((std::vector<std::string>{"open"}), source.Calls());
  EXPECT_FALSE(source.Finished());
}

TEST_F(ReadThreadTest, BitRateIsZeroWithinASecondAndKbitPerSecondAfter) {
  std::atomic<uint32_t> now{10000};
  TProbeSource source(&FContext);
  source.SetClock([&] { return now.load(); });
  source.Start();  // the measurement starts at 10000

  now = 10999;
  EXPECT_EQ(0u, source.GetBitRate());
  source.Count(250000);
  now = 12000;
  EXPECT_EQ(1000u, source.GetBitRate());  // 2,000,000 bits in 2,000 ms
  source.Count(125000);
  now = 12500;
  EXPECT_EQ(0u, source.GetBitRate());  // within a second of the last answer, still counting
  now = 13000;
  EXPECT_EQ(1000u, source.GetBitRate());
}

TEST_F(ReadThreadTest, BitRateSpansTheClockWrap) {
  std::atomic<uint32_t> now{0xFFFFFF00u};
  TProbeSource source(&FContext);
  source.SetClock([&] { return now.load(); });
  source.Start();

  source.Count(250000);
  now = 0xFFFFFF00u + 999u;  // past the wrap, within the second
  EXPECT_EQ(0u, source.GetBitRate());
  now = 0xFFFFFF00u + 2000u;
  EXPECT_EQ(1000u, source.GetBitRate());
}

TEST_F(ReadThreadTest, StopReturnsWhenTheThreadHasAlreadyEnded) {
  TProbeSource source(&FContext);
  source.Start();
  PostThreadMessageW(source.ThreadID(), WM_QUIT, 0, 0);
  ASSERT_TRUE(source.WaitFor(kBound));
  source.Stop();  // must neither hang nor wait on a dead queue
  EXPECT_FALSE(source.Send("x"));
}

}  // namespace
