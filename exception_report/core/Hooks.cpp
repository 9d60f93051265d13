#include "core/Hooks.h"

#include "dialog/SendProgress.h"
#include "interception/ThreadExceptionState.h"
#include "processing/ProcessingState.h"
#include "watchdog/FreezeWatch.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {
void Nothing() {}
bool NoMail(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
std::vector<TStackEntryText> NoStack() { return {}; }
}  // namespace

TLibraryHooks LibraryHooks = {StartFreezeWatch, StopFreezeWatch, SendProgressDialogUp, NoMail, NoStack, LastProcessedObject, LastRaiseAddressOf,
                              Nothing, IsWebHost, Nothing};

}  // namespace RevavaRez
