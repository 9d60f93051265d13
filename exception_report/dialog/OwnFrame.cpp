#include "dialog/OwnFrame.h"

#include <cmath>

#include "dialog/DialogState.h"
#include "options/VezavuModuleOptions.h"

namespace RevavaRez {

namespace {

struct TFrameColours {
  COLORREF Outer;
  COLORREF Fill;
  COLORREF CaptionStart;
};

constexpr TFrameColours kActive = {RGB(64, 64, 64), RGB(128, 128, 128), RGB(130, 155, 194)};
constexpr TFrameColours kInactive = {RGB(48, 48, 48), RGB(96, 96, 96), RGB(151, 151, 151)};

int Darker(int channel) {
  const long value = std::lround(channel * 0.96);
  return value > 255 ? 255 : static_cast<int>(value);
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void Frame(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FrameRect(dc, &rect, brush);
  DeleteObject(brush);
}

}  // namespace

void SetUpDialogLook(HWND dialog, const TVezavuModuleOptions& options) {
  TDialogState& state = DialogState();
  state.TopMost = (options.DialogFlags() & 0x40) != 0;
  state.OwnLook = (options.DialogFlags() & 0x80) != 0;
  state.FrameActive = true;
  if (state.OwnLook) {
    state.CaptionMetric = GetSystemMetrics(SM_CYSMCAPTION);
  } else {
    SetWindowLongPtrA(dialog, GWL_EXSTYLE, GetWindowLongPtrA(dialog, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_TOOLWINDOW));
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    state.CaptionMetric = GetSystemMetrics(SM_CYCAPTION);
  }
  if (state.TopMost) SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void PaintOwnFrame(HWND dialog, const std::string& caption, bool active) {
  const TDialogState& state = DialogState();
  const TFrameColours& colours = active ? kActive : kInactive;
  RECT window;
  if (!GetWindowRect(dialog, &window)) return;
  HDC dc = GetWindowDC(dialog);
  if (!dc) return;
  const RECT w = {0, 0, window.right - window.left, window.bottom - window.top};
  const int fx = GetSystemMetrics(SM_CXSIZEFRAME) - 1;
  const int fy = GetSystemMetrics(SM_CYSIZEFRAME) - 1;
  const RECT inner = {w.left + fx, w.top + fy, w.right - fx, w.bottom - fy};
  RECT captionRect = {w.left + fx + 1, w.top + fy + 1, w.right - fx - 1, 0};
  captionRect.bottom = captionRect.top + state.CaptionMetric - 1;
  const RECT client = {inner.left, captionRect.bottom + 1, inner.right, inner.bottom};

  RECT band = captionRect;
  int r = GetRValue(colours.CaptionStart), g = GetGValue(colours.CaptionStart), b = GetBValue(colours.CaptionStart);
  for (int i = 0; i < state.CaptionMetric / 5; ++i) {
    r = Darker(r);
    g = Darker(g);
    b = Darker(b);
    Fill(dc, band, RGB(r, g, b));
    band.top += 2;
    band.bottom -= 2;
  }

  Frame(dc, w, colours.Outer);
  RECT clientFrame = client;
  if (!state.DetailMode) --clientFrame.top;
  Frame(dc, clientFrame, colours.Outer);
  if (state.DetailMode) Frame(dc, inner, colours.Outer);
  const RECT borders[4] = {{w.left + 1, w.top + 1, w.right - 1, inner.top},
                           {w.left + 1, inner.bottom, w.right - 1, w.bottom - 1},
                           {w.left + 1, inner.top, inner.left, inner.bottom},
                           {inner.right, inner.top, w.right - 1, inner.bottom}};
  for (const RECT& border : borders) Fill(dc, border, colours.Fill);

  HGDIOBJ oldFont = state.Fonts.Caption ? SelectObject(dc, state.Fonts.Caption) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  RECT text = captionRect;
  text.left += 4;
  const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT;
  if (active) {
    RECT shadow = text;
    OffsetRect(&shadow, 1, 0);
    SetTextColor(dc, RGB(34, 34, 34));
    DrawTextA(dc, caption.c_str(), -1, &shadow, format);
    SetTextColor(dc, RGB(255, 255, 255));
  } else {
    SetTextColor(dc, RGB(224, 224, 224));
  }
  DrawTextA(dc, caption.c_str(), -1, &text, format);
  if (oldFont) SelectObject(dc, oldFont);
  ReleaseDC(dialog, dc);
}

bool HandleOwnFrameMessage(HWND dialog, UINT message, WPARAM wParam, const std::string& caption) {
  if (message == WM_NCPAINT) {
    PaintOwnFrame(dialog, caption, DialogState().FrameActive);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return true;
  }
  if (message == WM_NCACTIVATE) {
    DialogState().FrameActive = wParam != FALSE;
    PaintOwnFrame(dialog, caption, wParam != FALSE);
    // Let the activation go on.
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return true;
  }
  return false;
}

}  // namespace RevavaRez
