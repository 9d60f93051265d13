#include "core/FaultingThread.h"

namespace RevavaRez {

void RunInFaultingThread(const std::function<void()>& procedure) {
  if (!procedure) return;
  try {
    procedure();
  } catch (...) {
    // A handler that raises answers nothing; the report goes on.
  }
}

}  // namespace RevavaRez
