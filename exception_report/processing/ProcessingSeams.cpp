#include "processing/ProcessingSeams.h"

#include "dialog/ExceptionDialog.h"

namespace RevavaRez {

namespace {
void Nothing() {}
void NoSend(const TSendRequest&) {}
TDateTime SystemNow() { return Now(); }
}  // namespace

TProcessingSeams ProcessingSeams = {ShowExceptionDialog, Nothing, Nothing, Nothing, Nothing, Nothing, NoSend, SystemNow};

}  // namespace RevavaRez
