// The control's behaviour driven directly, as the COM object drives it: real
// recordings from the test writer, real engine threads, the control's real
// window, and a sink that records every event.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BrindoluxCtrl.h"
#include "ControlTexts.h"
#include "base/EngineMessages.h"
#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "KrmWriter.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "render/PlayThread.h"
#include "source/ReadThread.h"
#include "RecordingEvents.h"

namespace {

constexpr DWORD kWaitMs = 10000;


// Dispatches messages until the condition holds or the time is up.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = kWaitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (Done()) return true;
    }
    if (Done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= TimeoutMs) return false;
    // Some conditions change without a message (a thread's position): look
    // again at least every 20 ms.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(TimeoutMs - elapsed, 20), QS_ALLINPUT);
  }
}

// Waits, without dispatching anything, until a message of that number is
// queued for the window.
bool WaitQueued(HWND Wnd, UINT Msg, DWORD TimeoutMs = kWaitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    if (PeekMessageW(&msg, Wnd, Msg, Msg, PM_NOREMOVE)) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= TimeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, TimeoutMs - elapsed, QS_POSTMESSAGE);
  }
}

// Dispatches what is already queued for this thread (our own posts).
void PumpQueued() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "brx_ctrl_" + name;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A short recording: a green key frame, a red patch, and a marker at its
// duration, where the play thread reports the end.
std::string ShortRecording() {
  static const std::string path = [] {
    KrmWriter writer(64, 48);
    writer.SetDuration(300);
    writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
    writer.AddFrame(150, FT_COPY, CT_RAW, BmpFileImage(TestPicture(8, 8, 0, 0, 220)), 10, 10);
    writer.AddMarker(300);
    const std::string p = TempPath("short.krm");
    writer.SaveToFile(p);
    return p;
  }();
  return path;
}

// A recording that plays for a minute, a key frame every 10 s.
std::string WriteMinuteRecording(int Width, int Height, const char* Name) {
  KrmWriter writer(Width, Height);
  writer.SetDuration(60000);
  for (uint32_t t = 0; t < 60000; t += 10000)
    writer.AddKeyFrame(t, CT_RAW, BmpFileImage(TestPicture(Width, Height, 30, 30, uint8_t(t / 1000))));
  const std::string path = TempPath(Name);
  writer.SaveToFile(path);
  return path;
}

// For everything that happens while a source is open.
std::string LongRecording() {
  static const std::string path = WriteMinuteRecording(64, 48, "long.krm");
  return path;
}

class BrindoluxCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override { FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents); }

  bool WaitForState(TStatus State, DWORD TimeoutMs = kWaitMs) {
    return PumpUntil([&] { return FCtrl->GetStatus() == State; }, TimeoutMs);
  }

  // Opens the minute-long recording without starting it.
  void OpenStill() {
    FCtrl->SetAutoStart(false);
    FCtrl->Open(Wide(LongRecording()));
    ASSERT_TRUE(WaitForState(bxOpened));
    FEvents.States.clear();
  }

  TRecordingEvents FEvents;
  std::unique_ptr<TBrindoluxCtrl> FCtrl;
};

TEST_F(BrindoluxCtrlTest, PlaysARecordingToItsEndAndShowsIt) {
  FCtrl->Open(Wide(ShortRecording()));
  ASSERT_TRUE(PumpUntil([&] { return FEvents.States.size() >= 5; })) << FEvents.States.size();
  PumpQueued();
  const std::vector<TStatus> expected{bxOpening, bxOpened, bxPlaying, bxStopped, bxStopped};
  EXPECT_EQ(FEvents.States, expected);
  EXPECT_EQ(FCtrl->GetStatus(), bxStopped);
  EXPECT_EQ(FCtrl->GetDuration(), 300);
  EXPECT_EQ(FCtrl->GetKRMWidth(), 64);
  EXPECT_EQ(FCtrl->GetKRMHeight(), 48);
  EXPECT_EQ(FCtrl->GetURL(), Wide(ShortRecording()));

  // The picture received the frames 1:1 through the dirty rectangles: the
  // key frame's green, and the red patch at (10, 10).
  const TDetailFrame& frame = FCtrl->DetailFrame();
  EXPECT_TRUE(frame.PictureVisible());
  EXPECT_EQ(frame.PicturePixel(0, 0), RGB(0, 200, 0));
  EXPECT_EQ(frame.PicturePixel(12, 12), RGB(220, 0, 0));
  EXPECT_EQ(frame.PicturePixel(63, 47), RGB(0, 200, 0));
}

