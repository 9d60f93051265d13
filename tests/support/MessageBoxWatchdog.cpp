#include "MessageBoxWatchdog.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr DWORD kLookEveryMs = 100;

std::wstring WindowText(HWND window) {
  wchar_t text[1024];
  const int length = GetWindowTextW(window, text, 1024);
  return std::wstring(text, length > 0 ? length : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t name[64];
  const int length = GetClassNameW(window, name, 64);
  return std::wstring(name, length > 0 ? length : 0);
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
  if (ClassName(child) == L"Static") {
    std::wstring& texts = *reinterpret_cast<std::wstring*>(data);
    const std::wstring text = WindowText(child);
    if (!text.empty()) texts += (texts.empty() ? L"" : L" ") + text;
  }
  return TRUE;
}

}  // namespace

TMessageBoxWatchdog::TMessageBoxWatchdog() : FStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  FThread = std::thread([this] { Run(); });
}

TMessageBoxWatchdog::~TMessageBoxWatchdog() {
  SetEvent(FStop);
  FThread.join();
  CloseHandle(FStop);
}

std::vector<std::wstring> TMessageBoxWatchdog::TakeDismissed() {
  // One more look, so that a box that came up just now counts too.
  Look();
  std::lock_guard<std::mutex> lock(FLock);
  std::vector<std::wstring> dismissed;
  dismissed.swap(FDismissed);
  return dismissed;
}

size_t TMessageBoxWatchdog::MostAtOnce() {
  Look();
  std::lock_guard<std::mutex> lock(FLock);
  return FMostAtOnce;
}

void TMessageBoxWatchdog::Spare(const std::wstring& caption, int controlId) {
  std::lock_guard<std::mutex> lock(FLock);
  FSparedCaption = caption;
  FSparedControl = controlId;
}

void TMessageBoxWatchdog::SpareNone() {
  std::lock_guard<std::mutex> lock(FLock);
  FSparedCaption.clear();
  FSparedControl = 0;
}

void TMessageBoxWatchdog::Run() {
  while (WaitForSingleObject(FStop, kLookEveryMs) == WAIT_TIMEOUT) Look();
}

void TMessageBoxWatchdog::Look() {
  struct TFound {
    std::vector<HWND> Boxes;
  } found;
  EnumWindows(
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassName(window) == L"#32770")
          reinterpret_cast<TFound*>(data)->Boxes.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  {
    std::lock_guard<std::mutex> lock(FLock);
    FMostAtOnce = std::max(FMostAtOnce, found.Boxes.size());
    for (auto at = FSpared.begin(); at != FSpared.end();) at = IsWindow(*at) ? std::next(at) : FSpared.erase(at);
  }
  for (HWND box : found.Boxes) {
    std::lock_guard<std::mutex> lock(FLock);
    if (FSpared.count(box)) continue;
    if (FSparedControl != 0 && WindowText(box) == FSparedCaption && GetDlgItem(box, FSparedControl) != nullptr) {
      FSpared.insert(box);
      continue;
    }
    if (FSeen.insert(box).second) {
      std::wstring texts;
      EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&texts));
      std::wstring seen = WindowText(box) + L": " + texts;
      // A dialog that ended while it was being read was not a box left up:
      // its text and controls may be gone already.
      if (!IsWindow(box) || !IsWindowVisible(box)) {
        FSeen.erase(box);
        continue;
      }
      FDismissed.push_back(seen);
    }
    // Cancel closes a box of any buttons that has one; a box with only OK
    // takes Close.
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(box, WM_CLOSE, 0, 0);
  }
}
