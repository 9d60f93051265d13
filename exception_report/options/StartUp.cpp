// The library's load-time entry: one static object, built when the module
// that carries the library initialises and destroyed when it unloads. The
// order of static initialisation across files is not fixed, so everything
// it touches is constant-initialised or a function-local static. Its
// priority makes it the first of the module's constructors: at the default
// one, objects of archive members linked after it would construct before
// it.
#include "options/ActivationGate.h"

namespace RevavaRez {
namespace {

struct TLibraryStartUp {
  TLibraryStartUp() { RunActivationGate(); }
  ~TLibraryStartUp() { CloseActivation(); }
  TLibraryStartUp(const TLibraryStartUp&) = delete;
  TLibraryStartUp& operator=(const TLibraryStartUp&) = delete;
};

TLibraryStartUp StartUp __attribute__((init_priority(101)));

}  // namespace
}  // namespace RevavaRez
