#include "render/PlayThread.h"

#include <mmsystem.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "decode/Decoder.h"
#include "render/BitmapImage.h"
#include "base/EngineMessages.h"
#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/GlobalLib.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/Log.h"
#include "base/PlayerContext.h"
#include "source/ReadThread.h"
#include "base/SystemText.h"

namespace {

uint32_t SystemClock() { return timeGetTime(); }

// Never raises: the log reports its own failures to the debugger.
void LogLine(const std::string& text) { GlobalLog().AddLine(text); }

std::string ExceptionText(const std::exception& e) {
  if (auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
  return e.what();
}

// The back buffer's lock for one scope.
class TBackBufferLock {
 public:
  explicit TBackBufferLock(TBackBuffer& buffer) : FBuffer(buffer) { FBuffer.Lock(); }
  ~TBackBufferLock() { FBuffer.Unlock(); }
  TBackBufferLock(const TBackBufferLock&) = delete;
  TBackBufferLock& operator=(const TBackBufferLock&) = delete;

 private:
  TBackBuffer& FBuffer;
};

// Signals an event when the scope is left, whichever way.
class TSignalOnExit {
 public:
  explicit TSignalOnExit(HANDLE event) : FEvent(event) {}
  ~TSignalOnExit() { SetEvent(FEvent); }
  TSignalOnExit(const TSignalOnExit&) = delete;
  TSignalOnExit& operator=(const TSignalOnExit&) = delete;

 private:
  HANDLE FEvent;
};

// Lifts the cursor off the picture for the scope of a replay and draws it
// again once at its end.
class TCursorBatch {
 public:
  TCursorBatch(TBackBuffer& buffer, bool on) : FBuffer(on ? &buffer : nullptr) {
    if (!FBuffer) return;
    TBackBufferLock lock(*FBuffer);
    FBuffer->BeginBatch();
  }
  ~TCursorBatch() {
    if (!FBuffer) return;
    TBackBufferLock lock(*FBuffer);
    FBuffer->EndBatch();
  }
  TCursorBatch(const TCursorBatch&) = delete;
  TCursorBatch& operator=(const TCursorBatch&) = delete;

 private:
  TBackBuffer* FBuffer;
};

constexpr uint32_t kBmpSizeOffset = 2;
// A replay looks at its queue after at least this many ms of its clock: a
// waiting command still cuts it short at once, but a replay of hundreds of
// small records no longer pays two looks for each.
constexpr uint32_t kReplayLookMs = 2;
// The longest wait for a record's time, in ms.
constexpr uint32_t kMaxRecordWait = 50;
constexpr const char* kDumpFileName = "c:\\dump.txt";

uint32_t ReadU32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Only a whole bitmap goes into the cache or comes out of it: the cached
// copy keeps its length in its size field at offset 2, which a shorter
// picture does not even have.
bool Cacheable(const uint8_t* picture, uint32_t length) {
  std::string why;
  return CheckBitmapImage(picture, length, TBitmapUse::Patch, why);
}

}  // namespace

TPlayThread::TPlayThread(PlayerContext* Context)
    : FContext(Context), FEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)), FClock(&SystemClock) {
  BRX_ASSERT(FContext, "UnitKRMCore");
  FHeader = FContext->Header;
  BRX_ASSERT(FEvent, "UnitKRMCore");
  FBackBuffer = std::make_unique<TBackBuffer>();
  // A live source may not know the picture size yet; its first key frame
  // then sets the back buffer up.
  if (FContext->Header.Width > 0 && FContext->Header.Height > 0)
    FBackBuffer->Init(FContext->Header.Width, FContext->Header.Height);
  FSampleBuffer = std::malloc(SampleBufferSize);
  BRX_ASSERT(FSampleBuffer, "UnitKRMCore");
  FSampleCapacity = SampleBufferSize;
  Start();
}

TPlayThread::~TPlayThread() {
  PostCommand(WM_QUIT);
  WaitFor(INFINITE);
  std::free(FSampleBuffer);
}

bool TPlayThread::PostCommand(UINT Msg, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessageWait(ThreadID(), Handle(), Msg, wParam, lParam);
}

