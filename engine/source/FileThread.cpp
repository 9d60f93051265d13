#include "source/FileThread.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "decode/Decoder.h"
#include "base/ErrorTexts.h"
#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/GlobalLib.h"
#include "base/IndexTable.h"
#include "render/BitmapImage.h"
#include "source/InternetStream.h"
#include "base/Log.h"
#include "base/SystemText.h"
#include "source/UnicodeFileStream.h"

namespace {

constexpr uint32_t BmpFileHeaderSize = 14;

int32_t ReadInt32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

// Width and height of a picture's BMP file image; code 10 unless the back
// buffer can draw it, so that no picture opens that would never show.
void CheckPicture(const uint8_t* image, uint64_t length, uint32_t& width, uint32_t& height) {
  std::string why;
  if (length > UINT32_MAX || !CheckBitmapImage(image, uint32_t(length), TBitmapUse::Patch, why)) {
    GlobalLog().AddLine("Picture not shown: " + why);
    throw EKRMError(KRM_ERR_FILE_FORMAT);
  }
  const BmpInfoHeader& info = BmpInfo(image);
  width = uint32_t(info.biWidth);
  height = uint32_t(info.biHeight < 0 ? -int64_t(info.biHeight) : int64_t(info.biHeight));
}

struct TMallocFree {
  void operator()(void* p) const { std::free(p); }
};
using TBlock = std::unique_ptr<uint8_t, TMallocFree>;

struct TFrameFree {
  void operator()(FrameRecord* p) const { FreeFrameRecord(p); }
};
using TFrameBlock = std::unique_ptr<FrameRecord, TFrameFree>;

}  // namespace

TFileThread::~TFileThread() {
  Stop();
  EndThread();
  FreeStream();
}

int64_t TFileThread::ReadWhole(void* Buffer, int64_t Count) {
  BRX_ASSERT(Buffer != nullptr && Count > 0, "UnitKRMCore");
  // A stopping source makes no new request: each could wait out the whole
  // receive time-out on a stalled server.
  if (Aborted()) return 0;
  return FStream->Read(Buffer, Count);
}

void TFileThread::FreeStream() {
  std::lock_guard<std::mutex> guard(FStreamLock);
  FWebStream = nullptr;
  FStream.reset();
}

void TFileThread::Abort() {
  TReadThread::Abort();
  std::lock_guard<std::mutex> guard(FStreamLock);
  // Makes a request in progress on the source thread fail at once.
  if (FWebStream) FWebStream->CloseHandles();
}

void TFileThread::Reset() {
  TReadThread::Reset();
  FDataBroken = false;
  std::lock_guard<std::mutex> guard(FStreamLock);
  if (FStream) {
    FStream->SetPosition(FDataStart);
    Context()->FramesBuffer->Clear();
  }
}

void TFileThread::HandleOpen() {
  int code = KRM_ERR_UNEXPECTED;
  try {
    FreeStream();
    FFileKind = fkUnknown;
    FDataBroken = false;
    FReadFailed = false;
    SetState(rsIdle);
    const std::wstring& url = URL();
    const std::string urlBytes = WideToAnsi(url);
    {
      std::unique_ptr<TStream> stream;
      TInternetStream* web = nullptr;
      if (IsRemoteURL(urlBytes)) {
        auto internet = std::make_unique<TInternetStream>(urlBytes);
        web = internet.get();
        stream = std::move(internet);
        SetSourceKind(skWebFile);
      } else {
        stream = std::make_unique<TUnicodeFileStream>(url);
        SetSourceKind(skLocalFile);
      }
      std::lock_guard<std::mutex> guard(FStreamLock);
      FStream = std::move(stream);
      FWebStream = web;
    }
    TFileKind kind = CheckedFileKindOf(url);
    FFileKind = kind;
    if (kind == fkRecording)
      OpenRecording();
    else
      OpenPicture(kind);
    code = 0;
  } catch (const EKRMError& e) {
    code = e.Code();
    GlobalLog().AddLine(e.Message());
  } catch (const Exception& e) {
    GlobalLog().AddLine(e.Message());
  } catch (const std::exception& e) {
    GlobalLog().AddLine(e.what());
  }
  if (code != 0) {
    FreeStream();
    SetState(rsIdle);
    if (!Aborted()) PostToWindow(WM_KRM_ERROR, static_cast<WPARAM>(code), 0);
  } else {
    PostToWindow(WM_KRM_OPENED, 0, 0);
  }
}

