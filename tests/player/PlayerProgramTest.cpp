// Brindolux.exe as a user starts it: its window, its command line, its end,
// and the recent-files list it leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlayerTestSupport.h"
#include "PumpUntil.h"
#include "base/SystemText.h"

namespace {

constexpr DWORD WaitMs = 20000;

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  return text;
}

// One run of the program, ended by the test.
class TPlayerProcess {
 public:
  explicit TPlayerProcess(const std::wstring& Arguments) {
    const std::wstring exe = WindowsPath(BRX_PLAYER_EXE);
    std::wstring commandLine = L"\"" + exe + L"\"" + (Arguments.empty() ? L"" : L" " + Arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    FStarted = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &FInfo) != FALSE;
  }
  ~TPlayerProcess() {
    if (!FStarted) return;
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FInfo.hProcess, 99);
    CloseHandle(FInfo.hThread);
    CloseHandle(FInfo.hProcess);
  }
  bool Started() const { return FStarted; }

  // The main window, once the program shows it.
  HWND MainWindow() {
    PumpUntil(
        [&] {
          FWindow = nullptr;
          EnumWindows(
              [](HWND window, LPARAM self) CALLBACK -> BOOL {
                auto* process = reinterpret_cast<TPlayerProcess*>(self);
                DWORD pid = 0;
                GetWindowThreadProcessId(window, &pid);
                wchar_t kind[32] = {};
                GetClassNameW(window, kind, 32);
                if (pid != process->FInfo.dwProcessId || std::wstring(kind) != L"TfrmMain" ||
                    !IsWindowVisible(window))
                  return TRUE;
                process->FWindow = window;
                return FALSE;
              },
              reinterpret_cast<LPARAM>(this));
          return FWindow != nullptr;
        },
        WaitMs);
    return FWindow;
  }
  HWND TimeLabel() {
    HWND panel = FindWindowExW(FWindow, nullptr, L"TfrmMainPanel", nullptr);
    return panel ? FindWindowExW(panel, nullptr, L"STATIC", nullptr) : nullptr;
  }
  // Closes the main window as its close box does; the exit code, or -1.
  int Close() {
    PostMessageW(FWindow, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(FInfo.hProcess, WaitMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(FInfo.hProcess, &code);
    return static_cast<int>(code);
  }

 private:
  PROCESS_INFORMATION FInfo{};
  bool FStarted = false;
  HWND FWindow = nullptr;
};

class PlayerProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() { Registered = RegisterControl(); }
  void SetUp() override {
    ASSERT_TRUE(Registered);
    DeleteStoredRecentFiles();
  }
  void TearDown() override { DeleteStoredRecentFiles(); }
  static inline bool Registered = false;
};

TEST_F(PlayerProgram, StartsMaximisedAndEndsWithExitCodeZero) {
  TPlayerProcess player(L"");
  ASSERT_TRUE(player.Started());
  HWND window = player.MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Text(window), L"Brindolux");
  EXPECT_TRUE(IsZoomed(window));
  HWND label = player.TimeLabel();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(Text(label), L"  00:00:00 / 00:00:00  ");
  // Maximised on the screen too, not only in the program's belief: the
  // label comes to lie in the bottom right corner of the work area, and the
  // screen shows it there (its leading blanks in the panel's colour, where
  // an unmaximised window would leave the empty desktop). The window
  // manager's answer arrives after the window shows, so both are looked at
  // until it has.
  RECT work{}, at{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const uint32_t expected = uint32_t(GetRValue(face)) << 16 | uint32_t(GetGValue(face)) << 8 | GetBValue(face);
  std::vector<uint32_t> seen;
  EXPECT_TRUE(PumpUntil(
      [&] {
        seen.clear();
        if (!GetWindowRect(label, &at) || at.right < work.right - 16 || at.bottom < work.bottom - 16)
          return false;
        const int middle = (at.top + at.bottom) / 2;
        const RECT blanks = {at.left + 1, middle, at.left + 3, middle + 1};
        int width = 0, height = 0;
        seen = CaptureScreen(blanks, width, height);
        return seen == std::vector<uint32_t>(2, expected);
      },
      WaitMs))
      << std::hex << "label at " << std::dec << at.left << "," << at.top << "-" << at.right << "," << at.bottom
      << " of " << work.right << "x" << work.bottom << std::hex << ", screen shows 0x"
      << (seen.empty() ? 0 : seen[0]) << ", the panel is 0x" << expected;
  EXPECT_TRUE(SaveScreenScreenshot(L"player-maximised.png"));
  EXPECT_EQ(player.Close(), 0);
  EXPECT_EQ(StoredRecentFile(0), L"");  // nothing was opened
}

TEST_F(PlayerProgram, OpensTheQuotedRecordingOnItsCommandLine) {
  const std::wstring path = WriteRecording(L"lecture one.krm", 8000, 1000);
  TPlayerProcess player(L"\"" + path + L"\"");
  ASSERT_TRUE(player.Started());
  HWND window = player.MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return Text(window) == L"Brindolux - " + path; }, WaitMs)) << Text(window);
  // The time label runs.
  HWND label = player.TimeLabel();
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(PumpUntil(
      [&] {
        const std::wstring text = Text(label);
        return text.size() == 23 && text.substr(13) == L"00:00:08  " && text.substr(2, 8) > L"00:00:00";
      },
      WaitMs))
      << Text(label);
  EXPECT_EQ(player.Close(), 0);
  EXPECT_EQ(StoredRecentFile(0), path);
}

}  // namespace
