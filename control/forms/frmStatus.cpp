#include "forms/frmStatus.h"

#include <cstdio>

#include "base/Exception.h"
#include "base/FramesBuffer.h"
#include "base/GlobalLib.h"
#include "base/Log.h"
#include "base/PlayerContext.h"
#include "base/SystemText.h"
#include "render/PlayThread.h"
#include "source/ReadThread.h"

namespace {

const char* const Unit = "UnitStatus";
const wchar_t* const StatusClass = L"TfrmStatus";
constexpr UINT_PTR RefreshTimer = 1;
constexpr int CloseId = 1;

// Not clipping its children: the groups paint only their frames, so the
// window's own background shows inside them.
constexpr DWORD WindowStyle = WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;

// Where the parts sit, in client pixels: the groups, the rows of each
// group, the value column.
constexpr int GroupLeft = 12;
constexpr int GroupWidth = 357;
constexpr int BufferTop = 8;
constexpr int BufferHeight = 178;
constexpr int MediaTop = 196;
constexpr int MediaHeight = 72;
constexpr int FirstRow = 24;
constexpr int RowStep = 24;
constexpr int ValueLeft = 170;
constexpr int ValueWidth = 180;
constexpr int LabelHeight = 16;

// A caption label and its value label, with the form's texts.
struct TRow {
  HWND TfrmStatus::TComponents::*Caption;
  HWND TfrmStatus::TComponents::*Value;
  const wchar_t* Chinese;
  const wchar_t* English;
  const wchar_t* Initial;
  bool Media;  // in gbMedia, else in gbBuffer
};

using C = TfrmStatus::TComponents;
const TRow Rows[] = {
    {&C::labFrom2, &C::labFrom, L"开始时间：", L"Start:", L"00:00:00", false},
    {&C::labCurrent, &C::labCurrentPosition, L"当前时间：", L"Current:", L"00:00:00", false},
    {&C::labTo2, &C::labTo, L"结束时间：", L"Stop:", L"00:00:00", false},
    {&C::labFrames2, &C::labFrames, L"帧        数：", L"Frames:", L"0", false},
    {&C::labBytes2, &C::labBytes, L"字        节：", L"Bytes:", L"0K", false},
    {&C::labBPS2, &C::labBPS, L"当前速度：", L"Speed:", L"0 kbps", false},
    {&C::labDuration2, &C::labDuration, L"长        度：", L"Length:", L"00:00:00", true},
    {&C::labSize2, &C::labSize, L"屏幕大小：", L"Size:", L"0 x 0", true},
};

void SetText(HWND Window, const std::wstring& Text) { SetWindowTextW(Window, Text.c_str()); }

std::wstring WindowText(HWND Window) {
  wchar_t text[128] = {};
  GetWindowTextW(Window, text, 128);
  return text;
}

}  // namespace

std::wstring FormatHMS(uint32_t Milliseconds) {
  const uint32_t seconds = Milliseconds / 1000;
  wchar_t text[32];
  std::swprintf(text, 32, L"%02u:%02u:%02u", seconds / 3600, seconds % 3600 / 60, seconds % 60);
  return text;
}

std::wstring FormatSpeed(uint32_t KbitPerSecond) {
  if (KbitPerSecond < 1024) return std::to_wstring(KbitPerSecond) + L" Kbps";
  // Worked out in hundredths, so the decimal point is "." whatever the
  // host's locale says.
  const uint64_t hundredths = (uint64_t(KbitPerSecond) * 100 + 512) / 1024;
  wchar_t text[32];
  std::swprintf(text, 32, L"%llu.%02llu Mbps", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned long long>(hundredths % 100));
  return text;
}

std::wstring FormatBytes(int32_t TotalBytes, uint32_t UsedSize) {
  const uint32_t bytes = static_cast<uint32_t>(TotalBytes) + UsedSize;
  return std::to_wstring(bytes >> 10) + L"K";
}

std::wstring FormatSize(int Width, int Height) {
  wchar_t text[32];
  std::swprintf(text, 32, L"%d x %d", Width, Height);
  return text;
}

TfrmStatus::TfrmStatus(HWND Parent) {
  RegisterControlClass(StatusClass, &WindowProc);
  RECT outer = {0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&outer, WindowStyle, FALSE, 0);
  FHandle.reset(CreateWindowExW(0, StatusClass, L"统计信息", WindowStyle, 0, 0, outer.right - outer.left,
                                outer.bottom - outer.top, Parent, nullptr, ControlModule(), this));
  if (!FHandle) throw Exception("Cannot create the statistics window");
  FFont = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
  CreateComponents();
  FormCreate();
}

TfrmStatus::~TfrmStatus() {
  // The window (and its timer) goes before the font its parts use.
  FHandle.reset();
  if (FFont) DeleteObject(FFont);
}