TEST_F(BrindoluxCtrlTest, WithoutAutoStartStaysOpened) {
  FCtrl->SetAutoStart(false);
  FCtrl->Open(Wide(ShortRecording()));
  ASSERT_TRUE(WaitForState(bxOpened));
  PumpQueued();
  const std::vector<TStatus> expected{bxOpening, bxOpened};
  EXPECT_EQ(FEvents.States, expected);
  EXPECT_EQ(FCtrl->GetStatus(), bxOpened);
  EXPECT_EQ(FCtrl->GetCurrentPosition(), 0);
}

using TMember = void (TBrindoluxCtrl::*)();

// What the play thread does once it has taken the commands of a control in
// that state: playing or scanning at Speed, paused or stopped.
bool EngineAgrees(const TBrindoluxCtrl& Ctrl, int32_t Speed) {
  const TPlayThread* play = Ctrl.Context().PlayThread;
  const TReadThread* read = Ctrl.Context().ReadThread;
  switch (Ctrl.GetStatus()) {
    case bxClosed:
      return !play && !read;
    case bxOpening:
      return !play && read;
    case bxOpened:
    case bxStopped:
      return play && read && play->State() == TPlayThread::psStopped;
    case bxPlaying:
    case bxScanForward:
      return play && read && play->State() == TPlayThread::psPlaying && play->Speed() == Speed;
    case bxPaused:
      return play && read && play->State() == TPlayThread::psPaused;
    default:
      return false;
  }
}

// The whole table of the play members by state: what each fires, the state
// it leaves and what the play thread was told. bxScanReverse and bxSeeking
// are never entered, so no member can be called in them.
TEST_F(BrindoluxCtrlTest, MembersByState) {
  using C = TBrindoluxCtrl;
  using S = std::vector<TStatus>;
  const S none;
  const TMember members[] = {&C::Play, &C::Pause, &C::Stop, &C::FastForward, &C::FastReverse};
  const char* const names[] = {"Play", "Pause", "Stop", "FastForward", "FastReverse"};
  struct TRow {
    TStatus State;
    std::vector<TMember> Reach;  // from bxOpened
    S Fired[5];                  // by member, in the order above
  };
  const TRow rows[] = {
      {bxClosed, {}, {none, none, none, none, none}},
      {bxOpened, {}, {{bxPlaying}, none, none, {bxPlaying, bxScanForward}, {bxPlaying}}},
      {bxPlaying, {&C::Play}, {none, {bxPaused}, {bxStopped}, {bxScanForward}, none}},
      {bxPaused,
       {&C::Play, &C::Pause},
       {{bxPlaying}, none, {bxPlaying, bxStopped}, {bxPlaying, bxScanForward}, {bxPlaying}}},
      {bxStopped, {&C::Play, &C::Stop}, {{bxPlaying}, none, none, {bxPlaying, bxScanForward}, {bxPlaying}}},
      {bxScanForward,
       {&C::FastForward},
       {{bxPlaying}, {bxPaused}, {bxPlaying, bxStopped}, {bxScanForward}, {bxPlaying}}},
      {bxOpening, {}, {none, none, none, none, none}},
  };
  for (const TRow& row : rows) {
    for (size_t m = 0; m < 5; ++m) {
      SCOPED_TRACE(std::string(names[m]) + " in state " + std::to_string(row.State));
      FCtrl = std::make_unique<TBrindoluxCtrl>(&FEvents);
      FCtrl->SetAutoStart(false);
      if (row.State == bxOpening) {
        // Nothing is dispatched, so the opened report waits in the queue.
        FCtrl->Open(Wide(LongRecording()));
      } else if (row.State != bxClosed) {
        OpenStill();
        for (TMember step : row.Reach) ((*FCtrl).*step)();
      }
      ASSERT_EQ(FCtrl->GetStatus(), row.State);
      FEvents.States.clear();
      ((*FCtrl).*members[m])();
      EXPECT_EQ(FEvents.States, row.Fired[m]);
      const TStatus after = row.Fired[m].empty() ? row.State : row.Fired[m].back();
      EXPECT_EQ(FCtrl->GetStatus(), after);
      if (row.State == bxOpening) {
        EXPECT_TRUE(EngineAgrees(*FCtrl, 0));
        continue;
      }
      // A second FastForward while scanning doubles the speed again; a play
      // command that reaches the running loop keeps the speed it has.
      const int32_t speed = after == bxScanForward ? (row.State == bxScanForward ? 4 : 2)
                            : row.State == bxScanForward ? 2
                                                         : 1;
      EXPECT_TRUE(PumpUntil([&] { return EngineAgrees(*FCtrl, speed); }));
    }
  }
}

