#pragma once
// A picture window's own 24-bit bitmap, of the size the picture is shown at.
// The control copies or scales dirty rectangles of the play thread's back
// buffer into it and the window paints from it, so painting never needs the
// back buffer (nor its lock). Shared by the picture frame and the
// full-screen window.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <type_traits>

#include "picture/PictureLayout.h"

class TBackBuffer;

class TPictureBitmap {
 public:
  // Window: the picture window the bitmap paints into and invalidates.
  explicit TPictureBitmap(HWND Window = nullptr) : FWindow(Window) {}
  ~TPictureBitmap() { Release(); }
  TPictureBitmap(const TPictureBitmap&) = delete;
  TPictureBitmap& operator=(const TPictureBitmap&) = delete;

  void SetWindow(HWND Window) { FWindow = Window; }
  HWND Window() const { return FWindow; }
  // A new bitmap of that size, its pixels undefined; none for an empty size.
  void Reset(int32_t Width, int32_t Height);
  void Release();
  void Fill(COLORREF Colour);
  int32_t Width() const { return FWidth; }
  // Null while there is no bitmap.
  HDC DC() const { return FDC.get(); }
  int32_t Height() const { return FHeight; }

  // Copies Source (back-buffer pixels, right and bottom exclusive) 1:1 to
  // the same place under the back buffer's lock, then invalidates it.
  // False when nothing was drawn.
  bool CopyFrom(TBackBuffer& Buffer, const TPixelRect& Source);
  // Scales Source of the back buffer into Dest, likewise.
  bool StretchFrom(TBackBuffer& Buffer, const TPixelRect& Dest, const TPixelRect& Source);
  // CLR_INVALID outside the bitmap.
  COLORREF Pixel(int X, int Y) const;
  // Copies the update region of the window from the bitmap, inside a
  // WM_PAINT of the window. Paint.hdc stays valid for drawing over it.
  void Paint(HDC DC, const RECT& Update) const;

 private:
  struct TDCDeleter {
    void operator()(HDC DC) const { DeleteDC(DC); }
  };
  struct TObjectDeleter {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
  };
  void Invalidate(const TPixelRect& Rect) const;

  HWND FWindow = nullptr;
  std::unique_ptr<std::remove_pointer_t<HDC>, TDCDeleter> FDC;
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter> FBitmap;
  HGDIOBJ FOldBitmap = nullptr;
  uint8_t* FBits = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};
