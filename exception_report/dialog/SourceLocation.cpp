#include "dialog/SourceLocation.h"

namespace RevavaRez {

// Placeholder until the message is built.
SourceLocationMessage MakeSourceLocation(const std::string&, const std::string&, const std::string&,
                                         const std::string&, int32_t, int32_t, uint64_t) {
  return SourceLocationMessage{};
}
void SendSourceLocation(const SourceLocationMessage&, const std::string&) {}

}  // namespace RevavaRez
