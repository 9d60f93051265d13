#pragma once
// Where a report is shown: the dialog, the console or the web page, and the
// program's main window brought forward for it.
#include <cstdint>
#include <string>

namespace RevavaRez {

struct TProcessingState;

// Restores a minimised main window of this process and brings it (or its
// last active pop-up) to the front. Its thread may be blocked or suspended:
// nothing here waits for it longer than a second.
void BringMainWindowToFront();
// The report by raiser type and host; failures clear the dialog-result flag
// and become warnings.
void ShowReport(uint8_t raiserType, TProcessingState& state);
// The exception's class name and the text in the web host's page: through
// the IntraWeb application while one is served, else written to the web
// server's client. Its success is the dialog-result flag; outside a web
// server nothing is shown and the flag stays.
void ShowWebPage(const std::string& text, TProcessingState& state);

}  // namespace RevavaRez
