#pragma once
// Copies of the test modules that carry the exception-reporting library, in
// a folder per test, and what they report when they run.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DataBlockBuilder.h"

namespace RevavaRez {
class TVezavuModuleOptions;
}

namespace brx_test {

// A fresh folder under the temporary folder, removed with what it holds.
// Labels are plain ASCII.
class TTempFolder {
 public:
  explicit TTempFolder(const std::wstring& label);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::wstring& Path() const { return FPath; }

 private:
  std::string FNarrowPath;
  std::wstring FPath;
};

// The test program's own file name.
std::string OwnFileName();
// What the options' own writer writes for them.
std::vector<uint8_t> WrittenOptions(const RevavaRez::TVezavuModuleOptions& options);

// A test module built beside the test program.
std::wstring TestModulePath(const std::wstring& fileName);
// The name of the "MODULE" block of a module in a process.
std::string ModuleBlockName(DWORD process, HMODULE module);
// "block=5,0" for a block with its size word and first byte, "block=none".
std::string BlockState(DWORD process, HMODULE module);

// A copy of the file with the options in a data block appended, as a built
// program carries them: the library in the copy works. False when the copy
// could not be made.
bool MakeActiveCopy(const std::wstring& from, const std::wstring& to, const TOptionsImage& image = TOptionsImage());
// The same for a test module built beside the test program, into the
// folder under its own name; the copy's path, empty when it failed.
std::wstring ActiveCopy(const TTempFolder& folder, const std::wstring& module,
                        const TOptionsImage& image = TOptionsImage());

// A whole file, "(missing)" when it cannot be opened.
std::string ReadFileText(const std::wstring& file);

struct TModuleRun {
  bool Ended = false;
  DWORD ExitCode = 0;
  std::string Report;
  // GetLastError of a start that failed; 0 when the program started.
  DWORD StartError = 0;
};
// Runs a test EXE with the arguments and a report file in its folder, and
// waits at most 30 seconds for its end.
TModuleRun RunTestModule(const std::wstring& exe, const std::wstring& arguments);

// The same run started without waiting, so that the test can drive the
// module's windows meanwhile; Finish waits for the end with the same 30 s
// bound and ends the module when it is exceeded.
class TStartedModule {
 public:
  TStartedModule(const std::wstring& exe, const std::wstring& arguments);
  ~TStartedModule();
  TStartedModule(const TStartedModule&) = delete;
  TStartedModule& operator=(const TStartedModule&) = delete;
  DWORD ProcessId() const { return FProcessId; }
  TModuleRun Finish();

 private:
  std::wstring FReport;
  HANDLE FProcess = nullptr;
  DWORD FProcessId = 0;
  DWORD FStartError = 0;
  DWORD FStarted = 0;
};

}  // namespace brx_test