void TFileThread::OpenRecording() {
  TRecordingLayout layout = TRecordingReader::Open(*FStream);
  // A picture of no pixels cannot be shown or drawn into: the header is damaged.
  if (layout.Header.Width == 0 || layout.Header.Height == 0) throw EKRMError(KRM_ERR_DAMAGED);
  PlayerContext* context = Context();
  context->Header = layout.Header;
  context->IndexTable->Clear();
  for (const IndexEntry& entry : layout.Entries) context->IndexTable->Add(entry.Time, false, entry.Offset);
  FDataStart = layout.DataStart;
  FDataEnd = layout.DataEnd;
  FStream->SetPosition(FDataStart);
  FReceive.Clear();
  BufferChanged();
  SetState(rsStreaming);
}

void TFileThread::OpenPicture(TFileKind Kind) {
  TFrameBlock frame(static_cast<FrameRecord*>(std::malloc(PictureBlockSize)));
  if (!frame) throw std::bad_alloc();
  std::memset(frame.get(), 0, sizeof(FrameRecord));
  uint8_t* payload = FramePayload(frame.get());
  int64_t length = 0;
  if (Kind == fkBitmap) {
    length = ReadWhole(payload, PicturePayloadSize);
  } else {
    TBlock jpeg(static_cast<uint8_t*>(std::malloc(PictureBlockSize)));
    if (!jpeg) throw std::bad_alloc();
    int64_t got = ReadWhole(jpeg.get(), PictureBlockSize);
    if (got <= 0) throw EKRMError(KRM_ERR_FILE_FORMAT);
    {
      TDecoderLock lock;
      length =
          TDecoder::UnZipBuffer(jpeg.get(), static_cast<uint32_t>(got), CT_JPEG, PicturePayloadSize, payload);
    }
    if (length < int64_t(BMP_HEADERS_SIZE)) throw EKRMError(KRM_ERR_FILE_FORMAT);
    // JPEG payloads decode upside down (negative height); a picture shows upright.
    int32_t height = ReadInt32(payload + BmpFileHeaderSize + 8);
    height = -height;
    std::memcpy(payload + BmpFileHeaderSize + 8, &height, sizeof(height));
  }
  uint32_t width = 0, height = 0;
  CheckPicture(payload, static_cast<uint64_t>(std::max<int64_t>(length, 0)), width, height);
  PlayerContext* context = Context();
  context->Header.Width = static_cast<uint16_t>(width);
  context->Header.Height = static_cast<uint16_t>(height);
  frame->Time = 0;
  frame->FrameType = FT_KEY;
  frame->CompressionType = CT_RAW;
  frame->Length = static_cast<uint32_t>(length);
  // Give back what the picture does not use of the 10 MB block.
  if (void* smaller = std::realloc(frame.get(), sizeof(FrameRecord) + frame->Length)) {
    frame.release();
    frame.reset(static_cast<FrameRecord*>(smaller));
  }
  context->FramesBuffer->Add(frame.get());
  frame.release();
  context->IndexTable->Add(0, true, 0);
  FreeStream();
}

