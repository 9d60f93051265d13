// The internal-error report acts only for someone who can act on it: a
// debugger or the development environment. This program debugs a probe
// that carries the library, so it stays apart from the other tests (the
// system skips the unhandled-exception filter under a debugger).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "DataBlockBuilder.h"
#include "TestModules.h"
#include "core/VArev.h"

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);
  return out;
}

// Runs a program under DEBUG_ONLY_THIS_PROCESS on a thread of its own (the
// debugger must be the thread that started it) and keeps its debugger
// output.
class TDebugSession {
 public:
  explicit TDebugSession(const std::wstring& exe) : FThread([this, exe] { Run(exe); }) {
    WaitForSingleObject(FStarted, 30000);
  }
  ~TDebugSession() {
    FStop = true;
    FThread.join();
    CloseHandle(FStarted);
  }
  DWORD ProcessId() const { return FProcessId; }
  bool WaitForEnd(DWORD ms) { return WaitForSingleObject(FEnded, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const { return FExitCode; }
  std::vector<std::string> Output() {
    std::lock_guard<std::mutex> lock(FLock);
    return FOutput;
  }

 private:
  void Run(const std::wstring& exe) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
      SetEvent(FStarted);
      SetEvent(FEnded);
      return;
    }
    FProcessId = process.dwProcessId;
    SetEvent(FStarted);
    DWORD deadline = GetTickCount() + 90000;
    bool ended = false;
    while (!ended && !FStop && GetTickCount() < deadline) {
      DEBUG_EVENT event;
      if (!WaitForDebugEvent(&event, 100)) continue;
      DWORD status = DBG_CONTINUE;
      switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
          break;
        case OUTPUT_DEBUG_STRING_EVENT: {
          const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
          std::string text(info.nDebugStringLength, '\0');
          SIZE_T read = 0;
          ReadProcessMemory(process.hProcess, info.lpDebugStringData, &text[0], text.size(), &read);
          text.resize(read);
          if (!text.empty() && text.back() == '\0') text.pop_back();
          std::lock_guard<std::mutex> lock(FLock);
          FOutput.push_back(text);
          break;
        }
        case EXCEPTION_DEBUG_EVENT:
          // The program's own handlers decide, as without a debugger; only
          // the loader's breakpoint is ours.
          if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            status = DBG_EXCEPTION_NOT_HANDLED;
          break;
        case EXIT_PROCESS_DEBUG_EVENT:
          FExitCode = event.u.ExitProcess.dwExitCode;
          ended = true;
          break;
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (!ended) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (ended) SetEvent(FEnded);
  }

  HANDLE FStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE FEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> FStop{false};
  DWORD FProcessId = 0;
  DWORD FExitCode = 0;
  std::mutex FLock;
  std::vector<std::string> FOutput;
  std::thread FThread;
};

struct TBoxSearch {
  DWORD ProcessId;
  const wchar_t* Caption;
  HWND Found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
  auto search = reinterpret_cast<TBoxSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t caption[128] = {};
  GetWindowTextW(window, caption, 128);
  if (process == search->ProcessId && IsWindowVisible(window) && wcscmp(caption, search->Caption) == 0) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

// The box of that caption in the process, waited for while the process
// lives (ended tells, waiting up to the given time); null when it never came.
template <typename Ended>
HWND WaitForBoxOf(DWORD processId, const wchar_t* caption, Ended ended) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;) {
    TBoxSearch search = {processId, caption, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.Found) return search.Found;
    if (ended(50)) return nullptr;
  }
  return nullptr;
}

HWND WaitForBox(TDebugSession& session, const wchar_t* caption) {
  return WaitForBoxOf(session.ProcessId(), caption, [&](DWORD ms) { return session.WaitForEnd(ms); });
}

std::string BoxText(HWND box) {
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM data) CALLBACK -> BOOL {
        wchar_t name[32] = {}, t[1024] = {};
        GetClassNameW(child, name, 32);
        GetWindowTextW(child, t, 1024);
        if (wcscmp(name, L"Static") == 0 && t[0]) *reinterpret_cast<std::string*>(data) += Narrow(t);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

std::string ReadFileText(const std::string& name) {
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text(65536, '\0');
  DWORD read = 0;
  ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  text.resize(read);
  return text;
}

// An active copy of the probe: a trailer makes the library work in it.
std::wstring ActiveProbe(const brx_test::TTempFolder& folder) {
  std::wstring copy = folder.Path() + L"\\probe.exe";
  EXPECT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"InternalErrorProbe.exe"), copy));
  EXPECT_TRUE(brx_test::AppendToFile(copy, brx_test::TrailerBlock(brx_test::TDataBlock())));
  return copy;
}

