#include "core/ProgressStep.h"

namespace RevavaRez {

std::atomic<int32_t> ProgressStep{0};

}  // namespace RevavaRez
