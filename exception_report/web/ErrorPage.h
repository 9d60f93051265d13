#pragma once
// The HTML error page a web host answers the failing request with.
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;

// The line that takes the reader back to the page before.
extern const char kOkButtonLine[];

// The page for a report text, from the options' page template: the working
// options of the library, or a fresh set where it has none.
std::string BuildErrorPage(const std::string& text, bool withOkButton);
std::string BuildErrorPage(const TVezavuModuleOptions& options, const std::string& text, bool withOkButton);
// The response headers before a page of that many bytes; the status line
// only for CGI and WinCGI, which have no other way to give it.
std::string ErrorPageHeaders(size_t pageBytes, bool withStatusLine);
// To the CGI, WinCGI or ISAPI client; true only when every write went
// through. Failures become warnings.
bool SendErrorPage(const std::string& page);

// The "<!-- RevavaRez ID: ... -->" line of the last page built.
extern std::string LastPageIDComment;

// The current request's control block, kept by the extension's entry hook.
void SetExtensionControlBlock(EXTENSION_CONTROL_BLOCK* block);
EXTENSION_CONTROL_BLOCK* ExtensionControlBlock();
// Set while the library writes to the ISAPI client itself, so that its own
// WriteClient hook lets the write through.
extern bool ISAPIClientWriting;

}  // namespace RevavaRez
