#include "frmMain.h"

#include <commdlg.h>

#include <algorithm>
#include <new>
#include <vector>

#include "OleError.h"
#include "Resource.h"
#include "base/SystemText.h"
#include "Tolvane.h"

namespace {

const wchar_t* const MainClassName = L"TfrmMain";
const wchar_t* const PanelClassName = L"TfrmMainPanel";
const wchar_t* const ApplicationTitle = L"Brindolux";
constexpr UINT_PTR RefreshTimerId = 1;
constexpr UINT RefreshInterval = 100;
constexpr int PanelHeight = 16;
// An event that arrives on another thread is handed to the window's thread.
constexpr UINT WM_PLAYSTATECHANGED = WM_APP + 1;

const wchar_t OpenFilter[] =
    L"Zephyrcastor Brindolux(*.krm)|*.krm|Zephyrcastor Channel File(*.sms)|*.sms|BMP File(*.bmp)|*.bmp|"
    L"JPEG File(*.jpg;*.jpeg)|*.jpg;*.jpeg|All Files(*.*)|*.*";

struct TEnglishCaption {
  UINT Id;
  const wchar_t* Caption;
};
const TEnglishCaption EnglishCommands[] = {
    {IDM_OPENFILE, L"Open File\tCtrl+O"}, {IDM_OPENURL, L"Open URL"},
    {IDM_CLOSE, L"Close\tCtrl+C"},        {IDM_EXIT, L"Exit\tCtrl+X"},
    {IDM_PLAY, L"Play\tCtrl+P"},          {IDM_PAUSE, L"Pause\tCtrl+Z"},
    {IDM_STOP, L"Stop\tCtrl+S"},          {IDM_SCANFORWARD, L"Forward\tCtrl+F"},
};

// IntToTime's answer lasts until its next call: copy each one first.
std::wstring TimeText(int PositionSeconds, int DurationSeconds) {
  const std::wstring position = IntToTime(PositionSeconds);
  const std::wstring duration = IntToTime(DurationSeconds);
  return L"  " + position + L" / " + duration + L"  ";
}

void RegisterClasses(HINSTANCE Instance, WNDPROC MainProc, WNDPROC PanelProc) {
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = MainProc;
  main.hInstance = Instance;
  main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  main.lpszClassName = MainClassName;
  WNDCLASSEXW panel = main;
  panel.lpszClassName = PanelClassName;
  panel.lpfnWndProc = PanelProc;
  panel.hIcon = nullptr;
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(Instance, MainClassName, &existing)) RegisterClassExW(&main);
  if (!GetClassInfoExW(Instance, PanelClassName, &existing)) RegisterClassExW(&panel);
}

}  // namespace

TfrmMain::TfrmMain(HINSTANCE Instance, TfrmURL& URLDialog) : FInstance(Instance), FURLDialog(URLDialog) {}

TfrmMain::~TfrmMain() {
  if (FHandle) DestroyWindow(FHandle);
  if (FFont) DeleteObject(FFont);
  if (FAccelerators) DestroyAcceleratorTable(FAccelerators);
}

template <class F>
void TfrmMain::Guarded(F&& Handler) {
  try {
    Handler();
  } catch (const EOleError& error) {
    ShowException(error.Message());
  } catch (const std::exception& error) {
    ShowException(AnsiToWide(error.what()));
  }
}

void TfrmMain::ShowException(const std::wstring& Message) {
  std::wstring text = Message;
  if (!text.empty() && text.back() > L'.') text += L'.';
  FShowingError = true;
  MessageBoxW(FHandle, text.c_str(), ApplicationTitle, MB_OK | MB_ICONSTOP);
  FShowingError = false;
}

