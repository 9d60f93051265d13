#include "TestModuleDriver.h"

#include <windows.h>

#include <cstdio>

#include "GateReport.h"

namespace brx_test_module {

namespace {

bool WriteReport(const std::wstring& file, const std::string& text) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == text.size();
}

std::string LoadedLibraryState(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (module == nullptr) return "load failed " + std::to_string(GetLastError());
  using TGateState = void(__stdcall*)(char*, int);
  auto gateState = reinterpret_cast<TGateState>(reinterpret_cast<void*>(GetProcAddress(module, "TestModuleGateState")));
  char line[256] = "no export";
  if (gateState) gateState(line, sizeof line);
  return line;
}

}  // namespace

int RunVerbs(const std::vector<std::wstring>& arguments) {
  try {
    if (arguments.size() == 2 && arguments[0] == L"state") return WriteReport(arguments[1], GateStateLine()) ? 0 : 3;
    if (arguments.size() == 3 && arguments[0] == L"load")
      return WriteReport(arguments[2], LoadedLibraryState(arguments[1])) ? 0 : 3;
  } catch (...) {
    return 4;
  }
  return 2;
}

}  // namespace brx_test_module
