#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FolderTree.h"
#include "base/Log.h"

namespace {

const char* const EventName = "Global\\Zephyrcastor Log Event";

std::string ExeFileName() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

std::string ExeFolder() {
  std::string exe = ExeFileName();
  return exe.substr(0, exe.find_last_of('\\'));
}

std::string ExeName() {
  std::string exe = ExeFileName();
  return exe.substr(exe.find_last_of('\\') + 1);
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder under the temporary folder, removed with the test.
class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    FBase = std::string(temp) + "brx_log_" + std::to_string(GetCurrentProcessId()) + "_" + info->name();
    RemoveTree(FBase);
    ASSERT_TRUE(CreateDirectoryA(FBase.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(FBase); }

  // True when the shared event is free (and leaves it free).
  static bool EventIsFree() {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, EventName);
    if (!event) return false;
    const bool free = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    if (free) SetEvent(event);
    CloseHandle(event);
    return free;
  }

  std::string FBase;
};

// A log on a fixed clock that keeps what it sends to the debugger.
class TTestLog : public TLog {
 public:
  explicit TTestLog(const std::string& folder) : TLog(folder) {}
  void SetTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    FNow = SYSTEMTIME{year, month, 0, day, hour, minute, second, 0};
  }
  std::vector<std::string> Output;

 protected:
  void LocalTime(SYSTEMTIME& Now) override { Now = FNow; }
  void DebugOutput(const std::string& Text) override { Output.push_back(Text); }

 private:
  SYSTEMTIME FNow{2024, 3, 5, 1, 14, 5, 9, 0};
};

TEST_F(LogTest, FolderEndingInEitherSlashGivesTheSameLogFolder) {
  for (const std::string& folder : {FBase, FBase + "\\", FBase + "/"}) {
    TTestLog log(folder);
    EXPECT_EQ(log.Folder(), FBase + "\\Log") << folder;
  }
  TTestLog nested(FBase + "\\a\\b");
  EXPECT_TRUE(Exists(FBase + "\\a\\b\\Log"));
}

TEST_F(LogTest, LinesGoToTheFileOfTheirDay) {
  TTestLog log(FBase + "\\");
  log.SetTime(2024, 3, 1, 14, 5, 9);
  log.AddLine("abc");
  log.SetTime(2024, 3, 1, 23, 59, 59);
  log.AddLine("last of the day");
  const std::string first = FBase + "\\Log\\2024-03-01.log";
  const std::string expected =
      ExeName() + " ---> 14:05:09 abc\r\n" + ExeName() + " ---> 23:59:59 last of the day\r\n";
  EXPECT_EQ(ReadFile(first), expected);

  log.SetTime(2024, 3, 2, 0, 0, 1);
  log.AddLine("new day");
  EXPECT_EQ(ReadFile(FBase + "\\Log\\2024-03-02.log"), ExeName() + " ---> 00:00:01 new day\r\n");
  EXPECT_EQ(ReadFile(first), expected);
  EXPECT_EQ(log.LastLine(), "new day");
  EXPECT_TRUE(log.Output.empty());
  EXPECT_TRUE(EventIsFree());
}

