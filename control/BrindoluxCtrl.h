#pragma once
// The control's own behaviour, apart from its COM plumbing: set-up and
// teardown, the play state with every transition, the handlers of the
// engine's window messages, the reconnect timer and the popup menu.
//
// Plain C++: the COM object holds one TBrindoluxCtrl, forwards each IBrindolux
// member of its own to the member function of the same name and turns a
// thrown Exception into the failure result, with Message() as the error
// description. Everything here runs on the container's user-interface thread.
//
// The control's window exists from construction to destruction, because the
// engine's threads post their results to it at any time. Until the container
// activates the control in place it is parked under a hidden top-level window
// (a message-only window could not be reparented later).
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BrindoluxTLB.h"  // TStatus, TDisplayMode
#include "ControlEvents.h"
#include "picture/DetailFrame.h"
#include "nails/NailsFrame.h"
#include "base/PlayerContext.h"

struct IOleClientSite;
class TDownload;
class TDownloadBuffer;
class TFramesBuffer;
class TKeyFramesBuffer;
class TIndexTable;
class TReadThread;
class TPlayThread;
class TfrmStatus;
class TfrmAbout;
class TfrmFullScreen;

class TBrindoluxCtrl {
 public:
  // Reconnect delay after a connection, login, network or read failure.
  static constexpr UINT AutoConnectDelayMs = 3000;

  // Events may be null: nothing is fired until a sink is attached.
  explicit TBrindoluxCtrl(TControlEvents* Events = nullptr);
  // Closes the source (a failure is logged, never raised), frees the buffers
  // and releases the decoder.
  ~TBrindoluxCtrl();
  TBrindoluxCtrl(const TBrindoluxCtrl&) = delete;
  TBrindoluxCtrl& operator=(const TBrindoluxCtrl&) = delete;

  HWND Handle() const { return FHandle.get(); }
  // Puts the control's window into the container's window; null parks it
  // again under the hidden window.
  void SetParentWindow(HWND Parent);
  // The container connected (or, with null, disconnected) its event sink.
  void AttachEventSink(TControlEvents* Events);
  // The container made the control its UI-active object, or took that away.
  void Activated();
  void Deactivated();
  // The container's client site (the COM side passes it on; null when the
  // control is unsited). Holds a reference while it is set. A bare file
  // name is opened from the folder of the page the site belongs to.
  void SetClientSite(IOleClientSite* Site);
  TControlEvents* Events() const { return FEvents; }

  // The control's own members of IBrindolux, in the order of the interface.
  void LoadFile(const std::wstring& Filename);
  void SendScript(const std::wstring& Str);
  void Open(const std::wstring& Filename);
  TDisplayMode GetDisplayMode() const { return FDisplayMode; }
  // Values other than 0, 1 and 2 change nothing.
  void SetDisplayMode(TDisplayMode Value);
  void Play();
  void Pause();
  void Stop();
  void Close();
  void FastForward();
  void FastReverse();
  int32_t GetCurrentPosition() const;
  void SetCurrentPosition(int32_t Milliseconds);
  int32_t GetDuration() const;
  std::wstring GetLocalIP() const;
  void SetLocalIP(const std::wstring& Value);
  int32_t GetMax() const;
  int32_t GetMin() const;
  bool GetFullScreen() const { return FDisplayMode == dmFull; }
  void SetFullScreen(bool Value);
  std::wstring GetURL() const { return FURL; }
  void SetURL(const std::wstring& Value);
  TStatus GetStatus() const { return FState; }
  bool GetAutoStart() const { return FAutoStart; }
  void SetAutoStart(bool Value) { FAutoStart = Value; }
  int32_t GetKRMWidth() const;
  int32_t GetKRMHeight() const;
  int32_t GetInitialColor() const { return FInitialColor; }
  void SetInitialColor(int32_t Value) { FInitialColor = Value; }
  // The live source's texts; empty for every other source.
  std::wstring GetHost() const;
  std::wstring GetChannelName() const;
  std::wstring GetTitle() const;
  std::wstring GetAuthor() const;
  std::wstring GetCopyright() const;
  std::wstring GetDescription() const;
  bool GetAutoConnect() const { return FAutoConnect; }
  void SetAutoConnect(bool Value) { FAutoConnect = Value; }
  void Request(const std::wstring& Command);
  int32_t GetMediaTime() const;
  bool GetEnableCache() const { return FEnableCache; }
  void SetEnableCache(bool Value) { FEnableCache = Value; }
  // "#" and six hexadecimal digits, red, green, blue.
  std::wstring GetbgColor() const;
  void SetbgColor(const std::wstring& Value);
  bool GetContextMenu() const { return FContextMenu; }
  void SetContextMenu(bool Value) { FContextMenu = Value; }
  bool GetIgnoreTimestamp() const { return FIgnoreTimestamp; }
  void SetIgnoreTimestamp(bool Value) { FIgnoreTimestamp = Value; }

  // The play context the engine's threads work on (read-only for callers).
  const PlayerContext& Context() const { return FContext; }
  HMENU PopupMenu() const { return pmKRM.get(); }
  const TDetailFrame& DetailFrame() const { return *frmDetail; }
  TNailsFrame& NailsFrame() const { return *frmNails; }
  // The thumbnail download of the current remote recording, or null.
  TDownload* Download() const { return FDownload.get(); }
  // The full-screen window while there is one, else null.
  const TfrmFullScreen* FullScreenWindow() const { return frmFullScreen.get(); }
  const std::string& TempFolder() const { return FTempFolder; }
  // The statistics window and the about box, once the menu made them.
  const TfrmStatus* StatusWindow() const { return FStatus.get(); }
  const TfrmAbout* AboutBox() const { return FAbout.get(); }

