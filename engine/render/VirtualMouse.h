#pragma once
// The software cursor drawn over the back buffer's picture. It keeps the
// pixels it covers, so it can move or vanish without the picture being
// redrawn. Touched only by the back buffer's drawing, under its lock.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <type_traits>

// Owners of the GDI handles the back buffer and the cursor hold.
struct TGdiObjectDeleter {
  void operator()(HBITMAP object) const {
    if (object != nullptr) DeleteObject(object);
  }
};
using TBitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, TGdiObjectDeleter>;

struct TMemoryDCDeleter {
  void operator()(HDC dc) const {
    if (dc != nullptr) DeleteDC(dc);
  }
};
using TMemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, TMemoryDCDeleter>;

// Keeps an object selected into a device context for one scope.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelection() {
    if (Selected()) SelectObject(FDC, FOld);
  }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
  bool Selected() const { return FOld != nullptr && FOld != HGDI_ERROR; }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

class TVirtualMouse {
 public:
  // Pure red marks the pixels of the cursor picture that are not drawn.
  static constexpr COLORREF TransparentColor = RGB(255, 0, 0);

  // Loads the "BMPMOUSE" picture from the module holding this code and
  // prepares to draw onto dc.
  explicit TVirtualMouse(HDC dc);
  TVirtualMouse(const TVirtualMouse&) = delete;
  TVirtualMouse& operator=(const TVirtualMouse&) = delete;

  // Draws the cursor with its top-left corner at (x, y); (-1, -1) is the
  // current place.
  void Show(int32_t x, int32_t y);
  void Hide();
  bool HitTest(const RECT& rect) const;
  // Takes a new cursor picture from a BMP file image; it is drawn at the
  // next Show. Raises Exception on an image that cannot be drawn safely.
  void SetImage(const uint8_t* image, uint32_t length);

  // Between these two, Show and Hide only move and flag the cursor: it is
  // lifted off the picture once at the start and drawn once at the end,
  // where the last Show left it. The picture comes out as if it had been
  // drawn and lifted around every change in between.
  void BeginDeferred();
  void EndDeferred();

  bool Shown() const { return FShown; }
  int32_t X() const { return FX; }
  int32_t Y() const { return FY; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }

 private:
  // Saves the pixels at (x, y) and draws the cursor there; false when
  // nothing was saved.
  bool Draw(int32_t x, int32_t y);
  // Puts the saved pixels back.
  void Restore();

  bool FShown = false;
  bool FDrawn = false;  // on the picture now; differs from FShown only while deferred
  bool FDeferred = false;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TBitmapHandle FBackground;
  TBitmapHandle FCursor;
  HDC FTarget;
  int32_t FX = 0;
  int32_t FY = 0;
};