// A container that calls back into the control once, from inside the
// OnPlayStateChanged of one state.
class TReactingEvents : public TRecordingEvents {
 public:
  TStatus Trigger = bxClosed;
  std::function<void()> Reaction;
  bool Reacted = false;

  void OnPlayStateChanged(TStatus NewState) override {
    TRecordingEvents::OnPlayStateChanged(NewState);
    if (NewState != Trigger || Reacted || !Reaction) return;
    Reacted = true;
    Reaction();
  }
};

// A second recording, told from the first by its size.
std::string OtherRecording() {
  static const std::string path = WriteMinuteRecording(32, 24, "other.krm");
  return path;
}

// A handler that closes, reopens or stops the control from inside each state
// change of a member or of the opening, compound actions included: each
// step goes on only while the state and the source are still what it set.
TEST(BrindoluxCtrlReentry, HandlerCallsBackFromInsideAStateChange) {
  using C = TBrindoluxCtrl;
  enum TReaction { rClose, rOpen, rURL, rStop };
  const char* const reactionNames[] = {"Close", "Open", "URL", "Stop"};
  struct TDriver {
    const char* Name;
    bool AutoStart;
    std::vector<TMember> Reach;  // from bxOpened; none: the driver opens
    TStatus Trigger;
    TMember Action;              // null: Open of the first recording
    TStatus AfterStop;           // the state a Stop from the handler leaves
    bool Ends;                   // the first recording is the short one
  };
  const TDriver drivers[] = {
      {"opening", false, {}, bxOpening, nullptr, bxOpened, false},
      {"opened, playing at once", true, {}, bxOpened, nullptr, bxPlaying, false},
      {"Play", false, {}, bxPlaying, &C::Play, bxStopped, false},
      {"Stop from paused", false, {&C::Play, &C::Pause}, bxPlaying, &C::Stop, bxStopped, false},
      {"FastForward from opened", false, {}, bxPlaying, &C::FastForward, bxStopped, false},
      {"Pause", false, {&C::Play}, bxPaused, &C::Pause, bxStopped, false},
      {"FastForward while playing", false, {&C::Play}, bxScanForward, &C::FastForward, bxStopped, false},
      {"the end of the recording", true, {}, bxStopped, nullptr, bxStopped, true},
  };
  const std::wstring other = Wide(OtherRecording());
  for (const TDriver& driver : drivers) {
    const std::wstring first = Wide(driver.Ends ? ShortRecording() : LongRecording());
    for (TReaction reaction : {rClose, rOpen, rURL, rStop}) {
      SCOPED_TRACE(std::string(reactionNames[reaction]) + " inside " + driver.Name);
      TReactingEvents events;
      auto ctrl = std::make_unique<TBrindoluxCtrl>(&events);
      ctrl->SetAutoStart(driver.AutoStart);
      if (driver.Action) {
        ctrl->Open(first);
        ASSERT_TRUE(PumpUntil([&] { return ctrl->GetStatus() == bxOpened; }));
        for (TMember step : driver.Reach) ((*ctrl).*step)();
      }
      events.Trigger = driver.Trigger;
      events.Reaction = [&, reaction] {
        switch (reaction) {
          case rClose:
            ctrl->Close();
            break;
          case rOpen:
            ctrl->Open(other);
            break;
          case rURL:
            ctrl->SetURL(other);
            break;
          case rStop:
            ctrl->Stop();
            break;
        }
      };
      if (driver.Action)
        EXPECT_NO_THROW(((*ctrl).*driver.Action)());
      else
        EXPECT_NO_THROW(ctrl->Open(first));
      // The opened report and the end fire their states only once they are
      // dispatched.
      ASSERT_TRUE(PumpUntil([&] { return events.Reacted; }));

      const bool reopened = reaction == rOpen || reaction == rURL;
      const TStatus expected = reaction == rClose ? bxClosed
                               : reopened         ? (driver.AutoStart ? bxPlaying : bxOpened)
                                                  : driver.AfterStop;
      EXPECT_TRUE(PumpUntil([&] { return ctrl->GetStatus() == expected && EngineAgrees(*ctrl, 1); }))
          << "state " << ctrl->GetStatus();
      PumpQueued();
      EXPECT_EQ(ctrl->GetStatus(), expected);
      // The container heard of every state it is in.
      ASSERT_FALSE(events.States.empty());
      EXPECT_EQ(events.States.back(), ctrl->GetStatus());
      EXPECT_EQ(ctrl->GetURL(), reopened ? other : first);
      EXPECT_EQ(ctrl->GetKRMWidth(), expected == bxClosed ? 0 : reopened ? 32 : 64);
    }
  }
}

