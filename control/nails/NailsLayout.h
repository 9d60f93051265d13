#pragma once
// The thumbnail layout thread: after the strip's width changed it asks the
// control's window to place the thumbnails again one at a time
// (WM_KRM_LAYOUTNAIL), waiting for each on "Layout Nail Event", which the
// control signals once it has placed one. It touches no window itself.
#include <windows.h>

#include "base/WorkerThread.h"

// "Layout Nail Event": one per process, auto-reset, made when the library
// starts and closed when it ends. Named, so the instances of every process
// of a logon share it.
HANDLE LayoutNailEvent();

class TNailsLayout : public TWorkerThread {
 public:
  // A thumbnail not placed within this time is given up; the pass goes on.
  static constexpr DWORD PlaceWaitMs = 2000;

  // Runs at once, at the lowest priority.
  explicit TNailsLayout(HWND Target);
  // Posts WM_QUIT and waits for the thread.
  ~TNailsLayout() override;

  // Starts a pass over Count thumbnails (again from the second). False when
  // the thread has ended.
  bool Relayout(int Count);

 protected:
  void Execute() override;

 private:
  // False when the thread is to end.
  bool PlaceOne(int Index);

  HWND FTarget;
  // Set by the destructor: a thread waiting for its thumbnail stops at once.
  TKernelHandle FStop;
};
