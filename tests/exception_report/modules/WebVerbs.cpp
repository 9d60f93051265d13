// The web-host verbs:
//   web-hosts REPORT          which web hosts the module sees
//   web-send BYTES REPORT     sends the page of a report of about that many
//                             bytes; the report file gets the host line, the
//                             send's result and last warning, then the page
// and the same two as a WinCGI server starts a program: parameter file,
// content file and output file come first, the verb fourth.
#include <windows.h>

#include <string>

#include "TestModuleDriver.h"
#include "WebState.h"
#include "core/ExceptionLog.h"
#include "web/ErrorPage.h"

namespace brx_test_module {

namespace {

int Answer(const std::wstring& verb, size_t bytes, const std::wstring& report) {
  if (verb == L"web-hosts") return WriteReport(report, WebHostsLine()) ? 0 : 3;
  if (verb != L"web-send") return kNotMyVerb;
  const std::string page = RevavaRez::BuildErrorPage(ReportOfSize(bytes), true);
  const bool sent = RevavaRez::SendErrorPage(page);
  const std::string summary = WebHostsLine() + " sent=" + (sent ? "1" : "0") +
                              " warning=" + RevavaRez::LastWarning().Message + "\n";
  return WriteReport(report, summary + page) ? 0 : 3;
}

}  // namespace

int RunWebVerbs(const std::vector<std::wstring>& arguments) {
  if (arguments.size() == 2) return Answer(arguments[0], 2000, arguments[1]);
  if (arguments.size() == 3 && arguments[0] == L"web-send")
    return Answer(arguments[0], static_cast<size_t>(std::stoul(arguments[1])), arguments[2]);
  if (arguments.size() == 5) return Answer(arguments[3], 2000, arguments[4]);
  return kNotMyVerb;
}

}  // namespace brx_test_module