void TPlayThread::PostToWindow(UINT Msg, WPARAM wParam, LPARAM lParam) {
  // A null window would post into this thread's own queue, where the play
  // loop would take it for a command.
  if (FContext->Window) PostMessageW(FContext->Window, Msg, wParam, lParam);
}

void TPlayThread::Play() { PostCommand(WM_KRM_PLAY); }

void TPlayThread::Pause() {
  // Waiting on the thread too: a thread that ended on its way to the
  // command still lets the caller go.
  if (PostCommand(WM_KRM_PAUSE)) {
    HANDLE handles[2] = {FEvent.Get(), Handle()};
    WaitLettingSentMessagesThrough(2, handles);
  }
}

void TPlayThread::Stop() {
  if (PostCommand(WM_KRM_STOP)) {
    HANDLE handles[2] = {FEvent.Get(), Handle()};
    WaitLettingSentMessagesThrough(2, handles);
  }
}

void TPlayThread::FastForward() { PostCommand(WM_KRM_FAST); }

void TPlayThread::Seek(uint32_t Time) { PostCommand(WM_KRM_SEEK, WPARAM(Time)); }

void TPlayThread::Repaint() { PostCommand(WM_KRM_REPAINT); }

void TPlayThread::TrimBuffer(WPARAM Value) { PostCommand(WM_KRM_TRIM, Value); }

void TPlayThread::Unhandled(const std::string& text) { LogLine("Brindolux.ocx -> TPlayThread: " + text); }

void TPlayThread::Execute() {
  TSignalOnExit signal(FEvent.Get());
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // Whatever fails in one command is logged; the thread stays to take the
    // next one, so a pause or stop is always answered.
    try {
      Dispatch(msg);
    } catch (const std::exception& e) {
      LogLine("Brindolux.ocx -> TPlayThread: " + ExceptionText(e));
    } catch (...) {
      LogLine("Brindolux.ocx -> TPlayThread: unknown exception");
    }
  }
}

void TPlayThread::Dispatch(const MSG& Msg) {
  switch (Msg.message) {
    case WM_KRM_SEEK: {
      uint32_t target = uint32_t(Msg.wParam);
      MSG next;
      while (PeekMessageW(&next, nullptr, WM_KRM_SEEK, WM_KRM_SEEK, PM_REMOVE))
        target = uint32_t(next.wParam);
      if (FState != psStopped) DoSeek(target);
      break;
    }
    case WM_KRM_FRAMEREADY:
      if (FState != psStopped) HandleFrameReady(int32_t(Msg.wParam));
      break;
    case WM_KRM_STOP:
      HandleStop();
      break;
    case WM_KRM_PLAY:
      FSpeed = 1;
      FState = psPlaying;
      RestartLoop();
      break;
    case WM_KRM_PAUSE:
      FState = psPaused;
      SetEvent(FEvent.Get());
      break;
    case WM_KRM_FAST:
      FSpeed = std::min(FSpeed * 2, MaxSpeed);
      FState = psPlaying;
      RestartLoop();
      break;
    case WM_KRM_REPAINT:
      PostDirtyRect(true);
      if (FState == psPlaying) RestartLoop();
      break;
    default:
      break;
  }
}

void TPlayThread::RestartLoop() {
  // The loop asks the source for what it needs from here on; a key frame
  // requested before must not keep a later seek into its interval from
  // reaching the source, or nothing would move again.
  FRequestedKeyTime = -1;
  PlayLoop();
}

void TPlayThread::HandleStop() {
  TSignalOnExit signal(FEvent.Get());
  // The source's stop drops whatever seek it had been asked for.
  FRequestedKeyTime = -1;
  FState = psStopped;
  FBasePosition = 0;
  FElapsed = 0;
  FLastSampleTime = 0;
  if (FContext->ReadThread) FContext->ReadThread->Stop();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_KRM_FIRST, WM_KRM_LAST, PM_REMOVE)) {
  }
}