TEST_F(BrindoluxCtrlTest, CloseWhileOpeningCancelsAndClearsTheContext) {
  FCtrl->Open(Wide(LongRecording()));
  // Let the source read its header and report it, but do not hand the
  // report to the control yet.
  ASSERT_NE(FCtrl->Context().ReadThread, nullptr);
  ASSERT_TRUE(WaitQueued(FCtrl->Handle(), WM_KRM_OPENED));
  ASSERT_EQ(FCtrl->Context().Header.Width, 64);
  FEvents.States.clear();
  FCtrl->Close();
  const std::vector<TStatus> expected{bxClosed};
  EXPECT_EQ(FEvents.States, expected);
  EXPECT_EQ(FCtrl->Context().ReadThread, nullptr);
  EXPECT_EQ(FCtrl->Context().Header.Width, 0);
  EXPECT_EQ(FCtrl->Context().Header.Duration, 0u);
  EXPECT_EQ(FCtrl->GetMax(), 0);
  // The opened report that was waiting is gone with the source.
  PumpQueued();
  EXPECT_EQ(FEvents.States, expected);
  EXPECT_EQ(FCtrl->GetStatus(), bxClosed);
}

TEST_F(BrindoluxCtrlTest, OpenedReportWithAnUnknownArgumentIsIgnored) {
  FCtrl->SetAutoStart(false);
  FCtrl->Open(Wide(LongRecording()));
  ASSERT_TRUE(WaitQueued(FCtrl->Handle(), WM_KRM_OPENED));
  // Put the injected report in front of the real one.
  MSG real;
  ASSERT_TRUE(PeekMessageW(&real, FCtrl->Handle(), WM_KRM_OPENED, WM_KRM_OPENED, PM_REMOVE));
  PostMessageW(FCtrl->Handle(), WM_KRM_OPENED, 9, 0);
  PumpQueued();
  EXPECT_EQ(FCtrl->GetStatus(), bxOpening);
  EXPECT_EQ(FCtrl->Context().PlayThread, nullptr);
  PostMessageW(FCtrl->Handle(), real.message, real.wParam, real.lParam);
  PumpQueued();
  EXPECT_EQ(FCtrl->GetStatus(), bxOpened);
  // A repeated report once opened changes nothing.
  const TPlayThread* play = FCtrl->Context().PlayThread;
  FEvents.States.clear();
  PostMessageW(FCtrl->Handle(), WM_KRM_OPENED, 0, 0);
  PumpQueued();
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(FCtrl->Context().PlayThread, play);
}

