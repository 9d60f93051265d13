#include "dialog/DialogState.h"

namespace RevavaRez {

TDialogState& DialogState() {
  static TDialogState state;
  return state;
}

}  // namespace RevavaRez
