#pragma once
// Copies of the test modules that carry the exception-reporting library, in
// a folder per test, and what they report when they run.
#include <windows.h>

#include <string>

namespace brx_test {

// A fresh folder under the temporary folder, removed with what it holds.
class TTempFolder {
 public:
  explicit TTempFolder(const std::wstring& label);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::wstring& Path() const { return FPath; }

 private:
  std::wstring FPath;
};

// A test module built beside the test program.
std::wstring TestModulePath(const std::wstring& fileName);
// The name of the "MODULE" block of a module in a process.
std::string ModuleBlockName(DWORD process, HMODULE module);
// "block=5,0" for a block with its size word and first byte, "block=none".
std::string BlockState(DWORD process, HMODULE module);

struct TModuleRun {
  bool Ended = false;
  DWORD ExitCode = 0;
  std::string Report;
};
// Runs a test EXE with the arguments and a report file in its folder, and
// waits at most 30 seconds for its end.
TModuleRun RunTestModule(const std::wstring& exe, const std::wstring& arguments);

}  // namespace brx_test
