#include "picture/PictureLayout.h"

#include <algorithm>

namespace {

// Window and recording sizes are small, but W x h may reach the top of the
// 32-bit range; 64 bits keep the comparison and the zoom exact.
int32_t MulDiv100(int64_t A, int64_t B) { return static_cast<int32_t>(A * B / 100); }

}  // namespace

TPictureLayout LayoutPicture(int32_t FrameWidth, int32_t FrameHeight, int32_t PictureWidth,
                             int32_t PictureHeight, int32_t Mode, const TPictureLayout& Current) {
  TPictureLayout out = Current;
  out.Apply = false;
  out.HorzBar = out.VertBar = TScrollBarChange::Keep;
  out.PositionsToZero = false;
  const int64_t W = FrameWidth, H = FrameHeight, w = PictureWidth, h = PictureHeight;
  if (w <= 0 || h <= 0) return out;
  out.Apply = true;
  if (Mode == LayoutFit) {
    out.HorzBar = out.VertBar = TScrollBarChange::Hide;
    if (W < w || H < h) {
      // On a tie the width decides.
      out.Zoom = static_cast<int32_t>(W * h - H * w <= 0 ? W * 100 / w : H * 100 / h);
      out.Height = MulDiv100(h, out.Zoom);
      out.Width = MulDiv100(w, out.Zoom);
      out.Top = static_cast<int32_t>((H - out.Height) / 2);
      out.Left = static_cast<int32_t>((W - out.Width) / 2);
    } else {
      out.Left = static_cast<int32_t>((W - w) / 2);
      out.Top = static_cast<int32_t>((H - h) / 2);
      out.Width = PictureWidth;
      out.Height = PictureHeight;
      out.Zoom = 100;
    }
  } else if (Mode == LayoutOriginal) {
    out.PositionsToZero = true;
    if (w < W) {
      out.Left = static_cast<int32_t>((W - w) / 2);
    } else {
      out.Left = 0;
      out.HorzBar = TScrollBarChange::ShowAtZero;
    }
    if (h < H) {
      out.Top = static_cast<int32_t>((H - h) / 2);
    } else {
      out.Top = 0;
      out.VertBar = TScrollBarChange::ShowAtZero;
    }
    out.Width = PictureWidth;
    out.Height = PictureHeight;
  }
  return out;
}

TPixelRect DecodeDirtyRect(uint64_t WParam, uint64_t LParam) {
  TPixelRect r;
  r.Left = static_cast<int32_t>((WParam >> 16) & 0xFFFF);
  r.Top = static_cast<int32_t>(WParam & 0xFFFF);
  r.Right = static_cast<int32_t>((LParam >> 16) & 0xFFFF);
  r.Bottom = static_cast<int32_t>(LParam & 0xFFFF);
  return r;
}

TPixelRect UniteRect(const TPixelRect& A, const TPixelRect& B) {
  if (B.Empty()) return A;
  if (A.Empty()) return B;
  TPixelRect r;
  r.Left = std::min(A.Left, B.Left);
  r.Top = std::min(A.Top, B.Top);
  r.Right = std::max(A.Right, B.Right);
  r.Bottom = std::max(A.Bottom, B.Bottom);
  return r;
}

TPixelRect SnapToGrid(const TPixelRect& S, int32_t RecordingWidth, int32_t RecordingHeight) {
  TPixelRect r;
  r.Left = S.Left / 100 * 100;
  r.Top = S.Top / 100 * 100;
  r.Right = std::min((S.Right / 100 + 1) * 100, RecordingWidth);
  r.Bottom = std::min((S.Bottom / 100 + 1) * 100, RecordingHeight);
  return r;
}

TPixelRect ZoomRect(const TPixelRect& S, int32_t Zoom, int32_t PictureWidth, int32_t PictureHeight) {
  TPixelRect r;
  r.Left = MulDiv100(Zoom, S.Left);
  r.Top = MulDiv100(Zoom, S.Top);
  r.Right = std::min(MulDiv100(Zoom, S.Right), PictureWidth);
  r.Bottom = std::min(MulDiv100(Zoom, S.Bottom), PictureHeight);
  return r;
}
