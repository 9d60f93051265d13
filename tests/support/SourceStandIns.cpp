#include "SourceStandIns.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "base/EngineMessages.h"
#include "base/Log.h"

TControlSink::TControlSink() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &TControlSink::Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"BrxSourceTestSink";
  RegisterClassW(&wc);
  FWindow = CreateWindowW(L"BrxSourceTestSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TControlSink::~TControlSink() { DestroyWindow(FWindow); }

bool TControlSink::WaitUntil(const std::function<bool()>& pred, DWORD bound) {
  ULONGLONG until = GetTickCount64() + bound;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (pred()) return true;
    ULONGLONG now = GetTickCount64();
    if (now >= until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<ULONGLONG>(until - now, 50)), QS_ALLINPUT);
  }
}

int TControlSink::WaitForOpenResult(DWORD bound) {
  size_t from = FSeen;
  int result = -1;
  WaitUntil(
      [&] {
        for (size_t i = from; i < FMessages.size(); ++i) {
          if (FMessages[i].first == WM_KRM_OPENED || FMessages[i].first == WM_KRM_ERROR) {
            result = FMessages[i].first == WM_KRM_OPENED ? 0 : int(FMessages[i].second);
            FSeen = i + 1;
            return true;
          }
        }
        return false;
      },
      bound);
  return result;
}

LRESULT CALLBACK TControlSink::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TControlSink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && msg >= WM_KRM_FIRST && msg <= WM_KRM_LAST) {
    self->FMessages.emplace_back(msg, wParam);
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

TPlayStandIn::~TPlayStandIn() {
  PostThreadMessageW(ThreadID(), WM_QUIT, 0, 0);
  WaitFor();
}

bool TPlayStandIn::WaitForReady(size_t count, DWORD bound) {
  std::unique_lock<std::mutex> lock(FLock);
  return FChanged.wait_for(lock, std::chrono::milliseconds(bound), [&] { return FReady.size() >= count; });
}

std::vector<int32_t> TPlayStandIn::Ready() {
  std::lock_guard<std::mutex> guard(FLock);
  return FReady;
}

void TPlayStandIn::Execute() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message != WM_KRM_FRAMEREADY) continue;
    {
      std::lock_guard<std::mutex> guard(FLock);
      FReady.push_back(int32_t(uint32_t(msg.wParam)));
    }
    FChanged.notify_all();
  }
}

std::string LogText() {
  TLog* log = GlobalLog().Instance();
  if (!log) return {};
  std::string all;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((log->Folder() + "\\*.log").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return {};
  do {
    std::ifstream in(log->Folder() + "\\" + found.cFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    all += text.str();
  } while (FindNextFileA(find, &found));
  FindClose(find);
  // Test programs in the same folder share the daily log, and run at the
  // same time: only this program's entries count. An entry starts with the
  // writer's file name and " ---> "; lines without that continue it.
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, length);
  self = self.substr(self.find_last_of('\\') + 1);
  std::string own;
  bool ours = false;
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find('\n', at);
    end = end == std::string::npos ? all.size() : end + 1;
    const std::string line = all.substr(at, end - at);
    const size_t mark = line.find(" ---> ");
    if (mark != std::string::npos && line.find(' ') == mark) ours = line.compare(0, mark, self) == 0;
    if (ours) own += line;
    at = end;
  }
  return own;
}

TSourceBench::TSourceBench() {
  Context.FramesBuffer = &Frames;
  Context.KeyFramesBuffer = &KeyFrames;
  Context.IndexTable = &Index;
  Context.PlayThread = Play.AsPlayThread();
  Context.Window = Sink.Window();
}

std::string TestTempFolder(const std::string& Prefix) {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::string folder = std::string(path) + Prefix + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}
