// What the web-host tests ask a test library: its web hosts, its last
// warning and whether it is writing to the ISAPI client just now.
#include <windows.h>

#include <cstring>

#include "WebState.h"
#include "core/ExceptionLog.h"
#include "web/ErrorPage.h"

namespace {

void CopyText(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = text.size() < static_cast<size_t>(size) ? text.size() : static_cast<size_t>(size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

extern "C" __declspec(dllexport) void __stdcall TestModuleWebHosts(char* buffer, int size) {
  try {
    CopyText(brx_test_module::WebHostsLine(), buffer, size);
  } catch (...) {
    CopyText("failed", buffer, size);
  }
}

extern "C" __declspec(dllexport) void __stdcall TestModuleLastWarning(char* buffer, int size) {
  try {
    CopyText(RevavaRez::LastWarning().Message, buffer, size);
  } catch (...) {
    CopyText("failed", buffer, size);
  }
}

extern "C" __declspec(dllexport) BOOL __stdcall TestModuleClientWriting() {
  return RevavaRez::ISAPIClientWriting ? TRUE : FALSE;
}
