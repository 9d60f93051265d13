#include "picture/DetailFrame.h"

#include <algorithm>

#include "ControlMessages.h"
#include "base/Exception.h"
#include "base/PlayerContext.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const wchar_t* const FrameClass = L"TBrindoluxDetailFrame";
const wchar_t* const PictureClass = L"TBrindoluxPicture";

HINSTANCE ThisModule() { return ControlModule(); }

}  // namespace

HINSTANCE ControlModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void RegisterControlClass(const wchar_t* Name, WNDPROC Proc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(ThisModule(), Name, &existing)) {
    if (existing.lpfnWndProc == Proc) return;
    UnregisterClassW(Name, ThisModule());
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = Name;
  wc.style = CS_DBLCLKS;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw Exception("Cannot register a window class of the control");
}

TDetailFrame::TDetailFrame(HWND Parent) {
  RegisterControlClass(FrameClass, &FrameProc);
  RegisterControlClass(PictureClass, &PictureProc);
  FBrush.reset(CreateSolidBrush(FColor));
  FLayout.Zoom = FZoom;
  RECT client{};
  GetClientRect(Parent, &client);
  FHandle.reset(CreateWindowExW(0, FrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                client.right, client.bottom, Parent, nullptr, ThisModule(), this));
  if (!FHandle) throw Exception("Cannot create the picture frame");
  FImage.reset(CreateWindowExW(0, PictureClass, L"", WS_CHILD, 0, 0, 0, 0, FHandle.get(), nullptr,
                               ThisModule(), this));
  if (!FImage) throw Exception("Cannot create the picture");
  FPicture.SetWindow(FImage.get());
}

TDetailFrame::~TDetailFrame() {
  // The windows go first, so nothing paints from a bitmap being freed.
  FImage.reset();
  FHandle.reset();
  FPicture.Release();
}

void TDetailFrame::SetPicture(const PlayerContext& Context, TDisplayMode Mode) {
  FPictureWidth = Context.Header.Width;
  FPictureHeight = Context.Header.Height;
  FMode = Mode;
  LayoutPicture();
}

void TDetailFrame::LayoutPicture() {
  if (FLayingOut || !FImage) return;
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  const TPictureLayout out =
      ::LayoutPicture(client.right, client.bottom, FPictureWidth, FPictureHeight, FMode, FLayout);
  if (!out.Apply) return;
  struct TGuard {
    bool& Flag;
    ~TGuard() { Flag = false; }
  } guard{FLayingOut};
  FLayingOut = true;
  FLayout = out;
  FZoom = out.Zoom;
  ApplyScrollBars(out);
  PlacePicture();
  FPicture.Reset(out.Width, out.Height);
  FillPicture();
}

void TDetailFrame::ApplyScrollBars(const TPictureLayout& Layout) {
  const TScrollBarChange changes[2] = {Layout.HorzBar, Layout.VertBar};
  const int bars[2] = {SB_HORZ, SB_VERT};
  const DWORD styles[2] = {WS_HSCROLL, WS_VSCROLL};
  for (int i = 0; i < 2; ++i) {
    if (changes[i] == TScrollBarChange::Hide) {
      SetScrollPos(FHandle.get(), bars[i], 0, FALSE);
      ShowScrollBar(FHandle.get(), bars[i], FALSE);
    } else if (changes[i] == TScrollBarChange::ShowAtZero) {
      ShowScrollBar(FHandle.get(), bars[i], TRUE);
    }
  }
  // Showing a bar made the client smaller: ranges and pages are set once
  // both bars are where they belong.
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  const int extent[2] = {Layout.Width, Layout.Height};
  const int page[2] = {client.right, client.bottom};
  for (int i = 0; i < 2; ++i) {
    if (!(GetWindowLongW(FHandle.get(), GWL_STYLE) & styles[i])) continue;
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = extent[i] > 0 ? extent[i] - 1 : 0;
    info.nPage = static_cast<UINT>(page[i] > 0 ? page[i] : 0);
    if (Layout.PositionsToZero) {
      info.fMask |= SIF_POS;
      info.nPos = 0;
    }
    SetScrollInfo(FHandle.get(), bars[i], &info, TRUE);
  }
}

