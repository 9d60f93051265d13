#include "dialog/DialogState.h"

namespace RevavaRez {

TDialogState& DialogState() {
  static TDialogState state;
  return state;
}

namespace {
std::exception_ptr Failure;
}

void KeepDialogFailure(std::exception_ptr failure) {
  if (!Failure) Failure = failure;
}

std::exception_ptr TakeDialogFailure() {
  std::exception_ptr failure = Failure;
  Failure = nullptr;
  return failure;
}

}  // namespace RevavaRez
