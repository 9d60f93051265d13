// A console program that carries the exception-reporting library.
#include "TestModuleDriver.h"

int wmain(int argc, wchar_t** argv) {
  return brx_test_module::RunVerbs(std::vector<std::wstring>(argv + 1, argv + argc));
}
