#include "dialog/ExceptionDialog.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ExceptionLog.h"
#include "core/VArevText.h"
#include "dialog/DialogFonts.h"
#include "dialog/DialogGeometry.h"
#include "dialog/DialogPages.h"
#include "dialog/DialogResources.h"
#include "dialog/DialogState.h"
#include "dialog/DialogTimers.h"
#include "dialog/ListViewItems.h"
#include "dialog/OwnFrame.h"
#include "events/EventChain.h"
#include "options/ActivationGate.h"
#include "options/VezavuModuleOptionsEx.h"
#include "processing/ProcessingState.h"
#include "processing/ReportLog.h"
#include "report/ReportFiles.h"

namespace RevavaRez {

namespace {

// The layout's base sizes in pixels: the tab page, the text area and the
// window the template makes.
constexpr int kBaseWidth = 466;
constexpr int kBaseHeight = 252;
constexpr int kPageWidth = 451;
constexpr int kPageHeight = 131;
constexpr int kTextWidth = 410;
constexpr int kCompactLimit = 640;
constexpr int kCompactMinimum = 250;
constexpr UINT kFallbackBoxFlags = MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION;

const TVezavuModuleOptionsEx& Options() {
  const TLibraryState& library = LibraryState();
  if (!library.Options) throw std::logic_error("The exception dialog has no options.");
  return *library.Options;
}

const std::string& Text(int index) { return Options().TextAt(index); }

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

void SetFont(HWND dialog, int id, HFONT font) {
  if (font) SendMessageA(Item(dialog, id), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Show(HWND dialog, int id, bool shown) { ShowWindow(Item(dialog, id), shown ? SW_SHOW : SW_HIDE); }

SIZE TextSize(HDC dc, HFONT font, const std::string& text) {
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (old) SelectObject(dc, old);
  return size;
}

bool CloseButtonShown() {
  const TVezavuModuleOptionsEx& options = Options();
  return options.ShowCloseButton() && ProcessingState().ErrorCount > options.CloseButtonAfter();
}

bool ModulesTab() { return (Options().LogFlags() & 0x10) != 0; }
bool CpuTab() { return (Options().LogFlags() & 0x20) != 0; }
bool CustomDataTab() { return !ProcessingState().CustomDataText.empty(); }

void SetFlat(HWND dialog, bool flat) {
  for (int id : {kIdOk, kIdClose, kIdDetails, kIdSendBox, kIdScreenshotBox, kIdCopyBox}) {
    HWND control = Item(dialog, id);
    LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    SetWindowLongPtrA(control, GWL_STYLE, flat ? (style | BS_FLAT) : (style & ~LONG_PTR(BS_FLAT)));
  }
}

std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  lines.push_back(line);
  return lines;
}

void LayoutCompact(HWND dialog) {
  TDialogState& state = DialogState();
  const std::string& message = ProcessingState().LastExceptionMessage;
  SetDlgItemTextA(dialog, kIdMessage, message.c_str());
  const int frameWidth = GetSystemMetrics(SM_CXDLGFRAME);
  const int frameHeight = GetSystemMetrics(SM_CYDLGFRAME);
  const int margins = 2 * frameWidth + 58;
  const int limit = kCompactLimit - margins;

  std::vector<std::string> lines = MessageLines(message);
  lines.push_back(Text(18) + "    " + Text(20));
  int width = 0;
  int height = 0;
  if (HDC dc = GetDC(dialog)) {
    for (std::string& line : lines) {
      if (line.empty()) line = " ";
      const SIZE size = TextSize(dc, state.Fonts.Normal, line);
      int lineWidth = size.cx + 16;
      if (lineWidth > limit) {
        height += size.cy * ((lineWidth - limit + 16) / limit + 1);
        lineWidth = limit;
      }
      width = std::max(width, lineWidth);
      height += size.cy;
    }
    ReleaseDC(dialog, dc);
  }
  const int windowWidth = std::max(width + margins, kCompactMinimum);
  MoveWindow(Item(dialog, kIdMessage), 48, 8, windowWidth - margins, height, TRUE);
  const int windowHeight = std::max(height - 39, 0) + 2 * frameHeight + state.CaptionMetric + 86;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2;
  SetWindowPos(dialog, nullptr, left, top, windowWidth, windowHeight + state.BottomAreaHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Show(dialog, kIdTabs, false);
}

void LayoutDetailed(HWND dialog) {
  TDialogState& state = DialogState();
  SetDlgItemTextA(dialog, kIdMessage, Text(3).c_str());
  LoadDialogGeometry();
  const TDialogGeometry& g = state.Geometry;
  Show(dialog, kIdTabs, true);
  // The placement keeps the stored size as the normal one of a window that
  // opens maximised.
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  GetWindowPlacement(dialog, &placement);
  placement.flags = 0;
  placement.showCmd = g.ShowState == 3 ? SW_SHOWMAXIMIZED : g.ShowState == 6 ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  placement.rcNormalPosition = {g.Left, g.Top, g.Left + g.Width, g.Top + g.Height + state.BottomAreaHeight};
  SetWindowPlacement(dialog, &placement);
}

void Layout(HWND dialog, int w, int h, WPARAM kind) {
  TDialogState& state = DialogState();
  const int dx = w - kBaseWidth;
  const int dy = h - kBaseHeight;
  const int bottom = state.BottomAreaHeight;
  MoveWindow(Item(dialog, kIdTabs), 4, 52, kPageWidth + dx + 7, kPageHeight + dy - bottom + 31, TRUE);
  RECT client = {0, 0, w, h};
  const RECT page = {6, 80, kPageWidth + dx + 5, kPageHeight + dy - bottom + 69};
  HRGN region = CreateRectRgnIndirect(&client);
  HRGN kept = CreateRectRgnIndirect(&page);
  if (region && kept) {
    CombineRgn(region, region, kept, RGN_DIFF);
    InvalidateRgn(dialog, region, FALSE);
  }
  if (kept) DeleteObject(kept);
  if (region) DeleteObject(region);
  if (state.DetailMode) MoveWindow(Item(dialog, kIdMessage), 48, 8, kTextWidth + dx, 42, TRUE);

  int buttonWidth = 75;
  if (HDC dc = GetDC(dialog)) {
    for (int text = 14; text <= 17; ++text)
      buttonWidth = std::max<int>(buttonWidth, TextSize(dc, state.Fonts.Normal, Text(text) + "O").cx);
    const int right = w - 4;
    const int top = h - bottom - 32 + 34 + (state.CopyOffered ? 16 : 0);
    state.LinkRect = {right - TextSize(dc, state.Fonts.Link, Text(21)).cx, top, right, top + 13};
    ReleaseDC(dialog, dc);
  }
  const int y = h - bottom - 32;
  MoveWindow(Item(dialog, kIdOk), (w - buttonWidth) / 2, y, buttonWidth, 25, TRUE);
  MoveWindow(Item(dialog, kIdClose), 5, y, buttonWidth, 25, TRUE);
  Show(dialog, kIdClose, CloseButtonShown());
  MoveWindow(Item(dialog, kIdDetails), w - buttonWidth - 5, y, buttonWidth, 25, TRUE);
  Show(dialog, kIdDetails, (Options().DialogFlags() & 0x10) != 0);
  Show(dialog, kIdEtchedLine, false);
  const int boxWidth = (w - 8) / 2;
  MoveWindow(Item(dialog, kIdSendBox), 4, y + 34, boxWidth, 16, TRUE);
  MoveWindow(Item(dialog, kIdCopyBox), w - boxWidth - 4, y + 34, boxWidth, 16, TRUE);
  MoveWindow(Item(dialog, kIdScreenshotBox), 23, y + 50, w / 2, 16, TRUE);
  SetDlgItemTextA(dialog, kIdSendBox, Text(18).c_str());
  SetDlgItemTextA(dialog, kIdCopyBox, Text(20).c_str());
  SetDlgItemTextA(dialog, kIdScreenshotBox, Text(19).c_str());
  for (int id : {kIdSendBox, kIdCopyBox, kIdScreenshotBox}) SetFont(dialog, id, state.Fonts.Normal);

  TDialogGeometry& g = state.Geometry;
  if (kind == SIZE_MAXIMIZED) {
    g.ShowState = 3;
  } else if (kind == SIZE_MINIMIZED) {
    g.ShowState = 6;
  } else if (state.DetailMode) {
    RECT window;
    if (GetWindowRect(dialog, &window)) {
      g.ShowState = 1;
      g.Width = window.right - window.left;
      g.Height = window.bottom - window.top - bottom;
      g.WidthRecorded = true;
    }
  }
  FitDialogPage(dialog);
}

void InitDialog(HWND dialog) {
  TDialogState& state = DialogState();
  const TVezavuModuleOptionsEx& options = Options();
  const TProcessingState& processing = ProcessingState();
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
  state.CurrentDialog = dialog;

  SetUpDialogLook(dialog, options);

  state.SendingPossible = (options.MailMode() != 0 || options.WebMode() != 0) && !DuplicateFound;
  state.ScreenshotOffered = (options.SendFlags() & 0x10) != 0 && state.SendingPossible;
  state.CopyOffered = (options.DialogFlags() & 0x08) != 0;
  state.LinkShown = !Trim(options.SupportAddress()).empty();
  state.BottomAreaHeight =
      BottomAreaHeightFor(state.SendingPossible, state.ScreenshotOffered, state.CopyOffered, state.LinkShown);

  SetForegroundWindow(dialog);
  state.DetailMode = (options.DialogFlags() & 0x20) != 0;
  state.HeaderBitmap = LoadBitmapA(DialogResourceModule(), "RR_Error");
  state.HeaderSize = {0, 0};
  BITMAP picture;
  if (state.HeaderBitmap && GetObjectA(state.HeaderBitmap, sizeof(picture), &picture))
    state.HeaderSize = {picture.bmWidth, picture.bmHeight};
  state.BackgroundBrush = CreateSolidBrush(state.OwnLook ? RGB(212, 208, 200) : GetSysColor(COLOR_BTNFACE));
  state.WhiteBrush = CreateSolidBrush(RGB(255, 255, 255));
  state.LinkHovered = false;
  CreateDialogFonts(dialog);

  SetDlgItemTextA(dialog, kIdOk, Text(14).c_str());
  SetDlgItemTextA(dialog, kIdClose, Text(options.CloseAction() != 0 ? 16 : 15).c_str());
  for (int id : {kIdMessage, kIdOk, kIdClose, kIdDetails, kIdTabs}) SetFont(dialog, id, state.Fonts.Normal);

  const bool send = processing.SendChecked && (options.DialogFlags() & 0x02) != 0;
  CheckDlgButton(dialog, kIdSendBox, send ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(Item(dialog, kIdScreenshotBox), send);
  Show(dialog, kIdSendBox, state.SendingPossible);
  Show(dialog, kIdScreenshotBox, state.SendingPossible && state.ScreenshotOffered);
  CheckDlgButton(dialog, kIdScreenshotBox,
                 ScreenshotChecked && (options.DialogFlags() & 0x04) != 0 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kIdCopyBox, BST_UNCHECKED);
  Show(dialog, kIdCopyBox, state.CopyOffered);

  SetWindowTextA(dialog, Text(2).c_str());
  HWND tabs = Item(dialog, kIdTabs);
  std::vector<int> tabTexts = {4, 6};
  if (ModulesTab()) tabTexts.push_back(8);
  if (CpuTab()) tabTexts.push_back(10);
  if (CustomDataTab()) tabTexts.push_back(12);
  for (size_t i = 0; i < tabTexts.size(); ++i) {
    std::string caption = Text(tabTexts[i]);
    TCITEMA tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = &caption[0];
    SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tab));
  }

  const int page = FirstPage(options.FirstTab() & 0x7F, ModulesTab(), CpuTab(), CustomDataTab());
  SelectDialogTab(-1 - page, dialog);
  SendMessageA(tabs, TCM_SETCURSEL, TabOfPage(page, ModulesTab(), CpuTab()), 0);

  ApplyDetailMode(dialog, state.DetailMode);
  SetTimer(dialog, kFirstPaintTimer, 1, nullptr);
  StartAutoCloseTimer(dialog);
  StartKeepInFrontTimer(dialog);
}

void Paint(HWND dialog) {
  TDialogState& state = DialogState();
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  if (!dc) return;
  state.DialogPainted = true;
  if (state.HeaderBitmap)
    DrawTransparentBitmap(dc, state.HeaderBitmap, 8, 8, state.HeaderSize.cx, state.HeaderSize.cy);
  if (state.LinkShown) {
    if (state.BackgroundBrush) FillRect(dc, &state.LinkRect, state.BackgroundBrush);
    HGDIOBJ old = state.Fonts.Link ? SelectObject(dc, state.Fonts.Link) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 128));
    RECT link = state.LinkRect;
    DrawTextA(dc, Text(21).c_str(), -1, &link, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP);
    if (old) SelectObject(dc, old);
  }
  EndPaint(dialog, &paint);
}

void OpenSupportPage(HWND dialog) {
  TDialogState& state = DialogState();
  state.TopMost = false;
  SetWindowPos(dialog, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ShellExecuteA(dialog, "open", Trim(Options().SupportAddress()).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void Destroy(HWND dialog) {
  TDialogState& state = DialogState();
  TProcessingState& processing = ProcessingState();
  KillTimer(dialog, kFirstPaintTimer);
  StopAutoCloseTimer(dialog);
  StopKeepInFrontTimer(dialog);
  processing.SendChecked = IsDlgButtonChecked(dialog, kIdSendBox) == BST_CHECKED;
  ScreenshotChecked = IsDlgButtonChecked(dialog, kIdScreenshotBox) == BST_CHECKED;
  processing.CopyChecked = IsDlgButtonChecked(dialog, kIdCopyBox) == BST_CHECKED;
  DestroyDialogPage();
  FreeDialogFonts();
  for (HBRUSH* brush : {&state.BackgroundBrush, &state.WhiteBrush}) {
    if (*brush) DeleteObject(*brush);
    *brush = nullptr;
  }
  if (state.HeaderBitmap) DeleteObject(state.HeaderBitmap);
  state.HeaderBitmap = nullptr;
  if (state.DetailMode) SaveDialogGeometry();
  state.CurrentDialog = nullptr;
}

INT_PTR Command(HWND dialog, WPARAM wParam) {
  TDialogState& state = DialogState();
  switch (LOWORD(wParam)) {
    case IDOK:
    case kIdOk:
      EndDialog(dialog, kIdOk);
      return TRUE;
    case kIdClose:
      ProcessingState().CloseRequested = true;
      EndDialog(dialog, kIdClose);
      return TRUE;
    case kIdDetails:
      if (state.DetailMode) SaveDialogGeometry();
      state.DetailMode = !state.DetailMode;
      InvalidateRect(dialog, nullptr, TRUE);
      ApplyDetailMode(dialog, state.DetailMode);
      return TRUE;
    case kIdSendBox:
      EnableWindow(Item(dialog, kIdScreenshotBox), IsDlgButtonChecked(dialog, kIdSendBox) == BST_CHECKED);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR Dispatch(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  TDialogState& state = DialogState();
  if (message == WM_INITDIALOG) {
    InitDialog(dialog);
    return FALSE;  // the focus stays where InitDialog left it
  }
  if (state.CurrentDialog != dialog) return FALSE;
  if (IsUserActivity(message) || message == WM_COMMAND) ResetAutoCloseCount();
  if (state.OwnLook && HandleOwnFrameMessage(dialog, message, wParam, Text(2))) return TRUE;
  switch (message) {
    case WM_SIZE:
      Layout(dialog, LOWORD(lParam), HIWORD(lParam), wParam);
      return TRUE;
    case WM_MOVE:
      if (state.DetailMode && !IsZoomed(dialog) && !IsIconic(dialog)) {
        RECT window;
        if (GetWindowRect(dialog, &window)) {
          state.Geometry.Left = window.left;
          state.Geometry.Top = window.top;
        }
      }
      return TRUE;
    case WM_PAINT:
      Paint(dialog);
      return TRUE;
    case WM_MOUSEMOVE: {
      const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const bool hovered = state.LinkShown && PtInRect(&state.LinkRect, point);
      if (hovered != state.LinkHovered) {
        state.LinkHovered = hovered;
        InvalidateRect(dialog, &state.LinkRect, FALSE);
      }
      return TRUE;
    }
    case WM_SETCURSOR:
      if (state.LinkHovered && reinterpret_cast<HWND>(wParam) == dialog) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_LBUTTONUP:
      if (state.LinkHovered) OpenSupportPage(dialog);
      return TRUE;
    case WM_COMMAND:
      return Command(dialog, wParam);
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && header->idFrom == static_cast<UINT_PTR>(kIdTabs) && header->code == TCN_SELCHANGE)
        SelectDialogTab(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)), dialog);
      return FALSE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (!state.OwnLook || !state.BackgroundBrush) return FALSE;
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(state.BackgroundBrush);
    case WM_TIMER:
      if (wParam == kFirstPaintTimer) {
        KillTimer(dialog, kFirstPaintTimer);
        // A paint that is only waiting in the queue counts: this timer may
        // come first.
        UpdateWindow(dialog);
        if (!state.DialogPainted) EndDialog(dialog, kIdOk);
        return TRUE;
      }
      return HandleDialogTimer(dialog, wParam) ? TRUE : FALSE;
    case WM_DESTROY:
      Destroy(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int BottomAreaHeightFor(bool sendingPossible, bool screenshotOffered, bool copyOffered, bool linkShown) {
  if ((sendingPossible && screenshotOffered) || (copyOffered && linkShown)) return 34;
  if (sendingPossible || screenshotOffered || copyOffered || linkShown) return 20;
  return 0;
}

void ApplyDetailMode(HWND dialog, bool detailed) {
  const TDialogState& state = DialogState();
  // A maximised or minimised dialog is restored first; one shown normally
  // is shown only once it has its size (below), since a window manager may
  // answer the map of a zero-size window after the resize and undo it.
  if (!detailed && (IsZoomed(dialog) || IsIconic(dialog))) ShowWindow(dialog, SW_SHOWNORMAL);
  if (!state.OwnLook) SetFlat(dialog, false);
  const LONG_PTR bits = WS_THICKFRAME | WS_MAXIMIZEBOX | (state.OwnLook ? 0 : WS_SYSMENU);
  const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
  SetWindowLongPtrA(dialog, GWL_STYLE, detailed ? (style | bits) : (style & ~bits));
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  const std::string details = detailed ? "<< " + Text(17) : Text(17) + " >>";
  SetDlgItemTextA(dialog, kIdDetails, details.c_str());
  if (detailed) {
    LayoutDetailed(dialog);
  } else {
    LayoutCompact(dialog);
    ShowWindow(dialog, SW_SHOWNORMAL);
  }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return Dispatch(dialog, message, wParam, lParam);
  } catch (...) {
    KeepDialogFailure(std::current_exception());
    EndDialog(dialog, kIdOk);
    return TRUE;
  }
}

bool ShowExceptionDialog() {
  TDialogState& state = DialogState();
  TProcessingState& processing = ProcessingState();
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  HMODULE richEdit = LoadLibraryA("RICHED32.DLL");
  HWND foreground = GetForegroundWindow();
  state.CurrentDialog = nullptr;
  MessageBeep(MB_ICONHAND);
  TakeDialogFailure();

  bool painted = false;
  std::exception_ptr failure;
  try {
    for (;;) {
      state.DialogPainted = false;
      DialogBoxParamA(DialogResourceModule(), "RR_Dialog", nullptr, MainDialogProc, 0);
      failure = TakeDialogFailure();
      if (failure) break;
      painted = state.DialogPainted;
      if (!painted && state.PlatformId == VER_PLATFORM_WIN32_NT)
        MessageBoxA(nullptr, processing.LastExceptionMessage.c_str(), Text(2).c_str(), kFallbackBoxFlags);
      if (processing.CloseRequested) {
        ClearWarning();
        RaiseActionNotify(acTerminate, processing.CloseRequested);
        if (!processing.CloseRequested) continue;
      }
      if (!painted) ReportWarning(eeShowError, "Cannot show the DialogBox window.");
      break;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  state.DialogPainted = false;
  state.CurrentDialog = nullptr;
  if (richEdit) FreeLibrary(richEdit);
  if (foreground) SetForegroundWindow(foreground);
  if (failure) std::rethrow_exception(failure);
  return painted;
}

}  // namespace RevavaRez
