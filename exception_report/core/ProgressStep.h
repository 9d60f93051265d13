#pragma once
// The step the exception processing has reached, so that an internal error
// raised inside it names the piece that failed.
#include <atomic>
#include <cstdint>

namespace RevavaRez {

extern std::atomic<int32_t> ProgressStep;

}  // namespace RevavaRez
