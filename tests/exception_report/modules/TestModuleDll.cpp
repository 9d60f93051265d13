// A library that carries the exception-reporting library, loaded by the
// test programs and the test EXEs; its exports answer from inside it.
#include <windows.h>

#include <cstring>

#include "GateReport.h"

namespace {

void CopyOut(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestModuleGateState(char* buffer, int size) {
  try {
    CopyOut(brx_test_module::GateStateLine(), buffer, size);
  } catch (...) {
    CopyOut("failed", buffer, size);
  }
}
