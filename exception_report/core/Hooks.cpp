#include "core/Hooks.h"

#include "web/WebHost.h"

namespace RevavaRez {

namespace {
void Nothing() {}
bool No() { return false; }
bool NoMail(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }
std::vector<TStackEntryText> NoStack() { return {}; }
const void* NoObject() { return nullptr; }
uintptr_t NoAddress(const void*) { return 0; }
}  // namespace

TLibraryHooks LibraryHooks = {Nothing, Nothing, No, NoMail, NoStack, NoObject, NoAddress, Nothing, IsWebHost};

}  // namespace RevavaRez
