#include "processing/ProcessingSeams.h"

namespace RevavaRez {

namespace {
// Until the dialog exists there is nothing to show: the report counts as not
// shown, so the processing goes on as if the user had closed it.
bool NoDialog() { return false; }
void Nothing() {}
void NoSend(const TSendRequest&) {}
TDateTime SystemNow() { return Now(); }
}  // namespace

TProcessingSeams ProcessingSeams = {NoDialog, Nothing, Nothing, Nothing, Nothing, Nothing, NoSend, SystemNow};

}  // namespace RevavaRez
