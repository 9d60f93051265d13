#include "interception/HandlerChain.h"

namespace RevavaRez {
// Stand-in until the handler search lands.
bool IsExceptionHandled(const void*, uintptr_t, bool caught, uint8_t& handlerKind) {
  handlerKind = 0;
  return caught;
}
}  // namespace RevavaRez