void TPlayThread::PlayLoop() {
  TFramesBuffer& frames = *FContext->FramesBuffer;
  uint32_t start = FClock();
  bool pending = false;
  MSG msg;
  for (;;) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      const UINT command = msg.message;
      switch (command) {
        case WM_KRM_TRIM:
          PeekMessageW(&msg, nullptr, command, command, PM_REMOVE);
          frames.Trim(true);
          // A copy taken before the trim would be drawn as the first record
          // of the trimmed buffer, over a picture that lacks the newest key
          // frame; playing resumes at that key frame instead.
          pending = false;
          break;
        case WM_KRM_REPAINT:
          PeekMessageW(&msg, nullptr, command, command, PM_REMOVE);
          PostDirtyRect(true);
          break;
        case WM_KRM_PLAY:
          PeekMessageW(&msg, nullptr, command, command, PM_REMOVE);
          continue;
        case WM_KRM_FAST:
          PeekMessageW(&msg, nullptr, command, command, PM_REMOVE);
          FBasePosition += FElapsed.exchange(0);
          start = FClock();
          FSpeed = std::min(FSpeed * 2, MaxSpeed);
          break;
        default:
          FBasePosition += FElapsed.exchange(0);
          return;
      }
    }

    FElapsed = uint32_t(FSpeed) * uint32_t(FClock() - start);

    if (!pending) pending = frames.CopyNext(FSampleBuffer, FSampleCapacity);
    if (!pending) {
      if (FContext->ReadThread) FContext->ReadThread->Read(-1);
      WaitForCommand(10);
      continue;
    }

    const FrameRecord* frame = static_cast<const FrameRecord*>(FSampleBuffer);
    // The very first record is drawn at once, whatever its time.
    const uint32_t position = FBasePosition + FElapsed;
    if (!FIgnoreTimestamp && FRenderedCount != 0 && frame->Time > position) {
      // Real time until the record is due at this speed, rounded up; capped
      // so that the buffer is still looked at regularly.
      const uint32_t speed = uint32_t(std::max<int32_t>(FSpeed, 1));
      const uint32_t due = (frame->Time - position + speed - 1) / speed;
      WaitForCommand(FClock == &SystemClock ? std::min<uint32_t>(due, kMaxRecordWait) : 1);
      continue;
    }

    frames.FCurrentIndex += 1;
    FLastSampleTime = frame->Time;
    RenderFrame(frame, true);
    FRenderedCount += 1;
    PostDirtyRect(false);
    pending = false;

    const uint32_t duration = FContext->Header.Duration;
    if (duration != 0 && FLastSampleTime >= duration) PostToWindow(WM_KRM_END, 0, 0);
  }
}

void TPlayThread::WaitForCommand(uint32_t Ms) {
  // Sleeping and peeking the queue a thousand times a second costs several
  // per cent of a processor under Wine; this wait ends as soon as a command
  // is posted, even one already queued but looked at before.
  MsgWaitForMultipleObjectsEx(0, nullptr, std::max<uint32_t>(Ms, 1), QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE);
}

void TPlayThread::RenderFrame(const FrameRecord* Frame, bool AskMore) {
  // One bad record is logged and skipped; it never ends playback.
  try {
    TDecoderLock decoder;
    DrawRecord(Frame);
  } catch (const std::exception& e) {
    LogLine("Brindolux.ocx -> RenderFrame(Time=" + std::to_string(Frame->Time) +
            ", FrameType=" + std::to_string(Frame->FrameType) + "): " + ExceptionText(e));
  }
  if (AskMore && FContext->FramesBuffer->IsFull()) {
    FContext->FramesBuffer->Trim(false);
    if (FContext->ReadThread) FContext->ReadThread->Read(-1);
  }
}

void TPlayThread::DrawRecord(const FrameRecord* Frame) {
  switch (Frame->FrameType) {
    case FT_KEY:
      DrawKeyFrame(Frame);
      break;
    case FT_MARKER:
      PostMarker();
      break;
    case FT_XOR:
    case FT_CURSOR:
    case FT_COPY: {
      const uint8_t* image = nullptr;
      uint32_t length = 0;
      if (!DecodeRecord(Frame, image, length)) return;
      DrawChecked(Frame, image, length);
      break;
    }
    default:
      break;
  }
}

