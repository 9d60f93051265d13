// A restart starts the same command line again in the start directory and
// ends this process with exit code 1.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/ExceptionLog.h"

using namespace RevavaRez;

namespace {

TEST(Restart, TheProgramRestartsOnceInItsStartDirectoryAndExitsWithOne) {
  std::string folder = TempFolder() + "brx_restart_test";
  CreateDirectoryA(folder.c_str(), nullptr);
  DeleteFileA((folder + "\\first").c_str());
  DeleteFileA((folder + "\\second").c_str());
  std::string eventName = "BrxRestartProbe" + std::to_string(GetCurrentProcessId());
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_NE(done, nullptr);

  std::string command = "\"" BRX_RESTART_PROBE "\" \"" + folder + "\" " + eventName;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                             &startup, &process));
  CloseHandle(process.hThread);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 1u);

  ASSERT_EQ(WaitForSingleObject(done, 30000), WAIT_OBJECT_0) << "the restarted run did not come up";
  CloseHandle(done);
  char text[MAX_PATH] = {};
  HANDLE second = CreateFileA((folder + "\\second").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  DWORD read = 0;
  ReadFile(second, text, sizeof text - 1, &read, nullptr);
  CloseHandle(second);
  EXPECT_STRCASEEQ(text, folder.c_str());
  DeleteFileA((folder + "\\first").c_str());
  DeleteFileA((folder + "\\second").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
