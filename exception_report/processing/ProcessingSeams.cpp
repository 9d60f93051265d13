#include "processing/ProcessingSeams.h"

#include "dialog/ExceptionDialog.h"
#include "dialog/RequestDialog.h"
#include "screenshot/Screenshot.h"

namespace RevavaRez {

namespace {
void NoSend(const TSendRequest&) {}
TDateTime SystemNow() { return Now(); }
}  // namespace

TProcessingSeams ProcessingSeams = {ShowExceptionDialog,
                                    CaptureProcessingScreenshot,
                                    SaveProcessingScreenshot,
                                    DiscardScreenshot,
                                    DeleteProcessingScreenshot,
                                    ShowReproduceRequest,
                                    NoSend,
                                    SystemNow};

}  // namespace RevavaRez