void TPlayThread::DrawKeyFrame(const FrameRecord* Frame) {
  TKeyFramesBuffer::TLocked cache(*FContext->KeyFramesBuffer);
  auto& entries = cache.List;
  const uint8_t* picture = nullptr;
  uint32_t length = 0;
  for (KeyFrameEntry* entry : entries) {
    if (entry->Header.Time == Frame->Time && entry->Picture) {
      // The cached copy carries its own length in its size field.
      const uint32_t held = ReadU32(entry->Picture + kBmpSizeOffset);
      if (!Cacheable(entry->Picture, held)) break;
      picture = entry->Picture;
      length = held;
      break;
    }
  }
  if (!picture) {
    if (!DecodeRecord(Frame, picture, length)) return;
    // A picture that is no whole bitmap stays out of the cache; drawing it
    // below logs and skips it.
    if (Cacheable(picture, length)) CacheKeyFrame(entries, Frame, picture, length);
  }
  DrawChecked(Frame, picture, length);
}

void TPlayThread::CacheKeyFrame(TKeyFramesBuffer::TList& Entries, const FrameRecord* Frame,
                                const uint8_t* Picture, uint32_t Length) {
  // The cached copy's size field is set to the bytes it holds, so that a
  // reuse never trusts a size the recording made up.
  if (Entries.size() >= KeyFrameCacheSize) {
    KeyFrameEntry* entry = Entries.front();
    const uint32_t held = entry->Picture ? ReadU32(entry->Picture + kBmpSizeOffset) : 0;
    if (Length > held) {
      auto* grown = static_cast<uint8_t*>(std::realloc(entry->Picture, Length));
      if (!grown) return;
      entry->Picture = grown;
    }
    entry->Header = *Frame;
    std::memcpy(entry->Picture, Picture, Length);
    std::memcpy(entry->Picture + kBmpSizeOffset, &Length, sizeof Length);
    Entries.erase(Entries.begin());
    Entries.push_back(entry);
  } else if (FCacheKeyFrames) {
    KeyFrameEntry* entry = AllocKeyFrameEntry();
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(Length));
    if (entry && copy) {
      entry->Header = *Frame;
      std::memcpy(copy, Picture, Length);
      std::memcpy(copy + kBmpSizeOffset, &Length, sizeof Length);
      entry->Picture = copy;
      Entries.push_back(entry);
    } else {
      std::free(copy);
      FreeKeyFrameEntry(entry);
    }
  }
}

bool TPlayThread::DecodeRecord(const FrameRecord* Frame, const uint8_t*& Image, uint32_t& ImageLength) {
  Image = nullptr;
  ImageLength = 0;
  if (Frame->Length == 0) {
    // A cursor update without payload only moves or hides the cursor.
    if (Frame->FrameType == FT_CURSOR) return true;
    LogLine("Brindolux.ocx -> record without picture skipped: Time=" + std::to_string(Frame->Time) +
            ", FrameType=" + std::to_string(Frame->FrameType));
    return false;
  }
  void* out = nullptr;
  int result = 0;
  try {
    result = TDecoder::UnZipBufferEx(FramePayload(Frame), Frame->Length, Frame->CompressionType,
                                     DECODER_SHARED_BUFFER_SIZE, out);
  } catch (const std::exception& e) {
    LogLine("UnZipBufferEx Error:" + SourceURL() + " Time=" + std::to_string(Frame->Time) + ": " +
            ExceptionText(e));
    return false;
  }
  uint32_t length;
  if (Frame->CompressionType == CT_FIXED58) {
    length = DECODER_FIXED_RECORD_SIZE;
  } else if (result <= 0) {
    // Nothing was decoded: the shared block still holds an older picture.
    LogLine("UnZipBufferEx Error:" + SourceURL() + " Time=" + std::to_string(Frame->Time) + ": result " +
            std::to_string(result));
    return false;
  } else {
    length = uint32_t(result);
  }
  if (!out || length > DECODER_SHARED_BUFFER_SIZE) {
    LogLine("UnZipBufferEx Error:" + SourceURL() + " Time=" + std::to_string(Frame->Time) + ": result " +
            std::to_string(length) + " out of bounds");
    return false;
  }
  Image = static_cast<const uint8_t*>(out);
  ImageLength = length;
  return true;
}