void TFileThread::HandleRead(int32_t Time) {
  PlayerContext* context = Context();
  if (FFileKind != fkRecording || !FStream) return;
  TFramesBuffer& frames = *context->FramesBuffer;
  if (Time < 0 && frames.IsFull()) return;
  const uint64_t end = FDataEnd;
  bool found = false;
  try {
    while (!MessageWaiting() && !Aborted()) {
      int64_t position = FStream->Position();
      BRX_ASSERT(position >= 0 && uint64_t(position) <= end, "UnitKRMCore");
      uint64_t remaining = end - uint64_t(position);
      if (remaining == 0 || FDataBroken) {
        if (Time >= 0 && !found)
          PostToPlayThread(WM_KRM_FRAMEREADY, static_cast<WPARAM>(frames.GetCount() - 1), 0);
        break;
      }
      // No record may outgrow what the frame data still holds.
      FReceive.SetRecordLimit(uint64_t(FReceive.UsedSize()) + remaining);
      uint64_t chunk = std::min<uint64_t>({ChunkSize, remaining, FReceive.FreeSize()});
      if (chunk == 0 || FReceive.FreeSpace() == nullptr)
        throw Exception("BufferSize=" + std::to_string(FReceive.BufferSize()) + ", UsedSize=" +
                        std::to_string(FReceive.UsedSize()) + ", BytesToRead=" + std::to_string(chunk));
      // After a read that gave nothing (a file still being written, a
      // failed request) the next one waits out the pause, however often the
      // play thread asks; a queued command ends the pause and this read.
      if (FReadFailed) {
        const DWORD since = GetTickCount() - FFailedAt;
        if (since < RetryDelayMs) {
          MsgWaitForMultipleObjectsEx(0, nullptr, RetryDelayMs - since, QS_ALLPOSTMESSAGE, MWMO_INPUTAVAILABLE);
          continue;
        }
      }
      int64_t got = ReadWhole(FReceive.FreeSpace(), static_cast<int64_t>(chunk));
      FReadFailed = got <= 0;
      if (FReadFailed) {
        FFailedAt = GetTickCount();
        continue;
      }
      got = std::min<int64_t>(got, static_cast<int64_t>(chunk));
      AddBytes(static_cast<uint64_t>(got));
      FReceive.Commit(static_cast<size_t>(got));
      BufferChanged();
      if (FReceive.UsedSize() < KRM_RECORD_HEADER_SIZE) continue;
      for (;;) {
        FrameRecord* record;
        try {
          record = FReceive.Next();
        } catch (const std::bad_alloc& e) {
          throw Exception(std::string("Exception:") + e.what() +
                          ", BufferSize=" + std::to_string(FReceive.PendingRecordSize()));
        }
        if (!record) break;
        TFrameBlock owned(record);
        uint32_t recordTime = record->Time;
        int32_t index = frames.Add(record);
        owned.release();
        if (Time >= 0 && !found) {
          if (uint32_t(Time) < recordTime) {
            PostToPlayThread(WM_KRM_FRAMEREADY, static_cast<WPARAM>(index - 1), 0);
            found = true;
          } else if (uint32_t(Time) == recordTime) {
            PostToPlayThread(WM_KRM_FRAMEREADY, static_cast<WPARAM>(index), 0);
            found = true;
          }
        }
      }
      BufferChanged();
      if (FReceive.RecordExceedsLimit() && !FDataBroken) {
        FDataBroken = true;
        GlobalLog().AddLine("Record of " + std::to_string(FReceive.PendingRecordSize()) +
                            " bytes exceeds the frame data: " + WideToAnsi(URL()));
      }
      if (frames.IsFull() && (found || Time < 0)) break;
    }
  } catch (const Exception& e) {
    ReportError(KRM_ERR_UNEXPECTED, e.Message());
  } catch (const std::exception& e) {
    ReportError(KRM_ERR_UNEXPECTED, e.what());
  }
  // The next read-ahead connects again; no connection idles in between.
  std::lock_guard<std::mutex> guard(FStreamLock);
  if (FWebStream) FWebStream->CloseHandles();
}

void TFileThread::HandleSeek(uint32_t Time) {
  if (FFileKind != fkRecording || !FStream) return;
  PlayerContext* context = Context();
  try {
    int32_t key = context->IndexTable->FindKeyTime(Time);
    // Before the first key frame there is nothing to start from: the seek
    // is ignored and reading stays where it was.
    if (key < 0) return;
    uint64_t offset = context->IndexTable->OffsetOf(static_cast<uint32_t>(key));
    if (uint64_t(FDataStart) + offset > FDataEnd) return;
    FStream->SetPosition(FDataStart + static_cast<int64_t>(offset));
    FReceive.Clear();
    BufferChanged();
    FDataBroken = false;
    context->FramesBuffer->Clear();
  } catch (const Exception& e) {
    ReportError(KRM_ERR_UNEXPECTED, e.Message());
    return;
  }
  HandleRead(static_cast<int32_t>(Time));
}
