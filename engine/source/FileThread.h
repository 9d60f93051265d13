#pragma once
// The source thread for recordings and single pictures, read from a local
// file or, piecewise by HTTP byte ranges, from a web server.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "source/ReadThread.h"
#include "format/RecordingReader.h"
#include "base/Stream.h"

class TInternetStream;

class TFileThread : public TReadThread {
 public:
  // Largest picture the file source takes: one 10 MB block of record header
  // and payload.
  static constexpr uint32_t PictureBlockSize = 10485760;
  static constexpr uint32_t PicturePayloadSize = PictureBlockSize - KRM_RECORD_HEADER_SIZE;
  // Read-ahead chunk: a queued command is seen at least this often.
  static constexpr uint32_t ChunkSize = 32768;
  // Least time between a read that gave nothing (a file still being
  // written, a failed HTTP request) and the next; a queued command ends the
  // pause early.
  static constexpr DWORD RetryDelayMs = 300;

  using TReadThread::TReadThread;
  ~TFileThread() override;

  void Abort() override;
  void Reset() override;

  // One read of up to Count bytes from the stream; answers the bytes read.
  int64_t ReadWhole(void* Buffer, int64_t Count);
  uint8_t FileKind() const { return FFileKind; }

 protected:
  void HandleOpen() override;
  void HandleRead(int32_t Time) override;
  void HandleSeek(uint32_t Time) override;

 private:
  void OpenPicture(TFileKind Kind);
  void OpenRecording();
  void FreeStream();

  std::mutex FStreamLock;  // the stream is replaced on the source thread, aborted from others
  std::unique_ptr<TStream> FStream;
  TInternetStream* FWebStream = nullptr;  // FStream when it reads from a web server
  int64_t FDataStart = KRM_HEADER_SIZE;
  uint64_t FDataEnd = 0;  // file offset where the frame data ends
  std::atomic<uint8_t> FFileKind{fkUnknown};
  // A record announcing more than the frame data still holds can never be
  // completed: reading ends there as at the end of the data.
  std::atomic<bool> FDataBroken{false};
  // The last read gave nothing, at tick FFailedAt: the next waits until
  // RetryDelayMs have passed. The source thread's alone.
  bool FReadFailed = false;
  DWORD FFailedAt = 0;
};