void TPlayThread::DrawChecked(const FrameRecord* Frame, const uint8_t* Image, uint32_t ImageLength) {
  TBackBufferLock lock(*FBackBuffer);
  // The picture comes straight out of the recording: its sizes are checked
  // before GDI sees them, and a bad one costs only its own record.
  std::string why;
  if (!FBackBuffer->CanDraw(*Frame, Image, ImageLength, why)) {
    LogLine("Brindolux.ocx -> bad picture skipped: Time=" + std::to_string(Frame->Time) +
            ", FrameType=" + std::to_string(Frame->FrameType) +
            ", CompressionType=" + std::to_string(Frame->CompressionType) + ": " + why);
    return;
  }
  FBackBuffer->DrawFrame(*Frame, Image, ImageLength);
}

bool TPlayThread::OtherCommandWaiting() {
  MSG msg;
  return PeekMessageW(&msg, nullptr, 0, WM_KRM_SEEK - 1, PM_NOREMOVE) ||
         PeekMessageW(&msg, nullptr, WM_KRM_SEEK + 1, 0xFFFFFFFFu, PM_NOREMOVE);
}

void TPlayThread::RenderRange(int32_t First, int32_t Last) {
  TFramesBuffer& frames = *FContext->FramesBuffer;
  {
    TFramesBuffer::TLocked locked(frames);
    const int32_t count = int32_t(locked.List.size());
    if (Last == -1) Last = count - 1;
    if (Last >= count || First < 0) return;
    // Nothing of a replay is seen before it ends, so the cursor is lifted
    // once around the whole of it and the queue looked at only every few
    // milliseconds; the picture comes out the same.
    const bool batched = !FReplayRecordByRecord;
    TCursorBatch cursor(*FBackBuffer, batched);
    uint32_t looked = FClock();
    for (int32_t index = First; index <= Last; ++index) {
      // A waiting seek does not stop the replay; it is merged afterwards.
      if (!batched || index == First || uint32_t(FClock() - looked) >= kReplayLookMs) {
        if (OtherCommandWaiting()) break;
        looked = FClock();
      }
      const FrameRecord* frame = locked.List[size_t(index)];
      frames.FCurrentIndex = index;
      FLastSampleTime = frame->Time;
      if (!(frame->FrameType == FT_CURSOR && frame->Length == 0)) RenderFrame(frame, false);
    }
  }
  PostDirtyRect(false);
}

void TPlayThread::HandleFrameReady(int32_t Index) {
  // A negative index means that no record for the time is buffered yet (the
  // first one read lies after it), not "the last record": the loop draws
  // the records as their time comes.
  if (Index >= 0) RenderRange(0, Index);
  FRequestedKeyTime = -1;
  if (FState == psPlaying) PostCommand(WM_KRM_PLAY);
}

