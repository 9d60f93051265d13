#pragma once
// The statistics window: a child window of the control that shows, once a
// second while it is shown, what the engine holds for the open source (the
// time span, count and bytes of the buffered records, the play position, the
// receive speed) and the recording's length and screen size.
//
// It runs on the control's thread and reads the play context the control
// hands it; closing only hides it and stops the refresh, so the values stay
// as last shown.
#include <windows.h>

#include <cstdint>
#include <string>

#include "picture/DetailFrame.h"  // TWindowHandle

struct PlayerContext;

// "h:mm:ss" with at least two digits each, hours as many as they need.
std::wstring FormatHMS(uint32_t Milliseconds);
// "v Kbps" below 1024 kbit/s, else megabits with two decimals ("1.50 Mbps").
std::wstring FormatSpeed(uint32_t KbitPerSecond);
// Buffered and received bytes added as unsigned 32-bit, in kilobytes ("12K").
std::wstring FormatBytes(int32_t TotalBytes, uint32_t UsedSize);
std::wstring FormatSize(int Width, int Height);

class TfrmStatus {
 public:
  static constexpr int ClientWidth = 381;
  static constexpr int ClientHeight = 312;
  static constexpr UINT RefreshInterval = 1000;
  // Caption labels end this far left of the value column.
  static constexpr int CaptionGap = 10;

  // The window's parts, by their form names.
  struct TComponents {
    HWND gbBuffer, gbMedia;
    HWND labFrom2, labFrom, labCurrent, labCurrentPosition, labTo2, labTo, labFrames2, labFrames;
    HWND labBytes2, labBytes, labBPS2, labBPS;
    HWND labDuration2, labDuration, labSize2, labSize;
    HWND btnClose;
  };

  // Creates the window hidden, as a child of Parent.
  explicit TfrmStatus(HWND Parent);
  ~TfrmStatus();
  TfrmStatus(const TfrmStatus&) = delete;
  TfrmStatus& operator=(const TfrmStatus&) = delete;

  HWND Handle() const { return FHandle.get(); }
  const TComponents& Components() const { return FComponents; }
  HFONT Font() const { return FFont; }
  bool Refreshing() const { return FRefreshing; }

  void SetContext(const PlayerContext* Context) { FContext = Context; }
  // Shows the window and starts the refresh; raises an assertion failure
  // when no context was handed over.
  void Show();
  // Hides the window and stops the refresh.
  void Close();

 private:
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
  void CreateComponents();
  void FormCreate();
  void FormShow();
  void FormClose();
  void btnCloseClick();
  void timRefreshTimer();

  TWindowHandle FHandle;
  HFONT FFont = nullptr;
  TComponents FComponents{};
  const PlayerContext* FContext = nullptr;
  bool FRefreshing = false;
};
