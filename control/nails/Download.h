#pragma once
// The thumbnail download of a remote recording: fetches "nails.xml" from
// the recording's URL folder and then the image of every line into the
// control's temporary folder, on a thread of its own. When at least one
// image arrived it posts WM_KRM_NAILSDOWNLOADED with its number to the
// control's window; the control then loads the strip from the folder. The
// download touches no window of the control.
#include <windows.h>

#include <memory>
#include <string>

#include "base/WorkerThread.h"

class TDownloadBuffer;

class TDownload {
 public:
  // How long freeing a download waits for its thread before letting it
  // finish on its own.
  static constexpr DWORD EndWaitMs = 500;

  // Nothing runs until Start. URLFolder ends in "/" (or is empty: nothing
  // is fetched), TargetFolder in "\".
  TDownload(HWND Target, WPARAM Number, std::string URLFolder, std::string TargetFolder,
            TDownloadBuffer* Buffer);
  // Asks the thread to end and closes its root handle first, which ends a
  // request in progress on a stalled server. Where the platform leaves
  // such a request running, the thread is not waited for beyond
  // EndWaitMs: it keeps what it needs, and the code it runs, until its
  // request gives up, and then ends without posting anything.
  ~TDownload();
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  void Start();
  const std::string& URLFolder() const;
  const std::string& TargetFolder() const;
  bool Finished() const { return !FThread || WaitForSingleObject(FThread.Get(), 0) == WAIT_OBJECT_0; }
  // The images that arrived so far.
  int Fetched() const;

 private:
  struct TJob;
  static DWORD WINAPI ThreadProc(LPVOID Param);

  std::shared_ptr<TJob> FJob;
  TKernelHandle FThread;
};
