#include "processing/ProcessingSeams.h"

#include "dialog/ExceptionDialog.h"
#include "dialog/RequestDialog.h"

namespace RevavaRez {

namespace {
void Nothing() {}
void NoSend(const TSendRequest&) {}
TDateTime SystemNow() { return Now(); }
}  // namespace

TProcessingSeams ProcessingSeams = {ShowExceptionDialog, Nothing, Nothing, Nothing, Nothing, ShowReproduceRequest, NoSend, SystemNow};

}  // namespace RevavaRez
