#pragma once
// The thumbnail download of a remote recording: fetches "nails.xml" from
// the recording's URL folder and then the image of every line into the
// control's temporary folder, on a thread of its own. When at least one
// image arrived it posts WM_KRM_NAILSDOWNLOADED with its number to the
// control's window; the control then loads the strip from the folder. The
// download touches no window of the control.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <mutex>
#include <string>

#include "base/WorkerThread.h"

class TDownloadBuffer;

class TDownload : public TWorkerThread {
 public:
  // Created suspended; Start runs it. URLFolder ends in "/" (or is empty:
  // nothing is fetched), TargetFolder in "\".
  TDownload(HWND Target, WPARAM Number, std::string URLFolder, std::string TargetFolder,
            TDownloadBuffer* Buffer);
  // Closes the root handle first, so that a request in progress on a
  // stalled server ends at once, then waits for the thread.
  ~TDownload() override;

  const std::string& URLFolder() const { return FURLFolder; }
  const std::string& TargetFolder() const { return FTargetFolder; }
  // The images that arrived, once the thread has ended.
  int Fetched() const { return FFetched; }

 protected:
  void Execute() override;

 private:
  // Hands over the root handle the thread opened; false when the download
  // was ended meanwhile (the handle is closed then).
  bool KeepRoot(HINTERNET Root);
  void CloseRoot();

  HWND FTarget;
  WPARAM FNumber;
  std::string FURLFolder;
  std::string FTargetFolder;
  TDownloadBuffer* FBuffer;
  std::atomic<bool> FTerminated{false};
  std::atomic<int> FFetched{0};
  std::mutex FRootLock;
  HINTERNET FRoot = nullptr;
};