void TfrmMain::Create() {
  RegisterClasses(FInstance, WindowProc, PanelProc);
  FThreadId = GetCurrentThreadId();
  FAccelerators = LoadAcceleratorsW(FInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  FMainMenu1 = LoadMenuW(FInstance, MAKEINTRESOURCEW(IDR_MAINMENU));
  HWND window = CreateWindowExW(0, MainClassName, ApplicationTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                282, 171, 722, 562, nullptr, FMainMenu1, FInstance, this);
  if (!window) {
    if (FAILED(FCreateResult)) throw EOleError(FCreateResult, FCreateError);
    const HRESULT code = HRESULT_FROM_WIN32(GetLastError());
    throw EOleError(code, EOleError::SystemText(code));
  }
}

void TfrmMain::CreateComponents() {
  // "MS Sans Serif", height -11.
  FFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Sans Serif");
  FPanel1 = CreateWindowExW(WS_EX_STATICEDGE, PanelClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                            0, 0, PanelHeight, FHandle, nullptr, FInstance, nullptr);
  FlabTime = CreateWindowExW(0, L"STATIC", L"  00:00:00 / 00:00:00  ", WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0,
                             0, 0, FPanel1, nullptr, FInstance, nullptr);
  Fsb = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 0, 0, FPanel1, nullptr,
                        FInstance, nullptr);
  SendMessageW(FlabTime, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = 100;
  SetScrollInfo(Fsb, SB_CTL, &info, FALSE);
  FmiControl = GetSubMenu(FMainMenu1, 1);

  // The control: created by its class identifier, in place above the panel.
  RECT client;
  GetClientRect(FHandle, &client);
  RECT bounds = {0, 0, client.right, std::max<LONG>(0, client.bottom - PanelHeight)};
  HRESULT rc = FHost.Create(CLSID_BrindoluxCtrl, FHandle, bounds);
  if (FAILED(rc)) {
    FCreateResult = rc;
    FCreateError = EOleError::SystemText(rc);
    return;
  }
  const DWORD uiThread = FThreadId;
  HWND window = FHandle;
  FHost.ConnectEvents(DIID_IBrindoluxEvents, [this, uiThread, window](DISPID dispid, DISPPARAMS& params) {
    if (dispid != DispidOnPlayStateChanged || params.cArgs < 1) return;
    VARIANT state;
    VariantInit(&state);
    if (FAILED(VariantChangeType(&state, &params.rgvarg[params.cArgs - 1], 0, VT_I4))) return;
    if (GetCurrentThreadId() == uiThread)
      Guarded([&] { BrindoluxPlayStateChanged(state.lVal); });
    else
      PostMessageW(window, WM_PLAYSTATECHANGED, static_cast<WPARAM>(state.lVal), 0);
  });

  // The recent-files list, loaded once its settings are in.
  Fmru = std::make_unique<TMRUFileList>(IDM_MRU_FIRST);
  Fmru->SetMaximum(10);
  Fmru->SetRemoveOnClick(false);
  Fmru->SetSubmenuName(L"Reopen");
  Fmru->SetFileMenu(FMainMenu1, 0);
  Fmru->SetAutoSaveName(L"\\Software\\Zephyrcastor Brindolux");
  Fmru->SetAutoSaveKey(L"MRU Items");
  Fmru->SetAutoSaveRootKey(rkLocalMachine);
  Fmru->SetMaxCaptionWidth(300);
  Fmru->SetOnMRUItemClick([this](TMRUFileList*, const std::wstring& name) { mruMRUItemClick(name); });
  Fmru->Loaded();

  FormCreate();
  SetTimer(FHandle, RefreshTimerId, RefreshInterval, nullptr);
}

void TfrmMain::FormCreate() {
  if (IsChineseSystem()) return;
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  const wchar_t* bar[] = {L"File", L"Control"};
  for (UINT i = 0; i < 2; ++i) {
    info.dwTypeData = const_cast<wchar_t*>(bar[i]);
    SetMenuItemInfoW(FMainMenu1, i, TRUE, &info);
  }
  for (const auto& item : EnglishCommands) {
    info.dwTypeData = const_cast<wchar_t*>(item.Caption);
    SetMenuItemInfoW(FMainMenu1, item.Id, FALSE, &info);
  }
  DrawMenuBar(FHandle);
}

void TfrmMain::Show(int ShowCommand, const std::wstring& CommandLine) {
  ShowWindow(FHandle, ShowCommand);
  UpdateWindow(FHandle);
  if (FShown) return;
  FShown = true;
  // FormShow: the name after the program's own, if any.
  Guarded([&] {
    if (!CommandLine.empty()) OpenMedia(CommandLine);
  });
}

bool TfrmMain::PreTranslateMessage(MSG& Message) {
  if (FAccelerators && TranslateAcceleratorW(FHandle, FAccelerators, &Message)) return true;
  return FHost.TranslateAccelerator(Message);
}

IBrindolux* TfrmMain::Brindolux() {
  if (!FBrindolux) {
    if (!FHost.Created()) throw EOleError(E_NOINTERFACE, EOleError::SystemText(E_NOINTERFACE));
    HRESULT rc = FHost.Query(FBrindolux);
    if (FAILED(rc)) throw EOleError(rc, EOleError::SystemText(rc));
  }
  return FBrindolux.Get();
}

namespace {

void InvokeProperty(IDispatch* Dispatch, DISPID Dispid, WORD Flags, DISPPARAMS& Params, VARIANT* Result) {
  if (!Dispatch) throw EOleError(E_NOINTERFACE, EOleError::SystemText(E_NOINTERFACE));
  EXCEPINFO info{};
  UINT argError = 0;
  HRESULT rc =
      Dispatch->Invoke(Dispid, IID_NULL, LOCALE_USER_DEFAULT, Flags, &Params, Result, &info, &argError);
  EOleError::CheckInvoke(rc, info);
}

}  // namespace

int TfrmMain::ReadInteger(DISPID Dispid) {
  DISPPARAMS params{};
  VARIANT result;
  VariantInit(&result);
  InvokeProperty(FHost.Dispatch(), Dispid, DISPATCH_PROPERTYGET, params, &result);
  HRESULT rc = VariantChangeType(&result, &result, 0, VT_I4);
  if (FAILED(rc)) {
    VariantClear(&result);
    throw EOleError(rc, EOleError::SystemText(rc));
  }
  return result.lVal;
}

std::wstring TfrmMain::ReadText(DISPID Dispid) {
  DISPPARAMS params{};
  VARIANT result;
  VariantInit(&result);
  InvokeProperty(FHost.Dispatch(), Dispid, DISPATCH_PROPERTYGET, params, &result);
  HRESULT rc = VariantChangeType(&result, &result, 0, VT_BSTR);
  if (FAILED(rc)) {
    VariantClear(&result);
    throw EOleError(rc, EOleError::SystemText(rc));
  }
  std::wstring text(result.bstrVal ? result.bstrVal : L"", SysStringLen(result.bstrVal));
  VariantClear(&result);
  return text;
}

void TfrmMain::WriteInteger(DISPID Dispid, int Value) {
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_I4;
  argument.lVal = Value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  InvokeProperty(FHost.Dispatch(), Dispid, DISPATCH_PROPERTYPUT, params, nullptr);
}

void TfrmMain::OpenMedia(const std::wstring& Name) {
  BSTR name = SysAllocStringLen(Name.data(), static_cast<UINT>(Name.size()));
  IBrindolux* control = Brindolux();
  HRESULT rc = control->Open(name);
  SysFreeString(name);
  EOleError::Check(rc, control, IID_IBrindolux);
}

void TfrmMain::miOpenFileClick() {
  std::wstring filter = OpenFilter;
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter += L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = FHandle;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  if (GetOpenFileNameW(&dialog)) OpenMedia(file.data());
}

void TfrmMain::miOpenURLClick() {
  if (FURLDialog.ShowModal(FHandle)) OpenMedia(FURLDialog.Text());
}

void TfrmMain::mruMRUItemClick(const std::wstring& AFilename) { OpenMedia(AFilename); }

void TfrmMain::miControlClick() {
  UINT item = 0;
  switch (ReadInteger(DispidStatus)) {
    case bxPlaying:
      item = IDM_PLAY;
      break;
    case bxPaused:
      item = IDM_PAUSE;
      break;
    case bxStopped:
      item = IDM_STOP;
      break;
    case bxScanForward:
      item = IDM_SCANFORWARD;
      break;
    default:
      return;
  }
  // One radio group: checking one item clears the others.
  for (UINT id : {IDM_PLAY, IDM_PAUSE, IDM_STOP, IDM_SCANFORWARD}) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    GetMenuItemInfoW(FmiControl, id, FALSE, &info);
    info.fType |= MFT_RADIOCHECK;
    info.fState = id == item ? (info.fState | MFS_CHECKED) : (info.fState & ~MFS_CHECKED);
    SetMenuItemInfoW(FmiControl, id, FALSE, &info);
  }
}