  // Menu command identifiers of pmKRM.
  enum : UINT { miFull = 101, miOriginal = 102, miAdaptive = 103, miStatus = 104, miAbout = 105 };

 private:
  struct TMenuDestroyer {
    void operator()(HMENU Menu) const { DestroyMenu(Menu); }
  };
  using TMenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDestroyer>;

  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
  // Where the class library would show an exception of a handler or timer:
  // a message box with its text on the control's window.
  void ShowException(const std::string& Text);

  // Counts, while it lasts, a wait for the engine's threads (or a close).
  class TWaitScope {
   public:
    explicit TWaitScope(int& Count) : FCount(Count) { ++FCount; }
    ~TWaitScope() { --FCount; }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

   private:
    int& FCount;
  };

  void SetUpControl();
  void CreatePopupMenu();
  void OpenURL(const std::wstring& URL);
  void PurgeQueue();
  void CloseSource();
  void CancelOpening();
  // Sets the state and fires it. Answers false when the container's handler
  // moved the control on meanwhile (to another state or another source):
  // the step that set the state must then not go on.
  bool SetState(TStatus State);
  // Each answers what SetState answered.
  bool DoPlay();
  bool DoPause();
  bool DoStop();
  bool DoScanForward();
  void DoScanReverse();
  void ApplyDisplayMode();
  void RepaintAll();
  void ChangeDisplayMode(TDisplayMode Mode);
  // The picture goes back to the frame before the window goes.
  void FreeFullScreen();

  void WMOpened(WPARAM WParam);
  // What WMOpened made could not be made whole: the open fails.
  void FailOpened(const std::string& Text);
  void WMError(WPARAM WParam);
  void WMEnd();
  void WMDirtyRect(WPARAM WParam, LPARAM LParam);
  void WMExitFull();
  // Fetches a channel file on a web server into the temporary folder.
  void DownloadChannelFile(const std::string& URL);
  void TimerAutoConnect();
  // Thumbnails: loading them for the opened URL, the reader's and layout
  // thread's messages, the finished download and the highlight timer.
  void LoadNailsForURL();
  void StartNailsDownload();
  void WMAddNail(WPARAM WParam);
  void WMLayoutNail(WPARAM WParam);
  void WMNailsDownloaded(WPARAM WParam);
  void TimerActiveNails();
  // Lays out the picture frame, the splitter and the strip in the window.
  void AlignChildren();
  void ContextPopup(LPARAM LParam);
  // Mouse messages of the picture frame and the picture.
  void FrameMouse(UINT Msg, WPARAM WParam, LPARAM LParam);
  void miStatusClick();
  void miAboutClick();

  // The hidden top-level window the control's window is parked under; made
  // first, destroyed last.
  TWindowHandle FParking;
  TWindowHandle FHandle;
  std::unique_ptr<TDetailFrame> frmDetail;
  // The thumbnail strip, hidden until thumbnails are shown.
  std::unique_ptr<TNailsFrame> frmNails;
  // Only while full screen is applied to an open source.
  std::unique_ptr<TfrmFullScreen> frmFullScreen;
  // Where dirty rectangles are drawn: the frame's picture or the
  // full-screen window's.
  TPictureBitmap* FPicture = nullptr;
  TMenuHandle pmKRM;
  // Made on first use; they live until the control goes.
  std::unique_ptr<TfrmStatus> FStatus;
  std::unique_ptr<TfrmAbout> FAbout;
  std::wstring FURL;
  bool FAutoStart = true;
  std::string FTempFolder;
  std::unique_ptr<TDownloadBuffer> FDownloadBuffer;
  std::unique_ptr<TDownload> FDownload;
  // Numbers the downloads: only the current one's result is loaded.
  WPARAM FDownloadNumber = 0;
  TControlEvents* FEvents = nullptr;
  IOleClientSite* FClientSite = nullptr;
  TStatus FState = bxClosed;
  // Counts the sources opened, so that a step that fired an event can tell
  // whether the source it worked on is still the one open.
  uint32_t FSource = 0;
  PlayerContext FContext{};
  // What FContext points at: the buffers from set-up to destruction, the
  // threads from open to close.
  std::unique_ptr<TFramesBuffer> FFramesBuffer;
  std::unique_ptr<TKeyFramesBuffer> FKeyFramesBuffer;
  std::unique_ptr<TIndexTable> FIndexTable;
  std::unique_ptr<TReadThread> FReadThread;
  std::unique_ptr<TPlayThread> FPlayThread;
  std::string FLocalIP;
  TDisplayMode FPrevDisplayMode = dmAdaptive;
  TDisplayMode FDisplayMode = dmAdaptive;
  int32_t FInitialColor = 0xFF0000;
  bool FAutoConnect = true;
  bool FEnableCache = true;
  bool FContextMenu = true;
  bool FIgnoreTimestamp = false;
  bool FDecoderReady = false;
  // Above 0 while the control waits for the play thread or the source. A
  // handler on the live source's thread may send a message meanwhile; a
  // state-changing member called from it does nothing.
  int FWaiting = 0;
  // Above 0 while CloseSource takes the source down: display-mode changes
  // then make no window.
  int FClosing = 0;
  // A left button went down on the form or the frame: its release clicks.
  bool FFormClickDown = false;
  bool FFrameClickDown = false;
};
