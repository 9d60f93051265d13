#include "interception/HandlerChain.h"

#include "options/ActivationGate.h"

namespace RevavaRez {
// Stand-in until the handler search lands.
bool IsExceptionHandled(const void*, uintptr_t, bool caught, uint8_t& handlerKind) {
  handlerKind = 0;
  return caught || LibraryState().MainModuleActive;
}
}  // namespace RevavaRez