void TfrmStatus::CreateComponents() {
  HWND wnd = FHandle.get();
  auto make = [&](const wchar_t* Class, const wchar_t* Text, DWORD Style, int X, int Y, int W, int H,
                  int Id = 0) {
    HWND child = CreateWindowExW(0, Class, Text, WS_CHILD | WS_VISIBLE | Style, X, Y, W, H, wnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), ControlModule(), nullptr);
    if (!child) throw Exception("Cannot create the statistics window");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    return child;
  };
  int bufferRow = 0;
  int mediaRow = 0;
  for (const TRow& row : Rows) {
    const int top =
        row.Media ? MediaTop + FirstRow + RowStep * mediaRow++ : BufferTop + FirstRow + RowStep * bufferRow++;
    // Caption labels are placed against the value column once their text
    // is known.
    FComponents.*row.Caption = make(L"STATIC", row.Chinese, SS_LEFT | SS_NOPREFIX, 0, top, 0, LabelHeight);
    FComponents.*row.Value =
        make(L"STATIC", row.Initial, SS_LEFT | SS_NOPREFIX, ValueLeft, top, ValueWidth, LabelHeight);
  }
  FComponents.btnClose = make(L"BUTTON", L"关闭", BS_DEFPUSHBUTTON | WS_TABSTOP, (ClientWidth - 75) / 2,
                              MediaTop + MediaHeight + 10, 75, 25, CloseId);
  // The groups lie under the labels and do not paint over them.
  FComponents.gbBuffer = make(L"BUTTON", L"缓冲状态", BS_GROUPBOX | WS_CLIPSIBLINGS, GroupLeft, BufferTop,
                              GroupWidth, BufferHeight);
  FComponents.gbMedia = make(L"BUTTON", L"媒体信息", BS_GROUPBOX | WS_CLIPSIBLINGS, GroupLeft, MediaTop,
                             GroupWidth, MediaHeight);
  for (HWND group : {FComponents.gbBuffer, FComponents.gbMedia})
    SetWindowPos(group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TfrmStatus::FormCreate() {
  if (!IsChineseSystem()) {
    SetWindowTextW(FHandle.get(), L"Statistic");
    SetWindowTextW(FComponents.gbBuffer, L"Buffer Status");
    SetWindowTextW(FComponents.gbMedia, L"Media Information");
    SetWindowTextW(FComponents.btnClose, L"Close");
    for (const TRow& row : Rows) SetWindowTextW(FComponents.*row.Caption, row.English);
  }
  // In every language each caption ends the same distance left of the
  // values, its width that of its text.
  HDC dc = GetDC(FHandle.get());
  HGDIOBJ old = SelectObject(dc, FFont);
  RECT value{};
  GetWindowRect(FComponents.labFrom, &value);
  MapWindowPoints(nullptr, FHandle.get(), reinterpret_cast<POINT*>(&value), 2);
  for (const TRow& row : Rows) {
    HWND caption = FComponents.*row.Caption;
    const std::wstring text = WindowText(caption);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    RECT place{};
    GetWindowRect(caption, &place);
    MapWindowPoints(nullptr, FHandle.get(), reinterpret_cast<POINT*>(&place), 2);
    MoveWindow(caption, value.left - size.cx - CaptionGap, place.top, size.cx, LabelHeight, FALSE);
  }
  SelectObject(dc, old);
  ReleaseDC(FHandle.get(), dc);
}

void TfrmStatus::Show() {
  FormShow();
  ShowWindow(FHandle.get(), SW_SHOWNA);
  SetWindowPos(FHandle.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TfrmStatus::Close() {
  FormClose();
  ShowWindow(FHandle.get(), SW_HIDE);
}

void TfrmStatus::FormShow() {
  BRX_ASSERT(FContext != nullptr, Unit);
  if (!SetTimer(FHandle.get(), RefreshTimer, RefreshInterval, nullptr))
    throw Exception("Cannot start the statistics window's refresh");
  FRefreshing = true;
}

void TfrmStatus::FormClose() {
  KillTimer(FHandle.get(), RefreshTimer);
  FRefreshing = false;
}

void TfrmStatus::btnCloseClick() { Close(); }

void TfrmStatus::timRefreshTimer() {
  const PlayerContext& context = *FContext;
  if (context.FramesBuffer && context.ReadThread && context.PlayThread) {
    TFramesBuffer& frames = *context.FramesBuffer;
    SetText(FComponents.labFrom, FormatHMS(frames.MinTimeStamp()));
    SetText(FComponents.labTo, FormatHMS(frames.MaxTimeStamp()));
    SetText(FComponents.labCurrentPosition, FormatHMS(context.PlayThread->GetPosition()));
    SetText(FComponents.labFrames, std::to_wstring(frames.GetCount()));
    SetText(FComponents.labBytes, FormatBytes(frames.TotalBytes(), context.ReadThread->UsedSize()));
    SetText(FComponents.labBPS, FormatSpeed(context.ReadThread->GetBitRate()));
  }
  SetText(FComponents.labDuration,
          AnsiToWide(SecondsToTimeStr(static_cast<int>(context.Header.Duration / 1000))));
  SetText(FComponents.labSize, FormatSize(context.Header.Width, context.Header.Height));
}

LRESULT CALLBACK TfrmStatus::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TfrmStatus*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!self || !self->FHandle || self->FHandle.get() != Wnd) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  // A refresh runs every second: its failure is written down, not shown.
  try {
    return self->HandleMessage(Msg, WParam, LParam);
  } catch (const std::exception& e) {
    GlobalLog().AddLine(std::string("TfrmStatus: ") + e.what());
  } catch (...) {
    GlobalLog().AddLine("TfrmStatus: unknown exception");
  }
  return 0;
}

LRESULT TfrmStatus::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_TIMER:
      if (WParam == RefreshTimer) {
        timRefreshTimer();
        return 0;
      }
      break;
    case WM_COMMAND:
      if (LOWORD(WParam) == CloseId && HIWORD(WParam) == BN_CLICKED) {
        btnCloseClick();
        return 0;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(FHandle.get(), &client);
      FillRect(reinterpret_cast<HDC>(WParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    default:
      break;
  }
  return DefWindowProcW(FHandle.get(), Msg, WParam, LParam);
}
