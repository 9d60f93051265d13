#include "nails/Download.h"

#include <wininet.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "ControlMessages.h"
#include "DownloadToFile.h"
#include "nails/NailsIndex.h"

// What the thread works on; it shares the job, so the job outlives a
// download that was freed while its request hung.
struct TDownload::TJob {
  HWND Target;
  WPARAM Number;
  std::string URLFolder;
  std::string TargetFolder;
  TDownloadBuffer* Buffer;
  std::atomic<bool> Terminated{false};
  std::atomic<int> Fetched{0};
  std::mutex RootLock;
  HINTERNET Root = nullptr;
  // The module the thread runs in, held until the thread is done with it.
  HMODULE Module = nullptr;

  // Hands over the root handle the thread opened; false when the download
  // was ended meanwhile (the handle is closed then).
  bool KeepRoot(HINTERNET Handle) {
    std::lock_guard<std::mutex> lock(RootLock);
    if (Terminated) {
      InternetCloseHandle(Handle);
      return false;
    }
    Root = Handle;
    return true;
  }

  void CloseRoot() {
    std::lock_guard<std::mutex> lock(RootLock);
    if (Root) InternetCloseHandle(Root);
    Root = nullptr;
  }

  void Execute() {
    if (URLFolder.empty()) return;
    HINTERNET root = InternetOpenA(DownloadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!root || !KeepRoot(root)) return;
    // Once the download is freed the handle is closed: what runs on it
    // fails, and the loop ends at its next line.
    if (!DownloadToFile(root, URLFolder + NailsIndexName, TargetFolder + NailsIndexName, MaxIndexBytes)) {
      CloseRoot();
      return;
    }
    std::vector<std::string> lines;
    if (!Terminated && LoadIndexFile(TargetFolder + NailsIndexName, lines)) {
      for (const std::string& image : NailImagesToFetch(lines)) {
        if (Terminated) break;
        const std::string target = TargetFolder + "nails\\" + image;
        if (DownloadToFile(root, URLFolder + "\\" + image, target, MaxNailImageBytes)) {
          ++Fetched;
        } else {
          // Every recording's images share the folder: an earlier one's
          // file of that name must not stand in for the missing image.
          DeleteFileA(target.c_str());
        }
      }
    }
    CloseRoot();
    if (Fetched > 0 && !Terminated) PostMessageW(Target, WM_KRM_NAILSDOWNLOADED, Number, 0);
  }
};

TDownload::TDownload(HWND Target, WPARAM Number, std::string URLFolder, std::string TargetFolder,
                     TDownloadBuffer* Buffer)
    : FJob(std::make_shared<TJob>()) {
  FJob->Target = Target;
  FJob->Number = Number;
  FJob->URLFolder = std::move(URLFolder);
  FJob->TargetFolder = std::move(TargetFolder);
  FJob->Buffer = Buffer;
}

TDownload::~TDownload() {
  FJob->Terminated = true;
  FJob->CloseRoot();
  if (FThread) WaitForSingleObject(FThread.Get(), EndWaitMs);
}

void TDownload::Start() {
  if (FThread) return;
  auto* job = new std::shared_ptr<TJob>(FJob);
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TDownload::ThreadProc),
                     &module);
  FJob->Module = module;
  FThread = TKernelHandle(CreateThread(nullptr, 0, &TDownload::ThreadProc, job, 0, nullptr));
  if (!FThread) {
    delete job;
    if (module) FreeLibrary(module);
  }
}

const std::string& TDownload::URLFolder() const { return FJob->URLFolder; }
const std::string& TDownload::TargetFolder() const { return FJob->TargetFolder; }
int TDownload::Fetched() const { return FJob->Fetched; }

DWORD WINAPI TDownload::ThreadProc(LPVOID Param) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<std::shared_ptr<TJob>> job(static_cast<std::shared_ptr<TJob>*>(Param));
    module = (*job)->Module;
    // Nothing may leave a thread of the host's process.
    try {
      (*job)->Execute();
    } catch (...) {
    }
  }
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}