void TPlayThread::DoSeek(uint32_t T) {
  TFramesBuffer& frames = *FContext->FramesBuffer;
  TIndexTable& index = *FContext->IndexTable;
  TReadThread* source = FContext->ReadThread;

  if (index.IsEmpty()) {
    if (FState == psPlaying) PostCommand(WM_KRM_PLAY);
    return;
  }
  if (FHeader.Duration > 0) T = std::min(T, FHeader.Duration);

  uint32_t t = T;
  const int32_t i = frames.Find(t, false);

  if (frames.FCurrentIndex != -1 && frames.FCurrentIndex == i) {
    FBasePosition = T;
    if (FState == psPlaying) PostCommand(WM_KRM_PLAY);
    return;
  }

  int32_t K = index.FindKeyTime(t);
  if (K == -1) {
    const int32_t first = index.FirstTime();
    // Only a target before the first key frame moves to it. A target at or
    // after it whose buffered record lies before it would be sent to the
    // same place again and again.
    if (first < 0 || T < uint32_t(first)) {
      PostCommand(WM_KRM_SEEK, WPARAM(uint32_t(first < 0 ? 0 : first)));
      return;
    }
    K = index.FindKeyTime(T);
  }

  uint32_t keyTime = uint32_t(K);
  const int32_t k = frames.Find(keyTime, true);

  if (i != -1) {
    if (index.FindKeyTime(FLastSampleTime) == K) {
      const int32_t current = frames.FCurrentIndex;
      if (i > current)
        RenderRange(current + 1, i);
      else
        RenderRange(k, i);
    } else if (k != -1) {
      RenderRange(k, i);
    } else {
      DumpAbnormalBuffer(K, T);
    }
    FBasePosition = T;
    if (FState == psPlaying) PostCommand(WM_KRM_PLAY);
    PostToWindow(WM_KRM_POSITION, WPARAM(FBasePosition.load()), 0);
    return;
  }

  const uint8_t kind = source ? source->SourceKind() : 0;
  if (k == -1) {
    FBasePosition = T;
    if (kind == 1 || kind == 2) {
      if (K != FRequestedKeyTime) {
        FRequestedKeyTime = K;
        source->Seek(int32_t(std::min<uint32_t>(T, INT32_MAX)));
        PostToWindow(WM_KRM_POSITION, WPARAM(T), 0);
      }
    } else if (FState == psPlaying) {
      PostCommand(WM_KRM_PLAY);
    }
    return;
  }

  // The target lies after the buffered records; its key frame is buffered.
  bool moved = false;
  if (frames.FCurrentIndex < k) {
    frames.FCurrentIndex = k;
    moved = true;
  }
  frames.Trim(false);
  RenderRange(moved ? frames.FCurrentIndex.load() : frames.FCurrentIndex + 1, -1);
  FBasePosition = T;
  if (kind == 3 || kind == 4) {
    if (FState == psPlaying) PostCommand(WM_KRM_PLAY);
    PostToWindow(WM_KRM_POSITION, WPARAM(FLastSampleTime.load()), 0);
  } else {
    if (source) source->Read(int32_t(T));
    PostToWindow(WM_KRM_POSITION, WPARAM(T), 0);
  }
}

void TPlayThread::DumpAbnormalBuffer(int32_t KeyTime, uint32_t T) {
  TFramesBuffer& frames = *FContext->FramesBuffer;
  char numbers[256];
  std::snprintf(
      numbers, sizeof numbers,
      "MinTimeStamp=%d, DestKeyTime=%d, msTime=%d, MaxTimeStamp=%d, FCurrentIndex=%d, FLastSampleTime=%d",
      int(frames.MinTimeStamp()), int(KeyTime), int(T), int(frames.MaxTimeStamp()),
      int(frames.FCurrentIndex.load()), int(FLastSampleTime.load()));
  LogLine(WideToGBK(L"Brindolux.ocx -> Abnormal buffer\uFF1A") + numbers);
  // The dump is a help for whoever reads the log; failing to write it must
  // not disturb playback.
  try {
    frames.DumpIndex(kDumpFileName);
  } catch (const std::exception& e) {
    LogLine(std::string("Brindolux.ocx -> DumpIndex(") + kDumpFileName + "): " + ExceptionText(e));
  }
}

void TPlayThread::PostDirtyRect(bool Whole) {
  RECT rect{0, 0, 0, 0};
  if (Whole) {
    rect.right = FContext->Header.Width;
    rect.bottom = FContext->Header.Height;
  } else {
    TBackBufferLock lock(*FBackBuffer);
    FBackBuffer->GetDirtyRect(rect, true);
  }
  // Every drawing call must have reached the pixels before the control
  // copies them on its own thread.
  GdiFlush();
  const WPARAM wParam = (WPARAM(rect.left & 0xFFFF) << 16) | WPARAM(rect.top & 0xFFFF);
  const LPARAM lParam = LPARAM((uint32_t(rect.right & 0xFFFF) << 16) | uint32_t(rect.bottom & 0xFFFF));
  PostToWindow(WM_KRM_DIRTYRECT, wParam, lParam);
}

void TPlayThread::PostMarker() { PostToWindow(WM_KRM_MARKER, 0, 0); }

std::string TPlayThread::SourceURL() const {
  if (!FContext->ReadThread) return std::string();
  return WideToAnsi(FContext->ReadThread->URL());
}