TEST_F(BrindoluxCtrlTest, ConnectionErrorClosesAndReopensAfterTheDelay) {
  OpenStill();
  // A code outside the reconnect set does nothing at all.
  PostMessageW(FCtrl->Handle(), WM_KRM_ERROR, 1, 0);
  PumpQueued();
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(FCtrl->GetStatus(), bxOpened);

  PostMessageW(FCtrl->Handle(), WM_KRM_ERROR, 7, 0);
  PumpQueued();
  EXPECT_EQ(FEvents.States, std::vector<TStatus>{bxClosed});
  const DWORD closedAt = GetTickCount();
  ASSERT_TRUE(WaitForState(bxOpened, TBrindoluxCtrl::AutoConnectDelayMs + kWaitMs));
  EXPECT_GE(GetTickCount() - closedAt, TBrindoluxCtrl::AutoConnectDelayMs - 200);
  const std::vector<TStatus> expected{bxClosed, bxOpening, bxOpened};
  EXPECT_EQ(FEvents.States, expected);
  EXPECT_EQ(FCtrl->GetURL(), Wide(LongRecording()));
}

TEST_F(BrindoluxCtrlTest, ConnectionErrorWithoutAutoConnectStays) {
  OpenStill();
  FCtrl->SetAutoConnect(false);
  PostMessageW(FCtrl->Handle(), WM_KRM_ERROR, 7, 0);
  PumpQueued();
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(FCtrl->GetStatus(), bxOpened);
}

// Answers every message box of this thread and keeps its text, so a test
// sees what the user would have seen.
class TMessageBoxCatcher {
 public:
  TMessageBoxCatcher() {
    GCatcher = this;
    FHook = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
  }
  ~TMessageBoxCatcher() {
    UnhookWindowsHookEx(FHook);
    GCatcher = nullptr;
  }
  std::vector<std::wstring> Texts;

 private:
  static LRESULT CALLBACK Hook(int Code, WPARAM WParam, LPARAM LParam) {
    if (Code == HCBT_ACTIVATE && GCatcher) {
      HWND box = reinterpret_cast<HWND>(WParam);
      wchar_t name[16] = {};
      GetClassNameW(box, name, 16);
      if (std::wstring(name) == L"#32770") {
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        GCatcher->Texts.push_back(text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    }
    return CallNextHookEx(nullptr, Code, WParam, LParam);
  }
  static TMessageBoxCatcher* GCatcher;
  HHOOK FHook;
};
TMessageBoxCatcher* TMessageBoxCatcher::GCatcher = nullptr;

TEST_F(BrindoluxCtrlTest, FailingReconnectIsShownAndGoesNoFurther) {
  // A channel file on a server that refuses the connection cannot be
  // fetched: the open fails at once, after the URL was taken.
  const std::wstring channel = L"http://127.0.0.1:1/channel.sms";
  EXPECT_THROW(FCtrl->Open(channel), Exception);
  EXPECT_EQ(FCtrl->GetStatus(), bxClosed);
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(FCtrl->GetURL(), channel);

  TMessageBoxCatcher boxes;
  PostMessageW(FCtrl->Handle(), WM_KRM_ERROR, 3, 0);
  ASSERT_TRUE(PumpUntil([&] { return !boxes.Texts.empty(); }, TBrindoluxCtrl::AutoConnectDelayMs + kWaitMs));
  PumpQueued();
  ASSERT_EQ(boxes.Texts.size(), 1u);
  EXPECT_NE(boxes.Texts[0].find(channel), std::wstring::npos) << boxes.Texts[0];
  EXPECT_EQ(FCtrl->GetStatus(), bxClosed);
  EXPECT_TRUE(FEvents.States.empty());
}

// The play thread's clock for the end-during-close test: 0 until armed;
// armed, it holds the play thread (and says so) until a stop command is
// queued for it, then jumps far past the recording's end, so that the last
// record is drawn and the end posted while the control waits for the stop.
std::atomic<bool> GHoldForStop{false};
std::atomic<bool> GHolding{false};
std::atomic<bool> GStopSeen{false};

uint32_t HoldingClock() {
  if (GStopSeen) return 1000000;
  if (!GHoldForStop) return 0;
  GHolding = true;
  const DWORD start = GetTickCount();
  MSG msg;
  while (!PeekMessageW(&msg, nullptr, WM_KRM_STOP, WM_KRM_STOP, PM_NOREMOVE)) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kWaitMs) return 0;
    MsgWaitForMultipleObjectsEx(0, nullptr, kWaitMs - elapsed, QS_POSTMESSAGE, 0);
  }
  GStopSeen = true;
  return 1000000;
}

