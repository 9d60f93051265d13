// The library finds the program's main-like window to own its boxes and the
// clipboard, and tells the windows that came up during a report.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/ExceptionLog.h"
#include "PumpUntil.h"

using namespace RevavaRez;

namespace {

HWND MakeWindow(DWORD exStyle, HWND owner = nullptr, bool visible = true) {
  HWND w = CreateWindowExA(exStyle, "STATIC", "probe", WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 50, 50,
                           owner, nullptr, nullptr, nullptr);
  return w;
}

TEST(ProcessWindows, MainLikeWindowsAndTheFirstOfTheProcess) {
  HWND tool = MakeWindow(WS_EX_TOOLWINDOW);
  HWND appTool = MakeWindow(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW);
  HWND hidden = MakeWindow(0, nullptr, false);
  HWND normal = MakeWindow(0);
  HWND owned = MakeWindow(0, normal);
  HWND underTool = MakeWindow(0, tool);
  ASSERT_TRUE(tool && appTool && hidden && normal && owned && underTool);
  EXPECT_FALSE(IsMainLikeWindow(tool));
  EXPECT_TRUE(IsMainLikeWindow(appTool));
  EXPECT_FALSE(IsMainLikeWindow(hidden));
  EXPECT_FALSE(IsMainLikeWindow(owned));
  EXPECT_TRUE(IsMainLikeWindow(underTool));  // one tool-window owner is skipped

  HWND first = FindProcessWindow(GetCurrentProcessId());
  EXPECT_TRUE(first == appTool || first == normal || first == underTool);
  EXPECT_TRUE(IsMainLikeWindow(first));
  EXPECT_TRUE(IsOwnWindow(tool));
  EXPECT_FALSE(IsOwnWindow(GetDesktopWindow()));

  PumpPending();
  ListProcessWindows();
  EXPECT_FALSE(IsNewWindow(tool));
  EXPECT_FALSE(IsNewWindow(hidden));
  HWND later = MakeWindow(0);
  EXPECT_TRUE(IsNewWindow(later));
  for (HWND w : {later, underTool, owned, normal, hidden, appTool, tool}) DestroyWindow(w);
  EXPECT_EQ(FindProcessWindow(GetCurrentProcessId()), nullptr);
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return "(not open)";
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (auto p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(Clipboard, TextReadsBack) {
  HWND main = MakeWindow(0);
  ASSERT_TRUE(CopyTextToClipboard("Exception report\r\nline 2"));
  EXPECT_EQ(ClipboardText(), "Exception report\r\nline 2");
  ASSERT_TRUE(CopyTextToClipboard(""));
  EXPECT_EQ(ClipboardText(), "");
  DestroyWindow(main);
}

}  // namespace
