#include "picture/frmFullScreen.h"

#include <windowsx.h>

#include <algorithm>

#include "ControlMessages.h"
#include "KRMStream.h"
#include "picture/RemoteInput.h"
#include "base/Exception.h"
#include "base/PlayerContext.h"
#include "base/SystemText.h"

namespace {

const wchar_t* const FormClass = L"TBrindoluxFullScreen";
const wchar_t* const PictureClass = L"TBrindoluxFullPicture";

constexpr WPARAM KeyEscape = VK_ESCAPE;
constexpr WPARAM KeyLeave = VK_F7;

template <typename T>
T* Self(HWND Wnd, UINT Msg, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
}

}  // namespace

TfrmFullScreen::TfrmFullScreen() {
  RegisterControlClass(FormClass, &FormProc);
  RegisterControlClass(PictureClass, &PictureProc);
  FHintText = IsChineseSystem() ? L"按ESC键退出全屏幕模式" : L"Press ESC to Exit Full Screen mode";
  FHintFont = CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
  FHandle.reset(CreateWindowExW(0, FormClass, L"全屏幕", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 0, 0, nullptr,
                                nullptr, ControlModule(), this));
  if (!FHandle) throw Exception("Cannot create the full-screen window");
  FImage.reset(CreateWindowExW(0, PictureClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, FHandle.get(), nullptr,
                               ControlModule(), this));
  if (!FImage) throw Exception("Cannot create the full-screen picture");
  FPicture.SetWindow(FImage.get());
  // The hint's size is that of its text in its font.
  HDC dc = GetDC(FHandle.get());
  HGDIOBJ old = SelectObject(dc, FHintFont);
  SIZE extent{};
  GetTextExtentPoint32W(dc, FHintText.c_str(), static_cast<int>(FHintText.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(FHandle.get(), dc);
  FHintRect = {0, 0, extent.cx, extent.cy};
  SetTimer(FHandle.get(), FrontTimer, FrontTimerMs, nullptr);
  SetTimer(FHandle.get(), HintTimer, HintTimerMs, nullptr);
}

TfrmFullScreen::~TfrmFullScreen() {
  FImage.reset();
  FHandle.reset();
  FPicture.Release();
  if (FHintFont) DeleteObject(FHintFont);
}

void TfrmFullScreen::SetTarget(const PlayerContext& Context, HWND Window) {
  FTarget = Window;
  FPictureWidth = Context.Header.Width;
  FPictureHeight = Context.Header.Height;
  LayoutOnMonitor();
}

void TfrmFullScreen::LayoutOnMonitor() {
  if (FPictureWidth <= 0 || FPictureHeight <= 0) return;
  RECT bounds{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (HMONITOR monitor = MonitorFromWindow(FTarget, MONITOR_DEFAULTTONEAREST)) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info)) bounds = info.rcMonitor;
  }
  const int W = bounds.right - bounds.left, H = bounds.bottom - bounds.top;
  SetWindowPos(FHandle.get(), nullptr, bounds.left, bounds.top, W, H, SWP_NOZORDER | SWP_NOACTIVATE);
  // The frame's fit rule: 1:1 when the picture fits, else zoomed to fit.
  TPictureLayout current;
  current.Zoom = FZoom;
  FLayout = LayoutPicture(W, H, FPictureWidth, FPictureHeight, LayoutFit, current);
  FZoom = FLayout.Zoom;
  MoveWindow(FImage.get(), FLayout.Left, FLayout.Top, FLayout.Width, FLayout.Height, TRUE);
  FPicture.Reset(FLayout.Width, FLayout.Height);
  InvalidateRect(FImage.get(), nullptr, FALSE);
  MoveHint(FLayout.Left + 10, FLayout.Top + 10);
  ShowHint(true);
}

void TfrmFullScreen::Show() {
  ShowWindow(FHandle.get(), SW_SHOW);
  SetForegroundWindow(FHandle.get());
  SetFocus(FHandle.get());
}

void TfrmFullScreen::LeaveFullScreen() {
  // A control window that is gone fails the post, which is as good.
  if (FTarget) PostMessageW(FTarget, WM_KRM_EXITFULL, 0, 0);
}

void TfrmFullScreen::Send(const std::string& Text) {
  if (auto* live = dynamic_cast<TKRMStream*>(FSource)) live->Send(Text);
}

void TfrmFullScreen::MoveHint(int Left, int Top) {
  if (FHintVisible) {
    InvalidateRect(FHandle.get(), &FHintRect, TRUE);
    InvalidateRect(FImage.get(), nullptr, FALSE);
  }
  OffsetRect(&FHintRect, Left - FHintRect.left, Top - FHintRect.top);
  if (FHintVisible) InvalidateRect(FHandle.get(), &FHintRect, TRUE);
}

void TfrmFullScreen::ShowHint(bool Show) {
  if (FHintVisible == Show) return;
  FHintVisible = Show;
  InvalidateRect(FHandle.get(), &FHintRect, TRUE);
  // The hint lies over the picture too: the picture repaints where it was.
  RECT onPicture = FHintRect;
  OffsetRect(&onPicture, -FLayout.Left, -FLayout.Top);
  InvalidateRect(FImage.get(), &onPicture, FALSE);
}

