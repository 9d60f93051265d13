#include "render/BackBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "render/BitmapImage.h"
#include "base/Exception.h"
#include "base/SystemText.h"

namespace {

const char kUnit[] = "UnitBackBuffer";

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof(text), format, args...);
  return text;
}

// Handles are printed as numbers; their values fit in 32 bits on 64-bit
// Windows too.
int HandleNumber(HDC dc) { return static_cast<int>(reinterpret_cast<intptr_t>(dc)); }

bool IsPicture(int16_t frameType) {
  return frameType == FT_XOR || frameType == FT_KEY || frameType == FT_COPY;
}

}  // namespace

TBackBuffer::TBackBuffer() { InitializeCriticalSection(&FLock); }

TBackBuffer::~TBackBuffer() {
  Release();
  DeleteCriticalSection(&FLock);
}

void TBackBuffer::Init(int32_t width, int32_t height) {
  if (FActive) Release();
  // A source that knows no size yet (or a header of 0 x 0) leaves the
  // buffer to the first key frame instead of failing to make a bitmap.
  if (width <= 0 || height <= 0) return;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(FBitCount);
  header.biCompression = BI_RGB;
  InitFromHeader(header);
}

void TBackBuffer::InitFromHeader(const BITMAPINFOHEADER& header) {
  BRX_ASSERT(header.biBitCount > 8, kUnit);
  if (FActive) Release();

  // The section is described by a plain 40-byte header without a colour
  // table, whatever kind of header the picture came with.
  const int32_t height = std::abs(header.biHeight);
  FHeader = header;
  FHeader.biSize = sizeof(BITMAPINFOHEADER);
  FHeader.biPlanes = 1;
  FHeader.biBitCount = static_cast<WORD>(FBitCount);
  FHeader.biCompression = BI_RGB;
  FHeader.biHeight = -height;
  FHeader.biClrUsed = 0;
  FHeader.biClrImportant = 0;
  FBytesPerPixel = FBitCount / 8;
  FRowBytes = (3 * uint32_t(header.biWidth) + 3) & ~uint32_t(3);
  // A size the section's 32-bit fields cannot carry would wrap to a smaller
  // one; refused before anything is made.
  const uint64_t bytes = uint64_t(FRowBytes) * uint64_t(height);
  if (bytes > uint64_t(INT32_MAX))
    throw Exception("TBackBuffer: a picture of " + std::to_string(header.biWidth) + " x " +
                    std::to_string(height) + " pixels is too large");
  FHeader.biSizeImage = uint32_t(bytes);

  FDC.reset(CreateCompatibleDC(nullptr));
  FScratchDC.reset(CreateCompatibleDC(nullptr));
  if (FDC == nullptr || FScratchDC == nullptr) {
    Release();
    BRX_ASSERT(false, kUnit);
  }

  BITMAPINFO info = {};
  info.bmiHeader = FHeader;
  void* bits = nullptr;
  FSection.reset(CreateDIBSection(FDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (FSection == nullptr || bits == nullptr) {
    Release();
    BRX_ASSERT(false, kUnit);
  }
  FBits = static_cast<uint8_t*>(bits);
  FOldBitmap = SelectObject(FDC.get(), FSection.get());

  try {
    FMouse = std::make_unique<TVirtualMouse>(FDC.get());
  } catch (...) {
    Release();
    throw;
  }
  FActive = true;
}

void TBackBuffer::Release() {
  FActive = false;
  FMouse.reset();
  if (FDC != nullptr && FOldBitmap != nullptr && FOldBitmap != HGDI_ERROR)
    SelectObject(FDC.get(), FOldBitmap);
  FOldBitmap = nullptr;
  FDC.reset();
  FScratchDC.reset();
  FSection.reset();
  FBits = nullptr;
  FHeader = {};
  FRowBytes = 0;
  FBytesPerPixel = 0;
}

bool TBackBuffer::CanDraw(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength,
                          std::string& why) const {
  why.clear();
  if (IsPicture(frame.FrameType)) {
    if (!FActive && frame.FrameType != FT_KEY) return true;  // ignored anyway
    return CheckBitmapImage(image, imageLength, FActive ? TBitmapUse::Patch : TBitmapUse::FirstKey, why);
  }
  if (frame.FrameType == FT_CURSOR && FActive && frame.Length != 0)
    return CheckBitmapImage(image, imageLength, TBitmapUse::Cursor, why);
  return true;
}

void TBackBuffer::DrawFrame(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength) {
  if (!FActive) {
    if (frame.FrameType != FT_KEY) return;
    std::string why;
    if (!CheckBitmapImage(image, imageLength, TBitmapUse::FirstKey, why))
      throw Exception("Key frame: " + why);
    BITMAPINFOHEADER header;
    std::memcpy(&header, image + sizeof(BmpFileHeader), sizeof(header));
    InitFromHeader(header);
  }

  if (IsPicture(frame.FrameType)) {
    std::string why;
    if (!CheckBitmapImage(image, imageLength, TBitmapUse::Patch, why)) throw Exception("Picture: " + why);
    DrawPicture(frame, image);
  } else if (frame.FrameType == FT_CURSOR) {
    DrawCursorUpdate(frame, image, imageLength);
  }
}

void TBackBuffer::DrawPicture(const FrameRecord& frame, const uint8_t* image) {
  const BmpInfoHeader& header = BmpInfo(image);
  const int32_t x = frame.X;
  const int32_t y = frame.Y;
  const int32_t width = header.biWidth;
  const int32_t height = std::abs(header.biHeight);
  const RECT target = {x, y, x + width, y + height};

  bool reshow = false;
  if (FMouse->Shown() && FMouse->HitTest(target)) {
    FMouse->Hide();
    InvalidateCursor();
    reshow = true;
  }

  if (!DrawDirect(frame, image)) DrawWithGdi(frame, image);
  AddDirtyRect(target);

  if (reshow) {
    FMouse->Show(-1, -1);
    InvalidateCursor();
  }
  if (frame.CursorX != 0 || frame.CursorY != 0) {
    InvalidateCursor();
    FMouse->Show(frame.CursorX, frame.CursorY);
    InvalidateCursor();
  }
}

// A 24-bit patch has the section's own pixel format, so its rows are copied
// or combined straight into the section's memory. Under Wine a SetDIBits
// into a scratch bitmap plus a blit costs tens of milliseconds for a whole
// screen, and a seek replays every record since its key frame. The result is
// byte for byte what the blit gives, clipping included.
bool TBackBuffer::DrawDirect(const FrameRecord& frame, const uint8_t* image) {
  const BmpInfoHeader& header = BmpInfo(image);
  if (!FDirectDrawing || header.biBitCount != 24 || header.biCompression != BMP_RGB || FBitCount != 24 ||
      FHeader.biHeight >= 0 || FBits == nullptr)
    return false;

  const int64_t width = header.biWidth;
  const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : int64_t(header.biHeight);
  const bool topDown = header.biHeight < 0;
  const uint64_t stride = BmpRowBytes(width, 24);
  const uint8_t* pixels = image + BmpFile(image).bfOffBits;

  // The record's place is unsigned, so only the right and bottom edges clip.
  const int64_t x = frame.X;
  const int64_t y = frame.Y;
  const int64_t right = std::min<int64_t>(x + width, Width());
  const int64_t bottom = std::min<int64_t>(y + height, Height());
  if (x >= right || y >= bottom) return true;
  const size_t rowLength = size_t(right - x) * 3;

  // Drawing calls still queued for the section (the cursor's restore) must
  // land before its bytes are touched here.
  GdiFlush();
  for (int64_t row = y; row < bottom; ++row) {
    const int64_t sourceRow = topDown ? row - y : height - 1 - (row - y);
    const uint8_t* source = pixels + uint64_t(sourceRow) * stride;
    uint8_t* target = FBits + uint64_t(row) * FRowBytes + uint64_t(x) * 3;
    if (frame.FrameType == FT_XOR) {
      size_t i = 0;
      for (; i + sizeof(uint64_t) <= rowLength; i += sizeof(uint64_t)) {
        uint64_t a, b;
        std::memcpy(&a, target + i, sizeof a);
        std::memcpy(&b, source + i, sizeof b);
        a ^= b;
        std::memcpy(target + i, &a, sizeof a);
      }
      for (; i < rowLength; ++i) target[i] ^= source[i];
    } else {
      std::memcpy(target, source, rowLength);
    }
  }
  return true;
}

void TBackBuffer::DrawWithGdi(const FrameRecord& frame, const uint8_t* image) {
  const BmpInfoHeader& header = BmpInfo(image);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(image + sizeof(BmpFileHeader));
  const uint8_t* pixels = image + BmpFile(image).bfOffBits;
  const int32_t x = frame.X;
  const int32_t y = frame.Y;
  const int32_t width = header.biWidth;
  const int32_t height = std::abs(header.biHeight);
  const DWORD rop = frame.FrameType == FT_XOR ? SRCINVERT : SRCCOPY;
  TBitmapHandle patch(CreateCompatibleBitmap(FDC.get(), width, height));
  if (patch == nullptr)
    throw Exception(Format("CreateCompatibleBitmap(DC=%d, Width=%d, Height=%d) ErrorCode=%d",
                           HandleNumber(FDC.get()), width, height, static_cast<int>(GetLastError())));
  // The rows go in before the bitmap is selected: GDI wants SetDIBits on a
  // bitmap that no context holds.
  SetDIBits(FScratchDC.get(), patch.get(), 0, height, pixels, info, DIB_RGB_COLORS);
  {
    TSelection selected(FScratchDC.get(), patch.get());
    if (!BitBlt(FDC.get(), x, y, width, height, FScratchDC.get(), 0, 0, rop))
      throw Exception(Format("BitBlt Left=%d, Top=%d, Width=%d, Height=%d, ErrorCode=%d", x, y, width, height,
                             static_cast<int>(GetLastError())));
  }
}

void TBackBuffer::DrawCursorUpdate(const FrameRecord& frame, const uint8_t* image, uint32_t imageLength) {
  if (frame.Length != 0) {
    // Refused before anything changes, so a bad image leaves no trace.
    std::string why;
    if (!CheckBitmapImage(image, imageLength, TBitmapUse::Cursor, why))
      throw Exception("Cursor image: " + why);
    InvalidateCursor();
    FMouse->SetImage(image, imageLength);
    InvalidateCursor();
  }
  if (frame.X != 0 || frame.Y != 0) {
    if (frame.X < Width() && frame.Y < Height()) {
      InvalidateCursor();
      FMouse->Show(frame.X, frame.Y);
      InvalidateCursor();
    }
  } else {
    FMouse->Hide();
    InvalidateCursor();
  }
}

void TBackBuffer::BeginBatch() {
  if (FMouse == nullptr) return;
  const bool shown = FMouse->Shown();
  FMouse->BeginDeferred();
  if (shown) AddCursorRect();
}

void TBackBuffer::EndBatch() {
  // A key frame may have set the picture up anew during the batch, with a
  // cursor that was never deferred; ending that one changes nothing.
  if (FMouse == nullptr) return;
  FMouse->EndDeferred();
  if (FMouse->Shown()) AddCursorRect();
}

void TBackBuffer::AddCursorRect() {
  AddDirtyRect({FMouse->X(), FMouse->Y(), FMouse->X() + FMouse->Width(), FMouse->Y() + FMouse->Height()});
}

void TBackBuffer::GetDirtyRect(RECT& rect, bool clear) {
  rect = FDirtyRect;
  if (clear) FDirtyRect = {0, 0, 0, 0};
}

void TBackBuffer::AddDirtyRect(const RECT& rect) {
  RECT clipped = {std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0),
                  std::min<LONG>(rect.right, Width()), std::min<LONG>(rect.bottom, Height())};
  if (IsEmpty(clipped)) return;
  if (IsEmpty(FDirtyRect)) {
    FDirtyRect = clipped;
    return;
  }
  FDirtyRect.left = std::min(FDirtyRect.left, clipped.left);
  FDirtyRect.top = std::min(FDirtyRect.top, clipped.top);
  FDirtyRect.right = std::max(FDirtyRect.right, clipped.right);
  FDirtyRect.bottom = std::max(FDirtyRect.bottom, clipped.bottom);
}

void TBackBuffer::InvalidateCursor() {
  if (FMouse == nullptr) return;
  if (FMouse->X() < 0 || FMouse->Y() < 0) throw Exception(WideToGBK(L"参数无效"));
  AddCursorRect();
}
