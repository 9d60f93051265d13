#include "picture/PictureBitmap.h"

#include <algorithm>

#include "base/Exception.h"
#include "render/BackBuffer.h"
#include "picture/StretchBilinear.h"

void TPictureBitmap::Release() {
  if (FDC && FOldBitmap) SelectObject(FDC.get(), FOldBitmap);
  FOldBitmap = nullptr;
  FBitmap.reset();
  FDC.reset();
  FBits = nullptr;
  FWidth = FHeight = 0;
}

void TPictureBitmap::Reset(int32_t Width, int32_t Height) {
  Release();
  if (Width <= 0 || Height <= 0) return;
  HDC screen = GetDC(nullptr);
  FDC.reset(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!FDC) throw Exception("Cannot create the picture's device context");
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  FBitmap.reset(CreateDIBSection(FDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!FBitmap || !bits) {
    FBitmap.reset();
    FDC.reset();
    throw Exception("Cannot create the picture's bitmap");
  }
  FOldBitmap = SelectObject(FDC.get(), FBitmap.get());
  FBits = static_cast<uint8_t*>(bits);
  FWidth = Width;
  FHeight = Height;
}

void TPictureBitmap::Fill(COLORREF Colour) {
  if (!FDC) return;
  HBRUSH brush = CreateSolidBrush(Colour);
  RECT all{0, 0, FWidth, FHeight};
  FillRect(FDC.get(), &all, brush);
  DeleteObject(brush);
  GdiFlush();
  if (FWindow) InvalidateRect(FWindow, nullptr, FALSE);
}

void TPictureBitmap::Invalidate(const TPixelRect& Rect) const {
  // The picture is a window of its own: its rectangle is invalidated there
  // rather than at the same place moved into the parent.
  const RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  if (FWindow) InvalidateRect(FWindow, &r, FALSE);
}

bool TPictureBitmap::CopyFrom(TBackBuffer& Buffer, const TPixelRect& Source) {
  if (!FDC) return false;
  bool drawn = false;
  TPixelRect s = Source;
  Buffer.Lock();
  s.Left = std::max(s.Left, 0);
  s.Top = std::max(s.Top, 0);
  s.Right = std::min({s.Right, FWidth, Buffer.Width()});
  s.Bottom = std::min({s.Bottom, FHeight, Buffer.Height()});
  if (!s.Empty()) {
    drawn = BitBlt(FDC.get(), s.Left, s.Top, s.Right - s.Left, s.Bottom - s.Top, Buffer.DC(), s.Left, s.Top,
                   SRCCOPY) != FALSE;
    // GDI may batch the copy: it must have read the back buffer before the
    // play thread may draw into it again.
    GdiFlush();
  }
  Buffer.Unlock();
  if (drawn) Invalidate(s);
  return drawn;
}

bool TPictureBitmap::StretchFrom(TBackBuffer& Buffer, const TPixelRect& Dest, const TPixelRect& Source) {
  if (!FBits) return false;
  // Pending GDI work on the bitmap ends before its bytes are written.
  GdiFlush();
  const TPixelView dst{FBits, static_cast<ptrdiff_t>((FWidth * 3 + 3) & ~3), FWidth, FHeight};
  Buffer.Lock();
  bool drawn = false;
  if (Buffer.Bits() && Buffer.BytesPerPixel() == 3) {
    const TConstPixelView src{Buffer.Bits(), static_cast<ptrdiff_t>(Buffer.RowBytes()), Buffer.Width(),
                              Buffer.Height()};
    drawn =
        StretchBilinear(dst, Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top, src,
                        Source.Left, Source.Top, Source.Right - Source.Left, Source.Bottom - Source.Top, 3);
  }
  Buffer.Unlock();
  if (drawn) Invalidate(Dest);
  return drawn;
}

COLORREF TPictureBitmap::Pixel(int X, int Y) const {
  if (!FDC || X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return CLR_INVALID;
  GdiFlush();
  return GetPixel(FDC.get(), X, Y);
}

void TPictureBitmap::Paint(HDC DC, const RECT& Update) const {
  if (FDC)
    BitBlt(DC, Update.left, Update.top, Update.right - Update.left, Update.bottom - Update.top, FDC.get(),
           Update.left, Update.top, SRCCOPY);
}
