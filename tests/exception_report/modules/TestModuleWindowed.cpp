// A windowed program that carries the exception-reporting library.
#include <windows.h>
#include <shellapi.h>

#include "TestModuleDriver.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return 2;
  const std::vector<std::wstring> arguments(argv + 1, argv + count);
  LocalFree(argv);
  return brx_test_module::RunVerbs(arguments);
}
