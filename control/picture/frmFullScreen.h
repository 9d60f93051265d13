#pragma once
// The full-screen window: the picture on a black popup covering the monitor
// the control lies on. It leaves full screen on Esc or F7 or as soon as it
// loses the focus, by asking the control, which frees it; it never closes
// itself. On a live source it hands the viewer's keys and mouse over the
// picture to the server as request texts.
#include <windows.h>

#include <cstdint>
#include <string>

#include "picture/DetailFrame.h"  // TWindowHandle
#include "picture/PictureBitmap.h"
#include "picture/PictureLayout.h"

struct PlayerContext;
class TReadThread;

class TfrmFullScreen {
 public:
  static constexpr UINT FrontTimerMs = 100;
  static constexpr UINT HintTimerMs = 3000;

  // Made hidden, unowned; both timers run from here on.
  TfrmFullScreen();
  ~TfrmFullScreen();
  TfrmFullScreen(const TfrmFullScreen&) = delete;
  TfrmFullScreen& operator=(const TfrmFullScreen&) = delete;

  // Remote input goes out only when this is the live source; null for none.
  void SetSource(TReadThread* Source) { FSource = Source; }
  // Window: where WM_KRM_EXITFULL goes; then the layout on its monitor.
  void SetTarget(const PlayerContext& Context, HWND Window);
  void LayoutOnMonitor();
  // Shows and activates the window: foreground, with the focus.
  void Show();
  void LeaveFullScreen();

  HWND Handle() const { return FHandle.get(); }
  HWND imgPic() const { return FImage.get(); }
  TPictureBitmap& Picture() { return FPicture; }
  // The picture's place in the window and its size.
  const TPictureLayout& Layout() const { return FLayout; }
  int32_t Zoom() const { return FZoom; }
  COLORREF PicturePixel(int X, int Y) const { return FPicture.Pixel(X, Y); }
  const std::wstring& HintText() const { return FHintText; }
  bool HintVisible() const { return FHintVisible; }
  // In the window's client coordinates.
  RECT HintRect() const { return FHintRect; }

 private:
  enum : UINT_PTR { FrontTimer = 1, HintTimer = 2 };

  static LRESULT CALLBACK FormProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK PictureProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT HandleForm(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Answers true when the message was a key and is handled.
  bool Key(UINT Msg, WPARAM WParam);
  // A press over the picture captures the mouse until the last button is
  // up; positions outside the picture go out on its edge.
  void PictureMouse(UINT Msg, WPARAM WParam, LPARAM LParam);
  void Send(const std::string& Text);
  void MoveHint(int Left, int Top);
  void ShowHint(bool Show);
  void PaintHint(HDC DC, int OffsetX, int OffsetY) const;
  void FrontTick();

  TWindowHandle FHandle;
  TWindowHandle FImage;
  TPictureBitmap FPicture;
  HFONT FHintFont = nullptr;
  std::wstring FHintText;
  RECT FHintRect{};
  bool FHintVisible = false;
  bool FShown = false;
  HWND FTarget = nullptr;
  int32_t FPictureWidth = 0;
  int32_t FPictureHeight = 0;
  int32_t FZoom = 100;
  TPictureLayout FLayout;
  TReadThread* FSource = nullptr;
  // The last move sent: the system repeats a move where the pointer rests.
  bool FMoved = false;
  POINT FLastMove{};
};
