#pragma once
// The geometry of the picture frame, apart from its windows: where the
// picture goes in fit and original-size mode, and which part of the picture
// a dirty rectangle of the recording covers. Free of the platform.
#include <cstdint>

// Display modes as the control numbers them.
enum : int32_t { LayoutFit = 0, LayoutFull = 1, LayoutOriginal = 2 };

// Right and bottom exclusive.
struct TPixelRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TPixelRect& Other) const {
    return Left == Other.Left && Top == Other.Top && Right == Other.Right && Bottom == Other.Bottom;
  }
};

enum class TScrollBarChange { Keep, Hide, ShowAtZero };

struct TPictureLayout {
  // False: nothing to do at all (no picture size yet).
  bool Apply = false;
  // Place and size of the picture in the frame.
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  int32_t Zoom = 0;
  // Original size: every visible bar goes back to position 0, and a bar is
  // shown where the picture is wider (higher) than the frame; fit hides both.
  TScrollBarChange HorzBar = TScrollBarChange::Keep;
  TScrollBarChange VertBar = TScrollBarChange::Keep;
  bool PositionsToZero = false;
};

// Current holds the picture's place, size and zoom as they are; they stay
// where the mode does not set them.
TPictureLayout LayoutPicture(int32_t FrameWidth, int32_t FrameHeight, int32_t PictureWidth,
                             int32_t PictureHeight, int32_t Mode, const TPictureLayout& Current);

// The rectangle carried by a dirty-rectangle message: wParam = left << 16 |
// top, lParam = right << 16 | bottom, each 16 bits unsigned.
TPixelRect DecodeDirtyRect(uint64_t WParam, uint64_t LParam);

// The smallest rectangle holding both; an empty one adds nothing.
TPixelRect UniteRect(const TPixelRect& A, const TPixelRect& B);

// Fit mode works on whole 100-pixel cells, so repeated scaling of nearby
// rectangles lands on the same destination pixels. Right and bottom always
// move up by one cell, then stop at the recording's size.
TPixelRect SnapToGrid(const TPixelRect& S, int32_t RecordingWidth, int32_t RecordingHeight);

// Where S lands in a picture shown at Zoom percent, no further than the
// picture's own size.
TPixelRect ZoomRect(const TPixelRect& S, int32_t Zoom, int32_t PictureWidth, int32_t PictureHeight);