TEST_F(BrindoluxCtrlTest, EndPostedWhileCloseStopsThePlayThreadIsDropped) {
  static const std::string path = [] {
    KrmWriter writer(64, 48);
    writer.SetDuration(300);
    writer.AddKeyFrame(0, CT_RAW, BmpFileImage(TestPicture(64, 48, 0, 200, 0)));
    writer.AddMarker(300);
    const std::string p = TempPath("ending.krm");
    writer.SaveToFile(p);
    return p;
  }();
  FCtrl->SetAutoStart(false);
  FCtrl->Open(Wide(path));
  ASSERT_TRUE(WaitForState(bxOpened));
  TPlayThread* play = FCtrl->Context().PlayThread;
  GHoldForStop = false;
  GHolding = false;
  GStopSeen = false;
  play->SetClock(&HoldingClock);
  FCtrl->Play();
  // The key frame drawn and the end buffered: once the clock jumps, the end
  // is due at once.
  ASSERT_TRUE(PumpUntil([&] { return play->RenderedCount() >= 1 && FCtrl->GetMax() == 300; }));
  GHoldForStop = true;
  ASSERT_TRUE(PumpUntil([] { return GHolding.load(); }));
  FEvents.States.clear();
  FCtrl->Close();
  ASSERT_TRUE(GStopSeen) << "the play thread was not held until the stop";
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, FCtrl->Handle(), WM_KRM_END, WM_KRM_END, PM_NOREMOVE));
  PumpQueued();
  EXPECT_EQ(FEvents.States, std::vector<TStatus>{bxClosed});
  EXPECT_EQ(FCtrl->GetStatus(), bxClosed);
}

TEST_F(BrindoluxCtrlTest, EndReportedJustBeforeCloseIsDropped) {
  OpenStill();
  FCtrl->Play();
  PostMessageW(FCtrl->Handle(), WM_KRM_END, 0, 0);
  FEvents.States.clear();
  FCtrl->Close();
  PumpQueued();
  EXPECT_EQ(FEvents.States, std::vector<TStatus>{bxClosed});
}

TEST_F(BrindoluxCtrlTest, DestroyingWhilePlayingEndsItsThreads) {
  FCtrl->Open(Wide(LongRecording()));
  ASSERT_TRUE(WaitForState(bxPlaying));
  ASSERT_TRUE(PumpUntil([&] { return FCtrl->GetCurrentPosition() > 100; }));
  HANDLE threads[2];
  const HANDLE process = GetCurrentProcess();
  ASSERT_TRUE(DuplicateHandle(process, FCtrl->Context().PlayThread->Handle(), process, &threads[0],
                              SYNCHRONIZE, FALSE, 0));
  ASSERT_TRUE(DuplicateHandle(process, FCtrl->Context().ReadThread->Handle(), process, &threads[1],
                              SYNCHRONIZE, FALSE, 0));
  // A watcher gives the threads 2 s from the start of the destruction.
  struct TWatch {
    HANDLE* Threads;
    DWORD Result;
  } watch{threads, WAIT_FAILED};
  HANDLE watcher = CreateThread(
      nullptr, 0,
      [](LPVOID p) WINAPI -> DWORD {
        auto* w = static_cast<TWatch*>(p);
        w->Result = WaitForMultipleObjects(2, w->Threads, TRUE, 2000);
        return 0;
      },
      &watch, 0, nullptr);
  ASSERT_TRUE(watcher);
  FCtrl.reset();
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  EXPECT_LT(watch.Result, WAIT_OBJECT_0 + 2) << "threads still running 2 s after destruction began";
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
}