TEST_F(LogTest, FailedAppendsOnlyReachTheDebuggerOutput) {
  struct Case {
    const char* name;
    bool logIsAFile;
    bool dayFileHeld;
  };
  for (const Case c :
       {Case{"log folder is a file", true, false}, Case{"day file held by a writer", false, true}}) {
    SCOPED_TRACE(c.name);
    const std::string base = FBase + "\\" + (c.logIsAFile ? "file" : "held");
    CreateDirectoryA(base.c_str(), nullptr);
    if (c.logIsAFile) std::ofstream(base + "\\Log") << "not a folder";
    TTestLog log(base);
    HANDLE writer = INVALID_HANDLE_VALUE;
    if (c.dayFileHeld) {
      writer = CreateFileA((base + "\\Log\\2024-03-01.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    }
    EXPECT_NO_THROW(log.AddLine("lost"));
    EXPECT_NO_THROW(log.AddLine("lost too"));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    ASSERT_EQ(log.Output.size(), 2u);
    EXPECT_EQ(log.Output[0].rfind("ERROR: TLog.AddLine -> ", 0), 0u) << log.Output[0];
    EXPECT_NE(log.Output[0].find("2024-03-01.log"), std::string::npos) << log.Output[0];
    // The event is set again after a failure: the next append does not wait.
    EXPECT_TRUE(EventIsFree());
    if (c.dayFileHeld) {
      EXPECT_EQ(ReadFile(base + "\\Log\\2024-03-01.log"), "");
    }
  }
}

// A process killed inside an append leaves the event taken for good; the
// others must take over after the wait limit instead of hanging.
TEST_F(LogTest, AppendTakesOverAnEventThatIsNeverSet) {
  TTestLog log(FBase);
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, EventName);
  ASSERT_NE(event, nullptr);
  ASSERT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);  // taken, and never set by us

  // The append runs on a thread of its own, so that a log that waits forever
  // fails the test instead of hanging it.
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const ULONGLONG start = GetTickCount64();
  std::thread append([&] {
    log.AddLine("after the dead holder");
    SetEvent(done);
  });
  const DWORD finished = WaitForSingleObject(done, TLog::EventWaitLimit + 15000);
  const ULONGLONG waited = GetTickCount64() - start;
  if (finished != WAIT_OBJECT_0) SetEvent(event);  // let it go, then fail
  append.join();
  CloseHandle(done);
  ASSERT_EQ(finished, WAIT_OBJECT_0) << "the append never gave up waiting";
  EXPECT_GE(waited, TLog::EventWaitLimit - 100);
  EXPECT_EQ(ReadFile(FBase + "\\Log\\2024-03-01.log"),
            ExeName() + " ---> 14:05:09 after the dead holder\r\n");
  // The lock is back in service.
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  SetEvent(event);
  CloseHandle(event);
}

TEST_F(LogTest, TwoProcessesAppendWholeLines) {
  const int lines = 500;
  const std::string appender = ExeFolder() + "\\LogAppender.exe";
  ASSERT_TRUE(Exists(appender)) << appender;
  HANDLE processes[2];
  HANDLE threads[2];
  const char* tags[2] = {"first", "second"};
  for (int i = 0; i < 2; ++i) {
    std::string command = "\"" + appender + "\" \"" + FBase + "\" " + tags[i] + " " + std::to_string(lines);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &info));
    processes[i] = info.hProcess;
    threads[i] = info.hThread;
  }
  // Both start together, so that their appends really meet.
  for (HANDLE thread : threads) ResumeThread(thread);
  const DWORD wait = WaitForMultipleObjects(2, processes, TRUE, 120000);
  for (int i = 0; i < 2; ++i) {
    DWORD code = 1;
    GetExitCodeProcess(processes[i], &code);
    if (wait == WAIT_TIMEOUT) TerminateProcess(processes[i], 1);
    EXPECT_EQ(code, 0u) << tags[i];
    CloseHandle(threads[i]);
    CloseHandle(processes[i]);
  }
  ASSERT_NE(wait, WAIT_TIMEOUT);

  // Midnight may pass during the run: read every day's file.
  std::string text;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((FBase + "\\Log\\*.log").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> files;
  do files.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) text += ReadFile(FBase + "\\Log\\" + file);

  const std::regex line("LogAppender\\.exe ---> \\d\\d.\\d\\d.\\d\\d (first|second) (\\d+)");
  std::map<std::string, int> next;
  size_t start = 0;
  int count = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "unterminated line at " << start;
    const std::string one = text.substr(start, end - start);
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(one, parts, line)) << one;
    EXPECT_EQ(std::stoi(parts[2]), next[parts[1]]++) << one;
    ++count;
    start = end + 2;
  }
  EXPECT_EQ(count, 2 * lines);
  EXPECT_EQ(next["first"], lines);
  EXPECT_EQ(next["second"], lines);
}

TEST(GlobalLog, LivesBesideTheHostProgram) {
  ASSERT_NE(GlobalLog().Instance(), nullptr);
  EXPECT_EQ(GlobalLog().Instance()->Folder(), ExeFolder() + "\\Log");
}

}  // namespace