void TfrmFullScreen::PaintHint(HDC DC, int OffsetX, int OffsetY) const {
  if (!FHintVisible) return;
  RECT r = FHintRect;
  OffsetRect(&r, OffsetX, OffsetY);
  const int mode = SetBkMode(DC, TRANSPARENT);
  const COLORREF colour = SetTextColor(DC, RGB(255, 0, 0));
  HGDIOBJ old = SelectObject(DC, FHintFont);
  DrawTextW(DC, FHintText.c_str(), static_cast<int>(FHintText.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
  SelectObject(DC, old);
  SetTextColor(DC, colour);
  SetBkMode(DC, mode);
}

void TfrmFullScreen::FrontTick() {
  const HWND focus = GetFocus();
  if (focus != FHandle.get() && !IsChild(FHandle.get(), focus)) LeaveFullScreen();
}

bool TfrmFullScreen::Key(UINT Msg, WPARAM WParam) {
  switch (Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (WParam != KeyEscape) Send(KeyRequest(static_cast<int32_t>(WParam), false));
      return Msg == WM_KEYDOWN;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (WParam != KeyEscape) Send(KeyRequest(static_cast<int32_t>(WParam), true));
      if (WParam == KeyEscape || WParam == KeyLeave) LeaveFullScreen();
      return Msg == WM_KEYUP;
    default:
      return false;
  }
}

void TfrmFullScreen::PictureMouse(UINT Msg, WPARAM WParam, LPARAM LParam) {
  int32_t flags = 0;
  bool press = false;
  switch (Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      flags = RemoteLeftDown;
      press = true;
      break;
    case WM_LBUTTONUP:
      flags = RemoteLeftUp;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      flags = RemoteRightDown;
      press = true;
      break;
    case WM_RBUTTONUP:
      flags = RemoteRightUp;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      flags = RemoteMiddleDown;
      press = true;
      break;
    case WM_MBUTTONUP:
      flags = RemoteMiddleUp;
      break;
    case WM_MOUSEMOVE:
      flags = RemoteMove;
      break;
    default:
      return;
  }
  // A button pressed on the picture is the presenter's until it is up
  // again: the picture keeps the mouse meanwhile, so that the release (and
  // the moves on the way) reach the server wherever the pointer goes.
  if (press) {
    SetCapture(FImage.get());
  } else if (flags != RemoteMove && !(WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) &&
             GetCapture() == FImage.get()) {
    ReleaseCapture();
  }
  // Past the picture's edge (only while it holds the mouse) the pointer
  // stands on that edge for the presenter.
  POINT at{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
  at.x = std::clamp<LONG>(at.x, 0, std::max<LONG>(FLayout.Width - 1, 0));
  at.y = std::clamp<LONG>(at.y, 0, std::max<LONG>(FLayout.Height - 1, 0));
  if (flags == RemoteMove) {
    if (FMoved && at.x == FLastMove.x && at.y == FLastMove.y) return;
    FMoved = true;
    FLastMove = at;
  }
  const TRemotePoint p =
      RemotePosition(at.x, at.y, FZoom, FLayout.Width, FLayout.Height, FPictureWidth, FPictureHeight);
  Send(MouseRequest(flags, p.X, p.Y));
}

LRESULT TfrmFullScreen::HandleForm(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Key(Msg, WParam)) return 0;
  switch (Msg) {
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(FHandle.get(), &client);
      FillRect(reinterpret_cast<HDC>(WParam), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(FHandle.get(), &ps);
      PaintHint(dc, 0, 0);
      EndPaint(FHandle.get(), &ps);
      return 0;
    }
    case WM_SHOWWINDOW:
      if (WParam && !FShown) {
        FShown = true;
        RECT client{};
        GetClientRect(FHandle.get(), &client);
        MoveHint((client.right - (FHintRect.right - FHintRect.left)) / 2, 0);
      }
      break;
    case WM_TIMER:
      if (WParam == FrontTimer) FrontTick();
      if (WParam == HintTimer) ShowHint(false);
      return 0;
    case WM_CLOSE:
      // Alt+F4 and every other close request: the window stays until the
      // control frees it.
      return 0;
    case WM_SYSCOMMAND:
      // A lone Alt would open a window menu this window does not have, and
      // take the focus away with it.
      if ((WParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcW(FHandle.get(), Msg, WParam, LParam);
}

LRESULT CALLBACK TfrmFullScreen::FormProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto* self = Self<TfrmFullScreen>(Wnd, Msg, LParam);
  if (!self || !self->FHandle) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    return self->HandleForm(Msg, WParam, LParam);
  } catch (...) {
    // A request that could not be built or posted is dropped.
    return 0;
  }
}

LRESULT CALLBACK TfrmFullScreen::PictureProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto* self = Self<TfrmFullScreen>(Wnd, Msg, LParam);
  if (!self || !self->FImage) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    // Keys reach the form whichever of its windows has the focus.
    if (self->Key(Msg, WParam)) return 0;
    self->PictureMouse(Msg, WParam, LParam);
    switch (Msg) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Wnd, &ps);
        self->FPicture.Paint(dc, ps.rcPaint);
        self->PaintHint(dc, -self->FLayout.Left, -self->FLayout.Top);
        EndPaint(Wnd, &ps);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        // The second press of a double click, and nothing more.
        return 0;
      default:
        break;
    }
  } catch (...) {
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}
