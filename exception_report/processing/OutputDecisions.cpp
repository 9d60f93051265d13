#include "processing/OutputDecisions.h"

#include "core/VArevText.h"
#include "options/VezavuModuleOptions.h"
#include "processing/ProcessingState.h"
#include "processing/ReportLog.h"
#include "report/ReportFiles.h"
#include "web/ErrorPage.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {

constexpr uint8_t kShowDialog = 0x01;
constexpr uint16_t kSendProgress = 0x01;
constexpr uint16_t kSendScreenshot = 0x10;


}  // namespace

uint8_t OutputKindFor(uint8_t requested, bool webServer, bool consoleProgram) {
  if (requested == 0 && webServer) return okWebPage;
  if (requested == 0 || requested == 1) return consoleProgram ? okConsole : okDialog;
  if (requested == 2) return okWebPage;
  return okDialog;
}

uint8_t OutputKindFor(uint8_t requested) { return OutputKindFor(requested, IsWebHost(), IsConsoleProgram()); }

TSendInputs SendInputsOf(const TVezavuModuleOptions& options) {
  TSendInputs inputs;
  inputs.MailMode = options.MailMode();
  inputs.WebMode = options.WebMode();
  inputs.SendFlags = options.SendFlags();
  inputs.DialogFlags = options.DialogFlags();
  inputs.DuplicateFound = DuplicateFound;
  inputs.SendChecked = ProcessingState().SendChecked;
  return inputs;
}

bool ReportCanBeSent(const TSendInputs& inputs) {
  if (inputs.MailMode == 0 && inputs.WebMode == 0) return false;
  if (inputs.DuplicateFound) return false;
  return (inputs.DialogFlags & kShowDialog) == 0 || inputs.SendChecked;
}

bool ReportIsToBeSent(uint8_t action, bool guiAllowed, const TSendInputs& inputs) {
  if (action != acAfterDialog && !(action == acBeforeDialog && guiAllowed)) return false;
  return (ReportCanBeSent(inputs) && (inputs.SendFlags & (kSendProgress | kSendScreenshot)) != 0) ||
         (inputs.DialogFlags & kShowDialog) != 0;
}

std::string ExceptionText(const std::string& className, const std::string& text) {
  return className.empty() ? text : className + ": " + text;
}

std::string WithOkButtonLine(const std::string& page) {
  if (Pos(LowerCase(kOkButtonLine), LowerCase(page)) != 0) return page;
  return page + kOkButtonLine;
}

}  // namespace RevavaRez
