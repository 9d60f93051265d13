#include "Download.h"

#include <vector>

#include "ControlMessages.h"
#include "DownloadToFile.h"
#include "NailsIndex.h"

TDownload::TDownload(HWND Target, WPARAM Number, std::string URLFolder, std::string TargetFolder,
                     TDownloadBuffer* Buffer)
    : FTarget(Target),
      FNumber(Number),
      FURLFolder(std::move(URLFolder)),
      FTargetFolder(std::move(TargetFolder)),
      FBuffer(Buffer) {}

TDownload::~TDownload() {
  FTerminated = true;
  CloseRoot();
  WaitFor();
}

bool TDownload::KeepRoot(HINTERNET Root) {
  std::lock_guard<std::mutex> lock(FRootLock);
  if (FTerminated) {
    InternetCloseHandle(Root);
    return false;
  }
  FRoot = Root;
  return true;
}

void TDownload::CloseRoot() {
  std::lock_guard<std::mutex> lock(FRootLock);
  if (FRoot) InternetCloseHandle(FRoot);
  FRoot = nullptr;
}

void TDownload::Execute() {
  if (FURLFolder.empty()) return;
  HINTERNET root = InternetOpenA(DownloadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!root || !KeepRoot(root)) return;
  // Once the destructor has closed the handle, what runs on it fails and
  // the loop ends at its next line.
  if (!DownloadToFile(root, FURLFolder + NailsIndexName, FTargetFolder + NailsIndexName)) {
    CloseRoot();
    return;
  }
  std::vector<std::string> lines;
  if (LoadIndexFile(FTargetFolder + NailsIndexName, lines)) {
    for (const std::string& line : lines) {
      if (FTerminated) break;
      const std::string value = ValueOfName(lines, LineName(line));
      if (value.empty()) break;
      // The name comes from the server: it may only name a file in "nails".
      if (!IsSafeNailName(value)) continue;
      if (DownloadToFile(root, FURLFolder + "\\" + value, FTargetFolder + "nails\\" + value)) ++FFetched;
    }
  }
  CloseRoot();
  if (FFetched > 0 && !FTerminated) PostMessageW(FTarget, WM_KRM_NAILSDOWNLOADED, FNumber, 0);
}