void TfrmMain::SetTimeLabel(const std::wstring& Text) {
  wchar_t current[64] = {};
  GetWindowTextW(FlabTime, current, 64);
  if (Text == current) return;
  SetWindowTextW(FlabTime, Text.c_str());
  LayoutPanel();
}

void TfrmMain::timerRefreshTimer() {
  if (FDragging) return;
  const int position = ReadInteger(DispidCurrentPosition);
  const int duration = ReadInteger(DispidDuration);
  // MulDiv answers -1 for a duration of 0; the bar keeps to its range.
  SetScrollPos(Fsb, SB_CTL, std::clamp(MulDiv(position, 100, duration), 0, 100), TRUE);
  SetTimeLabel(TimeText(position / 1000, duration / 1000));
}

void TfrmMain::sbScroll(int ScrollCode, WPARAM ScrollWParam) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(Fsb, SB_CTL, &info);
  // The bar moves itself, as the class library's scroll bar does: by one
  // for a line or a page (page size 0), to the thumb while it is dragged.
  int position = info.nPos;
  switch (ScrollCode) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
      position -= 1;
      break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
      position += 1;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      position = static_cast<short>(HIWORD(ScrollWParam));
      break;
    case SB_LEFT:
      position = info.nMin;
      break;
    case SB_RIGHT:
      position = info.nMax;
      break;
    default:
      break;
  }
  position = std::clamp(position, info.nMin, info.nMax);
  if (ScrollCode == SB_ENDSCROLL) {
    FDragging = false;
    WriteInteger(DispidCurrentPosition, MulDiv(position, ReadInteger(DispidDuration), 100));
  } else if (ScrollCode == SB_THUMBTRACK) {
    FDragging = true;
    const int duration = ReadInteger(DispidDuration);
    SetTimeLabel(TimeText(MulDiv(position, duration, 100000), duration / 1000));
  }
  if (position != info.nPos) SetScrollPos(Fsb, SB_CTL, position, TRUE);
}