// A container whose handler fails when it hears of the close.
class TFailingEvents : public TRecordingEvents {
 public:
  void OnPlayStateChanged(TStatus NewState) override {
    TRecordingEvents::OnPlayStateChanged(NewState);
    if (NewState == bxClosed) throw Exception("container failed");
  }
};

TEST_F(BrindoluxCtrlTest, FailingCloseInTheDestructorIsLoggedNotRaised) {
  TFailingEvents events;
  auto ctrl = std::make_unique<TBrindoluxCtrl>(&events);
  ctrl->Open(Wide(LongRecording()));
  ASSERT_TRUE(PumpUntil([&] { return ctrl->GetStatus() == bxPlaying; }));
  EXPECT_NO_THROW(ctrl.reset());
  EXPECT_EQ(events.States.back(), bxClosed);
  ASSERT_NE(GlobalLog().Instance(), nullptr);
  const std::string line = GlobalLog().Instance()->LastLine();
  EXPECT_NE(line.find("Close failed: container failed"), std::string::npos) << line;
}

TEST_F(BrindoluxCtrlTest, MembersWithNothingToDo) {
  // Closed: no play thread, nothing buffered, no live texts.
  FCtrl->SetCurrentPosition(1000);
  EXPECT_EQ(FCtrl->GetCurrentPosition(), 0);
  EXPECT_EQ(FCtrl->GetMediaTime(), 0);
  EXPECT_EQ(FCtrl->GetDuration(), 0);
  EXPECT_EQ(FCtrl->GetMax(), 0);
  EXPECT_EQ(FCtrl->GetMin(), 0);
  FCtrl->SendScript(L"x");
  FCtrl->Request(L"x");
  FCtrl->SetURL(L"   ");
  EXPECT_TRUE(FEvents.States.empty());
  EXPECT_EQ(FCtrl->GetURL(), L"");

  // Display mode: the same mode or an unknown value fires nothing; leaving
  // full screen through FullScreen false is ignored.
  FCtrl->SetDisplayMode(dmAdaptive);
  FCtrl->SetDisplayMode(static_cast<TDisplayMode>(3));
  EXPECT_TRUE(FEvents.Modes.empty());
  FCtrl->SetFullScreen(true);
  FCtrl->SetFullScreen(false);
  FCtrl->SetDisplayMode(dmFull);
  EXPECT_EQ(FEvents.Modes, std::vector<TDisplayMode>{dmFull});
  EXPECT_TRUE(FCtrl->GetFullScreen());
  FCtrl->SetDisplayMode(dmOriginal);
  EXPECT_EQ(FCtrl->GetDisplayMode(), dmOriginal);

  // Open: a seek below zero is ignored; a live address answers empty texts.
  OpenStill();
  FCtrl->SetCurrentPosition(-1);
  EXPECT_EQ(FCtrl->GetCurrentPosition(), 0);
  EXPECT_EQ(FCtrl->GetHost(), L"");
  EXPECT_EQ(FCtrl->GetTitle(), L"");
  EXPECT_TRUE(FEvents.States.empty());

  // URL put keeps the blanks it was given.
  FCtrl->SetURL(L" a.krm");
  EXPECT_EQ(FCtrl->GetURL(), L" a.krm");
  EXPECT_EQ(FCtrl->GetStatus(), bxOpening);
}

TEST_F(BrindoluxCtrlTest, BackgroundColourText) {
  struct {
    const wchar_t* Put;
    const wchar_t* Get;  // null: the put fails
  } cases[] = {
      {L"#FF8000", L"#FF8000"}, {L"X00ff00", L"#00FF00"}, {L"FF8000", nullptr},
      {L"#FF80000", nullptr},   {L"#GG0000", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Put);
    FCtrl->SetbgColor(L"#000000");
    if (c.Get) {
      FCtrl->SetbgColor(c.Put);
      EXPECT_EQ(FCtrl->GetbgColor(), c.Get);
    } else {
      EXPECT_THROW(FCtrl->SetbgColor(c.Put), Exception);
      EXPECT_EQ(FCtrl->GetbgColor(), L"#000000");
    }
  }
  // The description is the failure's own text: the wrong length, or the
  // number parser's conversion error, which names the number alone.
  const struct {
    const wchar_t* Put;
    const char* Message;
  } failures[] = {
      {L"FF8000", "Unknown color format"},
      {L"#GG0000", "'0xGG' is not a valid integer value"},
      {L"#00FFz0", "'0xz0' is not a valid integer value"},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.Put);
    try {
      FCtrl->SetbgColor(f.Put);
      ADD_FAILURE() << "no failure";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), f.Message);
    }
  }
}