void TDetailFrame::PlacePicture() {
  const LONG style = GetWindowLongW(FHandle.get(), GWL_STYLE);
  const int x = FLayout.Left - ((style & WS_HSCROLL) ? GetScrollPos(FHandle.get(), SB_HORZ) : 0);
  const int y = FLayout.Top - ((style & WS_VSCROLL) ? GetScrollPos(FHandle.get(), SB_VERT) : 0);
  MoveWindow(FImage.get(), x, y, FLayout.Width, FLayout.Height, TRUE);
}

void TDetailFrame::Scroll(int Bar, WPARAM Request) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  if (!GetScrollInfo(FHandle.get(), Bar, &info)) return;
  const int line = Bar == SB_HORZ ? HorzScrollIncrement : VertScrollIncrement;
  const int last = std::max(0, info.nMax - static_cast<int>(info.nPage) + 1);
  int pos = info.nPos;
  switch (LOWORD(Request)) {
    case SB_LINEUP:
      pos -= line;
      break;
    case SB_LINEDOWN:
      pos += line;
      break;
    case SB_PAGEUP:
      pos -= static_cast<int>(info.nPage);
      break;
    case SB_PAGEDOWN:
      pos += static_cast<int>(info.nPage);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      pos = info.nTrackPos;
      break;
    case SB_TOP:
      pos = 0;
      break;
    case SB_BOTTOM:
      pos = last;
      break;
    default:
      return;
  }
  pos = std::min(std::max(pos, 0), last);
  SetScrollPos(FHandle.get(), Bar, pos, TRUE);
  PlacePicture();
}

void TDetailFrame::FillPicture() { FPicture.Fill(PictureFill); }

void TDetailFrame::ShowPicture(bool Show) { ShowWindow(FImage.get(), Show ? SW_SHOWNA : SW_HIDE); }

bool TDetailFrame::PictureVisible() const {
  return (GetWindowLongW(FImage.get(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void TDetailFrame::SetColor(COLORREF Color) {
  FColor = Color;
  FBrush.reset(CreateSolidBrush(Color));
  InvalidateRect(FHandle.get(), nullptr, TRUE);
}

void TDetailFrame::PaintPicture() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(FImage.get(), &ps);
  FPicture.Paint(dc, ps.rcPaint);
  EndPaint(FImage.get(), &ps);
}

bool TDetailFrame::IsMouseMessage(UINT Msg) {
  switch (Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK TDetailFrame::FrameProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TDetailFrame*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  try {
    if (self && self->FMouse && IsMouseMessage(Msg)) self->FMouse(Msg, WParam, LParam);
    switch (Msg) {
      case WM_ERASEBKGND:
        if (self && self->FBrush) {
          RECT client{};
          GetClientRect(Wnd, &client);
          FillRect(reinterpret_cast<HDC>(WParam), &client, static_cast<HBRUSH>(self->FBrush.get()));
          return 1;
        }
        break;
      case WM_SIZE:
        // A size change made by the layout itself (a scroll bar shown) is
        // part of that layout.
        if (self && self->FImage && !self->FLayingOut) self->LayoutPicture();
        return 0;
      case WM_HSCROLL:
        if (self) self->Scroll(SB_HORZ, WParam);
        return 0;
      case WM_VSCROLL:
        if (self) self->Scroll(SB_VERT, WParam);
        return 0;
      default:
        break;
    }
  } catch (...) {
    // A failed layout leaves the old picture; nothing may leave a window
    // procedure.
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

LRESULT CALLBACK TDetailFrame::PictureProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TDetailFrame*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (self && self->FMouse && IsMouseMessage(Msg)) {
    try {
      self->FMouse(Msg, WParam, LParam);
    } catch (...) {
      // The container's event handler failed; the mouse message is still
      // the system's to finish.
    }
  }
  switch (Msg) {
    case WM_PAINT:
      if (self) {
        self->PaintPicture();
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDBLCLK:
      // Full screen is the control's to enter, after this click is done.
      if (self && self->FHandle) PostMessageW(GetParent(self->FHandle.get()), WM_KRM_ENTERFULL, 0, 0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}