void TfrmMain::BrindoluxPlayStateChanged(int NewState) {
  if (NewState == bxClosed) {
    SetWindowTextW(FHandle, ApplicationTitle);
  } else if (NewState == bxOpened) {
    const std::wstring url = ReadText(DispidURL);
    SetWindowTextW(FHandle, (std::wstring(ApplicationTitle) + L" - " + url).c_str());
    if (Fmru) Fmru->AddItem(url);
  }
}

void TfrmMain::FormClose() {
  IBrindolux* control = Brindolux();
  EOleError::Check(control->Close(), control, IID_IBrindolux);
}

void TfrmMain::LayoutPanel() {
  RECT client;
  GetClientRect(FPanel1, &client);
  HDC dc = GetDC(FlabTime);
  HGDIOBJ old = SelectObject(dc, FFont ? static_cast<HGDIOBJ>(FFont) : GetStockObject(DEFAULT_GUI_FONT));
  wchar_t text[64] = {};
  GetWindowTextW(FlabTime, text, 64);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
  SelectObject(dc, old);
  ReleaseDC(FlabTime, dc);
  const int labelWidth = std::min<int>(size.cx, client.right);
  MoveWindow(FlabTime, client.right - labelWidth, 0, labelWidth, client.bottom, TRUE);
  MoveWindow(Fsb, 0, 0, client.right - labelWidth, client.bottom, TRUE);
}

