#pragma once
// The screenshot taken while an exception is processed: the screen (or the
// foreground window) as it was, the focused control framed in red and the
// cursor drawn in, kept as a bitmap until the report is saved or ends.
// One capture at a time; called under the processing lock.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace RevavaRez {

// The bitmap's size for an area of width x height pixels: 0 becomes 1, the
// stride is the width rounded up to a multiple of 4 (an 8-bit row). Areas
// above kMaxCaptureSide a side, or negative, are refused (Ok false).
struct TCaptureSize {
  bool Ok = false;
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t Stride = 0;
};
constexpr int64_t kMaxCaptureSide = 16384;
TCaptureSize CaptureSizeOf(int64_t width, int64_t height);

// What the capture looks at, taken when the exception was caught.
struct TCaptureInputs {
  // SendFlags bit 5: only the foreground window.
  bool ForegroundOnly = false;
  HWND Foreground = nullptr;
  // The window that had the keyboard focus; none gets no frame.
  HWND Focus = nullptr;
  HCURSOR Cursor = nullptr;
  POINT CursorPos{};
};
// The foreground window and its thread's focus window and the cursor, as
// remembered when the exception was raised, else as they are now.
TCaptureInputs CurrentCaptureInputs(uint16_t sendFlags);
// Kept for the next CurrentCaptureInputs only: the faulting thread tells
// its focus before the processing runs on another thread.
void RememberFocus(HWND focus, HCURSOR cursor, POINT cursorPos);

// Takes a new screenshot, discarding any earlier one; false (and nothing
// kept) when the area is refused or a graphics call fails.
bool CaptureScreen(const TCaptureInputs& inputs) noexcept;
// Reduces the picture to 256 colours and writes it as a PNG file; an empty
// name or no screenshot does nothing, and every failure is swallowed.
void SaveScreenshot(const std::string& fileName) noexcept;
// Frees whatever the capture holds.
void DiscardScreenshot() noexcept;

// The kept picture, for tests: its memory device context (pixels at the
// area's coordinates), its size and the screen point of its top-left corner.
struct TScreenshotView {
  HDC DC = nullptr;
  HBITMAP Bitmap = nullptr;
  TCaptureSize Size;
  POINT Origin{};
  bool PaletteMade = false;
};
TScreenshotView CurrentScreenshot() noexcept;

// The processing's steps: capture with its options, save to and delete its
// screenshot file (ScreenshotName).
void CaptureProcessingScreenshot();
void SaveProcessingScreenshot();
void DeleteProcessingScreenshot();

}  // namespace RevavaRez
