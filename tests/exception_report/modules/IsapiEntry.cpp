// The extension entry that makes the test library an ISAPI extension: it
// keeps the request's control block, as the library's entry hook will, and
// answers with the error page of the request's query text.
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <string>

#include "web/ErrorPage.h"

extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block) {
  try {
    RevavaRez::SetExtensionControlBlock(block);
    const std::string text = block && block->lpszQueryString ? block->lpszQueryString : "";
    const bool sent = RevavaRez::SendErrorPage(RevavaRez::BuildErrorPage(text, true));
    RevavaRez::SetExtensionControlBlock(nullptr);
    return sent ? HSE_STATUS_SUCCESS : HSE_STATUS_ERROR;
  } catch (...) {
    RevavaRez::SetExtensionControlBlock(nullptr);
    return HSE_STATUS_ERROR;
  }
}
