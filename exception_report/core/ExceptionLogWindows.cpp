// Top-level windows of the process, and the clipboard.
#include <cstring>
#include <set>

#include "core/ExceptionLog.h"

namespace RevavaRez {

namespace {

bool IsToolWindow(HWND window) { return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; }

struct TWindowSearch {
  DWORD ProcessId;
  HWND Found;
};

BOOL CALLBACK FindMainLike(HWND window, LPARAM data) {
  auto search = reinterpret_cast<TWindowSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == search->ProcessId && IsMainLikeWindow(window)) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

// The remembered windows; guarded, since any thread may list or ask.
SRWLOCK WindowsLock = SRWLOCK_INIT;
std::set<HWND>& RememberedWindows() {
  static std::set<HWND> windows;
  return windows;
}

BOOL CALLBACK RememberOwn(HWND window, LPARAM data) {
  if (IsOwnWindow(window)) reinterpret_cast<std::set<HWND>*>(data)->insert(window);
  return TRUE;
}

}  // namespace

bool IsMainLikeWindow(HWND window) {
  if (!IsWindowVisible(window)) return false;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && IsToolWindow(owner)) owner = GetWindow(owner, GW_OWNER);
  if (owner && owner != GetDesktopWindow()) return false;
  LONG_PTR style = GetWindowLongPtrA(window, GWL_EXSTYLE);
  return !(style & WS_EX_TOOLWINDOW) || (style & WS_EX_APPWINDOW);
}

HWND FindProcessWindow(DWORD processId) {
  TWindowSearch search = {processId, nullptr};
  EnumWindows(FindMainLike, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

bool IsOwnWindow(HWND window) {
  DWORD process = 0;
  return GetWindowThreadProcessId(window, &process) && process == GetCurrentProcessId();
}

void ListProcessWindows() {
  try {
    std::set<HWND> windows;
    EnumWindows(RememberOwn, reinterpret_cast<LPARAM>(&windows));
    AcquireSRWLockExclusive(&WindowsLock);
    RememberedWindows().swap(windows);
    ReleaseSRWLockExclusive(&WindowsLock);
  } catch (...) {
  }
}

bool IsNewWindow(HWND window) {
  AcquireSRWLockShared(&WindowsLock);
  bool known = RememberedWindows().count(window) != 0;
  ReleaseSRWLockShared(&WindowsLock);
  return !known;
}

bool CopyTextToClipboard(const std::string& text) {
  if (!OpenClipboard(FindProcessWindow(GetCurrentProcessId()))) return false;
  bool done = false;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  if (block) {
    if (void* memory = GlobalLock(block)) {
      std::memcpy(memory, text.c_str(), text.size() + 1);
      GlobalUnlock(block);
      EmptyClipboard();
      done = SetClipboardData(CF_TEXT, block) != nullptr;
    }
    // Once accepted, the block is the clipboard's.
    if (!done) GlobalFree(block);
  }
  CloseClipboard();
  return done;
}

}  // namespace RevavaRez
