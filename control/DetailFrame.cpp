#include "DetailFrame.h"

#include <algorithm>

#include "BackBuffer.h"
#include "Exception.h"
#include "PlayerContext.h"

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
  RECT client{};
  GetClientRect(Parent, &client);
  FHandle.reset(CreateWindowExW(0, FrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                client.right, client.bottom, Parent, nullptr, ThisModule(), this));
  if (!FHandle) throw Exception("Cannot create the picture frame");
  FImage.reset(CreateWindowExW(0, PictureClass, L"", WS_CHILD, 0, 0, 0, 0, FHandle.get(), nullptr,
                               ThisModule(), this));
  if (!FImage) throw Exception("Cannot create the picture");
}

TDetailFrame::~TDetailFrame() {
  // The windows go first, so nothing paints from a bitmap being freed.
  FImage.reset();
  FHandle.reset();
  ReleaseBitmap();
}

void TDetailFrame::ReleaseBitmap() {
  if (FPictureDC && FOldBitmap) SelectObject(FPictureDC.get(), FOldBitmap);
  FOldBitmap = nullptr;
  FBitmap.reset();
  FPictureDC.reset();
}

void TDetailFrame::SetPicture(const PlayerContext& Context, TDisplayMode Mode) {
  FPictureWidth = Context.Header.Width;
  FPictureHeight = Context.Header.Height;
  FMode = Mode;
  LayoutPicture();
}

void TDetailFrame::LayoutPicture() {
  const int32_t w = FPictureWidth;
  const int32_t h = FPictureHeight;
  if (w <= 0 || h <= 0) return;
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  const int32_t W = client.right;
  const int32_t H = client.bottom;
  // The picture is shown at its own size; scaled layouts come with the
  // scaler.
  const int32_t left = w < W ? (W - w) / 2 : 0;
  const int32_t top = h < H ? (H - h) / 2 : 0;
  FZoom = 100;
  MoveWindow(FImage.get(), left, top, w, h, TRUE);

  ReleaseBitmap();
  HDC screen = GetDC(nullptr);
  FPictureDC.reset(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!FPictureDC) throw Exception("Cannot create the picture's device context");
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  FBitmap.reset(CreateDIBSection(FPictureDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!FBitmap) {
    FPictureDC.reset();
    throw Exception("Cannot create the picture's bitmap");
  }
  FOldBitmap = SelectObject(FPictureDC.get(), FBitmap.get());
  FillPicture();
}

void TDetailFrame::FillPicture() {
  if (!FPictureDC) return;
  HBRUSH brush = CreateSolidBrush(PictureFill);
  RECT all{0, 0, FPictureWidth, FPictureHeight};
  FillRect(FPictureDC.get(), &all, brush);
  DeleteObject(brush);
  GdiFlush();
  InvalidateRect(FImage.get(), nullptr, FALSE);
}

void TDetailFrame::ShowPicture(bool Show) { ShowWindow(FImage.get(), Show ? SW_SHOWNA : SW_HIDE); }

bool TDetailFrame::PictureVisible() const {
  return (GetWindowLongW(FImage.get(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void TDetailFrame::SetColor(COLORREF Color) {
  FColor = Color;
  FBrush.reset(CreateSolidBrush(Color));
  InvalidateRect(FHandle.get(), nullptr, TRUE);
}

bool TDetailFrame::CopyFromBackBuffer(TBackBuffer& Buffer, const RECT& Source) {
  if (!FPictureDC) return false;
  RECT s = Source;
  s.right = std::min<LONG>(s.right, FPictureWidth);
  s.bottom = std::min<LONG>(s.bottom, FPictureHeight);
  if (s.right <= s.left || s.bottom <= s.top) return false;
  Buffer.Lock();
  const bool drawn = BitBlt(FPictureDC.get(), s.left, s.top, s.right - s.left, s.bottom - s.top, Buffer.DC(),
                            s.left, s.top, SRCCOPY) != FALSE;
  Buffer.Unlock();
  if (drawn) {
    GdiFlush();
    InvalidateRect(FImage.get(), &s, FALSE);
  }
  return drawn;
}

COLORREF TDetailFrame::PicturePixel(int X, int Y) const {
  if (!FPictureDC || X < 0 || Y < 0 || X >= FPictureWidth || Y >= FPictureHeight) return CLR_INVALID;
  return GetPixel(FPictureDC.get(), X, Y);
}

void TDetailFrame::PaintPicture() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(FImage.get(), &ps);
  if (FPictureDC)
    BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, FPictureDC.get(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
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
        if (self && self->FImage) self->LayoutPicture();
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
    default:
      break;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}
