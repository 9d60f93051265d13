#pragma once
// The current picture of a recording: a top-down 24-bit DIB section in a
// memory device context. The play thread draws every decoded frame record
// into it and the control copies or scales the changed rectangle out of it,
// both under Lock. The pixels stay in the recording's own size.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "format/KRMFormat.h"
#include "render/VirtualMouse.h"

class TBackBuffer {
 public:
  TBackBuffer();
  ~TBackBuffer();
  TBackBuffer(const TBackBuffer&) = delete;
  TBackBuffer& operator=(const TBackBuffer&) = delete;

  // A picture of width x height; without a size the buffer stays inactive
  // and the first key frame sets it up.
  void Init(int32_t width, int32_t height);
  void InitFromHeader(const BITMAPINFOHEADER& header);
  void Release();

  // Draws one frame record with its decoded payload (a BMP file image of
  // imageLength bytes; may be null for a cursor update without payload).
  // The caller holds the lock. Raises Exception on an image that cannot be
  // drawn safely; CanDraw tells beforehand.
  void DrawFrame(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength);
  // Whether DrawFrame would accept this image for this record in the
  // buffer's current state; why names the broken rule otherwise. The play
  // thread asks it to skip a bad record instead of ending.
  bool CanDraw(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength, std::string& why) const;

  // Around drawing that nobody sees record by record (a seek's replay): the
  // cursor is lifted once before and drawn once after, where the last record
  // left it, instead of around every record. The caller holds the lock for
  // each call; neither raises.
  void BeginBatch();
  void EndBatch();

  void GetDirtyRect(RECT& rect, bool clear);
  void AddDirtyRect(const RECT& rect);
  void InvalidateCursor();

  void Lock() { EnterCriticalSection(&FLock); }
  void Unlock() { LeaveCriticalSection(&FLock); }

  // The control reads Active before it takes the lock, the rest under it.
  bool Active() const { return FActive.load(); }
  HDC DC() const { return FDC.get(); }
  uint8_t* Bits() const { return FBits; }
  uint32_t RowBytes() const { return FRowBytes; }
  uint32_t BytesPerPixel() const { return FBytesPerPixel; }
  int32_t Width() const { return FHeader.biWidth; }
  int32_t Height() const { return -FHeader.biHeight; }
  const TVirtualMouse* Mouse() const { return FMouse.get(); }

  // Off: every picture goes through SetDIBits and a blit, so a test can
  // hold the rows written straight into the section against GDI's own.
  void SetDirectDrawing(bool on) { FDirectDrawing = on; }

 private:
  void DrawPicture(const FrameRecord& frame, const uint8_t* image);
  bool DrawDirect(const FrameRecord& frame, const uint8_t* image);
  void DrawWithGdi(const FrameRecord& frame, const uint8_t* image);
  void DrawCursorUpdate(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength);
  void AddCursorRect();

  TMemoryDC FDC;
  HGDIOBJ FOldBitmap = nullptr;
  TMemoryDC FScratchDC;
  std::atomic<bool> FActive{false};
  std::unique_ptr<TVirtualMouse> FMouse;
  RECT FDirtyRect = {0, 0, 0, 0};
  BITMAPINFOHEADER FHeader = {};
  uint32_t FRowBytes = 0;
  uint32_t FBytesPerPixel = 0;
  TBitmapHandle FSection;
  uint8_t* FBits = nullptr;
  CRITICAL_SECTION FLock;
  uint32_t FBitCount = 24;
  bool FDirectDrawing = true;
};