void TfrmMain::Layout() {
  RECT client;
  GetClientRect(FHandle, &client);
  const int panelTop = std::max<int>(0, client.bottom - PanelHeight);
  MoveWindow(FPanel1, 0, panelTop, client.right, client.bottom - panelTop, TRUE);
  LayoutPanel();
  if (FHost.Created()) {
    RECT bounds = {0, 0, client.right, panelTop};
    FHost.SetBounds(bounds);
  }
}

LRESULT CALLBACK TfrmMain::PanelProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  // The seek bar tells its parent; the main window handles it.
  if (Message == WM_HSCROLL) return SendMessageW(GetParent(Window), Message, WParam, LParam);
  return DefWindowProcW(Window, Message, WParam, LParam);
}

LRESULT CALLBACK TfrmMain::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  TfrmMain* self;
  if (Message == WM_NCCREATE) {
    self = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    self->FHandle = Window;
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(Window, Message, WParam, LParam);
  // Nothing may unwind into the system's dispatch code. The handlers guard
  // what a user does; what is left is the window's own set-up (memory, the
  // stored list), which fails the window's creation with its reason.
  try {
    return self->HandleMessage(Message, WParam, LParam);
  } catch (const EOleError& error) {
    if (Message != WM_CREATE) return 0;
    self->FCreateResult = error.Code();
    self->FCreateError = error.Message();
  } catch (const std::exception& error) {
    if (Message != WM_CREATE) return 0;
    self->FCreateResult = dynamic_cast<const std::bad_alloc*>(&error) ? E_OUTOFMEMORY : E_FAIL;
    self->FCreateError = EOleError::SystemText(self->FCreateResult);
  }
  return -1;
}

LRESULT TfrmMain::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_CREATE:
      CreateComponents();
      return FAILED(FCreateResult) ? -1 : 0;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_COMMAND:
      Guarded([&] {
        switch (LOWORD(WParam)) {
          case IDM_OPENFILE:
            miOpenFileClick();
            break;
          case IDM_OPENURL:
            miOpenURLClick();
            break;
          case IDM_CLOSE: {
            IBrindolux* control = Brindolux();
            EOleError::Check(control->Close(), control, IID_IBrindolux);
            break;
          }
          case IDM_EXIT:
            SendMessageW(FHandle, WM_CLOSE, 0, 0);
            break;
          case IDM_PLAY: {
            IBrindolux* control = Brindolux();
            EOleError::Check(control->Play(), control, IID_IBrindolux);
            break;
          }
          case IDM_PAUSE: {
            IBrindolux* control = Brindolux();
            EOleError::Check(control->Pause(), control, IID_IBrindolux);
            break;
          }
          case IDM_STOP: {
            IBrindolux* control = Brindolux();
            EOleError::Check(control->Stop(), control, IID_IBrindolux);
            break;
          }
          case IDM_SCANFORWARD: {
            IBrindolux* control = Brindolux();
            EOleError::Check(control->FastForward(), control, IID_IBrindolux);
            break;
          }
          default:
            if (Fmru) Fmru->HandleCommand(LOWORD(WParam));
        }
      });
      return 0;
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(WParam) == FmiControl) Guarded([&] { miControlClick(); });
      return 0;
    case WM_TIMER:
      // No new error boxes while one is up: the timer goes on meanwhile.
      if (WParam == RefreshTimerId && !FShowingError) Guarded([&] { timerRefreshTimer(); });
      return 0;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(LParam) == Fsb) Guarded([&] { sbScroll(LOWORD(WParam), WParam); });
      return 0;
    case WM_PLAYSTATECHANGED:
      Guarded([&] { BrindoluxPlayStateChanged(static_cast<int>(WParam)); });
      return 0;
    case WM_CLOSE:
      Guarded([&] { FormClose(); });
      DestroyWindow(FHandle);
      return 0;
    case WM_DESTROY:
      KillTimer(FHandle, RefreshTimerId);
      FBrindolux.Reset();
      FHost.Release();
      Fmru.reset();  // saves the list
      // A window that failed to come up ends no message loop: the start-up
      // error still has to be shown.
      if (SUCCEEDED(FCreateResult)) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
      FHandle = nullptr;
      break;
  }
  return DefWindowProcW(FHandle, Message, WParam, LParam);
}
