#include "BrindoluxCtrl.h"

#include <ole2.h>
#include <windowsx.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "ControlMessages.h"
#include "ControlTexts.h"
#include "decode/Decoder.h"
#include "DocumentUrl.h"
#include "nails/Download.h"
#include "nails/DownloadBuffer.h"
#include "DownloadToFile.h"
#include "KRMStream.h"
#include "base/EngineMessages.h"
#include "base/ErrorTexts.h"
#include "base/Exception.h"
#include "source/FileThread.h"
#include "source/KRMMulticastStream.h"
#include "base/FramesBuffer.h"
#include "base/GlobalLib.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/Log.h"
#include "nails/NailsCreator.h"
#include "nails/NailsIndex.h"
#include "nails/NailsLayout.h"
#include "picture/PictureLayout.h"
#include "render/PlayThread.h"
#include "base/SystemText.h"
#include "picture/frmFullScreen.h"
#include "UrlForms.h"
#include "forms/frmAbout.h"
#include "forms/frmStatus.h"

namespace {

const char* const Unit = "RazeVudImpl";
const wchar_t* const ControlClass = L"TBrindoluxCtrl";
const wchar_t* const ParkingClass = L"TBrindoluxParking";
constexpr UINT_PTR AutoConnectTimer = 1;
// timActiveNails: the thumbnail of the play position is highlighted.
constexpr UINT_PTR ActiveNailsTimer = 20;
constexpr UINT ActiveNailsIntervalMs = 1000;

LRESULT CALLBACK PlainWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

struct TInternetCloser {
  void operator()(HINTERNET Handle) const { InternetCloseHandle(Handle); }
};

// Creates the folder and every missing parent; true when it exists after.
bool ForceDirectories(const std::string& Folder) {
  for (size_t pos = Folder.find_first_of("\\/", 3); pos != std::string::npos;
       pos = Folder.find_first_of("\\/", pos + 1))
    CreateDirectoryA(Folder.substr(0, pos).c_str(), nullptr);
  CreateDirectoryA(Folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(Folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The number "0x" + Digits; a digit that is none fails with the number
// parser's conversion error, which names only the number it read.
int HexByte(const std::wstring& Digits) {
  int value = 0;
  for (wchar_t c : Digits) {
    int digit;
    if (c >= L'0' && c <= L'9')
      digit = c - L'0';
    else if (c >= L'a' && c <= L'f')
      digit = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
      digit = c - L'A' + 10;
    else
      throw Exception("'0x" + WideToAnsi(Digits) + "' is not a valid integer value");
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

TBrindoluxCtrl::TBrindoluxCtrl(TControlEvents* Events) : FEvents(Events) { SetUpControl(); }

void TBrindoluxCtrl::SetUpControl() {
  RegisterControlClass(ParkingClass, &PlainWindowProc);
  RegisterControlClass(ControlClass, &WindowProc);
  FParking.reset(CreateWindowExW(WS_EX_TOOLWINDOW, ParkingClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 ControlModule(), nullptr));
  if (!FParking) throw Exception("Cannot create the control's parking window");
  FHandle.reset(CreateWindowExW(WS_EX_CONTROLPARENT, ControlClass, L"",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 400, 300, FParking.get(),
                                nullptr, ControlModule(), this));
  if (!FHandle) throw Exception("Cannot create the control's window");
  frmDetail = std::make_unique<TDetailFrame>(FHandle.get());
  FPicture = &frmDetail->Picture();
  frmDetail->SetMouseHandler(
      [this](UINT Msg, WPARAM WParam, LPARAM LParam) { FrameMouse(Msg, WParam, LParam); });
  frmNails = std::make_unique<TNailsFrame>(FHandle.get());
  frmNails->SetAlignHandler([this] { AlignChildren(); });
  frmNails->SetEvents(FEvents);
  SetTimer(FHandle.get(), ActiveNailsTimer, ActiveNailsIntervalMs, nullptr);
  CreatePopupMenu();

  FDecoderReady = TDecoder::InitDecoder();

  char temp[261] = {};
  const DWORD length = GetTempPathA(261, temp);
  FTempFolder = (length == 0 || length > 260) ? std::string("c:\\temp\\") : std::string(temp, length);
  FTempFolder += "Brindolux";
  if (!ForceDirectories(FTempFolder + "\\nails")) {
    const std::wstring text = AnsiToWide(std::string(TextFailCreateDirectory) + FTempFolder);
    MessageBoxW(FHandle.get(), text.c_str(), AnsiToWide(TextFileCaption).c_str(), MB_OK | MB_ICONERROR);
  }
  FTempFolder += "\\";

  frmDetail->SetColor(RGB(0, 0, 0));
  frmNails->SetColor(RGB(0, 0, 0));
  FDownloadBuffer = std::make_unique<TDownloadBuffer>(FTempFolder);

  FState = bxClosed;
  FDisplayMode = dmAdaptive;
  FAutoStart = true;
  FAutoConnect = true;
  FInitialColor = 0xFF0000;
  FEnableCache = true;
  FContextMenu = true;
  FIgnoreTimestamp = false;

  FFramesBuffer = std::make_unique<TFramesBuffer>();
  FKeyFramesBuffer = std::make_unique<TKeyFramesBuffer>();
  FIndexTable = std::make_unique<TIndexTable>();
  FContext.FramesBuffer = FFramesBuffer.get();
  FContext.KeyFramesBuffer = FKeyFramesBuffer.get();
  FContext.IndexTable = FIndexTable.get();
  FContext.Window = FHandle.get();
  if (FEvents) FEvents->OnCreate();
}

void TBrindoluxCtrl::CreatePopupMenu() {
  // The form carries the Chinese captions; other systems get English ones.
  const TMenuTexts& texts = MenuTexts();
  pmKRM.reset(::CreatePopupMenu());
  HMENU modes = ::CreatePopupMenu();
  if (!pmKRM || !modes) throw Exception("Cannot create the popup menu");
  AppendMenuW(modes, MF_STRING, miFull, texts.Full.c_str());
  AppendMenuW(modes, MF_STRING, miOriginal, texts.Original.c_str());
  AppendMenuW(modes, MF_STRING, miAdaptive, texts.Adaptive.c_str());
  // From here the main menu owns the submenu and destroys it.
  AppendMenuW(pmKRM.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(modes), texts.DisplayMode.c_str());
  AppendMenuW(pmKRM.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pmKRM.get(), MF_STRING, miStatus, texts.Status.c_str());
  AppendMenuW(pmKRM.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pmKRM.get(), MF_STRING, miAbout, texts.About.c_str());
}

TBrindoluxCtrl::~TBrindoluxCtrl() {
  // The statistics window reads the context on its timer: it goes first.
  FStatus.reset();
  FAbout.reset();
  try {
    if (FEvents) FEvents->OnDestroy();
  } catch (...) {
    GlobalLog().AddLine("TBrindoluxCtrl.Destroy: the container's OnDestroy failed");
  }
  // The container releases the control whatever state it is in: a failing
  // close is written down, never raised out of here.
  try {
    Close();
  } catch (const std::exception& e) {
    GlobalLog().AddLine(std::string("TBrindoluxCtrl.Destroy: Close failed: ") + e.what());
  } catch (...) {
    GlobalLog().AddLine("TBrindoluxCtrl.Destroy: Close failed");
  }
  FreeFullScreen();
  // Whatever Close left running must end before the context goes away.
  FPlayThread.reset();
  FReadThread.reset();
  FContext.PlayThread = nullptr;
  FContext.ReadThread = nullptr;
  // The download goes first: it was handed the buffer.
  FDownload.reset();
  FDownloadBuffer.reset();
  KillTimer(FHandle.get(), ActiveNailsTimer);
  frmNails.reset();
  FContext.FramesBuffer = nullptr;
  FContext.KeyFramesBuffer = nullptr;
  FContext.IndexTable = nullptr;
  FFramesBuffer.reset();
  FKeyFramesBuffer.reset();
  FIndexTable.reset();
  SetClientSite(nullptr);
  if (FDecoderReady) {
    try {
      TDecoder::UninitDecoder();
    } catch (...) {
      GlobalLog().AddLine("TBrindoluxCtrl.Destroy: UninitDecoder failed");
    }
  }
}

void TBrindoluxCtrl::SetParentWindow(HWND Parent) {
  SetParent(FHandle.get(), Parent ? Parent : FParking.get());
}

void TBrindoluxCtrl::AttachEventSink(TControlEvents* Events) {
  FEvents = Events;
  frmNails->SetEvents(Events);
}

void TBrindoluxCtrl::Activated() {
  if (FEvents) FEvents->OnActivate();
}

void TBrindoluxCtrl::Deactivated() {
  if (FEvents) FEvents->OnDeactivate();
}

void TBrindoluxCtrl::SetClientSite(IOleClientSite* Site) {
  if (Site) Site->AddRef();
  if (FClientSite) FClientSite->Release();
  FClientSite = Site;
}

// ---- members ----------------------------------------------------------------

void TBrindoluxCtrl::LoadFile(const std::wstring& Filename) { Open(Filename); }

void TBrindoluxCtrl::SendScript(const std::wstring&) {}

void TBrindoluxCtrl::Open(const std::wstring& Filename) {
  if (FWaiting) return;
  KillTimer(FHandle.get(), AutoConnectTimer);
  Close();
  OpenURL(Filename);
}

void TBrindoluxCtrl::SetDisplayMode(TDisplayMode Value) {
  if (Value == FDisplayMode) return;
  if (Value == dmAdaptive || Value == dmFull || Value == dmOriginal) ChangeDisplayMode(Value);
}

void TBrindoluxCtrl::Play() {
  if (FWaiting) return;
  switch (FState) {
    case bxOpened:
    case bxPaused:
    case bxStopped:
    case bxScanForward:
    case bxScanReverse:
      DoPlay();
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::Pause() {
  if (FWaiting) return;
  switch (FState) {
    case bxPlaying:
    case bxScanForward:
    case bxScanReverse:
      DoPause();
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::Stop() {
  if (FWaiting) return;
  switch (FState) {
    case bxPlaying:
      DoStop();
      break;
    case bxPaused:
    case bxScanForward:
    case bxScanReverse:
      if (DoPlay()) DoStop();
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::Close() {
  if (FWaiting) return;
  switch (FState) {
    case bxClosed:
      PurgeQueue();
      break;
    case bxOpened:
    case bxPlaying:
    case bxPaused:
    case bxStopped:
    case bxScanForward:
    case bxScanReverse:
      CloseSource();
      break;
    case bxOpening:
      CancelOpening();
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::FastForward() {
  if (FWaiting) return;
  switch (FState) {
    case bxOpened:
    case bxPaused:
    case bxStopped:
    case bxScanReverse:
      if (DoPlay()) DoScanForward();
      break;
    case bxPlaying:
    case bxScanForward:
      DoScanForward();
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::FastReverse() {
  // There is no reverse scan: from a still state it plays.
  if (FWaiting) return;
  switch (FState) {
    case bxOpened:
    case bxPaused:
    case bxStopped:
    case bxScanForward:
      DoPlay();
      break;
    default:
      break;
  }
}

int32_t TBrindoluxCtrl::GetCurrentPosition() const {
  return FPlayThread ? static_cast<int32_t>(FPlayThread->GetPosition()) : 0;
}

void TBrindoluxCtrl::SetCurrentPosition(int32_t Milliseconds) {
  if (FPlayThread && Milliseconds >= 0) FPlayThread->Seek(static_cast<uint32_t>(Milliseconds));
}

int32_t TBrindoluxCtrl::GetDuration() const { return static_cast<int32_t>(FContext.Header.Duration); }

std::wstring TBrindoluxCtrl::GetLocalIP() const { return AnsiToWide(FLocalIP); }

void TBrindoluxCtrl::SetLocalIP(const std::wstring& Value) { FLocalIP = WideToAnsi(Value); }

int32_t TBrindoluxCtrl::GetMax() const { return static_cast<int32_t>(FFramesBuffer->MaxTimeStamp()); }

int32_t TBrindoluxCtrl::GetMin() const { return static_cast<int32_t>(FFramesBuffer->MinTimeStamp()); }

void TBrindoluxCtrl::SetFullScreen(bool Value) {
  if (Value) ChangeDisplayMode(dmFull);
}

void TBrindoluxCtrl::SetURL(const std::wstring& Value) {
  const bool blank = std::all_of(Value.begin(), Value.end(), [](wchar_t c) { return c <= L' '; });
  if (!blank) Open(Value);
}

int32_t TBrindoluxCtrl::GetKRMWidth() const { return FContext.Header.Width; }

int32_t TBrindoluxCtrl::GetKRMHeight() const { return FContext.Header.Height; }

namespace {

// The live source's text, or an empty one for every other source.
std::wstring LiveText(TReadThread* Source, std::string (TKRMTCPClient::*Text)() const) {
  const TKRMStream* stream = dynamic_cast<const TKRMStream*>(Source);
  return stream ? AnsiToWide((stream->*Text)()) : std::wstring();
}

}  // namespace

std::wstring TBrindoluxCtrl::GetHost() const { return LiveText(FContext.ReadThread, &TKRMTCPClient::Host); }
std::wstring TBrindoluxCtrl::GetChannelName() const {
  return LiveText(FContext.ReadThread, &TKRMTCPClient::ChannelName);
}
std::wstring TBrindoluxCtrl::GetTitle() const { return LiveText(FContext.ReadThread, &TKRMTCPClient::Title); }
std::wstring TBrindoluxCtrl::GetAuthor() const { return LiveText(FContext.ReadThread, &TKRMTCPClient::Author); }
std::wstring TBrindoluxCtrl::GetCopyright() const {
  return LiveText(FContext.ReadThread, &TKRMTCPClient::Copyright);
}
std::wstring TBrindoluxCtrl::GetDescription() const {
  return LiveText(FContext.ReadThread, &TKRMTCPClient::Description);
}

void TBrindoluxCtrl::Request(const std::wstring& Command) {
  // Only a live source has a server to send to; Send itself skips an empty
  // text and a stream that is not streaming.
  if (auto* stream = dynamic_cast<TKRMStream*>(FContext.ReadThread)) stream->Send(WideToAnsi(Command));
}

int32_t TBrindoluxCtrl::GetMediaTime() const {
  return FPlayThread ? static_cast<int32_t>(FPlayThread->FLastSampleTime.load()) : 0;
}

std::wstring TBrindoluxCtrl::GetbgColor() const {
  const COLORREF color = frmDetail->Color();
  wchar_t text[8];
  std::swprintf(text, 8, L"#%02X%02X%02X", GetRValue(color), GetGValue(color), GetBValue(color));
  return text;
}

void TBrindoluxCtrl::SetbgColor(const std::wstring& Value) {
  if (Value.size() != 7) throw Exception(TextUnknownColorFormat);
  // The first character is not looked at.
  const int red = HexByte(Value.substr(1, 2));
  const int green = HexByte(Value.substr(3, 2));
  const int blue = HexByte(Value.substr(5, 2));
  frmDetail->SetColor(RGB(red, green, blue));
  frmNails->SetColor(RGB(red, green, blue));
}

// ---- opening and closing ------------------------------------------------------

void TBrindoluxCtrl::OpenURL(const std::wstring& URL) {
  BRX_ASSERT(FState == bxClosed, Unit);
  FURL = FileURLToPath(URL);
  // A page whose location cannot be read fails the open with FURL already set.
  FURL = ResolveAgainstPage(FURL, [this] { return FileURLToPath(GetDocumentURL(FClientSite)); });
  std::wstring text = FURL;
  // Nothing of the last recording's thumbnails may join the next one's.
  FDownload.reset();
  frmNails->Hide();
  const std::string bytes = WideToAnsi(FURL);
  switch (ClassifyURL(bytes)) {
    case TURLForm::Live: {
      auto stream = std::make_unique<TKRMStream>(&FContext);
      stream->SetEvents(FEvents);
      FReadThread = std::move(stream);
      break;
    }
    case TURLForm::RemoteChannel:
      // The source opens the local copy; FURL keeps the web address.
      DownloadChannelFile(bytes);
      text = AnsiToWide(ChannelCopyPath(FTempFolder));
      FReadThread = std::make_unique<TKRMMulticastStream>(&FContext);
      break;
    case TURLForm::LocalChannel:
      FReadThread = std::make_unique<TKRMMulticastStream>(&FContext);
      break;
    case TURLForm::File:
      FReadThread = std::make_unique<TFileThread>(&FContext);
      break;
  }
  FContext.ReadThread = FReadThread.get();
  FContext.Window = FHandle.get();
  ++FSource;
  // A handler that closed or reopened the control has the last word: this
  // source gets no open command.
  if (!SetState(bxOpening)) return;
  FReadThread->Open(text, std::string());
}

void TBrindoluxCtrl::DownloadChannelFile(const std::string& URL) {
  std::unique_ptr<std::remove_pointer_t<HINTERNET>, TInternetCloser> internet(
      InternetOpenA(DownloadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) throw Exception(TextFailOpenNetwork);
  if (!DownloadToFile(internet.get(), URL, ChannelCopyPath(FTempFolder)))
    throw Exception(TextFailDownloadFile + URL);
}

void TBrindoluxCtrl::PurgeQueue() {
  HWND wnd = FHandle.get();
  MSG msg;
  while (PeekMessageW(&msg, wnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, wnd, WM_KRM_ERROR, WM_KRM_ERROR, PM_REMOVE)) {
  }
  while (PeekMessageW(&msg, wnd, WM_KRM_OPENED, WM_KRM_OPENED, PM_REMOVE)) {
  }
  // An end posted by the play thread just before it stopped would otherwise
  // fire bxStopped at a control that is closed.
  while (PeekMessageW(&msg, wnd, WM_KRM_END, WM_KRM_END, PM_REMOVE)) {
  }
  KillTimer(wnd, AutoConnectTimer);
}

void TBrindoluxCtrl::CloseSource() {
  TWaitScope waiting(FWaiting);
  TWaitScope closing(FClosing);
  PurgeQueue();
  // The window holds the source thread: it goes before the thread does.
  // FDisplayMode stays, so the next open shows full screen again.
  FreeFullScreen();
  if (FPlayThread) FPlayThread->Stop();
  if (FReadThread) FReadThread->Stop();
  FPlayThread.reset();
  FContext.PlayThread = nullptr;
  FReadThread.reset();
  FContext.ReadThread = nullptr;
  // An end or error that the threads posted while they finished their last
  // record is as stale as those queued before the stop.
  PurgeQueue();
  FFramesBuffer->Clear();
  FKeyFramesBuffer->Clear();
  FIndexTable->Clear();
  FContext.Header = KRMFileHeader{};
  frmDetail->ShowPicture(false);
  SetState(bxClosed);
}

void TBrindoluxCtrl::CancelOpening() {
  BRX_ASSERT(FState == bxOpening, Unit);
  {
    TWaitScope waiting(FWaiting);
    FReadThread.reset();
  }
  FContext.ReadThread = nullptr;
  PurgeQueue();
  // The source may have read its header and the first records before it was
  // cancelled; the next source must not find them.
  FFramesBuffer->Clear();
  FKeyFramesBuffer->Clear();
  FIndexTable->Clear();
  FContext.Header = KRMFileHeader{};
  SetState(bxClosed);
}

// ---- state steps --------------------------------------------------------------

bool TBrindoluxCtrl::SetState(TStatus State) {
  FState = State;
  const uint32_t source = FSource;
  if (FEvents) FEvents->OnPlayStateChanged(State);
  return FState == State && FSource == source;
}

bool TBrindoluxCtrl::DoPlay() {
  switch (FState) {
    case bxOpened:
    case bxPaused:
    case bxStopped:
    case bxScanForward:
    case bxScanReverse:
      if (FPlayThread) FPlayThread->Play();
      break;
    default:
      break;
  }
  return SetState(bxPlaying);
}

bool TBrindoluxCtrl::DoPause() {
  BRX_ASSERT(FState == bxPlaying || FState == bxScanForward || FState == bxScanReverse, Unit);
  if (FPlayThread) {
    TWaitScope waiting(FWaiting);
    FPlayThread->Pause();
  }
  return SetState(bxPaused);
}

bool TBrindoluxCtrl::DoStop() {
  BRX_ASSERT(FState == bxPlaying, Unit);
  if (FPlayThread) {
    TWaitScope waiting(FWaiting);
    FPlayThread->Stop();
  }
  return SetState(bxStopped);
}

bool TBrindoluxCtrl::DoScanForward() {
  if (FPlayThread) FPlayThread->FastForward();
  return SetState(bxScanForward);
}

void TBrindoluxCtrl::DoScanReverse() {}

// ---- picture ------------------------------------------------------------------

void TBrindoluxCtrl::ApplyDisplayMode() {
  frmDetail->ShowPicture(true);
  if (FDisplayMode == dmFull) {
    if (!frmFullScreen) frmFullScreen = std::make_unique<TfrmFullScreen>();
    frmFullScreen->SetSource(FContext.ReadThread);
    frmFullScreen->SetTarget(FContext, FHandle.get());
    FPicture = &frmFullScreen->Picture();
    frmFullScreen->Show();
  } else {
    frmDetail->SetPicture(FContext, FDisplayMode);
    FreeFullScreen();
  }
}

void TBrindoluxCtrl::FreeFullScreen() {
  FPicture = &frmDetail->Picture();
  if (!frmFullScreen) return;
  frmFullScreen.reset();
  // The window's timer repeats its request until the window goes; a repeat
  // still queued would end the next full screen as soon as it began.
  MSG msg;
  while (PeekMessageW(&msg, FHandle.get(), WM_KRM_EXITFULL, WM_KRM_EXITFULL, PM_REMOVE)) {
  }
}

void TBrindoluxCtrl::RepaintAll() {
  if (FPlayThread) FPlayThread->Repaint();
}

void TBrindoluxCtrl::ChangeDisplayMode(TDisplayMode Mode) {
  if (Mode == FDisplayMode) return;
  if (Mode == dmFull) FPrevDisplayMode = FDisplayMode;
  FDisplayMode = Mode;
  // While the source closes, its threads are on their way out: a window made
  // now would keep the stream that the close frees. The mode is only taken,
  // as without a source, and shows with the next open.
  if (FPlayThread && !FClosing) {
    ApplyDisplayMode();
    RepaintAll();
  }
  if (FEvents) FEvents->OnDisplayModeChanged(Mode);
}

// ---- engine messages ------------------------------------------------------------

void TBrindoluxCtrl::WMOpened(WPARAM WParam) {
  if (WParam != 0) return;
  // Only the source being opened may report; a repeated report would replace
  // a running play thread.
  if (FState != bxOpening || FPlayThread) return;
  try {
    FPlayThread = std::make_unique<TPlayThread>(&FContext);
    FPlayThread->FCacheKeyFrames = false;
    FPlayThread->FIgnoreTimestamp = FIgnoreTimestamp;
    FContext.PlayThread = FPlayThread.get();
    ApplyDisplayMode();
    LoadNailsForURL();
  } catch (const std::exception& e) {
    FailOpened(e.what());
    return;
  } catch (...) {
    FailOpened("unknown failure");
    return;
  }
  if (SetState(bxOpened) && FAutoStart) Play();
}

void TBrindoluxCtrl::FailOpened(const std::string& Text) {
  // A half-made set-up would hold the open for good: without a play thread
  // nothing trims a live stream, and a play thread that stays refuses every
  // later open. So this is a failed open, reported as the sources report
  // theirs: the text to the log, one code to the control.
  GlobalLog().AddLine("TBrindoluxCtrl.WMOpened: the opened source cannot be shown: " + Text);
  // The threads, the window and the buffers go as in a close.
  CloseSource();
  PostMessageW(FHandle.get(), WM_KRM_ERROR, KRM_ERR_UNEXPECTED, 0);
}

void TBrindoluxCtrl::WMError(WPARAM WParam) {
  const WPARAM code = WParam;
  if (FAutoConnect && (code == 3 || code == 4 || code == 7 || code == 15)) {
    Close();
    // A handler that opened a source of its own when it heard of the close
    // keeps it: the reconnect would close it again.
    if (FState == bxClosed) SetTimer(FHandle.get(), AutoConnectTimer, AutoConnectDelayMs, nullptr);
  }
}

void TBrindoluxCtrl::WMEnd() {
  const uint32_t source = FSource;
  Stop();
  // Once more whatever Stop did, but not at a source that a handler closed
  // or replaced meanwhile.
  if (FState == bxStopped && FSource == source && FEvents) FEvents->OnPlayStateChanged(bxStopped);
}

void TBrindoluxCtrl::WMDirtyRect(WPARAM WParam, LPARAM LParam) {
  if (!FPlayThread || !FPlayThread->BackBuffer().Active()) return;
  if (WParam == 0 && LParam == 0) return;
  TPixelRect s = DecodeDirtyRect(WParam, LParam);
  // Catching up with the play thread: every rectangle already waiting is
  // drawn in the same copy.
  MSG msg;
  while (PeekMessageW(&msg, FHandle.get(), WM_KRM_DIRTYRECT, WM_KRM_DIRTYRECT, PM_REMOVE))
    s = UniteRect(s, DecodeDirtyRect(msg.wParam, msg.lParam));
  // The target's own layout decides: the frame scales in fit mode, the
  // full-screen window when the recording is larger than its monitor (a 1:1
  // copy would show only the top-left corner there).
  TPixelRect d = s;
  const bool full = frmFullScreen != nullptr;
  const int32_t zoom = full ? frmFullScreen->Zoom() : frmDetail->Zoom();
  if (full ? zoom < 100 : frmDetail->Mode() == dmAdaptive) {
    s = SnapToGrid(s, FContext.Header.Width, FContext.Header.Height);
    d = ZoomRect(s, zoom, FPicture->Width(), FPicture->Height());
  }
  TBackBuffer& buffer = FPlayThread->BackBuffer();
  if (d == s)
    FPicture->CopyFrom(buffer, s);
  else
    FPicture->StretchFrom(buffer, d, s);
}

void TBrindoluxCtrl::WMExitFull() {
  if (FDisplayMode != dmFull) return;
  FDisplayMode = FPrevDisplayMode;
  frmDetail->SetPicture(FContext, FDisplayMode);
  FreeFullScreen();
  RepaintAll();
  if (FEvents) FEvents->OnDisplayModeChanged(FDisplayMode);
}

void TBrindoluxCtrl::TimerAutoConnect() {
  KillTimer(FHandle.get(), AutoConnectTimer);
  Open(FURL);
}

// ---- thumbnails ---------------------------------------------------------------

void TBrindoluxCtrl::LoadNailsForURL() {
  const std::string url = WideToAnsi(FURL);
  if (IsRemoteURL(url)) {
    StartNailsDownload();
    return;
  }
  const std::string folder = FileFolder(url);
  const DWORD attributes = GetFileAttributesA((folder + NailsIndexName).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    frmNails->LoadNails(folder);
}

void TBrindoluxCtrl::StartNailsDownload() {
  FDownload.reset();
  FDownload = std::make_unique<TDownload>(FHandle.get(), ++FDownloadNumber, URLFolder(WideToAnsi(FURL)),
                                          FTempFolder, FDownloadBuffer.get());
  FDownload->Start();
}

void TBrindoluxCtrl::WMAddNail(WPARAM WParam) {
  std::string path;
  int32_t seconds = 0;
  {
    if (!frmNails) {
      delete reinterpret_cast<NailInfo*>(WParam);
      return;
    }
    // Freed before anything can fail: a message box's loop would dispatch
    // the next blocks meanwhile.
    std::unique_ptr<NailInfo> block(reinterpret_cast<NailInfo*>(WParam));
    if (!block) return;
    const int32_t length = std::clamp<int32_t>(block->PathLength, 0, NailInfo::PathSize);
    path.assign(block->Path, static_cast<size_t>(length));
    seconds = block->Seconds;
  }
  frmNails->AddNail(path, seconds);
}

void TBrindoluxCtrl::WMLayoutNail(WPARAM WParam) {
  struct TSignal {
    ~TSignal() { SetEvent(LayoutNailEvent()); }
  } signal;
  if (frmNails && WParam < static_cast<WPARAM>(MaxNails)) frmNails->PlaceNail(static_cast<int>(WParam));
}

void TBrindoluxCtrl::WMNailsDownloaded(WPARAM WParam) {
  // A download freed meanwhile may have posted before it ended.
  if (!FDownload || WParam != FDownloadNumber || !frmNails) return;
  frmNails->LoadNails(FTempFolder);
}

void TBrindoluxCtrl::TimerActiveNails() {
  if (FState == bxPlaying && frmNails && frmNails->Visible() && FPlayThread)
    frmNails->ShowPosition(static_cast<int32_t>(FPlayThread->GetPosition() / 1000));
}

void TBrindoluxCtrl::AlignChildren() {
  RECT client{};
  GetClientRect(FHandle.get(), &client);
  const int width = client.right;
  int bottom = client.bottom;
  if (frmNails->Visible()) {
    const int height = std::min(frmNails->StripHeight(), std::max(0, bottom));
    MoveWindow(frmNails->Handle(), 0, bottom - height, width, height, TRUE);
    bottom -= height;
    if (HWND splitter = frmNails->Splitter()) {
      if (GetWindowLongPtrW(splitter, GWL_STYLE) & WS_VISIBLE) {
        MoveWindow(splitter, 0, bottom - TNailsFrame::SplitterHeight, width, TNailsFrame::SplitterHeight, TRUE);
        bottom -= TNailsFrame::SplitterHeight;
      }
    }
  } else {
    MoveWindow(frmNails->Handle(), 0, bottom - frmNails->StripHeight(), width, frmNails->StripHeight(), TRUE);
  }
  if (frmDetail) MoveWindow(frmDetail->Handle(), 0, 0, width, std::max(0, bottom), TRUE);
}

void TBrindoluxCtrl::ContextPopup(LPARAM LParam) {
  if (!FContextMenu) return;
  POINT at{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))};
  if (at.x == -1 && at.y == -1) {
    at = {0, 0};
    ClientToScreen(FHandle.get(), &at);
  }
  HMENU modes = GetSubMenu(pmKRM.get(), 0);
  CheckMenuItem(modes, miAdaptive, FDisplayMode == dmAdaptive ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(modes, miFull, FDisplayMode == dmFull ? MF_CHECKED : MF_UNCHECKED);
  CheckMenuItem(modes, miOriginal, FDisplayMode == dmOriginal ? MF_CHECKED : MF_UNCHECKED);
  TrackPopupMenu(pmKRM.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, FHandle.get(), nullptr);
}

void TBrindoluxCtrl::FrameMouse(UINT Msg, WPARAM, LPARAM LParam) {
  const int32_t x = GET_X_LPARAM(LParam);
  const int32_t y = GET_Y_LPARAM(LParam);
  switch (Msg) {
    case WM_LBUTTONDOWN:
      FFrameClickDown = true;
      if (FEvents) FEvents->OnMouseDown(0, x, y);
      break;
    case WM_RBUTTONDOWN:
      if (FEvents) FEvents->OnMouseDown(1, x, y);
      break;
    case WM_MBUTTONDOWN:
      if (FEvents) FEvents->OnMouseDown(2, x, y);
      break;
    case WM_LBUTTONUP:
      if (FEvents) FEvents->OnMouseUp(0, x, y);
      if (FFrameClickDown && FEvents) FEvents->OnClick();
      FFrameClickDown = false;
      break;
    case WM_RBUTTONUP:
      if (FEvents) FEvents->OnMouseUp(1, x, y);
      break;
    case WM_MBUTTONUP:
      if (FEvents) FEvents->OnMouseUp(2, x, y);
      break;
    case WM_MOUSEMOVE:
      if (FEvents) FEvents->OnMouseMove(x, y);
      break;
    default:
      break;
  }
}

void TBrindoluxCtrl::miStatusClick() {
  if (!FStatus) FStatus = std::make_unique<TfrmStatus>(FHandle.get());
  FStatus->SetContext(&FContext);
  HWND status = FStatus->Handle();
  SetParent(status, FHandle.get());
  // The picture's windows lie under it and must not paint over it.
  for (HWND sibling : {frmDetail->Handle(), frmNails->Handle(), frmNails->Splitter()})
    SetWindowLongPtrW(sibling, GWL_STYLE, GetWindowLongPtrW(sibling, GWL_STYLE) | WS_CLIPSIBLINGS);
  RECT control{};
  GetClientRect(FHandle.get(), &control);
  RECT outer{};
  GetWindowRect(status, &outer);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  SetWindowPos(status, HWND_TOP, (control.right - width) / 2, (control.bottom - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOACTIVATE);
  FStatus->Show();
}

void TBrindoluxCtrl::miAboutClick() {
  if (!FAbout) FAbout = std::make_unique<TfrmAbout>();
  if (!FAbout->Visible()) FAbout->ShowModal(GetAncestor(FHandle.get(), GA_ROOT));
}

void TBrindoluxCtrl::ShowException(const std::string& Text) {
  const std::wstring text = AnsiToWide(Text);
  MessageBoxW(FHandle.get(), text.c_str(), L"Brindolux", MB_OK | MB_ICONERROR);
}

// ---- window -------------------------------------------------------------------

LRESULT CALLBACK TBrindoluxCtrl::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(LParam);
    SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TBrindoluxCtrl*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
  if (!self || !self->FHandle || self->FHandle.get() != Wnd) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  // An exception must never unwind into the system's dispatch code: it is
  // shown the way the container's user would see any failure of a handler.
  try {
    return self->HandleMessage(Msg, WParam, LParam);
  } catch (const Exception& e) {
    self->ShowException(e.Message());
  } catch (const std::exception& e) {
    self->ShowException(e.what());
  } catch (...) {
    self->ShowException("Unknown exception");
  }
  return 0;
}

LRESULT TBrindoluxCtrl::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_KRM_OPENED:
      WMOpened(WParam);
      return 0;
    case WM_KRM_ERROR:
      WMError(WParam);
      return 0;
    case WM_KRM_MARKER:
      return 0;
    case WM_KRM_DIRTYRECT:
      WMDirtyRect(WParam, LParam);
      return 0;
    case WM_KRM_END:
      WMEnd();
      return 0;
    case WM_KRM_ENTERFULL:
      ChangeDisplayMode(dmFull);
      return 0;
    case WM_KRM_EXITFULL:
      WMExitFull();
      return 0;
    case WM_TIMER:
      if (WParam == AutoConnectTimer) {
        TimerAutoConnect();
        return 0;
      }
      if (WParam == ActiveNailsTimer) {
        TimerActiveNails();
        return 0;
      }
      break;
    case WM_KRM_ADDNAIL:
      WMAddNail(WParam);
      return 0;
    case WM_KRM_LAYOUTNAIL:
      WMLayoutNail(WParam);
      return 0;
    case WM_KRM_NAILSDOWNLOADED:
      WMNailsDownloaded(WParam);
      return 0;
    case WM_SIZE: {
      if (frmNails) AlignChildren();
      // The new layout starts from an empty picture: the play thread draws
      // all of it again.
      RepaintAll();
      return 0;
    }
    case WM_CONTEXTMENU:
      ContextPopup(LParam);
      return 0;
    // The form's own events.
    case WM_LBUTTONDOWN:
      FFormClickDown = true;
      return 0;
    case WM_LBUTTONUP:
      if (FFormClickDown && FEvents) FEvents->OnClick();
      FFormClickDown = false;
      return 0;
    case WM_LBUTTONDBLCLK:
      if (FEvents) FEvents->OnDblClick();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(FHandle.get(), &ps);
      EndPaint(FHandle.get(), &ps);
      if (FEvents) FEvents->OnPaint();
      return 0;
    }
    case WM_CHAR: {
      int16_t key = static_cast<int16_t>(WParam);
      if (FEvents) FEvents->OnKeyPress(key);
      // The container may replace the key or, with 0, swallow it.
      if (key == 0) return 0;
      return DefWindowProcW(FHandle.get(), Msg, static_cast<WPARAM>(static_cast<uint16_t>(key)), LParam);
    }
    case WM_COMMAND:
      switch (LOWORD(WParam)) {
        case miFull:
          ChangeDisplayMode(dmFull);
          return 0;
        case miOriginal:
          ChangeDisplayMode(dmOriginal);
          return 0;
        case miAdaptive:
          ChangeDisplayMode(dmAdaptive);
          return 0;
        case miStatus:
          miStatusClick();
          return 0;
        case miAbout:
          miAboutClick();
          return 0;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(FHandle.get(), Msg, WParam, LParam);
}