TEST(InternalErrorUnderADebugger, ReportsToTheDebuggerWritesTheLogAndAsksThenNo) {
  brx_test::TTempFolder folder(L"internal error no");
  std::wstring probe = ActiveProbe(folder);
  TDebugSession session(probe);
  ASSERT_NE(session.ProcessId(), 0u);
  HWND box = WaitForBox(session, L"Probably internal bug");
  ASSERT_NE(box, nullptr) << "no question box";
  std::string question = BoxText(box);
  EXPECT_NE(question.find("Error: 'probe failure'"), std::string::npos) << question;
  EXPECT_NE(question.find("This is an internal RevavaRez bug."), std::string::npos) << question;
  PostMessageW(box, WM_COMMAND, IDNO, 0);
  ASSERT_TRUE(session.WaitForEnd(60000));
  EXPECT_EQ(session.ExitCode(), 0u);

  bool reported = false;
  for (const std::string& line : session.Output())
    if (line.rfind("[ERROR] - Section: EHook.Init (Address: ", 0) == 0) {
      reported = true;
      EXPECT_NE(line.find(" - Message: \"probe failure\""), std::string::npos) << line;
    }
  EXPECT_TRUE(reported);

  std::string log = Narrow(folder.Path()) + "\\probe.log";
  ASSERT_TRUE(RevavaRez::FindUsableFile(log, true, true));
  std::string report = ReadFileText(log);
  EXPECT_EQ(report.rfind("Version   : 5.1.10\r\nDate      : ", 0), 0u) << report;
  EXPECT_NE(report.find("\r\nRAD       : mingw-w64 g++ "), std::string::npos);
  EXPECT_NE(report.find("\r\nSection   : EHook.Init (Address: "), std::string::npos);
  EXPECT_NE(report.find("\r\nException : EConvertError\r\nMessage   : probe failure\r\nCall Stack: "),
            std::string::npos)
      << report;
  // The active library walks the calling thread's own stack for it.
  const size_t stack = report.find("\r\nCall Stack: ");
  ASSERT_NE(stack, std::string::npos);
  EXPECT_EQ(report.compare(stack + 14, 4, "00 $"), 0) << report;
  DeleteFileA(log.c_str());
}

TEST(InternalErrorUnderADebugger, YesWithoutSendingShowsHowToSendByHand) {
  brx_test::TTempFolder folder(L"internal error yes");
  std::wstring probe = ActiveProbe(folder);
  TDebugSession session(probe);
  HWND box = WaitForBox(session, L"Probably internal bug");
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, IDYES, 0);
  HWND information = WaitForBox(session, L"Information");
  ASSERT_NE(information, nullptr) << "no information box";
  std::string text = BoxText(information);
  EXPECT_NE(text.find("probe.log"), std::string::npos) << text;
  EXPECT_NE(text.find("@example.com"), std::string::npos) << text;
  PostMessageW(information, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(session.WaitForEnd(60000));
  EXPECT_EQ(session.ExitCode(), 0u);
  DeleteFileA((Narrow(folder.Path()) + "\\probe.log").c_str());
}

TEST(InternalErrorInTheIDE, AHostUnderTheDevelopmentEnvironmentsNameAsksWithoutADebugger) {
  brx_test::TTempFolder folder(L"internal error ide");
  std::wstring host = folder.Path() + L"\\" +
                      std::wstring(RevavaRez::IDEHostFileName,
                                   RevavaRez::IDEHostFileName + strlen(RevavaRez::IDEHostFileName));
  ASSERT_TRUE(brx_test::CopyModule(brx_test::TestModulePath(L"InternalErrorProbe.exe"), host));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::wstring command = L"\"" + host + L"\"";
  ASSERT_TRUE(
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  CloseHandle(process.hThread);
  HWND box = WaitForBoxOf(process.dwProcessId, L"Probably internal bug", [&](DWORD ms) {
    return WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0;
  });
  EXPECT_NE(box, nullptr) << "no question box";
  if (box) PostMessageW(box, WM_COMMAND, IDNO, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  std::string log = Narrow(host);
  log = log.substr(0, log.size() - 4) + ".log";
  EXPECT_TRUE(RevavaRez::FindUsableFile(log, true, true));
  DeleteFileA(log.c_str());
}

}  // namespace
