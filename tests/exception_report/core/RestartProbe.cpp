// Restarts itself once: the first run leaves a marker and restarts, the
// second writes the folder it started in and signals the test's event.
// Arguments: marker folder, event name.
#include <windows.h>

#include <string>

#include "core/ExceptionLog.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  RevavaRez::RememberStartDirectory();
  std::string first = std::string(argv[1]) + "\\first";
  if (GetFileAttributesA(first.c_str()) == INVALID_FILE_ATTRIBUTES) {
    HANDLE marker = CreateFileA(first.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(marker);
    // The restarted run starts in the start directory, not in this one.
    SetCurrentDirectoryA("C:\\");
    RevavaRez::RestartOrTerminate(true);
  }
  char folder[MAX_PATH] = {};
  DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
  HANDLE second = CreateFileA((std::string(argv[1]) + "\\second").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(second, folder, length, &written, nullptr);
  CloseHandle(second);
  HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  SetEvent(done);
  RevavaRez::RestartOrTerminate(false);
}
