#include "core/Hooks.h"

#include "dialog/SendProgress.h"
#include "processing/ProcessingState.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {
void Nothing() {}
bool NoMail(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
std::vector<TStackEntryText> NoStack() { return {}; }
uintptr_t NoAddress(const void*) { return 0; }
}  // namespace

TLibraryHooks LibraryHooks = {Nothing, Nothing, SendProgressDialogUp, NoMail, NoStack, LastProcessedObject, NoAddress, Nothing,
                              IsWebHost};

}  // namespace RevavaRez
