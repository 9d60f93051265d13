// A module with its own copy of the C++ run-time, whose exception objects
// the tests read through the library of another module.
#include <stdexcept>

namespace Foreign {
class EForeignFailure : public std::runtime_error {
 public:
  EForeignFailure() : std::runtime_error("from afar") {}
};
}  // namespace Foreign

extern "C" __declspec(dllexport) std::exception* MakeForeignException() {
  return new Foreign::EForeignFailure();
}
extern "C" __declspec(dllexport) void FreeForeignException(std::exception* object) { delete object; }
