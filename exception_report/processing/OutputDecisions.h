#pragma once
// What the processing decides about a report's output and its sending. The
// rules take the options' values and the kind of program as arguments, so
// that they hold the same in every host and can be checked without one; the
// overloads without them read this process and its working state.
#include <cstdint>
#include <string>

namespace RevavaRez {

class TVezavuModuleOptions;

// Output kinds: where a report is shown.
constexpr uint8_t okDialog = 0;
constexpr uint8_t okConsole = 1;
constexpr uint8_t okWebPage = 2;

// The output for a requested kind (the raiser type): 0 lets the program
// decide (the web page in a web server, else the console in a console
// program, else the dialog), 1 asks for the console where there is one, 2
// for the web page; anything else gets the dialog. A CGI program is a web
// server and a console program at once.
uint8_t OutputKindFor(uint8_t requested, bool webServer, bool consoleProgram);
uint8_t OutputKindFor(uint8_t requested);

// What the send decisions read.
struct TSendInputs {
  uint8_t MailMode = 0;
  uint8_t WebMode = 0;
  uint16_t SendFlags = 0;
  uint8_t DialogFlags = 0;
  // The same error is already in the log.
  bool DuplicateFound = false;
  // The dialog's send box as it closed.
  bool SendChecked = false;
};
// From the working options, DuplicateFound and the dialog's send box.
TSendInputs SendInputsOf(const TVezavuModuleOptions& options);

// A sending method is chosen, the error is new, and a dialog, when shown,
// left its send box ticked: what the processing sends on.
bool ReportCanBeSent(const TSendInputs& inputs);
// Whether a send with its visible parts (progress dialog, screenshot) or the
// dialog itself lies ahead, for work that must come first. Known after the
// dialog (action 1); before it (action 0) only where dialogs may be shown.
bool ReportIsToBeSent(uint8_t action, bool guiAllowed, const TSendInputs& inputs);

// The web output's text: the class name, when there is one, before the text.
std::string ExceptionText(const std::string& className, const std::string& text);
// The page with the line of the "Ok" button that leads the browser back at
// its end, unless it holds that line already in any letter case (a page
// template may bring its own).
std::string WithOkButtonLine(const std::string& page);

}  // namespace RevavaRez
