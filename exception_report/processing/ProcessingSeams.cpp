#include "processing/ProcessingSeams.h"

#include "dialog/ExceptionDialog.h"
#include "screenshot/Screenshot.h"

namespace RevavaRez {

namespace {
void Nothing() {}
void NoSend(const TSendRequest&) {}
TDateTime SystemNow() { return Now(); }
}  // namespace

TProcessingSeams ProcessingSeams = {ShowExceptionDialog,
                                    CaptureProcessingScreenshot,
                                    SaveProcessingScreenshot,
                                    DiscardScreenshot,
                                    DeleteProcessingScreenshot,
                                    Nothing,
                                    NoSend,
                                    SystemNow};

}  // namespace RevavaRez
