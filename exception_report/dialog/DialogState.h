#pragma once
// What the exception dialog and its pages share for as long as the module
// lives: one set, used by one dialog at a time on the thread that
// processes. The send, screenshot and copy choices the processing reads
// afterwards live in the processing state (ScreenshotChecked in
// ReportFiles.h).
#include <windows.h>

#include <exception>
#include <string>

namespace RevavaRez {

class TListViewItems;

struct TDialogFonts {
  HFONT Caption = nullptr;
  HFONT Normal = nullptr;
  HFONT Link = nullptr;
  HFONT Fixed = nullptr;
  HFONT List = nullptr;
};

struct TDialogGeometry {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  // 1 normal, 3 maximised, 6 minimised.
  int ShowState = 1;
  // A width was recorded since the geometry was loaded: only then is it
  // saved.
  bool WidthRecorded = false;
};

struct TDialogState {
  bool DetailMode = false;
  int BottomAreaHeight = 0;
  bool DialogPainted = false;
  // The main dialog while it is up; the keep-in-front timer and the layout
  // act only for it.
  HWND CurrentDialog = nullptr;
  // DialogFlags bit 7: own caption, frame and colours.
  bool OwnLook = false;
  // What the last WM_NCACTIVATE said: the own frame paints by it.
  bool FrameActive = true;
  // Cleared when the support link was opened.
  bool TopMost = false;
  bool SendingPossible = false;
  bool ScreenshotOffered = false;
  bool CopyOffered = false;
  bool LinkShown = false;
  TDialogFonts Fonts;
  HBRUSH BackgroundBrush = nullptr;
  HBRUSH WhiteBrush = nullptr;
  HBITMAP HeaderBitmap = nullptr;
  SIZE HeaderSize = {0, 0};
  RECT LinkRect = {0, 0, 0, 0};
  bool LinkHovered = false;
  int AutoCloseCount = 0;
  TDialogGeometry Geometry;
  // The caption height the layout and the own frame use.
  int CaptionMetric = 0;
  // The page shown in the tab control, and the rows of a list page.
  HWND CurrentPage = nullptr;
  TListViewItems* PageList = nullptr;
  // The platform the message-box fallback runs on (VER_PLATFORM_*): tests
  // set another to check the branch without a box.
  DWORD PlatformId = VER_PLATFORM_WIN32_NT;
  // The server part of the source editor's mailslot names; empty means this
  // computer's name. Tests name "." (the local form Wine can open).
  std::string MailslotServer;
};

TDialogState& DialogState();

// No C++ exception may cross a dialog, page or timer procedure: each catches
// at its edge, keeps what it caught here (the first one counts) and ends the
// dialog; ShowExceptionDialog raises it once the dialog has closed.
void KeepDialogFailure(std::exception_ptr failure);
std::exception_ptr TakeDialogFailure();

}  // namespace RevavaRez
