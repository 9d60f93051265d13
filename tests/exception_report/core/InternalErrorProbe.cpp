// Carries the library with its start-up object and lets one guarded unit
// step fail, so that the start-up's internal-error hook reports it. Exit
// code 0 when the failure came back as the silent abort.
#include "core/Errors.h"
#include "core/VArev.h"

namespace {
void FailingStep() { throw RevavaRez::EConvertError("probe failure"); }
}  // namespace

int main() {
  try {
    RevavaRez::RunGuarded(FailingStep, "EHook.Init");
  } catch (const RevavaRez::EAbort&) {
    return 0;
  } catch (...) {
    return 5;
  }
  return 6;
}