TEST_F(BrindoluxCtrlTest, ClicksMouseAndKeysReachTheContainer) {
  // A right click would open the popup menu's modal loop.
  FCtrl->SetContextMenu(false);
  const HWND form = FCtrl->Handle();
  const HWND frame = FCtrl->DetailFrame().Handle();
  const HWND picture = FCtrl->DetailFrame().imgPic();
  SendMessageW(form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
  SendMessageW(form, WM_LBUTTONUP, 0, MAKELPARAM(1, 2));
  SendMessageW(form, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(1, 2));
  SendMessageW(frame, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 6));
  SendMessageW(frame, WM_RBUTTONUP, 0, MAKELPARAM(5, 6));
  SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(7, 8));
  SendMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  SendMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
  SendMessageW(picture, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(9, 9));
  SendMessageW(form, WM_CHAR, 'A', 0);
  const std::vector<std::string> expected{"click",      "dblclick", "down 1 5,6", "up 1 5,6",   "move 7,8",
                                          "down 0 3,4", "up 0 3,4", "click",      "down 2 9,9", "key 65"};
  EXPECT_EQ(FEvents.Input, expected);
  // Without a sink nothing is fired.
  FCtrl->AttachEventSink(nullptr);
  SendMessageW(form, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  SendMessageW(form, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(FEvents.Input.size(), expected.size());
}

// Run again under a Chinese system language.
TEST(BrindoluxCtrlSetUp, MenuCaptionsAndTemporaryFolder) {
  TBrindoluxCtrl ctrl(nullptr);
  const char* lang = std::getenv("BRX_EXPECT_LANG");
  const bool chinese = lang && std::string(lang) == "zh_CN";
  const TMenuTexts& texts = chinese ? ChineseMenuTexts() : EnglishMenuTexts();
  auto caption = [](HMENU menu, UINT item, UINT flags) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, item, text, 64, flags);
    return std::wstring(text);
  };
  HMENU menu = ctrl.PopupMenu();
  ASSERT_EQ(GetMenuItemCount(menu), 5);
  EXPECT_EQ(caption(menu, 0, MF_BYPOSITION), texts.DisplayMode);
  EXPECT_EQ(caption(menu, TBrindoluxCtrl::miStatus, MF_BYCOMMAND), texts.Status);
  EXPECT_EQ(caption(menu, TBrindoluxCtrl::miAbout, MF_BYCOMMAND), texts.About);
  HMENU modes = GetSubMenu(menu, 0);
  EXPECT_EQ(caption(modes, TBrindoluxCtrl::miFull, MF_BYCOMMAND), texts.Full);
  EXPECT_EQ(caption(modes, TBrindoluxCtrl::miOriginal, MF_BYCOMMAND), texts.Original);
  EXPECT_EQ(caption(modes, TBrindoluxCtrl::miAdaptive, MF_BYCOMMAND), texts.Adaptive);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  EXPECT_EQ(ctrl.TempFolder(), std::string(temp) + "Brindolux\\");
  const DWORD attributes = GetFileAttributesA((ctrl.TempFolder() + "nails").c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // Defaults.
  EXPECT_EQ(ctrl.GetStatus(), bxClosed);
  EXPECT_TRUE(ctrl.GetAutoStart());
  EXPECT_TRUE(ctrl.GetAutoConnect());
  EXPECT_TRUE(ctrl.GetEnableCache());
  EXPECT_TRUE(ctrl.GetContextMenu());
  EXPECT_FALSE(ctrl.GetIgnoreTimestamp());
  EXPECT_EQ(ctrl.GetInitialColor(), 0xFF0000);
  EXPECT_EQ(ctrl.GetbgColor(), L"#000000");
}

}  // namespace
