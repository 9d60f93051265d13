#pragma once
// The playback clock and renderer. The play thread takes frame records from
// the frame buffer in order, waits until its clock reaches each record's time,
// decodes the payload under the decoder lock, draws it into its back buffer
// and posts the changed rectangle to the control. It also carries out seeks:
// it replays buffered records from the key frame before the target, or asks
// the source for the data.
//
// The control drives it only by the commands below (posted thread messages);
// it reads GetPosition, FLastSampleTime and paints from the back buffer under
// the back buffer's lock.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/KeyFramesBuffer.h"
#include "render/BackBuffer.h"
#include "format/KRMFormat.h"
#include "base/WorkerThread.h"

struct PlayerContext;

// The playback clock in milliseconds; timeGetTime unless a test injects its
// own. Only differences of two readings are used, so wrap-around is harmless.
using TPlayClock = uint32_t (*)();

class TPlayThread : public TWorkerThread {
 public:
  static constexpr uint32_t SampleBufferSize = 512000;
  static constexpr int32_t MaxSpeed = 32;
  static constexpr size_t KeyFrameCacheSize = 3;

  enum : uint8_t { psStopped = 0, psPaused = 1, psPlaying = 2 };

  explicit TPlayThread(PlayerContext* Context);
  ~TPlayThread() override;

  void Play();
  // Both return once the thread has handled the command (or has ended).
  void Pause();
  void Stop();
  void FastForward();
  void Seek(uint32_t Time);
  void Repaint();
  void TrimBuffer(WPARAM Value);

  // Position in ms; the control reads it without a lock.
  uint32_t GetPosition() const { return FBasePosition.load() + FElapsed.load(); }

  TBackBuffer& BackBuffer() { return *FBackBuffer; }
  uint8_t State() const { return FState.load(); }
  int32_t Speed() const { return FSpeed.load(); }
  uint32_t RenderedCount() const { return FRenderedCount.load(); }

  // Replaces the clock; only before the first command.
  void SetClock(TPlayClock Clock) { FClock = Clock; }

  // Time of the record rendered last: the control's media time.
  std::atomic<uint32_t> FLastSampleTime{0};
  // Set by the control once, right after creation and before any command.
  std::atomic<bool> FCacheKeyFrames{true};
  std::atomic<bool> FIgnoreTimestamp{false};
  // A seek's replay as it was before it was batched: the cursor lifted and
  // put back around every record, the queue looked at before each. Not a
  // setting of the control: only the benchmark's baseline and the test that
  // holds both pictures side by side use it.
  std::atomic<bool> FReplayRecordByRecord{false};

 protected:
  void Execute() override;
  void Unhandled(const std::string& text) override;

 private:
  bool PostCommand(UINT Msg, WPARAM wParam = 0, LPARAM lParam = 0);
  void PostToWindow(UINT Msg, WPARAM wParam, LPARAM lParam);
  void Dispatch(const MSG& Msg);
  void HandleStop();
  // Runs the play loop for a play, fast-forward or repaint command.
  void RestartLoop();
  void PlayLoop();
  // Waits up to Ms (at least 1) for a posted command.
  void WaitForCommand(uint32_t Ms);
  void RenderFrame(const FrameRecord* Frame, bool AskMore);
  void DrawRecord(const FrameRecord* Frame);
  void DrawKeyFrame(const FrameRecord* Frame);
  // Keeps a copy of a decoded key frame that passed the bitmap check; the
  // caller holds the cache's list.
  void CacheKeyFrame(TKeyFramesBuffer::TList& Entries, const FrameRecord* Frame, const uint8_t* Picture,
                     uint32_t Length);
  // Decodes the record's payload into the decoder's shared block (the caller
  // holds the decoder lock); false, after logging, when nothing usable came
  // out and the record must be skipped. A cursor update without payload
  // answers true with no image.
  bool DecodeRecord(const FrameRecord* Frame, const uint8_t*& Image, uint32_t& ImageLength);
  void DrawChecked(const FrameRecord* Frame, const uint8_t* Image, uint32_t ImageLength);
  void RenderRange(int32_t First, int32_t Last);
  void HandleFrameReady(int32_t Index);
  void DoSeek(uint32_t T);
  void PostDirtyRect(bool Whole);
  void PostMarker();
  void DumpAbnormalBuffer(int32_t KeyTime, uint32_t T);
  bool OtherCommandWaiting();
  std::string SourceURL() const;

  PlayerContext* FContext;
  KRMFileHeader FHeader;
  std::atomic<uint32_t> FBasePosition{0};
  std::atomic<uint32_t> FElapsed{0};
  std::atomic<uint32_t> FRenderedCount{0};
  std::atomic<uint8_t> FState{psStopped};
  std::atomic<int32_t> FSpeed{1};
  int32_t FRequestedKeyTime = -1;
  TKernelHandle FEvent;
  std::unique_ptr<TBackBuffer> FBackBuffer;
  // Owned copy of the next record, grown by CopyNext with realloc.
  void* FSampleBuffer = nullptr;
  uint32_t FSampleCapacity = 0;
  TPlayClock FClock;
};
