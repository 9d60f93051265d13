#include "core/Hooks.h"

#include "processing/ProcessingState.h"
#include "web/WebHost.h"

namespace RevavaRez {

namespace {
void Nothing() {}
bool No() { return false; }
bool NoMail(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
std::vector<TStackEntryText> NoStack() { return {}; }
uintptr_t NoAddress(const void*) { return 0; }
}  // namespace

TLibraryHooks LibraryHooks = {Nothing, Nothing, No, NoMail, NoStack, LastProcessedObject, NoAddress, Nothing,
                              IsWebHost};

}  // namespace RevavaRez
