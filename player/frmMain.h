#pragma once
// The program's main window: hosts the control, gives it a menu, a seek bar
// with a time label under the picture, and the recent-files list.
#include <windows.h>

#include <memory>
#include <string>

#include "BrindoluxTLB.h"
#include "ControlHost.h"
#include "MRUFileList.h"
#include "frmURL.h"
#include "ole/ComPtr.h"

class TfrmMain {
 public:
  // Dispatch identifiers of the control's members that the program reads
  // and writes by dispatch.
  static constexpr DISPID DispidDuration = 21;
  static constexpr DISPID DispidCurrentPosition = 28;
  static constexpr DISPID DispidURL = 204;
  static constexpr DISPID DispidStatus = 205;
  static constexpr DISPID DispidOnPlayStateChanged = 201;

  TfrmMain(HINSTANCE Instance, TfrmURL& URLDialog);
  ~TfrmMain();
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Creates the window and with it the control; raises EOleError when the
  // control cannot be created (its class not registered, for one).
  void Create();
  // Shows the window; the first time, opens the name on the command line.
  void Show(int ShowCommand, const std::wstring& CommandLine);
  // Key messages for the menu short cuts and the control; True when handled.
  bool PreTranslateMessage(MSG& Message);

  void OpenMedia(const std::wstring& Name);

  HWND Handle() const { return FHandle; }
  HWND TimeLabel() const { return FlabTime; }
  HWND SeekBar() const { return Fsb; }
  HWND Panel() const { return FPanel1; }
  HMENU ControlMenu() const { return FmiControl; }
  TMRUFileList* RecentFiles() const { return Fmru.get(); }
  bool Dragging() const { return FDragging; }

  // The control's properties read and written by dispatch identifier.
  int ReadInteger(DISPID Dispid);
  std::wstring ReadText(DISPID Dispid);
  void WriteInteger(DISPID Dispid, int Value);

  // The application's default handler: the error's text in a message box.
  void ShowException(const std::wstring& Message);

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK PanelProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  template <class F>
  void Guarded(F&& Handler);

  void CreateComponents();
  void FormCreate();
  void FormClose();
  void Layout();
  void LayoutPanel();
  void SetTimeLabel(const std::wstring& Text);
  IBrindolux* Brindolux();

  void miOpenFileClick();
  void miOpenURLClick();
  void miControlClick();
  void mruMRUItemClick(const std::wstring& AFilename);
  void timerRefreshTimer();
  // The thumb position comes in the message (the range is 0..100).
  void sbScroll(int ScrollCode, WPARAM ScrollWParam);
  void BrindoluxPlayStateChanged(int NewState);

  HINSTANCE FInstance;
  TfrmURL& FURLDialog;
  HWND FHandle = nullptr;
  HWND FPanel1 = nullptr;
  HWND FlabTime = nullptr;
  HWND Fsb = nullptr;
  HMENU FMainMenu1 = nullptr;
  HMENU FmiControl = nullptr;
  HACCEL FAccelerators = nullptr;
  HFONT FFont = nullptr;
  TControlHost FHost;
  TComPtr<IBrindolux> FBrindolux;
  std::unique_ptr<TMRUFileList> Fmru;
  HRESULT FCreateResult = S_OK;
  std::wstring FCreateError;
  DWORD FThreadId = 0;
  bool FDragging = false;
  bool FShown = false;
  bool FShowingError = false;
};
