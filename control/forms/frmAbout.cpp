#include "forms/frmAbout.h"

#include <string>

#include "picture/DetailFrame.h"  // ControlModule
#include "forms/FormResources.h"
#include "base/Exception.h"
#include "base/Log.h"
#include "base/SystemText.h"

namespace {

// Pixel places of the parts: Label1 and labVersion take their text's size.
constexpr POINT Label1At = {83, 24};
constexpr POINT VersionAt = {141, 52};
constexpr RECT OKPlace = {123, 93, 123 + 75, 93 + 20};

std::wstring WindowText(HWND Window) {
  const int length = GetWindowTextLengthW(Window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(Window, text.data(), length + 1)));
  return text;
}

// The size of a label's text in its own font.
SIZE TextSize(HWND Label) {
  const std::wstring text = WindowText(Label);
  HDC dc = GetDC(Label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(Label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Label, dc);
  return size;
}

}  // namespace

TfrmAbout::~TfrmAbout() {
  if (FHandle) DestroyWindow(FHandle);
  if (FLabel1Font) DeleteObject(FLabel1Font);
  if (FVersionFont) DeleteObject(FVersionFont);
}

void TfrmAbout::Create(HWND Owner) {
  HWND made = CreateDialogParamW(ControlModule(), MAKEINTRESOURCEW(IDD_ABOUT), Owner, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!made) throw Exception("Cannot create the about box: " + SysErrorMessage(GetLastError()));
}

void TfrmAbout::FormCreate() {
  Label1 = GetDlgItem(FHandle, IDC_ABOUT_LABEL1);
  labVersion = GetDlgItem(FHandle, IDC_ABOUT_LABVERSION);
  btnOK = GetDlgItem(FHandle, IDOK);
  RECT frame = {0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_EXSTYLE)));
  SetWindowPos(FHandle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!FLabel1Font)
    FLabel1Font = CreateFontW(-13, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Sans Serif");
  if (!FVersionFont)
    FVersionFont = CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"宋体");
  SendMessageW(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(FLabel1Font), FALSE);
  SendMessageW(labVersion, WM_SETFONT, reinterpret_cast<WPARAM>(FVersionFont), FALSE);
  const SIZE label1 = TextSize(Label1);
  MoveWindow(Label1, Label1At.x, Label1At.y, label1.cx, label1.cy, FALSE);
  const SIZE version = TextSize(labVersion);
  MoveWindow(labVersion, VersionAt.x, VersionAt.y, version.cx, version.cy, FALSE);
  MoveWindow(btnOK, OKPlace.left, OKPlace.top, OKPlace.right - OKPlace.left, OKPlace.bottom - OKPlace.top,
             FALSE);
  if (!IsChineseSystem()) {
    SetWindowTextW(FHandle, L"About");
    SetWindowTextW(btnOK, L"OK");
  }
}

void TfrmAbout::FormShow() {
  SetWindowTextW(labVersion, Fvi.FileVersion().AsText().c_str());
  // Centred in the window by the width of its text.
  const SIZE size = TextSize(labVersion);
  RECT window{};
  GetWindowRect(FHandle, &window);
  RECT place{};
  GetWindowRect(labVersion, &place);
  MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&place), 2);
  MoveWindow(labVersion, (window.right - window.left - size.cx) / 2, place.top, size.cx, size.cy, TRUE);
}

void TfrmAbout::CentreOnScreen() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  HWND owner = GetWindow(FHandle, GW_OWNER);
  if (!GetMonitorInfoW(MonitorFromWindow(owner ? owner : FHandle, MONITOR_DEFAULTTOPRIMARY), &monitor))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
  RECT window{};
  GetWindowRect(FHandle, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const RECT& area = monitor.rcWork;
  SetWindowPos(FHandle, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmAbout::ShowModal(HWND Owner) {
  if (FHandle && IsWindowVisible(FHandle)) return;
  if (!FHandle)
    Create(Owner);
  else if (GetWindow(FHandle, GW_OWNER) != Owner)
    SetWindowLongPtrW(FHandle, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(Owner));
  FormShow();
  CentreOnScreen();

  // As the class library shows a form modally: its owner takes no input
  // until the box is closed.
  const bool disabled = Owner && IsWindowEnabled(Owner) && !EnableWindow(Owner, FALSE);
  FModal = true;
  FCloseRequested = false;
  ShowWindow(FHandle, SW_SHOW);
  SetFocus(btnOK);
  while (FHandle && !FCloseRequested) {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The host is ending: the loop that waits for that must see it too.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    if (!FHandle || !IsDialogMessageW(FHandle, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  FModal = false;
  // The owner comes back first, so that it is what is activated when the
  // box goes.
  if (disabled && IsWindow(Owner)) EnableWindow(Owner, TRUE);
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void TfrmAbout::Close() {
  if (FModal)
    FCloseRequested = true;
  else if (FHandle)
    ShowWindow(FHandle, SW_HIDE);
}

void TfrmAbout::btnOKClick() { Close(); }

INT_PTR CALLBACK TfrmAbout::DialogProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* self = reinterpret_cast<TfrmAbout*>(GetWindowLongPtrW(Window, DWLP_USER));
  if (Message == WM_INITDIALOG) {
    self = reinterpret_cast<TfrmAbout*>(LParam);
    SetWindowLongPtrW(Window, DWLP_USER, LParam);
    self->FHandle = Window;
  }
  if (!self) return FALSE;
  try {
    return self->HandleMessage(Message, WParam, LParam);
  } catch (const std::exception& e) {
    GlobalLog().AddLine(std::string("TfrmAbout: ") + e.what());
  } catch (...) {
    GlobalLog().AddLine("TfrmAbout: unknown exception");
  }
  return FALSE;
}

INT_PTR TfrmAbout::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_INITDIALOG:
      FormCreate();
      return FALSE;
    case WM_COMMAND:
      // OK, Esc and whoever closes the box by Cancel.
      if (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL) {
        if (LOWORD(WParam) == IDOK)
          btnOKClick();
        else
          Close();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      Close();
      return TRUE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_MENU));
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(WParam);
      SetBkColor(dc, GetSysColor(COLOR_MENU));
      SetTextColor(dc,
                   reinterpret_cast<HWND>(LParam) == Label1 ? RGB(0, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_MENU));
    }
    case WM_NCDESTROY:
      // Gone with its owner, or with the control: made again when needed.
      FHandle = nullptr;
      Label1 = labVersion = btnOK = nullptr;
      FCloseRequested = true;
      return FALSE;
    default:
      return FALSE;
  }
}
