#pragma once
// The thumbnail reader: reads a folder's "nails.xml" on a thread of its own
// and hands each chosen entry to the control's window as a NailInfo block
// (WM_KRM_ADDNAIL). It touches no window of the control.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "nails/NailsIndex.h"
#include "base/WorkerThread.h"

// One thumbnail on its way to the control. Zero-filled; the path is not
// terminated when it fills its field. The receiver owns the block from the
// moment its post succeeds and frees it with delete.
struct NailInfo {
  static constexpr int32_t PathSize = 2048;
  char Path[PathSize];
  int32_t PathLength;
  int32_t Seconds;
};
static_assert(sizeof(NailInfo) == 2056, "NailInfo is the block the control reads");

class TNailsCreator : public TWorkerThread {
 public:
  // Created suspended at the lowest priority; Start runs it. Folder ends
  // in "\".
  TNailsCreator(HWND Target, std::string Folder);
  // Asks the thread to end and waits for it.
  ~TNailsCreator() override;

  void Terminate() { FTerminated = true; }

 protected:
  void Execute() override;

 private:
  void PostNail(const TNailEntry& Entry);

  HWND FTarget;
  std::string FFolder;
  std::atomic<bool> FTerminated{false};
};
