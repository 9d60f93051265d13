// An ISAPI extension that leaves the control block to the library's entry
// hook: it echoes the request's data to the client and, for the query
// "fail", answers with the error page after that.
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <cstring>
#include <exception>
#include <string>

#include "hooking/HookEngine.h"
#include "report/ReportFiles.h"
#include "web/ErrorPage.h"
#include "web/WebHooks.h"

extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block) {
  try {
    if (block == nullptr || block->WriteClient == nullptr) return HSE_STATUS_ERROR;
    DWORD bytes = block->cbAvailable;
    if (bytes > 0 && !block->WriteClient(block->ConnID, block->lpbData, &bytes, HSE_IO_SYNC))
      return HSE_STATUS_ERROR;
    if (block->lpszQueryString && std::strcmp(block->lpszQueryString, "fail") == 0)
      return RevavaRez::SendErrorPage(RevavaRez::BuildErrorPage("The request failed", true)) ? HSE_STATUS_SUCCESS
                                                                                            : HSE_STATUS_ERROR;
    return HSE_STATUS_SUCCESS;
  } catch (...) {
    return HSE_STATUS_ERROR;
  }
}

// 1 when the entry is hooked, 0 when there is no entry, -1 when the hooking
// engine refused.
extern "C" __declspec(dllexport) int __stdcall TestModuleHookEntry() {
  try {
    RevavaRez::EHookInit();
    return RevavaRez::InstallHttpExtensionProcHook() ? 1 : 0;
  } catch (...) {
    return -1;
  }
}

// The last HTML page's length, and as much of it as fits.
extern "C" __declspec(dllexport) int __stdcall TestModuleLastHtmlPage(char* buffer, int size) {
  const std::string& page = RevavaRez::LastHtmlPage;
  if (buffer != nullptr && size > 0) {
    const size_t length = page.size() < static_cast<size_t>(size) ? page.size() : static_cast<size_t>(size);
    std::memcpy(buffer, page.data(), length);
  }
  return static_cast<int>(page.size());
}
