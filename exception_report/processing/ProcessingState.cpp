#include "processing/ProcessingState.h"

#include "stack/StackList.h"

namespace RevavaRez {

TProcessingState& ProcessingState() {
  // Built on first use and never destroyed: a report may run while the
  // module's statics are being torn down.
  static TProcessingState* state = new TProcessingState();
  return *state;
}

const void* LastProcessedObject() { return ProcessingState().LastExceptionObject; }

}  // namespace RevavaRez
