#pragma once
// Fails nothing by itself: a thread that looks for dialog boxes (class
// "#32770") of this process, closes each one and keeps its texts, so that a
// test cannot hang on a message box and can fail on one it did not expect.
#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class TMessageBoxWatchdog {
 public:
  TMessageBoxWatchdog();
  ~TMessageBoxWatchdog();
  TMessageBoxWatchdog(const TMessageBoxWatchdog&) = delete;
  TMessageBoxWatchdog& operator=(const TMessageBoxWatchdog&) = delete;

  // Caption and texts of every box closed so far ("caption: text"), and
  // forgets them.
  std::vector<std::wstring> TakeDismissed();
  // The most boxes that were up together at one look: boxes that nest
  // stay up under each other until the innermost one ends.
  size_t MostAtOnce();
  // Leaves alone the dialogs a test drives: those with the caption that
  // hold a control of the identifier. A message box of the same caption
  // holds no such control and is still closed. A dialog once spared stays
  // spared while it lives: as it is destroyed it loses its controls and
  // its text before it goes.
  void Spare(const std::wstring& caption, int controlId);
  void SpareNone();

 private:
  void Run();
  void Look();

  HANDLE FStop;
  std::mutex FLock;
  std::vector<std::wstring> FDismissed;
  std::set<HWND> FSeen;
  size_t FMostAtOnce = 0;
  std::wstring FSparedCaption;
  int FSparedControl = 0;
  std::set<HWND> FSpared;
  std::thread FThread;
};
