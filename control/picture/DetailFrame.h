#pragma once
// The picture frame: a child window filling the control, and inside it the
// picture imgPic, which keeps its own bitmap of the size it is shown at
// (1:1, or scaled in fit mode).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

#include "BrindoluxTLB.h"  // TDisplayMode
#include "picture/PictureBitmap.h"
#include "picture/PictureLayout.h"

struct PlayerContext;
class TBackBuffer;

struct TWindowDestroyer {
  void operator()(HWND Wnd) const { DestroyWindow(Wnd); }
};
using TWindowHandle = std::unique_ptr<std::remove_pointer_t<HWND>, TWindowDestroyer>;

// The module (library or program) this code is linked into.
HINSTANCE ControlModule();
// Registers a window class of the module once. A class left by an earlier
// load of the library would point at code that is gone: it is replaced.
void RegisterControlClass(const wchar_t* Name, WNDPROC Proc);

class TDetailFrame {
 public:
  // Picture fill after each layout: blue.
  static constexpr COLORREF PictureFill = 0xFF0000;
  // Scroll steps of a line, in pixels.
  static constexpr int HorzScrollIncrement = 27;
  static constexpr int VertScrollIncrement = 8;

  explicit TDetailFrame(HWND Parent);
  ~TDetailFrame();
  TDetailFrame(const TDetailFrame&) = delete;
  TDetailFrame& operator=(const TDetailFrame&) = delete;

  HWND Handle() const { return FHandle.get(); }
  HWND imgPic() const { return FImage.get(); }

  // Takes the picture size from the context's header and lays it out.
  void SetPicture(const PlayerContext& Context, TDisplayMode Mode);
  // Fit: centred, zoomed down when too large. Original size: 1:1, centred
  // or from the top left with a scroll bar. Other modes keep the place.
  // Then a new bitmap of the shown size, filled. Nothing before a size is set.
  void LayoutPicture();
  void FillPicture();
  void ShowPicture(bool Show);
  bool PictureVisible() const;
  int32_t PictureWidth() const { return FPictureWidth; }
  int32_t PictureHeight() const { return FPictureHeight; }
  // The mode of the last layout.
  TDisplayMode Mode() const { return FMode; }
  int32_t Zoom() const { return FZoom; }
  // The picture's place in the frame and the size of its bitmap.
  const TPictureLayout& Layout() const { return FLayout; }
  int32_t BitmapWidth() const { return FPicture.Width(); }
  int32_t BitmapHeight() const { return FPicture.Height(); }
  // The picture's bitmap, where the control draws dirty rectangles.
  TPictureBitmap& Picture() { return FPicture; }

  COLORREF Color() const { return FColor; }
  void SetColor(COLORREF Color);

  // Mouse messages of the frame and of the picture go to the control, which
  // fires its click and mouse events; coordinates are those of the window
  // that received the message.
  using TMouseHandler = std::function<void(UINT Msg, WPARAM WParam, LPARAM LParam)>;
  void SetMouseHandler(TMouseHandler Handler) { FMouse = std::move(Handler); }

  // Copies Source (back-buffer pixels, right and bottom exclusive) 1:1 to
  // the same place of the picture under the back buffer's lock, then
  // invalidates it. False when nothing was drawn.
  bool CopyFromBackBuffer(TBackBuffer& Buffer, const TPixelRect& Source) {
    return FPicture.CopyFrom(Buffer, Source);
  }
  // Scales Source of the back buffer into Dest of the picture, likewise.
  bool StretchFromBackBuffer(TBackBuffer& Buffer, const TPixelRect& Dest, const TPixelRect& Source) {
    return FPicture.StretchFrom(Buffer, Dest, Source);
  }
  // Reads one pixel of the picture's bitmap (tests, and the statistics of
  // what is shown); CLR_INVALID outside the bitmap.
  COLORREF PicturePixel(int X, int Y) const { return FPicture.Pixel(X, Y); }

 private:
  struct TObjectDeleter {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
  };

  static LRESULT CALLBACK FrameProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK PictureProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  void PaintPicture();
  static bool IsMouseMessage(UINT Msg);
  void ApplyScrollBars(const TPictureLayout& Layout);
  void Scroll(int Bar, WPARAM Request);
  void PlacePicture();

  TWindowHandle FHandle;
  TWindowHandle FImage;
  TPictureBitmap FPicture;
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter> FBrush;
  int32_t FPictureWidth = 0;
  int32_t FPictureHeight = 0;
  TDisplayMode FMode = dmAdaptive;
  int32_t FZoom = 1;
  TPictureLayout FLayout;
  // Showing a scroll bar resizes the frame from inside a layout.
  bool FLayingOut = false;
  COLORREF FColor = RGB(255, 255, 255);
  TMouseHandler FMouse;
};
